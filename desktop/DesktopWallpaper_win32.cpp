#include "desktop/DesktopWallpaper.h"

#include "desktop/Win32Desktop.h"

// The tile value goes to the registry before the wallpaper is set; a missing
// "Control Panel\desktop" key is skipped, a refused write throws.
void SetDesktopWallpaper(const std::string& file, const TBitmap& /*bitmap*/, WallpaperStyle style) {
    WriteTileWallpaper(style == WallpaperStyle::Tiled);
    SetDeskWallpaper(file);
}
