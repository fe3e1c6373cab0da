// PNG, WebP, TIFF (both systems) and HEIF/AVIF, JPEG XL (Linux) against the
// references of the shared corpus, their failures, EXIF orientation and the
// mixing of partly transparent pixels.
#include "compose/FitPicture.h"
#include "compose/Graphics.h"
#include "compose/decoders/RasterImage.h"
#include "compose/decoders/TiffImage.h"
#include "config/Messages.h"
#include "config/uOptionen.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>
#include <png.h>
#include <tiffio.h>
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using namespace testsupport;

namespace {

std::unique_ptr<TGraphic> Decode(const fs::path& file) {
    std::string ext = ExtractFileExt(file.string()).substr(1);
    auto g = CreateGraphicForExtension(ext);
    if (!g) return nullptr;
    g->LoadFromData(ReadBytes(file));
    return g;
}

std::string LoadError(const fs::path& file) {
    try {
        Decode(file);
    } catch (const ZenksError& e) {
        return e.what();
    }
    return "(loaded)";
}

// The decoded picture as RGBA: drawn on black and on white, which gives the
// premultiplied colour and 255 - alpha (see BlendOver).
RgbaImage Rendered(TGraphic& g) {
    RgbaImage out;
    out.width = g.Width();
    out.height = g.Height();
    if (auto* r = dynamic_cast<TRasterImage*>(&g)) {
        const PixelSource s = r->Source();
        out.rgba.resize(static_cast<std::size_t>(out.width) * out.height * 4);
        for (int y = 0; y < out.height; ++y)
            for (int x = 0; x < out.width; ++x) {
                const std::uint8_t* p = s.pixels + y * s.stride + x * 3;
                std::uint8_t* q = &out.rgba[(static_cast<std::size_t>(y) * out.width + x) * 4];
                q[0] = p[2];
                q[1] = p[1];
                q[2] = p[0];
                q[3] = s.alpha ? s.alpha[y * s.alphaStride + x] : 255;
            }
        return out;
    }
    TBitmap b(out.width, out.height);
    g.Draw(b, 0, 0);
    out.rgba.resize(static_cast<std::size_t>(out.width) * out.height * 4);
    for (int y = 0; y < out.height; ++y)
        for (int x = 0; x < out.width; ++x) {
            const std::uint8_t* p = b.ScanLine(y) + x * 3;
            std::uint8_t* q = &out.rgba[(static_cast<std::size_t>(y) * out.width + x) * 4];
            q[0] = p[2];
            q[1] = p[1];
            q[2] = p[0];
            q[3] = 255;
        }
    return out;
}

// The largest difference of colour (where the reference is opaque enough
// for colour to mean something) and of alpha.
struct Difference {
    int colour = 0;
    int alpha = 0;
};
Difference Compare(const RgbaImage& a, const RgbaImage& ref, int minAlphaForColour) {
    Difference d;
    for (std::size_t i = 0; i + 3 < ref.rgba.size() && i + 3 < a.rgba.size(); i += 4) {
        d.alpha = std::max(d.alpha, std::abs(a.rgba[i + 3] - ref.rgba[i + 3]));
        if (ref.rgba[i + 3] < minAlphaForColour) continue;
        for (int c = 0; c < 3; ++c)
            d.colour = std::max(d.colour, std::abs(a.rgba[i + c] - ref.rgba[i + c]));
    }
    return d;
}

struct GoodFile {
    const char* path;
    int colourTolerance;
    int alphaTolerance = 0;
    // Colour is compared where the reference's alpha is at least this.
    int minAlphaForColour = 1;
};

void ExpectMatchesReference(const GoodFile& f) {
    SCOPED_TRACE(f.path);
    const fs::path file = CorpusPath(f.path);
    const fs::path ref = file.parent_path() / "ref" / (file.filename().string() + ".png");
    std::unique_ptr<TGraphic> g;
    ASSERT_NO_THROW(g = Decode(file));
    ASSERT_NE(g, nullptr);
    const RgbaImage want = LoadReferenceImage(ref);
    ASSERT_EQ(g->Width(), want.width);
    ASSERT_EQ(g->Height(), want.height);
    const RgbaImage got = Rendered(*g);
    const Difference d = Compare(got, want, f.minAlphaForColour);
    EXPECT_LE(d.colour, f.colourTolerance);
    EXPECT_LE(d.alpha, f.alphaTolerance);
}

struct BadFile {
    const char* path;
    const char* message;
};

void ExpectRefusedAndHolderKept(const BadFile& f) {
    SCOPED_TRACE(f.path);
    TPicture holder;
    holder.LoadFromFile(CorpusPath("bmp/bmpsuite-g-pal8.bmp").string());
    TGraphic* before = holder.Graphic();
    const int w = holder.Width(), h = holder.Height();
    std::string message = "(loaded)";
    const auto start = std::chrono::steady_clock::now();
    try {
        holder.LoadFromFile(CorpusPath(f.path).string());
    } catch (const ZenksError& e) {
        message = e.what();
    }
    EXPECT_EQ(message, f.message);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(holder.Graphic(), before);
    EXPECT_EQ(holder.Width(), w);
    EXPECT_EQ(holder.Height(), h);
}

} // namespace

