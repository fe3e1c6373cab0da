#include "UiTestSupport.h"

#include <gtest/gtest.h>

#include <FL/Fl.H>
#include <FL/platform.H>
#include <X11/Xutil.h>

#include <sys/inotify.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstring>

namespace uitest {

void RequireDisplay() {
    ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "window tests need DISPLAY (scripts/test starts Xvfb)";
    fl_open_display();
}

void ShowAndWait(Fl_Window& window) {
    window.show();
    for (int i = 0; i < 200 && !window.visible_r(); ++i)
        Fl::wait(0.01);
    Fl::flush();
    XSync(fl_display, False);
    Fl::check();
}

unsigned long XidOf(Fl_Window& window) {
    return window.shown() ? fl_xid(&window) : 0;
}

unsigned long TransientFor(Fl_Window* window) {
    Window parent = 0;
    if (!window || !window->shown() || !XGetTransientForHint(fl_display, fl_xid(window), &parent)) return 0;
    return parent;
}

void ClickAt(Fl_Window& window, int x, int y) {
    Fl::e_x = x;
    Fl::e_y = y;
    Fl::e_x_root = window.x_root() + x;
    Fl::e_y_root = window.y_root() + y;
    Fl::e_keysym = FL_Button + FL_LEFT_MOUSE;
    Fl::e_state = FL_BUTTON1;
    Fl::e_clicks = 0;
    Fl::e_is_click = 1;
    Fl::handle(FL_PUSH, &window);
    Fl::e_state = 0;
    Fl::handle(FL_RELEASE, &window);
    Fl::check();
}

void Click(Fl_Widget& widget) {
    Fl_Window* window = widget.top_window();
    ASSERT_NE(window, nullptr);
    int x = widget.x() + widget.w() / 2, y = widget.y() + widget.h() / 2;
    // Widget coordinates are relative to their own window; add subwindow offsets.
    for (Fl_Window* w = widget.window(); w && w != window; w = w->window()) {
        x += w->x();
        y += w->y();
    }
    ClickAt(*window, x, y);
}

void PressKey(int keysym, const char* text, int state) {
    Fl_Window* target = Fl::modal();
    if (!target && Fl::focus()) target = Fl::focus()->top_window();
    if (!target) target = Fl::first_window();
    ASSERT_NE(target, nullptr);
    // Without a window manager the X focus stays wherever the pointer is;
    // FLTK drops its keyboard focus when the window lacks the X focus.
    Window focused = 0;
    int revert = 0;
    XGetInputFocus(fl_display, &focused, &revert);
    if (target->shown() && focused != fl_xid(target)) {
        XSetInputFocus(fl_display, fl_xid(target), RevertToParent, CurrentTime);
        XSync(fl_display, False);
        Fl::check();
    }
    // FLTK may rewrite the event text in place (it retries shortcuts with
    // the letter case swapped), so it must be writable.
    static char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%s", text);
    Fl::e_keysym = keysym;
    Fl::e_text = buffer;
    Fl::e_length = static_cast<int>(std::strlen(buffer));
    Fl::e_state = state;
    Fl::handle(FL_KEYBOARD, target);
    buffer[0] = '\0';
    Fl::e_length = 0;
    Fl::check();
}

EventScript::EventScript(std::deque<std::function<void()>> steps) : steps_(std::move(steps)) {
    Fl::add_timeout(0.05, Tick, this);
}

EventScript::~EventScript() {
    Fl::remove_timeout(Tick, this);
}

void EventScript::Tick(void* data) {
    auto* self = static_cast<EventScript*>(data);
    if (self->steps_.empty()) {
        if (Fl_Window* open = Fl::modal() ? Fl::modal() : Fl::first_window()) {
            ADD_FAILURE() << "a dialog was still open after the script";
            open->hide();
        }
        return;
    }
    auto step = std::move(self->steps_.front());
    self->steps_.pop_front();
    step();
    // Counted from now, not from when this tick was due: after a slow step
    // the next one would otherwise run at once. The check after the last
    // step waits longer, so that a window closed by it is gone by then.
    Fl::add_timeout(self->steps_.empty() ? 0.5 : 0.02, Tick, self);
}

FileWriteCounter::FileWriteCounter(const std::string& folder, const std::string& name) : name_(name) {
    fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd_ >= 0) inotify_add_watch(fd_, folder.c_str(), IN_MOVED_TO | IN_CLOSE_WRITE);
    EXPECT_GE(fd_, 0) << "inotify unavailable";
}

FileWriteCounter::~FileWriteCounter() {
    if (fd_ >= 0) close(fd_);
}

int FileWriteCounter::Take() {
    int count = 0;
    alignas(inotify_event) char buf[16 * (sizeof(inotify_event) + NAME_MAX + 1)];
    for (;;) {
        const ssize_t n = read(fd_, buf, sizeof buf);
        if (n <= 0) break;
        for (ssize_t off = 0; off < n;) {
            const auto* ev = reinterpret_cast<const inotify_event*>(buf + off);
            if (ev->len > 0 && name_ == ev->name) ++count;
            off += static_cast<ssize_t>(sizeof(inotify_event) + ev->len);
        }
    }
    return count;
}

} // namespace uitest

// Fontconfig keeps its font patterns cached for the life of the process;
// the leak checker is told so, and still reports everything else.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\nleak:libXft.so\n";
}
