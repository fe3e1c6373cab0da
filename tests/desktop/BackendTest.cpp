// gtest before Xlib, whose macros (None, Bool) clash with its names.
#include "tests/support/TestSupport.h"
#include "compose/Graphics.h"
#include "config/Messages.h"
#include "config/uOptionen.h"
#include "desktop/PlasmaScript.h"
#include "desktop/Processes.h"
#include "desktop/RunCommand.h"
#include "desktop/WallpaperBackend.h"
#include "desktop/X11Util.h"
#include "desktop/uDirectXErkennung.h"
#include "tests/desktop/DesktopPrograms.h"
#include "tests/desktop/TestPictures.h"
#include "tests/desktop/XReadBack.h"

#include <gio/gio.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <set>
#include <thread>

extern char** environ;

using namespace testsupport;

namespace {
// Records each call as "name|arg|arg..." in $STANDIN_LOG, prints
// $STANDIN_LISTING for "-l", starts $STANDIN_SPAWN with its arguments as
// sway starts swaybg, and exits with $STANDIN_EXIT.
const char kStandIn[] = R"SH(#!/bin/sh
PATH=/usr/bin:/bin
[ -n "$STANDIN_SPAWN" ] && { "$STANDIN_SPAWN" "$@" </dev/null >/dev/null 2>&1 & }
{ printf '%s' "$(basename "$0")"; for a in "$@"; do printf '|%s' "$a"; done; printf '\n'; } >>"$STANDIN_LOG"
[ "$5" = "-l" ] || [ "$3" = "-l" ] && [ -n "$STANDIN_LISTING" ] && cat "$STANDIN_LISTING"
exit "${STANDIN_EXIT:-0}"
)SH";
using desktopprograms::kRunning;
} // namespace

// The executable lives in a folder whose name needs quoting and escaping.
class BackendTest : public SandboxTest {
  protected:
    BackendTest() {
        WriteIni("[Optionen]\nFirst=0\n");
        fs::create_directories(Dir());
        WriteAll(Dir() / "ulbrasen.ini", "[Optionen]\nFirst=0\n");
        platform::SetExecutablePathForTesting((Dir() / "ulbrasen").string());
        fs::create_directories(tmp_ / "fake");
        for (const char* v : {"XDG_CURRENT_DESKTOP", "XDG_SESSION_DESKTOP", "DESKTOP_SESSION", "SWAYSOCK",
                              "KDE_FULL_SESSION", "MATE_DESKTOP_SESSION_ID", "GNOME_DESKTOP_SESSION_ID",
                              "DBUS_SESSION_BUS_ADDRESS", "STANDIN_EXIT", "STANDIN_LISTING"})
            env_.push_back(std::make_unique<ScopedEnv>(v, std::nullopt));
        for (const char* v : {"WAYLAND_DISPLAY", "HYPRLAND_INSTANCE_SIGNATURE", "STANDIN_SPAWN"})
            env_.push_back(std::make_unique<ScopedEnv>(v, std::nullopt));
        // Only the stand-ins: a desktop tool installed on this machine must not answer.
        env_.push_back(std::make_unique<ScopedEnv>("PATH", (tmp_ / "fake").string()));
        fs::create_directories(tmp_ / "run");
        env_.push_back(std::make_unique<ScopedEnv>("XDG_RUNTIME_DIR", (tmp_ / "run").string()));
        env_.push_back(std::make_unique<ScopedEnv>("STANDIN_LOG", (tmp_ / "log").string()));
        SetExclusiveModeForTesting(0);
    }
    ~BackendTest() override {
        for (pid_t pid : running_)
            Stop(pid);
        SetExclusiveModeForTesting(std::nullopt);
    }

