#pragma once
// PNG pictures through libpng: every colour type and bit depth, palettes
// with tRNS, Adam7; 16-bit samples scaled to 8, gAMA and iCCP not applied.
#include "compose/decoders/RasterImage.h"

class TPngImage : public TRasterImage {
  public:
    // Decodes the whole picture; throws "PNG-Fehler: ..." with libpng's text,
    // "Stream-Read-Fehler" when the file ends early, "Zu wenig
    // Arbeitsspeicher" for a declared size past the pixel budget.
    void LoadFromData(std::vector<std::uint8_t>&& data) override;
};
