#pragma once
// The Windows desktop's wallpaper settings: the tile flag in the registry and
// the wallpaper file itself.
#include "desktop/DesktopWallpaper.h"

#include <string>
#include <vector>

// Writes "TileWallpaper" ("1" or "0", REG_SZ) under HKEY_CURRENT_USER
// "Control Panel\desktop". The key is not created: false when it is missing.
// Throws "Konnte Daten für 'TileWallpaper' nicht setzen" when the write fails.
bool WriteTileWallpaper(bool tile);

// Makes the file the wallpaper and records it in the user's profile, without
// telling other applications; the outcome is not reported.
void SetDeskWallpaper(const std::string& bmpPath);

// The wallpaper of several monitors before Windows 8: one tile of the virtual
// screen's size whose pixel (0, 0) is the primary's top-left corner.
void TileOfVirtualScreen(TBitmap& target, const std::vector<MonitorWallpaper>& monitors);