    fs::path Dir() const { return tmp_ / "mein \"Ordner\""; }
    std::string Bmp() const { return (Dir() / "ulbrasen.bmp").string(); }
    // The names "<stem>-<number>.bmp" in dir, oldest first.
    static std::vector<std::string> Aliases(const fs::path& dir, const std::string& stem) {
        std::vector<std::pair<unsigned long long, std::string>> found;
        for (const auto& e : fs::directory_iterator(dir)) {
            const std::string name = e.path().filename().string();
            if (name.rfind(stem + "-", 0) != 0 || name.size() < stem.size() + 6 ||
                name.substr(name.size() - 4) != ".bmp")
                continue;
            const std::string digits = name.substr(stem.size() + 1, name.size() - stem.size() - 5);
            // Alias numbers start at the clock's ten digits; "-2" is a monitor's file.
            if (digits.size() >= 9 && digits.find_first_not_of("0123456789") == std::string::npos)
                found.emplace_back(std::stoull(digits), e.path().string());
        }
        std::sort(found.begin(), found.end());
        std::vector<std::string> paths;
        for (const auto& f : found)
            paths.push_back(f.second);
        return paths;
    }
    void Env(const char* name, const std::string& value) {
        env_.push_back(std::make_unique<ScopedEnv>(name, value));
    }
    void StandIn(const char* name, const char* script = kStandIn) {
        const fs::path p = tmp_ / "fake" / name;
        WriteAll(p, script);
        fs::permissions(p, fs::perms::owner_all);
    }
    // Starts a program named `name` that runs until stopped, in this environment.
    pid_t Running(const std::string& name, std::vector<std::string> args) {
        const pid_t pid = desktopprograms::Start(tmp_ / "programs", name, std::move(args));
        running_.push_back(pid);
        return pid;
    }
    static void Stop(pid_t pid) { desktopprograms::Stop(pid); }
    // Killed and not yet reaped counts as gone.
    static bool Alive(pid_t pid, const char* name = "swaybg") { return IsUserProcessNamed(pid, name); }
    std::string Picture(int w, int h) {
        const std::string p = (tmp_ / ("pic" + std::to_string(w) + ".bmp")).string();
        pictures::WritePatternBmp(p, w, h);
        return p;
    }
    std::vector<std::string> Calls() { return desktopprograms::TakeCalls(tmp_ / "log"); }

    std::vector<std::unique_ptr<ScopedEnv>> env_;
    std::vector<pid_t> running_;
};

// sway 1.7 expands the path like a shell and answers success for a file it
// cannot open: it gets a plain name of ours, and the swaybg it starts tells.
TEST_F(BackendTest, SwayGetsAPlainNameAndMustStartSwaybgWithIt) {
    StandIn("swaymsg");
    StandIn("swaybg", kRunning);
    Env("STANDIN_SPAWN", (tmp_ / "fake" / "swaybg").string());
    Env("XDG_CURRENT_DESKTOP", "sway");
    Env("SWAYSOCK", "/run/user/0/sway-ipc.sock");
    TOptionen o;
    o.ApplyWallpaper(Picture(100, 80));
    ASSERT_EQ(Aliases(tmp_ / "run", "ulbrasen-wallpaper").size(), 1u);
    const std::string a = Aliases(tmp_ / "run", "ulbrasen-wallpaper")[0];
    EXPECT_EQ(Calls(), (std::vector<std::string>{"swaymsg|output|*|bg|" + a + "|tile"}));
    EXPECT_TRUE(pictures::HoldsPattern(pictures::ReadBmp(a), 100, 80));
    o.ApplyWallpaper(Picture(800, 600));
    ASSERT_EQ(Aliases(tmp_ / "run", "ulbrasen-wallpaper").size(), 1u);
    const std::string b = Aliases(tmp_ / "run", "ulbrasen-wallpaper")[0];
    EXPECT_EQ(Calls(), (std::vector<std::string>{"swaymsg|output|*|bg|" + b + "|center"}));
    EXPECT_TRUE(pictures::HoldsPattern(pictures::ReadBmp(b), 800, 600));
    EXPECT_FALSE(fs::exists(a));
    EXPECT_TRUE(pictures::HoldsPattern(pictures::ReadBmp(Bmp()), 800, 600));
    // sway ends its swaybg with the next bg command; the stand-in does not.
    for (const UserProcess& p : UserProcessesNamed("swaybg"))
        if (p.argv.size() > 1 && p.argv[1].rfind(tmp_.str(), 0) == 0) kill(p.pid, SIGKILL);

    // sway said success, but no swaybg shows the picture.
    Env("STANDIN_SPAWN", "");
    for (const char* runtime : {"", "run with blank"}) {
        if (*runtime) {
            fs::create_directories(tmp_ / runtime);
            Env("XDG_RUNTIME_DIR", (tmp_ / runtime).string());
        }
        try {
            o.ApplyWallpaper(Picture(100, 80));
            ADD_FAILURE() << "no error " << runtime;
        } catch (const ZenksError& e) {
            EXPECT_STREQ(e.what(), "Konnte Daten für 'bg' nicht setzen");
        }
        Calls();
    }
}

