#include "config/Automode.h"
#include "config/Clzenk.h"
#include "config/uOptionen.h"
#include "ui/ap.h"

#include <cstdio>
#include <exception>

int main(int argc, char** argv) {
    FixShortDateFormat();
    SeedRandom();
    if (IsAutomaticChangeRequested(argc, argv)) return RunAutomaticChange();
    try {
        return RunInteractive(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
}
