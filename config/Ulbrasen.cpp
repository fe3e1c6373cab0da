#include "config/Automode.h"
#include "config/Clzenk.h"
#include "config/Version.h"
#include "config/uOptionen.h"
#include "desktop/PlatformSession.h"
#include "ui/OpenWindow.h"

#include <cstdio>
#include <cstring>
#include <exception>

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("ulbrasen %s\n", kVersion);
        return 0;
    }
    FixShortDateFormat();
    // Binds DirectDraw and initialises COM (Windows) before any TOptionen
    // exists, so that even a first start with "/run" can create its shortcuts.
    TPlatformSession session;
    SeedRandom();
    if (IsAutomaticChangeRequested(argc, argv)) return RunAutomaticChange();
    try {
        return OpenWindow(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
}
