#include "compose/decoders/GifImage.h"

#include "compose/decoders/ByteReader.h"
#include "compose/decoders/Decoders.h"
#include "config/Messages.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>

namespace {

constexpr int kMaxCodes = 4096;
// Pixel values reach 511 with the largest code size we accept; palettes hold
// at most 256 colours, and values past the palette are drawn black.
constexpr int kMaxPixelValues = 512;

// BGR triples, indexed by pixel value.
using Palette = std::array<std::uint8_t, kMaxPixelValues * 3>;

bool SignatureAccepted(const std::vector<std::uint8_t>& d) {
    if (d.size() < 6) return false;
    auto up = [](std::uint8_t c) {
        return (c >= 'a' && c <= 'z') ? static_cast<std::uint8_t>(c - 'a' + 'A') : c;
    };
    if (up(d[0]) != 'G' || up(d[1]) != 'I' || up(d[2]) != 'F') return false;
    const bool v87 = d[3] == '8' && d[4] == '7';
    const bool v89 = d[3] == '8' && d[4] == '9';
    return (v87 || v89) && up(d[5]) == 'A';
}

void ReadColourTable(ByteReader& r, int entries, Palette& pal) {
    const std::uint8_t* rgb = r.Bytes(static_cast<std::size_t>(entries) * 3);
    pal.fill(0);
    for (int i = 0; i < entries; ++i) {
        pal[i * 3 + 0] = rgb[i * 3 + 2];
        pal[i * 3 + 1] = rgb[i * 3 + 1];
        pal[i * 3 + 2] = rgb[i * 3 + 0];
    }
}

// A file without any colour table gets a grey ramp over the values its code
// size allows, so that the picture stays recognisable.
void GreyRamp(int codeSize, Palette& pal) {
    const int n = 1 << codeSize;
    for (int i = 0; i < n; ++i) {
        const auto g = static_cast<std::uint8_t>(i * 255 / (n - 1));
        pal[i * 3 + 0] = pal[i * 3 + 1] = pal[i * 3 + 2] = g;
    }
}

void SkipSubBlocks(ByteReader& r) {
    for (std::uint8_t n = r.U8(); n != 0; n = r.U8())
        r.Skip(n);
}

// The image data sub-blocks read as one little-endian bit stream. A missing
// block terminator or the end of the file is simply the end of the stream.
class SubBlockBits {
  public:
    SubBlockBits(const std::uint8_t* data, std::size_t size, std::size_t pos)
        : data_(data), size_(size), pos_(pos) {}

    bool Code(int width, int& code) {
        while (bits_ < width) {
            std::uint8_t b;
            if (!NextByte(b)) return false;
            acc_ |= static_cast<std::uint32_t>(b) << bits_;
            bits_ += 8;
        }
        code = static_cast<int>(acc_ & ((1u << width) - 1));
        acc_ >>= width;
        bits_ -= width;
        return true;
    }

  private:
    bool NextByte(std::uint8_t& b) {
        if (blockLeft_ == 0) {
            if (ended_ || pos_ >= size_) return false;
            blockLeft_ = data_[pos_++];
            if (blockLeft_ == 0) {
                ended_ = true;
                return false;
            }
        }
        if (pos_ >= size_) return false;
        b = data_[pos_++];
        --blockLeft_;
        return true;
    }

    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_;
    std::size_t blockLeft_ = 0;
    bool ended_ = false;
    std::uint32_t acc_ = 0;
    int bits_ = 0;
};

// Decodes LZW codes into pixel values, handing each to put() until put()
// returns false or the data end or stop making sense.
template <class Put> void DecodeLzw(SubBlockBits& in, int codeSize, Put put) {
    const int clear = 1 << codeSize;
    const int eoi = clear + 1;
    std::array<std::uint16_t, kMaxCodes> prefix{};
    std::array<std::uint16_t, kMaxCodes> suffix{};
    std::array<std::uint16_t, kMaxCodes + 1> stack{};
    int width = codeSize + 1;
    int next = clear + 2;
    int prev = -1;
    int code;
    while (in.Code(width, code)) {
        if (code == clear) {
            width = codeSize + 1;
            next = clear + 2;
            prev = -1;
            continue;
        }
        if (code == eoi) return;
        if (prev < 0) {
            if (code > clear) return; // no table entry exists yet
            if (!put(code)) return;
            prev = code;
            continue;
        }
        if (code > next || code == kMaxCodes) return;
        // code == next is the string being defined right now: the previous
        // string plus its own first value.
        int c = code == next ? prev : code;
        int sp = 0;
        while (c > eoi) {
            if (sp >= kMaxCodes) return; // a chain longer than any table
            stack[sp++] = suffix[c];
            c = prefix[c];
        }
        const int first = c;
        stack[sp++] = static_cast<std::uint16_t>(first);
        while (sp > 0)
            if (!put(stack[--sp])) return;
        if (code == next && !put(first)) return;
        // A full table stays as it is until the next clear code.
        if (next < kMaxCodes) {
            prefix[next] = static_cast<std::uint16_t>(prev);
            suffix[next] = static_cast<std::uint16_t>(first);
            ++next;
            if (next == (1 << width) && width < 12) ++width;
        }
        prev = code;
    }
}

} // namespace

