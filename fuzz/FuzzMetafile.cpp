// Loads a metafile of either kind and plays it into a small bitmap, once
// inside the bitmap and once reaching past its edges.
#include "compose/decoders/Metafile.h"
#include "config/Messages.h"

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    TMetafile m;
    try {
        m.LoadFromData(std::vector<std::uint8_t>(data, data + size));
    } catch (const ZenksError&) {
        return 0;
    }
    TBitmap bmp(48, 32);
    m.StretchDraw(bmp, {0, 0, 48, 32});
    m.StretchDraw(bmp, {-20, 10, 60, 90});
    return 0;
}
