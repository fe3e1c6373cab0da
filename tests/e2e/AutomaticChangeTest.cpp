// The real program, copied into a temporary folder, run as "ulbrasen /run"
// against the Xvfb display that scripts/test provides.
#include "tests/support/TestSupport.h"

#include "config/Version.h"

#include "tests/desktop/DesktopEntryReader.h"
#include "tests/desktop/TestPictures.h"
#include "tests/desktop/XReadBack.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <fcntl.h>
#include <png.h>
#include <thread>

extern char** environ;

using namespace testsupport;

namespace {
struct RunResult {
    int exitCode = -1;
    bool stillRunning = false; // the interactive start keeps its window open
    std::string err;
    std::string out;
};
} // namespace

class AutomaticChangeTest : public ::testing::Test {
  protected:
    AutomaticChangeTest() {
        fs::create_directories(tmp_ / "bin");
        fs::create_directories(tmp_ / "home");
        fs::create_directories(tmp_ / "pics");
        CopyProgram(Exe());
        WriteAll(tmp_ / "bin" / "ulbrasen.ini", "[Optionen]\nFirst=0\nAnzVerz=1\nVerz1=" +
                                                    (tmp_ / "pics").string() + "\nVerz1/Optionen=A\n");
        dpy_ = xtest::Open();
        if (dpy_) {
            xtest::DeleteRootProperty(dpy_.get(), "_XROOTPMAP_ID");
            xtest::DeleteRootProperty(dpy_.get(), "ESETROOT_PMAP_ID");
        }
    }
    fs::path Exe() const { return bin_ / "ulbrasen"; }
    fs::path Bmp() const { return bin_ / "ulbrasen.bmp"; }
    void OnlyPicture(int w, int h, const std::string& name = "bild.bmp") {
        fs::remove_all(pics_);
        fs::create_directories(pics_);
        pictures::WritePatternBmp((pics_ / name).string(), w, h);
    }
    // Moves the program and the picture folder to new places; the settings
    // name the new folder, and First decides whether this is a first start.
    void MoveTo(const fs::path& bin, const fs::path& pics, bool first) {
        fs::create_directories(bin);
        fs::copy_file(Exe(), bin / "ulbrasen");
        bin_ = bin;
        pics_ = pics;
        WriteAll(bin_ / "ulbrasen.ini", std::string("[Optionen]\n") + (first ? "" : "First=0\n") +
                                            "AnzVerz=1\nVerz1=" + pics_.string() + "\nVerz1/Optionen=A\n");
    }
    unsigned long RootPixmap() { return xtest::RootProperty(dpy_.get(), "_XROOTPMAP_ID"); }

