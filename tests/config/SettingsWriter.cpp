// Saves the settings in a loop (or once with "once"), for the test that kills
// a writer at random moments.
#include "config/uOptionen.h"
#include "platform/Platform.h"

#include <cstdio>
#include <exception>
#include <string>

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    platform::SetExecutablePathForTesting(std::string(argv[1]) + "/ulbrasen");
    try {
        TOptionen o;
        const bool once = argc > 2 && std::string(argv[2]) == "once";
        for (;;) {
            o.SetKachelTyp(o.KachelTyp == 0 ? 1 : 0);
            if (once) return 0;
        }
    } catch (const std::exception& e) {
        std::printf("%s\n", e.what());
        return 1;
    }
}
