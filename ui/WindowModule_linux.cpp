// The entry of the window module that OpenWindow_linux.cpp opens. The core's
// functions it calls are the program's own, exported by the executable.
#include "ui/ap.h"

extern "C" __attribute__((visibility("default"))) int ZenksRunWindow(int argc, char** argv) {
    return RunInteractive(argc, argv);
}
