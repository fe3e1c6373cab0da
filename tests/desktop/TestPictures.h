#pragma once
// Pictures made by the tests: a 24-bit BMP with a pattern that tells every
// pixel's position, and the reading of a BMP the program wrote.
#include "compose/Graphics.h"
#include "tests/support/TestSupport.h"

#include <cstdint>
#include <string>
#include <vector>

namespace pictures {

// Pattern colour of pixel (x, y) as R, G, B.
inline void Pattern(int x, int y, std::uint8_t rgb[3]) {
    rgb[0] = static_cast<std::uint8_t>(x * 2 + 7);
    rgb[1] = static_cast<std::uint8_t>(y * 3 + 11);
    rgb[2] = static_cast<std::uint8_t>((x ^ y) + 50);
}

inline void Put(std::vector<std::uint8_t>& b, std::uint32_t v, int n) {
    for (int i = 0; i < n; ++i)
        b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

// An uncompressed 24-bit bottom-up BMP of the pattern.
inline void WritePatternBmp(const std::string& path, int w, int h) {
    const std::uint32_t stride = (static_cast<std::uint32_t>(w) * 3 + 3) & ~3u;
    std::vector<std::uint8_t> b = {'B', 'M'};
    Put(b, 54 + stride * h, 4); // file size
    Put(b, 0, 4);               // reserved
    Put(b, 54, 4);              // pixel offset
    Put(b, 40, 4);              // info header size
    Put(b, static_cast<std::uint32_t>(w), 4);
    Put(b, static_cast<std::uint32_t>(h), 4);
    Put(b, 1, 2);  // planes
    Put(b, 24, 2); // bits per pixel
    Put(b, 0, 4);  // BI_RGB
    Put(b, stride * h, 4);
    Put(b, 2835, 4);
    Put(b, 2835, 4);
    Put(b, 0, 4);
    Put(b, 0, 4);
    for (int y = h - 1; y >= 0; --y) {
        for (int x = 0; x < w; ++x) {
            std::uint8_t c[3];
            Pattern(x, y, c);
            b.insert(b.end(), {c[2], c[1], c[0]});
        }
        for (std::uint32_t p = static_cast<std::uint32_t>(w) * 3; p < stride; ++p)
            b.push_back(0);
    }
    testsupport::WriteBytes(path, b);
}

// The BMP as the program's own decoder reads it.
inline TBitmap ReadBmp(const std::string& path) {
    TBitmap bmp;
    bmp.LoadFromData(testsupport::ReadBytes(path));
    return bmp;
}

// Whether bmp holds the pattern at its own size, pixel for pixel.
inline ::testing::AssertionResult HoldsPattern(const TBitmap& bmp, int w, int h) {
    if (bmp.Width() != w || bmp.Height() != h)
        return ::testing::AssertionFailure() << "size " << bmp.Width() << "x" << bmp.Height();
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            std::uint8_t c[3];
            Pattern(x, y, c);
            const std::uint8_t* p = bmp.ScanLine(y) + 3 * x;
            if (p[2] != c[0] || p[1] != c[1] || p[0] != c[2])
                return ::testing::AssertionFailure() << "pixel " << x << "," << y;
        }
    return ::testing::AssertionSuccess();
}

} // namespace pictures
