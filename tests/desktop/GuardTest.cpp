// gtest before Xlib, whose macros (None, Bool) clash with its names.
#include "tests/support/TestSupport.h"
#include "desktop/Json.h"
#include "desktop/uDirectXErkennung.h"
#include "tests/desktop/XReadBack.h"

#include <X11/Xatom.h>

using testsupport::ScopedEnv;
namespace fs = std::filesystem;

TEST(GuardTest, NoDisplayMeansNoFullScreenProgram) {
    ScopedEnv noDisplay("DISPLAY", std::nullopt);
    EXPECT_EQ(ExclusiveModeActive(), 0);
    ScopedEnv badDisplay("DISPLAY", ":4711");
    EXPECT_EQ(ExclusiveModeActive(), 0);
}

TEST(GuardTest, OverrideRedirectWindowCountsOnlyWhenMappedAndCoveringTheMonitor) {
    auto d = xtest::Open();
    ASSERT_TRUE(d);
    const int w = DisplayWidth(d.get(), 0), h = DisplayHeight(d.get(), 0);
    EXPECT_EQ(ExclusiveModeActive(), 0);

    // Managed (not override-redirect) full-size windows are ordinary windows.
    Window managed = xtest::MapWindow(d.get(), 0, 0, w, h, false);
    EXPECT_EQ(ExclusiveModeActive(), 0);
    XDestroyWindow(d.get(), managed);

    // A menu or tooltip is override-redirect but small; one pixel short is not covering.
    Window small = xtest::MapWindow(d.get(), 0, 0, w - 1, h, true);
    EXPECT_EQ(ExclusiveModeActive(), 0);
    XDestroyWindow(d.get(), small);

    Window full = xtest::MapWindow(d.get(), -5, -5, w + 10, h + 10, true);
    EXPECT_NE(ExclusiveModeActive(), 0);
    XUnmapWindow(d.get(), full);
    XSync(d.get(), False);
    EXPECT_EQ(ExclusiveModeActive(), 0);
    XDestroyWindow(d.get(), full);
    XSync(d.get(), False);
}

// Mutter and muffin (GNOME, Cinnamon, Budgie) keep an InputOnly,
// override-redirect, screen-sized "mutter guard window" mapped all the time.
TEST(GuardTest, InvisibleCoveringWindowsDoNotCount) {
    auto d = xtest::Open();
    ASSERT_TRUE(d);
    Display* dp = d.get();
    const int w = DisplayWidth(dp, 0), h = DisplayHeight(dp, 0);
    XSetWindowAttributes a{};
    a.override_redirect = True;
    const Window guard = XCreateWindow(dp, DefaultRootWindow(dp), -100, -100, static_cast<unsigned>(w + 200),
                                       static_cast<unsigned>(h + 200), 0, 0, InputOnly, CopyFromParent,
                                       CWOverrideRedirect, &a);
    XStoreName(dp, guard, "mutter guard window");
    XMapWindow(dp, guard);
    XSync(dp, False);
    EXPECT_EQ(ExclusiveModeActive(), 0);

    // Created but never mapped: nothing is on the screen.
    const Window hidden =
        XCreateWindow(dp, DefaultRootWindow(dp), 0, 0, static_cast<unsigned>(w), static_cast<unsigned>(h), 0,
                      CopyFromParent, InputOutput, CopyFromParent, CWOverrideRedirect, &a);
    XSync(dp, False);
    EXPECT_EQ(ExclusiveModeActive(), 0);

    // A visible one over the guard window still stops the change.
    XMapWindow(dp, hidden);
    XSync(dp, False);
    EXPECT_NE(ExclusiveModeActive(), 0);
    XDestroyWindow(dp, hidden);
    XDestroyWindow(dp, guard);
    XSync(dp, False);
    EXPECT_EQ(ExclusiveModeActive(), 0);
}

