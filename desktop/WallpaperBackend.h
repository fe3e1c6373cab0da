#pragma once
// The Linux desktops, one backend each, chosen at run time.
#include "desktop/DesktopWallpaper.h"

#include <memory>
#include <string>
#include <vector>

struct WallpaperRequest {
    std::string file; // the BMP beside the executable
    const TBitmap& bitmap;
    WallpaperStyle style;
    // Empty: the one picture above for every monitor. Otherwise a picture
    // of its own for each monitor, the primary's (file, bitmap) first.
    std::vector<MonitorWallpaper> monitors;
    // Set when the file is still being written and the backend does not
    // read it: Wait() before the desktop shows anything new.
    PendingWrite* written = nullptr;
};

class WallpaperBackend {
  public:
    virtual ~WallpaperBackend() = default;
    virtual const char* Name() const = 0;
    // Whether the desktop is really there: its schema installed, its D-Bus
    // name owned, its command found. XDG_CURRENT_DESKTOP alone can lie.
    virtual bool Usable() = 0;
    // Throws ZenksError(Msg::RegistrySetFailed) naming the refused setting.
    virtual void Apply(const WallpaperRequest& request) = 0;
    // The monitors as this desktop numbers them; asked after Usable().
    virtual std::vector<platform::Monitor> Monitors() { return platform::Monitors(); }
    // False for a backend that shows the bitmap without reading the file.
    virtual bool ReadsFile() const { return true; }
};

enum class GsettingsDesktop { Gnome, Cinnamon, Mate };

std::unique_ptr<WallpaperBackend> MakeGsettingsBackend(GsettingsDesktop desktop);
std::unique_ptr<WallpaperBackend> MakeXfceBackend();
std::unique_ptr<WallpaperBackend> MakePlasmaBackend();
std::unique_ptr<WallpaperBackend> MakeLxqtBackend();
std::unique_ptr<WallpaperBackend> MakeSwayBackend();
std::unique_ptr<WallpaperBackend> MakeWaylandBackend();
std::unique_ptr<WallpaperBackend> MakeRootWindowBackend();

// The backends to try, in order: the desktops named by XDG_CURRENT_DESKTOP,
// then those the session's other variables name, then a layer-shell
// wallpaper program in a Wayland session or else the X root window.
std::vector<std::unique_ptr<WallpaperBackend>> CandidateBackends();

// $XDG_RUNTIME_DIR when it is an absolute path of plain characters only, which
// no desktop tool quotes or expands; "" otherwise.
std::string PlainRuntimeDir();

// Desktops that cache the picture by its path get a name never handed out
// before, beside the file: stem + "-" + a number that grows with each change.
class FreshName {
  public:
    explicit FreshName(const std::string& file);
    // The names are stem + "-<number>.bmp", in another folder.
    FreshName(const std::string& file, const std::string& stem);
    // The name to hand to the desktop this time, already holding the file's
    // content; the file itself when neither a link nor a copy could be made.
    const std::string& Path() const { return next_; }
    // The newest name handed over before, "" when there is none.
    const std::string& Previous() const { return previous_; }
    // After the desktop took the new name: every older one goes.
    void DropPrevious();

  private:
    std::string stem_, next_, previous_;
    bool made_ = false;
};

// "file://" URI with every byte outside the unreserved set percent-encoded.
std::string FileUri(const std::string& path);
