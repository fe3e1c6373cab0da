// fitpicture [--screen WxH] [--ini FILE] PICTURE OUT.bmp
// Composes PICTURE as the wallpaper would be composed, under the loading
// options of FILE (only read) and the given screen size, and writes the
// result as a 24-bit BMP. On failure the error text goes to standard output,
// no file is written and the exit code is 1.
#include "compose/BmpWriter.h"
#include "compose/Graphics.h"
#include "config/uOptionen.h"
#include "platform/Platform.h"

#include <charconv>
#include <cstdio>
#include <exception>
#include <string>
#include <string_view>

namespace {

int Usage() {
    std::fprintf(stderr, "usage: fitpicture [--screen WxH] [--ini FILE] PICTURE OUT.bmp\n");
    return 2;
}

bool ParseInt(std::string_view s, int& out) {
    if (s.empty()) return false;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
    return ec == std::errc() && end == s.data() + s.size();
}

bool ParseScreen(std::string_view s, platform::ScreenDims& out) {
    const std::size_t x = s.find_first_of("xX");
    if (x == std::string_view::npos) return false;
    return ParseInt(s.substr(0, x), out.width) && ParseInt(s.substr(x + 1), out.height) && out.width > 0 &&
           out.height > 0;
}

} // namespace

int main(int argc, char** argv) {
    std::string ini, picture, out;
    int positional = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--screen" && i + 1 < argc) {
            platform::ScreenDims screen;
            if (!ParseScreen(argv[++i], screen)) return Usage();
            platform::SetScreenSizeForTesting(screen);
        } else if (arg == "--ini" && i + 1 < argc) {
            ini = argv[++i];
        } else if (arg.starts_with("--")) {
            return Usage();
        } else if (positional == 0) {
            picture = arg;
            ++positional;
        } else if (positional == 1) {
            out = arg;
            ++positional;
        } else {
            return Usage();
        }
    }
    if (positional != 2) return Usage();

    try {
        // Without --ini the defaults apply: an empty file name reads nothing.
        TOptionen options(TOptionen::ReadOnly{}, ini);
        TPicture target;
        const std::string error = options.FitPicture(target, picture);
        if (!error.empty()) {
            std::printf("%s\n", error.c_str());
            return 1;
        }
        SaveBitmapToFile(target.Bitmap(), out);
    } catch (const std::exception& e) {
        std::printf("Fehler: \"%s\"\n", e.what());
        return 1;
    }
    return 0;
}
