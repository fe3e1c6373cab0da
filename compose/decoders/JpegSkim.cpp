#include "compose/decoders/JpegSkim.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>

namespace jpegskim {
namespace {

// Codes up to kFast bits are looked up at once; AC symbols, each with the
// bits of its value, kMulti bits at a time, several per lookup.
constexpr int kFast = 11;
constexpr int kMulti = 12;

// A Huffman table as libjpeg reads it: canonical codes, shortest first.
struct Decoder {
    int maxcode[18] = {};
    int valoffset[18] = {};
    std::uint8_t values[256] = {};
    // (length << 8) | symbol; 0 when the code is longer than kFast.
    std::uint16_t fast[1 << kFast] = {};
    // AC only: (bits << 8) | (ends block << 7) | coefficients advanced; 0
    // when not even one symbol with its value fits.
    std::uint16_t multi[1 << kMulti] = {};
    bool dc = false;
};

// Refuses what libjpeg refuses: more than 256 codes, more codes of a length
// than fit, DC categories above 15.
bool Build(Decoder& d, const Huffman& h, bool dc) {
    int total = 0;
    for (int l = 1; l <= 16; ++l)
        total += h.bits[l];
    if (total > 256) return false;
    std::memcpy(d.values, h.values, sizeof d.values);
    int code = 0, k = 0;
    for (int l = 1; l <= 16; ++l) {
        const int n = h.bits[l];
        if (code + n >= (1 << l)) return false;
        if (n == 0) {
            d.maxcode[l] = -1;
        } else {
            d.valoffset[l] = k - code;
            d.maxcode[l] = code + n - 1;
            for (int i = 0; i < n; ++i) {
                const int sym = h.values[k + i];
                if (dc && sym > 15) return false;
                if (l <= kFast) {
                    const int shift = kFast - l;
                    const int first = (code + i) << shift;
                    for (int j = 0; j < (1 << shift); ++j)
                        d.fast[first + j] = static_cast<std::uint16_t>((l << 8) | sym);
                }
            }
        }
        code += n;
        k += n;
        code <<= 1;
    }
    d.maxcode[17] = INT_MAX;
    if (!dc) {
        for (int i = 0; i < (1 << kMulti); ++i) {
            int pos = 0, adv = 0, count = 0, end = 0;
            while (kMulti - pos > 0) {
                const int rest = kMulti - pos;
                const int window = rest >= kFast ? (i >> (rest - kFast)) & ((1 << kFast) - 1)
                                                 : (i << (kFast - rest)) & ((1 << kFast) - 1);
                const int e = d.fast[window];
                const int len = e >> 8, sym = e & 0xFF;
                if (e == 0 || len + (sym & 15) > rest) break;
                if ((sym & 15) == 0 && (sym >> 4) != 15) { // end of block
                    pos += len;
                    ++count;
                    end = 1;
                    break;
                }
                const int step = (sym & 15) ? (sym >> 4) + 1 : 16;
                if (adv + step > 63) break;
                adv += step;
                pos += len + (sym & 15);
                ++count;
            }
            d.multi[i] = count ? static_cast<std::uint16_t>((pos << 8) | (end << 7) | adv) : 0;
        }
    }
    return true;
}

int Category(int v) {
    int a = v < 0 ? -v : v, c = 0;
    while (a) {
        ++c;
        a >>= 1;
    }
    return c;
}

} // namespace

struct Skimmer::State {
    Layout layout;
    ReadFn read;
    // One decoder per distinct table: components that share a table share
    // its lookups in the cache.
    Decoder decoders[8];
    const Decoder* dc[4] = {};
    const Decoder* ac[4] = {};
    bool usable = false;

    // The data a window at a time; a few bytes before the read position are
    // kept, to find where the bits still held came from.
    static constexpr std::size_t kWindow = std::size_t{1} << 18;
    static constexpr std::size_t kKeep = 16;
    std::vector<std::uint8_t> win;
    std::uint64_t winBase = 0;
    std::size_t p = 0, len = 0;
    bool eof = false;
    // Bits not yet used, in the low n bits of buf; after a marker or the
    // end, zeros (padded of them), as libjpeg inserts.
    std::uint64_t buf = 0;
    int n = 0;
    bool ended = false;
    int padded = 0;
    long long pred[4] = {};
    std::vector<RowStart> starts;
    bool failed = false;

    void Refill() {
        const std::size_t keep = p > kKeep ? p - kKeep : 0;
        std::memmove(win.data(), win.data() + keep, len - keep);
        winBase += keep;
        p -= keep;
        len -= keep;
        const std::size_t got = eof ? 0 : read(winBase + len, win.data() + len, kWindow - len);
        if (got == 0) eof = true;
        len += got;
    }

