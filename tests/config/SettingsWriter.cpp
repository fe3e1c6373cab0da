// Saves the settings in a loop (or once with "once"), or with "aw" the named
// selections in a loop (once with "aw-once"), for the test that kills a writer at random moments.
#include "config/uOptionen.h"
#include "platform/Platform.h"
#include "ui/SelectionSets.h"

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    platform::SetExecutablePathForTesting(std::string(argv[1]) + "/ulbrasen");
    try {
        const std::string mode = argc > 2 ? argv[2] : "";
        if (mode == "aw" || mode == "aw-once") {
            // Two large selection lists, written alternately.
            std::vector<std::string> lists[2];
            for (int i = 0; i < 2000; ++i)
                for (int k = 0; k < 2; ++k)
                    lists[k].push_back("Auswahl " + std::to_string(i) + (k ? " B" : " A") +
                                       "=::/home/benutzer/Bilder/Ordner mit Ümlaut " + std::to_string(i) +
                                       "::");
            for (int n = 0;; n ^= 1) {
                if (!WriteSelectionFile(std::string(argv[1]) + "/ulbrasen.aw", lists[n])) return 1;
                if (mode == "aw-once") return 0;
            }
        }
        TOptionen o;
        const bool once = mode == "once";
        for (;;) {
            o.SetKachelTyp(o.KachelTyp == 0 ? 1 : 0);
            if (once) return 0;
        }
    } catch (const std::exception& e) {
        std::printf("%s\n", e.what());
        return 1;
    }
}
