#include "compose/decoders/TiffImage.h"

#include "compose/decoders/Decoders.h"
#include "compose/decoders/Orientation.h"
#include "config/Messages.h"
#include "platform/LibraryFunctions.h"

#include <bit>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <tiffio.h>

namespace {

// clang-format off
#define TIFF_FUNCTIONS(X)                     \
    X(TIFFClientOpenExt)                      \
    X(TIFFClose)                              \
    X(TIFFGetField)                           \
    X(TIFFGetFieldDefaulted)                  \
    X(TIFFOpenOptionsAlloc)                   \
    X(TIFFOpenOptionsFree)                    \
    X(TIFFOpenOptionsSetErrorHandlerExtR)     \
    X(TIFFOpenOptionsSetMaxSingleMemAlloc)    \
    X(TIFFOpenOptionsSetWarningHandlerExtR)   \
    X(TIFFRGBAImageOK)                        \
    X(TIFFReadRGBAImageOriented)
// clang-format on

// Opened at the first TIFF picture on Linux: libtiff and the compression
// libraries it pulls in cost every start of the program otherwise. Linked
// into the static Windows build.
struct TiffFunctions {
#ifdef _WIN32
    ZENKS_LINKED_FUNCTIONS(TIFF_FUNCTIONS)
#else
    ZENKS_LIBRARY_FUNCTIONS(TIFF_FUNCTIONS)
#endif
};

#ifdef _WIN32
const char* g_library = "";
#else
const char* g_library = ZENKS_LIBTIFF;
#endif

// Null when the system lacks the library.
const TiffFunctions* Tiff() {
    return LibraryFunctions<TiffFunctions>(g_library);
}

// No single buffer libtiff allocates itself (strips, tiles, tag arrays) may
// exceed this; the picture's own pixels are checked against the budget.
constexpr tmsize_t kMaxLibraryAlloc = tmsize_t{256} << 20;

// The file in memory as libtiff's client I/O sees it, plus the first error.
struct MemoryFile {
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
    std::size_t pos = 0;
    char message[200] = {};
};

extern "C" tmsize_t TiffRead(thandle_t h, void* out, tmsize_t n) {
    auto* f = static_cast<MemoryFile*>(h);
    if (n <= 0) return 0;
    const std::size_t left = f->pos < f->size ? f->size - f->pos : 0;
    const std::size_t count = static_cast<std::size_t>(n) < left ? static_cast<std::size_t>(n) : left;
    // An empty file has no data pointer at all.
    if (count == 0) return 0;
    std::memcpy(out, f->data + f->pos, count);
    f->pos += count;
    return static_cast<tmsize_t>(count);
}

extern "C" tmsize_t TiffWrite(thandle_t, void*, tmsize_t) {
    return -1;
}

extern "C" toff_t TiffSeek(thandle_t h, toff_t offset, int whence) {
    auto* f = static_cast<MemoryFile*>(h);
    std::uint64_t base = 0;
    if (whence == SEEK_CUR)
        base = f->pos;
    else if (whence == SEEK_END)
        base = f->size;
    if (offset > UINT64_MAX - base) return static_cast<toff_t>(-1);
    // Seeking past the end is allowed; reads there return nothing.
    const std::uint64_t pos = base + offset;
    if (pos > SIZE_MAX) return static_cast<toff_t>(-1);
    f->pos = static_cast<std::size_t>(pos);
    return pos;
}

extern "C" int TiffClose(thandle_t) {
    return 0;
}

extern "C" toff_t TiffSize(thandle_t h) {
    return static_cast<MemoryFile*>(h)->size;
}

extern "C" int TiffMap(thandle_t, void**, toff_t*) {
    return 0;
}

extern "C" void TiffUnmap(thandle_t, void*, toff_t) {}

extern "C" int TiffError(TIFF*, void* user, const char*, const char* format, va_list args) {
    auto* f = static_cast<MemoryFile*>(user);
    if (!f->message[0]) std::vsnprintf(f->message, sizeof f->message, format, args);
    return 1;
}

extern "C" int TiffWarning(TIFF*, void*, const char*, const char*, va_list) {
    return 1;
}

struct TiffClose_ {
    void operator()(TIFF* t) const { Tiff()->TIFFClose(t); }
};
struct OptionsFree {
    void operator()(TIFFOpenOptions* o) const { Tiff()->TIFFOpenOptionsFree(o); }
};

[[noreturn]] void ThrowTiffError(const MemoryFile& f, const char* fallback) {
    Throw(Msg::DecoderError, {std::string("TIFF"), std::string(f.message[0] ? f.message : fallback)});
}

// The orientation libtiff is asked for so that it returns the pixels in the
// order they are stored; its RGBA interface only flips, and for the four
// turned values it would flip as the unturned value of the same corner.
int StoredOrder(int orientation) {
    switch (orientation) {
    case ORIENTATION_LEFTTOP:
        return ORIENTATION_TOPLEFT;
    case ORIENTATION_RIGHTTOP:
        return ORIENTATION_TOPRIGHT;
    case ORIENTATION_RIGHTBOT:
        return ORIENTATION_BOTRIGHT;
    case ORIENTATION_LEFTBOT:
        return ORIENTATION_BOTLEFT;
    default:
        return orientation;
    }
}

} // namespace

