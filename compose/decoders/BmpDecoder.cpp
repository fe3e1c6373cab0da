// Windows bitmap decoder: OS/2 1.x core headers and the info headers up to V5,
// palette, bit-field and RLE variants, into the 24-bit top-down DIB layout of
// TBitmap. Every size and offset from the file is checked in 64 bits before it
// is used, and the pixel budget is checked before anything is allocated.
#include "compose/decoders/ByteReader.h"
#include "compose/Graphics.h"
#include "config/Messages.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

namespace {

constexpr std::uint32_t kBiRgb = 0;
constexpr std::uint32_t kBiRle8 = 1;
constexpr std::uint32_t kBiRle4 = 2;
constexpr std::uint32_t kBiBitfields = 3;
constexpr std::uint32_t kBiAlphaBitfields = 6;

constexpr std::uint32_t kCoreHeaderSize = 12;
// The largest header we know (V5); longer ones are read as far as we know them.
constexpr std::uint32_t kMaxKnownHeaderSize = 124;

struct BmpHeader {
    std::int64_t width = 0;
    std::int64_t height = 0; // as stored: negative means top-down
    std::uint32_t bitCount = 0;
    std::uint32_t compression = kBiRgb;
    std::uint32_t clrUsed = 0;
    std::array<std::uint32_t, 3> masks{}; // red, green, blue
    bool core = false;
};

using Palette = std::array<std::array<std::uint8_t, 3>, 256>; // BGR

std::uint32_t Le32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

// One channel of a bit-field pixel: mask, shift to the lowest set bit, then a
// table that scales the (at most 8-bit) value to 0..255 with rounding.
struct Channel {
    std::uint32_t mask = 0;
    int shift = 0;    // to the lowest set bit
    int dropBits = 0; // further right shift for channels wider than 8 bits
    std::array<std::uint8_t, 256> scale{};

