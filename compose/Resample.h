#pragma once
// The smooth stretch of fitting, the preview and the slide show: each target
// pixel the exact area average of the source it covers when shrinking,
// bilinear when enlarging. Separable, fixed-point, one row at a time.
#include "compose/Graphics.h"

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

// Stretches src into rect of target, clipped to the target; pixels outside
// rect are left alone. The source's mask is not honoured: callers pass
// sources without one.
void StretchSmooth(TBitmap& target, const PixelSource& src, const TRect& rect);