// Lossless formats, and lossy ones decoded by the same library as the
// reference, match exactly.
TEST(PictureFormats, PngFilesMatchTheirReferencesExactly) {
    for (const char* name :
         {"png/pngsuite-basn0g01.png", "png/pngsuite-basn0g16.png", "png/pngsuite-basn2c08.png",
          "png/pngsuite-basn2c16.png", "png/pngsuite-basn3p04.png", "png/pngsuite-tbbn3p08.png",
          "png/pngsuite-basn4a08.png", "png/pngsuite-basn4a16.png", "png/pngsuite-basn6a16.png",
          "png/pngsuite-basi6a08.png", "png/pngsuite-s09i3p02.png", "png/pngsuite-g03n2c08.png"})
        ExpectMatchesReference({name, 0});
}

TEST(PictureFormats, WebPFilesMatchTheirReferencesExactly) {
    for (const char* name : {"webp/golang-blue-purple-pink.lossy.webp", "webp/golang-video-001.lossy.webp",
                             "webp/libwebp-test.webp", "webp/golang-blue-purple-pink.lossless.webp",
                             "webp/golang-gopher-doc.1bpp.lossless.webp", "webp/golang-tux.lossless.webp",
                             "webp/golang-yellow_rose.lossy-with-alpha.webp", "webp/vips-big-height.webp"})
        ExpectMatchesReference({name, 0});
}

// The references divide libtiff's premultiplied colour back by alpha with
// its own rounding; where alpha is small one step of the premultiplied
// value is many steps of the straight one, so colour is compared only where
// alpha is at least half.
TEST(PictureFormats, TiffFilesMatchTheirReferences) {
    for (const char* name :
         {"tiff/libtiff-rgb-3c-8b.tiff", "tiff/libtiff-rgb-3c-16b.tiff", "tiff/libtiff-palette-1c-8b.tiff",
          "tiff/libtiff-miniswhite-1c-1b.tiff", "tiff/libtiff-tiff_with_subifd_chain.tif",
          "tiff/libtiff-quad-tile.jpg.tiff", "tiff/libtiff-deflate-last-strip-extra-data.tiff",
          "tiff/libtiff-test_ifd_loop_to_self.tif"})
        ExpectMatchesReference({name, 0});
    ExpectMatchesReference({"tiff/libtiff-minisblack-2c-8b-alpha.tiff", 1, 0, 128});
}

TEST(PictureFormats, PngWebPTiffFailuresGiveTheirMessageAndKeepTheHeldPicture) {
    for (const BadFile& f : std::initializer_list<BadFile>{
             {"png/pngsuite-xcsn0g01.png", "PNG-Fehler: IDAT: CRC error"},
             {"png/libpng-badcrc.png", "PNG-Fehler: IDAT: CRC error"},
             {"png/gdkpixbuf-invalid.3.png", "Stream-Read-Fehler"},
             {"png/gdkpixbuf-bug793470-crasher.png", "Zu wenig Arbeitsspeicher"},
             {"webp/exiv2-cve_2017_1000126_stack-oob-read.webp", "Stream-Read-Fehler"},
             {"webp/golang-blue-purple-pink.lossy-truncated.webp", "Stream-Read-Fehler"},
             {"tiff/gdkpixbuf-bug784903-overflow-dimensions.tiff", "Zu wenig Arbeitsspeicher"},
             {"tiff/gdkpixbuf-bug780269.tif", "Zu wenig Arbeitsspeicher"},
         })
        ExpectRefusedAndHolderKept(f);
}

