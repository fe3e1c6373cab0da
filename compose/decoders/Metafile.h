#pragma once
// Placeable Windows metafiles and enhanced metafiles: loading and the size of
// the picture here, playback by our own record interpreters (MetafileWmf.cpp,
// MetafileEmf.cpp) drawing through MetafileCanvas.
#include "compose/Graphics.h"

#include <cstdint>
#include <vector>

class TMetafile : public TGraphic {
  public:
    enum class TKind { None, Placeable, Enhanced };

    int Width() const override { return width_; }
    int Height() const override { return height_; }
    // Throws "Metadatei ist ungültig" for anything that is neither a placeable
    // metafile with a matching checksum nor an enhanced metafile, and
    // "Stream-Read-Fehler" when an enhanced metafile ends inside its header or
    // records.
    void LoadFromData(std::vector<std::uint8_t>&& data) override;
    void Draw(TBitmap& target, int x, int y) override;
    void StretchDraw(TBitmap& target, const TRect& rect) override;

    TKind Kind() const { return kind_; }

  private:
    TKind kind_ = TKind::None;
    int width_ = 0;
    int height_ = 0;
    std::vector<std::uint8_t> data_;
};

// The record interpreters. Both draw onto the target's pixels inside rect,
// clipped to the target, and never throw for damaged records: a record that
// runs past the data ends playback.
void PlayPlaceableMetafile(const std::vector<std::uint8_t>& data, TBitmap& target, const TRect& rect);
void PlayEnhancedMetafile(const std::vector<std::uint8_t>& data, TBitmap& target, const TRect& rect);
