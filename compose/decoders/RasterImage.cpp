#include "compose/decoders/RasterImage.h"

#include "config/Messages.h"

#include <algorithm>
#include <new>

PixelSource TRasterImage::Source() const {
    PixelSource s = pixels_.Source();
    if (!alpha_.empty()) {
        s.alpha = alpha_.data();
        s.alphaStride = pixels_.Width();
    }
    return s;
}

void TRasterImage::SetPixels(TBitmap&& pixels, std::vector<std::uint8_t>&& alpha) {
    if (std::all_of(alpha.begin(), alpha.end(), [](std::uint8_t a) { return a == 255; }))
        std::vector<std::uint8_t>().swap(alpha);
    pixels_ = std::move(pixels);
    alpha_ = std::move(alpha);
}

std::vector<std::uint8_t> NewAlphaPlane(int width, int height) {
    CheckPixelBudget(width, height);
    try {
        return std::vector<std::uint8_t>(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    } catch (const std::bad_alloc&) {
        Throw(Msg::OutOfMemory);
    }
}

void SplitQuads(const std::uint8_t* src, std::ptrdiff_t stride, int width, int height, QuadOrder order,
                bool premultiplied, TBitmap& pixels, std::vector<std::uint8_t>& alpha) {
    pixels.SetSize(width, height);
    alpha = NewAlphaPlane(width, height);
    const int r = order == QuadOrder::Rgba ? 0 : 2;
    const int b = 2 - r;
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* s = src + y * stride;
        std::uint8_t* d = pixels.ScanLine(y);
        std::uint8_t* a = alpha.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width);
        for (int x = 0; x < width; ++x, s += 4, d += 3) {
            const unsigned av = s[3];
            a[x] = s[3];
            if (premultiplied && av != 255) {
                const auto straight = [av](unsigned c) {
                    return av == 0 ? 0u : std::min(255u, (c * 255 + av / 2) / av);
                };
                d[0] = static_cast<std::uint8_t>(straight(s[b]));
                d[1] = static_cast<std::uint8_t>(straight(s[1]));
                d[2] = static_cast<std::uint8_t>(straight(s[r]));
            } else {
                d[0] = s[b];
                d[1] = s[1];
                d[2] = s[r];
            }
        }
    }
}
