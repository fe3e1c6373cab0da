#pragma once
// The Windows desktop's wallpaper settings: the tile flag in the registry and
// the wallpaper file itself.
#include <string>

// Writes "TileWallpaper" ("1" or "0", REG_SZ) under HKEY_CURRENT_USER
// "Control Panel\desktop". The key is not created: false when it is missing.
// Throws "Konnte Daten für 'TileWallpaper' nicht setzen" when the write fails.
bool WriteTileWallpaper(bool tile);

// Makes the file the wallpaper and records it in the user's profile, without
// telling other applications; the outcome is not reported.
void SetDeskWallpaper(const std::string& bmpPath);
