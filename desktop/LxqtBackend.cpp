// LXQt: the desktop is drawn by pcmanfm-qt, whose running instance takes the
// wallpaper and its mode from a second call of the command.
#include "compose/BmpWriter.h"
#include "compose/Graphics.h"
#include "config/Messages.h"
#include "desktop/MonitorLayout.h"
#include "desktop/Processes.h"
#include "desktop/RunCommand.h"
#include "desktop/WallpaperBackend.h"

namespace {
class LxqtBackend final : public WallpaperBackend {
  public:
    const char* Name() const override { return "lxqt"; }
    // "pcmanfm-qt --set-wallpaper" exits 0 and changes nothing when no
    // instance draws the desktop: only a running "--desktop" one counts.
    bool Usable() override {
        return !FindOnPath("pcmanfm-qt").empty() && RunsInThisSession("pcmanfm-qt", {"--desktop", "-d"});
    }

    void Apply(const WallpaperRequest& r) override {
        // pcmanfm-qt's command line sets one wallpaper for every screen (its
        // per-screen pictures exist only in its own dialog): the monitors'
        // pictures become one bitmap of the whole desktop, which its "stretch"
        // mode spreads over the screens as one surface.
        std::string file = r.file;
        const char* mode = r.style == WallpaperStyle::Tiled ? "tile" : "center";
        if (!r.monitors.empty()) {
            TBitmap spanned;
            ComposeDesktop(spanned, r.monitors);
            file = SpannedFile(r.file);
            SaveBitmapToFile(spanned, file);
            mode = "stretch";
        }
        // pcmanfm-qt keeps the picture cached under its path and ignores a
        // path it already shows, so it gets a new name each time.
        FreshName alias(file);
        if (!RunCommand({"pcmanfm-qt", "--set-wallpaper", alias.Path(), "--wallpaper-mode", mode}, false,
                        std::chrono::seconds(20), Utf8ArgumentsEnv(alias.Path()))
                 .ok)
            Throw(Msg::RegistrySetFailed, {std::string("Wallpaper")});
        alias.DropPrevious();
    }
};
} // namespace

std::unique_ptr<WallpaperBackend> MakeLxqtBackend() {
    return std::make_unique<LxqtBackend>();
}
