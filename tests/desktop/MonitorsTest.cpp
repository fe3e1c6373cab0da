// gtest before Xlib, whose macros (None, Bool) clash with its names.
#include "tests/support/TestSupport.h"
#include "compose/BmpWriter.h"
#include "compose/Graphics.h"
#include "config/uOptionen.h"
#include "desktop/MonitorLayout.h"
#include "desktop/PlasmaScript.h"
#include "desktop/SwayOutputs.h"
#include "desktop/uDirectXErkennung.h"
#include "platform/Platform.h"
#include "tests/desktop/DesktopPrograms.h"
#include "tests/desktop/TestPictures.h"
#include "tests/desktop/XReadBack.h"

#include <X11/extensions/Xrandr.h>
#include <fcntl.h>
#include <gio/gio.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <set>

using namespace testsupport;
using platform::Monitor;

namespace {
// An Xvfb of its own for the test suite, so that its monitors can be set
// without disturbing the shared one of scripts/test.
class PrivateXvfb {
  public:
    explicit PrivateXvfb(const std::string& screen) {
        int fds[2];
        if (pipe(fds) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(fds[1], 9);
            // Nothing inherited: a test runner waiting for the output must
            // not wait for this server as well.
            const int devnull = open("/dev/null", O_RDWR);
            dup2(devnull, 0);
            dup2(devnull, 1);
            dup2(devnull, 2);
            execlp("Xvfb", "Xvfb", "-displayfd", "9", "-screen", "0", screen.c_str(), "-nolisten", "tcp",
                   "-noreset", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        char buf[32] = {};
        std::size_t n = 0;
        while (n < sizeof buf - 1) {
            const ssize_t r = read(fds[0], buf + n, 1);
            if (r <= 0 || buf[n] == '\n') break;
            ++n;
        }
        close(fds[0]);
        buf[n] = '\0';
        if (n > 0) display_ = std::string(":") + buf;
    }
    ~PrivateXvfb() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
    }
    const std::string& Display() const { return display_; }

  private:
    pid_t pid_ = -1;
    std::string display_;
};

// Replaces the monitors set before by RandR 1.5 monitors as "xrandr
// --setmonitor" sets them; the first holds the screen's one output (else
// the output would add a monitor of its own) and is the primary unless
// primary says otherwise.
void SetMonitors(Display* d, const std::vector<Monitor>& list, std::size_t primary = 0) {
    const Window root = DefaultRootWindow(d);
    int n = 0;
    XRRMonitorInfo* old = XRRGetMonitors(d, root, False, &n);
    // The output's own monitor cannot be deleted; the server says so.
    const auto handler = XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
    for (int i = 0; i < n; ++i)
        XRRDeleteMonitor(d, root, old[i].name);
    XSync(d, False);
    XSetErrorHandler(handler);
    XRRFreeMonitors(old);
    XRRScreenResources* res = XRRGetScreenResourcesCurrent(d, root);
    for (std::size_t i = 0; i < list.size(); ++i) {
        XRRMonitorInfo* m = XRRAllocateMonitor(d, i == 0 ? 1 : 0);
        m->name = XInternAtom(d, list[i].name.c_str(), False);
        m->primary = i == primary;
        m->x = list[i].x;
        m->y = list[i].y;
        m->width = list[i].width;
        m->height = list[i].height;
        m->mwidth = list[i].width / 4;
        m->mheight = list[i].height / 4;
        if (i == 0) m->outputs[0] = res->outputs[0];
        XRRSetMonitor(d, root, m);
        XFree(m);
    }
    XRRFreeScreenResources(res);
    XSync(d, False);
}

const std::vector<Monitor> kTwo = {{0, 0, 1920, 1080, "LINKS"}, {1920, 480, 1280, 1024, "RECHTS"}};
const std::vector<Monitor> kThree = {
    {640, 0, 1280, 720, "MITTE"}, {0, 200, 640, 480, "LINKS"}, {1920, 100, 1280, 1024, "RECHTS"}};
// One monitor away from the root's corner: its picture goes into the root uncomposed.
const std::vector<Monitor> kOneInside = {{300, 150, 1281, 901, "EINS"}};

const Monitor* MonitorAt(const std::vector<Monitor>& list, int x, int y) {
    for (const Monitor& m : list)
        if (x >= m.x && y >= m.y && x < m.x + m.width && y < m.y + m.height) return &m;
    return nullptr;
}

bool IsBlack(const std::uint8_t* p) {
    return p[0] == 0 && p[1] == 0 && p[2] == 0;
}
} // namespace

class MonitorsTest : public SandboxTest {
  protected:
    static void SetUpTestSuite() { xvfb_ = new PrivateXvfb("3200x1504x24"); }
    static void TearDownTestSuite() {
        delete xvfb_;
        xvfb_ = nullptr;
    }

