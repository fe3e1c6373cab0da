#include "desktop/uDirectXErkennung.h"

#include "desktop/Json.h"
#include "desktop/RunCommand.h"
#include "desktop/X11Util.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>

#include <cstdlib>

namespace {
// What the probe answers for each reason, so that a caller could tell them apart.
constexpr std::int32_t kFullscreenActiveWindow = 1;
constexpr std::int32_t kCoveringOverrideRedirect = 2;
constexpr std::int32_t kFullscreenWaylandView = 3;

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

// 1 when the focused node of sway's tree, or a container around it, is full
// screen; 0 when it is not; -1 when the focus is not in this subtree.
int FocusedIsFullscreen(const JsonValue& node, bool fullscreenAbove) {
    // Workspaces carry fullscreen_mode 1 too: only views and their containers count.
    const JsonValue* type = node.Member("type");
    const bool view = type && (type->string == "con" || type->string == "floating_con");
    const JsonValue* mode = node.Member("fullscreen_mode");
    const bool full =
        fullscreenAbove || (view && mode && mode->type == JsonValue::Type::Number && mode->number != 0);
    const JsonValue* focused = node.Member("focused");
    if (focused && focused->type == JsonValue::Type::Boolean && focused->boolean) return full ? 1 : 0;
    for (const char* list : {"nodes", "floating_nodes"}) {
        const JsonValue* children = node.Member(list);
        if (!children || children->type != JsonValue::Type::Array) continue;
        for (const JsonValue& child : children->items) {
            const int r = FocusedIsFullscreen(child, full);
            if (r >= 0) return r;
        }
    }
    return -1;
}

// Native Wayland windows are invisible to X11; sway tells which one is full
// screen. A compositor that does not answer in time counts as "none".
std::int32_t ProbeSway() {
    const char* sock = std::getenv("SWAYSOCK");
    if (!sock || !*sock) return 0;
    const CommandResult tree =
        RunCommand({"swaymsg", "-t", "get_tree"}, true, std::chrono::milliseconds(2000));
    if (!tree.ok) return 0;
    const std::optional<JsonValue> root = ParseJson(tree.output);
    return root && FocusedIsFullscreen(*root, false) == 1 ? kFullscreenWaylandView : 0;
}

std::int32_t ProbeX11() {
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
    // override-redirect window instead. Only what can be seen counts: mutter
    // and muffin keep an InputOnly, screen-sized "mutter guard window" mapped
    // at all times, and the composite overlay is not listed by XQueryTree.
    const x11::Rect mon = x11::PrimaryMonitor(d);
    Window rootRet = 0, parent = 0;
    Window* children = nullptr;
    unsigned int n = 0;
    if (!XQueryTree(d, root, &rootRet, &parent, &children, &n)) return 0;
    std::int32_t result = 0;
    for (unsigned int i = 0; i < n && result == 0; ++i) {
        XWindowAttributes a;
        if (!XGetWindowAttributes(d, children[i], &a)) continue;
        if (!a.override_redirect || a.map_state != IsViewable || a.c_class != InputOutput) continue;
        const long right = static_cast<long>(a.x) + a.width + 2L * a.border_width;
        const long bottom = static_cast<long>(a.y) + a.height + 2L * a.border_width;
        if (a.x <= mon.x && a.y <= mon.y && right >= static_cast<long>(mon.x) + mon.width &&
            bottom >= static_cast<long>(mon.y) + mon.height && !IsDesktopWindow(d, children[i]))
            result = kCoveringOverrideRedirect;
    }
    if (children) XFree(children);
    return result;
}
} // namespace

std::int32_t ProbeExclusiveMode() {
    // X11 clients under Xwayland are seen by the X11 probe as on Xorg.
    const std::int32_t wayland = ProbeSway();
    return wayland != 0 ? wayland : ProbeX11();
}
