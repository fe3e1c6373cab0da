#pragma once
// Helpers for window tests: synthetic mouse and key events delivered through
// FLTK's own dispatch, a script of steps run while a modal dialog waits, and
// a count of replacements of a file.
#include <FL/Fl_Widget.H>
#include <FL/Fl_Window.H>

#include <deque>
#include <functional>
#include <string>

namespace uitest {

// Opens the display named by DISPLAY; fails the test without one.
void RequireDisplay();

// Shows the window and waits until the X server has mapped it.
void ShowAndWait(Fl_Window& window);

// The X window of a shown window, and the window it is transient for (0 for none).
unsigned long XidOf(Fl_Window& window);
unsigned long TransientFor(Fl_Window* window);

// A left click at window coordinates, as press and release.
void ClickAt(Fl_Window& window, int x, int y);
// A left click in the middle of the widget.
void Click(Fl_Widget& widget);
// A key press sent to the window holding the keyboard focus (or the modal one).
void PressKey(int keysym, const char* text = "", int state = 0);

// Runs each step from the event loop, one per 20 ms, while a modal dialog
// waits in Fl::wait(); a dialog still open after the last step is closed so
// that a failing test cannot hang. Keep one script alive per dialog only.
class EventScript {
  public:
    explicit EventScript(std::deque<std::function<void()>> steps);
    ~EventScript();
    EventScript(const EventScript&) = delete;
    EventScript& operator=(const EventScript&) = delete;
    bool finished() const { return steps_.empty(); }

  private:
    static void Tick(void* data);
    std::deque<std::function<void()>> steps_;
};

// Counts how often a file in a folder was replaced or rewritten (inotify).
class FileWriteCounter {
  public:
    FileWriteCounter(const std::string& folder, const std::string& name);
    ~FileWriteCounter();
    FileWriteCounter(const FileWriteCounter&) = delete;
    FileWriteCounter& operator=(const FileWriteCounter&) = delete;
    // Writes seen since the last call.
    int Take();

  private:
    int fd_ = -1;
    std::string name_;
};

} // namespace uitest
