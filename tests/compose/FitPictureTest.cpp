#include "compose/BmpWriter.h"
#include "compose/FitPicture.h"
#include "compose/Graphics.h"
#include "config/Messages.h"
#include "config/uOptionen.h"
#include "platform/Platform.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <array>
#include <climits>
#include <cstring>
#include <cstdio>
#include <memory>
#include <string>

using namespace testsupport;

namespace {

// Every pixel names its own source coordinates (plus one, so that no pixel of
// the picture is black): B = x low, G = y low, R = high nibbles of both.
std::array<std::uint8_t, 3> Code(int x, int y) {
    ++x;
    ++y;
    return {static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(y),
            static_cast<std::uint8_t>(((x >> 8) & 15) | (((y >> 8) & 15) << 4))};
}

TBitmap Pattern(int w, int h) {
    TBitmap b(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            auto c = Code(x, y);
            std::memcpy(b.ScanLine(y) + x * 3, c.data(), 3);
        }
    return b;
}

std::array<std::uint8_t, 3> Pixel(const TBitmap& b, int x, int y) {
    const std::uint8_t* p = b.ScanLine(y) + x * 3;
    return {p[0], p[1], p[2]};
}

constexpr std::array<std::uint8_t, 3> kBlack{0, 0, 0};

// Wraps a bitmap and records how it was drawn; optionally with a mask that
// makes every pixel with (x + y) odd transparent.
class RecordingGraphic : public TGraphic {
  public:
    RecordingGraphic(TBitmap bitmap, bool holes = false) : bmp_(std::move(bitmap)) {
        if (!holes) return;
        mask_.resize(static_cast<std::size_t>(bmp_.Width()) * bmp_.Height());
        for (int y = 0; y < bmp_.Height(); ++y)
            for (int x = 0; x < bmp_.Width(); ++x)
                mask_[y * bmp_.Width() + x] = (x + y) % 2 == 0;
    }
    int Width() const override { return bmp_.Width(); }
    int Height() const override { return bmp_.Height(); }
    void LoadFromData(std::vector<std::uint8_t>&&) override {}
    void Draw(TBitmap& target, int x, int y) override {
        ++draws;
        target.DrawPixels(Src(), x, y);
    }
    void StretchDraw(TBitmap& target, const TRect& rect) override {
        ++stretches;
        lastRect = rect;
        target.StretchPixels(Src(), rect);
    }
    int draws = 0, stretches = 0;
    TRect lastRect;

  private:
    PixelSource Src() const {
        PixelSource s = bmp_.Source();
        if (!mask_.empty()) {
            s.mask = mask_.data();
            s.maskStride = bmp_.Width();
        }
        return s;
    }
    TBitmap bmp_;
    std::vector<std::uint8_t> mask_;
};

class FitTest : public ::testing::Test {
  protected:
    // Without smoothing every stretched pixel names the one source pixel it
    // shows, which the placement tests below read back.
    FitTest() {
        platform::SetScreenSizeForTesting(platform::ScreenDims{1024, 768});
        o.Glaetten = false;
    }
    ~FitTest() override { platform::SetScreenSizeForTesting(std::nullopt); }

