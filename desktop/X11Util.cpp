#include "desktop/X11Util.h"

#include <X11/extensions/Xrandr.h>

#include <cstdlib>

namespace x11 {

namespace {
int g_errors = 0;
int CountError(Display*, XErrorEvent*) {
    ++g_errors;
    return 0;
}
} // namespace

DisplayPtr OpenDisplay() {
    const char* name = std::getenv("DISPLAY");
    if (!name || !*name) return nullptr;
    return DisplayPtr(XOpenDisplay(nullptr));
}

ErrorTrap::ErrorTrap(Display* dpy) : dpy_(dpy), old_(XSetErrorHandler(CountError)), oldCount_(g_errors) {}

ErrorTrap::~ErrorTrap() {
    XSync(dpy_, False);
    XSetErrorHandler(old_);
}

bool ErrorTrap::SyncAndCheck() {
    XSync(dpy_, False);
    const bool failed = g_errors != oldCount_;
    oldCount_ = g_errors;
    return !failed;
}

std::vector<unsigned long> GetCardinals(Display* dpy, Window w, Atom property, Atom type) {
    Atom actual = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    std::vector<unsigned long> out;
    if (XGetWindowProperty(dpy, w, property, 0, 1024, False, type, &actual, &format, &count, &after, &data) !=
        Success)
        return out;
    // Xlib hands 32-bit items back as longs.
    if (data && actual == type && format == 32) {
        const auto* items = reinterpret_cast<const unsigned long*>(data);
        out.assign(items, items + count);
    }
    if (data) XFree(data);
    return out;
}

namespace {
bool HasRandr13(Display* dpy) {
    int ev = 0, err = 0, major = 0, minor = 0;
    return XRRQueryExtension(dpy, &ev, &err) && XRRQueryVersion(dpy, &major, &minor) &&
           (major > 1 || (major == 1 && minor >= 3));
}
} // namespace

Rect PrimaryMonitor(Display* dpy) {
    const int s = DefaultScreen(dpy);
    Rect whole{0, 0, DisplayWidth(dpy, s), DisplayHeight(dpy, s)};
    if (!HasRandr13(dpy)) return whole;
    const Window root = RootWindow(dpy, s);
    const RROutput primary = XRRGetOutputPrimary(dpy, root);
    if (primary == None) return whole;
    XRRScreenResources* res = XRRGetScreenResourcesCurrent(dpy, root);
    if (!res) return whole;
    Rect r = whole;
    if (XRROutputInfo* out = XRRGetOutputInfo(dpy, res, primary)) {
        if (out->crtc != None) {
            if (XRRCrtcInfo* crtc = XRRGetCrtcInfo(dpy, res, out->crtc)) {
                if (crtc->width > 0 && crtc->height > 0)
                    r = {crtc->x, crtc->y, static_cast<int>(crtc->width), static_cast<int>(crtc->height)};
                XRRFreeCrtcInfo(crtc);
            }
        }
        XRRFreeOutputInfo(out);
    }
    XRRFreeScreenResources(res);
    return r;
}

std::vector<std::string> ActiveOutputNames(Display* dpy) {
    std::vector<std::string> names;
    if (!HasRandr13(dpy)) return names;
    XRRScreenResources* res = XRRGetScreenResourcesCurrent(dpy, DefaultRootWindow(dpy));
    if (!res) return names;
    for (int i = 0; i < res->noutput; ++i) {
        if (XRROutputInfo* out = XRRGetOutputInfo(dpy, res, res->outputs[i])) {
            if (out->connection == RR_Connected && out->crtc != None)
                names.emplace_back(out->name, out->nameLen);
            XRRFreeOutputInfo(out);
        }
    }
    XRRFreeScreenResources(res);
    return names;
}

} // namespace x11
