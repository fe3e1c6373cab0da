// Any other X11 session: the root window's background itself. This is what
// xsetroot, Esetroot, feh and hsetroot do, and the root window shows the new
// pixmap at once, so the file's path plays no part here.
#include "compose/Graphics.h"
#include "config/Messages.h"
#include "desktop/MonitorLayout.h"
#include "desktop/WallpaperBackend.h"
#include "desktop/X11Util.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>

namespace {
const char kKey[] = "_XROOTPMAP_ID";

struct Channel {
    int shift = 0, bits = 0;
    explicit Channel(unsigned long mask) {
        if (!mask) return;
        shift = std::countr_zero(mask);
        bits = std::popcount(mask);
    }
    unsigned long Scale(std::uint8_t v) const {
        const unsigned long x = bits >= 8 ? static_cast<unsigned long>(v) << (bits - 8) : v >> (8 - bits);
        return x << shift;
    }
};

// Copies bitmap rows into the pixmap with their top-left corner at (ox, oy),
// a band of rows at a time so that a large picture needs no second full copy.
// A quarter megabyte per band: each fresh page of a larger buffer costs more
// than the requests a smaller one adds.
void PutBitmap(Display* d, Visual* visual, int depth, Pixmap pm, GC gc, const TBitmap& bmp, int ox, int oy,
               int pw, int ph) {
    const int x0 = std::max(0, -ox), y0 = std::max(0, -oy);
    const int x1 = std::min(bmp.Width(), pw - ox), y1 = std::min(bmp.Height(), ph - oy);
    if (x1 <= x0 || y1 <= y0) return;
    const int w = x1 - x0;
    const int band = std::max(1, std::min(y1 - y0, (1 << 18) / (w * 4)));
    XImage* img = XCreateImage(d, visual, static_cast<unsigned>(depth), ZPixmap, 0, nullptr,
                               static_cast<unsigned>(w), static_cast<unsigned>(band), 32, 0);
    if (!img) return;
    std::vector<char> buffer(static_cast<std::size_t>(img->bytes_per_line) * band);
    img->data = buffer.data();
    const Channel r(visual->red_mask), g(visual->green_mask), b(visual->blue_mask);
    const bool direct32 = img->bits_per_pixel == 32 && img->byte_order == LSBFirst &&
                          std::endian::native == std::endian::little;
    // The usual 24-bit visual: each pixel its bytes in order, no shifting.
    const bool bgrx =
        direct32 && visual->red_mask == 0xff0000 && visual->green_mask == 0xff00 && visual->blue_mask == 0xff;
    for (int y = y0; y < y1; y += band) {
        const int rows = std::min(band, y1 - y);
        for (int j = 0; j < rows; ++j) {
            const std::uint8_t* src = bmp.ScanLine(y + j) + 3 * x0;
            if (bgrx) {
                auto* dst = reinterpret_cast<std::uint32_t*>(img->data + j * img->bytes_per_line);
                // Four bytes at once, the fourth the next pixel's and masked
                // off; the row's last pixel byte by byte, as it may end the
                // bitmap.
                int i = 0;
                for (; i + 1 < w; ++i, src += 3) {
                    std::uint32_t v;
                    std::memcpy(&v, src, 4);
                    dst[i] = v & 0xffffffu;
                }
                dst[i] = src[0] | static_cast<std::uint32_t>(src[1]) << 8 |
                         static_cast<std::uint32_t>(src[2]) << 16;
            } else if (direct32) {
                auto* dst = reinterpret_cast<std::uint32_t*>(img->data + j * img->bytes_per_line);
                for (int i = 0; i < w; ++i, src += 3)
                    dst[i] = static_cast<std::uint32_t>(r.Scale(src[2]) | g.Scale(src[1]) | b.Scale(src[0]));
            } else {
                for (int i = 0; i < w; ++i, src += 3)
                    XPutPixel(img, i, j, r.Scale(src[2]) | g.Scale(src[1]) | b.Scale(src[0]));
            }
        }
        XPutImage(d, pm, gc, img, 0, 0, ox + x0, oy + y, static_cast<unsigned>(w),
                  static_cast<unsigned>(rows));
    }
    img->data = nullptr; // the vector owns it
    XDestroyImage(img);
}

class RootWindowBackend final : public WallpaperBackend {
  public:
    const char* Name() const override { return "x11-root"; }
    bool Usable() override {
        dpy_ = x11::OpenDisplay();
        return dpy_ != nullptr;
    }
    bool ReadsFile() const override { return false; }