#ifndef _WIN32
// libtiff is opened at the first TIFF picture; without it, a picture names
// its own extension. In a process of its own, since the library stays loaded
// once a picture has needed it.
TEST(PictureFormatsDeathTest, WithoutLibtiffAPictureNamesItsExtension) {
    testing::FLAGS_gtest_death_test_style = "threadsafe";
    EXPECT_EXIT(
        {
            TTiffImage::SetLibraryForTesting("libtiff-not-installed.so.6");
            std::fputs((LoadError(CorpusPath("tiff/libtiff-rgb-3c-8b.tiff")) + "|" +
                        LoadError(CorpusPath("tiff/libtiff-test_ifd_loop_to_self.tif")))
                           .c_str(),
                       stderr);
            std::exit(0);
        },
        testing::ExitedWithCode(0),
        "Formats \\.tiff ist auf diesem System kein Decoder installiert\\|.*Formats \\.tif ist auf");
}
#endif

TEST(PictureFormats, AnEmptyFileIsRefusedByEveryNewDecoder) {
    TempDir dir;
    for (const char* ext : {"png", "webp", "tif", "avif", "heic", "jxl"}) {
        if (!CreateGraphicForExtension(ext)) continue;
        const fs::path file = dir / (std::string("leer.") + ext);
        WriteBytes(file, {});
        EXPECT_NE(LoadError(file), "(loaded)") << ext;
    }
    EXPECT_EQ(LoadError(dir / "leer.png"), "Stream-Read-Fehler");
}

namespace {

void AppendChunk(std::vector<std::uint8_t>& out, const char* type, const std::vector<std::uint8_t>& body) {
    const auto be32 = [&out](std::uint32_t v) {
        for (int s = 24; s >= 0; s -= 8)
            out.push_back(static_cast<std::uint8_t>(v >> s));
    };
    be32(static_cast<std::uint32_t>(body.size()));
    const std::size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), body.begin(), body.end());
    be32(static_cast<std::uint32_t>(crc32(0, out.data() + start, static_cast<uInt>(out.size() - start))));
}

// A PNG whose header declares width x height, followed by a little valid
// image data for the first rows at most.
std::vector<std::uint8_t> PngDeclaring(std::uint32_t width, std::uint32_t height) {
    std::vector<std::uint8_t> out = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    std::vector<std::uint8_t> ihdr = {
        static_cast<std::uint8_t>(width >> 24),
        static_cast<std::uint8_t>(width >> 16),
        static_cast<std::uint8_t>(width >> 8),
        static_cast<std::uint8_t>(width),
        static_cast<std::uint8_t>(height >> 24),
        static_cast<std::uint8_t>(height >> 16),
        static_cast<std::uint8_t>(height >> 8),
        static_cast<std::uint8_t>(height),
        8, // bit depth
        2, // colour type: RGB
        0,
        0,
        0 // deflate, adaptive filters, not interlaced
    };
    AppendChunk(out, "IHDR", ihdr);
    std::vector<std::uint8_t> raw(1000, 0);
    std::vector<std::uint8_t> packed(compressBound(raw.size()));
    uLongf n = packed.size();
    compress(packed.data(), &n, raw.data(), raw.size());
    packed.resize(n);
    AppendChunk(out, "IDAT", packed);
    AppendChunk(out, "IEND", {});
    return out;
}

// An RGBA PNG written by libpng from straight (not premultiplied) samples.
std::vector<std::uint8_t> WritePng(int w, int h, const std::vector<std::uint8_t>& rgba) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(w);
    image.height = static_cast<png_uint_32>(h);
    image.format = PNG_FORMAT_RGBA;
    png_alloc_size_t size = 0;
    png_image_write_to_memory(&image, nullptr, &size, 0, rgba.data(), 0, nullptr);
    std::vector<std::uint8_t> out(size);
    if (!png_image_write_to_memory(&image, out.data(), &size, 0, rgba.data(), 0, nullptr)) ADD_FAILURE();
    out.resize(size);
    return out;
}

} // namespace

