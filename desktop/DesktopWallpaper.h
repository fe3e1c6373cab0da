#pragma once
// Hands the composed wallpaper file to the desktop: its tiling setting first,
// then the picture. One implementation per platform.
#include "platform/Platform.h"

#include <string>
#include <vector>

class TBitmap;

enum class WallpaperStyle { Centred = 0, Tiled = 1 };

// One monitor's own picture: its BMP file and content, and its tiling.
struct MonitorWallpaper {
    platform::Monitor monitor;
    std::string file;
    const TBitmap* bitmap = nullptr;
    WallpaperStyle style = WallpaperStyle::Centred;
};

// file is the BMP just written beside the executable; bitmap is its content
// (desktops without a file setting show pixels). Throws ZenksError with
// "Konnte Daten für '%s' nicht setzen" when the desktop refuses a setting;
// a desktop that is not there is skipped silently.
void SetDesktopWallpaper(const std::string& file, const TBitmap& bitmap, WallpaperStyle style);

// The monitors of the desktop that will take the wallpaper, the primary
// first: those of platform::Monitors(), or a Wayland compositor's outputs.
std::vector<platform::Monitor> DesktopMonitors();

// A picture of its own for each monitor, the primary's first. With one entry
// it is exactly SetDesktopWallpaper with that entry.
void SetDesktopWallpapers(const std::vector<MonitorWallpaper>& monitors);
