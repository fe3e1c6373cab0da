// sway: "output * bg FILE MODE" through swaymsg. sway starts swaybg anew for
// every bg command, which reads the file again.
#include "config/Messages.h"
#include "desktop/Processes.h"
#include "desktop/RunCommand.h"
#include "desktop/SwayOutputs.h"
#include "desktop/WallpaperBackend.h"

#include <cctype>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

namespace {
// sway 1.7 runs the path through its own parser and then through shell-style
// word expansion, and answers success even for a file it cannot open. So it
// gets a plain name of ours, and what counts is the swaybg it starts.
bool SwaybgShows(const std::string& path) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    for (;;) {
        for (const UserProcess& p : UserProcessesNamed("swaybg"))
            for (std::size_t i = 1; i < p.argv.size(); ++i)
                if (p.argv[i] == path) return true;
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

// An output name goes to sway as it is: one with characters its parser or its
// word expansion would act on is refused rather than quoted.
bool PlainOutputName(const std::string& name) {
    if (name.empty()) return false;
    for (unsigned char c : name)
        if (!(std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '*')) return false;
    return true;
}

void SetOutput(const std::string& output, const std::string& file, WallpaperStyle style,
               const std::string& stem) {
    FreshName alias(file, stem);
    if (alias.Path() == file || !PlainOutputName(output)) Throw(Msg::RegistrySetFailed, {std::string("bg")});
    const char* mode = style == WallpaperStyle::Tiled ? "tile" : "center";
    if (!RunCommand({"swaymsg", "output", output, "bg", alias.Path(), mode}).ok || !SwaybgShows(alias.Path()))
        Throw(Msg::RegistrySetFailed, {std::string("bg")});
    alias.DropPrevious();
}

class SwayBackend final : public WallpaperBackend {
  public:
    const char* Name() const override { return "sway"; }
    bool Usable() override {
        const char* sock = std::getenv("SWAYSOCK");
        return sock && *sock && !FindOnPath("swaymsg").empty();
    }

    void Apply(const WallpaperRequest& r) override {
        const std::string dir = PlainRuntimeDir();
        if (dir.empty()) Throw(Msg::RegistrySetFailed, {std::string("bg")});
        if (r.monitors.empty()) {
            SetOutput("*", r.file, r.style, dir + "/ulbrasen-wallpaper");
            return;
        }
        for (std::size_t i = 0; i < r.monitors.size(); ++i) {
            const MonitorWallpaper& m = r.monitors[i];
            SetOutput(m.monitor.name, m.file, m.style,
                      dir + "/ulbrasen-wallpaper" + (i == 0 ? std::string() : "-" + std::to_string(i + 1)));
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
