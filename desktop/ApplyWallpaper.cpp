#include "compose/BmpWriter.h"
#include "compose/Graphics.h"
#include "config/uOptionen.h"
#include "desktop/DesktopWallpaper.h"
#include "desktop/uDirectXErkennung.h"

void TOptionen::ApplyWallpaper(const std::string& fileName) {
    if (ExclusiveModeActive() != 0) return;
    TPicture picture;
    if (!FitPicture(picture, fileName).empty()) return;
    // Saved straight from the holder's bitmap: a copy would only double the
    // memory a large wallpaper needs and give the same file.
    const TBitmap& bitmap = picture.Bitmap();
    const std::string file = ExecutableSibling(".bmp");
    SaveBitmapToFile(bitmap, file);
    const WallpaperStyle style =
        IsTileSize(bitmap.Width(), bitmap.Height()) ? WallpaperStyle::Tiled : WallpaperStyle::Centred;
    SetDesktopWallpaper(file, bitmap, style);
}
