// HEIC/HEIF, AVIF and JPEG XL on Windows through the Windows Imaging Component:
// the codecs come with the system or as Store extensions, so the program
// carries no decoder of its own for them.
#include "compose/decoders/Decoders.h"
#include "compose/decoders/Orientation.h"
#include "compose/decoders/RasterImage.h"
#include "config/Messages.h"
#include "platform/ComPtr_win32.h"

#include <windows.h>
#include <wincodec.h>

#include <cstdint>
#include <cstdio>
#include <utility>
#include <cstring>
#include <string>
#include <vector>

namespace {

// COM for the current thread, unless the caller already set it up (in any
// apartment: a thread in the other one gets RPC_E_CHANGED_MODE and may go on).
struct ComScope {
    HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    ~ComScope() {
        if (SUCCEEDED(hr)) CoUninitialize();
    }
};

// Whatever codec the system has for the file's content decodes it.
class TWicImage : public TRasterImage {
  public:
    explicit TWicImage(std::string extension) : extension_(std::move(extension)) {}
    // Throws the no-codec message naming the extension, "WIC-Fehler: ..." with
    // the codec's HRESULT, "Zu wenig Arbeitsspeicher" for a declared size past
    // the pixel budget.
    void LoadFromData(std::vector<std::uint8_t>&& data) override;

  private:
    [[noreturn]] void Fail(HRESULT hr) const;

    std::string extension_;
};

void TWicImage::Fail(HRESULT hr) const {
    if (hr == WINCODEC_ERR_COMPONENTNOTFOUND) Throw(Msg::NoDecoderInstalled, {extension_});
    if (hr == E_OUTOFMEMORY) Throw(Msg::OutOfMemory);
    char code[16];
    std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(hr));
    Throw(Msg::DecoderError, {std::string("WIC"), std::string(code)});
}

// The Orientation value (1 to 8, as in EXIF) the container or the EXIF block
// states, or 1. HEIF keeps it in irot/imir; WIC offers both under one name.
int FrameOrientation(IWICBitmapFrameDecode* frame) {
    ComPtr<IWICMetadataQueryReader> reader;
    if (FAILED(frame->GetMetadataQueryReader(&reader)) || !reader.p) return 1;
    PROPVARIANT value;
    PropVariantInit(&value);
    int orientation = 1;
    if (SUCCEEDED(reader->GetMetadataByName(L"System.Photo.Orientation", &value)) && value.vt == VT_UI2 &&
        value.uiVal >= 1 && value.uiVal <= 8)
        orientation = value.uiVal;
    PropVariantClear(&value);
    return orientation;
}

void TWicImage::LoadFromData(std::vector<std::uint8_t>&& data) {
    ComScope com;
    ComPtr<IWICImagingFactory> factory;
    HRESULT hr = CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IWICImagingFactory, reinterpret_cast<void**>(&factory));
    if (FAILED(hr)) Fail(hr);
    ComPtr<IWICStream> stream;
    if (FAILED(hr = factory->CreateStream(&stream))) Fail(hr);
    if (data.empty() || data.size() > 0xFFFFFFFFu) Fail(WINCODEC_ERR_BADIMAGE);
    if (FAILED(hr = stream->InitializeFromMemory(data.data(), static_cast<DWORD>(data.size())))) Fail(hr);
    ComPtr<IWICBitmapDecoder> decoder;
    hr = factory->CreateDecoderFromStream(stream.p, nullptr, WICDecodeMetadataCacheOnDemand, &decoder);
    if (FAILED(hr)) Fail(hr);
    ComPtr<IWICBitmapFrameDecode> frame;
    if (FAILED(hr = decoder->GetFrame(0, &frame))) Fail(hr);

    UINT w = 0, h = 0;
    if (FAILED(hr = frame->GetSize(&w, &h))) Fail(hr);
    if (w == 0 || h == 0 || w > 0x7FFFFFFF || h > 0x7FFFFFFF) Fail(WINCODEC_ERR_BADIMAGE);
    // Refused on the declared size, before the codec decodes anything.
    CheckPixelBudget(w, h);

    ComPtr<IWICFormatConverter> converter;
    if (FAILED(hr = factory->CreateFormatConverter(&converter))) Fail(hr);
    hr = converter->Initialize(frame.p, GUID_WICPixelFormat32bppBGRA, WICBitmapDitherTypeNone, nullptr, 0.0,
                               WICBitmapPaletteTypeCustom);
    if (FAILED(hr)) Fail(hr);
    const UINT stride = w * 4;
    std::vector<std::uint8_t> bgra(static_cast<std::size_t>(stride) * h);
    if (bgra.size() > 0xFFFFFFFFu) Throw(Msg::OutOfMemory);
    if (FAILED(hr = converter->CopyPixels(nullptr, stride, static_cast<UINT>(bgra.size()), bgra.data())))
        Fail(hr);
    const int orientation = FrameOrientation(frame.p);

    int uw = static_cast<int>(w), uh = static_cast<int>(h);
    if (orientation > 1) {
        if (SwapsSides(orientation)) std::swap(uw, uh);
        std::vector<std::uint8_t> upright(bgra.size());
        for (int y = 0; y < uh; ++y)
            for (int x = 0; x < uw; ++x) {
                int sx = 0, sy = 0;
                StoredPosition(orientation, static_cast<int>(w), static_cast<int>(h), x, y, sx, sy);
                std::memcpy(upright.data() + (static_cast<std::size_t>(y) * uw + x) * 4,
                            bgra.data() + static_cast<std::size_t>(sy) * stride +
                                static_cast<std::size_t>(sx) * 4,
                            4);
            }
        bgra = std::move(upright);
    }
    TBitmap pixels;
    std::vector<std::uint8_t> alpha;
    SplitQuads(bgra.data(), static_cast<std::ptrdiff_t>(uw) * 4, uw, uh, QuadOrder::Bgra, false, pixels,
               alpha);
    SetPixels(std::move(pixels), std::move(alpha));
}

} // namespace

// The extension the registry chose names the format in the no-codec message.
std::unique_ptr<TGraphic> NewHeifImage() {
    return std::make_unique<TWicImage>("heif");
}
std::unique_ptr<TGraphic> NewHeicImage() {
    return std::make_unique<TWicImage>("heic");
}
std::unique_ptr<TGraphic> NewAvifImage() {
    return std::make_unique<TWicImage>("avif");
}
std::unique_ptr<TGraphic> NewJxlImage() {
    return std::make_unique<TWicImage>("jxl");
}