TEST(PictureFormats, ADecompressionBombIsRefusedAtOnce) {
    TempDir dir;
    WriteBytes(dir / "bombe.png", PngDeclaring(60000, 60000));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(LoadError(dir / "bombe.png"), "Zu wenig Arbeitsspeicher");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
    // Within the budget the same file only lacks its data.
    WriteBytes(dir / "kurz.png", PngDeclaring(2000, 2000));
    EXPECT_EQ(LoadError(dir / "kurz.png"), "PNG-Fehler: Not enough image data");
    // Past libpng's own limit of a million pixels a side.
    WriteBytes(dir / "lang.png", PngDeclaring(2'000'000, 1));
    EXPECT_EQ(LoadError(dir / "lang.png").rfind("PNG-Fehler: ", 0), 0u);
}

// Fully transparent pixels leave the target alone, opaque ones replace it,
// half-transparent ones mix; a tile repeated into a bitmap mixes with what
// the bitmap held, exactly as drawing the picture there would.
TEST(PictureFormats, HalfTransparentTileRepeatedIntoABitmapMixesWithWhatItHeld) {
    // 2 x 2: opaque red, transparent, half-transparent blue, quarter white.
    const std::vector<std::uint8_t> rgba = {255, 0, 0, 255, 9, 9, 9, 0, 0, 0, 255, 128, 255, 255, 255, 64};
    TempDir dir;
    WriteBytes(dir / "kachel.png", WritePng(2, 2, rgba));
    TOptionen o;
    o.KachelMaxBreite = 10;
    o.KachelMaxHoehe = 10;
    o.KachelTyp = 1;
    o.KachelBildbreite = 5;
    o.KachelBildhoehe = 3;
    TPicture target;
    TBitmap& b = target.Bitmap();
    b.SetSize(5, 3);
    // The bitmap holds grey 100 (B, G, R all alike) before the picture comes.
    for (int y = 0; y < 3; ++y)
        std::memset(b.ScanLine(y), 100, 15);
    ASSERT_EQ(o.FitPicture(target, (dir / "kachel.png").string()), "");
    ASSERT_EQ(b.Width(), 5);
    const auto bgr = [&b](int x, int y) {
        const std::uint8_t* p = b.ScanLine(y) + x * 3;
        return std::vector<int>{p[0], p[1], p[2]};
    };
    const int halfBlue = BlendOver(Premultiply(255, 128), 100, 128);
    const int halfNone = BlendOver(0, 100, 128);
    const int quarterWhite = BlendOver(Premultiply(255, 64), 100, 64);
    EXPECT_EQ(halfBlue, 178);
    EXPECT_EQ(halfNone, 50);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) {
            SCOPED_TRACE(std::to_string(x) + "," + std::to_string(y));
            const int tx = x % 2, ty = y % 2;
            if (tx == 0 && ty == 0) EXPECT_EQ(bgr(x, y), (std::vector<int>{0, 0, 255}));
            if (tx == 1 && ty == 0) EXPECT_EQ(bgr(x, y), (std::vector<int>{100, 100, 100}));
            if (tx == 0 && ty == 1) EXPECT_EQ(bgr(x, y), (std::vector<int>{halfBlue, halfNone, halfNone}));
            if (tx == 1 && ty == 1)
                EXPECT_EQ(bgr(x, y), (std::vector<int>{quarterWhite, quarterWhite, quarterWhite}));
        }
    // Drawn straight at a point the same pixels come out.
    TBitmap direct(2, 2);
    for (int y = 0; y < 2; ++y)
        std::memset(direct.ScanLine(y), 100, 6);
    auto g = Decode(dir / "kachel.png");
    g->Draw(direct, 0, 0);
    for (int y = 0; y < 2; ++y)
        EXPECT_EQ(std::memcmp(direct.ScanLine(y), b.ScanLine(y), 6), 0);
    // And stretched: each source pixel mixes over the black fill alike.
    TBitmap stretched(4, 4);
    g->StretchDraw(stretched, {0, 0, 4, 4});
    EXPECT_EQ(stretched.ScanLine(3)[0], Premultiply(255, 128));
    EXPECT_EQ(stretched.ScanLine(0)[3 * 3 + 2], 0);
}

