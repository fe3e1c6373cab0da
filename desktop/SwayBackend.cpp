// sway: "output * bg FILE MODE" through swaymsg. sway starts swaybg anew for
// every bg command, which reads the file again, so the plain path serves.
#include "config/Messages.h"
#include "desktop/RunCommand.h"
#include "desktop/SwayOutputs.h"
#include "desktop/WallpaperBackend.h"

#include <cstdlib>

namespace {
// swaymsg joins its arguments into one command line that sway splits again
// at blanks: the path goes in double quotes with '"' and '\' escaped.
std::string Quoted(const std::string& path) {
    std::string q = "\"";
    for (char c : path) {
        if (c == '"' || c == '\\') q += '\\';
        q += c;
    }
    return q + "\"";
}

class SwayBackend final : public WallpaperBackend {
  public:
    const char* Name() const override { return "sway"; }
    bool Usable() override {
        const char* sock = std::getenv("SWAYSOCK");
        return sock && *sock && !FindOnPath("swaymsg").empty();
    }

    void Apply(const WallpaperRequest& r) override {
        const char* mode = r.style == WallpaperStyle::Tiled ? "tile" : "center";
        if (r.monitors.empty()) {
            if (!RunCommand({"swaymsg", "output", "*", "bg", Quoted(r.file), mode}).ok)
                Throw(Msg::RegistrySetFailed, {std::string("bg")});
            return;
        }
        for (const MonitorWallpaper& m : r.monitors) {
            const char* own = m.style == WallpaperStyle::Tiled ? "tile" : "center";
            if (!RunCommand({"swaymsg", "output", Quoted(m.monitor.name), "bg", Quoted(m.file), own}).ok)
                Throw(Msg::RegistrySetFailed, {std::string("bg")});
        }
    }

    std::vector<platform::Monitor> Monitors() override {
        const CommandResult listing = RunCommand({"swaymsg", "-r", "-t", "get_outputs"}, true);
        std::vector<platform::Monitor> list;
        if (listing.ok) list = ParseSwayOutputs(listing.output);
        if (list.empty()) return platform::Monitors();
        return list;
    }
};
} // namespace

std::unique_ptr<WallpaperBackend> MakeSwayBackend() {
    return std::make_unique<SwayBackend>();
}
