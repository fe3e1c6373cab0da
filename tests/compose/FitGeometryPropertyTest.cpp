// The size arithmetic against a second implementation in exact integer
// rationals. Only where the two-step extended rounding may legitimately differ
// from the exact quotient (values within a hair of a half) does the reference
// fall back to a direct long double evaluation, and such cases are counted.
#include "compose/FitPicture.h"
#include "config/Messages.h"
#include "config/uOptionen.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <random>

namespace {

using i64 = std::int64_t;
using i128 = __int128;

// floor-based num / den (den > 0) to nearest, ties to even.
i64 RoundHalfEven(i128 num, i128 den) {
    i128 fl = num >= 0 ? num / den : -((-num + den - 1) / den);
    const i128 rem = num - fl * den; // 0 <= rem < den
    if (2 * rem > den || (2 * rem == den && fl % 2 != 0)) ++fl;
    return static_cast<i64>(fl);
}

// Distance of num / den from the nearest half-integer, relative to its size.
long double RelativeDistanceFromHalf(i128 num, i128 den) {
    i128 rem = num % den;
    if (rem < 0) rem += den;
    const long double d =
        std::fabs(static_cast<long double>(2 * rem - den)) / (2 * static_cast<long double>(den));
    const long double size = std::fabs(static_cast<long double>(num) / static_cast<long double>(den)) + 1;
    return d / size;
}

// A double as m * 2^e with an integer m.
struct Dyadic {
    i64 m;
    int e;
};
Dyadic Split(double d) {
    int k = 0;
    const double f = std::frexp(d, &k);
    return {static_cast<i64>(std::ldexp(f, 53)), k - 53};
}

struct Stats {
    int roundingTies = 0;  // DW / w * h or DH * border / 100 decided by the extended evaluation
    int ratioNearTies = 0; // w / h within a hair of a setting
    int tiesOffExact = 0;  // of the rounding ties, those where the extended result is not the exact one
};

struct Geo {
    bool error = false;
    bool tile = false, plain = false;
    i64 W = 0, H = 0, X = 0, Y = 0, DW = 0, DH = 0;
};

// sign of w / h - d, exactly; h > 0.
int CompareRatio(int w, int h, double d, Stats& st) {
    const Dyadic s = Split(d);
    i128 lhs = w, rhs = static_cast<i128>(s.m) * h; // compare w * 2^-e with m * h
    if (s.e < 0)
        lhs <<= -s.e;
    else
        rhs <<= s.e;
    const int exact = lhs > rhs ? 1 : lhs < rhs ? -1 : 0;
    if (rhs != 0 &&
        std::fabs(static_cast<long double>(lhs - rhs) / static_cast<long double>(rhs)) < 0x1p-58L) {
        ++st.ratioNearTies;
        const long double r = static_cast<long double>(w) / h;
        return r > d ? 1 : r < d ? -1 : 0;
    }
    return exact;
}

i64 ScaleSide(i64 D, int from, int to, Stats& st) { // Round(D / from * to)
    const i128 num = static_cast<i128>(D) * to;
    if (RelativeDistanceFromHalf(num, from) < 0x1p-58L) {
        ++st.roundingTies;
        const i64 ext = static_cast<i64>(std::nearbyint(static_cast<long double>(D) / from * to));
        st.tiesOffExact += ext != RoundHalfEven(num, from);
        return ext;
    }
    return RoundHalfEven(num, from);
}

bool WithinLimit(i64 band, i64 D, double border, Stats& st) { // band <= Round(D * border / 100)
    const Dyadic s = Split(border);
    i128 num = static_cast<i128>(D) * s.m, den = 100;
    if (s.e < 0)
        den <<= -s.e;
    else
        num <<= s.e;
    if (RelativeDistanceFromHalf(num, den) < 0x1p-58L) {
        ++st.roundingTies;
        const long double ext = std::nearbyint(static_cast<long double>(D) * border / 100);
        st.tiesOffExact += ext != RoundHalfEven(num, den);
        return band <= ext;
    }
    return band <= RoundHalfEven(num, den);
}

Geo Reference(const TOptionen& o, int w, int h, bool exact, int sw, int sh, Stats& st) {
    Geo g;
    if (w < o.KachelMaxBreite && h < o.KachelMaxHoehe) {
        g.tile = true;
        g.W = w;
        g.H = h;
        if (o.KachelTyp == 1) {
            g.W = o.KachelBildhoehe != 0 ? o.KachelBildbreite : sw;
            g.H = o.KachelBildhoehe != 0 ? o.KachelBildhoehe : sh;
        }
        return g;
    }
    i64 W = w, H = h, X = 0, Y = 0, DW = w, DH = h;
    const bool fixed = o.Autowandlung_Groesse, ft = o.Autowandlung_4zu3;
    int wide = 0; // 1 too wide, -1 too narrow
    if (ft) {
        if (h == 0) return {.error = true};
        if (CompareRatio(w, h, o.GeometrieOKBis, st) > 0)
            wide = 1;
        else if (CompareRatio(w, h, o.GeometrieOKAb, st) < 0)
            wide = -1;
    }
    if (fixed) {
        W = o.FesteBildBreite == 0 ? sw : o.FesteBildBreite;
        H = o.FesteBildBreite == 0 ? sh : o.FesteBildHoehe;
        DW = W;
        DH = H;
        if (wide == 1) {
            if (w == 0) return {.error = true};
            DH = ScaleSide(DW, w, h, st);
            Y = (H - DH) / 2;
        } else if (wide == -1) {
            DW = ScaleSide(DH, h, w, st);
            X = (W - DW) / 2;
        }
    } else if (wide == 1) {
        H = RoundHalfEven(static_cast<i128>(3) * W, 4);
        Y = (H - DH) / 2;
    } else if (wide == -1) {
        W = RoundHalfEven(static_cast<i128>(4) * H, 3);
        X = (W - DW) / 2;
    }
    if (ft && Y > 0 && WithinLimit(Y, DH, o.MaxKillBorder, st)) {
        const i64 a = RoundHalfEven(static_cast<i128>(4) * Y, 3);
        X = -a;
        if (fixed) {
            DW += 2 * a;
            DH += 2 * Y;
        } else {
            H -= 2 * Y;
            W -= 2 * a;
        }
        Y = 0;
    }
    if (ft && !fixed && X > 0 && WithinLimit(X, DW, o.MaxKillBorder, st)) {
        const i64 b = RoundHalfEven(static_cast<i128>(3) * X, 4);
        Y = -b;
        W -= 2 * X;
        H -= 2 * b;
        X = 0;
    }
    g.W = W, g.H = H, g.X = X, g.Y = Y, g.DW = DW, g.DH = DH;
    g.plain = exact && W == w && H == h && DW == w && DH == h && X == 0 && Y == 0;
    return g;
}

std::optional<FitGeometry> Actual(const TOptionen& o, int w, int h, bool exact, int sw, int sh) {
    try {
        return ComputeFitGeometry(o, w, h, exact, {sw, sh});
    } catch (const ZenksError& e) {
        EXPECT_STREQ(e.what(), "Gleitkommadivision durch Null");
        return std::nullopt;
    }
}

TEST(FitGeometryProperty, AgreesWithExactRationals) {
    std::mt19937_64 rng(20240611);
    auto uni = [&](i64 lo, i64 hi) { return std::uniform_int_distribution<i64>(lo, hi)(rng); };
    auto real = [&](double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng); };
    TOptionen o{TOptionen::ReadOnly{}, ""};
    Stats st;
    int compared = 0, errors = 0;
    for (int iter = 0; iter < 400000; ++iter) {
        o.Autowandlung_Groesse = uni(0, 1);
        o.Autowandlung_4zu3 = uni(0, 5) != 0;
        o.KachelMaxBreite = static_cast<int>(uni(0, 3) == 0 ? uni(-5, 400) : 250);
        o.KachelMaxHoehe = static_cast<int>(uni(0, 3) == 0 ? uni(-5, 400) : 250);
        o.KachelTyp = static_cast<int>(uni(0, 2));
        o.KachelBildbreite = static_cast<int>(uni(-50, 3000));
        o.KachelBildhoehe = static_cast<int>(uni(0, 2) == 0 ? 0 : uni(-50, 3000));
        o.FesteBildBreite = static_cast<int>(uni(0, 2) == 0 ? 0 : uni(-100, 4000));
        o.FesteBildHoehe = static_cast<int>(uni(-100, 4000));
        o.GeometrieOKAb = uni(0, 1) ? 1.28 : real(0.3, 2.5);
        o.GeometrieOKBis = uni(0, 1) ? 1.38 : real(0.3, 2.5);
        switch (uni(0, 4)) {
        case 0:
            o.MaxKillBorder = 5;
            break;
        case 1:
            o.MaxKillBorder = static_cast<double>(uni(-3, 40));
            break;
        case 2:
            o.MaxKillBorder = static_cast<double>(uni(-20, 400)) / 8;
            break;
        default:
            o.MaxKillBorder = real(0.001, 60);
            break;
        }
        int w, h;
        const int shape = static_cast<int>(uni(0, 3));
        if (shape == 0) { // near the accepted band and 4:3
            h = static_cast<int>(uni(1, 5000));
            w = static_cast<int>(std::lround(h * real(1.2, 1.45)));
        } else if (shape == 1) {
            w = static_cast<int>(uni(0, 60));
            h = static_cast<int>(uni(0, 60));
        } else {
            w = static_cast<int>(uni(0, 20000));
            h = static_cast<int>(uni(0, 20000));
        }
        if (uni(0, 9) == 0) { // a fixed size that makes DW / w * h land on a half
            const i64 u = uni(1, 1000);
            o.Autowandlung_Groesse = o.Autowandlung_4zu3 = true;
            o.GeometrieOKBis = 0.1;
            w = static_cast<int>(2 * u);
            h = static_cast<int>(2 * uni(0, 1500) + 1);
            o.FesteBildBreite = static_cast<int>(u * (2 * uni(0, 4000 / u) + 1));
        }
        const bool exact = uni(0, 9) != 0;
        const int sw = uni(0, 3) == 0 ? static_cast<int>(uni(1, 4000)) : 1024;
        const int sh = uni(0, 3) == 0 ? static_cast<int>(uni(1, 3000)) : 768;
        if (!exact) w = sw, h = sh;

        const Geo ref = Reference(o, w, h, exact, sw, sh, st);
        const std::optional<FitGeometry> got = Actual(o, w, h, exact, sw, sh);
        ++compared;
        const auto where = [&] {
            char buf[400];
            std::snprintf(buf, sizeof buf,
                          "w=%d h=%d exact=%d groesse=%d 4zu3=%d fest=%dx%d ab=%.17g bis=%.17g kill=%.17g "
                          "kachel=%d %dx%d max=%dx%d screen=%dx%d",
                          w, h, exact, o.Autowandlung_Groesse, o.Autowandlung_4zu3, o.FesteBildBreite,
                          o.FesteBildHoehe, o.GeometrieOKAb, o.GeometrieOKBis, o.MaxKillBorder, o.KachelTyp,
                          o.KachelBildbreite, o.KachelBildhoehe, o.KachelMaxBreite, o.KachelMaxHoehe, sw, sh);
            return std::string(buf);
        };
        ASSERT_EQ(ref.error, !got.has_value()) << where();
        if (ref.error) {
            ++errors;
            continue;
        }
        ASSERT_EQ(ref.tile, got->tile) << where();
        ASSERT_EQ(ref.W, got->W) << where();
        ASSERT_EQ(ref.H, got->H) << where();
        if (ref.tile) continue;
        ASSERT_EQ(ref.X, got->X) << where();
        ASSERT_EQ(ref.Y, got->Y) << where();
        ASSERT_EQ(ref.DW, got->DW) << where();
        ASSERT_EQ(ref.DH, got->DH) << where();
        ASSERT_EQ(ref.plain, got->plainCopy) << where();
    }
    std::printf("compared %d, division errors %d, two-step rounding ties %d (%d off the exact quotient), "
                "ratio near-ties %d\n",
                compared, errors, st.roundingTies, st.tiesOffExact, st.ratioNearTies);
    EXPECT_GT(st.tiesOffExact, 0);
    EXPECT_GT(errors, 0);
}