    MonitorsTest() {
        for (const char* v :
             {"XDG_CURRENT_DESKTOP", "XDG_SESSION_DESKTOP", "DESKTOP_SESSION", "SWAYSOCK", "KDE_FULL_SESSION",
              "MATE_DESKTOP_SESSION_ID", "GNOME_DESKTOP_SESSION_ID", "DBUS_SESSION_BUS_ADDRESS"})
            env_.push_back(std::make_unique<ScopedEnv>(v, std::nullopt));
        env_.push_back(std::make_unique<ScopedEnv>("DISPLAY", xvfb_->Display()));
        dpy_ = xtest::Open();
        SetExclusiveModeForTesting(0);
    }
    ~MonitorsTest() override {
        SetExclusiveModeForTesting(std::nullopt);
        platform::SetMonitorsForTesting(std::nullopt);
    }

    // count pattern pictures of different sizes in one active folder.
    std::vector<std::string> Catalogue(int count) {
        std::vector<std::string> paths;
        fs::create_directories(tmp_ / "bilder");
        for (int i = 0; i < count; ++i) {
            paths.push_back((tmp_ / "bilder" / ("b" + std::to_string(i) + ".bmp")).string());
            pictures::WritePatternBmp(paths.back(), 300 + 40 * i, 200 + 10 * i);
        }
        return paths;
    }
    void WriteOptions(const std::string& more) {
        WriteIni("[Optionen]\nAnzVerz=1\nVerz1=" + (tmp_ / "bilder").string() +
                 "\nVerz1/Optionen=A\nFirst=0\n" + more);
    }
    fs::path Bmp(const std::string& suffix = "") const {
        return tmp_ / "bin" / ("ulbrasen" + suffix + ".bmp");
    }
    xtest::Rgb Root() {
        Display* d = dpy_.get();
        return xtest::ReadDrawable(d, DefaultRootWindow(d), DisplayWidth(d, 0), DisplayHeight(d, 0));
    }

    // Each monitor shows its own file pixel for pixel, every file is one of
    // the catalogue's pictures fitted to its monitor, no two the same.
    void ExpectOwnPictures(const std::vector<Monitor>& monitors, const std::vector<std::string>& catalogue) {
        const xtest::Rgb root = Root();
        std::set<std::string> shown;
        for (std::size_t i = 0; i < monitors.size(); ++i) {
            const Monitor& m = monitors[i];
            const fs::path file = i == 0 ? Bmp() : Bmp("-" + std::to_string(i + 1));
            ASSERT_TRUE(fs::exists(file)) << file;
            const TBitmap own = pictures::ReadBmp(file.string());
            ASSERT_EQ(own.Width(), m.width) << m.name;
            ASSERT_EQ(own.Height(), m.height) << m.name;
            for (int y = 0; y < m.height; ++y)
                for (int x = 0; x < m.width; ++x) {
                    const std::uint8_t* p = root.at(m.x + x, m.y + y);
                    const std::uint8_t* q = own.ScanLine(y) + 3 * x;
                    ASSERT_TRUE(p[0] == q[2] && p[1] == q[1] && p[2] == q[0])
                        << m.name << " " << x << "," << y;
                }
            TOptionen o;
            std::string which;
            for (const std::string& path : catalogue) {
                TPicture fitted;
                ASSERT_EQ(o.FitPicture(fitted, path, {m.width, m.height}), "");
                const TBitmap& b = fitted.Bitmap();
                bool same = b.Width() == own.Width() && b.Height() == own.Height();
                for (int y = 0; same && y < b.Height(); ++y)
                    same = std::equal(b.ScanLine(y), b.ScanLine(y) + 3 * b.Width(), own.ScanLine(y));
                if (same) which = path;
            }
            EXPECT_FALSE(which.empty()) << m.name << " shows none of the pictures fitted to it";
            EXPECT_TRUE(shown.insert(which).second) << m.name << " shows the same picture as another";
        }
        for (int y = 0; y < root.height; ++y)
            for (int x = 0; x < root.width; ++x)
                if (!MonitorAt(monitors, x, y)) {
                    ASSERT_TRUE(IsBlack(root.at(x, y))) << x << "," << y;
                }
    }

