#include "config/Automode.h"

#include "config/uOptionen.h"

#include <cstdio>
#include <exception>
#include <string>

bool IsAutomaticChangeRequested(int argc, char** argv) {
    if (argc < 2 || !argv[1]) return false;
    std::string arg = argv[1];
    for (char& c : arg)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return arg == "/run";
}

int RunAutomaticChange() {
    try {
        TOptionen options;
        options.ApplyRandomWallpaper();
        return 0;
    } catch (const std::exception& e) {
        // No window exists in this mode; the message is all the user gets.
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
}
