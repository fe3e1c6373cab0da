// sway: "output * bg FILE MODE" through swaymsg. sway starts swaybg anew for
// every bg command, which reads the file again.
#include "config/Messages.h"
#include "desktop/Processes.h"
#include "desktop/RunCommand.h"
#include "desktop/WallpaperBackend.h"

#include <chrono>
#include <cstdlib>
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
        FreshName alias(r.file, dir + "/ulbrasen-wallpaper");
        if (alias.Path() == r.file) Throw(Msg::RegistrySetFailed, {std::string("bg")});
        const char* mode = r.style == WallpaperStyle::Tiled ? "tile" : "center";
        if (!RunCommand({"swaymsg", "output", "*", "bg", alias.Path(), mode}).ok ||
            !SwaybgShows(alias.Path()))
            Throw(Msg::RegistrySetFailed, {std::string("bg")});
        alias.DropPrevious();
    }
};
} // namespace

std::unique_ptr<WallpaperBackend> MakeSwayBackend() {
    return std::make_unique<SwayBackend>();
}
