// Pictures for the real-desktop stage and the read-back of its screenshots.
//   pixels bmp FILE WIDTH HEIGHT RRGGBB   writes a solid 24-bit BMP
//   pixels share FILE RRGGBB              prints the percentage of pixels of
//                                         that colour in an xwd or PPM (P6) file
//   pixels top FILE                       prints the commonest colour and its share
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace {
struct Rgb {
    int r, g, b;
};

Rgb ParseColour(const std::string& hex) {
    const unsigned long v = std::strtoul(hex.c_str(), nullptr, 16);
    return {int(v >> 16 & 255), int(v >> 8 & 255), int(v & 255)};
}

void Put16(std::vector<unsigned char>& o, unsigned v) {
    o.push_back(v & 255);
    o.push_back(v >> 8 & 255);
}
void Put32(std::vector<unsigned char>& o, unsigned v) {
    Put16(o, v & 0xffff);
    Put16(o, v >> 16);
}

int WriteBmp(const char* file, int w, int h, Rgb c) {
    const unsigned stride = (unsigned(w) * 3 + 3) & ~3u;
    std::vector<unsigned char> o;
    o.push_back('B');
    o.push_back('M');
    Put32(o, 54 + stride * h);
    Put32(o, 0);
    Put32(o, 54);
    Put32(o, 40);
    Put32(o, w);
    Put32(o, h);
    Put16(o, 1);
    Put16(o, 24);
    Put32(o, 0);
    Put32(o, stride * h);
    Put32(o, 2835);
    Put32(o, 2835);
    Put32(o, 0);
    Put32(o, 0);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            o.push_back(c.b);
            o.push_back(c.g);
            o.push_back(c.r);
        }
        for (unsigned p = unsigned(w) * 3; p < stride; ++p)
            o.push_back(0);
    }
    std::ofstream out(file, std::ios::binary);
    out.write(reinterpret_cast<const char*>(o.data()), std::streamsize(o.size()));
    return out ? 0 : 1;
}

struct Image {
    int w = 0, h = 0;
    std::vector<Rgb> px;
};

uint32_t Be32(const std::string& d, size_t at) {
    if (at + 4 > d.size()) throw std::runtime_error("short xwd header");
    return uint32_t((unsigned char)d[at]) << 24 | uint32_t((unsigned char)d[at + 1]) << 16 |
           uint32_t((unsigned char)d[at + 2]) << 8 | uint32_t((unsigned char)d[at + 3]);
}

int MaskShift(uint32_t m) {
    int s = 0;
    while (m && !(m & 1)) {
        m >>= 1;
        ++s;
    }
    return s;
}

Image ReadPpm(const std::string& d) {
    Image img;
    size_t pos = 2;
    int vals[3];
    for (int& v : vals) {
        while (pos < d.size() && (isspace((unsigned char)d[pos]) || d[pos] == '#')) {
            if (d[pos] == '#')
                while (pos < d.size() && d[pos] != '\n')
                    ++pos;
            else
                ++pos;
        }
        v = 0;
        while (pos < d.size() && isdigit((unsigned char)d[pos]))
            v = v * 10 + (d[pos++] - '0');
    }
    ++pos;
    img.w = vals[0];
    img.h = vals[1];
    if (vals[2] != 255 || d.size() < pos + size_t(img.w) * img.h * 3) throw std::runtime_error("bad ppm");
    for (size_t i = 0; i < size_t(img.w) * img.h; ++i)
        img.px.push_back({(unsigned char)d[pos + 3 * i], (unsigned char)d[pos + 3 * i + 1],
                          (unsigned char)d[pos + 3 * i + 2]});
    return img;
}

// xwd's dump of a TrueColor window: header fields are big-endian, pixels in
// the byte order the header names.
Image ReadXwd(const std::string& d) {
    Image img;
    const uint32_t headerSize = Be32(d, 0), format = Be32(d, 8), byteOrder = Be32(d, 28), bpp = Be32(d, 44),
                   stride = Be32(d, 48), redMask = Be32(d, 56), greenMask = Be32(d, 60),
                   blueMask = Be32(d, 64), ncolors = Be32(d, 76);
    img.w = int(Be32(d, 16));
    img.h = int(Be32(d, 20));
    if (format != 2 || (bpp != 32 && bpp != 24)) throw std::runtime_error("unsupported xwd");
    const size_t data = size_t(headerSize) + size_t(ncolors) * 12;
    if (d.size() < data + size_t(stride) * img.h) throw std::runtime_error("short xwd");
    const int bytes = int(bpp / 8);
    for (int y = 0; y < img.h; ++y)
        for (int x = 0; x < img.w; ++x) {
            const unsigned char* p = reinterpret_cast<const unsigned char*>(d.data()) + data +
                                     size_t(y) * stride + size_t(x) * bytes;
            uint32_t v = 0;
            for (int i = 0; i < bytes; ++i)
                v |= uint32_t(p[i]) << (byteOrder == 0 ? 8 * i : 8 * (bytes - 1 - i));
            img.px.push_back({int((v & redMask) >> MaskShift(redMask)),
                              int((v & greenMask) >> MaskShift(greenMask)),
                              int((v & blueMask) >> MaskShift(blueMask))});
        }
    return img;
}
} // namespace

int main(int argc, char** argv) {
    try {
        const std::string cmd = argc > 1 ? argv[1] : "";
        if (cmd == "bmp" && argc == 6)
            return WriteBmp(argv[2], std::atoi(argv[3]), std::atoi(argv[4]), ParseColour(argv[5]));
        if ((cmd == "share" && argc == 4) || (cmd == "top" && argc == 3)) {
            std::ifstream in(argv[2], std::ios::binary);
            const std::string d((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            const Image img = d.rfind("P6", 0) == 0 ? ReadPpm(d) : ReadXwd(d);
            if (cmd == "top") {
                std::map<int, size_t> count;
                for (const Rgb& p : img.px)
                    ++count[p.r << 16 | p.g << 8 | p.b];
                std::pair<int, size_t> best{0, 0};
                for (const auto& c : count)
                    if (c.second > best.second) best = c;
                char hex[8];
                std::snprintf(hex, sizeof hex, "%06x", best.first);
                std::cout << hex << " on " << (img.px.empty() ? 0 : best.second * 100 / img.px.size())
                          << "%\n";
                return 0;
            }
            const Rgb want = ParseColour(argv[3]);
            size_t hits = 0;
            for (const Rgb& p : img.px)
                if (std::abs(p.r - want.r) <= 12 && std::abs(p.g - want.g) <= 12 &&
                    std::abs(p.b - want.b) <= 12)
                    ++hits;
            std::cout << (img.px.empty() ? 0 : hits * 100 / img.px.size()) << "\n";
            return 0;
        }
        std::cerr << "usage: pixels bmp FILE W H RRGGBB | pixels share FILE RRGGBB | pixels top FILE\n";
        return 2;
    } catch (const std::exception& e) {
        std::cerr << "pixels: " << e.what() << "\n";
        return 1;
    }
}
