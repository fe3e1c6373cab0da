// Decodes a 24-megapixel 24-bit bitmap (and its 32-bit and 8-bit twins) made
// in memory and prints the time next to a plain copy of the same pixel bytes
// into a fresh buffer, the least any decoder has to do.
#include "compose/Graphics.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

void Put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::vector<std::uint8_t> MakeBmp(int w, int h, int bpp) {
    const std::size_t stride = ((static_cast<std::size_t>(w) * bpp + 31) / 32) * 4;
    const std::size_t palette = bpp == 8 ? 256 * 4 : 0;
    const std::size_t off = 14 + 40 + palette;
    std::vector<std::uint8_t> b(off + stride * h);
    b[0] = 'B';
    b[1] = 'M';
    Put32(b, 2, static_cast<std::uint32_t>(b.size()));
    Put32(b, 10, static_cast<std::uint32_t>(off));
    Put32(b, 14, 40);
    Put32(b, 18, static_cast<std::uint32_t>(w));
    Put32(b, 22, static_cast<std::uint32_t>(h));
    b[26] = 1;
    b[28] = static_cast<std::uint8_t>(bpp);
    for (std::size_t i = 0; i < palette; ++i)
        b[54 + i] = static_cast<std::uint8_t>(i * 7);
    std::uint32_t x = 12345;
    for (std::size_t i = off; i < b.size(); ++i) {
        x = x * 1103515245u + 12345u;
        b[i] = static_cast<std::uint8_t>(x >> 16);
    }
    return b;
}

// Best of five; setup() runs outside the timed part.
template <class S, class F> double BestMs(S setup, F f) {
    double best = 1e30;
    for (int i = 0; i < 5; ++i) {
        auto input = setup();
        const auto t0 = Clock::now();
        f(input);
        best = std::min(best, std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    }
    return best;
}

} // namespace

int main() {
    const int w = 6000, h = 4000;
    const std::vector<std::uint8_t> file24 = MakeBmp(w, h, 24);
    const std::size_t pixelBytes = file24.size() - 54;
    const double copyMs = BestMs([] { return 0; },
                                 [&](int) {
                                     auto buf = std::make_unique_for_overwrite<std::uint8_t[]>(pixelBytes);
                                     std::memcpy(buf.get(), file24.data() + 54, pixelBytes);
                                     volatile std::uint8_t sink = buf[pixelBytes / 2];
                                     (void)sink;
                                 });
    std::printf("baseline memcpy of %dx%d 24-bit pixels into a new buffer: %.1f ms\n", w, h, copyMs);
    for (int bpp : {24, 32, 8}) {
        const std::vector<std::uint8_t> file = bpp == 24 ? file24 : MakeBmp(w, h, bpp);
        // The decoder takes the file's bytes as read; that read is not timed.
        const double ms = BestMs([&] { return std::vector<std::uint8_t>(file); },
                                 [](std::vector<std::uint8_t>& in) {
                                     TBitmap bmp;
                                     bmp.LoadFromData(std::move(in));
                                 });
        std::printf("BMP %2d-bit decode: %.1f ms, ratio to memcpy %.2f\n", bpp, ms, ms / copyMs);
    }
    return 0;
}
