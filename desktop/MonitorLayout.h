#pragma once
// Several monitors: which file each monitor's picture goes to and how the
// pictures are put together where a desktop takes one bitmap for all.
#include "desktop/DesktopWallpaper.h"
#include "platform/Platform.h"

#include <cstddef>
#include <string>
#include <vector>

// The file of monitor index (0 is the primary): the primary's own file, then
// "-2", "-3", ... inserted before its extension.
std::string MonitorFile(const std::string& primaryFile, std::size_t index);
// The file of the one bitmap spanning all monitors: "-desktop" inserted.
std::string SpannedFile(const std::string& primaryFile);

// The smallest rectangle holding every monitor.
platform::Monitor DesktopArea(const std::vector<platform::Monitor>& monitors);

// Draws picture onto target, whose top-left corner is the desktop point
// (originX, originY): centred on the monitor, or tiled from the monitor's
// top-left corner, and cut to the monitor's area.
void DrawOnMonitor(TBitmap& target, int originX, int originY, const platform::Monitor& monitor,
                   const TBitmap& picture, WallpaperStyle style);

// target := one bitmap of DesktopArea, each monitor's picture at its place
// and black where no monitor is.
void ComposeDesktop(TBitmap& target, const std::vector<MonitorWallpaper>& monitors);