// pcmanfm-qt, like GNOME, keeps the picture it loaded for a path: each
// change gets a name never used before, and only the newest one stays.
TEST_F(BackendTest, LxqtGetsANewNameEachTimeHoldingTheNewPicture) {
    StandIn("pcmanfm-qt");
    Env("XDG_CURRENT_DESKTOP", "LXQt");
    Running("pcmanfm-qt", {"--desktop", "--profile=lxqt"});
    TOptionen o;
    auto shown = [&](const char* mode) {
        const std::vector<std::string> aliases = Aliases(Dir(), "ulbrasen");
        EXPECT_EQ(aliases.size(), 1u);
        if (aliases.empty()) return std::string();
        EXPECT_EQ(Calls(), (std::vector<std::string>{"pcmanfm-qt|--set-wallpaper|" + aliases[0] +
                                                     "|--wallpaper-mode|" + mode}));
        return aliases[0];
    };
    o.ApplyWallpaper(Picture(100, 80));
    const std::string first = shown("tile");
    EXPECT_TRUE(pictures::HoldsPattern(pictures::ReadBmp(first), 100, 80));
    o.ApplyWallpaper(Picture(800, 600));
    const std::string second = shown("center");
    EXPECT_NE(second, first);
    EXPECT_TRUE(pictures::HoldsPattern(pictures::ReadBmp(second), 800, 600));
    EXPECT_TRUE(
        pictures::HoldsPattern(pictures::ReadBmp(Bmp()), 800, 600)); // the file itself is still written
    o.ApplyWallpaper(Picture(100, 80));
    const std::string third = shown("tile");
    EXPECT_NE(third, first);
    EXPECT_NE(third, second);

    // A killed run left a newer alias, older ones and the names of older
    // versions: the number goes on past the newest, and all of them go. A
    // second monitor's own file is no alias and stays.
    WriteAll(Dir() / "ulbrasen-99999999999.bmp", "x");
    WriteAll(Dir() / "ulbrasen-1700000000.bmp", "x");
    WriteAll(Dir() / "ulbrasen-2.bmp", "monitor 2");
    WriteAll(Dir() / "ulbrasen-a.bmp", "x");
    WriteAll(Dir() / "ulbrasen-b.bmp", "x");
    WriteAll(Dir() / "ulbrasen-7x.bmp", "not ours");
    o.ApplyWallpaper(Picture(800, 600));
    EXPECT_EQ(shown("center"), (Dir() / "ulbrasen-100000000000.bmp").string());
    EXPECT_FALSE(fs::exists(Dir() / "ulbrasen-a.bmp"));
    EXPECT_FALSE(fs::exists(Dir() / "ulbrasen-b.bmp"));
    EXPECT_FALSE(fs::exists(Dir() / "ulbrasen-1700000000.bmp"));
    EXPECT_FALSE(fs::exists(Dir() / "ulbrasen-99999999999.bmp"));
    EXPECT_TRUE(fs::exists(Dir() / "ulbrasen-2.bmp"));
    EXPECT_TRUE(fs::exists(Dir() / "ulbrasen-7x.bmp"));
    EXPECT_TRUE(fs::exists(Dir() / "ulbrasen.ini"));
}