    // Runs the copy with a private HOME and no desktop named, so that the X
    // root window takes the wallpaper. A process still running after the
    // grace time is killed.
    RunResult Run(const std::vector<std::string>& args,
                  std::chrono::milliseconds grace = std::chrono::seconds(20), fs::path program = {}) {
        std::vector<std::string> env;
        for (char** e = environ; *e; ++e) {
            const std::string v = *e;
            const std::string name = v.substr(0, v.find('='));
            if (name == "HOME" || name == "XDG_CURRENT_DESKTOP" || name == "XDG_SESSION_DESKTOP" ||
                name == "DESKTOP_SESSION" || name == "DBUS_SESSION_BUS_ADDRESS" || name == "SWAYSOCK" ||
                name == "WAYLAND_DISPLAY" || name.rfind("XDG_", 0) == 0)
                continue;
            env.push_back(v);
        }
        env.push_back("HOME=" + (tmp_ / "home").string());
        env.insert(env.end(), extraEnv_.begin(), extraEnv_.end());
        std::vector<std::string> argv = {program.empty() ? Exe().string() : program.string()};
        argv.insert(argv.end(), args.begin(), args.end());
        std::vector<char*> cargv, cenv;
        for (auto& a : argv)
            cargv.push_back(a.data());
        cargv.push_back(nullptr);
        for (auto& e : env)
            cenv.push_back(e.data());
        cenv.push_back(nullptr);

        const std::string errFile = (tmp_ / "stderr").string();
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_addopen(&fa, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const std::string outFile = (tmp_ / "stdout").string();
        posix_spawn_file_actions_addopen(&fa, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        pid_t pid = 0;
        RunResult r;
        const int rc = posix_spawn(&pid, cargv[0], &fa, nullptr, cargv.data(), cenv.data());
        posix_spawn_file_actions_destroy(&fa);
        EXPECT_EQ(rc, 0);
        if (rc != 0) return r;
        int status = 0;
        const auto deadline = std::chrono::steady_clock::now() + grace;
        while (waitpid(pid, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                r.stillRunning = true;
                kill(pid, SIGKILL);
                waitpid(pid, &status, 0);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (!r.stillRunning && WIFEXITED(status)) r.exitCode = WEXITSTATUS(status);
        r.err = ReadAll(errFile);
        r.out = ReadAll(outFile);
        return r;
    }

    TempDir tmp_;
    std::vector<std::string> extraEnv_;
    fs::path bin_ = tmp_ / "bin";
    fs::path pics_ = tmp_ / "pics";
    xtest::DisplayPtr dpy_;
};

TEST_F(AutomaticChangeTest, SmallPictureIsTiledAndLargeOneCentredOnBlack) {
    ASSERT_TRUE(dpy_);
    Display* d = dpy_.get();
    const int sw = DisplayWidth(d, 0), sh = DisplayHeight(d, 0);
    ASSERT_EQ(sw, 1024);
    ASSERT_EQ(sh, 768);

    OnlyPicture(100, 80);
    RunResult r = Run({"/run"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(pictures::HoldsPattern(pictures::ReadBmp(Bmp().string()), 100, 80));
    const unsigned long tile = RootPixmap();
    ASSERT_NE(tile, 0u);
    const xtest::Rgb pm = xtest::ReadDrawable(d, tile, 100, 80);
    const xtest::Rgb root = xtest::ReadDrawable(d, DefaultRootWindow(d), sw, sh);
    const xtest::Covered covered(d);
    ASSERT_EQ(pm.width, 100);
    ASSERT_EQ(root.width, sw);
    for (int y = 0; y < sh; y += 7)
        for (int x = 0; x < sw; x += 5) {
            std::uint8_t c[3];
            pictures::Pattern(x % 100, y % 80, c);
            if (!covered(x, y)) {
                ASSERT_EQ(std::vector<int>(root.at(x, y), root.at(x, y) + 3), std::vector<int>(c, c + 3))
                    << x << "," << y;
            }
            if (x < 100 && y < 80) {
                ASSERT_EQ(std::vector<int>(pm.at(x, y), pm.at(x, y) + 3), std::vector<int>(c, c + 3));
            }
        }

    OnlyPicture(800, 600);
    r = Run({"/run"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(pictures::HoldsPattern(pictures::ReadBmp(Bmp().string()), 800, 600));
    const unsigned long centred = RootPixmap();
    ASSERT_NE(centred, 0u);
    EXPECT_FALSE(xtest::PixmapExists(d, tile)) << "the tile's pixmap leaked";
    const xtest::Rgb whole = xtest::ReadDrawable(d, centred, sw, sh);
    const xtest::Rgb shown = xtest::ReadDrawable(d, DefaultRootWindow(d), sw, sh);
    const xtest::Covered covered2(d);
    ASSERT_EQ(whole.width, sw);
    const int ox = (sw - 800) / 2, oy = (sh - 600) / 2;
    for (int y = 0; y < sh; y += 3)
        for (int x = 0; x < sw; x += 3) {
            std::uint8_t c[3] = {0, 0, 0};
            if (x >= ox && x < ox + 800 && y >= oy && y < oy + 600) pictures::Pattern(x - ox, y - oy, c);
            ASSERT_EQ(std::vector<int>(whole.at(x, y), whole.at(x, y) + 3), std::vector<int>(c, c + 3))
                << x << "," << y;
            if (!covered2(x, y)) {
                ASSERT_EQ(std::vector<int>(shown.at(x, y), shown.at(x, y) + 3), std::vector<int>(c, c + 3))
                    << "root " << x << "," << y;
            }
        }
}

TEST_F(AutomaticChangeTest, FullScreenWindowKeepsEverythingAsItWas) {
    ASSERT_TRUE(dpy_);
    Display* d = dpy_.get();
    OnlyPicture(100, 80);
    const Window game = xtest::MapWindow(d, 0, 0, DisplayWidth(d, 0), DisplayHeight(d, 0), true);
    const RunResult r = Run({"/run"});
    XDestroyWindow(d, game);
    XSync(d, False);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_FALSE(fs::exists(Bmp()));
    EXPECT_EQ(RootPixmap(), 0u);
}

TEST_F(AutomaticChangeTest, OnlyRunAsFirstArgumentInAnyLetterCaseChanges) {
    ASSERT_TRUE(dpy_);
    OnlyPicture(100, 80);
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"-run"}, {"run"}, {"/run2"}, {"bla", "/run"}, {}}) {
        const RunResult r = Run(args, std::chrono::seconds(3));
        EXPECT_TRUE(r.stillRunning || r.exitCode == 0) << r.err;
        EXPECT_FALSE(fs::exists(Bmp())) << (args.empty() ? "" : args[0]);
        EXPECT_EQ(RootPixmap(), 0u);
    }
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"/RUN"}, {"/Run", "egal"}}) {
        const RunResult r = Run(args);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_TRUE(fs::exists(Bmp())) << args[0];
        EXPECT_NE(RootPixmap(), 0u);
        fs::remove(Bmp());
        xtest::DeleteRootProperty(dpy_.get(), "_XROOTPMAP_ID");
    }
}

// The window is a module beside the program; "/run" never needs it, and a
// copy without it says what is missing instead of failing at its start.
TEST_F(AutomaticChangeTest, ProgramWithoutItsWindowModuleStillChangesAndNamesTheMissingModule) {
    ASSERT_TRUE(dpy_);
    OnlyPicture(100, 80);
    ASSERT_TRUE(fs::remove(bin_ / "ulbrasen-fenster.so"));
    const RunResult window = Run({}, std::chrono::seconds(10));
    EXPECT_EQ(window.exitCode, 1);
    EXPECT_EQ(window.err,
              "Das Programmfenster (ulbrasen-fenster.so) kann nicht geladen werden: nicht gefunden\n");
    EXPECT_FALSE(fs::exists(Bmp()));
    const RunResult run = Run({"/run"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(fs::exists(Bmp()));
    EXPECT_NE(RootPixmap(), 0u);
}

TEST_F(AutomaticChangeTest, VersionIsPrintedOnAFirstStartWithoutTouchingAnything) {
    ASSERT_TRUE(dpy_);
    OnlyPicture(100, 80);
    MoveTo(tmp_ / "fresh", pics_, true);
    const std::string ini = ReadAll(bin_ / "ulbrasen.ini");
    const RunResult r = Run({"--version"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, std::string("ulbrasen ") + kVersion + "\n");
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(std::string(kVersion).starts_with("1.0.")) << kVersion;
    EXPECT_EQ(ReadAll(bin_ / "ulbrasen.ini"), ini);
    EXPECT_FALSE(fs::exists(Bmp()));
    EXPECT_FALSE(fs::exists(tmp_ / "home" / ".config"));
    EXPECT_EQ(RootPixmap(), 0u);
}

TEST_F(AutomaticChangeTest, ErrorsThatEscapeArePrintedInGermanWithExitCodeOne) {
    ASSERT_TRUE(dpy_);
    OnlyPicture(100, 80);
    fs::create_directory(Bmp());
    RunResult r = Run({"/run"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "Datei " + Bmp().string() + " kann nicht erstellt werden\n");
    EXPECT_EQ(RootPixmap(), 0u);

    // A bad picture is no error: nothing happens and the exit code is 0.
    fs::remove(Bmp());
    WriteAll(tmp_ / "pics" / "bild.bmp", "BM kaputt");
    r = Run({"/run"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_FALSE(fs::exists(Bmp()));
}

// In a Wayland session the X root window is never shown: without a wallpaper
// program the change fails aloud. A full-screen program still stops it silently.
TEST_F(AutomaticChangeTest, AWaylandSessionThatCannotTakeThePictureIsReported) {
    ASSERT_TRUE(dpy_);
    OnlyPicture(100, 80);
    fs::create_directories(tmp_ / "nothing");
    extraEnv_ = {"WAYLAND_DISPLAY=wayland-9", "XDG_CURRENT_DESKTOP=river",
                 "PATH=" + (tmp_ / "nothing").string()};
    RunResult r = Run({"/run"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "Konnte Daten für 'Wallpaper' nicht setzen\n");
    EXPECT_EQ(RootPixmap(), 0u);

    const Window full =
        xtest::MapWindow(dpy_.get(), 0, 0, DisplayWidth(dpy_.get(), 0), DisplayHeight(dpy_.get(), 0), true);
    r = Run({"/run"});
    XDestroyWindow(dpy_.get(), full);
    XSync(dpy_.get(), False);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, "");
}

// GIO without dconf keeps the values in memory only: GNOME would never see them.
TEST_F(AutomaticChangeTest, SettingsThatVanishAtExitAreReported) {
    ASSERT_TRUE(dpy_);
    OnlyPicture(100, 80);
    extraEnv_ = {"XDG_CURRENT_DESKTOP=GNOME", "GSETTINGS_BACKEND=memory"};
    const RunResult r = Run({"/run"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "Konnte Daten für 'picture-uri' nicht setzen\n");
}

// Blanks, quotes, umlauts, "%", "$" and a backslash in the program's folder,
// the picture folder and the picture's name (a line break too, which file
// names may hold): the change works, and the first start's launchers start
// this very program.
TEST_F(AutomaticChangeTest, HostileFolderAndFileNamesWorkEndToEnd) {
    ASSERT_TRUE(dpy_);
    const std::string hostile = "Zenks \"Hinter\" 'grund' 100% Ümläut $HOME back\\slash";
    MoveTo(tmp_ / hostile / "bin", tmp_ / ("Bilder " + hostile), true);
    OnlyPicture(100, 80, "bi\nld 50%s \"ä\".bmp");
    const RunResult r = Run({"/run"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(pictures::HoldsPattern(pictures::ReadBmp(Bmp().string()), 100, 80));
    EXPECT_NE(RootPixmap(), 0u);
    EXPECT_NE(ReadAll(bin_ / "ulbrasen.ini").find("First=0"), std::string::npos);

    const fs::path autostart = tmp_ / "home" / ".config" / "autostart" / "Hintergrundbild wechseln.desktop";
    ASSERT_TRUE(fs::exists(autostart));
    EXPECT_EQ(RunValidator(autostart), 0);
    EXPECT_EQ(ExecArguments(EntryValue(ReadAll(autostart), "Exec")),
              (std::vector<std::string>{"env", Exe().string(), "/run"}));
    EXPECT_EQ(EntryValue(ReadAll(autostart), "Path"), bin_.string());

    // The entry starts this program when GLib's launcher runs it, as GNOME's
    // autostart does.
    fs::remove(Bmp());
    OnlyPicture(120, 90, "zweites %% Bild.bmp");
    const RunResult launched = Run({"launch", autostart.string()}, std::chrono::seconds(20), "/usr/bin/gio");
    EXPECT_EQ(launched.exitCode, 0) << launched.err;
    for (int i = 0; i < 200 && !fs::exists(Bmp()); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    // Let the launched program finish before its folder goes away.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_TRUE(pictures::HoldsPattern(pictures::ReadBmp(Bmp().string()), 120, 90));
}

// A folder of nothing but PNG files is a folder of pictures like any other.
TEST_F(AutomaticChangeTest, PngOnlyFolderChangesTheWallpaper) {
    ASSERT_TRUE(dpy_);
    fs::remove_all(pics_);
    fs::create_directories(pics_);
    const int w = 800, h = 600;
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(w) * h * 3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            pictures::Pattern(x, y, &rgb[(static_cast<std::size_t>(y) * w + x) * 3]);
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = w;
    image.height = h;
    image.format = PNG_FORMAT_RGB;
    ASSERT_TRUE(png_image_write_to_file(&image, (pics_ / "Bild.PNG").c_str(), 0, rgb.data(), 0, nullptr));

    const RunResult r = Run({"/run"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(pictures::HoldsPattern(pictures::ReadBmp(Bmp().string()), w, h));
    EXPECT_NE(RootPixmap(), 0u);
}
