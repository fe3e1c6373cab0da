#include "compose/Graphics.h"
#include "config/Messages.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using testsupport::CorpusPath;

// Little-endian field writers for crafted files.
void U16(Bytes& b, std::uint32_t v) {
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}
void U32(Bytes& b, std::uint32_t v) {
    U16(b, v & 0xFFFF);
    U16(b, v >> 16);
}
void Raw(Bytes& b, std::initializer_list<int> bytes) {
    for (int v : bytes)
        b.push_back(static_cast<std::uint8_t>(v));
}

// File header plus a 40-byte info header; the caller appends palette/masks and
// pixels. offBits 0 means "right after what the caller appends before pixels".
Bytes InfoHeader(std::int32_t width, std::int32_t height, int bpp, std::uint32_t compression,
                 std::uint32_t clrUsed, std::uint32_t offBits) {
    Bytes b;
    Raw(b, {'B', 'M'});                         // bfType
    U32(b, 0);                                  // bfSize (not relied on)
    U32(b, 0);                                  // bfReserved1, bfReserved2
    U32(b, offBits);                            // bfOffBits
    U32(b, 40);                                 // biSize
    U32(b, static_cast<std::uint32_t>(width));  // biWidth
    U32(b, static_cast<std::uint32_t>(height)); // biHeight (negative: top-down)
    U16(b, 1);                                  // biPlanes
    U16(b, static_cast<std::uint32_t>(bpp));    // biBitCount
    U32(b, compression);                        // biCompression
    U32(b, 0);                                  // biSizeImage
    U32(b, 2835);                               // biXPelsPerMeter
    U32(b, 2835);                               // biYPelsPerMeter
    U32(b, clrUsed);                            // biClrUsed
    U32(b, 0);                                  // biClrImportant
    return b;
}

TBitmap Decode(const Bytes& b) {
    TBitmap bmp;
    bmp.LoadFromData(Bytes(b));
    return bmp;
}

std::string DecodeError(const Bytes& b) {
    try {
        Decode(b);
    } catch (const ZenksError& e) {
        return e.what();
    }
    return "no error";
}

// Pixel (x, y) as 0xRRGGBB.
std::uint32_t Px(const TBitmap& bmp, int x, int y) {
    const std::uint8_t* p = bmp.ScanLine(y) + x * 3;
    return (p[2] << 16) | (p[1] << 8) | p[0];
}

// Largest per-channel difference between a decoded bitmap and RGBA rows.
int MaxDiff(const TBitmap& bmp, const testsupport::RgbaImage& ref) {
    EXPECT_EQ(bmp.Width(), ref.width);
    EXPECT_EQ(bmp.Height(), ref.height);
    if (bmp.Width() != ref.width || bmp.Height() != ref.height) return 256;
    int worst = 0;
    for (int y = 0; y < ref.height; ++y)
        for (int x = 0; x < ref.width; ++x) {
            const std::uint8_t* r = &ref.rgba[(static_cast<std::size_t>(y) * ref.width + x) * 4];
            const std::uint8_t* p = bmp.ScanLine(y) + x * 3;
            for (int c = 0; c < 3; ++c)
                worst = std::max(worst, std::abs(int(p[2 - c]) - int(r[c])));
        }
    return worst;
}

} // namespace

