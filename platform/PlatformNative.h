#pragma once
// What each platform file measures; platform/Platform.cpp puts the test
// seams in front of these, once for all platforms.
#include "platform/Platform.h"

namespace platform {
std::string NativeExecutablePath();
ScreenDims NativeScreenSize();
// Empty when the system cannot tell.
std::vector<Monitor> NativeMonitors();
int NativeDisplayDepth();
char NativeDecimalSeparator();
} // namespace platform
