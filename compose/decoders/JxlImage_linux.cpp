#include "compose/decoders/JxlImage.h"

#include "compose/decoders/Decoders.h"
#include "platform/LibraryFunctions.h"
#include "config/Messages.h"

#include <jxl/decode.h>
#include <memory>

namespace {

// clang-format off
#define JXL_FUNCTIONS(X)             \
    X(JxlDecoderCreate)              \
    X(JxlDecoderDestroy)             \
    X(JxlDecoderGetBasicInfo)        \
    X(JxlDecoderImageOutBufferSize)  \
    X(JxlDecoderProcessInput)        \
    X(JxlDecoderSetImageOutBuffer)   \
    X(JxlDecoderSetInput)            \
    X(JxlDecoderSubscribeEvents)
// clang-format on

struct JxlFunctions {
    ZENKS_LIBRARY_FUNCTIONS(JXL_FUNCTIONS)
};

// Loaded by the first picture; null when the system lacks the library.
const JxlFunctions* Jxl() {
    return LibraryFunctions<JxlFunctions>(ZENKS_LIBJXL);
}

struct DecoderDestroy {
    void operator()(JxlDecoder* d) const { Jxl()->JxlDecoderDestroy(d); }
};

[[noreturn]] void ThrowStatus(JxlDecoderStatus status) {
    if (status == JXL_DEC_NEED_MORE_INPUT) Throw(Msg::StreamRead);
    Throw(Msg::DecoderErrorCode, {std::string("JPEG-XL"), static_cast<long long>(status)});
}

} // namespace

void TJxlImage::LoadFromData(std::vector<std::uint8_t>&& data) {
    const JxlFunctions* jxl = Jxl();
    if (!jxl) Throw(Msg::NoDecoderInstalled, {std::string("jxl")});
    std::unique_ptr<JxlDecoder, DecoderDestroy> dec(jxl->JxlDecoderCreate(nullptr));
    if (!dec) Throw(Msg::OutOfMemory);
    JxlDecoderStatus status =
        jxl->JxlDecoderSubscribeEvents(dec.get(), JXL_DEC_BASIC_INFO | JXL_DEC_FULL_IMAGE);
    if (status != JXL_DEC_SUCCESS) ThrowStatus(status);
    status = jxl->JxlDecoderSetInput(dec.get(), data.data(), data.size());
    if (status != JXL_DEC_SUCCESS) ThrowStatus(status);
    // The input stays open: with all of the file given, asking for more
    // means the file ends early.

    JxlPixelFormat format{3, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 4};
    int width = 0, height = 0;
    TBitmap pixels;
    std::vector<std::uint8_t> quads;
    for (;;) {
        status = jxl->JxlDecoderProcessInput(dec.get());
        if (status == JXL_DEC_BASIC_INFO) {
            JxlBasicInfo info;
            status = jxl->JxlDecoderGetBasicInfo(dec.get(), &info);
            if (status != JXL_DEC_SUCCESS) ThrowStatus(status);
            if (info.xsize > 0x7FFFFFFF || info.ysize > 0x7FFFFFFF) Throw(Msg::OutOfMemory);
            // The sides are given before turning; the output is upright.
            const bool swap = info.orientation >= JXL_ORIENT_TRANSPOSE;
            width = static_cast<int>(swap ? info.ysize : info.xsize);
            height = static_cast<int>(swap ? info.xsize : info.ysize);
            CheckPixelBudget(width, height);
            if (info.alpha_bits > 0) format = {4, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
        } else if (status == JXL_DEC_NEED_IMAGE_OUT_BUFFER) {
            std::size_t size = 0;
            status = jxl->JxlDecoderImageOutBufferSize(dec.get(), &format, &size);
            if (status != JXL_DEC_SUCCESS) ThrowStatus(status);
            void* out = nullptr;
            std::size_t expected = 0;
            if (format.num_channels == 4) {
                expected = static_cast<std::size_t>(width) * 4 * static_cast<std::size_t>(height);
                if (size == expected) {
                    quads.resize(size);
                    out = quads.data();
                }
            } else {
                // Rows padded to 4 bytes are the bitmap's own rows: libjxl
                // writes straight into it, in RGB order, swapped below.
                pixels.SetSize(width, height);
                expected = static_cast<std::size_t>(pixels.Stride()) * static_cast<std::size_t>(height);
                out = pixels.ScanLine(0);
            }
            if (size != expected || !out) ThrowStatus(JXL_DEC_ERROR);
            status = jxl->JxlDecoderSetImageOutBuffer(dec.get(), &format, out, size);
            if (status != JXL_DEC_SUCCESS) ThrowStatus(status);
        } else if (status == JXL_DEC_FULL_IMAGE) {
            break; // the first frame is all we show
        } else {
            // SUCCESS before a frame, NEED_MORE_INPUT, ERROR.
            ThrowStatus(status == JXL_DEC_SUCCESS ? JXL_DEC_ERROR : status);
        }
    }

    std::vector<std::uint8_t> alpha;
    if (format.num_channels == 4) {
        SplitQuads(quads.data(), static_cast<std::ptrdiff_t>(width) * 4, width, height, QuadOrder::Rgba,
                   false, pixels, alpha);
    } else {
        for (int y = 0; y < height; ++y) {
            std::uint8_t* p = pixels.ScanLine(y);
            for (int x = 0; x < width; ++x, p += 3)
                std::swap(p[0], p[2]);
        }
    }
    SetPixels(std::move(pixels), std::move(alpha));
}

std::unique_ptr<TGraphic> NewJxlImage() {
    return std::make_unique<TJxlImage>();
}
