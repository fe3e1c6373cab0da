#pragma once
// TIFF pictures through libtiff's RGBA interface: the first page, in any
// photometric interpretation that interface reads, turned as its
// Orientation tag says.
#include "compose/decoders/RasterImage.h"

class TTiffImage : public TRasterImage {
  public:
    // Decodes the first page; throws "TIFF-Fehler: ..." with libtiff's text,
    // "Zu wenig Arbeitsspeicher" for a declared size past the pixel budget.
    void LoadFromData(std::vector<std::uint8_t>&& data) override;
};