    // Tops the bits up to at least 56: eight bytes at once where none is FF.
    void Fill() {
        if (n >= 56) return;
        if (len - p >= 8) {
            std::uint64_t w;
            std::memcpy(&w, win.data() + p, 8);
            const std::uint64_t x = ~w; // an FF byte becomes a zero byte
            if (!((x - 0x0101010101010101ull) & ~x & 0x8080808080808080ull)) {
                const int k = (63 - n) >> 3;
#if defined(__GNUC__)
                const std::uint64_t be = __builtin_bswap64(w);
#else
                std::uint64_t be = 0;
                for (int i = 0; i < 8; ++i)
                    be = (be << 8) | win[p + static_cast<std::size_t>(i)];
#endif
                buf = (buf << (8 * k)) | (be >> (64 - 8 * k));
                p += static_cast<std::size_t>(k);
                n += 8 * k;
                return;
            }
        }
        FillBytes();
    }

    void FillBytes() {
        while (n <= 56) {
            if (!ended && p + 2 > len && !eof) Refill();
            std::uint8_t b = 0;
            if (ended || p >= len) {
                ended = true;
                padded += 8;
            } else if (win[p] != 0xFF) {
                b = win[p++];
            } else if (p + 1 < len && win[p + 1] == 0) {
                b = 0xFF;
                p += 2;
            } else {
                // A marker, fill bytes, or an FF at the very end.
                ended = true;
                padded += 8;
            }
            buf = (buf << 8) | b;
            n += 8;
        }
    }

    // One row of MCUs, as libjpeg decodes it; false at a code no table has.
    // The bits are held in locals here, the hot loop of the skimmer.
    bool Row() {
        std::uint64_t bits = buf;
        int have = n;
        const auto peek = [&](int k) {
            return static_cast<std::uint32_t>((bits >> (have - k)) & ((std::uint64_t{1} << k) - 1));
        };
        const auto fill = [&] {
            buf = bits;
            n = have;
            Fill();
            bits = buf;
            have = n;
        };
        // The symbol of the code at the read position, or -1.
        const auto decode = [&](const Decoder& d) {
            const int e = d.fast[peek(kFast)];
            if (e) {
                have -= e >> 8;
                return e & 0xFF;
            }
            int l = kFast + 1;
            int code = static_cast<int>(peek(l));
            while (code > d.maxcode[l]) {
                if (++l > 16) return -1;
                code = static_cast<int>(peek(l));
            }
            have -= l;
            return static_cast<int>(d.values[(code + d.valoffset[l]) & 0xFF]);
        };
        bool ok = true;
        for (int m = 0; m < layout.mcusPerRow && ok; ++m)
            for (int c = 0; c < layout.components && ok; ++c) {
                const Decoder& dcTable = *dc[c];
                const Decoder& acTable = *ac[c];
                for (int b = 0; b < layout.blocks[c]; ++b) {
                    if (have < 32) fill();
                    const int s = decode(dcTable);
                    if (s < 0) {
                        ok = false;
                        break;
                    }
                    if (s) {
                        int v = static_cast<int>(peek(s));
                        have -= s;
                        if (v < (1 << (s - 1))) v -= (1 << s) - 1;
                        pred[c] += v;
                    }
                    for (int k = 1; k < 64;) {
                        if (have < 32) fill();
                        const int e = acTable.multi[peek(kMulti)];
                        if (e && k + (e & 127) <= 63) {
                            have -= e >> 8;
                            if (e & 128) break;
                            k += e & 127;
                            continue;
                        }
                        const int sym = decode(acTable);
                        if (sym < 0) {
                            ok = false;
                            break;
                        }
                        const int size = sym & 15, run = sym >> 4;
                        if (size) {
                            have -= size;
                            k += run + 1;
                        } else if (run == 15) {
                            k += 16;
                        } else {
                            break;
                        }
                    }
                    if (!ok) break;
                }
            }
        buf = bits;
        n = have;
        return ok;
    }

