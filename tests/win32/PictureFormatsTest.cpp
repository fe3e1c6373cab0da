// The picture formats on Windows: PNG, WebP and TIFF through the same
// libraries as on Linux must give the corpus references' pixels exactly, and
// HEIF, AVIF and JPEG XL go to the Windows Imaging Component, which under Wine
// has no codec for them.
#include "compose/decoders/Decoders.h"
#include "compose/decoders/JpegImage.h"
#include "compose/Graphics.h"
#include "config/Messages.h"
#include "config/uOptionen.h"
#include "platform/Platform.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

using namespace testsupport;

namespace {

// A reference PNG of the corpus as 8-bit RGBA rows (read with libpng itself,
// since ImageMagick is not at hand under Wine).
RgbaImage ReadRef(const fs::path& p) {
    RgbaImage out;
    const std::vector<std::uint8_t> bytes = ReadBytes(p);
    png_image img{};
    img.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&img, bytes.data(), bytes.size())) {
        ADD_FAILURE() << "unreadable reference " << p << ": " << img.message;
        return out;
    }
    img.format = PNG_FORMAT_RGBA;
    out.rgba.resize(PNG_IMAGE_SIZE(img));
    if (!png_image_finish_read(&img, nullptr, out.rgba.data(), 0, nullptr)) {
        ADD_FAILURE() << "unreadable reference " << p << ": " << img.message;
        return out;
    }
    out.width = static_cast<int>(img.width);
    out.height = static_cast<int>(img.height);
    return out;
}

// Draws the picture over a plain background of the given grey and compares
// each pixel with the reference blended over the same grey: opaque and fully
// transparent pixels exactly, partly transparent ones within one step of
// rounding. Two backgrounds tell a wrong colour from a wrong alpha.
void ExpectDrawnLikeRef(TGraphic& g, const RgbaImage& ref, int grey, const std::string& name) {
    TBitmap target(ref.width, ref.height);
    for (int y = 0; y < ref.height; ++y)
        std::fill_n(target.ScanLine(y), ref.width * 3, static_cast<std::uint8_t>(grey));
    g.Draw(target, 0, 0);
    int wrong = 0;
    std::string first;
    for (int y = 0; y < ref.height; ++y)
        for (int x = 0; x < ref.width; ++x) {
            const std::uint8_t* r = ref.rgba.data() + (static_cast<std::size_t>(y) * ref.width + x) * 4;
            const std::uint8_t* d = target.ScanLine(y) + x * 3;
            const int a = r[3];
            for (int c = 0; c < 3; ++c) {
                const int want = (r[c] * a + grey * (255 - a) + 127) / 255;
                const int got = d[2 - c];
                const int slack = a == 0 || a == 255 ? 0 : 1;
                if (std::abs(got - want) > slack) {
                    if (wrong++ == 0)
                        first = "(" + std::to_string(x) + ", " + std::to_string(y) + ") channel " +
                                std::to_string(c) + ": " + std::to_string(got) + " instead of " +
                                std::to_string(want) + " (alpha " + std::to_string(a) + ")";
                }
            }
        }
    EXPECT_EQ(wrong, 0) << name << " over grey " << grey << ", first at " << first;
}

// Every corpus file of a format that has a reference rendering.
std::vector<std::string> FilesWithRefs(const std::string& format) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(CorpusPath(format + "/ref"))) {
        const std::string ref = e.path().filename().string();
        if (ref.size() > 4 && ref.ends_with(".png")) names.push_back(ref.substr(0, ref.size() - 4));
    }
    std::sort(names.begin(), names.end());
    return names;
}

class CorpusFormatTest : public ::testing::TestWithParam<const char*> {};

