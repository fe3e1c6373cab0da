#include "compose/decoders/HeifImage.h"

#include "compose/decoders/Decoders.h"
#include "platform/LibraryFunctions.h"
#include "config/Messages.h"

#include <algorithm>
#include <libheif/heif.h>
#include <memory>

namespace {

// clang-format off
#define HEIF_FUNCTIONS(X)                          \
    X(heif_context_alloc)                          \
    X(heif_context_free)                           \
    X(heif_context_get_primary_image_handle)       \
    X(heif_context_read_from_memory_without_copy)  \
    X(heif_context_set_max_decoding_threads)       \
    X(heif_context_set_maximum_image_size_limit)   \
    X(heif_decode_image)                           \
    X(heif_decoding_options_alloc)                 \
    X(heif_decoding_options_free)                  \
    X(heif_image_get_bits_per_pixel_range)         \
    X(heif_image_get_height)                       \
    X(heif_image_get_plane_readonly)               \
    X(heif_image_get_width)                        \
    X(heif_image_handle_get_height)                \
    X(heif_image_handle_get_ispe_height)           \
    X(heif_image_handle_get_ispe_width)            \
    X(heif_image_handle_get_width)                 \
    X(heif_image_handle_has_alpha_channel)         \
    X(heif_image_handle_is_premultiplied_alpha)    \
    X(heif_image_handle_release)                   \
    X(heif_image_release)
// clang-format on

struct HeifFunctions {
    ZENKS_LIBRARY_FUNCTIONS(HEIF_FUNCTIONS)
};

std::string g_library = ZENKS_LIBHEIF;

// Loaded by the first picture; null when the system lacks the library.
const HeifFunctions* Heif() {
    return LibraryFunctions<HeifFunctions>(g_library);
}

// libheif's own cap on either side; the pixel budget is checked on top.
constexpr int kMaxSide = 1 << 16;

struct ContextFree {
    void operator()(heif_context* c) const { Heif()->heif_context_free(c); }
};
struct HandleRelease {
    void operator()(heif_image_handle* h) const { Heif()->heif_image_handle_release(h); }
};
struct ImageRelease {
    void operator()(heif_image* i) const { Heif()->heif_image_release(i); }
};
struct OptionsFree {
    void operator()(heif_decoding_options* o) const { Heif()->heif_decoding_options_free(o); }
};

void Check(const heif_error& err, const std::string& format) {
    if (err.code == heif_error_Ok) return;
    if (err.code == heif_error_Invalid_input && err.subcode == heif_suberror_End_of_data)
        Throw(Msg::StreamRead);
    if (err.code == heif_error_Memory_allocation_error) Throw(Msg::OutOfMemory);
    Throw(Msg::DecoderError, {format, std::string(err.message ? err.message : "")});
}

} // namespace

void THeifImage::LoadFromData(std::vector<std::uint8_t>&& data) {
    const HeifFunctions* heif = Heif();
    if (!heif) Throw(Msg::NoDecoderInstalled, {extension_});
    std::unique_ptr<heif_context, ContextFree> ctx(heif->heif_context_alloc());
    if (!ctx) Throw(Msg::OutOfMemory);
    heif->heif_context_set_maximum_image_size_limit(ctx.get(), kMaxSide);
    heif->heif_context_set_max_decoding_threads(ctx.get(), 0);
    Check(heif->heif_context_read_from_memory_without_copy(ctx.get(), data.data(), data.size(), nullptr),
          format_);

    heif_image_handle* rawHandle = nullptr;
    Check(heif->heif_context_get_primary_image_handle(ctx.get(), &rawHandle), format_);
    std::unique_ptr<heif_image_handle, HandleRelease> handle(rawHandle);
    // The sides before cropping and turning; those only shrink or swap them.
    CheckPixelBudget(heif->heif_image_handle_get_width(handle.get()),
                     heif->heif_image_handle_get_height(handle.get()));
    // A grid or overlay is allocated at the canvas size its own box declares,
    // which nothing above has checked; a sound one is the picture's stored
    // size, and the coded frames exceed it by their block padding at most.
    // Both are held to that, and to the square the pixel budget allows.
    constexpr int kBlockPadding = 256;
    const int side = std::max(heif->heif_image_handle_get_ispe_width(handle.get()),
                              heif->heif_image_handle_get_ispe_height(handle.get()));
    heif->heif_context_set_maximum_image_size_limit(ctx.get(),
                                                    std::min(side + kBlockPadding, LargestSquareSide() + 1));
    const bool hasAlpha = heif->heif_image_handle_has_alpha_channel(handle.get()) != 0;

    std::unique_ptr<heif_decoding_options, OptionsFree> options(heif->heif_decoding_options_alloc());
    if (!options) Throw(Msg::OutOfMemory);
    options->convert_hdr_to_8bit = 1;
    heif_image* rawImage = nullptr;
    Check(heif->heif_decode_image(handle.get(), &rawImage, heif_colorspace_RGB,
                                  hasAlpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB,
                                  options.get()),
          format_);
    std::unique_ptr<heif_image, ImageRelease> image(rawImage);

    int stride = 0;
    const std::uint8_t* plane =
        heif->heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &stride);
    const int w = heif->heif_image_get_width(image.get(), heif_channel_interleaved);
    const int h = heif->heif_image_get_height(image.get(), heif_channel_interleaved);
    const int bytes = hasAlpha ? 4 : 3;
    if (!plane || w <= 0 || h <= 0 || stride < w * bytes ||
        heif->heif_image_get_bits_per_pixel_range(image.get(), heif_channel_interleaved) != 8)
        Throw(Msg::DecoderError, {format_, std::string("unexpected decoder output")});
    CheckPixelBudget(w, h);

    TBitmap pixels;
    std::vector<std::uint8_t> alpha;
    if (hasAlpha) {
        SplitQuads(plane, stride, w, h, QuadOrder::Rgba,
                   heif->heif_image_handle_is_premultiplied_alpha(handle.get()) != 0, pixels, alpha);
    } else {
        pixels.SetSize(w, h);
        for (int y = 0; y < h; ++y) {
            const std::uint8_t* s = plane + static_cast<std::ptrdiff_t>(y) * stride;
            std::uint8_t* d = pixels.ScanLine(y);
            for (int x = 0; x < w; ++x, s += 3, d += 3) {
                d[0] = s[2];
                d[1] = s[1];
                d[2] = s[0];
            }
        }
    }
    SetPixels(std::move(pixels), std::move(alpha));
}

void THeifImage::SetLibraryForTesting(const std::string& fileName) {
    g_library = fileName;
}

std::unique_ptr<TGraphic> NewHeifImage() {
    return std::make_unique<THeifImage>("HEIF", "heif");
}

std::unique_ptr<TGraphic> NewHeicImage() {
    return std::make_unique<THeifImage>("HEIF", "heic");
}

std::unique_ptr<TGraphic> NewAvifImage() {
    return std::make_unique<THeifImage>("AVIF", "avif");
}
