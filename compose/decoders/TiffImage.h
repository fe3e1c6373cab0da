#pragma once
// TIFF pictures through libtiff's RGBA interface: the first page, in any
// photometric interpretation that interface reads, turned as its
// Orientation tag says.
#include "compose/decoders/RasterImage.h"

class TTiffImage : public TRasterImage {
  public:
    // extension (without the dot) names the format when libtiff is missing.
    explicit TTiffImage(const char* extension) : extension_(extension) {}
    // Decodes the first page; throws "TIFF-Fehler: ..." with libtiff's text,
    // "Zu wenig Arbeitsspeicher" for a declared size past the pixel budget.
    void LoadFromData(std::vector<std::uint8_t>&& data) override;
    // The library opened at the first picture instead of libtiff's own
    // (Linux); only before that picture.
    static void SetLibraryForTesting(const char* fileName);

  private:
    const char* extension_;
};