TEST_P(CorpusFormatTest, EveryFileDecodesToItsReference) {
    const std::string format = GetParam();
    const std::vector<std::string> names = FilesWithRefs(format);
    EXPECT_GE(names.size(), 8u) << format;
    for (const std::string& name : names) {
        TPicture pic;
        try {
            pic.LoadFromFile(CorpusPath(format + "/" + name).string());
        } catch (const ZenksError& e) {
            ADD_FAILURE() << name << ": " << e.what();
            continue;
        }
        const RgbaImage ref = ReadRef(CorpusPath(format + "/ref/" + name + ".png"));
        ASSERT_EQ(pic.Width(), ref.width) << name;
        ASSERT_EQ(pic.Height(), ref.height) << name;
        ExpectDrawnLikeRef(*pic.Graphic(), ref, 0, name);
        ExpectDrawnLikeRef(*pic.Graphic(), ref, 255, name);
    }
}

INSTANTIATE_TEST_SUITE_P(LibrariesBuiltFromDebianSources, CorpusFormatTest,
                         ::testing::Values("png", "webp", "tiff"));

// JPEG is read from its open file a piece at a time (ReadFile at an offset):
// the pixels are those of the file's bytes in memory, also in two bands.
TEST(JpegFromFile, DrawsWhatTheBytesDraw) {
    platform::SetDisplayDepthForTesting(24);
    TJPEGImage::SetSplitMinimumForTesting(0);
    const auto pixels = [](TGraphic& g) {
        TBitmap out(g.Width(), g.Height());
        g.Draw(out, 0, 0);
        TBitmap smooth(g.Width() / 3 + 1, g.Height() / 3 + 1);
        smooth.SetStretchFilter(StretchFilter::Smooth);
        g.StretchDraw(smooth, {0, 0, smooth.Width(), smooth.Height()});
        std::vector<std::uint8_t> all;
        for (const TBitmap* b : {&out, &smooth})
            for (int y = 0; y < b->Height(); ++y)
                all.insert(all.end(), b->ScanLine(y), b->ScanLine(y) + b->Width() * 3);
        return all;
    };
    for (const char* name : {"ljt-testorig.jpg", "pillow-pil_sample_rgb.jpg", "wuffs-peacock.grayscale.jpeg",
                             "wuffs-peacock.default.truncated.jpeg"}) {
        const fs::path file = CorpusPath(std::string("jpeg/") + name);
        TPicture fromFile;
        fromFile.LoadFromFile(file.string());
        TJPEGImage fromMemory;
        fromMemory.LoadFromData(ReadBytes(file));
        EXPECT_TRUE(pixels(*fromFile.Graphic()) == pixels(fromMemory)) << name;
    }
    TJPEGImage::SetSplitMinimumForTesting(std::int64_t{1} << 20);
    platform::SetDisplayDepthForTesting(std::nullopt);
}

// The holder keeps its bitmap; the message names the extension.
class WicFormatTest : public SandboxTest {
  protected:
    WicFormatTest() { platform::SetScreenSizeForTesting(platform::ScreenDims{640, 480}); }
    ~WicFormatTest() override { platform::SetScreenSizeForTesting(std::nullopt); }
    TOptionen o{TOptionen::ReadOnly{}, ""};
};

TEST_F(WicFormatTest, WithoutACodecTheLoadFailsNamingTheExtension) {
    TPicture target;
    TBitmap& held = target.Bitmap();
    held.SetSize(7, 3);
    const std::string heic = CorpusPath("heif/exiv2-Stonehenge.heic").string();
    EXPECT_EQ(o.FitPicture(target, heic),
              "Fehler: \"Für Bilder des Formats .heic ist auf diesem System kein Decoder installiert\"");
    EXPECT_EQ(&target.Bitmap(), &held);
    EXPECT_EQ(held.Width(), 7);

    const struct {
        const char* file;
        const char* extension;
    } others[] = {{"heif/pillowheif-RGB_8_chroma444.heif", "heif"},
                  {"avif/libavif-colors_sdr_srgb.avif", "avif"},
                  {"jxl/jxlconf-grayscale.jxl", "jxl"}};
    for (const auto& f : others) {
        TPicture pic;
        try {
            pic.LoadFromFile(CorpusPath(f.file).string());
            ADD_FAILURE() << f.file << " loaded";
        } catch (const ZenksError& e) {
            EXPECT_EQ(e.code(), Msg::NoDecoderInstalled) << e.what();
            EXPECT_EQ(std::string(e.what()), std::string("Für Bilder des Formats .") + f.extension +
                                                 " ist auf diesem System kein Decoder installiert");
        }
    }
}

