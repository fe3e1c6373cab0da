#pragma once
// The script plasmashell runs to set the wallpaper of every desktop.
#include "desktop/DesktopWallpaper.h"

#include <string>

// A double-quoted JavaScript string literal holding text (UTF-8) unchanged.
std::string JavaScriptString(const std::string& text);
std::string PlasmaWallpaperScript(const std::string& imageUri, WallpaperStyle style);