    static PrivateXvfb* xvfb_;
    std::vector<std::unique_ptr<ScopedEnv>> env_;
    xtest::DisplayPtr dpy_;
};
PrivateXvfb* MonitorsTest::xvfb_ = nullptr;

TEST_F(MonitorsTest, RandrMonitorsVirtualOnesIncludedThePrimaryFirst) {
    ASSERT_TRUE(dpy_);
    SetMonitors(dpy_.get(), kThree, 2);
    const std::vector<Monitor> got = platform::Monitors();
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0], kThree[2]);
    EXPECT_EQ(got[1], kThree[0]);
    EXPECT_EQ(got[2], kThree[1]);
    // Fitting's screen size is the primary monitor's.
    EXPECT_EQ(platform::ScreenSize().width, 1280);
    EXPECT_EQ(platform::ScreenSize().height, 1024);
}

TEST_F(MonitorsTest, CentredPictureIsCentredOnEachMonitorOnBlack) {
    ASSERT_TRUE(dpy_);
    for (const auto* monitors : {&kOneInside, &kTwo, &kThree}) {
        SetMonitors(dpy_.get(), *monitors);
        const std::string pic = (tmp_ / "p.bmp").string();
        pictures::WritePatternBmp(pic, 800, 600);
        WriteIni("[Optionen]\nFirst=0\n");
        TOptionen o;
        o.ApplyWallpaper(pic);
        const xtest::Rgb root = Root();
        for (int y = 0; y < root.height; ++y)
            for (int x = 0; x < root.width; ++x) {
                const Monitor* m = MonitorAt(*monitors, x, y);
                const int px = m ? x - (m->x + (m->width - 800) / 2) : -1;
                const int py = m ? y - (m->y + (m->height - 600) / 2) : -1;
                std::uint8_t want[3] = {0, 0, 0};
                if (px >= 0 && py >= 0 && px < 800 && py < 600) pictures::Pattern(px, py, want);
                const std::uint8_t* p = root.at(x, y);
                ASSERT_TRUE(p[0] == want[0] && p[1] == want[1] && p[2] == want[2])
                    << monitors->size() << " monitors, pixel " << x << "," << y;
            }
        // One picture, one file: nothing for the other monitors.
        EXPECT_TRUE(pictures::HoldsPattern(pictures::ReadBmp(Bmp().string()), 800, 600));
        EXPECT_FALSE(fs::exists(Bmp("-2")));
    }
}

TEST_F(MonitorsTest, TileCoversTheWholeRootFromItsTopLeftCorner) {
    ASSERT_TRUE(dpy_);
    SetMonitors(dpy_.get(), kThree);
    const std::string pic = (tmp_ / "k.bmp").string();
    pictures::WritePatternBmp(pic, 100, 80);
    WriteIni("[Optionen]\nFirst=0\n");
    TOptionen o;
    o.ApplyWallpaper(pic);
    const xtest::Rgb root = Root();
    for (int y = 0; y < root.height; ++y)
        for (int x = 0; x < root.width; ++x) {
            std::uint8_t want[3];
            pictures::Pattern(x % 100, y % 80, want);
            const std::uint8_t* p = root.at(x, y);
            ASSERT_TRUE(p[0] == want[0] && p[1] == want[1] && p[2] == want[2]) << x << "," << y;
        }
}

