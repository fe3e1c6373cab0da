#include "desktop/uDirectXErkennung.h"

namespace {
std::optional<std::int32_t> g_forced;
}

std::int32_t ExclusiveModeActive() {
    return g_forced ? *g_forced : ProbeExclusiveMode();
}

void SetExclusiveModeForTesting(std::optional<std::int32_t> result) {
    g_forced = result;
}