// The real xfconfd, started by a session bus of the test's own.
TEST_F(BackendTest, XfceSetsEveryMonitorAndWorkspaceOfTheCurrentScreen) {
    auto d = xtest::Open();
    ASSERT_TRUE(d);
    ASSERT_TRUE(fs::exists("/usr/bin/xfconf-query")) << "scripts/install-deps installs xfconf";
    fs::create_symlink("/usr/bin/xfconf-query", tmp_ / "fake" / "xfconf-query");
    Env("XDG_CURRENT_DESKTOP", "XFCE");
    Env("XDG_CONFIG_HOME", (tmp_ / "config").string());
    Env("XDG_DATA_HOME", (tmp_ / "data").string());
    const CommandResult bus = RunCommand(
        {"/usr/bin/dbus-daemon", "--session", "--fork", "--nopidfile", "--print-address=1", "--print-pid=1"},
        true);
    ASSERT_TRUE(bus.ok);
    const std::string address = bus.output.substr(0, bus.output.find('\n'));
    const pid_t busPid = static_cast<pid_t>(std::stol(bus.output.substr(bus.output.find('\n') + 1)));
    Env("DBUS_SESSION_BUS_ADDRESS", address);
    struct Ender {
        pid_t pid;
        ~Ender() { kill(pid, SIGTERM); } // xfconfd leaves with its bus
    } ender{busPid};
    Running("xfdesktop", {});
    auto set = [](const std::string& property, const char* type, const std::string& value) {
        return RunCommand(
                   {"xfconf-query", "-c", "xfce4-desktop", "-p", property, "-n", "-t", type, "-s", value})
            .ok;
    };
    // What xfdesktop wrote before: a monitor that is unplugged now, a fourth
    // workspace, and another X screen that is not ours.
    ASSERT_TRUE(set("/backdrop/screen0/monitorVGA-1/workspace0/last-image", "string", "/alt.png"));
    ASSERT_TRUE(set("/backdrop/screen0/monitorVGA-1/workspace3/image-style", "int", "5"));
    ASSERT_TRUE(set("/backdrop/screen0/monitorVGA-1/workspace3x/last-image", "string", "/alt.png"));
    ASSERT_TRUE(set("/backdrop/screen1/monitorHDMI-1/workspace0/last-image", "string", "/alt.png"));
    ASSERT_TRUE(set("/backdrop/single-workspace-mode", "bool", "true"));
    const std::vector<std::string> outputs = x11::ActiveOutputNames(d.get());
    ASSERT_FALSE(outputs.empty());
    std::vector<std::string> ours;
    for (const std::string& out : outputs)
        ours.push_back("/backdrop/screen0/monitor" + out + "/workspace0");
    ours.push_back("/backdrop/screen0/monitorVGA-1/workspace0");
    ours.push_back("/backdrop/screen0/monitorVGA-1/workspace3");
    auto get = [](const std::string& property) {
        std::string v = RunCommand({"xfconf-query", "-c", "xfce4-desktop", "-p", property}, true,
                                   std::chrono::seconds(20), {"LC_ALL=C.UTF-8"})
                            .output;
        if (!v.empty() && v.back() == '\n') v.pop_back();
        return v;
    };

    TOptionen o;
    o.ApplyWallpaper(Picture(800, 600));
    for (const std::string& p : ours) {
        EXPECT_EQ(get(p + "/image-style"), "1") << p;
        EXPECT_EQ(get(p + "/last-image"), Bmp()) << p;
    }
    o.ApplyWallpaper(Picture(100, 80));
    for (const std::string& p : ours) {
        EXPECT_EQ(get(p + "/image-style"), "2") << p;
        EXPECT_EQ(get(p + "/last-image"), Bmp()) << p;
    }
    EXPECT_EQ(get("/backdrop/screen0/monitorVGA-1/workspace3x/last-image"), "/alt.png");
    EXPECT_EQ(get("/backdrop/screen1/monitorHDMI-1/workspace0/last-image"), "/alt.png");

    // xfconf-query converts its arguments from the locale's character set:
    // under the C locale, as in a session without LANG, an umlaut failed.
    const fs::path hostile = tmp_ / "Bilder $HOME; {a,b} 'x' Ümläut";
    fs::create_directories(hostile);
    WriteAll(hostile / "ulbrasen.ini", "[Optionen]\nFirst=0\n");
    platform::SetExecutablePathForTesting((hostile / "ulbrasen").string());
    Env("LC_ALL", "C");
    Env("LANG", "C");
    TOptionen inHostile;
    inHostile.ApplyWallpaper(Picture(800, 600));
    for (const std::string& p : ours)
        EXPECT_EQ(get(p + "/last-image"), (hostile / "ulbrasen.bmp").string()) << p;
}