TEST(FitGeometryProperty, TheExampleTiesOfTheSizeArithmetic) {
    TOptionen o{TOptionen::ReadOnly{}, ""};
    o.Autowandlung_Groesse = o.Autowandlung_4zu3 = true;
    o.FesteBildBreite = 640;
    o.FesteBildHoehe = 480;
    const FitGeometry g = ComputeFitGeometry(o, 1792, 637, true, {1024, 768});
    EXPECT_EQ(g.DH, 227); // exactly 227.5, two-step extended gives 227
}

// Windows starts threads with the x87 precision control at 53 bits; the
// caller's setting must neither change the result nor be lost.
TEST(FitGeometryProperty, TheTieIgnoresTheCallersPrecisionControl) {
    TOptionen o{TOptionen::ReadOnly{}, ""};
    o.Autowandlung_Groesse = o.Autowandlung_4zu3 = true;
    o.FesteBildBreite = 640;
    o.FesteBildHoehe = 480;
    std::uint16_t saved = 0;
    __asm__ volatile("fnstcw %0" : "=m"(saved));
    const std::uint16_t doublePrecision = (saved & ~0x0300) | 0x0200;
    __asm__ volatile("fldcw %0" : : "m"(doublePrecision));
    const FitGeometry g = ComputeFitGeometry(o, 1792, 637, true, {1024, 768});
    std::uint16_t after = 0;
    __asm__ volatile("fnstcw %0" : "=m"(after));
    __asm__ volatile("fldcw %0" : : "m"(saved));
    EXPECT_EQ(g.DH, 227);
    EXPECT_EQ(after, doublePrecision);
}

// The extended constant nearest 4/3 gives the exact rational results for all
// four 4:3 steps, which is what lets the code use integers for them.
TEST(FitGeometryProperty, ExtendedFourThirdsEqualsExactRationals) {
    const long double k = std::ldexp(static_cast<long double>(0xAAAAAAAAAAAAAAABull), -63);
    std::mt19937_64 rng(7);
    for (i64 i = 0; i < 2000000; ++i) {
        const i64 v = i < 1000000 ? i : std::uniform_int_distribution<i64>(0, INT32_MAX)(rng);
        ASSERT_EQ(static_cast<i64>(std::nearbyint(v / k)), RoundHalfEven(static_cast<i128>(3) * v, 4)) << v;
        ASSERT_EQ(static_cast<i64>(std::nearbyint(v * k)), RoundHalfEven(static_cast<i128>(4) * v, 3)) << v;
    }
    EXPECT_EQ(std::nearbyint(1006 / k), 754);
    EXPECT_EQ(std::nearbyint(1002 / k), 752);
    // The double nearest 4/3, even when divided in extended precision, would not do.
    EXPECT_EQ(std::nearbyint(1006 / static_cast<long double>(4.0 / 3.0)), 755);
}

} // namespace