    // Composes a w x h coded picture; returns the output bitmap.
    TBitmap& Compose(int w, int h, bool metafile = false) {
        src = std::make_unique<RecordingGraphic>(Pattern(w, h));
        ComposeFit(o, out, *src, metafile);
        return out;
    }
    // The source pixel a stretched target pixel shows (centre mapping).
    static int SrcOf(int t, int origin, int drawn, int size) {
        return static_cast<int>((static_cast<std::int64_t>(t - origin) * 2 + 1) * size / (2 * drawn));
    }
    void ExpectSize(int w, int h) {
        EXPECT_EQ(out.Width(), w);
        EXPECT_EQ(out.Height(), h);
    }
    void ExpectRect(int x, int y, int dw, int dh) {
        ASSERT_EQ(src->stretches, 1);
        EXPECT_EQ(src->draws, 0);
        EXPECT_EQ(src->lastRect.Left, x);
        EXPECT_EQ(src->lastRect.Top, y);
        EXPECT_EQ(src->lastRect.Width(), dw);
        EXPECT_EQ(src->lastRect.Height(), dh);
    }
    void ExpectPlainCopy(int w, int h) {
        ExpectSize(w, h);
        EXPECT_EQ(src->draws, 1);
        EXPECT_EQ(src->stretches, 0);
        EXPECT_EQ(Pixel(out, 0, 0), Code(0, 0));
        EXPECT_EQ(Pixel(out, w - 1, h - 1), Code(w - 1, h - 1));
    }
    bool RowBlack(int y) {
        for (int x = 0; x < out.Width(); ++x)
            if (Pixel(out, x, y) != kBlack) return false;
        return true;
    }
    bool ColumnBlack(int x) {
        for (int y = 0; y < out.Height(); ++y)
            if (Pixel(out, x, y) != kBlack) return false;
        return true;
    }