TEST_F(BackendTest, XfconfQueryThatFailsIsReportedWithTheFirstProperty) {
    auto d = xtest::Open();
    ASSERT_TRUE(d);
    StandIn("xfconf-query");
    Env("XDG_CURRENT_DESKTOP", "XFCE");
    Running("xfdesktop", {});
    Env("STANDIN_EXIT", "1");
    const std::vector<std::string> outputs = x11::ActiveOutputNames(d.get());
    ASSERT_FALSE(outputs.empty());
    TOptionen o;
    try {
        o.ApplyWallpaper(Picture(100, 80));
        FAIL() << "no error";
    } catch (const ZenksError& e) {
        EXPECT_EQ(std::string(e.what()), "Konnte Daten für '/backdrop/screen0/monitor" + outputs[0] +
                                             "/workspace0/image-style' nicht setzen");
    }
}

TEST_F(BackendTest, UnusableDesktopFallsBackToTheRootWindow) {
    auto d = xtest::Open();
    ASSERT_TRUE(d);
    // Named but absent: no pcmanfm-qt, no xfconf-query, sway without its socket.
    StandIn("swaymsg");
    Env("XDG_CURRENT_DESKTOP", "LXQt:XFCE:sway");
    xtest::DeleteRootProperty(d.get(), "_XROOTPMAP_ID");
    TOptionen o;
    o.ApplyWallpaper(Picture(100, 80));
    EXPECT_TRUE(Calls().empty());
    EXPECT_NE(xtest::RootProperty(d.get(), "_XROOTPMAP_ID"), 0u);

    // Installed but drawing no desktop here: pcmanfm-qt as a file manager
    // only, or on another display; xfconf-query without xfdesktop.
    StandIn("pcmanfm-qt");
    StandIn("xfconf-query");
    Running("pcmanfm-qt", {});
    {
        ScopedEnv other("DISPLAY", ":4711");
        Running("pcmanfm-qt", {"--desktop"});
    }
    xtest::DeleteRootProperty(d.get(), "_XROOTPMAP_ID");
    o.ApplyWallpaper(Picture(100, 80));
    EXPECT_TRUE(Calls().empty());
    EXPECT_NE(xtest::RootProperty(d.get(), "_XROOTPMAP_ID"), 0u);

    // Without any display the change ends silently after writing the file.
    ScopedEnv noDisplay("DISPLAY", std::nullopt);
    fs::remove(Bmp());
    EXPECT_NO_THROW(o.ApplyWallpaper(Picture(100, 80)));
    EXPECT_TRUE(fs::exists(Bmp()));
}

TEST_F(BackendTest, CommandThatFailsIsReportedWithItsSetting) {
    StandIn("swaymsg");
    Env("XDG_CURRENT_DESKTOP", "sway");
    Env("SWAYSOCK", "/run/user/0/sway-ipc.sock");
    Env("STANDIN_EXIT", "3");
    TOptionen o;
    try {
        o.ApplyWallpaper(Picture(100, 80));
        FAIL() << "no error";
    } catch (const ZenksError& e) {
        EXPECT_STREQ(e.what(), "Konnte Daten für 'bg' nicht setzen");
    }
}