    explicit Channel(std::uint32_t m) : mask(m) {
        if (m == 0) return; // an empty mask gives a channel that is always 0
        shift = std::countr_zero(m);
        const int width = 32 - std::countl_zero(m) - shift;
        dropBits = std::max(width - 8, 0);
        const std::uint32_t max = (m >> shift) >> dropBits;
        for (std::uint32_t v = 0; v <= max && v < 256; ++v)
            scale[v] = static_cast<std::uint8_t>((v * 255 + max / 2) / max);
    }
    std::uint8_t operator()(std::uint32_t px) const { return scale[((px & mask) >> shift) >> dropBits]; }
};

BmpHeader ReadHeaders(ByteReader& r) {
    BmpHeader h;
    const std::uint32_t headerSize = r.U32();
    if (headerSize == kCoreHeaderSize) {
        h.core = true;
        h.width = r.U16();
        h.height = r.U16();
        r.U16(); // planes
        h.bitCount = r.U16();
        return h;
    }
    // The short OS/2 2.x headers (16 bytes and up) are the info header cut
    // short; the fields they leave out count as 0.
    if (headerSize < 16) Throw(Msg::BitmapInvalid);
    std::array<std::uint8_t, kMaxKnownHeaderSize> raw{};
    const std::uint32_t known = std::min(headerSize, kMaxKnownHeaderSize) - 4;
    r.Read(raw.data() + 4, known);
    r.Skip(headerSize - 4 - known);
    h.width = static_cast<std::int32_t>(Le32(&raw[4]));
    h.height = static_cast<std::int32_t>(Le32(&raw[8]));
    h.bitCount = static_cast<std::uint16_t>(raw[14] | (raw[15] << 8));
    h.compression = Le32(&raw[16]);
    h.clrUsed = Le32(&raw[32]);
    if (h.compression == kBiBitfields || h.compression == kBiAlphaBitfields) {
        if (headerSize >= 52) {
            h.masks = {Le32(&raw[40]), Le32(&raw[44]), Le32(&raw[48])};
        } else {
            // Masks follow a short header: three, or four with alpha.
            h.masks = {r.U32(), r.U32(), r.U32()};
            if (h.compression == kBiAlphaBitfields) r.U32();
        }
    }
    return h;
}

void Validate(const BmpHeader& h) {
    if (h.width < 0 || h.height == INT32_MIN) Throw(Msg::BitmapInvalid);
    const std::uint32_t bpp = h.bitCount;
    switch (h.compression) {
    case kBiRgb:
        if (bpp != 1 && bpp != 2 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32)
            Throw(Msg::BitmapInvalid);
        if (h.core && (bpp == 16 || bpp == 32)) Throw(Msg::BitmapInvalid);
        break;
    case kBiRle8:
        if (bpp != 8) Throw(Msg::BitmapInvalid);
        break;
    case kBiRle4:
        if (bpp != 4) Throw(Msg::BitmapInvalid);
        break;
    case kBiBitfields:
    case kBiAlphaBitfields:
        if (bpp != 16 && bpp != 32) Throw(Msg::BitmapInvalid);
        break;
    default: // JPEG or PNG inside a bitmap, OS/2 Huffman and RLE24: not supported
        Throw(Msg::BitmapInvalid);
    }
}

// --- Uncompressed rows -------------------------------------------------------

void DecodeIndexedRow(const std::uint8_t* s, std::uint8_t* d, int width, int bpp, const Palette& pal) {
    if (bpp == 8) {
        for (int x = 0; x < width; ++x, d += 3)
            std::memcpy(d, pal[s[x]].data(), 3);
        return;
    }
    const int perByte = 8 / bpp;
    const unsigned mask = (1u << bpp) - 1;
    int x = 0;
    for (; x < width; ++s) {
        const unsigned byte = *s;
        for (int k = perByte - 1; k >= 0 && x < width; --k, ++x, d += 3)
            std::memcpy(d, pal[(byte >> (k * bpp)) & mask].data(), 3);
    }
}

void DecodeBitfieldRow(const std::uint8_t* s, std::uint8_t* d, int width, int bpp, const Channel& r,
                       const Channel& g, const Channel& b) {
    if (bpp == 16) {
        for (int x = 0; x < width; ++x, s += 2, d += 3) {
            const std::uint32_t px = static_cast<std::uint32_t>(s[0] | (s[1] << 8));
            d[0] = b(px);
            d[1] = g(px);
            d[2] = r(px);
        }
        return;
    }
    for (int x = 0; x < width; ++x, s += 4, d += 3) {
        const std::uint32_t px = Le32(s);
        d[0] = b(px);
        d[1] = g(px);
        d[2] = r(px);
    }
}

// --- RLE ---------------------------------------------------------------------

// Runs and literals that reach past the row are clipped; rows past the bitmap
// end decoding. Pixels that a delta or an early end skips stay black.
void DecodeRle(ByteReader& r, TBitmap& out, bool fourBit, bool topDown, const Palette& pal) {
    const int width = out.Width();
    const int height = out.Height();
    std::int64_t x = 0, y = 0; // y counts rows in file order
    auto row = [&]() { return out.ScanLine(static_cast<int>(topDown ? y : height - 1 - y)); };
    auto put = [&](unsigned index) {
        if (x < width) std::memcpy(row() + x * 3, pal[index].data(), 3);
        ++x;
    };
    while (y < height) {
        const unsigned count = r.U8();
        const unsigned value = r.U8();
        if (count > 0) {
            const std::int64_t n = std::clamp<std::int64_t>(width - x, 0, count);
            std::uint8_t* d = n > 0 ? row() + x * 3 : nullptr;
            for (std::int64_t i = 0; i < n; ++i, d += 3)
                std::memcpy(d, pal[fourBit ? (i % 2 == 0 ? value >> 4 : value & 15) : value].data(), 3);
            x += count;
            continue;
        }
        switch (value) {
        case 0: // end of line
            x = 0;
            ++y;
            break;
        case 1: // end of bitmap
            return;
        case 2: // delta
            x += r.U8();
            y += r.U8();
            break;
        default: { // literal run, padded to a 16-bit boundary
            const std::size_t bytes = fourBit ? (value + 1) / 2 : value;
            const std::uint8_t* s = r.Bytes(bytes);
            r.Skip(bytes & 1);
            for (unsigned i = 0; i < value; ++i)
                put(fourBit ? (i % 2 == 0 ? s[i / 2] >> 4 : s[i / 2] & 15) : s[i]);
            break;
        }
        }
    }
}

} // namespace