TEST(GuardTest, ActiveWindowInFullScreenStateCounts) {
    auto d = xtest::Open();
    ASSERT_TRUE(d);
    Display* dp = d.get();
    Window win = xtest::MapWindow(dp, 10, 10, 200, 100, false);
    const Atom active = XInternAtom(dp, "_NET_ACTIVE_WINDOW", False);
    const Atom state = XInternAtom(dp, "_NET_WM_STATE", False);
    const Atom full = XInternAtom(dp, "_NET_WM_STATE_FULLSCREEN", False);
    const Atom above = XInternAtom(dp, "_NET_WM_STATE_ABOVE", False);
    XChangeProperty(dp, DefaultRootWindow(dp), active, XA_WINDOW, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&win), 1);
    unsigned long states[2] = {above, 0};
    XChangeProperty(dp, win, state, XA_ATOM, 32, PropModeReplace, reinterpret_cast<unsigned char*>(states),
                    1);
    XSync(dp, False);
    EXPECT_EQ(ExclusiveModeActive(), 0);

    states[1] = full;
    XChangeProperty(dp, win, state, XA_ATOM, 32, PropModeReplace, reinterpret_cast<unsigned char*>(states),
                    2);
    XSync(dp, False);
    EXPECT_NE(ExclusiveModeActive(), 0);

    // A window that is gone but still named active must not break the probe.
    XDestroyWindow(dp, win);
    XSync(dp, False);
    EXPECT_EQ(ExclusiveModeActive(), 0);
    xtest::DeleteRootProperty(dp, "_NET_ACTIVE_WINDOW");
}

// Trees recorded from sway 1.7 with foot focused, windowed and full screen.
// Workspaces carry fullscreen_mode 1 as well: they must not count.
TEST(GuardTest, SwayTellsWhetherTheFocusedViewIsFullScreen) {
    testsupport::TempDir tmp;
    const fs::path swaymsg = tmp.path() / "swaymsg";
    testsupport::WriteAll(swaymsg, "#!/bin/sh\n/bin/cat \"$TREE\"\n");
    fs::permissions(swaymsg, fs::perms::owner_all);
    ScopedEnv path("PATH", tmp.str());
    ScopedEnv noDisplay("DISPLAY", std::nullopt);
    const std::string data = ZENKS_TEST_DATA_DIR "/sway/";
    ScopedEnv tree("TREE", data + "tree-fullscreen.json");
    {
        ScopedEnv notSway("SWAYSOCK", std::nullopt);
        EXPECT_EQ(ExclusiveModeActive(), 0);
    }
    ScopedEnv sock("SWAYSOCK", "/run/user/1000/sway-ipc.sock");
    EXPECT_NE(ExclusiveModeActive(), 0);
    ScopedEnv windowed("TREE", data + "tree-windowed.json");
    EXPECT_EQ(ExclusiveModeActive(), 0);
    // An answer that is not JSON, or none at all, says nothing is full screen.
    testsupport::WriteAll(tmp.path() / "broken.json",
                          "[{\"type\": \"con\", \"fullscreen_mode\": 1, \"focused\": tr");
    ScopedEnv broken("TREE", (tmp.path() / "broken.json").string());
    EXPECT_EQ(ExclusiveModeActive(), 0);
    ScopedEnv missing("TREE", (tmp.path() / "none.json").string());
    EXPECT_EQ(ExclusiveModeActive(), 0);
}

TEST(JsonTest, StringsDecodeAndHostileNestingIsRefused) {
    const auto v = ParseJson(R"( {"a": [1, -2.5e1, true, null, "\u00fc\ud83d\ude00\"\\\/"], "b": {}} )");
    ASSERT_TRUE(v);
    const JsonValue* a = v->Member("a");
    ASSERT_TRUE(a && a->items.size() == 5);
    EXPECT_EQ(a->items[1].number, -25);
    EXPECT_EQ(a->items[4].string, "\xC3\xBC\xF0\x9F\x98\x80\"\\/");
    for (const char* bad : {"", "{", "[1,]", "{\"a\" 1}", "\"\x01\"", "[1] x", "tru", "\"\\x\""})
        EXPECT_FALSE(ParseJson(bad)) << bad;
    EXPECT_FALSE(ParseJson(std::string(100000, '[') + std::string(100000, ']')));
    EXPECT_TRUE(ParseJson(std::string(200, '[') + std::string(200, ']')));
}
