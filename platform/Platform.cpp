#include "platform/Platform.h"

#include "platform/PlatformNative.h"

namespace platform {

namespace {
std::optional<std::string> g_exePath;
std::optional<ScreenDims> g_screen;
std::optional<int> g_depth;
std::optional<char> g_decimal;
} // namespace

std::string ExecutablePath() {
    return g_exePath ? *g_exePath : NativeExecutablePath();
}
void SetExecutablePathForTesting(std::optional<std::string> path) {
    g_exePath = std::move(path);
}

ScreenDims ScreenSize() {
    return g_screen ? *g_screen : NativeScreenSize();
}
void SetScreenSizeForTesting(std::optional<ScreenDims> size) {
    g_screen = size;
}

int DisplayDepth() {
    return g_depth ? *g_depth : NativeDisplayDepth();
}
void SetDisplayDepthForTesting(std::optional<int> depth) {
    g_depth = depth;
}

char DecimalSeparator() {
    return g_decimal ? *g_decimal : NativeDecimalSeparator();
}
void SetDecimalSeparatorForTesting(std::optional<char> sep) {
    g_decimal = sep;
}

} // namespace platform
