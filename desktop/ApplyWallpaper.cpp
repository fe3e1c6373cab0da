#include "compose/Graphics.h"
#include "config/Messages.h"
#include "config/uOptionen.h"
#include "desktop/DesktopWallpaper.h"
#include "desktop/uDirectXErkennung.h"

#include <cstdio>
#include <memory>

namespace {
// FIXME: interim BMP writer; the compose layer's SaveBitmapToFile replaces it.
void PutLe(std::uint8_t* p, std::uint32_t v, int n) {
    for (int i = 0; i < n; ++i)
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

void SaveBitmapToFile(const TBitmap& bmp, const std::string& path) {
    struct Closer {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    std::unique_ptr<std::FILE, Closer> f(std::fopen(path.c_str(), "wb"));
    if (!f) Throw(Msg::CannotCreate, {path});
    const std::uint32_t stride = static_cast<std::uint32_t>(TBitmap::StrideFor(bmp.Width()));
    const std::uint32_t image = stride * static_cast<std::uint32_t>(bmp.Height());
    std::uint8_t h[54] = {'B', 'M'};
    PutLe(h + 2, 54 + image, 4);
    PutLe(h + 10, 54, 4);
    PutLe(h + 14, 40, 4);
    PutLe(h + 18, static_cast<std::uint32_t>(bmp.Width()), 4);
    PutLe(h + 22, static_cast<std::uint32_t>(bmp.Height()), 4);
    PutLe(h + 26, 1, 2);
    PutLe(h + 28, 24, 2);
    PutLe(h + 34, image, 4);
    bool ok = std::fwrite(h, 1, sizeof h, f.get()) == sizeof h;
    for (int y = bmp.Height() - 1; ok && y >= 0; --y)
        ok = std::fwrite(bmp.ScanLine(y), 1, stride, f.get()) == stride;
    if (!ok || std::fflush(f.get()) != 0) Throw(Msg::CannotCreate, {path});
}
} // namespace

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