TEST_F(MonitorsTest, OwnPictureForEachMonitorFittedToIt) {
    ASSERT_TRUE(dpy_);
    for (const auto* monitors : {&kTwo, &kThree}) {
        SetMonitors(dpy_.get(), *monitors);
        const std::vector<std::string> catalogue = Catalogue(static_cast<int>(monitors->size()));
        WriteOptions("Autowandlung_Groesse=1\nEigenesBildJeBildschirm=1\n");
        TOptionen o;
        o.ApplyRandomWallpaper();
        ExpectOwnPictures(*monitors, catalogue);
        fs::remove_all(tmp_ / "bilder");
    }
}

TEST_F(MonitorsTest, OneMonitorOrTheOptionOffIsOnePictureAsBefore) {
    ASSERT_TRUE(dpy_);
    // Option on, one monitor: the one file of a single change.
    SetMonitors(dpy_.get(), {{0, 0, 3200, 1504, "GANZ"}});
    Catalogue(1);
    WriteOptions("EigenesBildJeBildschirm=1\n");
    {
        TOptionen o;
        o.ApplyRandomWallpaper();
    }
    EXPECT_TRUE(pictures::HoldsPattern(pictures::ReadBmp(Bmp().string()), 300, 200));
    EXPECT_FALSE(fs::exists(Bmp("-2")));
    // Option off, two monitors: one picture as well.
    SetMonitors(dpy_.get(), kTwo);
    WriteOptions("EigenesBildJeBildschirm=0\n");
    {
        TOptionen o;
        o.ApplyRandomWallpaper();
    }
    EXPECT_TRUE(pictures::HoldsPattern(pictures::ReadBmp(Bmp().string()), 300, 200));
    EXPECT_FALSE(fs::exists(Bmp("-2")));
}

TEST_F(MonitorsTest, FewerPicturesThanMonitorsRepeatOne) {
    ASSERT_TRUE(dpy_);
    SetMonitors(dpy_.get(), kThree);
    Catalogue(1);
    fs::create_directories(tmp_ / "bilder");
    WriteAll(tmp_ / "bilder" / "kaputt.bmp", "BM this is no bitmap");
    WriteOptions("EigenesBildJeBildschirm=1\n");
    TOptionen o;
    o.ApplyRandomWallpaper();
    // The broken file gives way: every monitor gets the one good picture.
    for (const char* suffix : {"", "-2", "-3"})
        EXPECT_TRUE(pictures::HoldsPattern(pictures::ReadBmp(Bmp(suffix).string()), 300, 200)) << suffix;
}

// The real GIO with its keyfile backend: one bitmap of the whole desktop,
// spanned, composed of the monitors' own pictures at their places.
TEST_F(MonitorsTest, GnomeGetsTheComposedDesktopSpanned) {
    env_.push_back(std::make_unique<ScopedEnv>("XDG_CURRENT_DESKTOP", "GNOME"));
    env_.push_back(std::make_unique<ScopedEnv>("GSETTINGS_BACKEND", "keyfile"));
    env_.push_back(std::make_unique<ScopedEnv>("XDG_CONFIG_HOME", (tmp_ / "config").string()));
    const std::vector<Monitor> monitors = {
        {200, 0, 320, 240, "A"}, {0, 60, 200, 150, "B"}, {520, 30, 300, 260, "C"}};
    platform::SetMonitorsForTesting(monitors);
    Catalogue(3);
    WriteOptions("Autowandlung_Groesse=1\nEigenesBildJeBildschirm=1\n");
    TOptionen o;
    o.ApplyRandomWallpaper();

    GSettings* s = g_settings_new("org.gnome.desktop.background");
    gchar* options = g_settings_get_string(s, "picture-options");
    gchar* uri = g_settings_get_string(s, "picture-uri");
    EXPECT_STREQ(options, "spanned");
    // GNOME gets a fresh alias of the composed desktop bitmap.
    const std::string prefix = "file://" + (tmp_ / "bin" / "ulbrasen-desktop-").string();
    const std::string shown(uri);
    EXPECT_EQ(shown.compare(0, prefix.size(), prefix), 0) << shown;
    g_free(options);
    g_free(uri);
    g_object_unref(s);

    const TBitmap spanned = pictures::ReadBmp(shown.substr(std::string("file://").size()));
    ASSERT_EQ(spanned.Width(), 820);
    ASSERT_EQ(spanned.Height(), 290);
    std::vector<TBitmap> own;
    for (const char* suffix : {"", "-2", "-3"})
        own.push_back(pictures::ReadBmp(Bmp(suffix).string()));
    for (int y = 0; y < spanned.Height(); ++y)
        for (int x = 0; x < spanned.Width(); ++x) {
            const std::uint8_t* p = spanned.ScanLine(y) + 3 * x;
            const Monitor* m = MonitorAt(monitors, x, y);
            const std::uint8_t* want = nullptr;
            static const std::uint8_t black[3] = {0, 0, 0};
            want = black;
            if (m) {
                const std::size_t i = static_cast<std::size_t>(m - monitors.data());
                want = own[i].ScanLine(y - m->y) + 3 * (x - m->x);
            }
            ASSERT_TRUE(std::equal(p, p + 3, want)) << x << "," << y;
        }
}

