#include "compose/Resample.h"

#include <algorithm>

namespace resample {

namespace {

// Shrinking: target pixel u covers [u * srcLen, (u + 1) * srcLen) in units of
// 1 / dstLen source pixels; each source pixel it touches weighs its overlap.
// The weights are rounded on their running sum, so that every target pixel's
// weights add up to exactly kOne.
void AreaTaps(AxisTaps& t, std::int64_t srcLen, std::int64_t dstLen, std::int64_t u) {
    const std::int64_t lo = u * srcLen, hi = lo + srcLen;
    const std::int64_t s0 = lo / dstLen, s1 = (hi - 1) / dstLen;
    t.first.push_back(static_cast<int>(s0));
    t.count.push_back(static_cast<int>(s1 - s0 + 1));
    t.offset.push_back(static_cast<std::uint32_t>(t.weight.size()));
    std::int64_t covered = 0, given = 0;
    for (std::int64_t s = s0; s <= s1; ++s) {
        covered += std::min((s + 1) * dstLen, hi) - std::max(s * dstLen, lo);
        const auto upTo =
            static_cast<std::int64_t>((static_cast<__int128>(covered) * kOne * 2 + srcLen) / (2 * srcLen));
        t.weight.push_back(static_cast<std::uint16_t>(upTo - given));
        given = upTo;
    }
}

// Enlarging: the two source pixels whose centres enclose the target pixel's
// centre, weighted by distance; the edges repeat the outermost pixel.
void BilinearTaps(AxisTaps& t, std::int64_t srcLen, std::int64_t dstLen, std::int64_t u) {
    // Centre in source pixels: ((2u + 1) * srcLen - dstLen) / (2 * dstLen).
    const __int128 num = static_cast<__int128>(2 * u + 1) * srcLen - dstLen;
    const __int128 den = 2 * static_cast<__int128>(dstLen);
    std::int64_t s0 = 0;
    std::int64_t w1 = 0;
    if (num > 0) {
        s0 = static_cast<std::int64_t>(num / den);
        w1 = static_cast<std::int64_t>(((num % den) * kOne * 2 + den) / (2 * den));
        if (w1 >= kOne) {
            ++s0;
            w1 = 0;
        }
        if (s0 >= srcLen - 1) {
            s0 = srcLen - 1;
            w1 = 0;
        }
    }
    t.first.push_back(static_cast<int>(s0));
    t.offset.push_back(static_cast<std::uint32_t>(t.weight.size()));
    t.weight.push_back(static_cast<std::uint16_t>(kOne - w1));
    if (w1 > 0) t.weight.push_back(static_cast<std::uint16_t>(w1));
    t.count.push_back(w1 > 0 ? 2 : 1);
}

} // namespace

AxisTaps ComputeAxisTaps(int srcLen, std::int64_t dstLen, std::int64_t from, std::int64_t to) {
    AxisTaps t;
    const std::size_t n = static_cast<std::size_t>(to - from);
    t.first.reserve(n);
    t.count.reserve(n);
    t.offset.reserve(n);
    const bool shrink = dstLen <= srcLen;
    t.weight.reserve(shrink ? n + static_cast<std::size_t>(srcLen) : 2 * n);
    for (std::int64_t u = from; u < to; ++u) {
        if (shrink)
            AreaTaps(t, srcLen, dstLen, u);
        else
            BilinearTaps(t, srcLen, dstLen, u);
        t.maxCount = std::max(t.maxCount, t.count.back());
    }
    return t;
}

} // namespace resample