// A Wayland compositor without a desktop of its own never shows the X root
// window: a swaybg of ours replaces the previous one, or the change fails.
TEST_F(BackendTest, OtherWaylandCompositorsGetSwaybgOrAnError) {
    auto d = xtest::Open();
    ASSERT_TRUE(d);
    Env("XDG_CURRENT_DESKTOP", "river");
    Env("WAYLAND_DISPLAY", "wayland-1");
    xtest::DeleteRootProperty(d.get(), "_XROOTPMAP_ID");
    TOptionen o;
    auto refused = [&] {
        try {
            o.ApplyWallpaper(Picture(100, 80));
            return std::string("no error");
        } catch (const ZenksError& e) {
            return std::string(e.what());
        }
    };
    EXPECT_EQ(refused(), "Konnte Daten für 'Wallpaper' nicht setzen");
    EXPECT_EQ(xtest::RootProperty(d.get(), "_XROOTPMAP_ID"), 0u);

    StandIn("swaybg", kRunning);
    const fs::path pidFile = tmp_ / "run" / "ulbrasen-swaybg.pid";
    auto started = [&] {
        std::ifstream in(pidFile);
        long pid = 0;
        in >> pid;
        return static_cast<pid_t>(pid);
    };
    o.ApplyWallpaper(Picture(100, 80));
    const pid_t first = started();
    ASSERT_GT(first, 0);
    EXPECT_TRUE(Alive(first));
    o.ApplyWallpaper(Picture(800, 600));
    const pid_t second = started();
    ASSERT_GT(second, 0);
    EXPECT_NE(second, first);
    EXPECT_TRUE(Alive(second));
    // Not our child: init reaps it once it is killed.
    for (int i = 0; i < 100 && Alive(first); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_FALSE(Alive(first));

    // A swaybg that ends at once (no layer shell) is a refusal; ours stays.
    StandIn("swaybg", "#!/bin/sh\nexit 1\n");
    EXPECT_EQ(refused(), "Konnte Daten für 'Wallpaper' nicht setzen");
    EXPECT_EQ(started(), second);
    EXPECT_TRUE(Alive(second));
    kill(second, SIGKILL);
}

// Hyprland with hyprpaper running: preload, show, and unload the previous name.
TEST_F(BackendTest, HyprlandGetsThePictureThroughHyprpaper) {
    StandIn("hyprctl",
            "#!/bin/sh\nPATH=/usr/bin:/bin\n{ printf hyprctl; for a in \"$@\"; do printf '|%s' \"$a\"; done; "
            "echo; } >>\"$STANDIN_LOG\"\necho ok\n");
    StandIn("swaybg", kRunning);
    Env("XDG_CURRENT_DESKTOP", "Hyprland");
    Env("WAYLAND_DISPLAY", "wayland-1");
    Env("HYPRLAND_INSTANCE_SIGNATURE", "abc_123");
    Running("hyprpaper", {});
    TOptionen o;
    o.ApplyWallpaper(Picture(100, 80));
    ASSERT_EQ(Aliases(tmp_ / "run", "ulbrasen-wallpaper").size(), 1u);
    const std::string a = Aliases(tmp_ / "run", "ulbrasen-wallpaper")[0];
    EXPECT_EQ(Calls(), (std::vector<std::string>{"hyprctl|hyprpaper|preload|" + a,
                                                 "hyprctl|hyprpaper|wallpaper|," + a}));
    EXPECT_TRUE(pictures::HoldsPattern(pictures::ReadBmp(a), 100, 80));
    o.ApplyWallpaper(Picture(800, 600));
    ASSERT_EQ(Aliases(tmp_ / "run", "ulbrasen-wallpaper").size(), 1u);
    const std::string b = Aliases(tmp_ / "run", "ulbrasen-wallpaper")[0];
    EXPECT_EQ(Calls(),
              (std::vector<std::string>{"hyprctl|hyprpaper|preload|" + b, "hyprctl|hyprpaper|wallpaper|," + b,
                                        "hyprctl|hyprpaper|unload|" + a}));
    EXPECT_FALSE(fs::exists(a));
    EXPECT_FALSE(fs::exists(tmp_ / "run" / "ulbrasen-swaybg.pid"));
}

// The real GIO with its keyfile backend and Debian's installed schema.
TEST_F(BackendTest, GnomeGetsOptionsAndBothUrisPercentEncoded) {
    Env("XDG_CURRENT_DESKTOP", "ubuntu:GNOME");
    Env("GSETTINGS_BACKEND", "keyfile");
    Env("XDG_CONFIG_HOME", (tmp_ / "config").string());
    ASSERT_EQ(
        tmp_.str().find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789/._-"),
        std::string::npos);
    const std::string dirUri = "file://" + tmp_.str() + "/mein%20%22Ordner%22/";
    TOptionen o;
    o.ApplyWallpaper(Picture(100, 80));
    ASSERT_TRUE(fs::exists(tmp_ / "config" / "glib-2.0" / "settings" / "keyfile"));
    GSettings* s = g_settings_new("org.gnome.desktop.background");
    auto get = [&](const char* key) {
        gchar* v = g_settings_get_string(s, key);
        std::string r = v;
        g_free(v);
        return r;
    };
    auto uri = [&] {
        const std::vector<std::string> aliases = Aliases(Dir(), "ulbrasen");
        EXPECT_EQ(aliases.size(), 1u);
        return aliases.empty() ? "" : dirUri + fs::path(aliases[0]).filename().string();
    };
    EXPECT_EQ(get("picture-options"), "wallpaper");
    const std::string first = uri();
    EXPECT_EQ(get("picture-uri"), first);
    EXPECT_EQ(get("picture-uri-dark"), first);
    EXPECT_TRUE(pictures::HoldsPattern(pictures::ReadBmp(Aliases(Dir(), "ulbrasen").at(0)), 100, 80));

    // GNOME Shell would show the image it loaded for a URI used before.
    std::set<std::string> seen{first};
    for (int i = 0; i < 3; ++i) {
        o.ApplyWallpaper(Picture(i % 2 ? 100 : 800, i % 2 ? 80 : 600));
        EXPECT_EQ(get("picture-options"), i % 2 ? "wallpaper" : "centered");
        EXPECT_TRUE(seen.insert(get("picture-uri")).second) << get("picture-uri");
        EXPECT_EQ(get("picture-uri"), uri());
        EXPECT_EQ(get("picture-uri-dark"), get("picture-uri"));
    }
    g_object_unref(s);
}

TEST(FileUriTest, EverythingButUnreservedBytesIsEncoded) {
    EXPECT_EQ(FileUri("/home/jö/a b%#?'\"&+;.bmp"), "file:///home/j%C3%B6/a%20b%25%23%3F%27%22%26%2B%3B.bmp");
    EXPECT_EQ(FileUri("/opt/Ulbrasen_1.0~x-y/ulbrasen-a.bmp"), "file:///opt/Ulbrasen_1.0~x-y/ulbrasen-a.bmp");
}

TEST(PlasmaScriptTest, PathCannotLeaveTheStringLiteral) {
    EXPECT_EQ(JavaScriptString("a\"b\\c'd"), "\"a\\\"b\\\\c'd\"");
    EXPECT_EQ(JavaScriptString("x\ny\r\x01z"), "\"x\\u000ay\\u000d\\u0001z\"");
    EXPECT_EQ(JavaScriptString("\xE2\x80\xA8\xE2\x80\xA9 \xC3\xBC"), "\"\\u2028\\u2029 \xC3\xBC\"");
    const std::string tiled = PlasmaWallpaperScript("file:///x.bmp", WallpaperStyle::Tiled);
    EXPECT_NE(tiled.find("d.writeConfig(\"FillMode\", 3);"), std::string::npos);
    EXPECT_LT(tiled.find("FillMode"), tiled.find("d.writeConfig(\"Image\", \"file:///x.bmp\");"));
    EXPECT_NE(PlasmaWallpaperScript("file:///x.bmp", WallpaperStyle::Centred).find("(\"FillMode\", 6)"),
              std::string::npos);
}