TEST(MonitorLayoutTest, FilesOfTheOtherMonitorsAreNamedAfterThePrimarysFile) {
    EXPECT_EQ(MonitorFile("/opt/z/ulbrasen.bmp", 0), "/opt/z/ulbrasen.bmp");
    EXPECT_EQ(MonitorFile("/opt/z/ulbrasen.bmp", 1), "/opt/z/ulbrasen-2.bmp");
    EXPECT_EQ(MonitorFile("/opt/z/ulbrasen.bmp", 2), "/opt/z/ulbrasen-3.bmp");
    EXPECT_EQ(MonitorFile("/opt/z.d/ulbrasen", 1), "/opt/z.d/ulbrasen-2");
    EXPECT_EQ(SpannedFile("/opt/z/ulbrasen.bmp"), "/opt/z/ulbrasen-desktop.bmp");
}

TEST(MonitorLayoutTest, PictureIsCutToItsMonitorAndTilesFromItsCorner) {
    // Windows coordinates: a monitor left of and above the primary.
    const std::vector<Monitor> list = {{0, 0, 6, 4, ""}, {-4, -2, 4, 3, ""}};
    EXPECT_EQ(DesktopArea(list), (Monitor{-4, -2, 10, 6, ""}));
    TBitmap big(8, 8), tile(3, 2);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            big.ScanLine(y)[3 * x] = static_cast<std::uint8_t>(1 + x + 8 * y);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            tile.ScanLine(y)[3 * x] = static_cast<std::uint8_t>(100 + x + 3 * y);
    TBitmap out;
    ComposeDesktop(
        out, {{list[0], "", &big, WallpaperStyle::Centred}, {list[1], "", &tile, WallpaperStyle::Tiled}});
    ASSERT_EQ(out.Width(), 10);
    ASSERT_EQ(out.Height(), 6);
    const auto at = [&](int x, int y) { return out.ScanLine(y - -2)[3 * (x - -4)]; };
    // 8 x 8 centred on 6 x 4: offset (-1, -2), so (0, 0) shows (1, 2).
    EXPECT_EQ(at(0, 0), 1 + 1 + 8 * 2);
    EXPECT_EQ(at(5, 3), 1 + 6 + 8 * 5);
    // Tiled from (-4, -2), cut at the monitor's right and bottom edges.
    EXPECT_EQ(at(-4, -2), 100);
    EXPECT_EQ(at(-1, -2), 100);
    EXPECT_EQ(at(-2, 0), 100 + 2);
    // Black where no monitor is.
    EXPECT_EQ(at(-4, 1), 0);
    EXPECT_EQ(at(-1, 3), 0);
}

