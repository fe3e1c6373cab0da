// Loads and draws hostile JPEG data: both output kinds (full colour and the
// quantised one of small displays), the scaled decode of a smooth shrink, the
// direct first draw and the kept copy; from memory, or (every other input)
// read from its file a piece at a time, as pictures are. A smooth shrink in
// two bands whose lower one started on a spliced stream must draw and fail
// exactly as one decode of the whole.
#include "compose/decoders/JpegImage.h"
#include "config/Messages.h"
#include "platform/Platform.h"

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The last byte picks the display depth, so a finding replays alike.
    platform::SetDisplayDepthForTesting(size > 0 && (data[size - 1] & 1) ? 8 : 24);
    // Every smooth shrink runs as two bands on two threads, as large ones do.
    TJPEGImage::SetSplitMinimumForTesting(0);
    TJPEGImage img;
    // The second-to-last byte picks the source.
    const bool fromFile = size > 1 && (data[size - 2] & 1);
    const std::string path = "/tmp/zenks-fuzz-jpeg-" + std::to_string(getpid()) + ".jpg";
    try {
        if (fromFile) {
            std::FILE* f = std::fopen(path.c_str(), "wb");
            if (!f) return 0;
            const bool written = std::fwrite(data, 1, size, f) == size;
            std::fclose(f);
            // Gone from the folder once loaded; the open file lives on.
            struct Remove {
                const std::string& path;
                ~Remove() { std::remove(path.c_str()); }
            } remove{path};
            if (!written) return 0;
            img.LoadFromFile(path);
        } else {
            img.LoadFromData(std::vector<std::uint8_t>(data, data + size));
        }
    } catch (const ZenksError&) {
        return 0;
    }
    // Big pictures only cost time; the size checks have their own tests.
    if (static_cast<std::int64_t>(img.Width()) * img.Height() > 2'000'000) return 0;
    // First a smooth shrink, which decodes at a fraction of the size.
    const auto shrink = [&img](std::int64_t splitMinimum, std::string& error) {
        TJPEGImage::SetSplitMinimumForTesting(splitMinimum);
        TBitmap smooth(19, 11);
        smooth.SetStretchFilter(StretchFilter::Smooth);
        try {
            img.StretchDraw(smooth, {-2, 1, img.Width() / 3 + 1, img.Height() / 5 + 1});
        } catch (const ZenksError& e) {
            error = e.what();
        }
        return smooth;
    };
    std::string oneError, bandsError;
    const TBitmap one = shrink(INT64_MAX, oneError);
    TJPEGImage::SplicesForTesting();
    const TBitmap bands = shrink(0, bandsError);
    // Only where the lower band spliced: libjpeg's own skipping differs from
    // one decode on some damaged files by itself.
    if (TJPEGImage::SplicesForTesting() > 0) {
        for (int y = 0; y < one.Height(); ++y)
            if (std::memcmp(one.ScanLine(y), bands.ScanLine(y), static_cast<std::size_t>(one.Width()) * 3) !=
                0)
                std::abort();
        if (oneError != bandsError) std::abort();
    }
    try {
        TBitmap target(img.Width(), img.Height());
        img.Draw(target, 0, 0);
        TBitmap small(33, 17);
        img.StretchDraw(small, {-5, -5, 40, 20});
        img.Draw(small, -3, 2);
    } catch (const ZenksError&) {}
    return 0;
}
