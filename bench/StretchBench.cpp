// Composes a 6000 x 4000 picture stretched to 1920 x 1080 (black fill and
// stretch-draw, as FitPicture does at a fixed size), sampled and smoothed, and
// prints the times next to a plain memory copy of the output size.
#include "compose/FitPicture.h"
#include "compose/Graphics.h"
#include "config/uOptionen.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

template <class F> double BestSeconds(int runs, F&& f) {
    double best = 1e30;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        f();
        best =
            std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return best;
}

} // namespace

int main() {
    TBitmap source(6000, 4000);
    for (int y = 0; y < source.Height(); ++y) {
        std::uint8_t* row = source.ScanLine(y);
        for (int x = 0; x < source.Width() * 3; ++x)
            row[x] = static_cast<std::uint8_t>(x * 7 + y * 13);
    }
    TOptionen options(TOptionen::ReadOnly{}, "");
    options.Autowandlung_Groesse = true;
    options.FesteBildBreite = 1920;
    options.FesteBildHoehe = 1080;
    TBitmap out;
    options.Glaetten = false;
    ComposeFit(options, out, source, false);
    const double stretch = BestSeconds(30, [&] { ComposeFit(options, out, source, false); });
    options.Glaetten = true;
    const double smooth = BestSeconds(10, [&] { ComposeFit(options, out, source, false); });

    const std::size_t bytes = static_cast<std::size_t>(TBitmap::StrideFor(1920)) * 1080;
    std::vector<std::uint8_t> a(bytes, 1), b(bytes, 2);
    const double copy = BestSeconds(30, [&] {
        std::memcpy(b.data(), a.data(), bytes);
        asm volatile("" : : "r"(b.data()) : "memory");
    });
    std::printf("stretch 6000x4000 -> 1920x1080: %.3f ms one pixel sampled, %.3f ms area average\n",
                stretch * 1e3, smooth * 1e3);
    std::printf("memcpy of the output (%zu bytes): %.3f ms\n", bytes, copy * 1e3);
    std::printf("ratio stretch / memcpy: %.1f sampled, %.1f area average\n", stretch / copy, smooth / copy);
    return 0;
}
