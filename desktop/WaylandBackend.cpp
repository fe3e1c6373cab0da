// Wayland compositors without a desktop of their own (river, Wayfire, labwc,
// niri, Hyprland, sway under another name): the X root window under Xwayland
// is never shown there, so the picture goes to a layer-shell wallpaper
// program: hyprpaper through hyprctl on Hyprland, else swaybg.
#include "config/Messages.h"
#include "desktop/Processes.h"
#include "desktop/RunCommand.h"
#include "desktop/WallpaperBackend.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

namespace {
const char kSetting[] = "Wallpaper";

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

// Started in a session of its own with no stdio of ours, so that it outlives
// this process and no terminal or pipe of the caller stays tied to it. The
// intermediate child is reaped here; the program itself is adopted by init.
pid_t StartDetached(const std::vector<std::string>& argv) {
    const std::string exe = FindOnPath(argv[0]);
    if (exe.empty()) return 0;
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return 0;
    const pid_t child = fork();
    if (child == 0) {
        setsid();
        const pid_t grandchild = fork();
        if (grandchild == 0) {
            const int null = open("/dev/null", O_RDWR);
            if (null >= 0) {
                dup2(null, 0);
                dup2(null, 1);
                dup2(null, 2);
            }
            execv(exe.c_str(), args.data());
            _exit(127);
        }
        (void)!write(fds[1], &grandchild, sizeof grandchild);
        _exit(0);
    }
    close(fds[1]);
    pid_t pid = 0;
    if (child > 0) {
        while (read(fds[0], &pid, sizeof pid) < 0 && errno == EINTR) {}
        while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {}
    }
    close(fds[0]);
    return pid > 0 ? pid : 0;
}

// Up means: it became swaybg and is still there a moment later. swaybg that
// finds no compositor or no layer shell ends at once.
bool StaysUp(pid_t pid, const char* name) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (!IsUserProcessNamed(pid, name)) {
        if (std::chrono::steady_clock::now() > deadline || kill(pid, 0) != 0) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    return IsUserProcessNamed(pid, name);
}

void Swaybg(const WallpaperRequest& r) {
    const std::string runtime = Env("XDG_RUNTIME_DIR");
    if (runtime.empty()) Throw(Msg::RegistrySetFailed, {std::string(kSetting)});
    const std::string pidFile = runtime + "/ulbrasen-swaybg.pid";
    pid_t old = 0;
    {
        std::ifstream in(pidFile);
        long v = 0;
        if (in >> v) old = static_cast<pid_t>(v);
    }
    // swaybg reads the file once at start; a new one replaces the old.
    const pid_t pid = StartDetached({"swaybg", "-i", r.file, "-m",
                                     r.style == WallpaperStyle::Tiled ? "tile" : "center", "-c", "#000000"});
    if (pid == 0 || !StaysUp(pid, "swaybg")) {
        if (pid > 0) kill(pid, SIGTERM);
        Throw(Msg::RegistrySetFailed, {std::string(kSetting)});
    }
    {
        std::ofstream out(pidFile, std::ios::trunc);
        out << pid << '\n';
    }
    // Only our own swaybg: the pid may have been reused since.
    if (old != pid && IsUserProcessNamed(old, "swaybg")) kill(old, SIGTERM);
}

// hyprpaper keeps each picture by its path: a plain new name each time.
void Hyprpaper(const WallpaperRequest& r) {
    const std::string dir = PlainRuntimeDir();
    if (dir.empty()) Throw(Msg::RegistrySetFailed, {std::string(kSetting)});
    FreshName alias(r.file, dir + "/ulbrasen-wallpaper");
    auto ok = [](const std::vector<std::string>& argv) {
        const CommandResult c = RunCommand(argv, true);
        return c.ok && c.output.rfind("ok", 0) == 0;
    };
    if (alias.Path() == r.file || !ok({"hyprctl", "hyprpaper", "preload", alias.Path()}) ||
        !ok({"hyprctl", "hyprpaper", "wallpaper", "," + alias.Path()}))
        Throw(Msg::RegistrySetFailed, {std::string(kSetting)});
    // hyprpaper would keep every picture ever preloaded in memory.
    if (!alias.Previous().empty()) RunCommand({"hyprctl", "hyprpaper", "unload", alias.Previous()}, true);
    alias.DropPrevious();
}

class WaylandBackend final : public WallpaperBackend {
  public:
    const char* Name() const override { return "wayland"; }
    // Always taken in a Wayland session: the only alternative left would
    // change nothing visible and look like success.
    bool Usable() override { return !Env("WAYLAND_DISPLAY").empty(); }

    void Apply(const WallpaperRequest& r) override {
        if (!Env("HYPRLAND_INSTANCE_SIGNATURE").empty() && !FindOnPath("hyprctl").empty() &&
            !UserProcessesNamed("hyprpaper").empty())
            Hyprpaper(r);
        else if (!FindOnPath("swaybg").empty())
            Swaybg(r);
        else
            Throw(Msg::RegistrySetFailed, {std::string(kSetting)});
    }
};
} // namespace

std::unique_ptr<WallpaperBackend> MakeWaylandBackend() {
    return std::make_unique<WaylandBackend>();
}
