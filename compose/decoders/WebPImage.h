#pragma once
// WebP pictures through libwebp: lossy, lossless, alpha; of an animation the
// first frame as it appears on the canvas.
#include "compose/decoders/RasterImage.h"

class TWebPImage : public TRasterImage {
  public:
    // Decodes the whole picture; throws "WebP-Fehler #%d" with libwebp's
    // status, "Stream-Read-Fehler" when the data end early, "Zu wenig
    // Arbeitsspeicher" for a declared size past the pixel budget.
    void LoadFromData(std::vector<std::uint8_t>&& data) override;
};
