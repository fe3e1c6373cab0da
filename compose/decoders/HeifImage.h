#pragma once
// HEIC/HEIF and AVIF pictures: the primary image with the container's
// rotation, mirroring and cropping applied. Linux decodes through libheif
// (HeifImage_linux.cpp).
#include "compose/decoders/RasterImage.h"

#include <string>

class THeifImage : public TRasterImage {
  public:
    // format names the kind in messages ("HEIF" or "AVIF"), extension the
    // file's kind when the system lacks the library.
    THeifImage(std::string format, std::string extension)
        : format_(std::move(format)), extension_(std::move(extension)) {}
    // Decodes the primary image; throws "%s-Fehler: ..." with the library's
    // text, "Stream-Read-Fehler" when the file ends early, "Zu wenig
    // Arbeitsspeicher" for a declared size past the pixel budget.
    void LoadFromData(std::vector<std::uint8_t>&& data) override;
    // The library's file name, before the first picture loads it.
    static void SetLibraryForTesting(const std::string& fileName);

  private:
    std::string format_;
    std::string extension_;
};
