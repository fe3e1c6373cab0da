#include "compose/decoders/Orientation.h"

#include "compose/decoders/ByteReader.h"
#include "config/Messages.h"

#include <cstring>

namespace {

// Big- or little-endian reads on top of the checked reader: a malformed block
// throws out of it and counts as no tag.
struct TiffReader {
    ByteReader r;
    bool bigEndian;
    std::uint16_t U16() {
        const std::uint16_t v = r.U16();
        return bigEndian ? static_cast<std::uint16_t>((v >> 8) | (v << 8)) : v;
    }
    std::uint32_t U32() {
        const std::uint32_t v = r.U32();
        return bigEndian ? __builtin_bswap32(v) : v;
    }
};

int OrientationInTiff(const std::uint8_t* tiff, std::size_t size) {
    if (size < 8) return 1;
    const bool big = tiff[0] == 'M' && tiff[1] == 'M';
    if (!big && !(tiff[0] == 'I' && tiff[1] == 'I')) return 1;
    TiffReader t{ByteReader(tiff, size), big};
    t.r.Skip(2);
    if (t.U16() != 42) return 1;
    t.r.Seek(t.U32());
    const unsigned count = t.U16();
    for (unsigned i = 0; i < count; ++i) {
        const std::uint16_t tag = t.U16();
        const std::uint16_t type = t.U16();
        const std::uint32_t n = t.U32();
        if (tag != 0x0112) {
            t.r.Skip(4);
            continue;
        }
        // SHORT, one value, held in the first two bytes of the value field.
        if (type != 3 || n != 1) return 1;
        const int v = t.U16();
        return v >= 1 && v <= 8 ? v : 1;
    }
    return 1;
}

} // namespace

int ExifOrientation(const std::uint8_t* data, std::size_t size) {
    // The EXIF block is an APP1 segment among the markers before the first scan.
    try {
        ByteReader r(data, size);
        if (r.U8() != 0xFF || r.U8() != 0xD8) return 1;
        for (;;) {
            if (r.U8() != 0xFF) return 1;
            std::uint8_t marker = r.U8();
            while (marker == 0xFF)
                marker = r.U8();
            if (marker == 0xDA || marker == 0xD9) return 1;
            if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) continue;
            const std::size_t length = static_cast<std::size_t>(r.U8()) << 8 | r.U8();
            if (length < 2) return 1;
            const std::uint8_t* body = r.Bytes(length - 2);
            if (marker == 0xE1 && length - 2 >= 6 && std::memcmp(body, "Exif\0\0", 6) == 0)
                return OrientationInTiff(body + 6, length - 8);
        }
    } catch (const ZenksError&) {
        return 1;
    }
}

TBitmap Orient(const TBitmap& stored, int orientation) {
    const int w = stored.Width(), h = stored.Height();
    if (orientation < 2 || orientation > 8) {
        TBitmap copy;
        copy.Assign(stored);
        return copy;
    }
    const bool swap = SwapsSides(orientation);
    TBitmap out(swap ? h : w, swap ? w : h);
    for (int y = 0; y < out.Height(); ++y) {
        std::uint8_t* d = out.ScanLine(y);
        for (int x = 0; x < out.Width(); ++x, d += 3) {
            int sx = 0, sy = 0;
            StoredPosition(orientation, w, h, x, y, sx, sy);
            std::memcpy(d, stored.ScanLine(sy) + sx * 3, 3);
        }
    }
    return out;
}
