#include "desktop/MonitorLayout.h"

#include "compose/Graphics.h"
#include "config/uOptionen.h"

#include <algorithm>
#include <cstdint>

namespace {
std::string InsertBeforeExtension(const std::string& path, const std::string& suffix) {
    const std::size_t dot = path.rfind('.');
    const std::size_t sep = path.find_last_of(std::string("/") + platform::kPathSeparator);
    if (dot == std::string::npos || (sep != std::string::npos && sep > dot)) return path + suffix;
    return path.substr(0, dot) + suffix + path.substr(dot);
}

// picture with its top-left corner at (x, y) in target, only inside the clip rectangle.
void DrawClipped(TBitmap& target, const TBitmap& picture, std::int64_t x, std::int64_t y, std::int64_t clipX0,
                 std::int64_t clipY0, std::int64_t clipX1, std::int64_t clipY1) {
    const std::int64_t x0 = std::max({x, clipX0, std::int64_t{0}});
    const std::int64_t y0 = std::max({y, clipY0, std::int64_t{0}});
    const std::int64_t x1 = std::min({x + picture.Width(), clipX1, std::int64_t{target.Width()}});
    const std::int64_t y1 = std::min({y + picture.Height(), clipY1, std::int64_t{target.Height()}});
    if (x0 >= x1 || y0 >= y1) return;
    PixelSource part = picture.Source();
    part.pixels += (y0 - y) * part.stride + (x0 - x) * 3;
    part.width = static_cast<int>(x1 - x0);
    part.height = static_cast<int>(y1 - y0);
    target.DrawPixels(part, static_cast<int>(x0), static_cast<int>(y0));
}
} // namespace

std::string MonitorFile(const std::string& primaryFile, std::size_t index) {
    if (index == 0) return primaryFile;
    return InsertBeforeExtension(primaryFile, "-" + std::to_string(index + 1));
}

std::string SpannedFile(const std::string& primaryFile) {
    return InsertBeforeExtension(primaryFile, "-desktop");
}

platform::Monitor DesktopArea(const std::vector<platform::Monitor>& monitors) {
    if (monitors.empty()) return {};
    int x0 = monitors[0].x, y0 = monitors[0].y;
    int x1 = x0 + monitors[0].width, y1 = y0 + monitors[0].height;
    for (const platform::Monitor& m : monitors) {
        x0 = std::min(x0, m.x);
        y0 = std::min(y0, m.y);
        x1 = std::max(x1, m.x + m.width);
        y1 = std::max(y1, m.y + m.height);
    }
    return {x0, y0, x1 - x0, y1 - y0, ""};
}

void DrawOnMonitor(TBitmap& target, int originX, int originY, const platform::Monitor& m,
                   const TBitmap& picture, WallpaperStyle style) {
    const std::int64_t left = std::int64_t{m.x} - originX, top = std::int64_t{m.y} - originY;
    const std::int64_t right = left + m.width, bottom = top + m.height;
    const int w = picture.Width(), h = picture.Height();
    if (w <= 0 || h <= 0) return;
    if (style == WallpaperStyle::Tiled) {
        for (std::int64_t y = top; y < bottom; y += h)
            for (std::int64_t x = left; x < right; x += w)
                DrawClipped(target, picture, x, y, left, top, right, bottom);
        return;
    }
    // Centred as the single-monitor desktop centres: (W - w) div 2.
    DrawClipped(target, picture, left + (m.width - w) / 2, top + (m.height - h) / 2, left, top, right,
                bottom);
}

void ComposeDesktop(TBitmap& target, const std::vector<MonitorWallpaper>& monitors) {
    std::vector<platform::Monitor> areas;
    for (const MonitorWallpaper& m : monitors)
        areas.push_back(m.monitor);
    const platform::Monitor area = DesktopArea(areas);
    target.SetSize(area.width, area.height);
    target.FillBlack();
    for (const MonitorWallpaper& m : monitors)
        DrawOnMonitor(target, area.x, area.y, m.monitor, *m.bitmap, m.style);
}