namespace {

using resample::AxisTaps;
using resample::kOne;

// One source row scaled horizontally, with 8 bits of fraction kept for the
// vertical step: at most 255 << 8, so the vertical sums fit 32 bits.
void HorizontalRow(const std::uint8_t* src, const AxisTaps& tx, std::uint16_t* out) {
    const std::size_t n = tx.first.size();
    for (std::size_t i = 0; i < n; ++i, out += 3) {
        const std::uint8_t* p = src + static_cast<std::ptrdiff_t>(tx.first[i]) * 3;
        const std::uint16_t* w = tx.weight.data() + tx.offset[i];
        std::uint32_t b = 0, g = 0, r = 0;
        for (int k = tx.count[i]; k > 0; --k, p += 3, ++w) {
            b += *w * p[0];
            g += *w * p[1];
            r += *w * p[2];
        }
        out[0] = static_cast<std::uint16_t>((b + 32) >> 6);
        out[1] = static_cast<std::uint16_t>((g + 32) >> 6);
        out[2] = static_cast<std::uint16_t>((r + 32) >> 6);
    }
}

template <int N>
void HorizontalRowFixed(const std::uint8_t* src, const std::vector<int>& first,
                        const std::vector<std::uint16_t>& weight, std::uint16_t* out) {
    const std::size_t n = first.size();
    const std::uint16_t* w = weight.data();
    for (std::size_t i = 0; i < n; ++i, out += 3, w += N) {
        const std::uint8_t* p = src + static_cast<std::ptrdiff_t>(first[i]) * 3;
        std::uint32_t b = 0, g = 0, r = 0;
        for (int k = 0; k < N; ++k) {
            b += w[k] * p[3 * k];
            g += w[k] * p[3 * k + 1];
            r += w[k] * p[3 * k + 2];
        }
        out[0] = static_cast<std::uint16_t>((b + 32) >> 6);
        out[1] = static_cast<std::uint16_t>((g + 32) >> 6);
        out[2] = static_cast<std::uint16_t>((r + 32) >> 6);
    }
}

} // namespace

SmoothStretcher::SmoothStretcher(TBitmap& target, int srcWidth, int srcHeight, const TRect& rect, int bandTop,
                                 int bandBottom)
    : target_(target) {
    const std::int64_t dw = static_cast<std::int64_t>(rect.Right) - rect.Left;
    const std::int64_t dh = static_cast<std::int64_t>(rect.Bottom) - rect.Top;
    if (dw <= 0 || dh <= 0 || srcWidth <= 0 || srcHeight <= 0) return;
    const std::int64_t x0 = std::max<std::int64_t>(rect.Left, 0);
    const std::int64_t y0 = std::max<std::int64_t>({rect.Top, 0, bandTop});
    const std::int64_t x1 = std::min<std::int64_t>(rect.Right, target.Width());
    const std::int64_t y1 = std::min<std::int64_t>({rect.Bottom, target.Height(), bandBottom});
    if (x0 >= x1 || y0 >= y1) return;
    x0_ = static_cast<int>(x0);
    y0_ = static_cast<int>(y0);
    tx_ = resample::ComputeAxisTaps(srcWidth, dw, x0 - rect.Left, x1 - rect.Left);
    ty_ = resample::ComputeAxisTaps(srcHeight, dh, y0 - rect.Top, y1 - rect.Top);
    // A slight shrink (a scaled JPEG decode) needs two or three taps.
    fixedTaps_ = tx_.maxCount <= 2   ? 2
                 : tx_.maxCount <= 3 ? 3
                 : tx_.maxCount <= 4 ? 4
                 : tx_.maxCount <= 8 ? 8
                                     : 0;
    if (fixedTaps_ > srcWidth) fixedTaps_ = 0;
    if (fixedTaps_ > 0) {
        // Taps that would reach past the right edge start earlier instead,
        // with leading zero weights.
        const std::size_t n = tx_.first.size();
        fixedFirst_.resize(n);
        fixedWeight_.assign(n * static_cast<std::size_t>(fixedTaps_), 0);
        for (std::size_t i = 0; i < n; ++i) {
            const int shift = std::max(tx_.first[i] + fixedTaps_ - srcWidth, 0);
            fixedFirst_[i] = tx_.first[i] - shift;
            for (int k = 0; k < tx_.count[i]; ++k)
                fixedWeight_[i * static_cast<std::size_t>(fixedTaps_) + static_cast<std::size_t>(shift + k)] =
                    tx_.weight[tx_.offset[i] + static_cast<std::size_t>(k)];
        }
    }
    shrinkRows_ = dh <= srcHeight;
    values_ = static_cast<std::size_t>(x1 - x0) * 3;
    for (int k = 0; k < 2; ++k) {
        rows_[k].resize(values_);
        if (shrinkRows_) sums_[k].resize(values_);
    }
    if (!shrinkRows_) sums_[0].resize(values_);
    firstRow_ = ty_.first.front();
    endRow_ = ty_.first.back() + ty_.count.back();
}

void SmoothStretcher::EmitRow(std::size_t j, const std::uint32_t* sum) noexcept {
    std::uint8_t* d = target_.ScanLine(y0_ + static_cast<int>(j)) + static_cast<std::ptrdiff_t>(x0_) * 3;
    // A local count: stores through d could otherwise change values_, and the
    // loop would not be vectorised.
    const std::size_t n = values_;
    for (std::size_t i = 0; i < n; ++i)
        d[i] = static_cast<std::uint8_t>(std::min<std::uint32_t>((sum[i] + (1u << 21)) >> 22, 255));
}

