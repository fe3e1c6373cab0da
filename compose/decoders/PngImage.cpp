#include "compose/decoders/PngImage.h"

#include "compose/decoders/Decoders.h"
#include "config/Messages.h"

#include <csetjmp>
#include <cstring>
#include <png.h>

namespace {

// libpng's own caps, set explicitly: a side of a million pixels, a thousand
// ancillary chunks, 8 MiB per chunk. Our pixel budget is checked on top.
constexpr png_uint_32 kMaxSide = 1'000'000;
constexpr png_uint_32 kMaxChunks = 1000;
constexpr png_alloc_size_t kMaxChunkBytes = 8u << 20;

enum class PngStep { Header, Decode };

// Everything the libpng driver needs and returns, plain data only, since the
// library's errors longjmp out of it.
struct PngJob {
    PngStep step = PngStep::Header;
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
    std::size_t pos = 0;
    int width = 0;
    int height = 0;
    bool alpha = false;
    // Decode: one pointer per row, 3 bytes per pixel (BGR) or 4 with alpha (BGRA).
    std::uint8_t** rows = nullptr;
    bool truncated = false;
    char message[200] = {};
};

extern "C" void PngError(png_structp png, png_const_charp message) {
    auto* job = static_cast<PngJob*>(png_get_error_ptr(png));
    std::strncpy(job->message, message ? message : "", sizeof job->message - 1);
    png_longjmp(png, 1);
}

extern "C" void PngWarning(png_structp, png_const_charp) {}

extern "C" void PngRead(png_structp png, png_bytep out, png_size_t length) {
    auto* job = static_cast<PngJob*>(png_get_io_ptr(png));
    if (length > job->size - job->pos) {
        job->truncated = true;
        png_error(png, "Read Error");
    }
    std::memcpy(out, job->data + job->pos, length);
    job->pos += length;
}

// The only place that calls into libpng; nothing here may need a destructor.
// Returns false with job.message (or job.truncated) set when libpng failed.
bool RunLibpng(PngJob& job) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &job, PngError, PngWarning);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    png_set_user_limits(png, kMaxSide, kMaxSide);
    png_set_chunk_cache_max(png, kMaxChunks);
    png_set_chunk_malloc_max(png, kMaxChunkBytes);
    png_set_read_fn(png, &job, PngRead);
    png_read_info(png, info);
    job.width = static_cast<int>(png_get_image_width(png, info));
    job.height = static_cast<int>(png_get_image_height(png, info));
    job.alpha = (png_get_color_type(png, info) & PNG_COLOR_MASK_ALPHA) != 0 ||
                png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    if (job.step == PngStep::Decode) {
        png_set_expand(png);
        png_set_scale_16(png);
        png_set_gray_to_rgb(png);
        png_set_bgr(png);
        png_set_interlace_handling(png);
        png_read_update_info(png, info);
        if (png_get_rowbytes(png, info) != static_cast<png_size_t>(job.width) * (job.alpha ? 4 : 3))
            png_error(png, "unexpected row size");
        png_read_image(png, job.rows);
    }
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}

[[noreturn]] void ThrowPngError(const PngJob& job) {
    if (job.truncated) Throw(Msg::StreamRead);
    Throw(Msg::DecoderError, {std::string("PNG"), std::string(job.message)});
}

} // namespace

void TPngImage::LoadFromData(std::vector<std::uint8_t>&& data) {
    PngJob job;
    job.data = data.data();
    job.size = data.size();
    if (!RunLibpng(job)) ThrowPngError(job);
    CheckPixelBudget(job.width, job.height);

    TBitmap pixels;
    std::vector<std::uint8_t> quads;
    std::vector<std::uint8_t*> rows;
    try {
        rows.resize(static_cast<std::size_t>(job.height));
        if (job.alpha) {
            quads.resize(static_cast<std::size_t>(job.width) * 4 * static_cast<std::size_t>(job.height));
            for (int y = 0; y < job.height; ++y)
                rows[y] = quads.data() + static_cast<std::size_t>(y) * job.width * 4;
        } else {
            // Without alpha libpng writes straight into the bitmap's rows.
            pixels.SetSize(job.width, job.height);
            for (int y = 0; y < job.height; ++y)
                rows[y] = pixels.ScanLine(y);
        }
    } catch (const std::bad_alloc&) {
        Throw(Msg::OutOfMemory);
    }
    PngJob decode;
    decode.step = PngStep::Decode;
    decode.data = data.data();
    decode.size = data.size();
    decode.rows = rows.data();
    if (!RunLibpng(decode)) ThrowPngError(decode);
    if (decode.width != job.width || decode.height != job.height || decode.alpha != job.alpha)
        Throw(Msg::StreamRead);

    std::vector<std::uint8_t> alpha;
    if (job.alpha) {
        std::vector<std::uint8_t*>().swap(rows);
        SplitQuads(quads.data(), static_cast<std::ptrdiff_t>(job.width) * 4, job.width, job.height,
                   QuadOrder::Bgra, false, pixels, alpha);
    }
    SetPixels(std::move(pixels), std::move(alpha));
}

std::unique_ptr<TGraphic> NewPngImage() {
    return std::make_unique<TPngImage>();
}
