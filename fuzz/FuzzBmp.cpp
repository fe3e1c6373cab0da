// Loads arbitrary bytes as a bitmap and draws the result, plain and stretched,
// into a small target; only ZenksError may come out.
#include "compose/Graphics.h"
#include "config/Messages.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

std::int64_t Le(const std::uint8_t* p, int bytes) {
    std::uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = (v << 8) | p[i];
    return bytes == 2 ? static_cast<std::int64_t>(v)
                      : static_cast<std::int64_t>(static_cast<std::int32_t>(v));
}

// RLE lets a few bytes declare a picture of hundreds of megabytes, which is
// within the budget and correct, but takes seconds to clear under the
// sanitizers. The size checks are covered by the unit tests; here such inputs
// are skipped so that the fuzzer spends its time on the parsing.
bool DeclaresHugePicture(const std::uint8_t* data, std::size_t size) {
    if (size < 26 || data[0] != 'B' || data[1] != 'M') return false;
    const bool core = Le(data + 14, 4) == 12;
    const std::int64_t w = std::llabs(core ? Le(data + 18, 2) : Le(data + 18, 4));
    const std::int64_t h = std::llabs(core ? Le(data + 20, 2) : Le(data + 22, 4));
    return w * h > (std::int64_t{1} << 24);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (DeclaresHugePicture(data, size)) return 0;
    try {
        TBitmap bmp;
        bmp.LoadFromData(std::vector<std::uint8_t>(data, data + size));
        TBitmap target(37, 23);
        bmp.Draw(target, -3, 5);
        bmp.StretchDraw(target, TRect{-10, 2, 40, 30});
        TBitmap smooth(29, 31);
        smooth.SetStretchFilter(StretchFilter::Smooth);
        bmp.StretchDraw(smooth, TRect{-7, -4, 25, 40});
    } catch (const ZenksError&) {}
    return 0;
}
