#pragma once
// JPEG pictures through libjpeg: the header is read at load, the pixels are
// decompressed at the first draw and kept for later draws.
#include "compose/Graphics.h"

#include <cstdint>
#include <vector>

class TJPEGImage : public TGraphic {
  public:
    int Width() const override { return width_; }
    int Height() const override { return height_; }
    // Keeps the whole file and parses its header; throws "JPEG-Fehler #%d".
    void LoadFromData(std::vector<std::uint8_t>&& data) override;
    // Both decode at the first call; a decoding error is thrown from here and
    // leaves the picture as loaded, so a later draw tries again.
    void Draw(TBitmap& target, int x, int y) override;
    void StretchDraw(TBitmap& target, const TRect& rect) override;

    bool Grayscale() const { return grayscale_; }
    // True once the pixels are held and the compressed data is gone. A first
    // draw at (0, 0) into a black bitmap of exactly the picture's size decodes
    // straight into it and keeps the compressed data instead.
    bool Decoded() const { return decoded_; }

  private:
    void Decode();
    void DecodeInto(TBitmap& out) const;

    std::vector<std::uint8_t> data_;
    // The upright size; the stored one has the sides swapped for EXIF
    // orientations 5 to 8.
    int width_ = 0;
    int height_ = 0;
    int orientation_ = 1;
    bool grayscale_ = false;
    bool decoded_ = false;
    TBitmap pixels_;
};
