#include "config/uOptionen.h"

#include <cstdio>
#include <exception>

int main() {
    try {
        SeedRandom();
        TOptionen options;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
