// Loads and draws hostile JPEG data: both output kinds (full colour and the
// quantised one of small displays), the scaled decode of a smooth shrink, the
// direct first draw and the kept copy.
#include "compose/decoders/JpegImage.h"
#include "config/Messages.h"
#include "platform/Platform.h"

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The last byte picks the display depth, so a finding replays alike.
    platform::SetDisplayDepthForTesting(size > 0 && (data[size - 1] & 1) ? 8 : 24);
    // Every smooth shrink runs as two bands on two threads, as large ones do.
    TJPEGImage::SetSplitMinimumForTesting(0);
    TJPEGImage img;
    try {
        img.LoadFromData(std::vector<std::uint8_t>(data, data + size));
    } catch (const ZenksError&) {
        return 0;
    }
    // Big pictures only cost time; the size checks have their own tests.
    if (static_cast<std::int64_t>(img.Width()) * img.Height() > 2'000'000) return 0;
    try {
        // First a smooth shrink, which decodes at a fraction of the size.
        TBitmap smooth(19, 11);
        smooth.SetStretchFilter(StretchFilter::Smooth);
        img.StretchDraw(smooth, {-2, 1, img.Width() / 3 + 1, img.Height() / 5 + 1});
    } catch (const ZenksError&) {}
    try {
        TBitmap target(img.Width(), img.Height());
        img.Draw(target, 0, 0);
        TBitmap small(33, 17);
        img.StretchDraw(small, {-5, -5, 40, 20});
        img.Draw(small, -3, 2);
    } catch (const ZenksError&) {}
    return 0;
}
