#include "desktop/DesktopWallpaper.h"

#include "compose/BmpWriter.h"
#include "compose/Graphics.h"
#include "desktop/MonitorLayout.h"
#include "desktop/Win32Desktop.h"
#include "platform/Win32Text.h"

#include <windows.h>

#include <shobjidl.h>

#include <cstring>

// The tile value goes to the registry before the wallpaper is set; a missing
// "Control Panel\desktop" key is skipped, a refused write throws.
void SetDesktopWallpaper(const std::string& file, const TBitmap& /*bitmap*/, WallpaperStyle style,
                         PendingWrite* written) {
    if (written) written->Wait();
    WriteTileWallpaper(style == WallpaperStyle::Tiled);
    SetDeskWallpaper(file);
}

std::vector<platform::Monitor> DesktopMonitors() {
    return platform::Monitors();
}

namespace {
// Spelled out here: MinGW's uuid library does not carry the class id.
const CLSID kClsidDesktopWallpaper = {
    0xc2cf3110, 0x460e, 0x4fc1, {0xb9, 0xd0, 0x8a, 0x1c, 0x0c, 0x9c, 0xc4, 0xbd}};
const IID kIidDesktopWallpaper = {
    0xb92b56a9, 0x8b55, 0x4e14, {0x9a, 0x89, 0x01, 0x99, 0xbb, 0xb6, 0xf9, 0x3b}};

// /run reaches this without COM; the window has it already (the call then
// only counts up, and the matching uninitialise counts down).
struct ComApartment {
    HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    ~ComApartment() {
        if (SUCCEEDED(hr)) CoUninitialize();
    }
};

struct Releaser {
    void operator()(IUnknown* p) const { p->Release(); }
};

struct TaskMem {
    LPWSTR p = nullptr;
    ~TaskMem() { CoTaskMemFree(p); }
};

// Windows 8 and later: each monitor its own file through IDesktopWallpaper.
// False when the class does not exist, and nothing was changed.
bool SetPerMonitor(const std::vector<MonitorWallpaper>& monitors) {
    const ComApartment com;
    IDesktopWallpaper* raw = nullptr;
    if (FAILED(CoCreateInstance(kClsidDesktopWallpaper, nullptr, CLSCTX_ALL, kIidDesktopWallpaper,
                                reinterpret_cast<void**>(&raw))) ||
        !raw)
        return false;
    const std::unique_ptr<IDesktopWallpaper, Releaser> wallpaper(raw);
    UINT count = 0;
    if (FAILED(wallpaper->GetMonitorDevicePathCount(&count))) return false;
    // The position is one for all monitors: the primary's decides.
    wallpaper->SetPosition(monitors.front().style == WallpaperStyle::Tiled ? DWPOS_TILE : DWPOS_CENTER);
    for (UINT i = 0; i < count; ++i) {
        TaskMem id;
        if (FAILED(wallpaper->GetMonitorDevicePathAt(i, &id.p)) || !id.p) continue;
        RECT r{};
        // A monitor that is known but not attached has no rectangle.
        if (FAILED(wallpaper->GetMonitorRECT(id.p, &r))) continue;
        const MonitorWallpaper* own = &monitors.front();
        for (const MonitorWallpaper& m : monitors)
            if (m.monitor.x == r.left && m.monitor.y == r.top && m.monitor.x + m.monitor.width == r.right &&
                m.monitor.y + m.monitor.height == r.bottom)
                own = &m;
        // Like SystemParametersInfoA before, the outcome is not looked at.
        wallpaper->SetWallpaper(id.p, platform::Utf8ToWide(own->file).c_str());
    }
    return true;
}
} // namespace

void TileOfVirtualScreen(TBitmap& target, const std::vector<MonitorWallpaper>& monitors) {
    TBitmap desktop;
    ComposeDesktop(desktop, monitors);
    std::vector<platform::Monitor> areas;
    for (const MonitorWallpaper& m : monitors)
        areas.push_back(m.monitor);
    const platform::Monitor area = DesktopArea(areas);
    // Windows tiles from the primary's top-left corner, the desktop's 0, 0:
    // a tile of the virtual screen's size shows desktop point (x, y) at
    // (x mod W, y mod H), so the parts left of and above the primary wrap
    // around to the tile's right and bottom.
    const int w = area.width, h = area.height;
    target.SetSize(w, h);
    const int shiftX = ((-area.x) % w + w) % w, shiftY = ((-area.y) % h + h) % h;
    for (int y = 0; y < h; ++y) {
        const std::uint8_t* src = desktop.ScanLine(y);
        std::uint8_t* dst = target.ScanLine((y + h - shiftY) % h);
        const int left = w - shiftX;
        // desktop column c goes to tile column (c - shiftX) mod w.
        std::memcpy(dst + 3 * left, src, 3 * static_cast<std::size_t>(shiftX));
        std::memcpy(dst, src + 3 * shiftX, 3 * static_cast<std::size_t>(left));
    }
}

void SetDesktopWallpapers(const std::vector<MonitorWallpaper>& monitors) {
    if (monitors.empty()) return;
    const MonitorWallpaper& primary = monitors.front();
    if (monitors.size() == 1) return SetDesktopWallpaper(primary.file, *primary.bitmap, primary.style);
    WriteTileWallpaper(primary.style == WallpaperStyle::Tiled);
    if (SetPerMonitor(monitors)) return;
    // Before Windows 8: one bitmap of the virtual screen, tiled.
    TBitmap tile;
    TileOfVirtualScreen(tile, monitors);
    const std::string file = SpannedFile(primary.file);
    SaveBitmapToFile(tile, file);
    WriteTileWallpaper(true);
    SetDeskWallpaper(file);
}
