// The real program's window closed through the window manager's close box:
// the process must end at once, not at the next event that happens to come.
#include "UiTestSupport.h"

#include "tests/support/TestSupport.h"

#include <FL/Fl.H>
#include <FL/platform.H>
#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

class CloseTest : public testsupport::SandboxTest {
  protected:
    void SetUp() override {
        uitest::RequireDisplay();
        WriteIni("[Optionen]\nFirst=0\n");
        testsupport::CopyProgram(ExePath());
    }
    void TearDown() override {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }

    // The top-level X window whose _NET_WM_PID is the program's.
    Window FindWindow() const {
        Display* d = fl_display;
        const Atom pidAtom = XInternAtom(d, "_NET_WM_PID", False);
        Window root = 0, parent = 0, *kids = nullptr;
        unsigned int n = 0;
        Window found = 0;
        if (!XQueryTree(d, DefaultRootWindow(d), &root, &parent, &kids, &n)) return 0;
        for (unsigned int i = 0; i < n && !found; ++i) {
            Atom type = 0;
            int format = 0;
            unsigned long count = 0, after = 0;
            unsigned char* data = nullptr;
            if (XGetWindowProperty(d, kids[i], pidAtom, 0, 1, False, XA_CARDINAL, &type, &format, &count,
                                   &after, &data) == Success &&
                data) {
                if (count == 1 && static_cast<pid_t>(*reinterpret_cast<unsigned long*>(data)) == pid_) {
                    XWindowAttributes attr{};
                    if (XGetWindowAttributes(d, kids[i], &attr) && attr.map_state == IsViewable)
                        found = kids[i];
                }
                XFree(data);
            }
        }
        if (kids) XFree(kids);
        return found;
    }

    pid_t pid_ = -1;
};

TEST_F(CloseTest, CloseBoxEndsTheProcessAtOnce) {
#ifdef __SANITIZE_ADDRESS__
    GTEST_SKIP() << "the leak check at exit takes its own time";
#endif
    std::string exe = ExePath();
    char* argv[] = {exe.data(), nullptr};
    ASSERT_EQ(posix_spawn(&pid_, argv[0], nullptr, nullptr, argv, environ), 0);
    Window w = 0;
    for (auto until = Clock::now() + std::chrono::seconds(20); !w && Clock::now() < until;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        w = FindWindow();
    }
    ASSERT_NE(w, 0u) << "the window did not appear";
    // Let the window settle as a user would before reaching for the close box.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));

    XEvent ev{};
    ev.xclient.type = ClientMessage;
    ev.xclient.window = w;
    ev.xclient.message_type = XInternAtom(fl_display, "WM_PROTOCOLS", False);
    ev.xclient.format = 32;
    ev.xclient.data.l[0] = static_cast<long>(XInternAtom(fl_display, "WM_DELETE_WINDOW", False));
    ev.xclient.data.l[1] = CurrentTime;
    XSendEvent(fl_display, w, False, NoEventMask, &ev);
    XFlush(fl_display);
    const auto sent = Clock::now();
    int status = 0;
    pid_t done = 0;
    while ((done = waitpid(pid_, &status, WNOHANG)) == 0 && Clock::now() - sent < std::chrono::seconds(5))
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - sent).count();
    ASSERT_EQ(done, pid_) << "still running 5 s after the close box";
    pid_ = -1;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_LT(took, 500) << "the process lingered after the close box";
}

} // namespace
