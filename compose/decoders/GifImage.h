#pragma once
// The GIF decoder: the first image of a GIF87a/GIF89a file, decoded at load,
// with its transparent colour kept as a mask so that drawing leaves the
// target's pixels beneath it alone.
#include "compose/Graphics.h"

#include <cstdint>
#include <vector>

class TGIFImage : public TGraphic {
  public:
    int Width() const override { return pixels_.Width(); }
    int Height() const override { return pixels_.Height(); }
    void LoadFromData(std::vector<std::uint8_t>&& data) override;
    void Draw(TBitmap& target, int x, int y) override { target.DrawPixels(Source(), x, y); }
    void StretchDraw(TBitmap& target, const TRect& rect) override { target.StretchPixels(Source(), rect); }

    // True when the image has a transparent colour (a mask goes with it).
    bool HasMask() const { return !mask_.empty(); }

  private:
    PixelSource Source() const;

    TBitmap pixels_;
    // One byte per pixel, 0 where the transparent colour is; empty without one.
    std::vector<std::uint8_t> mask_;
};
