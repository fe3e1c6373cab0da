#pragma once
// JPEG XL pictures: the first frame, as shown, turned upright. Linux decodes
// through libjxl (JxlImage_linux.cpp).
#include "compose/decoders/RasterImage.h"

class TJxlImage : public TRasterImage {
  public:
    // Decodes the first frame; throws "JPEG-XL-Fehler #%d" with libjxl's
    // status, "Stream-Read-Fehler" when the file ends early, "Zu wenig
    // Arbeitsspeicher" for a declared size past the pixel budget.
    void LoadFromData(std::vector<std::uint8_t>&& data) override;
};
