#include "compose/FitPicture.h"

#include "compose/Graphics.h"
#include "config/Messages.h"
#include "config/uOptionen.h"
#include "platform/Platform.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <new>
#include <vector>

// Rounding and ratio tests must see the 64-bit significand of x87 extended
// precision: the tie cases of the size arithmetic depend on it.
static_assert(std::numeric_limits<long double>::digits == 64, "long double must be 80-bit extended");

namespace {

using i64 = std::int64_t;
using Ext = long double;

// Sets the x87 precision control to the 64-bit significand for its lifetime.
// Windows starts threads at 53 bits, and DLLs may leave it so; the ties of
// the size arithmetic would then round differently.
class ExtendedPrecision {
  public:
    ExtendedPrecision() {
        __asm__ volatile("fnstcw %0" : "=m"(saved_) : : "memory");
        const std::uint16_t extended = saved_ | 0x0300;
        __asm__ volatile("fldcw %0" : : "m"(extended) : "memory");
    }
    ~ExtendedPrecision() { __asm__ volatile("fldcw %0" : : "m"(saved_) : "memory"); }
    ExtendedPrecision(const ExtendedPrecision&) = delete;
    ExtendedPrecision& operator=(const ExtendedPrecision&) = delete;

  private:
    std::uint16_t saved_ = 0;
};

// Integer halving toward zero, as the band offsets need: half(-3) = -1.
i64 Half(i64 v) {
    return v / 2;
}

// num / den rounded to nearest, ties to even; den > 0.
i64 RoundRatio(__int128 num, i64 den) {
    __int128 q = num / den;
    __int128 r = num % den;
    if (r < 0) { // floor division
        q -= 1;
        r += den;
    }
    const __int128 twice = 2 * r;
    if (twice > den || (twice == den && (q & 1) != 0)) q += 1;
    return static_cast<i64>(q);
}

// The four 4:3 steps on their exact rational values: with the extended
// constant nearest 4/3 they give exactly these, and so does any compiler.
i64 TimesFourThirds(i64 v) {
    return RoundRatio(static_cast<__int128>(v) * 4, 3);
}
i64 DivFourThirds(i64 v) {
    return RoundRatio(static_cast<__int128>(v) * 3, 4);
}

Ext Divide(Ext a, Ext b) {
    if (b == 0) Throw(Msg::FloatDivByZero);
    return a / b;
}

// Round of an extended value that is known to fit (|v| < 2^63).
i64 RoundExt(Ext v) {
    return static_cast<i64>(std::nearbyint(v));
}

// Y <= Round(D * MaxKillBorder / 100), evaluated as written; a limit too large
// for any integer simply admits the band.
bool WithinKillLimit(i64 band, i64 drawn, double maxKillBorder) {
    const Ext limit = std::nearbyint(static_cast<Ext>(drawn) * static_cast<Ext>(maxKillBorder) / 100);
    return static_cast<Ext>(band) <= limit;
}

void ScreenInto(i64& W, i64& H, platform::ScreenDims screen) {
    W = screen.width;
    H = screen.height;
}

} // namespace

bool TOptionen::IsTileSize(int width, int height) const {
    return width < KachelMaxBreite && height < KachelMaxHoehe;
}

