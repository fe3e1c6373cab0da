// gtest before Xlib, whose macros (None, Bool) clash with its names.
#include "tests/support/TestSupport.h"
#include "desktop/uDirectXErkennung.h"
#include "tests/desktop/XReadBack.h"

#include <X11/Xatom.h>

using testsupport::ScopedEnv;

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
