#include "compose/Graphics.h"
#include "compose/decoders/Decoders.h"

namespace {
using Factory = std::unique_ptr<TGraphic> (*)();
std::unique_ptr<TGraphic> NewBitmap() {
    return std::make_unique<TBitmap>();
}

struct RegistryEntry {
    const char* extension;
    Factory create;
};
// In registration order; ".ico" is registered but has no decoder here, since
// the catalogue never offers icons.
constexpr RegistryEntry kRegistry[] = {
    {"wmf", NewMetafile},   {"emf", NewMetafile},   {"ico", nullptr},       {"bmp", NewBitmap},
    {"jpeg", NewJpegImage}, {"jpg", NewJpegImage},  {"gif", NewGifImage},   {"png", NewPngImage},
    {"webp", NewWebPImage}, {"avif", NewAvifImage}, {"heic", NewHeicImage}, {"heif", NewHeifImage},
    {"tif", NewTifImage},   {"tiff", NewTiffImage}, {"jxl", NewJxlImage},
};
} // namespace

std::unique_ptr<TGraphic> CreateGraphicForExtension(std::string_view extensionWithoutDot) {
    const std::string ext = LowerAscii(std::string(extensionWithoutDot));
    for (auto it = std::rbegin(kRegistry); it != std::rend(kRegistry); ++it)
        if (ext == it->extension) return it->create ? it->create() : nullptr;
    return nullptr;
}
