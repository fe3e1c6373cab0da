#include "compose/decoders/MetafilePlayback.h"

#include <gtest/gtest.h>

#include <initializer_list>

namespace {
struct Bytes {
    std::vector<std::uint8_t> d;
    void u16(int v) {
        d.push_back(static_cast<std::uint8_t>(v));
        d.push_back(static_cast<std::uint8_t>(v >> 8));
    }
    void u32(std::uint32_t v) {
        u16(static_cast<int>(v & 0xffff));
        u16(static_cast<int>(v >> 16));
    }
    // One record: size in 16-bit words (with its 6-byte head), function, parameters.
    void record(int function, std::initializer_list<int> params) {
        u32(static_cast<std::uint32_t>(3 + params.size()));
        u16(function);
        for (int p : params)
            u16(p);
    }
};

// A placeable WMF of 100 x 100 units filled by one red rectangle.
std::vector<std::uint8_t> RedSquare() {
    Bytes body;
    body.u16(1);     // in memory
    body.u16(9);     // header size in words
    body.u16(0x300); // version
    body.u32(0);     // file size in words, patched below
    body.u16(1);     // objects
    body.u32(7);     // largest record
    body.u16(0);
    body.record(0x020B, {0, 0});                 // SETWINDOWORG y, x
    body.record(0x020C, {100, 100});             // SETWINDOWEXT y, x
    body.record(0x02FC, {0, 0x00FF, 0x0000, 0}); // CREATEBRUSHINDIRECT solid, COLORREF red, hatch
    body.record(0x012D, {0});                    // SELECTOBJECT brush
    body.record(0x041B, {101, 101, -1, -1});     // RECTANGLE bottom, right, top, left
    body.record(0x0000, {});                     // EOF
    const std::uint32_t words = static_cast<std::uint32_t>(body.d.size() / 2);
    for (int i = 0; i < 4; ++i)
        body.d[6 + i] = static_cast<std::uint8_t>(words >> (8 * i));

    Bytes file;
    file.u32(0x9AC6CDD7); // key
    file.u16(0);          // handle
    file.u16(0);          // bounding box left, top, right, bottom
    file.u16(0);
    file.u16(100);
    file.u16(100);
    file.u16(1440); // units per inch
    file.u32(0);
    int sum = 0;
    for (std::size_t i = 0; i < 20; i += 2)
        sum ^= file.d[i] | file.d[i + 1] << 8;
    file.u16(sum);
    file.d.insert(file.d.end(), body.d.begin(), body.d.end());
    return file.d;
}

void FillGreen(TBitmap& b) {
    for (int y = 0; y < b.Height(); ++y)
        for (int x = 0; x < b.Width(); ++x) {
            b.ScanLine(y)[x * 3 + 0] = 0;
            b.ScanLine(y)[x * 3 + 1] = 255;
            b.ScanLine(y)[x * 3 + 2] = 0;
        }
}

std::uint32_t Pixel(const TBitmap& b, int x, int y) {
    const std::uint8_t* p = b.ScanLine(y) + x * 3;
    return p[2] << 16 | p[1] << 8 | p[0];
}
} // namespace

TEST(MetafilePlaybackTest, PlaceableWmfIsStretchedIntoTheRectangleOnly) {
    TBitmap b(40, 30);
    FillGreen(b);
    ASSERT_TRUE(PlayMetafileInto(RedSquare(), b, TRect{10, 5, 30, 25}));
    EXPECT_EQ(Pixel(b, 20, 15), 0xFF0000u);
    EXPECT_EQ(Pixel(b, 11, 6), 0xFF0000u);
    EXPECT_EQ(Pixel(b, 28, 23), 0xFF0000u);
    EXPECT_EQ(Pixel(b, 2, 2), 0x00FF00u);
    EXPECT_EQ(Pixel(b, 35, 28), 0x00FF00u);
    EXPECT_EQ(Pixel(b, 20, 27), 0x00FF00u);
}

TEST(MetafilePlaybackTest, WhatIsNoMetafileLeavesTheBitmapAlone) {
    TBitmap b(8, 8);
    FillGreen(b);
    std::vector<std::uint8_t> junk(64, 0x55);
    EXPECT_FALSE(PlayMetafileInto(junk, b, TRect{0, 0, 8, 8}));
    EXPECT_FALSE(PlayMetafileInto({}, b, TRect{0, 0, 8, 8}));
    EXPECT_EQ(Pixel(b, 4, 4), 0x00FF00u);
}
