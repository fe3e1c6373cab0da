#include "desktop/uDirectXErkennung.h"

#include "desktop/X11Util.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>

namespace {
// What the probe answers for each reason, so that a caller could tell them apart.
constexpr std::int32_t kFullscreenActiveWindow = 1;
constexpr std::int32_t kCoveringOverrideRedirect = 2;

bool HasFullscreenState(Display* dpy, Window w) {
    const Atom state = XInternAtom(dpy, "_NET_WM_STATE", True);
    const Atom full = XInternAtom(dpy, "_NET_WM_STATE_FULLSCREEN", True);
    if (state == None || full == None) return false;
    for (unsigned long a : x11::GetCardinals(dpy, w, state, XA_ATOM))
        if (a == full) return true;
    return false;
}

bool IsDesktopWindow(Display* dpy, Window w) {
    const Atom type = XInternAtom(dpy, "_NET_WM_WINDOW_TYPE", True);
    const Atom desktop = XInternAtom(dpy, "_NET_WM_WINDOW_TYPE_DESKTOP", True);
    if (type == None || desktop == None) return false;
    for (unsigned long a : x11::GetCardinals(dpy, w, type, XA_ATOM))
        if (a == desktop) return true;
    return false;
}
} // namespace

std::int32_t ProbeExclusiveMode() {
    x11::DisplayPtr dpy = x11::OpenDisplay();
    if (!dpy) return 0;
    // Windows may vanish between listing and asking; such errors mean "not there".
    x11::ErrorTrap trap(dpy.get());
    Display* d = dpy.get();
    const Window root = DefaultRootWindow(d);

    const Atom activeAtom = XInternAtom(d, "_NET_ACTIVE_WINDOW", True);
    if (activeAtom != None) {
        auto active = x11::GetCardinals(d, root, activeAtom, XA_WINDOW);
        if (!active.empty() && active[0] != None && HasFullscreenState(d, active[0]))
            return kFullscreenActiveWindow;
    }

    // Games that bypass the window manager cover the monitor with an
    // override-redirect window instead. The compositor's overlay window is
    // not listed by XQueryTree, so it does not count here.
    const x11::Rect mon = x11::PrimaryMonitor(d);
    Window rootRet = 0, parent = 0;
    Window* children = nullptr;
    unsigned int n = 0;
    if (!XQueryTree(d, root, &rootRet, &parent, &children, &n)) return 0;
    std::int32_t result = 0;
    for (unsigned int i = 0; i < n && result == 0; ++i) {
        XWindowAttributes a;
        if (!XGetWindowAttributes(d, children[i], &a)) continue;
        if (!a.override_redirect || a.map_state != IsViewable) continue;
        const long right = static_cast<long>(a.x) + a.width + 2L * a.border_width;
        const long bottom = static_cast<long>(a.y) + a.height + 2L * a.border_width;
        if (a.x <= mon.x && a.y <= mon.y && right >= static_cast<long>(mon.x) + mon.width &&
            bottom >= static_cast<long>(mon.y) + mon.height && !IsDesktopWindow(d, children[i]))
            result = kCoveringOverrideRedirect;
    }
    if (children) XFree(children);
    return result;
}
