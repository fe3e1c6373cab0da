// The smooth stretch: exact small cases of the area average, the bilinear
// enlargement, clipping, the placement of fitting's bands and cut edges, and
// the quality against an area average computed here independently.
#include "compose/FitPicture.h"
#include "compose/Graphics.h"
#include "compose/Resample.h"
#include "config/uOptionen.h"
#include "platform/Platform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

namespace {

// A bitmap whose pixel (x, y) has all three channels f(x, y).
template <class F> TBitmap Grey(int w, int h, F f) {
    TBitmap b(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            std::memset(b.ScanLine(y) + x * 3, f(x, y), 3);
    return b;
}

int At(const TBitmap& b, int x, int y, int c = 0) {
    return b.ScanLine(y)[x * 3 + c];
}

TBitmap Smooth(const TBitmap& src, int w, int h) {
    TBitmap out(w, h);
    StretchSmooth(out, src.Source(), {0, 0, w, h});
    return out;
}

// The area average of channel c over the source area of target pixel (tx, ty)
// of a w x h target, in double precision: a direct sum over the source pixels
// with their overlap, not the separable fixed-point steps.
double ReferenceArea(const TBitmap& src, int w, int h, int tx, int ty, int c) {
    const double sx0 = double(tx) * src.Width() / w, sx1 = double(tx + 1) * src.Width() / w;
    const double sy0 = double(ty) * src.Height() / h, sy1 = double(ty + 1) * src.Height() / h;
    double sum = 0, area = 0;
    for (int y = int(std::floor(sy0)); y < int(std::ceil(sy1)); ++y)
        for (int x = int(std::floor(sx0)); x < int(std::ceil(sx1)); ++x) {
            const double wx = std::min<double>(x + 1, sx1) - std::max<double>(x, sx0);
            const double wy = std::min<double>(y + 1, sy1) - std::max<double>(y, sy0);
            sum += wx * wy * At(src, x, y, c);
            area += wx * wy;
        }
    return sum / area;
}

double MeanAbsDiffToReference(const TBitmap& src, const TBitmap& out) {
    double total = 0;
    for (int y = 0; y < out.Height(); ++y)
        for (int x = 0; x < out.Width(); ++x)
            for (int c = 0; c < 3; ++c)
                total += std::abs(At(out, x, y, c) - ReferenceArea(src, out.Width(), out.Height(), x, y, c));
    return total / (double(out.Width()) * out.Height() * 3);
}

} // namespace

TEST(Resample, IntegerRatiosAverageWholeBlocks) {
    // 2:1: each target pixel is the mean of a 2 x 2 block, rounded.
    const TBitmap two = Grey(4, 2, [](int x, int y) { return 10 * x + 100 * y; });
    const TBitmap half = Smooth(two, 2, 1);
    EXPECT_EQ(At(half, 0, 0), 55); // (0 + 10 + 100 + 110) / 4
    EXPECT_EQ(At(half, 1, 0), 75);

    // 3:1 on a 6 x 3 source: 3 x 3 blocks.
    const TBitmap three = Grey(6, 3, [](int x, int y) { return x * 9 + y * 30; });
    const TBitmap third = Smooth(three, 2, 1);
    EXPECT_EQ(At(third, 0, 0), 39); // mean x 1, mean y 1
    EXPECT_EQ(At(third, 1, 0), 66); // mean x 4
}

TEST(Resample, FractionalEdgesWeighTheirShare) {
    // 3 -> 2: the middle pixel is split in halves, each target covers 1.5.
    const TBitmap src = Grey(3, 1, [](int x, int) { return 90 * x; });
    const TBitmap out = Smooth(src, 2, 1);
    EXPECT_EQ(At(out, 0, 0), 30);  // (0 + 45) / 1.5
    EXPECT_EQ(At(out, 1, 0), 150); // (45 + 180) / 1.5

    // 5 -> 2 down a column, 2.5 rows each.
    const TBitmap rows = Grey(1, 5, [](int, int y) { return 50 * y; });
    const TBitmap down = Smooth(rows, 1, 2);
    EXPECT_EQ(At(down, 0, 0), 40);  // (0 + 50 + 0.5 * 100) / 2.5
    EXPECT_EQ(At(down, 0, 1), 160); // (0.5 * 100 + 150 + 200) / 2.5

    // Larger odd ratios against the double-precision reference, every pixel.
    std::mt19937 rng(5);
    const TBitmap noise = Grey(37, 23, [&](int, int) { return int(rng() % 256); });
    for (auto [w, h] : {std::pair{11, 7}, std::pair{12, 5}, std::pair{36, 22}, std::pair{17, 23}}) {
        const TBitmap o = Smooth(noise, w, h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                ASSERT_LE(std::abs(At(o, x, y) - ReferenceArea(noise, w, h, x, y, 0)), 0.51)
                    << w << "x" << h << " at " << x << "," << y;
    }
}

TEST(Resample, OnePixelTargetsAndConstantsStayExact) {
    const TBitmap line = Grey(7, 3, [](int x, int y) { return 20 * x + y; });
    const TBitmap column = Smooth(line, 1, 3);
    for (int y = 0; y < 3; ++y)
        EXPECT_EQ(At(column, 0, y), 60 + y);
    EXPECT_EQ(At(Smooth(line, 1, 1), 0, 0), 61);

    // The weights of every target pixel add up to exactly one: a white
    // picture stays white, whatever the sizes, shrunk or enlarged.
    const TBitmap white = Grey(97, 61, [](int, int) { return 255; });
    for (auto [w, h] : {std::pair{1, 1}, std::pair{96, 1}, std::pair{3, 60}, std::pair{31, 29},
                        std::pair{200, 7}, std::pair{500, 400}}) {
        const TBitmap o = Smooth(white, w, h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                ASSERT_EQ(At(o, x, y, 2), 255) << w << "x" << h << " at " << x << "," << y;
    }
}

TEST(Resample, EnlargingInterpolatesBetweenCentres) {
    const TBitmap src = Grey(2, 1, [](int x, int) { return 200 * x; });
    const TBitmap out = Smooth(src, 4, 1);
    EXPECT_EQ(At(out, 0, 0), 0);
    EXPECT_EQ(At(out, 1, 0), 50);
    EXPECT_EQ(At(out, 2, 0), 150);
    EXPECT_EQ(At(out, 3, 0), 200);
    // Mixed: shrunk across, enlarged down.
    const TBitmap mixed = Smooth(Grey(4, 2, [](int x, int y) { return 40 * x + 80 * y; }), 2, 4);
    EXPECT_EQ(At(mixed, 0, 0), 20);
    EXPECT_EQ(At(mixed, 1, 3), 180);
    EXPECT_EQ(At(mixed, 0, 1), 40); // a quarter of the way to the next row
}

TEST(Resample, ClippingKeepsEveryPixelInPlaceAndTheRestUntouched) {
    std::mt19937 rng(9);
    const TBitmap src = Grey(50, 40, [&](int, int) { return int(rng() % 256); });
    // The whole picture drawn into a large bitmap, and the same rectangle
    // shifted partly outside a small one.
    TBitmap whole(60, 50);
    StretchSmooth(whole, src.Source(), {0, 0, 23, 17});
    TBitmap part = Grey(10, 8, [](int, int) { return 7; });
    StretchSmooth(part, src.Source(), {-15, -12, 8, 5});
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 10; ++x) {
            const bool inside = x < 8 && y < 5;
            ASSERT_EQ(At(part, x, y), inside ? At(whole, x + 15, y + 12) : 7) << x << "," << y;
        }
}

TEST(Resample, ZonePlateAndFineLinesShrunkByThreePointOne) {
    // B: diagonal lines two pixels apart; G: a zone plate reaching past the
    // Nyquist limit at its edge; R: lines of three pixels the other way.
    const int n = 620;
    constexpr double kPi = 3.14159265358979323846;
    TBitmap src(n, n);
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            std::uint8_t* p = src.ScanLine(y) + x * 3;
            p[0] = (x + y) % 2 ? 255 : 0;
            const double r2 = double(x - n / 2) * (x - n / 2) + double(y - n / 2) * (y - n / 2);
            p[1] = static_cast<std::uint8_t>(std::lround(127.5 + 127.5 * std::cos(kPi * r2 / n)));
            p[2] = (x - y + 3 * n) % 3 ? 230 : 20;
        }
    const int w = 200, h = 200; // 620 / 3.1
    TBitmap smooth(w, h), nearest(w, h);
    smooth.SetStretchFilter(StretchFilter::Smooth);
    smooth.StretchPixels(src.Source(), {0, 0, w, h});
    nearest.StretchPixels(src.Source(), {0, 0, w, h});
    const double ours = MeanAbsDiffToReference(src, smooth);
    const double sampled = MeanAbsDiffToReference(src, nearest);
    std::printf("mean absolute difference to the area average: smooth %.3f, one pixel sampled %.1f\n", ours,
                sampled);
    EXPECT_LE(ours, 1.0);
    EXPECT_GE(sampled, 20.0);
}

namespace {

class SmoothFitTest : public ::testing::Test {
  protected:
    SmoothFitTest() { platform::SetScreenSizeForTesting(platform::ScreenDims{1024, 768}); }
    ~SmoothFitTest() override { platform::SetScreenSizeForTesting(std::nullopt); }