    TOptionen o{TOptionen::ReadOnly{}, ""};
    TBitmap out;
    std::unique_ptr<RecordingGraphic> src;
};

TEST_F(FitTest, DefaultsCopyPicturesAndKeepTilesAtTheirSize) {
    Compose(800, 600);
    ExpectPlainCopy(800, 600);

    Compose(100, 80);
    ExpectPlainCopy(100, 80);

    o.KachelMaxBreite = 250;
    o.KachelMaxHoehe = 100;
    EXPECT_FALSE(o.IsTileSize(200, 150));
    EXPECT_TRUE(o.IsTileSize(150, 90));
    EXPECT_FALSE(o.IsTileSize(250, 90)); // both limits strict
    EXPECT_FALSE(o.IsTileSize(150, 100));
}

TEST_F(FitTest, RepeatedTileFillsTheScreenWithElevenByTenCopies) {
    o.KachelTyp = 1;
    Compose(100, 80);
    ExpectSize(1024, 768);
    for (int y = 0; y < 768; ++y)
        for (int x = 0; x < 1024; ++x)
            ASSERT_EQ(Pixel(out, x, y), Code(x % 100, y % 80)) << x << "," << y;
    EXPECT_EQ(src->stretches, 0);

    // The tile-bitmap width alone does not count; both given do.
    o.KachelBildbreite = 300;
    Compose(100, 80);
    ExpectSize(1024, 768);
    o.KachelBildhoehe = 200;
    Compose(100, 80);
    ExpectSize(300, 200);
    EXPECT_EQ(Pixel(out, 299, 199), Code(99, 39));
}

TEST_F(FitTest, TransparentTilePixelsKeepWhatTheTargetHeld) {
    o.KachelTyp = 1;
    o.KachelBildbreite = 70;
    o.KachelBildhoehe = 50;
    out = Pattern(70, 50); // the previous picture in the same holder
    TBitmap before;
    before.Assign(out);
    RecordingGraphic holes(Pattern(30, 20), true);
    ComposeFit(o, out, holes, false);
    for (int y = 0; y < 50; ++y)
        for (int x = 0; x < 70; ++x) {
            const int tx = x % 30, ty = y % 20;
            ASSERT_EQ(Pixel(out, x, y), (tx + ty) % 2 == 0 ? Code(tx, ty) : Pixel(before, x, y))
                << x << "," << y;
        }
}

TEST_F(FitTest, TinyTileOnAHugeBitmapStaysFast) {
    o.KachelTyp = 1;
    o.KachelBildbreite = 6000;
    o.KachelBildhoehe = 4000;
    const auto start = std::chrono::steady_clock::now();
    Compose(1, 1);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ExpectSize(6000, 4000);
    EXPECT_EQ(Pixel(out, 5999, 3999), Code(0, 0));
    EXPECT_LT(seconds, 5.0);
}

TEST_F(FitTest, HostileTileSettings) {
    o.KachelTyp = 1;
    o.KachelBildbreite = INT_MAX;
    o.KachelBildhoehe = 1;
    src = std::make_unique<RecordingGraphic>(Pattern(10, 10));
    try {
        ComposeFit(o, out, *src, false);
        ADD_FAILURE() << "no error";
    } catch (const ZenksError& e) {
        EXPECT_STREQ(e.what(), "Zu wenig Arbeitsspeicher");
    }
    // Negative tile-bitmap sizes: an empty bitmap, no copies, no failure.
    o.KachelBildbreite = -500;
    o.KachelBildhoehe = -1;
    Compose(10, 10);
    ExpectSize(0, 0);
    o.KachelBildbreite = INT_MIN;
    o.KachelBildhoehe = INT_MIN;
    Compose(10, 10);
    ExpectSize(0, 0);
}

TEST_F(FitTest, ZeroSizedTileFailsAfterTheResize) {
    o.KachelTyp = 1;
    src = std::make_unique<RecordingGraphic>(TBitmap(0, 0));
    try {
        ComposeFit(o, out, *src, false);
        ADD_FAILURE() << "no error";
    } catch (const ZenksError& e) {
        EXPECT_STREQ(e.what(), "Division durch Null");
    }
    ExpectSize(1024, 768); // partly composed
}

TEST_F(FitTest, FourThirdsBandsAndCuts) {
    o.Autowandlung_4zu3 = true;

    Compose(1000, 600); // band 75 above the limit 30: kept
    ExpectSize(1000, 750);
    ExpectRect(0, 75, 1000, 600);
    EXPECT_TRUE(RowBlack(74));
    EXPECT_EQ(Pixel(out, 0, 75), Code(0, 0));
    EXPECT_EQ(Pixel(out, 999, 674), Code(999, 599));
    EXPECT_TRUE(RowBlack(675));

    Compose(820, 600); // inside the accepted band
    ExpectPlainCopy(820, 600);

    Compose(860, 600); // band 22 within 30: cut, a = 29
    ExpectSize(802, 601);
    ExpectRect(-29, 0, 860, 600);
    EXPECT_EQ(Pixel(out, 0, 0), Code(29, 0));
    EXPECT_EQ(Pixel(out, 801, 599), Code(830, 599));
    EXPECT_TRUE(RowBlack(600));

    Compose(600, 800); // bands of 233 left and right stay
    ExpectSize(1067, 800);
    ExpectRect(233, 0, 600, 800);
    EXPECT_TRUE(ColumnBlack(232));
    EXPECT_EQ(Pixel(out, 233, 0), Code(0, 0));
    EXPECT_EQ(Pixel(out, 832, 799), Code(599, 799));
    EXPECT_TRUE(ColumnBlack(833));

    Compose(760, 600); // X = 20 within 38: cut, b = 15
    ExpectSize(760, 570);
    ExpectRect(0, -15, 760, 600);
    EXPECT_EQ(Pixel(out, 0, 0), Code(0, 15));
    EXPECT_EQ(Pixel(out, 759, 569), Code(759, 584));
}

TEST_F(FitTest, BandsAreBlackWhateverTheHolderHeldBefore) {
    o.Autowandlung_4zu3 = true;
    // The previous picture at the new size, then one larger in both sides.
    for (int before : {1000, 1200}) {
        out = Pattern(before, before * 3 / 4);
        Compose(1000, 600);
        ExpectSize(1000, 750);
        ExpectRect(0, 75, 1000, 600);
        for (int y : {0, 74, 675, 749})
            EXPECT_TRUE(RowBlack(y)) << before << " row " << y;
        EXPECT_EQ(Pixel(out, 999, 674), Code(999, 599));
    }
}

TEST_F(FitTest, KillLimitIsInclusiveAndRoundsHalfToEven) {
    o.Autowandlung_4zu3 = true;
    // DH = 730: limit Round(36.5) = 36.
    Compose(1069, 730); // H = Round(801.75) = 802, Y = 36: cut, a = 48
    ExpectSize(1069 - 96, 730);
    ExpectRect(-48, 0, 1069, 730);
    Compose(1072, 730); // H = 804, Y = 37: kept
    ExpectSize(1072, 804);
    ExpectRect(0, 37, 1072, 730);

    for (double border : {0.0, -5.0}) {
        o.MaxKillBorder = border;
        Compose(860, 600);
        ExpectSize(860, 645);
        ExpectRect(0, 22, 860, 600);
    }
}

TEST_F(FitTest, FourThirdsTiesRoundToEven) {
    o.Autowandlung_4zu3 = true;
    o.MaxKillBorder = 0;
    Compose(1006, 700);
    ExpectSize(1006, 754); // 754.5
    Compose(1002, 700);
    ExpectSize(1002, 752); // 751.5
}

TEST_F(FitTest, InvertedAcceptedBand) {
    o.Autowandlung_4zu3 = true;
    o.GeometrieOKAb = 1.5;
    o.GeometrieOKBis = 1.2;
    Compose(1300, 1000); // 1.3: too wide; H = 975, Y = half(-25) = -12
    ExpectSize(1300, 975);
    ExpectRect(0, -12, 1300, 1000);
    Compose(1100, 1000); // 1.1: too narrow; W = 1333, X = 116 above 55
    ExpectSize(1333, 1000);
    ExpectRect(116, 0, 1100, 1000);
}

TEST_F(FitTest, FixedSize) {
    o.Autowandlung_Groesse = true;
    o.FesteBildBreite = 1024;
    o.FesteBildHoehe = 768;

    Compose(800, 600); // stretched over everything
    ExpectSize(1024, 768);
    ExpectRect(0, 0, 1024, 768);
    EXPECT_EQ(Pixel(out, 1023, 767), Code(799, 599));
    Compose(1024, 768);
    ExpectPlainCopy(1024, 768);

    o.Autowandlung_4zu3 = true;
    Compose(1600, 1000); // DH 640, bands of 64 stay
    ExpectSize(1024, 768);
    ExpectRect(0, 64, 1024, 640);
    EXPECT_TRUE(RowBlack(63));
    EXPECT_EQ(Pixel(out, 0, 64), Code(0, 0));
    EXPECT_EQ(Pixel(out, 1023, 703), Code(1599, 999));
    EXPECT_TRUE(RowBlack(704));

    Compose(1400, 1000); // DH 731, Y 18 within 37: cut, a = 24
    ExpectSize(1024, 768);
    ExpectRect(-24, 0, 1072, 767);
    EXPECT_EQ(Pixel(out, 0, 0), Code(SrcOf(0, -24, 1072, 1400), 0));
    EXPECT_EQ(Pixel(out, 1023, 766), Code(SrcOf(1023, -24, 1072, 1400), 999));
    EXPECT_TRUE(RowBlack(767));

    Compose(600, 800); // DW 576, X 224: never cut at a fixed size
    ExpectRect(224, 0, 576, 768);
    EXPECT_TRUE(ColumnBlack(223));
    EXPECT_TRUE(ColumnBlack(800));

    // FesteBildBreite 0 means the screen, whatever the height says.
    o.Autowandlung_4zu3 = false;
    o.FesteBildBreite = 0;
    o.FesteBildHoehe = 5;
    Compose(300, 300);
    ExpectSize(1024, 768);
}

TEST_F(FitTest, MetafileIsMeasuredAsTheScreenAndAlwaysStretched) {
    Compose(1024, 768, true);
    ExpectSize(1024, 768);
    ExpectRect(0, 0, 1024, 768);
    Compose(200, 100, true);
    ExpectRect(0, 0, 1024, 768);
    EXPECT_EQ(Pixel(out, 1023, 767), Code(199, 99));
}

TEST_F(FitTest, DivisionByZeroSizes) {
    o.KachelMaxBreite = 0; // nothing is a tile
    o.Autowandlung_4zu3 = true;
    for (bool fixed : {false, true}) {
        o.Autowandlung_Groesse = fixed;
        src = std::make_unique<RecordingGraphic>(TBitmap(300, 0));
        try {
            ComposeFit(o, out, *src, false);
            ADD_FAILURE() << "no error";
        } catch (const ZenksError& e) {
            EXPECT_STREQ(e.what(), "Gleitkommadivision durch Null");
        }
    }
    // Without 4:3 no ratio is taken: an empty picture is simply empty.
    o.Autowandlung_4zu3 = false;
    o.Autowandlung_Groesse = false;
    Compose(300, 0);
    ExpectSize(300, 0);
}

TEST_F(FitTest, HostileFixedSizesFailInsteadOfWrapping) {
    o.Autowandlung_Groesse = true;
    o.Autowandlung_4zu3 = true;
    o.FesteBildBreite = 1000;
    o.FesteBildHoehe = 1000;
    o.GeometrieOKBis = -1; // every ratio is too wide: DH = 1000 / 1 * 6000000
    src = std::make_unique<RecordingGraphic>(TBitmap(1, 6000000));
    try {
        ComposeFit(o, out, *src, false);
        ADD_FAILURE() << "no error";
    } catch (const ZenksError& e) {
        EXPECT_STREQ(e.what(), "Zu wenig Arbeitsspeicher");
    }
    o.FesteBildBreite = INT_MAX;
    o.FesteBildHoehe = INT_MAX;
    o.GeometrieOKBis = 1.38;
    src = std::make_unique<RecordingGraphic>(TBitmap(400, 300));
    EXPECT_THROW(ComposeFit(o, out, *src, false), ZenksError);
    // Negative fixed sizes give an empty bitmap.
    o.FesteBildBreite = -1024;
    o.FesteBildHoehe = -768;
    Compose(400, 300);
    ExpectSize(0, 0);
}

class FitFileTest : public SandboxTest {
  protected:
    FitFileTest() { platform::SetScreenSizeForTesting(platform::ScreenDims{1024, 768}); }
    ~FitFileTest() override { platform::SetScreenSizeForTesting(std::nullopt); }
    TOptionen o{TOptionen::ReadOnly{}, ""};
};

TEST_F(FitFileTest, FailuresBecomeErrorTextAndKeepTheTarget) {
    TPicture target;
    target.SetGraphic(std::make_unique<RecordingGraphic>(Pattern(5, 5)));
    // A holder without a bitmap gets a new empty one before the load.
    EXPECT_EQ(o.FitPicture(target, (tmp_ / "x.psd").string()),
              "Fehler: \"Unbekannte Bilddateierweiterung (.psd)\"");
    ASSERT_NE(dynamic_cast<TBitmap*>(target.Graphic()), nullptr);
    EXPECT_EQ(target.Width(), 0);

    TBitmap& held = target.Bitmap();
    held.Assign(Pattern(7, 3));
    WriteAll(tmp_ / "bad.bmp", "XX not a bitmap");
    EXPECT_EQ(o.FitPicture(target, (tmp_ / "bad.bmp").string()), "Fehler: \"Bitmap ist ungültig\"");
    EXPECT_EQ(&target.Bitmap(), &held);
    EXPECT_EQ(held.Width(), 7);
    EXPECT_EQ(Pixel(held, 6, 2), Code(6, 2));
    const std::string missing = (tmp_ / "missing.bmp").string();
    EXPECT_EQ(o.FitPicture(target, missing), "Fehler: \"Datei " + missing + " kann nicht geöffnet werden\"");
    EXPECT_EQ(o.FitPicture(target, ""), "Fehler: \"Unbekannte Bilddateierweiterung (.)\"");

    // An empty .bmp is a 0 x 0 tile: with KachelTyp 1 the division fails.
    o.KachelTyp = 1;
    WriteAll(tmp_ / "empty.bmp", "");
    EXPECT_EQ(o.FitPicture(target, (tmp_ / "empty.bmp").string()), "Fehler: \"Division durch Null\"");
    EXPECT_EQ(held.Width(), 1024);
}

TEST_F(FitFileTest, SavedBitmapIsAStandardBmp) {
    // Odd width: every row carries padding.
    const TBitmap picture = Pattern(301, 203);
    fs::create_directory(tmp_ / "out");
    const std::string path = (tmp_ / "out" / "wall.bmp").string();
    SaveBitmapToFile(picture, path);
    const std::vector<std::uint8_t> bytes = ReadBytes(path);
    const std::size_t stride = 904;
    ASSERT_EQ(bytes.size(), 54 + stride * 203);
    EXPECT_EQ(bytes[0], 'B');
    EXPECT_EQ(bytes[1], 'M');
    auto u32 = [&](std::size_t at) {
        return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 |
               static_cast<std::uint32_t>(bytes[at + 3]) << 24;
    };
    EXPECT_EQ(u32(2), bytes.size());
    EXPECT_EQ(u32(10), 54u);
    EXPECT_EQ(u32(14), 40u);
    EXPECT_EQ(u32(18), 301u);
    EXPECT_EQ(u32(22), 203u); // positive: bottom-up
    EXPECT_EQ(bytes[28], 24);
    EXPECT_EQ(u32(30), 0u); // BI_RGB
    // The first row in the file is the bottom one; padding is zero.
    EXPECT_EQ(bytes[54], Code(0, 202)[0]);
    EXPECT_EQ(bytes[55], Code(0, 202)[1]);
    EXPECT_EQ(bytes[54 + 903], 0);

    // A third-party reader sees the same pixels.
    const RgbaImage ref = LoadReferenceImage(path);
    ASSERT_EQ(ref.width, 301);
    ASSERT_EQ(ref.height, 203);
    for (int y = 0; y < 203; ++y)
        for (int x = 0; x < 301; ++x) {
            const std::uint8_t* p = &ref.rgba[(static_cast<std::size_t>(y) * 301 + x) * 4];
            const auto c = Code(x, y);
            ASSERT_TRUE(p[0] == c[2] && p[1] == c[1] && p[2] == c[0]) << x << "," << y;
        }

    // Nothing is left beside the file after a replacement or a failure.
    SaveBitmapToFile(Pattern(3, 3), path);
    EXPECT_EQ(std::distance(fs::directory_iterator(tmp_ / "out"), fs::directory_iterator()), 1);
    const std::string bad = (tmp_ / "no" / "such" / "dir.bmp").string();
    try {
        SaveBitmapToFile(picture, bad);
        ADD_FAILURE() << "no error";
    } catch (const ZenksError& e) {
        EXPECT_EQ(std::string(e.what()), "Datei " + bad + " kann nicht erstellt werden");
    }
}

TEST_F(FitFileTest, ComposeSaveAndLoadRoundTrip) {
    const std::string picture = (tmp_ / "source.bmp").string();
    SaveBitmapToFile(Pattern(860, 600), picture);
    o.Autowandlung_4zu3 = true;
    TPicture target;
    ASSERT_EQ(o.FitPicture(target, picture), "");
    ASSERT_EQ(target.Width(), 802);
    ASSERT_EQ(target.Height(), 601);
    const std::string saved = (tmp_ / "wall.bmp").string();
    SaveBitmapToFile(target.Bitmap(), saved);

    TPicture back;
    back.LoadFromFile(saved);
    auto* bmp = dynamic_cast<TBitmap*>(back.Graphic());
    ASSERT_NE(bmp, nullptr);
    ASSERT_EQ(bmp->Width(), 802);
    ASSERT_EQ(bmp->Height(), 601);
    for (int y = 0; y < 601; ++y)
        ASSERT_EQ(std::memcmp(bmp->ScanLine(y), target.Bitmap().ScanLine(y), 802 * 3), 0) << "row " << y;

#ifndef _WIN32 // ImageMagick is a Linux tool here
    FILE* identify = popen(("identify-im6.q16 -format %wx%h " + saved).c_str(), "r");
    ASSERT_NE(identify, nullptr);
    char buf[64] = {};
    const std::size_t n = std::fread(buf, 1, sizeof buf - 1, identify);
    EXPECT_EQ(pclose(identify), 0);
    EXPECT_EQ(std::string(buf, n), "802x601");
#endif
}

} // namespace