void TBitmap::LoadFromData(std::vector<std::uint8_t>&& data) {
    if (data.empty()) {
        TBitmap empty;
        *this = std::move(empty);
        return;
    }
    ByteReader r(data.data(), data.size());
    if (data.size() >= 2 && (data[0] != 'B' || data[1] != 'M')) Throw(Msg::BitmapInvalid);
    r.Skip(10);
    const std::uint32_t offBits = r.U32();
    const BmpHeader h = ReadHeaders(r);
    Validate(h);
    const bool topDown = h.height < 0;
    const std::int64_t height = topDown ? -h.height : h.height;
    const std::int64_t width = h.width;
    CheckPixelBudget(width, height);

    // Palette: what the header declares, but never past the pixel start.
    const std::uint64_t paletteStart = r.Position();
    const std::uint64_t entrySize = h.core ? 3 : 4;
    std::uint64_t declared = 0;
    if (h.bitCount <= 8)
        declared = (h.clrUsed != 0 && !h.core) ? h.clrUsed : (1u << h.bitCount);
    else
        declared = h.core ? 0 : h.clrUsed; // an optional table that nothing uses
    const bool offBitsValid = offBits >= paletteStart && offBits <= data.size();
    const std::uint64_t pixelStart = offBitsValid ? offBits : paletteStart + declared * entrySize;
    Palette pal{}; // indexes past the palette draw black
    if (h.bitCount <= 8) {
        std::uint64_t entries = std::min<std::uint64_t>(declared, 1u << h.bitCount);
        if (offBitsValid) entries = std::min(entries, (offBits - paletteStart) / entrySize);
        const std::uint8_t* p = r.Bytes(static_cast<std::size_t>(entries * entrySize));
        for (std::uint64_t i = 0; i < entries; ++i)
            std::memcpy(pal[i].data(), p + i * entrySize, 3);
    }
    if (pixelStart > data.size()) Throw(Msg::StreamRead);
    r.Seek(static_cast<std::size_t>(pixelStart));

    TBitmap result;
    const bool rle = h.compression == kBiRle8 || h.compression == kBiRle4;
    const std::uint64_t srcStride = ((static_cast<std::uint64_t>(width) * h.bitCount + 31) / 32) * 4;
    // Uncompressed pixels must all be there before anything is allocated.
    if (!rle && width > 0 && srcStride * static_cast<std::uint64_t>(height) > r.Remaining())
        Throw(Msg::StreamRead);
    if (!rle && h.bitCount == 24 && width > 0 && height > 0) {
        // The file's rows already have our layout: move them to the front of
        // the file's own buffer and put them in order, without a new buffer.
        const std::size_t bytes = static_cast<std::size_t>(srcStride * height);
        const std::size_t stride = static_cast<std::size_t>(srcStride);
        std::vector<std::uint8_t> pixels = std::move(data);
        std::uint8_t* p = pixels.data();
        std::memmove(p, p + pixelStart, bytes);
        if (!topDown) {
            std::vector<std::uint8_t> tmp(stride);
            for (std::size_t a = 0, b = bytes - stride; a < b; a += stride, b -= stride) {
                std::memcpy(tmp.data(), p + a, stride);
                std::memcpy(p + a, p + b, stride);
                std::memcpy(p + b, tmp.data(), stride);
            }
        }
        const std::size_t used = static_cast<std::size_t>(width) * 3;
        if (used < stride)
            for (std::size_t row = 0; row < bytes; row += stride)
                std::memset(p + row + used, 0, stride - used);
        pixels.resize(bytes);
        if (pixels.capacity() - bytes > bytes / 4) pixels.shrink_to_fit(); // much trailing data
        data_ = PixelStore::Adopt(std::move(pixels));
        width_ = static_cast<int>(width);
        height_ = static_cast<int>(height);
        stride_ = static_cast<std::ptrdiff_t>(stride);
        return;
    }
    result.SetSize(static_cast<int>(width), static_cast<int>(height));
    if (width == 0 || height == 0) {
        *this = std::move(result);
        return;
    }

    const int w = static_cast<int>(width);
    const int hgt = static_cast<int>(height);
    if (rle) {
        DecodeRle(r, result, h.compression == kBiRle4, topDown, pal);
    } else {
        const std::uint8_t* src = r.Bytes(static_cast<std::size_t>(srcStride * height));
        auto srcRow = [&](int y) {
            return src + static_cast<std::size_t>(topDown ? y : hgt - 1 - y) * srcStride;
        };
        if (h.bitCount <= 8) {
            for (int y = 0; y < hgt; ++y)
                DecodeIndexedRow(srcRow(y), result.ScanLine(y), w, static_cast<int>(h.bitCount), pal);
        } else {
            const bool fields = h.compression == kBiBitfields || h.compression == kBiAlphaBitfields;
            std::array<std::uint32_t, 3> m = h.masks;
            if (!fields)
                m = h.bitCount == 16 ? std::array<std::uint32_t, 3>{0x7C00, 0x03E0, 0x001F}
                                     : std::array<std::uint32_t, 3>{0xFF0000, 0xFF00, 0xFF};
            if (h.bitCount == 32 && m == std::array<std::uint32_t, 3>{0xFF0000, 0xFF00, 0xFF}) {
                for (int y = 0; y < hgt; ++y) {
                    const std::uint8_t* s = srcRow(y);
                    std::uint8_t* d = result.ScanLine(y);
                    for (int x = 0; x < w; ++x, s += 4, d += 3)
                        std::memcpy(d, s, 3);
                }
            } else {
                const Channel cr(m[0]), cg(m[1]), cb(m[2]);
                for (int y = 0; y < hgt; ++y)
                    DecodeBitfieldRow(srcRow(y), result.ScanLine(y), w, static_cast<int>(h.bitCount), cr, cg,
                                      cb);
            }
        }
    }
    *this = std::move(result);
}
