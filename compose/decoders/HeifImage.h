#pragma once
// HEIC/HEIF and AVIF pictures: the primary image with the container's
// rotation, mirroring and cropping applied. Linux decodes through libheif
// (HeifImage_linux.cpp).
#include "compose/decoders/RasterImage.h"

#include <string>

class THeifImage : public TRasterImage {
  public:
    // format names the kind in messages ("HEIF" or "AVIF").
    explicit THeifImage(std::string format) : format_(std::move(format)) {}
    // Decodes the primary image; throws "%s-Fehler: ..." with the library's
    // text, "Stream-Read-Fehler" when the file ends early, "Zu wenig
    // Arbeitsspeicher" for a declared size past the pixel budget.
    void LoadFromData(std::vector<std::uint8_t>&& data) override;

  private:
    std::string format_;
};
