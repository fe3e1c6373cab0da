#include "platform/Platform.h"

#include "platform/PlatformNative.h"

namespace platform {

namespace {
std::optional<std::string> g_exePath;
std::optional<ScreenDims> g_screen;
std::optional<std::vector<Monitor>> g_monitors;
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
    if (g_screen) return *g_screen;
    if (g_monitors && !g_monitors->empty()) return {g_monitors->front().width, g_monitors->front().height};
    return NativeScreenSize();
}
void SetScreenSizeForTesting(std::optional<ScreenDims> size) {
    g_screen = size;
}

std::vector<Monitor> Monitors() {
    std::vector<Monitor> list = g_monitors ? *g_monitors : NativeMonitors();
    if (list.empty()) {
        const ScreenDims s = ScreenSize();
        list.push_back({0, 0, s.width, s.height, ""});
    }
    return list;
}
void SetMonitorsForTesting(std::optional<std::vector<Monitor>> monitors) {
    g_monitors = std::move(monitors);
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