    void Apply(const WallpaperRequest& r) override {
        Display* d = dpy_.get();
        const int s = DefaultScreen(d);
        const Window root = RootWindow(d, s);
        Visual* visual = DefaultVisual(d, s);
        const int depth = DefaultDepth(d, s);
        x11::ErrorTrap trap(d);

        // Tiled: a pixmap of the tile, which the server repeats from the
        // root's top-left corner. Otherwise a black pixmap of the root with
        // each monitor's picture centred on that monitor (or tiled over it).
        const TBitmap& bmp = r.bitmap;
        const bool tiled =
            r.style == WallpaperStyle::Tiled && r.monitors.empty() && bmp.Width() > 0 && bmp.Height() > 0;
        const int pw = tiled ? bmp.Width() : DisplayWidth(d, s);
        const int ph = tiled ? bmp.Height() : DisplayHeight(d, s);
        // The picture to put and where its top-left corner goes.
        const TBitmap* put = &bmp;
        int putX = 0, putY = 0;
        TBitmap composed;
        if (!tiled) {
            std::vector<MonitorWallpaper> monitors = r.monitors;
            if (monitors.empty())
                for (const platform::Monitor& m : Monitors())
                    monitors.push_back({m, r.file, &bmp, WallpaperStyle::Centred});
            const MonitorWallpaper* only = monitors.size() == 1 ? &monitors[0] : nullptr;
            if (only && only->style == WallpaperStyle::Centred &&
                only->bitmap->Width() <= only->monitor.width &&
                only->bitmap->Height() <= only->monitor.height) {
                // One centred picture within its monitor goes straight into
                // the black pixmap: a root-sized copy would add only black.
                put = only->bitmap;
                putX = only->monitor.x + (only->monitor.width - put->Width()) / 2;
                putY = only->monitor.y + (only->monitor.height - put->Height()) / 2;
            } else {
                composed.SetSize(pw, ph);
                for (const MonitorWallpaper& m : monitors)
                    DrawOnMonitor(composed, 0, 0, m.monitor, *m.bitmap, m.style);
                put = &composed;
            }
        }
        const Pixmap pm = XCreatePixmap(d, root, static_cast<unsigned>(pw), static_cast<unsigned>(ph),
                                        static_cast<unsigned>(depth));
        GC gc = XCreateGC(d, pm, 0, nullptr);
        // Black only where the picture leaves some of the pixmap uncovered.
        if (putX > 0 || putY > 0 || putX + put->Width() < pw || putY + put->Height() < ph) {
            XSetForeground(d, gc, BlackPixel(d, s));
            XFillRectangle(d, pm, gc, 0, 0, static_cast<unsigned>(pw), static_cast<unsigned>(ph));
        }
        PutBitmap(d, visual, depth, pm, gc, *put, putX, putY, pw, ph);
        XFreeGC(d, gc);
        if (!trap.SyncAndCheck()) {
            XFreePixmap(d, pm);
            Throw(Msg::RegistrySetFailed, {std::string(kKey)});
        }
        // Nothing shows the pixmap yet: the root keeps its picture when the
        // file cannot be written.
        if (r.written) {
            try {
                r.written->Wait();
            } catch (...) {
                XFreePixmap(d, pm);
                XSync(d, False);
                throw;
            }
        }

        // The previous setter's pixmap lives on in its retained client. Like
        // Esetroot and feh, free it only when both atoms name the same one:
        // otherwise the pixmap may belong to a program still running.
        const Atom rootAtom = XInternAtom(d, "_XROOTPMAP_ID", False);
        const Atom esetAtom = XInternAtom(d, "ESETROOT_PMAP_ID", False);
        const auto oldRoot = x11::GetCardinals(d, root, rootAtom, XA_PIXMAP);
        const auto oldEset = x11::GetCardinals(d, root, esetAtom, XA_PIXMAP);
        if (!oldRoot.empty() && !oldEset.empty() && oldRoot[0] == oldEset[0] && oldRoot[0] != None)
            XKillClient(d, oldRoot[0]);
        trap.SyncAndCheck(); // the old client may be gone already

        const unsigned long id = pm;
        XChangeProperty(d, root, rootAtom, XA_PIXMAP, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(&id), 1);
        XChangeProperty(d, root, esetAtom, XA_PIXMAP, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(&id), 1);
        XSetWindowBackgroundPixmap(d, root, pm);
        XClearWindow(d, root);
        // The pixmap must outlive this process: its client stays until the
        // next change kills it.
        XSetCloseDownMode(d, RetainPermanent);
        if (!trap.SyncAndCheck()) Throw(Msg::RegistrySetFailed, {std::string(kKey)});
    }

  private:
    x11::DisplayPtr dpy_;
};
} // namespace

std::unique_ptr<WallpaperBackend> MakeRootWindowBackend() {
    return std::make_unique<RootWindowBackend>();
}