void TTiffImage::LoadFromData(std::vector<std::uint8_t>&& data) {
    const TiffFunctions* tiff = Tiff();
    if (!tiff) Throw(Msg::NoDecoderInstalled, {std::string(extension_)});
    MemoryFile file;
    file.data = data.data();
    file.size = data.size();
    std::unique_ptr<TIFFOpenOptions, OptionsFree> options(tiff->TIFFOpenOptionsAlloc());
    if (!options) Throw(Msg::OutOfMemory);
    tiff->TIFFOpenOptionsSetMaxSingleMemAlloc(options.get(), kMaxLibraryAlloc);
    tiff->TIFFOpenOptionsSetErrorHandlerExtR(options.get(), TiffError, &file);
    tiff->TIFFOpenOptionsSetWarningHandlerExtR(options.get(), TiffWarning, &file);
    // "m": no memory mapping, the client procedures read from the buffer.
    std::unique_ptr<TIFF, TiffClose_> tif(tiff->TIFFClientOpenExt("picture", "rm", &file, TiffRead, TiffWrite,
                                                                  TiffSeek, TiffClose, TiffSize, TiffMap,
                                                                  TiffUnmap, options.get()));
    if (!tif) ThrowTiffError(file, "not a TIFF file");

    std::uint32_t w = 0, h = 0;
    std::uint16_t orientation = ORIENTATION_TOPLEFT;
    if (!tiff->TIFFGetField(tif.get(), TIFFTAG_IMAGEWIDTH, &w) ||
        !tiff->TIFFGetField(tif.get(), TIFFTAG_IMAGELENGTH, &h))
        ThrowTiffError(file, "missing image size");
    tiff->TIFFGetFieldDefaulted(tif.get(), TIFFTAG_ORIENTATION, &orientation);
    if (w > 0x7FFFFFFF || h > 0x7FFFFFFF) Throw(Msg::OutOfMemory);
    const int width = static_cast<int>(w), height = static_cast<int>(h);
    CheckPixelBudget(width, height);
    char why[1024] = {};
    if (!tiff->TIFFRGBAImageOK(tif.get(), why)) ThrowTiffError(file, why);

    std::vector<std::uint32_t> raster;
    try {
        raster.resize(static_cast<std::size_t>(w) * h);
    } catch (const std::bad_alloc&) {
        Throw(Msg::OutOfMemory);
    }
    if (!tiff->TIFFReadRGBAImageOriented(tif.get(), w, h, raster.data(), StoredOrder(orientation), 1))
        ThrowTiffError(file, "cannot read the picture");

    // libtiff's pixels are R, G, B, A from the low byte up, so in memory
    // (little-endian) in that order, the colour premultiplied by alpha.
    static_assert(std::endian::native == std::endian::little);
    const bool swap = SwapsSides(orientation);
    const int outW = swap ? height : width, outH = swap ? width : height;
    std::vector<std::uint32_t> upright;
    const std::uint32_t* src = raster.data();
    if (orientation >= 2 && orientation <= 8) {
        try {
            upright.resize(raster.size());
        } catch (const std::bad_alloc&) {
            Throw(Msg::OutOfMemory);
        }
        for (int y = 0; y < outH; ++y)
            for (int x = 0; x < outW; ++x) {
                int sx = 0, sy = 0;
                StoredPosition(orientation, width, height, x, y, sx, sy);
                upright[static_cast<std::size_t>(y) * outW + x] =
                    raster[static_cast<std::size_t>(sy) * width + sx];
            }
        std::vector<std::uint32_t>().swap(raster);
        src = upright.data();
    }
    TBitmap pixels;
    std::vector<std::uint8_t> alpha;
    SplitQuads(reinterpret_cast<const std::uint8_t*>(src), static_cast<std::ptrdiff_t>(outW) * 4, outW, outH,
               QuadOrder::Rgba, true, pixels, alpha);
    SetPixels(std::move(pixels), std::move(alpha));
}

std::unique_ptr<TGraphic> NewTifImage() {
    return std::make_unique<TTiffImage>("tif");
}

std::unique_ptr<TGraphic> NewTiffImage() {
    return std::make_unique<TTiffImage>("tiff");
}

void TTiffImage::SetLibraryForTesting(const char* fileName) {
    g_library = fileName;
}