    // Which pixels of the output are black, for a picture with none.
    std::vector<bool> BlackPixels(int w, int h, bool smooth) {
        o.Glaetten = smooth;
        TBitmap src = Grey(w, h, [](int x, int y) { return 1 + (x * 7 + y * 3) % 250; });
        TBitmap out;
        ComposeFit(o, out, src, false);
        std::vector<bool> black;
        for (int y = 0; y < out.Height(); ++y)
            for (int x = 0; x < out.Width(); ++x)
                black.push_back(At(out, x, y, 0) == 0 && At(out, x, y, 1) == 0 && At(out, x, y, 2) == 0);
        return black;
    }

    TOptionen o{TOptionen::ReadOnly{}, ""};
};

} // namespace

TEST_F(SmoothFitTest, BandsAndCutEdgesStayWhereTheyWere) {
    o.Autowandlung_4zu3 = true;
    // Bands above and below; bands left and right; cut top and bottom at a
    // fixed size (the bottom row stays black); cut left and right.
    struct Case {
        bool fixed;
        int w, h;
        std::size_t blackMin;
    } cases[] = {{false, 1000, 600, 2 * 75 * 1000},
                 {false, 600, 800, 2 * 233 * 800},
                 {true, 1400, 1000, 1024},
                 {true, 1600, 1000, 2 * 64 * 1024},
                 {false, 760, 600, 0}};
    for (const Case& c : cases) {
        o.Autowandlung_Groesse = c.fixed;
        o.FesteBildBreite = c.fixed ? 1024 : 0;
        o.FesteBildHoehe = c.fixed ? 768 : 0;
        const std::vector<bool> nearest = BlackPixels(c.w, c.h, false);
        const std::vector<bool> smooth = BlackPixels(c.w, c.h, true);
        EXPECT_EQ(smooth, nearest) << c.w << "x" << c.h;
        EXPECT_GE(std::count(smooth.begin(), smooth.end(), true), static_cast<std::ptrdiff_t>(c.blackMin));
    }
}

TEST_F(SmoothFitTest, PlainCopiesAndTilesStayPixelExact) {
    o.Glaetten = true;
    const TBitmap picture = Grey(800, 600, [](int x, int y) { return (x * 31 + y * 17) % 256; });
    TBitmap source;
    source.Assign(picture);
    TBitmap out;
    ComposeFit(o, out, source, false);
    ASSERT_EQ(out.Width(), 800);
    for (int y = 0; y < 600; y += 7)
        ASSERT_EQ(std::memcmp(out.ScanLine(y), picture.ScanLine(y), 800 * 3), 0) << y;

    o.KachelTyp = 1;
    const TBitmap tile = Grey(30, 20, [](int x, int y) { return (x * 13 + y * 51) % 256; });
    source.Assign(tile);
    ComposeFit(o, out, source, false);
    ASSERT_EQ(out.Width(), 1024);
    for (int y = 0; y < 768; y += 5)
        for (int x = 0; x < 1024; x += 3)
            ASSERT_EQ(At(out, x, y), At(tile, x % 30, y % 20)) << x << "," << y;
}

TEST_F(SmoothFitTest, WithoutSmoothingTheStretchIsTheNearestOneOfBefore) {
    o.Autowandlung_Groesse = true;
    o.FesteBildBreite = 333;
    o.FesteBildHoehe = 250;
    std::mt19937 rng(3);
    TBitmap source = Grey(1000, 700, [&](int, int) { return int(rng() % 256); });
    TBitmap want(333, 250);
    want.StretchPixels(source.Source(), {0, 0, 333, 250}); // a fresh canvas stretches nearest
    o.Glaetten = false;
    TBitmap got;
    ComposeFit(o, got, source, false);
    for (int y = 0; y < 250; ++y)
        ASSERT_EQ(std::memcmp(got.ScanLine(y), want.ScanLine(y), 333 * 3), 0) << y;
    o.Glaetten = true;
    ComposeFit(o, got, source, false);
    int differing = 0;
    for (int y = 0; y < 250; ++y)
        differing += std::memcmp(got.ScanLine(y), want.ScanLine(y), 333 * 3) != 0;
    EXPECT_GT(differing, 200);
}
