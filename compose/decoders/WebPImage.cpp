#include "compose/decoders/WebPImage.h"

#include "compose/decoders/Decoders.h"
#include "config/Messages.h"

#include <memory>
#include <webp/decode.h>
#include <webp/demux.h>

namespace {

[[noreturn]] void ThrowStatus(VP8StatusCode status) {
    if (status == VP8_STATUS_NOT_ENOUGH_DATA) Throw(Msg::StreamRead);
    if (status == VP8_STATUS_OUT_OF_MEMORY) Throw(Msg::OutOfMemory);
    Throw(Msg::DecoderErrorCode, {std::string("WebP"), static_cast<long long>(status)});
}

struct AnimDecoderDelete {
    void operator()(WebPAnimDecoder* d) const { WebPAnimDecoderDelete(d); }
};

void DecodeFirstFrame(const std::vector<std::uint8_t>& data, TBitmap& pixels,
                      std::vector<std::uint8_t>& alpha) {
    WebPAnimDecoderOptions options;
    if (!WebPAnimDecoderOptionsInit(&options)) Throw(Msg::OutOfMemory);
    options.color_mode = MODE_BGRA;
    options.use_threads = 0;
    const WebPData webp{data.data(), data.size()};
    std::unique_ptr<WebPAnimDecoder, AnimDecoderDelete> decoder(WebPAnimDecoderNew(&webp, &options));
    if (!decoder) ThrowStatus(VP8_STATUS_BITSTREAM_ERROR);
    WebPAnimInfo info;
    if (!WebPAnimDecoderGetInfo(decoder.get(), &info)) ThrowStatus(VP8_STATUS_BITSTREAM_ERROR);
    std::uint8_t* canvas = nullptr;
    int timestamp = 0;
    if (!WebPAnimDecoderGetNext(decoder.get(), &canvas, &timestamp)) ThrowStatus(VP8_STATUS_BITSTREAM_ERROR);
    const int w = static_cast<int>(info.canvas_width), h = static_cast<int>(info.canvas_height);
    SplitQuads(canvas, static_cast<std::ptrdiff_t>(w) * 4, w, h, QuadOrder::Bgra, false, pixels, alpha);
}

} // namespace

void TWebPImage::LoadFromData(std::vector<std::uint8_t>&& data) {
    WebPBitstreamFeatures features;
    const VP8StatusCode header = WebPGetFeatures(data.data(), data.size(), &features);
    if (header != VP8_STATUS_OK) ThrowStatus(header);
    // For an animation these are the canvas's sides.
    CheckPixelBudget(features.width, features.height);

    TBitmap pixels;
    std::vector<std::uint8_t> alpha;
    if (features.has_animation) {
        DecodeFirstFrame(data, pixels, alpha);
        SetPixels(std::move(pixels), std::move(alpha));
        return;
    }
    WebPDecoderConfig config;
    if (!WebPInitDecoderConfig(&config)) Throw(Msg::OutOfMemory);
    config.options.use_threads = 0;
    config.output.is_external_memory = 1;
    std::vector<std::uint8_t> quads;
    if (features.has_alpha) {
        try {
            quads.resize(static_cast<std::size_t>(features.width) * 4 *
                         static_cast<std::size_t>(features.height));
        } catch (const std::bad_alloc&) {
            Throw(Msg::OutOfMemory);
        }
        config.output.colorspace = MODE_BGRA;
        config.output.u.RGBA.rgba = quads.data();
        config.output.u.RGBA.stride = features.width * 4;
        config.output.u.RGBA.size = quads.size();
    } else {
        // Without alpha libwebp writes straight into the bitmap's rows.
        pixels.SetSize(features.width, features.height);
        config.output.colorspace = MODE_BGR;
        config.output.u.RGBA.rgba = pixels.ScanLine(0);
        config.output.u.RGBA.stride = static_cast<int>(pixels.Stride());
        config.output.u.RGBA.size = static_cast<std::size_t>(pixels.Stride()) * features.height;
    }
    const VP8StatusCode status = WebPDecode(data.data(), data.size(), &config);
    WebPFreeDecBuffer(&config.output);
    if (status != VP8_STATUS_OK) ThrowStatus(status);
    if (features.has_alpha)
        SplitQuads(quads.data(), static_cast<std::ptrdiff_t>(features.width) * 4, features.width,
                   features.height, QuadOrder::Bgra, false, pixels, alpha);
    SetPixels(std::move(pixels), std::move(alpha));
}

std::unique_ptr<TGraphic> NewWebPImage() {
    return std::make_unique<TWebPImage>();
}