FitGeometry ComputeFitGeometry(const TOptionen& o, int w, int h, bool exact, platform::ScreenDims screen) {
    const ExtendedPrecision precision;
    FitGeometry g;
    i64 W = w, H = h, X = 0, Y = 0, DW = 0, DH = 0;
    if (o.IsTileSize(w, h)) {
        g.tile = true;
        g.repeat = o.KachelTyp == 1;
        if (g.repeat) {
            if (o.KachelBildhoehe != 0) {
                W = o.KachelBildbreite;
                H = o.KachelBildhoehe;
            } else {
                ScreenInto(W, H, screen);
            }
        }
        g.W = W;
        g.H = H;
        g.DW = w;
        g.DH = h;
        return g;
    }

    const auto ratio = [&] { return Divide(static_cast<Ext>(w), static_cast<Ext>(h)); };
    const bool fixed = o.Autowandlung_Groesse;
    const bool fourThirds = o.Autowandlung_4zu3;
    if (fixed) {
        W = o.FesteBildBreite;
        H = o.FesteBildHoehe;
        if (o.FesteBildBreite == 0) ScreenInto(W, H, screen);
        DW = W;
        DH = H;
        if (fourThirds) {
            const Ext r = ratio();
            if (r > o.GeometrieOKBis) {
                DH = RoundExt(Divide(static_cast<Ext>(DW), w) * h);
                Y = Half(H - DH);
            } else if (r < o.GeometrieOKAb) {
                DW = RoundExt(Divide(static_cast<Ext>(DH), h) * w);
                X = Half(W - DW);
            }
        }
    } else {
        DW = w;
        DH = h;
        if (fourThirds) {
            const Ext r = ratio();
            if (r > o.GeometrieOKBis) {
                H = DivFourThirds(W);
                Y = Half(H - DH);
            } else if (r < o.GeometrieOKAb) {
                W = TimesFourThirds(H);
                X = Half(W - DW);
            }
        }
    }

    // A thin band is cut away instead of shown: top and bottom first, then
    // left and right (never at a fixed size).
    if (fourThirds) {
        if (Y > 0 && WithinKillLimit(Y, DH, o.MaxKillBorder)) {
            const i64 a = TimesFourThirds(Y);
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
        if (X > 0 && WithinKillLimit(X, DW, o.MaxKillBorder) && !fixed) {
            const i64 b = DivFourThirds(X);
            Y = -b;
            W -= 2 * X;
            H -= 2 * b;
            X = 0;
        }
    }

    g.W = W;
    g.H = H;
    g.X = X;
    g.Y = Y;
    g.DW = DW;
    g.DH = DH;
    g.plainCopy = exact && DW == w && DH == h && W == w && H == h && X == 0 && Y == 0;
    return g;
}

namespace {

bool FitsInt(i64 v) {
    return v >= INT_MIN && v <= INT_MAX;
}

// Every copy of the tile, one column and one row past the last whole one.
// Copies start at multiples of the tile size; those starting beyond the
// bitmap draw nothing, so only the ones inside are drawn. An opaque tile is
// laid out once per row band and copied down row by row, so that a tiny tile
// on a huge bitmap costs no more than filling it.
void DrawTiles(TBitmap& b, TGraphic& s, int w, int h, i64 W, i64 H) {
    if (w == 0) Throw(Msg::DivByZero);
    if (W / w < 0) return;
    if (h == 0) Throw(Msg::DivByZero);
    if (H / h < 0) return;
    const int bw = b.Width(), bh = b.Height();
    if (bw == 0 || bh == 0) return;

    if (s.Width() != w || s.Height() != h) {
        for (i64 x = 0; x < bw; x += w)
            for (i64 y = 0; y < bh; y += h)
                s.Draw(b, static_cast<int>(x), static_cast<int>(y));
        return;
    }

    // Drawing the tile on black and on white tells its transparent pixels
    // apart: only those keep the two backgrounds different, by 255 - alpha.
    TBitmap onBlack(w, h), onWhite(w, h);
    for (int y = 0; y < h; ++y)
        std::memset(onWhite.ScanLine(y), 0xFF, static_cast<std::size_t>(w) * 3);
    s.Draw(onBlack, 0, 0);
    s.Draw(onWhite, 0, 0);
    const std::size_t rowBytes = static_cast<std::size_t>(w) * 3;
    bool opaque = true;
    for (int y = 0; y < h && opaque; ++y)
        opaque = std::memcmp(onBlack.ScanLine(y), onWhite.ScanLine(y), rowBytes) == 0;

    const std::size_t outBytes = static_cast<std::size_t>(bw) * 3;
    if (opaque) {
        const int bandRows = std::min(h, bh);
        for (int y = 0; y < bandRows; ++y) {
            std::uint8_t* row = b.ScanLine(y);
            const std::size_t first = std::min(rowBytes, outBytes);
            std::memcpy(row, onBlack.ScanLine(y), first);
            for (std::size_t done = first; done < outBytes;) {
                const std::size_t n = std::min(done, outBytes - done);
                std::memcpy(row + done, row, n);
                done += n;
            }
        }
        for (int y = bandRows; y < bh; ++y)
            std::memcpy(b.ScanLine(y), b.ScanLine(y - h), outBytes);
        return;
    }
    for (int y = 0; y < bh; ++y) {
        const int ty = y % h;
        const std::uint8_t* black = onBlack.ScanLine(ty);
        const std::uint8_t* white = onWhite.ScanLine(ty);
        std::uint8_t* d = b.ScanLine(y);
        for (int x = 0, tx = 0; x < bw; ++x, d += 3) {
            const std::uint8_t* p = black + tx * 3;
            const std::uint8_t* q = white + tx * 3;
            if (p[0] == q[0] && p[1] == q[1] && p[2] == q[2]) {
                std::memcpy(d, p, 3);
            } else if (q[0] - p[0] < 255) {
                const unsigned alpha = 255u - static_cast<unsigned>(q[0] - p[0]);
                for (int c = 0; c < 3; ++c)
                    d[c] = BlendOver(p[c], d[c], alpha);
            }
            if (++tx == w) tx = 0;
        }
    }
}

} // namespace

void ComposeFit(const TOptionen& o, TBitmap& b, TGraphic& s, bool isMetafile,
                std::optional<platform::ScreenDims> screenSize) {
    int w = s.Width(), h = s.Height();
    const platform::ScreenDims screen = screenSize ? *screenSize : platform::ScreenSize();
    if (isMetafile) {
        w = screen.width;
        h = screen.height;
    }
    const FitGeometry g = ComputeFitGeometry(o, w, h, !isMetafile, screen);
    // Sizes past the int range cannot be drawn at all; they come only from
    // hostile settings and would otherwise wrap around.
    if (!FitsInt(g.W) || !FitsInt(g.H) || !FitsInt(g.X) || !FitsInt(g.Y) || !FitsInt(g.X + g.DW) ||
        !FitsInt(g.Y + g.DH))
        Throw(Msg::OutOfMemory);
    const int W = static_cast<int>(g.W), H = static_cast<int>(g.H);

    if (g.tile) {
        if (g.repeat) {
            b.SetSize(W, H);
            DrawTiles(b, s, w, h, g.W, g.H);
        } else {
            b.SetSize(w, h);
            s.Draw(b, 0, 0);
        }
        return;
    }
    if (g.plainCopy) {
        b.SetSize(W, H);
        s.Draw(b, 0, 0);
        return;
    }
    // A bitmap of a new size comes black; only one reused at its size needs
    // clearing.
    if (b.Width() == W && b.Height() == H) {
        b.FillBlack();
    } else {
        b.SetSize(0, 0);
        b.SetSize(W, H);
    }
    b.SetStretchFilter(o.Glaetten ? StretchFilter::Smooth : StretchFilter::Nearest);
    const TRect rect{static_cast<int>(g.X), static_cast<int>(g.Y), static_cast<int>(g.X + g.DW),
                     static_cast<int>(g.Y + g.DH)};
    s.StretchDraw(b, rect);
}

std::string TOptionen::FitPicture(TPicture& target, const std::string& fileName) const {
    return FitPicture(target, fileName, platform::ScreenSize());
}

std::string TOptionen::FitPicture(TPicture& target, const std::string& fileName,
                                  platform::ScreenDims screen) const {
    const auto errorText = [](const char* message) { return std::string("Fehler: \"") + message + "\""; };
    try {
        TBitmap& b = target.Bitmap();
        TPicture s;
        s.LoadFromFile(fileName);
        ComposeFit(*this, b, *s.Graphic(), LowerAscii(ExtractFileExt(fileName)) == ".wmf", screen);
    } catch (const std::bad_alloc&) {
        return errorText(MsgText(Msg::OutOfMemory));
    } catch (const std::exception& e) {
        return errorText(e.what());
    }
    return {};
}
