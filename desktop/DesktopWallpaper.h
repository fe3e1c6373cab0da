#pragma once
// Hands the composed wallpaper file to the desktop: its tiling setting first,
// then the picture. One implementation per platform.
#include "platform/Platform.h"

#include <exception>
#include <functional>
#include <string>
#include <thread>
#include <vector>

class TBitmap;

// Writing the wallpaper file on a thread of its own, so that a desktop which
// shows the pixels themselves can prepare them meanwhile. Wait() returns once
// the file is written and throws what writing it threw; the destructor waits.
class PendingWrite {
  public:
    explicit PendingWrite(std::function<void()> write);
    ~PendingWrite();
    PendingWrite(const PendingWrite&) = delete;
    PendingWrite& operator=(const PendingWrite&) = delete;
    void Wait();

  private:
    std::function<void()> write_;
    std::thread thread_;
    std::exception_ptr error_;
};

enum class WallpaperStyle { Centred = 0, Tiled = 1 };

// One monitor's own picture: its BMP file and content, and its tiling.
struct MonitorWallpaper {
    platform::Monitor monitor;
    std::string file;
    const TBitmap* bitmap = nullptr;
    WallpaperStyle style = WallpaperStyle::Centred;
};

// file is the BMP beside the executable; bitmap is its content (desktops
// without a file setting show pixels). With written, the file is still being
// written: the desktop is changed only once written->Wait() returned. Throws
// ZenksError with "Konnte Daten für '%s' nicht setzen" when the desktop
// refuses a setting; a desktop that is not there is skipped silently.
void SetDesktopWallpaper(const std::string& file, const TBitmap& bitmap, WallpaperStyle style,
                         PendingWrite* written = nullptr);

// The monitors of the desktop that will take the wallpaper, the primary
// first: those of platform::Monitors(), or a Wayland compositor's outputs.
std::vector<platform::Monitor> DesktopMonitors();

// A picture of its own for each monitor, the primary's first. With one entry
// it is exactly SetDesktopWallpaper with that entry.
void SetDesktopWallpapers(const std::vector<MonitorWallpaper>& monitors);
