#pragma once
// The base of the pictures a library decodes whole at load: 24-bit pixels
// and, when some pixel is not fully opaque, an alpha plane.
#include "compose/Graphics.h"

#include <cstddef>
#include <cstdint>
#include <vector>

class TRasterImage : public TGraphic {
  public:
    int Width() const override { return pixels_.Width(); }
    int Height() const override { return pixels_.Height(); }
    void Draw(TBitmap& target, int x, int y) override { target.DrawPixels(Source(), x, y); }
    void StretchDraw(TBitmap& target, const TRect& rect) override { target.StretchPixels(Source(), rect); }

    bool HasAlpha() const { return !alpha_.empty(); }
    PixelSource Source() const;

  protected:
    // Takes the decoded picture; alpha is empty or one byte per pixel, rows
    // top-down. An alpha plane that is opaque everywhere is dropped.
    void SetPixels(TBitmap&& pixels, std::vector<std::uint8_t>&& alpha);

  private:
    TBitmap pixels_;
    std::vector<std::uint8_t> alpha_;
};

// The byte order of the 4-byte pixels a library hands out.
enum class QuadOrder { Rgba, Bgra };

// Splits width x height pixels of 4 bytes into 24-bit pixels and an alpha
// plane. premultiplied: the colour is already multiplied by alpha and is
// divided back. Throws OutOfMemory past the pixel budget.
void SplitQuads(const std::uint8_t* src, std::ptrdiff_t stride, int width, int height, QuadOrder order,
                bool premultiplied, TBitmap& pixels, std::vector<std::uint8_t>& alpha);

// An alpha plane of width x height bytes, OutOfMemory when it cannot be had.
std::vector<std::uint8_t> NewAlphaPlane(int width, int height);
