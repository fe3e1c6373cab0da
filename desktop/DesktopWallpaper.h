#pragma once
// Hands the composed wallpaper file to the desktop: its tiling setting first,
// then the picture. One implementation per platform.
#include <string>

class TBitmap;

enum class WallpaperStyle { Centred = 0, Tiled = 1 };

// file is the BMP just written beside the executable; bitmap is its content
// (desktops without a file setting show pixels). Throws ZenksError with
// "Konnte Daten für '%s' nicht setzen" when the desktop refuses a setting;
// a desktop that is not there is skipped silently.
void SetDesktopWallpaper(const std::string& file, const TBitmap& bitmap, WallpaperStyle style);
