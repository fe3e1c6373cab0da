// Feeds arbitrary bytes to the GIF decoder and draws the result both ways;
// a German error is an expected outcome, anything else is a finding.
#include "compose/GifImage.h"
#include "config/Messages.h"

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
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