// The catalogue's Windows form: lower-case paths joined with a backslash, in
// the file system's order.
TEST_F(WicFormatTest, CatalogueOffersTodaysFormatsCaseBlind) {
    WriteIni("[Optionen]\r\nFirst=0\r\n");
    const std::string dir = (tmp_ / "Bilder").string();
    for (const char* f : {"a.PNG", "b.webp", "c.AVIF", "d.heic", "e.HEIF", "f.tif", "g.TIFF", "h.jxl",
                          "i.jpg", "x.psd", "x.apng", "x.tiff.bak", "x.jxl~"})
        WriteAll(dir + "\\" + f, "x");
    TOptionen options;
    options.AddDirectory(dir, false);
    std::vector<std::string> cat;
    options.BuildCatalogue(cat);
    std::sort(cat.begin(), cat.end());
    const std::string low = LowerAscii(dir) + "\\";
    EXPECT_EQ(cat, (std::vector<std::string>{low + "a.png", low + "b.webp", low + "c.avif", low + "d.heic",
                                             low + "e.heif", low + "f.tif", low + "g.tiff", low + "h.jxl",
                                             low + "i.jpg"}));
}

// Wine's WIC reads PNG, so a PNG under a HEIF name runs the whole WIC path:
// conversion to BGRA, the alpha and the size check before decoding.
TEST_F(WicFormatTest, PicturesTheSystemCanDecodeComeThroughWithTheirAlpha) {
    for (const char* name : {"pngsuite-basn2c08.png", "pngsuite-basi6a08.png", "pngsuite-tbbn3p08.png"}) {
        const std::unique_ptr<TGraphic> g = NewHeicImage();
        g->LoadFromData(ReadBytes(CorpusPath(std::string("png/") + name)));
        const RgbaImage ref = ReadRef(CorpusPath(std::string("png/ref/") + name + ".png"));
        ASSERT_EQ(g->Width(), ref.width) << name;
        ASSERT_EQ(g->Height(), ref.height) << name;
        ExpectDrawnLikeRef(*g, ref, 0, name);
        ExpectDrawnLikeRef(*g, ref, 255, name);
    }

    // A BMP header declaring 60000 x 60000 in 58 bytes: refused on the
    // header's size (Wine's PNG decoder would decode at once, its BMP decoder
    // reads the header first, as the real codecs do).
    std::vector<std::uint8_t> bomb = {'B', 'M'};
    const auto le32 = [&bomb](std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            bomb.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    };
    le32(58), le32(0), le32(54);              // file size, reserved, pixel offset
    le32(40), le32(60000), le32(60000);       // info header size, width, height
    le32(1 | 24 << 16), le32(0), le32(0);     // planes and bits, compression, image size
    le32(2835), le32(2835), le32(0), le32(0); // resolution, colours
    le32(0);                                  // four bytes of pixels
    try {
        NewAvifImage()->LoadFromData(std::move(bomb));
        ADD_FAILURE() << "the bomb loaded";
    } catch (const ZenksError& e) {
        EXPECT_EQ(e.code(), Msg::OutOfMemory) << e.what();
    }

    // Neither a picture nor empty: the codec's refusal, not a crash.
    for (const std::vector<std::uint8_t>& junk :
         {std::vector<std::uint8_t>{}, std::vector<std::uint8_t>(64, 0x5A)}) {
        const std::unique_ptr<TGraphic> g = NewJxlImage();
        EXPECT_THROW(g->LoadFromData(std::vector<std::uint8_t>(junk)), ZenksError);
    }
}

} // namespace