namespace {
// Records each call as "name|arg|arg..." in $STANDIN_LOG; answers
// "-t get_outputs" with $STANDIN_OUTPUTS and "-l" with $STANDIN_LISTING.
// $STANDIN_SPAWN is started with the stand-in's arguments, as sway starts
// swaybg: the backend counts a change only when a swaybg shows the file.
const char kStandIn[] = R"SH(#!/bin/sh
[ -n "$STANDIN_SPAWN" ] && { "$STANDIN_SPAWN" "$@" </dev/null >/dev/null 2>&1 & }
{ printf '%s' "$(basename "$0")"; for a in "$@"; do printf '|%s' "$a"; done; printf '\n'; } >>"$STANDIN_LOG"
[ "$3" = "get_outputs" ] && cat "$STANDIN_OUTPUTS"
[ "$3" = "-l" ] && [ -n "$STANDIN_LISTING" ] && cat "$STANDIN_LISTING"
exit 0
)SH";
// The swaybg the sway stand-in starts, detached: it ends by itself.
const char kSwaybg[] = "#!/bin/sh\nPATH=/usr/bin:/bin\nsleep 10\n";
} // namespace

class MonitorBackendTest : public MonitorsTest {
  protected:
    MonitorBackendTest() {
        fs::create_directories(tmp_ / "fake");
        env_.push_back(std::make_unique<ScopedEnv>("PATH", (tmp_ / "fake").string() + ":/usr/bin:/bin"));
        env_.push_back(std::make_unique<ScopedEnv>("STANDIN_LOG", (tmp_ / "log").string()));
    }
    ~MonitorBackendTest() override {
        for (pid_t pid : running_)
            desktopprograms::Stop(pid);
    }
    void StandIn(const char* name, const char* script = kStandIn) {
        const fs::path p = tmp_ / "fake" / name;
        WriteAll(p, script);
        fs::permissions(p, fs::perms::owner_all);
    }
    void Running(const std::string& name) {
        running_.push_back(desktopprograms::Start(tmp_ / "programs", name, {}));
    }
    std::vector<pid_t> running_;
    std::vector<std::string> Calls() { return desktopprograms::TakeCalls(tmp_ / "log"); }
};

TEST_F(MonitorBackendTest, SwayGivesEachOutputItsOwnFile) {
    StandIn("swaymsg");
    StandIn("swaybg", kSwaybg);
    env_.push_back(std::make_unique<ScopedEnv>("STANDIN_SPAWN", (tmp_ / "fake" / "swaybg").string()));
    fs::create_directories(tmp_ / "run");
    env_.push_back(std::make_unique<ScopedEnv>("XDG_RUNTIME_DIR", (tmp_ / "run").string()));
    env_.push_back(std::make_unique<ScopedEnv>("XDG_CURRENT_DESKTOP", "sway"));
    env_.push_back(std::make_unique<ScopedEnv>("SWAYSOCK", "/run/user/0/sway-ipc.sock"));
    // As swaymsg -r prints it, with an inactive output and nested arrays.
    WriteAll(tmp_ / "outputs",
             R"([{"id":3,"name":"DP-1","active":true,"rect":{"x":0,"y":0,"width":640,"height":480},)"
             R"("modes":[{"width":640,"height":480,"refresh":60000}],"focused":false},)"
             R"({"name":"VGA-1","active":false,"rect":{"x":0,"y":0,"width":0,"height":0}},)"
             R"({"name":"HDMI-A-1","active":true,"focused":true,"make":"Fo\"o\\ \u00fc",)"
             R"("rect":{"x":640,"y":100,"width":320,"height":200}}])");
    env_.push_back(std::make_unique<ScopedEnv>("STANDIN_OUTPUTS", (tmp_ / "outputs").string()));
    Catalogue(2);
    WriteOptions("Autowandlung_Groesse=1\nEigenesBildJeBildschirm=1\n");
    TOptionen o;
    o.ApplyRandomWallpaper();
    // Each output gets a plain name of its own in the runtime folder, holding its file.
    const std::vector<std::string> calls = Calls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0], "swaymsg|-r|-t|get_outputs");
    const std::string run = (tmp_ / "run").string();
    const std::string first = "swaymsg|output|DP-1|bg|" + run + "/ulbrasen-wallpaper-";
    const std::string second = "swaymsg|output|HDMI-A-1|bg|" + run + "/ulbrasen-wallpaper-2-";
    EXPECT_EQ(calls[1].compare(0, first.size(), first), 0) << calls[1];
    EXPECT_EQ(calls[2].compare(0, second.size(), second), 0) << calls[2];
    for (const std::string& call : {calls[1], calls[2]}) {
        const std::size_t start = call.find(run), end = call.rfind("|center");
        ASSERT_NE(end, std::string::npos) << call;
        const std::string alias = call.substr(start, end - start);
        EXPECT_EQ(ReadAll(alias), ReadAll(call == calls[1] ? Bmp() : Bmp("-2"))) << alias;
    }
    EXPECT_EQ(pictures::ReadBmp(Bmp().string()).Width(), 640);
    EXPECT_EQ(pictures::ReadBmp(Bmp("-2").string()).Height(), 200);
}