PixelSource TGIFImage::Source() const {
    PixelSource s = pixels_.Source();
    if (!mask_.empty()) {
        s.mask = mask_.data();
        s.maskStride = pixels_.Width();
    }
    return s;
}

void TGIFImage::LoadFromData(std::vector<std::uint8_t>&& data) {
    if (!SignatureAccepted(data)) Throw(Msg::GifVersion);
    ByteReader r(data.data(), data.size());
    r.Skip(6);
    r.U16(); // logical screen width and height: the first image's own size counts
    r.U16();
    const std::uint8_t screenFlags = r.U8();
    r.U8(); // background colour index
    r.U8(); // pixel aspect ratio
    Palette global{};
    const bool hasGlobal = screenFlags & 0x80;
    if (hasGlobal) ReadColourTable(r, 2 << (screenFlags & 7), global);

    int transparent = -1;
    for (;;) {
        const std::uint8_t introducer = r.U8();
        if (introducer == 0x2C) break;
        // The trailer, or anything else, before the first image: the file
        // ends without the picture it promised.
        if (introducer != 0x21) Throw(Msg::StreamRead);
        const std::uint8_t label = r.U8();
        switch (label) {
        case 0xF9: {
            // Block size 4: flags, delay (2 bytes), transparent colour index.
            const std::uint8_t n = r.U8();
            const std::uint8_t* b = r.Bytes(n);
            transparent = (n >= 4 && (b[0] & 1)) ? b[3] : -1;
            SkipSubBlocks(r);
            break;
        }
        case 0x01:
            // A graphic control block before plain text belongs to that text.
            transparent = -1;
            SkipSubBlocks(r);
            break;
        case 0xFF:
        case 0xFE:
            SkipSubBlocks(r);
            break;
        default:
            Throw(Msg::GifExtension, {static_cast<long long>(label)});
        }
    }

    r.U16(); // left and top within the logical screen
    r.U16();
    const int width = r.U16();
    const int height = r.U16();
    const std::uint8_t imageFlags = r.U8();
    Palette pal{};
    const bool hasLocal = imageFlags & 0x80;
    if (hasLocal)
        ReadColourTable(r, 2 << (imageFlags & 7), pal);
    else if (hasGlobal)
        pal = global;
    const int codeSize = std::clamp<int>(r.U8(), 2, 9);
    if (!hasLocal && !hasGlobal) GreyRamp(codeSize, pal);

    CheckPixelBudget(width, height);
    TBitmap pixels(width, height);
    std::vector<std::uint8_t> mask;
    try {
        if (transparent >= 0) mask.assign(static_cast<std::size_t>(width) * height, transparent == 0 ? 0 : 1);
    } catch (const std::bad_alloc&) {
        Throw(Msg::OutOfMemory);
    }
    if (width > 0 && height > 0) {
        // Whatever the data do not reach keeps value 0. The new bitmap is
        // black already; otherwise one row is filled and copied, which
        // matters for large pictures.
        if ((pal[0] | pal[1] | pal[2]) != 0) {
            std::uint8_t* first = pixels.ScanLine(0);
            for (int x = 0; x < width; ++x)
                std::memcpy(first + x * 3, pal.data(), 3);
            for (int y = 1; y < height; ++y)
                std::memcpy(pixels.ScanLine(y), first, static_cast<std::size_t>(width) * 3);
        }
        // Interlaced rows arrive in four passes: every 8th from 0, every 8th
        // from 4, every 4th from 2, every 2nd from 1.
        std::vector<int> rows;
        rows.reserve(static_cast<std::size_t>(height));
        if (imageFlags & 0x40) {
            constexpr int start[] = {0, 4, 2, 1};
            constexpr int step[] = {8, 8, 4, 2};
            for (int p = 0; p < 4; ++p)
                for (int y = start[p]; y < height; y += step[p])
                    rows.push_back(y);
        } else {
            for (int y = 0; y < height; ++y)
                rows.push_back(y);
        }
        SubBlockBits bits(data.data(), data.size(), r.Position());
        std::size_t row = 0;
        int x = 0;
        std::uint8_t* line = pixels.ScanLine(rows[0]);
        std::uint8_t* maskLine =
            mask.empty() ? nullptr : mask.data() + static_cast<std::size_t>(rows[0]) * width;
        DecodeLzw(bits, codeSize, [&](int value) {
            std::memcpy(line + x * 3, pal.data() + value * 3, 3);
            if (maskLine) maskLine[x] = value != transparent;
            if (++x < width) return true;
            x = 0;
            if (++row == rows.size()) return false; // the image is complete
            line = pixels.ScanLine(rows[row]);
            if (maskLine) maskLine = mask.data() + static_cast<std::size_t>(rows[row]) * width;
            return true;
        });
    }
    pixels_ = std::move(pixels);
    mask_ = std::move(mask);
}

std::unique_ptr<TGraphic> NewGifImage() {
    return std::make_unique<TGIFImage>();
}
