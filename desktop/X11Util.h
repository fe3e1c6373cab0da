#pragma once
// Small RAII helpers around Xlib shared by the root-window backend, the
// Xfce backend and the full-screen guard.
#include <X11/Xlib.h>

#include <memory>
#include <string>
#include <vector>

namespace x11 {

struct DisplayCloser {
    void operator()(Display* d) const { XCloseDisplay(d); }
};
using DisplayPtr = std::unique_ptr<Display, DisplayCloser>;

// The display named by $DISPLAY, or null when there is none.
DisplayPtr OpenDisplay();

// While alive, X errors are counted instead of ending the process.
class ErrorTrap {
  public:
    explicit ErrorTrap(Display* dpy);
    ~ErrorTrap();
    ErrorTrap(const ErrorTrap&) = delete;
    ErrorTrap& operator=(const ErrorTrap&) = delete;
    // Waits for the server and tells whether any request failed since the last call.
    bool SyncAndCheck();

  private:
    Display* dpy_;
    XErrorHandler old_;
    int oldCount_;
};

// A 32-bit format property as a list of values (atoms, windows, pixmaps, cardinals).
std::vector<unsigned long> GetCardinals(Display* dpy, Window w, Atom property, Atom type);

struct Rect {
    int x = 0, y = 0, width = 0, height = 0;
};
// The primary monitor's area, or the whole screen without RandR.
Rect PrimaryMonitor(Display* dpy);
// Names of the outputs that show a picture ("HDMI-1", "eDP-1").
std::vector<std::string> ActiveOutputNames(Display* dpy);

} // namespace x11
