// Feeds arbitrary bytes to the GIF decoder and draws the result both ways;
// a German error is an expected outcome, anything else is a finding.
#include "compose/decoders/GifImage.h"
#include "config/Messages.h"

#include <cstddef>
#include <cstdint>
#include <vector>

#ifdef ZENKS_FUZZING
namespace {
// The pixel count the first image descriptor declares, found by walking the
// blocks loosely; 0 when none is found. Large pictures that are still within
// the memory limit take seconds under the sanitizers, and the fuzzer would
// drift towards them and stall: their handling is covered by the unit tests
// and the regression files instead.
std::uint64_t DeclaredPixels(const std::uint8_t* d, std::size_t n) {
    std::size_t p = 13;
    if (n < p) return 0;
    if (d[10] & 0x80) p += std::size_t{3} << ((d[10] & 7) + 1);
    while (p + 1 < n && d[p] == 0x21) {
        p += 2;
        while (p < n && d[p] != 0)
            p += d[p] + 1u;
        ++p;
    }
    if (p + 9 > n || d[p] != 0x2C) return 0;
    const std::uint64_t w = d[p + 5] | (d[p + 6] << 8);
    return w * static_cast<std::uint64_t>(d[p + 7] | (d[p + 8] << 8));
}
} // namespace
#endif

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
#ifdef ZENKS_FUZZING
    if (DeclaredPixels(data, size) > (1u << 22)) return 0;
#endif
    TGIFImage gif;
    try {
        gif.LoadFromData(std::vector<std::uint8_t>(data, data + size));
    } catch (const ZenksError&) {
        return 0;
    }
    TBitmap target(64, 48);
    gif.Draw(target, -3, 5);
    gif.StretchDraw(target, {2, -1, 61, 40});
    return 0;
}