TEST(ExifOrientation, TheEightOrientationsGiveTheSameUprightPicture) {
    const RgbaImage upright = LoadReferenceImage(CorpusPath("exif/ref/exiforient-landscape-4-3_1.jpg.png"));
    for (int v = 0; v <= 8; ++v) {
        const std::string name = "exif/exiforient-landscape-4-3_" + std::to_string(v) + ".jpg";
        SCOPED_TRACE(name);
        TPicture holder;
        holder.LoadFromFile(CorpusPath(name).string());
        ASSERT_EQ(holder.Width(), 320);
        ASSERT_EQ(holder.Height(), 240);
        const RgbaImage got = Rendered(*holder.Graphic());
        // Against its own reference (libjpeg-turbo again, turned by
        // ImageMagick): the same decoder, so only ImageMagick's colour
        // conversion may differ by a step.
        const RgbaImage ref = LoadReferenceImage(
            CorpusPath("exif/ref/exiforient-landscape-4-3_" + std::to_string(v) + ".jpg.png"));
        EXPECT_LE(Compare(got, ref, 1).colour, 2);
        // Against orientation 1 outside the corner with the digit: separate
        // encodes of the same picture, so only close on average.
        long long sum = 0, n = 0;
        for (int y = 0; y < 240; ++y)
            for (int x = 0; x < 320; ++x) {
                if (x >= 270 && y >= 180) continue;
                for (int c = 0; c < 3; ++c, ++n)
                    sum += std::abs(got.rgba[(y * 320 + x) * 4 + c] - upright.rgba[(y * 320 + x) * 4 + c]);
            }
        EXPECT_LT(static_cast<double>(sum) / n, 3.0);
    }
}

TEST(ExifOrientation, ASmoothShrinkOfATurnedPhotoIsUprightToo) {
    // Drawn at half size with smoothing, a turned photo takes the scaled
    // decode: it must come out as the upright full decode shrunk alike.
    for (int v : {1, 5, 6, 8}) {
        const std::string name = "exif/exiforient-landscape-4-3_" + std::to_string(v) + ".jpg";
        SCOPED_TRACE(name);
        TPicture scaled, full;
        scaled.LoadFromFile(CorpusPath(name).string());
        full.LoadFromFile(CorpusPath(name).string());
        TBitmap viaScaled(160, 120), viaFull(160, 120), upright;
        viaScaled.SetStretchFilter(StretchFilter::Smooth);
        viaFull.SetStretchFilter(StretchFilter::Smooth);
        scaled.Graphic()->StretchDraw(viaScaled, {0, 0, 160, 120});
        upright.SetSize(320, 240);
        full.Graphic()->Draw(upright, 0, 0);
        viaFull.StretchPixels(upright.Source(), {0, 0, 160, 120});
        long long sum = 0;
        for (int y = 0; y < 120; ++y)
            for (int x = 0; x < 480; ++x)
                sum += std::abs(viaScaled.ScanLine(y)[x] - viaFull.ScanLine(y)[x]);
        EXPECT_LT(static_cast<double>(sum) / (120 * 480), 3.0);
    }
}

TEST(ExifOrientation, TheUprightSizeIsWhatFittingAndTheTileTestSee) {
    // Orientation 6 stores the picture sideways, 240 x 320: as stored it would
    // pass this tile test, upright (320 x 240) it does not.
    TOptionen o;
    o.KachelMaxBreite = 300;
    o.KachelMaxHoehe = 330;
    o.KachelTyp = 0;
    TPicture target;
    ASSERT_EQ(o.FitPicture(target, CorpusPath("exif/exiforient-landscape-4-3_6.jpg").string()), "");
    EXPECT_EQ(target.Width(), 320);
    EXPECT_EQ(target.Height(), 240);
    EXPECT_FALSE(o.IsTileSize(target.Width(), target.Height()));
}

