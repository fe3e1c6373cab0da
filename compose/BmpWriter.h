#pragma once
// Writes a bitmap as the file the desktop shows.
#include <string>

class TBitmap;

// A standard uncompressed 24-bit BMP (BITMAPFILEHEADER, BITMAPINFOHEADER,
// bottom-up rows padded to 4 bytes). The file is replaced in one step, so a
// reader never sees half a picture. Throws "Datei %s kann nicht erstellt
// werden" when the file cannot be written.
void SaveBitmapToFile(const TBitmap& bitmap, const std::string& path);
