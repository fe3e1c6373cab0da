#include "config/uOptionen.h"
#include "desktop/PlatformSession.h"
#include "ui/ap.h"

#include <cstdio>
#include <exception>

// Placeholder entry until the automatic change lands.
int main(int argc, char** argv) {
    try {
        TPlatformSession session;
        SeedRandom();
        return RunInteractive(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
}