// A malformed EXIF block changes nothing: the picture shows as stored.
TEST(ExifOrientation, MalformedOrMissingExifLeavesThePictureAsStored) {
    const std::vector<std::uint8_t> good = ReadBytes(CorpusPath("exif/exiforient-landscape-4-3_6.jpg"));
    // The APP1 segment with "Exif\0\0" and its TIFF header.
    std::size_t exif = 0;
    for (std::size_t i = 0; i + 10 < good.size() && !exif; ++i)
        if (good[i] == 0xFF && good[i + 1] == 0xE1 && std::memcmp(&good[i + 4], "Exif\0\0", 6) == 0) exif = i;
    ASSERT_NE(exif, 0u);
    const std::size_t tiff = exif + 10;
    const auto sizeOf = [](std::vector<std::uint8_t> data) {
        TempDir dir;
        WriteBytes(dir / "f.jpg", data);
        TPicture p;
        p.LoadFromFile((dir / "f.jpg").string());
        TBitmap b(p.Width(), p.Height());
        p.Graphic()->Draw(b, 0, 0);
        return std::to_string(p.Width()) + "x" + std::to_string(p.Height());
    };
    EXPECT_EQ(sizeOf(good), "320x240");
    std::vector<std::uint8_t> bad = good;
    std::memset(&bad[tiff + 4], 0x7F, 4); // first IFD far past the segment
    EXPECT_EQ(sizeOf(bad), "240x320");
    bad = good;
    bad[tiff] = 'X'; // neither "II" nor "MM"
    EXPECT_EQ(sizeOf(bad), "240x320");
    bad = good;
    std::memcpy(&bad[exif + 4], "Exia", 4); // no EXIF block at all
    EXPECT_EQ(sizeOf(bad), "240x320");
}

// TIFF's Orientation tag has EXIF's values; the four turned ones swap the sides.
TEST(TiffOrientation, TurnedAndMirroredPagesShowUpright) {
    TempDir dir;
    // Stored 3 x 2: pixel (x, y) has red 10 * x + y.
    const auto write = [&dir](int orientation) {
        const std::string path = (dir / ("o" + std::to_string(orientation) + ".tif")).string();
        TIFF* t = TIFFOpen(path.c_str(), "w");
        TIFFSetField(t, TIFFTAG_IMAGEWIDTH, 3);
        TIFFSetField(t, TIFFTAG_IMAGELENGTH, 2);
        TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 3);
        TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
        TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
        TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        TIFFSetField(t, TIFFTAG_ORIENTATION, orientation);
        for (int y = 0; y < 2; ++y) {
            std::uint8_t row[9] = {};
            for (int x = 0; x < 3; ++x)
                row[x * 3] = static_cast<std::uint8_t>(10 * x + y);
            TIFFWriteScanline(t, row, static_cast<std::uint32_t>(y), 0);
        }
        TIFFClose(t);
        return fs::path(path);
    };
    // The upright picture's red values, row by row, for each orientation.
    const std::vector<std::vector<int>> upright = {
        {},
        {0, 10, 20, 1, 11, 21}, // 1: as stored
        {20, 10, 0, 21, 11, 1}, // 2: mirrored left-right
        {21, 11, 1, 20, 10, 0}, // 3: turned half round
        {1, 11, 21, 0, 10, 20}, // 4: mirrored top-bottom
        {0, 1, 10, 11, 20, 21}, // 5: transposed
        {1, 0, 11, 10, 21, 20}, // 6: turned a quarter clockwise
        {21, 20, 11, 10, 1, 0}, // 7: transversed
        {20, 21, 10, 11, 0, 1}, // 8: turned a quarter anti-clockwise
    };
    for (int o = 1; o <= 8; ++o) {
        SCOPED_TRACE(o);
        auto g = Decode(write(o));
        const bool turned = o >= 5;
        ASSERT_EQ(g->Width(), turned ? 2 : 3);
        ASSERT_EQ(g->Height(), turned ? 3 : 2);
        const RgbaImage r = Rendered(*g);
        std::vector<int> red;
        for (std::size_t i = 0; i < r.rgba.size(); i += 4)
            red.push_back(r.rgba[i]);
        EXPECT_EQ(red, upright[o]);
    }
}
