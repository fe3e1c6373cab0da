#include "compose/decoders/MetafilePlayback.h"
#include "compose/decoders/Metafile.h"

#include <windows.h>

#include <cstring>

namespace {
std::uint32_t U32(const std::vector<std::uint8_t>& d, std::size_t at) {
    return d[at] | d[at + 1] << 8 | d[at + 2] << 16 | static_cast<std::uint32_t>(d[at + 3]) << 24;
}
std::int16_t S16(const std::vector<std::uint8_t>& d, std::size_t at) {
    return static_cast<std::int16_t>(d[at] | d[at + 1] << 8);
}

struct Emf {
    HENHMETAFILE h = nullptr;
    ~Emf() {
        if (h) DeleteEnhMetaFile(h);
    }
};
struct MemoryDc {
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = nullptr;
    ~MemoryDc() {
        if (old) SelectObject(dc, old);
        if (dc) DeleteDC(dc);
    }
};
struct Object {
    HGDIOBJ h = nullptr;
    ~Object() {
        if (h) DeleteObject(h);
    }
};

constexpr std::size_t kPlaceableHeader = 22;

// A placeable WMF becomes an enhanced metafile whose frame is the header's
// bounding box at its units per inch, so that stretching fills rect.
HENHMETAFILE FromPlaceable(const std::vector<std::uint8_t>& d) {
    const int width = S16(d, 10) - S16(d, 6);
    const int height = S16(d, 12) - S16(d, 8);
    int inch = static_cast<std::uint16_t>(d[14] | d[15] << 8);
    if (inch <= 0) inch = 1440;
    METAFILEPICT pict{MM_ANISOTROPIC, MulDiv(width < 0 ? -width : width, 2540, inch),
                      MulDiv(height < 0 ? -height : height, 2540, inch), nullptr};
    return SetWinMetaFileBits(static_cast<UINT>(d.size() - kPlaceableHeader), d.data() + kPlaceableHeader,
                              nullptr, &pict);
}
} // namespace

bool PlayMetafileInto(const std::vector<std::uint8_t>& data, TBitmap& target, const TRect& rect) {
    if (target.Width() <= 0 || target.Height() <= 0 || data.size() < kPlaceableHeader) return false;
    Emf emf;
    if (U32(data, 0) == 0x9AC6CDD7u)
        emf.h = FromPlaceable(data);
    else if (data.size() >= 44 && U32(data, 0) == 1 && U32(data, 40) == 0x464D4520u)
        emf.h = SetEnhMetaFileBits(static_cast<UINT>(data.size()), data.data());
    if (!emf.h) return false;

    // A top-down 24-bit DIB section has TBitmap's exact row layout.
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = target.Width();
    info.bmiHeader.biHeight = -target.Height();
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    MemoryDc mem;
    Object dib;
    dib.h = CreateDIBSection(mem.dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!mem.dc || !dib.h || !bits) return false;
    const std::size_t bytes =
        static_cast<std::size_t>(target.Stride()) * static_cast<std::size_t>(target.Height());
    std::memcpy(bits, target.ScanLine(0), bytes);
    mem.old = SelectObject(mem.dc, dib.h);
    const RECT r{rect.Left, rect.Top, rect.Right, rect.Bottom};
    const bool played = PlayEnhMetaFile(mem.dc, emf.h, &r) != 0;
    GdiFlush();
    std::memcpy(target.ScanLine(0), bits, bytes);
    return played;
}

void PlayPlaceableMetafile(const std::vector<std::uint8_t>& data, TBitmap& target, const TRect& rect) {
    PlayMetafileInto(data, target, rect);
}

void PlayEnhancedMetafile(const std::vector<std::uint8_t>& data, TBitmap& target, const TRect& rect) {
    PlayMetafileInto(data, target, rect);
}