void SmoothStretcher::PushRow(int sy, const std::uint8_t* row) noexcept {
    const std::size_t n = ty_.first.size();
    if (next_ >= n || sy < firstRow_ || sy >= endRow_) return;
    const int slot = sy & 1;
    std::uint16_t* h = rows_[shrinkRows_ ? 0 : slot].data();
    if (fixedTaps_ == 2)
        HorizontalRowFixed<2>(row, fixedFirst_, fixedWeight_, h);
    else if (fixedTaps_ == 3)
        HorizontalRowFixed<3>(row, fixedFirst_, fixedWeight_, h);
    else if (fixedTaps_ == 4)
        HorizontalRowFixed<4>(row, fixedFirst_, fixedWeight_, h);
    else if (fixedTaps_ == 8)
        HorizontalRowFixed<8>(row, fixedFirst_, fixedWeight_, h);
    else
        HorizontalRow(row, tx_, h);
    const auto last = [&](std::size_t j) { return ty_.first[j] + ty_.count[j] - 1; };
    if (shrinkRows_) {
        // A source row lies in at most two target rows: the next one and the
        // one after it.
        for (std::size_t j = next_; j < n && j <= next_ + 1 && ty_.first[j] <= sy; ++j) {
            const int k = sy - ty_.first[j];
            if (k >= ty_.count[j]) continue;
            const std::uint32_t w = ty_.weight[ty_.offset[j] + static_cast<std::size_t>(k)];
            std::uint32_t* acc = sums_[j & 1].data();
            if (k == 0)
                for (std::size_t i = 0; i < values_; ++i)
                    acc[i] = w * h[i];
            else
                for (std::size_t i = 0; i < values_; ++i)
                    acc[i] += w * h[i];
        }
        for (; next_ < n && last(next_) <= sy; ++next_)
            EmitRow(next_, sums_[next_ & 1].data());
        return;
    }
    held_[slot] = sy;
    for (; next_ < n && last(next_) <= sy; ++next_) {
        const std::uint16_t* w = ty_.weight.data() + ty_.offset[next_];
        std::uint32_t* acc = sums_[0].data();
        for (int k = 0; k < ty_.count[next_]; ++k) {
            const int r = ty_.first[next_] + k;
            if (held_[r & 1] != r) return; // rows were skipped; nothing sound to draw
            const std::uint16_t* src = rows_[r & 1].data();
            if (k == 0)
                for (std::size_t i = 0; i < values_; ++i)
                    acc[i] = w[k] * src[i];
            else
                for (std::size_t i = 0; i < values_; ++i)
                    acc[i] += w[k] * src[i];
        }
        EmitRow(next_, acc);
    }
}

void SmoothStretcher::StartAt(int targetRow) noexcept {
    const std::size_t n = ty_.first.size();
    const std::int64_t j = static_cast<std::int64_t>(targetRow) - y0_;
    next_ = j <= 0 ? 0 : std::min(static_cast<std::size_t>(j), n);
    firstRow_ = next_ < n ? ty_.first[next_] : endRow_;
}

std::size_t SmoothStretcher::BandIndex(int targetRow) const noexcept {
    return static_cast<std::size_t>(std::clamp<std::int64_t>(
        static_cast<std::int64_t>(targetRow) - y0_, 0, static_cast<std::int64_t>(ty_.first.size()) - 1));
}

int SmoothStretcher::FirstRowOf(int targetRow) const noexcept {
    return ty_.first.empty() ? 0 : ty_.first[BandIndex(targetRow)];
}

int SmoothStretcher::EndRowOf(int targetRow) const noexcept {
    if (ty_.first.empty()) return 0;
    const std::size_t j = BandIndex(targetRow);
    return ty_.first[j] + ty_.count[j];
}

void StretchSmooth(TBitmap& target, const PixelSource& src, const TRect& rect) {
    SmoothStretcher stretcher(target, src.width, src.height, rect);
    for (int sy = stretcher.FirstRow(); sy < stretcher.EndRow(); ++sy)
        stretcher.PushRow(sy, src.pixels + static_cast<std::ptrdiff_t>(sy) * src.stride);
}