TEST(SwayOutputsTest, AnythingButAnAnswerGivesNoOutputs) {
    const std::string deep(100000, '[');
    for (const std::string& text :
         {std::string(), std::string("{}"), std::string("[{\"name\":\"A\",\"rect\":{\"x\":0,"), deep,
          std::string("[{\"name\":\"A\",\"rect\":{\"x\":1e300,\"y\":0,\"width\":-5,\"height\":10}}]"),
          std::string("[{\"name\":7,\"rect\":{\"width\":10,\"height\":10}}]")})
        EXPECT_TRUE(ParseSwayOutputs(text).empty()) << text.substr(0, 60);
    const auto two = ParseSwayOutputs(R"( [ {"name":"A","rect":{"x":-10,"y":5,"width":10,"height":20}} ,)"
                                      R"({"rect":{"width":3,"height":4},"name":"B\"C"} ] )");
    ASSERT_EQ(two.size(), 2u);
    EXPECT_EQ(two[0], (Monitor{-10, 5, 10, 20, "A"}));
    EXPECT_EQ(two[1], (Monitor{0, 0, 3, 4, "B\"C"}));
}

TEST_F(MonitorBackendTest, XfceGivesEachMonitorItsOwnFileAndUnknownOnesThePrimarys) {
    ASSERT_TRUE(dpy_);
    SetMonitors(dpy_.get(), kTwo);
    StandIn("xfconf-query");
    env_.push_back(std::make_unique<ScopedEnv>("XDG_CURRENT_DESKTOP", "XFCE"));
    Running("xfdesktop");
    WriteAll(tmp_ / "listing", "/backdrop/screen0/monitorLINKS/workspace0/last-image\n"
                               "/backdrop/screen0/monitorRECHTS/workspace0/last-image\n");
    env_.push_back(std::make_unique<ScopedEnv>("STANDIN_LISTING", (tmp_ / "listing").string()));
    Catalogue(2);
    WriteOptions("EigenesBildJeBildschirm=1\n");
    TOptionen o;
    o.ApplyRandomWallpaper();
    const std::string q = "xfconf-query|-c|xfce4-desktop|-p|/backdrop/screen0/monitor";
    std::vector<std::string> last;
    for (const std::string& call : Calls())
        if (call.find("/last-image|-n|-t|string|-s|/") != std::string::npos) last.push_back(call);
    // The screen's output ("screen" on Xvfb) is a name xfdesktop may use too.
    EXPECT_EQ(last, (std::vector<std::string>{
                        q + "LINKS/workspace0/last-image|-n|-t|string|-s|" + Bmp().string(),
                        q + "RECHTS/workspace0/last-image|-n|-t|string|-s|" + Bmp("-2").string(),
                        q + "screen/workspace0/last-image|-n|-t|string|-s|" + Bmp().string(),
                    }));
}

TEST(PlasmaScreenScriptTest, EachScreenItsPictureAndUnknownScreensThePrimarys) {
    const std::string script = PlasmaScreenWallpaperScript(
        {{"file:///a.bmp", WallpaperStyle::Centred}, {"file:///b\".bmp", WallpaperStyle::Tiled}});
    EXPECT_NE(script.find("var images = [\"file:///a.bmp\", \"file:///b\\\".bmp\"];"), std::string::npos)
        << script;
    EXPECT_NE(script.find("var fills = [6, 3];"), std::string::npos) << script;
    EXPECT_NE(script.find("d.screen >= 0 && d.screen < images.length ? d.screen : 0"), std::string::npos);
}
