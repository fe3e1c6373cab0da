// gtest before Xlib, whose macros (None, Bool) clash with its names.
#include "tests/support/TestSupport.h"
#include "config/Messages.h"
#include "config/uOptionen.h"
#include "desktop/uDirectXErkennung.h"
#include "tests/desktop/TestPictures.h"
#include "tests/desktop/XReadBack.h"

#include <X11/Xatom.h>

using namespace testsupport;

// With no desktop named, every change goes to the X root window of the Xvfb
// that scripts/test provides.
class ApplyWallpaperTest : public SandboxTest {
  protected:
    ApplyWallpaperTest() {
        WriteIni("[Optionen]\nFirst=0\n");
        for (const char* v :
             {"XDG_CURRENT_DESKTOP", "XDG_SESSION_DESKTOP", "DESKTOP_SESSION", "SWAYSOCK", "KDE_FULL_SESSION",
              "MATE_DESKTOP_SESSION_ID", "GNOME_DESKTOP_SESSION_ID", "DBUS_SESSION_BUS_ADDRESS"})
            env_.push_back(std::make_unique<ScopedEnv>(v, std::nullopt));
        dpy_ = xtest::Open();
    }
    ~ApplyWallpaperTest() override { SetExclusiveModeForTesting(std::nullopt); }
    std::string Picture(int w, int h) {
        const std::string p = (tmp_ / ("pic" + std::to_string(w) + ".bmp")).string();
        pictures::WritePatternBmp(p, w, h);
        return p;
    }
    fs::path Bmp() const { return tmp_ / "bin" / "ulbrasen.bmp"; }
    unsigned long RootPixmap() { return xtest::RootProperty(dpy_.get(), "_XROOTPMAP_ID"); }

    std::vector<std::unique_ptr<ScopedEnv>> env_;
    xtest::DisplayPtr dpy_;
};

TEST_F(ApplyWallpaperTest, NothingHappensWhileAFullScreenProgramHoldsTheDisplay) {
    ASSERT_TRUE(dpy_);
    const std::string pic = Picture(100, 80);
    TOptionen o;
    const unsigned long before = RootPixmap();
    for (std::int32_t code : {1, -2005532292}) { // any non-zero answer, negative codes included
        SetExclusiveModeForTesting(code);
        o.ApplyWallpaper(pic);
        EXPECT_FALSE(fs::exists(Bmp())) << code;
        EXPECT_EQ(RootPixmap(), before) << code;
    }
}

TEST_F(ApplyWallpaperTest, PictureThatCannotBeLoadedChangesNothing) {
    ASSERT_TRUE(dpy_);
    WriteAll(tmp_ / "kaputt.bmp", "BM this is no bitmap");
    TOptionen o;
    const unsigned long before = RootPixmap();
    SetExclusiveModeForTesting(0);
    for (const std::string& f :
         {std::string(), (tmp_ / "kaputt.bmp").string(), (tmp_ / "fehlt.jpg").string()}) {
        EXPECT_NO_THROW(o.ApplyWallpaper(f)) << f;
        EXPECT_FALSE(fs::exists(Bmp())) << f;
        EXPECT_EQ(RootPixmap(), before) << f;
    }
}

TEST_F(ApplyWallpaperTest, UncreatableWallpaperFileIsReportedAndTheDesktopLeftAlone) {
    ASSERT_TRUE(dpy_);
    fs::create_directory(Bmp()); // a folder where the file should go
    TOptionen o;
    const unsigned long before = RootPixmap();
    SetExclusiveModeForTesting(0);
    try {
        o.ApplyWallpaper(Picture(100, 80));
        FAIL() << "no error";
    } catch (const ZenksError& e) {
        EXPECT_STREQ(e.what(), ("Datei " + Bmp().string() + " kann nicht erstellt werden").c_str());
    }
    EXPECT_EQ(RootPixmap(), before);
}

TEST_F(ApplyWallpaperTest, RepeatedChangesFreeThePreviousRootPixmap) {
    ASSERT_TRUE(dpy_);
    Display* d = dpy_.get();
    SetExclusiveModeForTesting(0);
    TOptionen o;
    const std::string pic = Picture(100, 80);
    o.ApplyWallpaper(pic);
    const unsigned long first = RootPixmap();
    ASSERT_NE(first, 0u);
    EXPECT_EQ(xtest::RootProperty(d, "ESETROOT_PMAP_ID"), first);
    o.ApplyWallpaper(pic);
    const unsigned long second = RootPixmap();
    EXPECT_NE(second, first);
    EXPECT_FALSE(xtest::PixmapExists(d, first)) << "the first change's pixmap leaked";
    EXPECT_TRUE(xtest::PixmapExists(d, second));
    EXPECT_TRUE(pictures::HoldsPattern(pictures::ReadBmp(Bmp().string()), 100, 80));
}

TEST_F(ApplyWallpaperTest, InstalledCopyWritesTheWallpaperIntoTheUserDataFolder) {
    ASSERT_TRUE(dpy_);
    fs::remove(IniPath());
    const std::string pic = Picture(100, 80);
    fs::permissions(tmp_ / "bin", fs::perms::owner_read | fs::perms::owner_exec);
    {
        PermissionChecksOn checks;
        ForgetProgramFolderForTesting();
        SetExclusiveModeForTesting(0);
        TOptionen o;
        o.ApplyWallpaper(pic);
    }
    fs::permissions(tmp_ / "bin", fs::perms::owner_all);
    const fs::path bmp = Home() / ".local" / "share" / "ulbrasen" / "ulbrasen.bmp";
    EXPECT_TRUE(pictures::HoldsPattern(pictures::ReadBmp(bmp.string()), 100, 80));
    EXPECT_NE(RootPixmap(), 0u);
    EXPECT_TRUE(fs::is_empty(tmp_ / "bin"));
}

TEST_F(ApplyWallpaperTest, PixmapOfAnotherProgramIsNotFreedWhenTheAtomsDisagree) {
    ASSERT_TRUE(dpy_);
    Display* d = dpy_.get();
    // A still-running setter that published only _XROOTPMAP_ID: killing the
    // owner of that pixmap would kill this test's own connection.
    const Pixmap mine = XCreatePixmap(d, DefaultRootWindow(d), 8, 8, DefaultDepth(d, 0));
    const unsigned long id = mine;
    XChangeProperty(d, DefaultRootWindow(d), XInternAtom(d, "_XROOTPMAP_ID", False), XA_PIXMAP, 32,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(&id), 1);
    xtest::DeleteRootProperty(d, "ESETROOT_PMAP_ID");
    SetExclusiveModeForTesting(0);
    TOptionen o;
    o.ApplyWallpaper(Picture(100, 80));
    EXPECT_TRUE(xtest::PixmapExists(d, mine));
    EXPECT_NE(RootPixmap(), id);
    XFreePixmap(d, mine);
}
