#pragma once
// Reading the X server's state back in tests: the root pixmap's id and
// pixels, and windows that pose as full-screen programs.
#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

namespace xtest {

struct Closer {
    void operator()(Display* d) const { XCloseDisplay(d); }
};
using DisplayPtr = std::unique_ptr<Display, Closer>;

// Tests that need X fail without one: scripts/test provides Xvfb.
inline DisplayPtr Open() {
    const char* name = std::getenv("DISPLAY");
    DisplayPtr d(name && *name ? XOpenDisplay(nullptr) : nullptr);
    EXPECT_TRUE(d) << "no X display: run under scripts/test (Xvfb)";
    return d;
}

inline unsigned long RootProperty(Display* d, const char* name, Atom type = XA_PIXMAP) {
    Atom actual = None;
    int format = 0;
    unsigned long n = 0, after = 0;
    unsigned char* data = nullptr;
    unsigned long value = 0;
    if (XGetWindowProperty(d, DefaultRootWindow(d), XInternAtom(d, name, False), 0, 1, False, type, &actual,
                           &format, &n, &after, &data) == Success &&
        data && n == 1 && format == 32)
        value = *reinterpret_cast<unsigned long*>(data);
    if (data) XFree(data);
    return value;
}

inline void DeleteRootProperty(Display* d, const char* name) {
    XDeleteProperty(d, DefaultRootWindow(d), XInternAtom(d, name, False));
    XSync(d, False);
}

// An RGB picture, rows top-down.
struct Rgb {
    int width = 0, height = 0;
    std::vector<std::uint8_t> px;
    const std::uint8_t* at(int x, int y) const { return &px[(static_cast<std::size_t>(y) * width + x) * 3]; }
};

inline Rgb ReadDrawable(Display* d, Drawable w, int width, int height) {
    Rgb out;
    XImage* img = XGetImage(d, w, 0, 0, static_cast<unsigned>(width), static_cast<unsigned>(height),
                            AllPlanes, ZPixmap);
    if (!img) return out;
    out.width = width;
    out.height = height;
    out.px.resize(static_cast<std::size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const unsigned long p = XGetPixel(img, x, y);
            std::uint8_t* o = &out.px[(static_cast<std::size_t>(y) * width + x) * 3];
            o[0] = static_cast<std::uint8_t>(p >> 16);
            o[1] = static_cast<std::uint8_t>(p >> 8);
            o[2] = static_cast<std::uint8_t>(p);
        }
    XDestroyImage(img);
    return out;
}

// Areas of the root window that other programs' mapped windows hide; the
// shared Xvfb may show windows of tests running at the same time.
struct Covered {
    std::vector<XRectangle> rects;
    explicit Covered(Display* d) {
        Window r = 0, parent = 0, *kids = nullptr;
        unsigned n = 0;
        if (!XQueryTree(d, DefaultRootWindow(d), &r, &parent, &kids, &n)) return;
        for (unsigned i = 0; i < n; ++i) {
            XWindowAttributes a;
            if (XGetWindowAttributes(d, kids[i], &a) && a.map_state == IsViewable)
                rects.push_back({static_cast<short>(a.x), static_cast<short>(a.y),
                                 static_cast<unsigned short>(a.width + 2 * a.border_width),
                                 static_cast<unsigned short>(a.height + 2 * a.border_width)});
        }
        if (kids) XFree(kids);
    }
    bool operator()(int x, int y) const {
        for (const XRectangle& r : rects)
            if (x >= r.x && y >= r.y && x < r.x + r.width && y < r.y + r.height) return true;
        return false;
    }
};

inline bool PixmapExists(Display* d, unsigned long pm) {
    auto old = XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
    Window root;
    int x, y;
    unsigned w, h, bw, depth;
    const Status ok = XGetGeometry(d, pm, &root, &x, &y, &w, &h, &bw, &depth);
    XSync(d, False);
    XSetErrorHandler(old);
    return ok != 0;
}

// A mapped window of the given geometry; override-redirect windows bypass the
// window manager as full-screen games do.
inline Window MapWindow(Display* d, int x, int y, int w, int h, bool overrideRedirect) {
    XSetWindowAttributes a{};
    a.override_redirect = overrideRedirect;
    const Window win =
        XCreateWindow(d, DefaultRootWindow(d), x, y, static_cast<unsigned>(w), static_cast<unsigned>(h), 0,
                      CopyFromParent, InputOutput, CopyFromParent, CWOverrideRedirect, &a);
    XMapWindow(d, win);
    XSync(d, False);
    return win;
}

} // namespace xtest
