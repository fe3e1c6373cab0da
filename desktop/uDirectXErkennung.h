#pragma once
// The exclusive-mode guard: asked before every wallpaper change.
#include <cstdint>

// 0 when the wallpaper may be changed; any other value (a DirectDraw result
// code on Windows) means a full-screen program holds the display.
std::int32_t ExclusiveModeActive();
