#pragma once
// The smooth stretch of fitting, the preview and the slide show: each target
// pixel the exact area average of the source it covers when shrinking,
// bilinear when enlarging. Separable, fixed-point, one row at a time.
#include "compose/Graphics.h"

#include <climits>
#include <cstdint>
#include <vector>

namespace resample {

// Weights are fixed-point with this sum per target pixel.
constexpr int kOne = 1 << 14;

// The source pixels and weights of the target coordinates [from, to) of an
// axis of dstLen pixels drawn from srcLen source pixels. Target coordinate
// from + i reads count[i] pixels from first[i] with weights starting at
// offset[i].
struct AxisTaps {
    std::vector<int> first;
    std::vector<int> count;
    std::vector<std::uint32_t> offset;
    std::vector<std::uint16_t> weight;
    int maxCount = 0;
};

// srcLen >= 1, dstLen >= 1, 0 <= from <= to <= dstLen.
AxisTaps ComputeAxisTaps(int srcLen, std::int64_t dstLen, std::int64_t from, std::int64_t to);

} // namespace resample

// Stretches a srcWidth x srcHeight picture that arrives one row at a time
// into rect of target, clipped to the target; pixels outside rect are left
// alone. A decoder can hand over its rows as it makes them, so the whole
// source is never held. Everything is allocated by the constructor.
// Only the target rows [bandTop, bandBottom) are drawn: two stretchers with
// adjoining bands draw the same pixels as one without, each from its own rows.
class SmoothStretcher {
  public:
    SmoothStretcher(TBitmap& target, int srcWidth, int srcHeight, const TRect& rect, int bandTop = 0,
                    int bandBottom = INT_MAX);
    // The source rows the visible part needs: [FirstRow(), EndRow()).
    int FirstRow() const { return firstRow_; }
    int EndRow() const { return endRow_; }
    // Source row sy as BGR triples; rows come in ascending order, every one
    // of [FirstRow(), EndRow()); others are ignored.
    void PushRow(int sy, const std::uint8_t* row) noexcept;
    // Draws only the target rows from targetRow down, as if the band began
    // there; before the first row only. Allocates nothing.
    void StartAt(int targetRow) noexcept;
    // The source rows that target row y needs: [FirstRowOf(y), EndRowOf(y)).
    // Both grow with y; rows outside the band give those of its ends.
    int FirstRowOf(int targetRow) const noexcept;
    int EndRowOf(int targetRow) const noexcept;
    int BandTop() const { return y0_; }
    int BandBottom() const { return y0_ + static_cast<int>(ty_.first.size()); }

  private:
    void EmitRow(std::size_t j, const std::uint32_t* sum) noexcept;
    // The index into ty_ of targetRow, clamped to the band; ty_ not empty.
    std::size_t BandIndex(int targetRow) const noexcept;

    TBitmap& target_;
    int x0_ = 0, y0_ = 0;
    int firstRow_ = 0, endRow_ = 0;
    bool shrinkRows_ = true;
    resample::AxisTaps tx_, ty_;
    // The columns again with exactly 2, 3, 4 or 8 taps each, zero-padded, when no
    // target pixel needs more: a loop of fixed length runs much faster.
    int fixedTaps_ = 0;
    std::vector<int> fixedFirst_;
    std::vector<std::uint16_t> fixedWeight_;
    std::size_t values_ = 0;
    std::size_t next_ = 0; // the next target row to finish
    // Shrinking: running sums of the two target rows a source row can share.
    // Enlarging: the last two source rows, scaled across, by parity.
    std::vector<std::uint32_t> sums_[2];
    std::vector<std::uint16_t> rows_[2];
    int held_[2] = {-1, -1};
};

// The same for a source held whole. The source's mask is not honoured:
// callers pass sources without one.
void StretchSmooth(TBitmap& target, const PixelSource& src, const TRect& rect);
