#include "compose/decoders/Metafile.h"
#ifndef _WIN32
#include "compose/decoders/CairoFunctions.h"
#endif

#include "config/Messages.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>

namespace {

using Bytes = std::vector<std::uint8_t>;

void Put16(Bytes& b, int v) {
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}
void Put32(Bytes& b, std::int64_t v) {
    for (int i = 0; i < 4; ++i)
        b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

// One WMF record: size in words, function, 16-bit parameters.
struct WmfRecord {
    std::uint16_t function;
    std::vector<int> params;
};

// A placeable metafile with bounding box (0, 0)-(w, h) at `inch` units per
// inch, the 18-byte metafile header, the records and META_EOF.
Bytes MakeWmf(int w, int h, int inch, const std::vector<WmfRecord>& records, int objects = 4) {
    Bytes b;
    Put32(b, 0x9AC6CDD7); // key
    Put16(b, 0);          // handle
    Put16(b, 0);          // left
    Put16(b, 0);          // top
    Put16(b, w);          // right
    Put16(b, h);          // bottom
    Put16(b, inch);       // units per inch
    Put32(b, 0);          // reserved
    std::uint16_t sum = 0;
    for (int i = 0; i < 20; i += 2)
        sum ^= static_cast<std::uint16_t>(b[i] | (b[i + 1] << 8));
    Put16(b, sum);
    Put16(b, 1);       // type: memory
    Put16(b, 9);       // header size in words
    Put16(b, 0x0300);  // version
    Put32(b, 0);       // size in words (not used)
    Put16(b, objects); // number of objects
    Put32(b, 0);       // largest record
    Put16(b, 0);       // members
    for (const WmfRecord& r : records) {
        Put32(b, 3 + static_cast<std::int64_t>(r.params.size()));
        Put16(b, r.function);
        for (int p : r.params)
            Put16(b, p);
    }
    Put32(b, 3);
    Put16(b, 0);
    return b;
}

// Records that paint a red rectangle over the whole 100 x 100 picture with a
// null pen: create brush (slot 0), create pen (slot 1), select both, draw.
std::vector<WmfRecord> RedRectangle() {
    return {
        {0x02FC, {0 /*BS_SOLID*/, 0x00FF, 0x0000 /*red*/, 0}},
        {0x02FA, {5 /*PS_NULL*/, 0, 0, 0, 0}},
        {0x012D, {0}},
        {0x012D, {1}},
        {0x041B, {100, 100, 0, 0}}, // rectangle: bottom, right, top, left
    };
}

// An enhanced metafile with the given frame (0.01 mm), a reference device of
// 1000 x 1000 pixels on 100 x 100 mm (10 px/mm), the records and EMR_EOF.
struct EmfRecord {
    std::uint32_t type;
    std::vector<std::int64_t> params; // 32-bit values
};
Bytes MakeEmf(int frameW, int frameH, const std::vector<EmfRecord>& records, std::uint16_t handles = 4) {
    Bytes body;
    for (const EmfRecord& r : records) {
        Put32(body, r.type);
        Put32(body, 8 + 4 * static_cast<std::int64_t>(r.params.size()));
        for (std::int64_t p : r.params)
            Put32(body, p);
    }
    Put32(body, 14); // EMR_EOF
    Put32(body, 20);
    Put32(body, 0);
    Put32(body, 0);
    Put32(body, 20);
    Bytes b;
    Put32(b, 1);  // EMR_HEADER
    Put32(b, 88); // header size
    for (int v : {0, 0, frameW / 10, frameH / 10})
        Put32(b, v); // bounds, device pixels
    for (int v : {0, 0, frameW, frameH})
        Put32(b, v);                                       // frame, 0.01 mm
    Put32(b, 0x464D4520);                                  // " EMF"
    Put32(b, 0x10000);                                     // version
    Put32(b, 88 + static_cast<std::int64_t>(body.size())); // bytes
    Put32(b, static_cast<std::int64_t>(records.size()) + 2);
    Put16(b, handles);
    Put16(b, 0);
    Put32(b, 0); // description
    Put32(b, 0);
    Put32(b, 0);    // palette entries
    Put32(b, 1000); // device size, pixels
    Put32(b, 1000);
    Put32(b, 100); // device size, millimetres
    Put32(b, 100);
    b.insert(b.end(), body.begin(), body.end());
    return b;
}

std::string LoadError(Bytes data) {
    TMetafile m;
    try {
        m.LoadFromData(std::move(data));
    } catch (const ZenksError& e) {
        return e.what();
    }
    return "";
}

struct Px {
    int b, g, r;
    bool operator==(const Px&) const = default;
};
Px At(const TBitmap& bmp, int x, int y) {
    const std::uint8_t* p = bmp.ScanLine(y) + x * 3;
    return {p[0], p[1], p[2]};
}
void FillWhite(TBitmap& bmp) {
    for (int y = 0; y < bmp.Height(); ++y)
        std::memset(bmp.ScanLine(y), 0xFF, static_cast<std::size_t>(bmp.Width()) * 3);
}
constexpr Px kRed{0, 0, 255}, kWhite{255, 255, 255}, kBlack{0, 0, 0};

TBitmap Render(Bytes data, int w, int h, TRect rect) {
    TMetafile m;
    m.LoadFromData(std::move(data));
    TBitmap bmp(w, h);
    FillWhite(bmp);
    m.StretchDraw(bmp, rect);
    return bmp;
}

// ---- loading

TEST(MetafileLoad, RejectsWhatIsNeitherPlaceableNorEnhanced) {
    const std::string invalid = "Metadatei ist ungültig";
    Bytes good = MakeWmf(100, 100, 96, {});
    EXPECT_EQ(LoadError(good), "");

    Bytes wrongKey = good;
    wrongKey[0] ^= 1;
    EXPECT_EQ(LoadError(wrongKey), invalid);

    Bytes wrongSum = good;
    wrongSum[20] ^= 0x40;
    EXPECT_EQ(LoadError(wrongSum), invalid);

    Bytes zeroInch = MakeWmf(100, 100, 0, {});
    EXPECT_EQ(LoadError(zeroInch), invalid);

    EXPECT_EQ(LoadError(Bytes(good.begin(), good.begin() + 30)), invalid);
    EXPECT_EQ(LoadError({}), invalid);
    EXPECT_EQ(
        LoadError(testsupport::ReadBytes(testsupport::CorpusPath("wmf/lo-emfio-tdf88163-non-placeable.wmf"))),
        invalid);
    // A real file whose checksum field is 0: refused like any wrong checksum.
    EXPECT_EQ(LoadError(testsupport::ReadBytes(testsupport::CorpusPath("wmf/lo-emfio-TestBigPPI.wmf"))),
              invalid);
}

#ifndef _WIN32
// Cairo is opened at the first metafile drawn; without it, drawing one names
// its format, and loading still checks the header. In a process of its own,
// since the library stays loaded once a picture has needed it.
TEST(MetafileDeathTest, WithoutCairoADrawNamesTheFormat) {
    testing::FLAGS_gtest_death_test_style = "threadsafe";
    EXPECT_EXIT(
        {
            SetCairoLibraryForTesting("libcairo-not-installed.so.2");
            std::string messages = LoadError({}) + "|";
            for (Bytes data : {MakeWmf(100, 100, 96, {}), MakeEmf(1000, 1000, {})}) {
                try {
                    Render(std::move(data), 20, 20, {0, 0, 20, 20});
                    messages += "(drawn)|";
                } catch (const ZenksError& e) {
                    messages += std::string(e.what()) + "|";
                }
            }
            std::fputs(messages.c_str(), stderr);
            std::exit(0);
        },
        testing::ExitedWithCode(0),
        "Metadatei ist ungültig\\|Für Bilder des Formats \\.wmf ist auf diesem System kein Decoder "
        "installiert\\|Für Bilder des Formats \\.emf ist");
}
#endif

TEST(MetafileLoad, EnhancedMetafileThatEndsEarlyIsAStreamReadError) {
    const std::string streamRead = "Stream-Read-Fehler";
    const Bytes good = MakeEmf(1000, 1000, {{43 /*EMR_RECTANGLE*/, {0, 0, 10, 10}}});
    EXPECT_EQ(LoadError(good), "");
    // Cut inside the header, inside a record, and just before EMR_EOF's end.
    EXPECT_EQ(LoadError(Bytes(good.begin(), good.begin() + 60)), streamRead);
    EXPECT_EQ(LoadError(Bytes(good.begin(), good.begin() + 100)), streamRead);
    EXPECT_EQ(LoadError(Bytes(good.begin(), good.end() - 1)), streamRead);

    Bytes pastEnd = good; // the rectangle record claims 4 KB
    pastEnd[88 + 4] = 0x00;
    pastEnd[88 + 5] = 0x10;
    EXPECT_EQ(LoadError(pastEnd), streamRead);

    Bytes zeroSize = good; // would loop for ever if it were trusted
    std::memset(&zeroSize[88 + 4], 0, 4);
    EXPECT_EQ(LoadError(zeroSize), "Metadatei ist ungültig");

    EXPECT_EQ(LoadError(testsupport::ReadBytes(
                  testsupport::CorpusPath("emf/libemf2svg-bad_corrupted_2014-12-02-215338.emf"))),
              streamRead);
}

TEST(MetafileLoad, HugeDeclaredSizeFailsAtOnceWithoutAllocating) {
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(LoadError(testsupport::ReadBytes(
                  testsupport::CorpusPath("wmf/lo-vcl-fail-RC4-hang-2.decrypted.wmf"))),
              "Stream-Read-Fehler");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

TEST(MetafileLoad, SizeAtNinetySixPixelsPerInch) {
    TMetafile wmf;
    wmf.LoadFromData(MakeWmf(1200, 600, 600, {})); // 2 x 1 inch
    EXPECT_EQ(wmf.Kind(), TMetafile::TKind::Placeable);
    EXPECT_EQ(wmf.Width(), 192);
    EXPECT_EQ(wmf.Height(), 96);

    TMetafile emf;
    emf.LoadFromData(MakeEmf(5080, 2540, {})); // 50.8 x 25.4 mm
    EXPECT_EQ(emf.Kind(), TMetafile::TKind::Enhanced);
    EXPECT_EQ(emf.Width(), 192);
    EXPECT_EQ(emf.Height(), 96);

    // Negative bounding-box origin (real clip art): 2792 x 2172 at 1000/inch.
    TMetafile beef;
    beef.LoadFromData(testsupport::ReadBytes(testsupport::CorpusPath("wmf/lo-odk-beef.wmf")));
    EXPECT_EQ(beef.Width(), 268);
    EXPECT_EQ(beef.Height(), 209);
}

TEST(MetafileLoad, EnhancedContentUnderWmfExtensionIsAccepted) {
    testsupport::TempDir dir;
    const auto path = dir / "drawing.wmf";
    testsupport::WriteBytes(path, testsupport::ReadBytes(testsupport::CorpusPath("emf/pillow-drawing.emf")));
    TPicture pic;
    pic.LoadFromFile(path.string());
    auto* m = dynamic_cast<TMetafile*>(pic.Graphic());
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->Kind(), TMetafile::TKind::Enhanced);
    EXPECT_GT(pic.Width(), 0);
}

// ---- playback

TEST(MetafilePlayback, StretchesTheBoundingBoxOverTheRectangleOnly) {
    const TBitmap bmp = Render(MakeWmf(100, 100, 96, RedRectangle()), 40, 40, {10, 10, 30, 30});
    EXPECT_EQ(At(bmp, 10, 10), kRed);
    EXPECT_EQ(At(bmp, 29, 29), kRed);
    EXPECT_EQ(At(bmp, 20, 20), kRed);
    EXPECT_EQ(At(bmp, 9, 9), kWhite);
    EXPECT_EQ(At(bmp, 30, 30), kWhite);
    EXPECT_EQ(At(bmp, 35, 5), kWhite);
}

TEST(MetafilePlayback, RectangleReachingPastTheBitmapIsClipped) {
    const TBitmap bmp = Render(MakeWmf(100, 100, 96, RedRectangle()), 20, 20, {-50, 10, 50, 110});
    EXPECT_EQ(At(bmp, 0, 10), kRed);
    EXPECT_EQ(At(bmp, 19, 19), kRed);
    EXPECT_EQ(At(bmp, 0, 9), kWhite);
}

TEST(MetafilePlayback, WindowRecordsMapOntoTheRectangle) {
    // Window (0,0)-(10,10) with y going up from the bottom edge: the
    // rectangle (0,0)-(5,5) lands in the bottom-left quarter.
    std::vector<WmfRecord> recs = {
        {0x020B, {10, 0}},   // SETWINDOWORG y=10, x=0
        {0x020C, {-10, 10}}, // SETWINDOWEXT y=-10, x=10
        {0x02FC, {0, 0x00FF, 0, 0}}, {0x02FA, {5, 0, 0, 0, 0}}, {0x012D, {0}}, {0x012D, {1}},
        {0x041B, {5, 5, 0, 0}},
    };
    const TBitmap bmp = Render(MakeWmf(100, 100, 96, recs), 100, 100, {0, 0, 100, 100});
    EXPECT_EQ(At(bmp, 25, 75), kRed);
    EXPECT_EQ(At(bmp, 25, 25), kWhite);
    EXPECT_EQ(At(bmp, 75, 75), kWhite);
}

TEST(MetafilePlayback, SaveRestoreAndClipRectangles) {
    std::vector<WmfRecord> recs = RedRectangle();
    recs.insert(recs.end() - 1, {
                                    {0x001E, {}},               // SAVEDC
                                    {0x0416, {50, 50, 0, 0}},   // INTERSECTCLIPRECT (0,0)-(50,50)
                                    {0x0415, {20, 20, 10, 10}}, // EXCLUDECLIPRECT (10,10)-(20,20)
                                });
    // Draw clipped, restore, then draw a black ellipse unclipped.
    recs.push_back({0x0127, {-1}}); // RESTOREDC
    recs.push_back({0x02FC, {0, 0, 0, 0}});
    recs.push_back({0x012D, {2}});
    recs.push_back({0x0418, {100, 100, 80, 80}}); // ellipse (80,80)-(100,100)
    const TBitmap bmp = Render(MakeWmf(100, 100, 96, recs, 3), 100, 100, {0, 0, 100, 100});
    EXPECT_EQ(At(bmp, 5, 5), kRed);
    EXPECT_EQ(At(bmp, 15, 15), kWhite);
    EXPECT_EQ(At(bmp, 60, 60), kWhite);
    EXPECT_EQ(At(bmp, 90, 90), kBlack);
}

TEST(MetafilePlayback, RasterOperationsCombineWithWhatIsBeneath) {
    // R2_NOT inverts the white beneath the rectangle whatever the brush; then
    // a DSTINVERT pattern blit over the top half inverts both halves again.
    std::vector<WmfRecord> recs = RedRectangle();
    recs.back() = {0x041B, {100, 50, 0, 0}};                   // left half
    recs.insert(recs.end() - 1, {0x0104, {6}});                // SETROP2 R2_NOT
    recs.push_back({0x061D, {0x0009, 0x0055, 50, 100, 0, 0}}); // PATBLT DSTINVERT, 100 x 50 at (0,0)
    recs.push_back({0x0104, {11}});                            // R2_NOP: nothing is drawn
    recs.push_back({0x041B, {100, 100, 0, 0}});
    const TBitmap bmp = Render(MakeWmf(100, 100, 96, recs), 100, 100, {0, 0, 100, 100});
    EXPECT_EQ(At(bmp, 25, 75), kBlack);
    EXPECT_EQ(At(bmp, 75, 75), kWhite);
    EXPECT_EQ(At(bmp, 25, 25), kWhite);
    EXPECT_EQ(At(bmp, 75, 25), kBlack);
}

TEST(MetafilePlayback, TextIsDrawnInTheFontSizeAndColour) {
    // Font "Arial", 40 units high, blue text "HH" at (10, 10), top aligned.
    std::vector<int> font = {-40, 0, 0, 0, 700, 0, 0, 0};
    const char face[] = "Arial";
    for (int i = 0; i < 32; i += 2)
        font.push_back((i < 5 ? face[i] : 0) | ((i + 1 < 5 ? face[i + 1] : 0) << 8));
    std::vector<WmfRecord> recs = {
        {0x02FB, font},
        {0x012D, {0}},
        {0x0209, {0x0000, 0x00FF}}, // SETTEXTCOLOR blue
        {0x0102, {1}},              // SETBKMODE transparent
        {0x0521, {2, 'H' | ('H' << 8), 10, 10}},
    };
    const TBitmap bmp = Render(MakeWmf(100, 100, 96, recs), 100, 100, {0, 0, 100, 100});
    int blue = 0, minY = 100, maxY = -1;
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 100; ++x)
            if (At(bmp, x, y) == Px{255, 0, 0}) {
                ++blue;
                minY = std::min(minY, y);
                maxY = std::max(maxY, y);
            }
    EXPECT_GT(blue, 100);
    // A capital H of a 40-pixel font is about 29 pixels tall.
    EXPECT_NEAR(maxY - minY + 1, 29, 3);
    EXPECT_GE(minY, 10);
}

TEST(MetafilePlayback, DamagedRecordsNeitherCrashNorReadPastTheData) {
    // Object indexes out of range, a polygon claiming more points than it
    // holds, zero and absurd extents: ignored, and drawing goes on.
    std::vector<WmfRecord> recs = {
        {0x012D, {999}},                 // SELECTOBJECT of nothing
        {0x01F0, {40000}},               // DELETEOBJECT of nothing
        {0x020C, {0, 0}},                // SETWINDOWEXT 0 x 0: refused
        {0x0324, {30000, 0, 0, 100, 0}}, // POLYGON: 30000 points claimed, 2 present
        {0x0538, {1, 65535, 0, 0}},      // POLYPOLYGON likewise
        {0x0521, {60000, 0}},            // TEXTOUT longer than the record
        {0x0B41, {0x20, 0xCC, 1, 1, 0, 0, 100, 100, 0, 0, 0x28, 0}}, // DIBSTRETCHBLT, cut DIB
    };
    for (const WmfRecord& r : RedRectangle())
        recs.push_back(r);
    const TBitmap bmp = Render(MakeWmf(100, 100, 96, recs), 50, 50, {0, 0, 50, 50});
    EXPECT_EQ(At(bmp, 25, 25), kRed);

    // A window of 1 x 1 over a circle of radius 30000: enormous on the device.
    std::vector<WmfRecord> huge = {
        {0x020C, {1, 1}},
        {0x0418, {30000, 30000, -30000, -30000}},
        {0x0817, {0, 30000, 30000, 0, 30000, 30000, -30000, -30000}},
    };
    const auto start = std::chrono::steady_clock::now();
    Render(MakeWmf(100, 100, 96, huge), 50, 50, {0, 0, 50, 50});
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

TEST(MetafilePlayback, RecordSizesZeroOrPastTheEndStopPlayback) {
    Bytes data = MakeWmf(100, 100, 96, RedRectangle());
    const std::size_t first = 22 + 18;
    {
        Bytes zero = data;
        for (std::size_t i = first; i < first + 4; ++i)
            zero.at(i) = 0;
        const TBitmap bmp = Render(zero, 20, 20, {0, 0, 20, 20});
        EXPECT_EQ(At(bmp, 10, 10), kWhite);
    }
    {
        Bytes past = data; // the last record (the rectangle) claims 64 K words
        const std::size_t rect = data.size() - 6 - 14;
        past[rect + 2] = 1;
        const TBitmap bmp = Render(past, 20, 20, {0, 0, 20, 20});
        EXPECT_EQ(At(bmp, 10, 10), kWhite);
    }
    {
        Bytes cut(data.begin(), data.end() - 10); // ends inside the rectangle
        const TBitmap bmp = Render(cut, 20, 20, {0, 0, 20, 20});
        EXPECT_EQ(At(bmp, 10, 10), kWhite);
    }
}

// A 2 x 2 bottom-up 24-bit DIB: red, white over blue, green.
Bytes TwoByTwoDib() {
    Bytes b;
    for (std::int64_t v : {40, 2, 2}) // header size, width, height
        Put32(b, v);
    Put16(b, 1);  // planes
    Put16(b, 24); // bits per pixel
    for (int i = 0; i < 6; ++i)
        Put32(b, i == 1 ? 16 : 0); // compression, image size, resolution, colours
    const std::uint8_t rows[] = {0xFF, 0, 0,    0,    0xFF, 0,    0, 0,  // bottom: blue, green, padding
                                 0,    0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0}; // top: red, white, padding
    b.insert(b.end(), std::begin(rows), std::end(rows));
    return b;
}

void ExpectQuadrants(const TBitmap& bmp) {
    EXPECT_EQ(At(bmp, 25, 25), kRed);
    EXPECT_EQ(At(bmp, 75, 25), kWhite);
    EXPECT_EQ(At(bmp, 25, 75), (Px{255, 0, 0}));
    EXPECT_EQ(At(bmp, 75, 75), (Px{0, 255, 0}));
}

TEST(MetafilePlayback, BitmapRecordsAreDecodedAndStretched) {
    const Bytes dib = TwoByTwoDib();
    {
        // STRETCHDIB: rop SRCCOPY, colour usage, source 2 x 2 at (0,0), destination 100 x 100 at (0,0).
        std::vector<int> params = {0x0020, 0x00CC, 0, 2, 2, 0, 0, 100, 100, 0, 0};
        for (std::size_t i = 0; i < dib.size(); i += 2)
            params.push_back(dib[i] | (dib[i + 1] << 8));
        SCOPED_TRACE("STRETCHDIB");
        ExpectQuadrants(Render(MakeWmf(100, 100, 96, {{0x0F43, params}}), 100, 100, {0, 0, 100, 100}));
    }
    {
        // STRETCHDIBITS: bounds, destination (0,0), source (0,0) 2 x 2, the
        // DIB's header and bits by offset, usage, rop, destination 1000 x 1000.
        std::vector<std::int64_t> params = {0, 0,  999, 999, 0,  0, 0,          0,    2,
                                            2, 80, 40,  120, 16, 0, 0x00CC0020, 1000, 1000};
        for (std::size_t i = 0; i < dib.size(); i += 4)
            params.push_back(dib[i] | (dib[i + 1] << 8) | (dib[i + 2] << 16) |
                             (std::int64_t{dib[i + 3]} << 24));
        SCOPED_TRACE("STRETCHDIBITS");
        ExpectQuadrants(Render(MakeEmf(10000, 10000, {{81, params}}), 100, 100, {0, 0, 100, 100}));
    }
    {
        // STRETCHBLT with a device-dependent Bitmap16: 2 x 2 at 32 bits, rows top-down.
        std::vector<int> params = {0x0020, 0x00CC, 2, 2, 0, 0, 100, 100, 0, 0, 0, 2, 2, 8, 0x2001};
        const std::uint8_t rows[] = {0, 0, 0xFF, 0, 0xFF, 0xFF, 0xFF, 0, 0xFF, 0, 0, 0, 0, 0xFF, 0, 0};
        for (std::size_t i = 0; i < sizeof rows; i += 2)
            params.push_back(rows[i] | (rows[i + 1] << 8));
        SCOPED_TRACE("STRETCHBLT");
        ExpectQuadrants(Render(MakeWmf(100, 100, 96, {{0x0B23, params}}), 100, 100, {0, 0, 100, 100}));
    }
}

TEST(MetafilePlayback, SourceBeyondTheBitmapIsNotPainted) {
    // STRETCHDIB of a 4 x 4 source from the 2 x 2 DIB over 100 x 100: the
    // bitmap's pixels fill the bottom-left quarter (the rows count from the
    // bottom), and nothing is painted where the source has no pixels.
    const Bytes dib = TwoByTwoDib();
    std::vector<int> params = {0x0020, 0x00CC, 0, 4, 4, 0, 0, 100, 100, 0, 0};
    for (std::size_t i = 0; i < dib.size(); i += 2)
        params.push_back(dib[i] | (dib[i + 1] << 8));
    const TBitmap bmp = Render(MakeWmf(100, 100, 96, {{0x0F43, params}}), 100, 100, {0, 0, 100, 100});
    EXPECT_EQ(At(bmp, 12, 62), kRed);
    EXPECT_EQ(At(bmp, 12, 87), (Px{255, 0, 0}));
    EXPECT_EQ(At(bmp, 37, 87), (Px{0, 255, 0}));
    EXPECT_EQ(At(bmp, 12, 25), kWhite);
    EXPECT_EQ(At(bmp, 75, 87), kWhite);
    EXPECT_EQ(At(bmp, 75, 25), kWhite);
}

// Pixels of one colour inside a box of the bitmap.
int Count(const TBitmap& bmp, Px colour, int x0 = 0, int y0 = 0, int x1 = -1, int y1 = -1) {
    if (x1 < 0) x1 = bmp.Width();
    if (y1 < 0) y1 = bmp.Height();
    int n = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            n += At(bmp, x, y) == colour;
    return n;
}
constexpr Px kBlue{255, 0, 0}, kGreen{0, 255, 0};
// EMF set-up shared below: slot 1 a solid red brush, selected with the null pen.
const std::vector<EmfRecord> kRedBrushNoPen = {{39, {1, 0, 0x0000FF, 0}}, {37, {1}}, {37, {0x80000008}}};

std::vector<EmfRecord> With(std::vector<EmfRecord> a, const std::vector<EmfRecord>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST(MetafilePlayback, EnhancedMappingModes) {
    // The reference device has 10 pixels per millimetre; the 100 mm frame
    // fills 100 target pixels, so one target pixel is one millimetre.
    {
        SCOPED_TRACE("MM_LOMETRIC: tenths of a millimetre, y upwards");
        const TBitmap bmp =
            Render(MakeEmf(10000, 10000, With(kRedBrushNoPen, {{17, {2}}, {43, {100, -100, 300, -300}}})),
                   100, 100, {0, 0, 100, 100});
        EXPECT_EQ(At(bmp, 20, 20), kRed);
        EXPECT_EQ(At(bmp, 20, 50), kWhite);
        EXPECT_EQ(At(bmp, 50, 20), kWhite);
    }
    {
        SCOPED_TRACE("MM_ISOTROPIC: the smaller scale wins");
        const TBitmap bmp =
            Render(MakeEmf(10000, 10000,
                           With(kRedBrushNoPen,
                                {{17, {7}}, {9, {100, 100}}, {11, {1000, 500}}, {43, {0, 0, 100, 100}}})),
                   100, 100, {0, 0, 100, 100});
        EXPECT_EQ(At(bmp, 40, 40), kRed);
        EXPECT_EQ(At(bmp, 60, 40), kWhite);
        EXPECT_EQ(At(bmp, 40, 60), kWhite);
    }
}

TEST(MetafilePlayback, EnhancedTextAlignmentAndOpaqueRectangle) {
    // EXTCREATEFONTINDIRECTW slot 2: 200 units (20 target pixels), bold Arial.
    std::vector<std::int64_t> font = {2, -200, 0, 0, 0, 700, 0, 0};
    const char16_t face[] = u"Arial";
    for (int i = 0; i < 32; i += 2)
        font.push_back((i < 5 ? face[i] : 0) | ((i + 1 < 5 ? face[i + 1] : 0) << 16));
    // EXTTEXTOUTW "HH": bounds, graphics mode, scales, reference, 2 chars at
    // offset 76, options, rectangle, no advances; then the UTF-16 text.
    auto text = [](int x, int y, std::int64_t options, std::vector<std::int64_t> rect) {
        std::vector<std::int64_t> p = {0, 0, 0, 0, 1, 0, 0, x, y, 2, 76, options};
        p.insert(p.end(), rect.begin(), rect.end());
        p.push_back(0);
        p.push_back('H' | ('H' << 16));
        return EmfRecord{84, p};
    };
    const std::vector<EmfRecord> recs = {
        {82, font},
        {37, {2}},
        {24, {0xFF0000}}, // text colour blue
        {25, {0x00FF00}}, // background green
        text(100, 50, 2 /*ETO_OPAQUE*/, {0, 0, 1000, 300}),
        {18, {1}},     // transparent background
        {22, {2 | 8}}, // TA_RIGHT | TA_BOTTOM
        text(1000, 1000, 0, {0, 0, 0, 0}),
    };
    const TBitmap bmp = Render(MakeEmf(10000, 10000, recs), 100, 100, {0, 0, 100, 100});
    EXPECT_EQ(At(bmp, 2, 2), kGreen);
    EXPECT_EQ(At(bmp, 2, 40), kWhite);
    EXPECT_GT(Count(bmp, kBlue, 10, 5, 40, 30), 40);
    // Right and bottom aligned at the corner: ink just above and left of it.
    EXPECT_GT(Count(bmp, kBlue, 60, 75, 100, 100), 40);
    EXPECT_EQ(Count(bmp, kBlue, 0, 31, 100, 70), 0);
}

TEST(MetafilePlayback, HatchedBrushOverTransparentAndOpaqueBackground) {
    // HS_HORIZONTAL in red: one line in every 8 rows; between them the
    // background colour (black) only in opaque mode.
    auto hatch = [](int mode) {
        std::vector<WmfRecord> recs = {
            {0x02FC, {2 /*BS_HATCHED*/, 0x00FF, 0, 0 /*HS_HORIZONTAL*/}},
            {0x02FA, {5, 0, 0, 0, 0}},
            {0x012D, {0}},
            {0x012D, {1}},
            {0x0201, {0, 0}}, // SETBKCOLOR black
            {0x0102, {mode}}, // SETBKMODE
            {0x041B, {64, 64, 0, 0}},
        };
        return Render(MakeWmf(64, 64, 96, recs), 64, 64, {0, 0, 64, 64});
    };
    for (int mode : {1, 2}) {
        SCOPED_TRACE(mode == 1 ? "transparent" : "opaque");
        const TBitmap bmp = hatch(mode);
        const int redRows = Count(bmp, kRed, 10, 0, 11, 64);
        EXPECT_EQ(redRows, 8);
        EXPECT_EQ(Count(bmp, mode == 1 ? kWhite : kBlack, 10, 0, 11, 64), 56);
    }
}

TEST(MetafilePlayback, ClipRegionsAndClipPaths) {
    // EXTSELECTCLIPRGN RGN_COPY with one device rectangle (0,0)-(500,500),
    // a red fill over everything, the clip reset (no region), then a clip
    // path (an ellipse) and a black fill over everything.
    const std::vector<EmfRecord> recs =
        With(kRedBrushNoPen, {
                                 {75, {48, 5, 32, 1, 1, 16, 0, 0, 500, 500, 0, 0, 500, 500}},
                                 {43, {0, 0, 1000, 1000}},
                                 {75, {0, 5}},
                                 {59, {}},
                                 {42, {500, 500, 1000, 1000}},
                                 {60, {}},
                                 {67, {5}},
                                 {37, {0x80000004}},
                                 {43, {0, 0, 1000, 1000}},
                             });
    const TBitmap bmp = Render(MakeEmf(10000, 10000, recs), 100, 100, {0, 0, 100, 100});
    EXPECT_EQ(At(bmp, 25, 25), kRed);
    EXPECT_EQ(At(bmp, 75, 25), kWhite);
    EXPECT_EQ(At(bmp, 75, 75), kBlack);
    EXPECT_EQ(At(bmp, 52, 52), kWhite); // corner of the ellipse's box, outside it
}

TEST(MetafilePlayback, OnePixelLinesLightTheirOwnPixels) {
    // A black one-pixel outline around a red box (10,10)-(30,30) drawn 1:1:
    // the outline lies on columns and rows 10 and 29, as the right and
    // bottom edges are outside the box. A line from (50,40) to (50,60)
    // lights column 50 and stops before its last point.
    std::vector<WmfRecord> recs = {
        {0x02FC, {0, 0x00FF, 0, 0}}, // red brush
        {0x02FA, {0, 0, 0, 0, 0}},   // black cosmetic pen
        {0x012D, {0}},
        {0x012D, {1}},
        {0x041B, {30, 30, 10, 10}}, // rectangle
        {0x0214, {40, 50}},         // MOVETO (50,40)
        {0x0213, {60, 50}},         // LINETO (50,60)
    };
    const TBitmap bmp = Render(MakeWmf(100, 100, 96, recs), 100, 100, {0, 0, 100, 100});
    EXPECT_EQ(At(bmp, 10, 20), kBlack);
    EXPECT_EQ(At(bmp, 29, 20), kBlack);
    EXPECT_EQ(At(bmp, 20, 10), kBlack);
    EXPECT_EQ(At(bmp, 20, 29), kBlack);
    EXPECT_EQ(At(bmp, 9, 20), kWhite);
    EXPECT_EQ(At(bmp, 30, 20), kWhite);
    EXPECT_EQ(At(bmp, 20, 30), kWhite);
    EXPECT_EQ(At(bmp, 11, 11), kRed);
    EXPECT_EQ(At(bmp, 28, 28), kRed);
    EXPECT_EQ(At(bmp, 50, 40), kBlack);
    EXPECT_EQ(At(bmp, 50, 59), kBlack);
    EXPECT_EQ(At(bmp, 50, 60), kWhite);
    EXPECT_EQ(At(bmp, 49, 50), kWhite);
    EXPECT_EQ(At(bmp, 51, 50), kWhite);

    // On a slant, one pixel in each column: (60,70) to (100,90) in a 100 x 100
    // picture drawn 1:1 lights columns 60 to 99, 40 pixels.
    const TBitmap slant =
        Render(MakeWmf(100, 100, 96,
                       {{0x02FA, {0, 0, 0, 0, 0}}, {0x012D, {0}}, {0x0214, {70, 60}}, {0x0213, {90, 100}}}),
               100, 100, {0, 0, 100, 100});
    EXPECT_EQ(Count(slant, kBlack), 40);
    for (int x = 60; x < 100; ++x)
        EXPECT_EQ(Count(slant, kBlack, x, 0, x + 1, 100), 1) << x;
}

TEST(MetafilePlayback, HatchStylesPastTheSixPatternsAreSolidFills) {
    // HS_SOLIDCLR takes the brush colour, HS_SOLIDTEXTCLR the text colour,
    // HS_SOLIDBKCLR the background colour; transparent mode does not matter.
    const std::pair<int, Px> cases[] = {{6, kRed},  {7, kRed},    {8, kBlue},
                                        {9, kBlue}, {10, kGreen}, {11, kGreen}};
    for (const auto& [style, want] : cases) {
        SCOPED_TRACE(style);
        std::vector<WmfRecord> recs = {
            {0x02FC, {2 /*BS_HATCHED*/, 0x00FF, 0, style}},
            {0x02FA, {5, 0, 0, 0, 0}},
            {0x012D, {0}},
            {0x012D, {1}},
            {0x0209, {0x0000, 0x00FF}}, // text colour blue
            {0x0201, {0xFF00, 0x0000}}, // background green
            {0x0102, {1}},              // transparent
            {0x041B, {64, 64, 0, 0}},
        };
        const TBitmap bmp = Render(MakeWmf(64, 64, 96, recs), 64, 64, {0, 0, 64, 64});
        EXPECT_EQ(Count(bmp, want, 0, 0, 63, 63), 63 * 63);
    }
}

TEST(MetafilePlayback, ObjectRecordsThatCannotBeReadStillTakeTheirSlot) {
    // A region whose scans run past its record, and a pen cut short, each
    // still take a slot: the red brush that follows lands in slot 2, and
    // selecting slot 2 paints red.
    std::vector<WmfRecord> recs = {
        {0x06FF, {0, 6, 0, 0, 30, 9999, 1, 0, 0, 100, 100, 40, 0, 100}}, // CREATEREGION
        {0x02FA, {0}},                                                   // CREATEPENINDIRECT, cut
        {0x02FC, {0, 0x00FF, 0, 0}},
        {0x02FA, {5, 0, 0, 0, 0}},
        {0x012D, {2}},
        {0x012D, {3}},
        {0x041B, {100, 100, 0, 0}},
    };
    const TBitmap bmp = Render(MakeWmf(100, 100, 96, recs, 4), 20, 20, {0, 0, 20, 20});
    EXPECT_EQ(At(bmp, 10, 10), kRed);
}

TEST(MetafilePlayback, PieRunsCounterClockwiseFromStartToEnd) {
    // Start on the right, end at the top: the top-right quarter only.
    std::vector<WmfRecord> recs = RedRectangle();
    recs.back() = {0x081A, {0, 50, 50, 100, 100, 100, 0, 0}};
    const TBitmap bmp = Render(MakeWmf(100, 100, 96, recs), 100, 100, {0, 0, 100, 100});
    EXPECT_EQ(At(bmp, 70, 30), kRed);
    EXPECT_EQ(At(bmp, 30, 30), kWhite);
    EXPECT_EQ(At(bmp, 70, 70), kWhite);
    EXPECT_EQ(At(bmp, 30, 70), kWhite);
}

TEST(MetafilePlayback, EnhancedFrameWorldTransformAndPaths) {
    // Frame 100 x 100 mm = 1000 x 1000 device pixels drawn into 100 x 100.
    const std::int64_t red = 0x0000FF;
    auto f = [](float v) {
        std::uint32_t u;
        std::memcpy(&u, &v, 4);
        return static_cast<std::int64_t>(u);
    };
    std::vector<EmfRecord> recs = {
        {39, {1, 0, red, 0}}, // CREATEBRUSHINDIRECT slot 1, solid red
        {37, {1}},            // SELECTOBJECT 1
        {37, {0x80000008}},   // NULL_PEN
        // World transform: scale by 2, move by (500, 0).
        {35, {f(2), f(0), f(0), f(2), f(500), f(0)}},
        {59, {}},                                      // BEGINPATH
        {43, {0, 0, 100, 100}},                        // RECTANGLE -> (500,0)-(700,200)
        {60, {}},                                      // ENDPATH
        {62, {0, 0, 0, 0}},                            // FILLPATH
        {36, {f(1), f(0), f(0), f(1), f(0), f(0), 1}}, // MODIFYWORLDTRANSFORM identity
        {37, {0x80000004}},                            // BLACK_BRUSH
        {42, {0, 800, 200, 1000}},                     // ELLIPSE (0,800)-(200,1000)
        {37, {77}},                                    // SELECTOBJECT out of range
    };
    const TBitmap bmp = Render(MakeEmf(10000, 10000, recs), 100, 100, {0, 0, 100, 100});
    EXPECT_EQ(At(bmp, 60, 10), kRed);
    EXPECT_EQ(At(bmp, 40, 10), kWhite);
    EXPECT_EQ(At(bmp, 10, 90), kBlack);
    EXPECT_EQ(At(bmp, 50, 50), kWhite);
}

// ---- whole files against a third-party rendering

struct Reference {
    const char* corpus;
    const char* reference;
};

// The references are rendered four times as large and scaled down by
// averaging each 4 x 4 block; so is ours. At 256 pixels the finest parts of
// these pictures are a pixel or less across, and whether an aliased renderer
// lights such a pixel is a coin toss where the block's average is not.
constexpr int kScale = 4;

struct Rgb {
    int r, g, b;
};

std::vector<Rgb> BoxDown(const TBitmap& big, int w, int h) {
    std::vector<Rgb> out(static_cast<std::size_t>(w) * h);
    constexpr int n = kScale * kScale;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            int r = 0, g = 0, b = 0;
            for (int dy = 0; dy < kScale; ++dy)
                for (int dx = 0; dx < kScale; ++dx) {
                    const Px p = At(big, x * kScale + dx, y * kScale + dy);
                    r += p.r;
                    g += p.g;
                    b += p.b;
                }
            out[static_cast<std::size_t>(y) * w + x] = {(r + n / 2) / n, (g + n / 2) / n, (b + n / 2) / n};
        }
    return out;
}

TEST(MetafileReference, CorpusFilesMatchThirdPartyRenderings) {
    const Reference refs[] = {
        {"wmf/lo-odk-beef.wmf", "lo-odk-beef-wmf.png"},
        {"wmf/pillow-drawing.wmf", "pillow-drawing-wmf.png"},
        // A test sheet of shapes a few pixels across, rendered by Wine's GDI.
        // Wine draws its sub-pixel text in a much larger fallback font and
        // skips the pattern-only BITBLT that inverts a block; we do neither.
        {"wmf/libuemf-test_libuemf_ref.wmf", "libuemf-test_libuemf_ref-wmf.png"},
        {"emf/pillow-drawing.emf", "pillow-drawing-emf.png"},
        {"emf/libuemf-test_mm_twips_ref.emf", "libuemf-test_mm_twips_ref-emf.png"},
        // One cosmetic line, one device pixel wide: rendered by Wine's GDI.
        {"emf/lo-emfio-TestDrawLine.emf", "lo-emfio-TestDrawLine-emf.png"},
    };
    for (const Reference& r : refs) {
        SCOPED_TRACE(r.corpus);
        const testsupport::RgbaImage ref = testsupport::LoadReferenceImage(
            std::filesystem::path(ZENKS_TEST_DATA_DIR) / "metafile-ref" / r.reference);
        ASSERT_GT(ref.width, 0);
        const int bigW = ref.width * kScale, bigH = ref.height * kScale;
        TBitmap big;
        ASSERT_NO_THROW(big = Render(testsupport::ReadBytes(testsupport::CorpusPath(r.corpus)), bigW, bigH,
                                     {0, 0, bigW, bigH}));
        const std::vector<Rgb> ours = BoxDown(big, ref.width, ref.height);
        // The reference's commonest colour: a page of only that colour is
        // what the rendering has to beat besides the bar.
        std::map<std::uint32_t, int> colours;
        for (std::size_t i = 0; i + 3 < ref.rgba.size(); i += 4)
            ++colours[ref.rgba[i] | ref.rgba[i + 1] << 8 | ref.rgba[i + 2] << 16];
        const std::uint32_t bg =
            std::max_element(colours.begin(), colours.end(), [](const auto& a, const auto& b) {
                return a.second < b.second;
            })->first;
        const Rgb plain{int(bg & 0xFF), int(bg >> 8 & 0xFF), int(bg >> 16 & 0xFF)};
        auto distance = [](Rgb p, const std::uint8_t* q) {
            return std::max({std::abs(p.r - q[0]), std::abs(p.g - q[1]), std::abs(p.b - q[2])});
        };
        // Besides all pixels, the drawing's own: those where the plain page
        // is wrong. On a picture that is mostly background a plain page comes
        // close to the bar; it gets none of these.
        int close = 0, plainClose = 0, drawn = 0, drawnClose = 0;
        for (int y = 0; y < ref.height; ++y)
            for (int x = 0; x < ref.width; ++x) {
                const std::uint8_t* q = &ref.rgba[(static_cast<std::size_t>(y) * ref.width + x) * 4];
                const bool match = distance(ours[static_cast<std::size_t>(y) * ref.width + x], q) <= 48;
                close += match;
                if (distance(plain, q) <= 48) {
                    ++plainClose;
                } else {
                    ++drawn;
                    drawnClose += match;
                }
            }
        const double share = 100.0 * close / (ref.width * ref.height);
        const double plainShare = 100.0 * plainClose / (ref.width * ref.height);
        const double drawnShare = drawn ? 100.0 * drawnClose / drawn : 100.0;
        std::printf(
            "%-36s %5.1f %% of pixels match (a plain page: %5.1f %%); of the drawing's %5d: %5.1f %%\n",
            r.corpus, share, plainShare, drawn, drawnShare);
        EXPECT_GE(share, 90.0);
        EXPECT_GT(share, plainShare);
        EXPECT_GE(drawnShare, 50.0); // most of the drawing, not just the page
        if (const char* dump = std::getenv("ZENKS_METAFILE_DUMP")) {
            // A PPM of the rendering, for looking at a failure.
            std::string path = std::string(dump) + "/" + r.reference + ".ppm";
            if (FILE* f = std::fopen(path.c_str(), "wb")) {
                std::fprintf(f, "P6 %d %d 255\n", ref.width, ref.height);
                for (const Rgb& p : ours) {
                    const unsigned char rgb[3] = {static_cast<unsigned char>(p.r),
                                                  static_cast<unsigned char>(p.g),
                                                  static_cast<unsigned char>(p.b)};
                    std::fwrite(rgb, 1, 3, f);
                }
                std::fclose(f);
            }
        }
    }
}

} // namespace