TEST(BmpCorpus, GoodFilesMatchTheirReferences) {
    struct Case {
        const char* file;
        const char* ref;
        int tolerance; // 5-to-8-bit scaling differs between decoders by one step
    };
    const Case cases[] = {
        {"bmpsuite-g-pal1.bmp", "bmpsuite-pal1.png", 0},
        {"bmpsuite-g-pal4.bmp", "bmpsuite-pal4.png", 0},
        {"bmpsuite-g-pal4rle.bmp", "bmpsuite-pal4.png", 0},
        {"bmpsuite-g-pal8.bmp", "bmpsuite-pal8.png", 0},
        {"bmpsuite-g-pal8rle.bmp", "bmpsuite-pal8.png", 0},
        {"bmpsuite-g-pal8os2.bmp", "bmpsuite-pal8.png", 0},
        {"bmpsuite-g-pal8topdown.bmp", "bmpsuite-pal8.png", 0},
        {"bmpsuite-g-rgb16.bmp", "bmpsuite-rgb16.png", 1},
        {"bmpsuite-g-rgb16-565.bmp", "bmpsuite-rgb16-565.png", 1},
        {"bmpsuite-g-rgb24.bmp", "bmpsuite-rgb24.png", 0},
        {"bmpsuite-g-rgb32bf.bmp", "bmpsuite-rgb24.png", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        TPicture pic;
        pic.LoadFromFile(CorpusPath(std::string("bmp/") + c.file).string());
        auto* bmp = dynamic_cast<TBitmap*>(pic.Graphic());
        ASSERT_NE(bmp, nullptr);
        EXPECT_EQ(bmp->Width(), 127);
        EXPECT_EQ(bmp->Height(), 64);
        EXPECT_LE(MaxDiff(*bmp, testsupport::LoadReferenceImage(CorpusPath(std::string("bmp/ref/") + c.ref))),
                  c.tolerance);
    }
}

TEST(BmpCorpus, BadFilesFailWithTheirMessagesAndTheHolderKeepsItsPicture) {
    TPicture pic;
    pic.LoadFromFile(CorpusPath("bmp/bmpsuite-g-pal1.bmp").string());
    const TGraphic* before = pic.Graphic();
    const std::pair<const char*, const char*> cases[] = {
        {"bmpsuite-b-shortfile.bmp", "Stream-Read-Fehler"},
        // Its declared size is refused before anything is allocated or read.
        {"bmpsuite-b-reallybig.bmp", "Zu wenig Arbeitsspeicher"},
        {"bmpsuite-x-ba-bm.bmp", "Bitmap ist ungültig"},
    };
    for (const auto& [file, message] : cases) {
        SCOPED_TRACE(file);
        try {
            pic.LoadFromFile(CorpusPath(std::string("bmp/") + file).string());
            ADD_FAILURE() << "loaded";
        } catch (const ZenksError& e) {
            EXPECT_STREQ(e.what(), message);
        }
        EXPECT_EQ(pic.Graphic(), before);
        EXPECT_EQ(pic.Width(), 127);
    }
}

TEST(BmpFiles, ExtensionIsCaseBlindAndAloneChoosesTheDecoder) {
    testsupport::TempDir tmp;
    const fs::path upper = tmp / "BILD.BMP";
    fs::copy_file(CorpusPath("bmp/bmpsuite-g-pal8.bmp"), upper);
    TPicture pic;
    pic.LoadFromFile(upper.string());
    EXPECT_NE(dynamic_cast<TBitmap*>(pic.Graphic()), nullptr);
    EXPECT_EQ(pic.Width(), 127);

    // JPEG data under a bitmap name.
    const fs::path jpeg = tmp / "foto.bmp";
    testsupport::WriteBytes(jpeg, {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0x00});
    try {
        pic.LoadFromFile(jpeg.string());
        ADD_FAILURE() << "loaded";
    } catch (const ZenksError& e) {
        EXPECT_STREQ(e.what(), "Bitmap ist ungültig");
    }

    const fs::path empty = tmp / "leer.bmp";
    testsupport::WriteBytes(empty, {});
    pic.LoadFromFile(empty.string());
    EXPECT_EQ(pic.Width(), 0);
    EXPECT_EQ(pic.Height(), 0);
}

// Files written by another encoder (ImageMagick) in the header and pixel
// variants it produces, compared with ImageMagick's own reading of them.
TEST(BmpFiles, VariantsWrittenByImageMagickMatchItsReading) {
    testsupport::TempDir tmp;
    const std::string src = "'" + CorpusPath("bmp/ref/bmpsuite-rgb24.png").string() + "'";
    struct Variant {
        const char* name;
        const char* args;
        int tolerance; // 5/6-to-8-bit scaling rounds differently in ImageMagick
    };
    const Variant variants[] = {
        {"info24.bmp", "bmp3:", 0},                                           // 40-byte header, 24 bits
        {"v5alpha32.bmp", "-alpha set -channel A -evaluate set 50% bmp:", 0}, // V5, 32-bit bit fields
        {"v5rgb565.bmp", "-define bmp:subtype=RGB565 bmp:", 1},               // V5, 16-bit 5-6-5
        {"rle8.bmp", "-colors 200 -type Palette -compress RLE bmp3:", 0},     // RLE8, 40-byte header
        {"v5rle8.bmp", "-colors 16 bmp:", 0},                                 // V5 header, RLE8
        {"os2.bmp", "bmp2:", 0},                                              // 12-byte core header
    };
    for (const Variant& v : variants) {
        SCOPED_TRACE(v.name);
        const fs::path out = tmp / v.name;
        const std::string cmd = "convert-im6.q16 " + src + " " + v.args + "'" + out.string() + "'";
        ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
        TPicture pic;
        pic.LoadFromFile(out.string());
        EXPECT_LE(MaxDiff(*dynamic_cast<TBitmap*>(pic.Graphic()), testsupport::LoadReferenceImage(out)),
                  v.tolerance);
    }
}

TEST(BmpCrafted, HugeAndImpossibleSizes) {
    // 70000 x 70000 at 24 bits is over the budget although the file is tiny.
    EXPECT_EQ(DecodeError(InfoHeader(70000, 70000, 24, 0, 0, 54)), "Zu wenig Arbeitsspeicher");
    // Top-down at the largest magnitude: same refusal, no overflow negating it.
    EXPECT_EQ(DecodeError(InfoHeader(1, -2147483647, 24, 0, 0, 54)), "Zu wenig Arbeitsspeicher");
    EXPECT_EQ(DecodeError(InfoHeader(1, INT32_MIN, 24, 0, 0, 54)), "Bitmap ist ungültig");
    EXPECT_EQ(DecodeError(InfoHeader(-4, 4, 24, 0, 0, 54)), "Bitmap ist ungültig");
    // Unsupported depth and compression (embedded JPEG).
    EXPECT_EQ(DecodeError(InfoHeader(4, 4, 7, 0, 0, 54)), "Bitmap ist ungültig");
    EXPECT_EQ(DecodeError(InfoHeader(4, 4, 24, 4, 0, 54)), "Bitmap ist ungültig");
    // RLE8 on a 4-bit picture.
    EXPECT_EQ(DecodeError(InfoHeader(4, 4, 4, 1, 0, 54)), "Bitmap ist ungültig");
    // A header size below the smallest known one.
    Bytes b = InfoHeader(4, 4, 24, 0, 0, 54);
    b[14] = 13;
    EXPECT_EQ(DecodeError(b), "Bitmap ist ungültig");
}

TEST(BmpCrafted, ZeroSizesGiveAnEmptyPictureOfThatSize) {
    // No pixel data at all is needed for them.
    TBitmap a = Decode(InfoHeader(0, 5, 24, 0, 0, 54));
    EXPECT_EQ(a.Width(), 0);
    EXPECT_EQ(a.Height(), 5);
    TBitmap b = Decode(InfoHeader(7, 0, 8, 1, 0, 54));
    EXPECT_EQ(b.Width(), 7);
    EXPECT_EQ(b.Height(), 0);
}

TEST(BmpCrafted, EveryTruncationIsAStreamReadError) {
    // 2 x 2, 8 bits, two palette entries; pixels bottom-up, rows padded to 4.
    Bytes b = InfoHeader(2, 2, 8, 0, 2, 14 + 40 + 8);
    U32(b, 0x000000FF);   // palette 0: red (B, G, R, reserved as 0x00RRGGBB LE)
    U32(b, 0x0000FF00);   // palette 1: green
    Raw(b, {0, 1, 0, 0}); // bottom row: red, green
    Raw(b, {1, 0, 0, 0}); // top row: green, red
    const TBitmap ok = Decode(b);
    EXPECT_EQ(Px(ok, 0, 0), 0x00FF00u);
    EXPECT_EQ(Px(ok, 1, 0), 0x0000FFu);
    EXPECT_EQ(Px(ok, 0, 1), 0x0000FFu);
    for (std::size_t n = 1; n < b.size(); ++n) {
        SCOPED_TRACE(n);
        EXPECT_EQ(DecodeError(Bytes(b.begin(), b.begin() + n)), "Stream-Read-Fehler");
    }
}

TEST(BmpCrafted, PaletteEdges) {
    // 4 x 1, 8 bits, biClrUsed 2: indexes 2 and 255 lie past the palette.
    Bytes b = InfoHeader(4, 1, 8, 0, 2, 0);
    U32(b, 0x00112233);     // palette 0
    U32(b, 0x00445566);     // palette 1
    Raw(b, {0, 1, 2, 255}); // pixels
    const std::uint32_t offBits = 14 + 40 + 8;
    b[10] = offBits;
    TBitmap bmp = Decode(b);
    EXPECT_EQ(Px(bmp, 0, 0), 0x112233u);
    EXPECT_EQ(Px(bmp, 1, 0), 0x445566u);
    EXPECT_EQ(Px(bmp, 2, 0), 0u);
    EXPECT_EQ(Px(bmp, 3, 0), 0u);

    // bfOffBits inside the palette: the pixels win, the entries they overlap
    // count as missing (black). Palette 1 here is the pixel row itself.
    Bytes o = InfoHeader(4, 1, 8, 0, 2, 14 + 40 + 4);
    U32(o, 0x00112233);   // palette 0
    Raw(o, {0, 1, 0, 0}); // pixels (and what would have been palette 1)
    bmp = Decode(o);
    EXPECT_EQ(Px(bmp, 0, 0), 0x112233u);
    EXPECT_EQ(Px(bmp, 1, 0), 0u);

    // bfOffBits inside the headers or past the file: the pixels follow the
    // palette instead.
    for (std::uint32_t bad : {0u, 20u, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
        SCOPED_TRACE(bad);
        Bytes c = b;
        c[10] = bad & 0xFF, c[11] = (bad >> 8) & 0xFF, c[12] = (bad >> 16) & 0xFF, c[13] = bad >> 24;
        EXPECT_EQ(Px(Decode(c), 1, 0), 0x445566u);
    }

    // A huge biClrUsed is capped at what the depth can index.
    Bytes h = InfoHeader(1, 1, 1, 0, 0xFFFFFFFF, 14 + 40 + 8);
    U32(h, 0x00000000);      // palette 0
    U32(h, 0x00ABCDEF);      // palette 1
    Raw(h, {0x80, 0, 0, 0}); // one pixel, index 1
    EXPECT_EQ(Px(Decode(h), 0, 0), 0xABCDEFu);
}

TEST(BmpCrafted, BitFieldMasks) {
    // 16 bits, 40-byte header with the masks after it: red 0, green 0x07E0,
    // blue 0x001F. An empty mask gives a channel of 0.
    Bytes b = InfoHeader(2, 1, 16, 3, 0, 14 + 40 + 12);
    U32(b, 0);      // red mask
    U32(b, 0x07E0); // green mask
    U32(b, 0x001F); // blue mask
    U16(b, 0xFFFF); // pixel 0: everything set
    U16(b, 0x0410); // pixel 1: green 32 of 63, blue 16 of 31
    TBitmap bmp = Decode(b);
    EXPECT_EQ(Px(bmp, 0, 0), 0x00FFFFu);
    EXPECT_EQ(Px(bmp, 1, 0), 0x008284u); // 32 * 255 / 63 and 16 * 255 / 31, rounded

    // 32 bits, V4-style masks inside a 56-byte header: 10-10-10 with the
    // channels in blue-green-red order from the top, plus a 2-bit alpha.
    Bytes v;
    Raw(v, {'B', 'M'});                     // bfType
    U32(v, 0);                              // bfSize
    U32(v, 0);                              // reserved
    U32(v, 14 + 56);                        // bfOffBits
    U32(v, 56);                             // biSize (V3)
    U32(v, 1);                              // width
    U32(v, static_cast<std::uint32_t>(-2)); // height, top-down
    U16(v, 1);                              // planes
    U16(v, 32);                             // bit count
    U32(v, 3);                              // BI_BITFIELDS
    for (int i = 0; i < 5; ++i)
        U32(v, 0);      // size image, resolution, colours used/important
    U32(v, 0x000003FF); // red mask: low 10 bits
    U32(v, 0x000FFC00); // green mask
    U32(v, 0x3FF00000); // blue mask
    U32(v, 0xC0000000); // alpha mask (ignored)
    U32(v, 0x3FF003FF); // row 0: red and blue full, green 0
    U32(v, 0x00080200); // row 1: red and green 512 of 1023
    bmp = Decode(v);
    EXPECT_EQ(Px(bmp, 0, 0), 0xFF00FFu);
    EXPECT_EQ(Px(bmp, 0, 1), 0x808000u);
}

TEST(BmpCrafted, Rle8RunsAndDeltasAreClipped) {
    // 4 x 3 RLE8, bottom-up; palette 1 = white, everything unset stays black.
    Bytes b = InfoHeader(4, 3, 8, 1, 2, 14 + 40 + 8);
    U32(b, 0x00000000);         // palette 0
    U32(b, 0x00FFFFFF);         // palette 1
    Raw(b, {10, 1});            // bottom row: a run of 10 on a row of 4
    Raw(b, {0, 0});             // end of line
    Raw(b, {0, 2, 3, 0});       // delta right 3
    Raw(b, {0, 3, 1, 1, 1, 0}); // literal of 3 starting at x 3, padded
    Raw(b, {0, 2, 200, 0});     // delta far past the row
    Raw(b, {5, 1});             // run entirely outside the row
    Raw(b, {0, 0});             // end of line: top row
    Raw(b, {1, 1});             // one white pixel
    Raw(b, {0, 2, 0, 50});      // delta far below the bitmap ends decoding
    Raw(b, {1, 1});             // never reached
    const TBitmap bmp = Decode(b);
    for (int x = 0; x < 4; ++x)
        EXPECT_EQ(Px(bmp, x, 2), 0xFFFFFFu) << x;
    EXPECT_EQ(Px(bmp, 2, 1), 0u);
    EXPECT_EQ(Px(bmp, 3, 1), 0xFFFFFFu);
    EXPECT_EQ(Px(bmp, 0, 0), 0xFFFFFFu);
    EXPECT_EQ(Px(bmp, 1, 0), 0u);

    // The stream ends before the end-of-bitmap code with rows still to come.
    Bytes cut = InfoHeader(4, 3, 8, 1, 2, 14 + 40 + 8);
    U32(cut, 0);
    U32(cut, 0x00FFFFFF);
    Raw(cut, {4, 1, 0, 0});
    EXPECT_EQ(DecodeError(cut), "Stream-Read-Fehler");
    // A literal run that claims more bytes than the file holds.
    Raw(cut, {0, 200, 1});
    EXPECT_EQ(DecodeError(cut), "Stream-Read-Fehler");
}

TEST(BmpCrafted, Rle4NibblesAlternateAndClip) {
    // 5 x 1 RLE4; palette 0..3 with distinct colours.
    Bytes b = InfoHeader(5, 1, 4, 2, 4, 14 + 40 + 16);
    U32(b, 0x00000000);                  // palette 0
    U32(b, 0x00FF0000);                  // palette 1
    U32(b, 0x0000FF00);                  // palette 2
    U32(b, 0x000000FF);                  // palette 3
    Raw(b, {3, 0x12});                   // run of 3: 1, 2, 1
    Raw(b, {0, 5, 0x33, 0x33, 0x30, 0}); // literal of 5 nibbles, 2 fit
    Raw(b, {0, 1});                      // end of bitmap
    const TBitmap bmp = Decode(b);
    EXPECT_EQ(Px(bmp, 0, 0), 0xFF0000u);
    EXPECT_EQ(Px(bmp, 1, 0), 0x00FF00u);
    EXPECT_EQ(Px(bmp, 2, 0), 0xFF0000u);
    EXPECT_EQ(Px(bmp, 3, 0), 0x0000FFu);
    EXPECT_EQ(Px(bmp, 4, 0), 0x0000FFu);
}

TEST(BmpCrafted, CoreHeaderWithOneBitAndThreeByteEntries) {
    Bytes b;
    Raw(b, {'B', 'M'});         // bfType
    U32(b, 0);                  // bfSize
    U32(b, 0);                  // reserved
    U32(b, 14 + 12 + 6);        // bfOffBits
    U32(b, 12);                 // bcSize
    U16(b, 9);                  // bcWidth
    U16(b, 1);                  // bcHeight
    U16(b, 1);                  // bcPlanes
    U16(b, 1);                  // bcBitCount
    Raw(b, {0x10, 0x20, 0x30}); // palette 0 (B, G, R)
    Raw(b, {0x40, 0x50, 0x60}); // palette 1
    Raw(b, {0xAA, 0x80, 0, 0}); // 9 pixels: 1 0 1 0 1 0 1 0 | 1
    const TBitmap bmp = Decode(b);
    EXPECT_EQ(bmp.Width(), 9);
    EXPECT_EQ(Px(bmp, 0, 0), 0x605040u);
    EXPECT_EQ(Px(bmp, 1, 0), 0x302010u);
    EXPECT_EQ(Px(bmp, 8, 0), 0x605040u);
}

TEST(BmpCrafted, TwentyFourBitRowsInBothOrders) {
    for (const bool topDown : {false, true}) {
        SCOPED_TRACE(topDown);
        // 1 x 3 pixels, each row padded from 3 to 4 bytes.
        Bytes b = InfoHeader(1, topDown ? -3 : 3, 24, 0, 0, 14 + 40);
        Raw(b, {0x01, 0x02, 0x03, 0xEE}); // stored row 0 (B, G, R, padding)
        Raw(b, {0x04, 0x05, 0x06, 0xEE}); // stored row 1
        Raw(b, {0x07, 0x08, 0x09, 0xEE}); // stored row 2
        Raw(b, {0x55, 0x55});             // trailing bytes after the pixels
        const TBitmap bmp = Decode(b);
        ASSERT_EQ(bmp.Height(), 3);
        EXPECT_EQ(Px(bmp, 0, topDown ? 0 : 2), 0x030201u);
        EXPECT_EQ(Px(bmp, 0, 1), 0x060504u);
        EXPECT_EQ(Px(bmp, 0, topDown ? 2 : 0), 0x090807u);
        EXPECT_EQ(bmp.ScanLine(1)[3], 0) << "padding is cleared";
    }
}
