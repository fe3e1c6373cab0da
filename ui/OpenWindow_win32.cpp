#include "ui/OpenWindow.h"

#include "ui/ap.h"

// One executable here: Windows loads a program's DLLs as they are used.
int OpenWindow(int argc, char** argv) {
    return RunInteractive(argc, argv);
}
