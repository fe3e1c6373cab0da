#pragma once
// The script plasmashell runs to set the wallpaper of every desktop.
#include "desktop/DesktopWallpaper.h"

#include <string>
#include <utility>
#include <vector>

// A double-quoted JavaScript string literal holding text (UTF-8) unchanged.
std::string JavaScriptString(const std::string& text);
std::string PlasmaWallpaperScript(const std::string& imageUri, WallpaperStyle style);
// Each desktop containment gets the picture of its screen: screens[n] for
// Plasma's screen n (the primary is 0).
std::string PlasmaScreenWallpaperScript(const std::vector<std::pair<std::string, WallpaperStyle>>& screens);
