#include "compose/BmpWriter.h"
#include "compose/Graphics.h"
#include "config/uOptionen.h"
#include "desktop/DesktopWallpaper.h"
#include "desktop/uDirectXErkennung.h"
#include "platform/Platform.h"

void TOptionen::ApplyWallpaper(const std::string& fileName) {
    if (ExclusiveModeActive() != 0) return;
    TPicture picture;
    if (!FitPicture(picture, fileName).empty()) return;
    // Saved straight from the holder's bitmap: a copy would only double the
    // memory a large wallpaper needs and give the same file.
    const TBitmap& bitmap = picture.Bitmap();
    const std::string file = ProgramFilePath(".bmp");
    // The automatic change and the window apply to the same file and desktop:
    // one at a time, so that both end with the same picture, and so that the
    // X root setter never kills the retained connection of an application
    // still in progress in the other process.
    const platform::InterProcessLock lock(file);
    SaveBitmapToFile(bitmap, file);
    const WallpaperStyle style =
        IsTileSize(bitmap.Width(), bitmap.Height()) ? WallpaperStyle::Tiled : WallpaperStyle::Centred;
    SetDesktopWallpaper(file, bitmap, style);
}