    // Notes where the next row begins; false when its bits are not all data.
    bool Note() {
        if (n < 32) Fill();
        const int unused = n - padded;
        if (unused <= 0) return false;
        for (int c = 0; c < layout.components; ++c)
            if (pred[c] < -32767 || pred[c] > 32767) return false;
        std::size_t q = p;
        for (int j = (unused + 7) / 8; j > 0; --j)
            q -= q >= 2 && win[q - 1] == 0 && win[q - 2] == 0xFF ? 2 : 1;
        RowStart r;
        r.byte = winBase + q;
        r.bit = (8 - unused % 8) % 8;
        r.value = win[q];
        for (int c = 0; c < layout.components; ++c)
            r.dc[c] = static_cast<int>(pred[c]);
        starts.push_back(r);
        return true;
    }
};

Skimmer::Skimmer(const Layout& layout, ReadFn read, std::uint64_t scanStart) : s_(std::make_unique<State>()) {
    State& s = *s_;
    s.layout = layout;
    s.read = std::move(read);
    s.winBase = scanStart;
    s.usable =
        layout.components >= 1 && layout.components <= 4 && layout.mcusPerRow > 0 && layout.mcuRows > 0;
    const Huffman* built[8] = {};
    int count = 0;
    const auto decoder = [&](const Huffman& h, bool isDc) -> const Decoder* {
        for (int i = 0; i < count; ++i)
            if (s.decoders[i].dc == isDc && std::memcmp(built[i], &h, sizeof h) == 0) return &s.decoders[i];
        s.decoders[count].dc = isDc;
        if (!Build(s.decoders[count], h, isDc)) return nullptr;
        built[count] = &h;
        return &s.decoders[count++];
    };
    for (int c = 0; s.usable && c < layout.components; ++c) {
        s.dc[c] = decoder(layout.dc[c], true);
        s.ac[c] = decoder(layout.ac[c], false);
        s.usable = layout.blocks[c] >= 1 && layout.blocks[c] <= 10 && s.dc[c] && s.ac[c];
    }
    if (!s.usable) return;
    s.win.resize(State::kWindow);
    s.Refill();
    s.failed = !s.Note();
}

Skimmer::~Skimmer() = default;

bool Skimmer::Usable() const {
    return s_->usable;
}

bool Skimmer::SkimTo(int row) {
    State& s = *s_;
    if (!s.usable) return false;
    row = std::min(row, s.layout.mcuRows);
    while (Reached() < row) {
        if (s.failed) return false;
        s.failed = !s.Row();
        // The last row may end in padding, but no row starts there.
        if (!s.failed) s.failed = !s.Note();
    }
    return true;
}

int Skimmer::Reached() const {
    return static_cast<int>(s_->starts.size()) - 1;
}

const RowStart& Skimmer::Start(int row) const {
    return s_->starts[static_cast<std::size_t>(row)];
}

namespace {

struct Encoder {
    std::uint16_t code[256] = {};
    std::uint8_t length[256] = {};
};

void BuildEncoder(Encoder& e, const Huffman& h) {
    int code = 0, k = 0;
    for (int l = 1; l <= 16; ++l) {
        for (int i = 0; i < h.bits[l]; ++i, ++code, ++k)
            if (e.length[h.values[k]] == 0) {
                e.code[h.values[k]] = static_cast<std::uint16_t>(code);
                e.length[h.values[k]] = static_cast<std::uint8_t>(l);
            }
        code <<= 1;
    }
}

struct BitWriter {
    std::vector<std::uint8_t>& out;
    std::uint64_t acc = 0;
    int bits = 0;
    void Put(std::uint32_t value, int length) {
        acc = (acc << length) | (value & ((1u << length) - 1));
        bits += length;
        while (bits >= 8) {
            const auto b = static_cast<std::uint8_t>(acc >> (bits - 8));
            out.push_back(b);
            if (b == 0xFF) out.push_back(0);
            bits -= 8;
        }
    }
};

} // namespace

bool SpliceRow(const Layout& layout, const RowStart& at, std::vector<std::uint8_t>& out,
               std::uint64_t& resumeAt) {
    if (layout.components < 1 || layout.components > 4 || layout.mcusPerRow < 1) return false;
    Encoder dc[4], ac[4];
    int perMcu = 0;
    for (int c = 0; c < layout.components; ++c) {
        BuildEncoder(dc[c], layout.dc[c]);
        BuildEncoder(ac[c], layout.ac[c]);
        const int cat = Category(at.dc[c]);
        if (cat > 15 || !dc[c].length[0] || !dc[c].length[cat] || !ac[c].length[0] || layout.blocks[c] < 1)
            return false;
        perMcu += layout.blocks[c];
    }
    // The component of each block in the row, in the order it is coded.
    std::vector<int> component;
    component.reserve(static_cast<std::size_t>(perMcu) * static_cast<std::size_t>(layout.mcusPerRow));
    for (int m = 0; m < layout.mcusPerRow; ++m)
        for (int c = 0; c < layout.components; ++c)
            for (int b = 0; b < layout.blocks[c]; ++b)
                component.push_back(c);
    // Every block has DC difference 0 and ends at once, but the last of each
    // component, whose difference is the predictor wanted.
    int bits = 0;
    for (std::size_t i = 0; i < component.size(); ++i) {
        const int c = component[i];
        const bool last = i + static_cast<std::size_t>(perMcu) >= component.size() &&
                          (i + 1 == component.size() || component[i + 1] != c);
        const int cat = last ? Category(at.dc[c]) : 0;
        bits += dc[c].length[cat] + cat + ac[c].length[0];
    }
    // One more AC coefficient in some blocks makes the row end with exactly
    // at.bit bits in its last byte: per table, a symbol for each remainder
    // of its length with value, modulo 8.
    int symbolFor[4][8];
    for (int c = 0; c < layout.components; ++c) {
        std::fill(std::begin(symbolFor[c]), std::end(symbolFor[c]), -1);
        for (int sym = 1; sym < 256; ++sym)
            if (ac[c].length[sym] && (sym & 15) != 0) {
                const int r = (ac[c].length[sym] + (sym & 15)) % 8;
                if (symbolFor[c][r] < 0) symbolFor[c][r] = sym;
            }
    }
    const int want = ((at.bit - bits) % 8 + 8) % 8;
    const std::size_t choices = std::min<std::size_t>(component.size(), 64);
    // from[i][r]: how remainder r is reached after block i (-2: not at all,
    // -1: without an extra symbol in block i, else that symbol's remainder).
    std::vector<std::array<int, 8>> from(choices + 1);
    for (auto& f : from)
        f.fill(-2);
    from[0][0] = -1;
    for (std::size_t i = 0; i < choices; ++i)
        for (int r = 0; r < 8; ++r) {
            if (from[i][r] == -2) continue;
            if (from[i + 1][r] == -2) from[i + 1][r] = -1;
            for (int e = 1; e < 8; ++e)
                if (symbolFor[component[i]][e] >= 0 && from[i + 1][(r + e) % 8] == -2)
                    from[i + 1][(r + e) % 8] = e;
        }
    if (from[choices][want] == -2) return false;
    std::vector<int> extra(component.size(), -1);
    for (std::size_t i = choices, r = static_cast<std::size_t>(want); i > 0; --i) {
        const int e = from[i][r];
        if (e >= 0) {
            extra[i - 1] = symbolFor[component[i - 1]][e];
            r = (r + 8 - static_cast<std::size_t>(e)) % 8;
        }
    }

    BitWriter w{out};
    for (std::size_t i = 0; i < component.size(); ++i) {
        const int c = component[i];
        const bool last = i + static_cast<std::size_t>(perMcu) >= component.size() &&
                          (i + 1 == component.size() || component[i + 1] != c);
        const int v = last ? at.dc[c] : 0;
        const int cat = Category(v);
        w.Put(dc[c].code[cat], dc[c].length[cat]);
        if (cat) w.Put(static_cast<std::uint32_t>(v < 0 ? v - 1 : v), cat);
        if (extra[i] >= 0) {
            const int sym = extra[i];
            w.Put(ac[c].code[sym], ac[c].length[sym]);
            w.Put(0, sym & 15);
        }
        w.Put(ac[c].code[0], ac[c].length[0]);
    }
    if (w.bits != at.bit) return false;
    if (at.bit == 0) {
        resumeAt = at.byte;
    } else {
        const int rest = 8 - at.bit;
        w.Put(at.value & ((1u << rest) - 1), rest);
        resumeAt = at.byte + (at.value == 0xFF ? 2 : 1);
    }
    return true;
}

bool WithHeight(const std::uint8_t* head, std::size_t size, int height, std::vector<std::uint8_t>& out) {
    if (size < 4 || head[0] != 0xFF || head[1] != 0xD8 || height < 1 || height > 65535) return false;
    out.assign(head, head + size);
    bool frame = false;
    std::size_t i = 2;
    while (i + 4 <= size) {
        if (head[i] != 0xFF) return false;
        const int m = head[i + 1];
        const std::size_t length = (static_cast<std::size_t>(head[i + 2]) << 8) | head[i + 3];
        if (length < 2 || i + 2 + length > size) return false;
        if (m == 0xC0 || m == 0xC1) {
            if (frame || length < 8) return false;
            out[i + 5] = static_cast<std::uint8_t>(height >> 8);
            out[i + 6] = static_cast<std::uint8_t>(height & 0xFF);
            frame = true;
        } else if ((m >= 0xC2 && m <= 0xCF && m != 0xC4 && m != 0xC8 && m != 0xCC) || m == 0xFF ||
                   m == 0xD8 || m == 0xD9 || (m >= 0xD0 && m <= 0xD7) || m == 0x01) {
            return false;
        }
        if (m == 0xDA) return frame && i + 2 + length == size;
        i += 2 + length;
    }
    return false;
}

} // namespace jpegskim
