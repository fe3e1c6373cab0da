// The JPEG decoder against djpeg of the same file: corpus pictures, pictures
// libjpeg makes here, every error number the corpus lists, and hostile headers.
#include "compose/Resample.h"
#include "compose/decoders/Decoders.h"
#include "compose/decoders/JpegImage.h"
#include "compose/decoders/JpegSkim.h"
#include "config/Messages.h"
#include "platform/Platform.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <initializer_list>
#include <sys/wait.h>
#include <tuple>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <jpeglib.h>
#include <jerror.h>
#include <set>

namespace {

using testsupport::CorpusPath;
using testsupport::fs::path;

// djpeg's BMP output as top-down BGR rows without padding.
struct Pixels {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> bgr;
};

std::uint32_t Le(const std::vector<std::uint8_t>& b, std::size_t at, int bytes) {
    std::uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = v << 8 | b.at(at + i);
    return v;
}

Pixels ReadDjpegBmp(const path& file) {
    const std::vector<std::uint8_t> b = testsupport::ReadBytes(file);
    Pixels p;
    const std::uint32_t offBits = Le(b, 10, 4);
    const std::uint32_t headerSize = Le(b, 14, 4);
    p.width = static_cast<int>(Le(b, 18, 4));
    p.height = static_cast<int>(Le(b, 22, 4)); // positive: bottom-up
    const int bpp = static_cast<int>(Le(b, 28, 2));
    const std::size_t palette = 14 + headerSize;
    const std::size_t stride = (static_cast<std::size_t>(p.width) * bpp / 8 + 3) & ~std::size_t{3};
    p.bgr.resize(static_cast<std::size_t>(p.width) * p.height * 3);
    for (int y = 0; y < p.height; ++y) {
        const std::size_t row = offBits + static_cast<std::size_t>(p.height - 1 - y) * stride;
        for (int x = 0; x < p.width; ++x) {
            std::uint8_t* out = &p.bgr[(static_cast<std::size_t>(y) * p.width + x) * 3];
            const std::size_t src =
                bpp == 8 ? palette + 4 * std::size_t{b.at(row + x)} : row + 3 * std::size_t(x);
            for (int c = 0; c < 3; ++c)
                out[c] = b.at(src + c);
        }
    }
    return p;
}

Pixels Djpeg(const path& jpeg, const testsupport::TempDir& tmp, bool quantized) {
    const path out = tmp / "djpeg.bmp";
    std::remove(out.c_str());
    const std::string cmd = std::string("djpeg -bmp ") + (quantized ? "-colors 236 " : "") + "-outfile '" +
                            out.string() + "' '" + jpeg.string() + "' 2>/dev/null";
    const int rc = std::system(cmd.c_str());
    // djpeg exits 2 after warnings (a truncated file) but still writes the picture.
    EXPECT_TRUE(rc == 0 || WEXITSTATUS(rc) == 2) << cmd;
    if (!testsupport::fs::exists(out)) {
        ADD_FAILURE() << "djpeg wrote nothing: " << cmd;
        return {};
    }
    return ReadDjpegBmp(out);
}

Pixels Rows(const TBitmap& b) {
    Pixels p{b.Width(), b.Height(), {}};
    for (int y = 0; y < b.Height(); ++y)
        p.bgr.insert(p.bgr.end(), b.ScanLine(y), b.ScanLine(y) + b.Width() * 3);
    return p;
}

Pixels Decode(const path& jpeg) {
    TJPEGImage img;
    img.LoadFromData(testsupport::ReadBytes(jpeg));
    TBitmap target(img.Width(), img.Height());
    img.Draw(target, 0, 0);
    return Rows(target);
}

void ExpectSamePixels(const Pixels& want, const Pixels& got, const std::string& what) {
    ASSERT_EQ(want.width, got.width) << what;
    ASSERT_EQ(want.height, got.height) << what;
    std::size_t differing = 0;
    for (std::size_t i = 0; i < want.bgr.size(); ++i)
        differing += want.bgr[i] != got.bgr[i];
    EXPECT_EQ(differing, 0u) << what << ": bytes differ from djpeg";
}

std::size_t CountColours(const Pixels& p) {
    std::set<std::uint32_t> colours;
    for (std::size_t i = 0; i + 2 < p.bgr.size(); i += 3)
        colours.insert(p.bgr[i] | p.bgr[i + 1] << 8 | std::uint32_t{p.bgr[i + 2]} << 16);
    return colours.size();
}

std::string ErrorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const ZenksError& e) {
        return e.what();
    }
    return "no error";
}

// A smooth stretch into rect of a 97 x 71 bitmap of grey stripes, of the
// picture that load gives, decoded in two bands or in one: the error, or "no
// error", and the pixels.
std::pair<std::string, std::vector<std::uint8_t>>
StretchOntoStripes(const std::function<void(TJPEGImage&)>& load, const TRect& rect, bool split) {
    TJPEGImage::SetSplitMinimumForTesting(split ? 0 : INT64_MAX);
    TJPEGImage img;
    TBitmap out(97, 71);
    for (int y = 0; y < out.Height(); ++y)
        std::fill_n(out.ScanLine(y), out.Width() * 3, static_cast<std::uint8_t>(y * 3));
    out.SetStretchFilter(StretchFilter::Smooth);
    const std::string error = ErrorOf([&] {
        load(img);
        img.StretchDraw(out, rect);
    });
    return {error, Rows(out).bgr};
}

class DisplayDepth {
  public:
    explicit DisplayDepth(int bits) { platform::SetDisplayDepthForTesting(bits); }
    ~DisplayDepth() { platform::SetDisplayDepthForTesting(std::nullopt); }
};

// A picture of smooth gradients and hard edges, made with libjpeg.
struct EncodeOptions {
    int width = 301;
    int height = 199;
    int components = 3;
    int hSampling = 2; // of the first component; 1 means 4:4:4
    int vSampling = 2;
    bool progressive = false;
    int restartRows = 0;
    bool optimize = false; // Huffman tables made for the picture
    int chromaH = 1;       // of the other two components
    int chromaV = 1;
    int quality = 90;
};

std::vector<std::uint8_t> MakeJpeg(const EncodeOptions& o) {
    jpeg_compress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* mem = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &mem, &size);
    c.image_width = static_cast<JDIMENSION>(o.width);
    c.image_height = static_cast<JDIMENSION>(o.height);
    c.input_components = o.components;
    c.in_color_space = o.components == 3 ? JCS_RGB : JCS_GRAYSCALE;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, o.quality, TRUE);
    c.comp_info[0].h_samp_factor = o.hSampling;
    c.comp_info[0].v_samp_factor = o.vSampling;
    for (int i = 1; i < o.components; ++i) {
        c.comp_info[i].h_samp_factor = o.chromaH;
        c.comp_info[i].v_samp_factor = o.chromaV;
    }
    c.restart_in_rows = o.restartRows;
    c.optimize_coding = o.optimize ? TRUE : FALSE;
    if (o.progressive) jpeg_simple_progression(&c);
    jpeg_start_compress(&c, TRUE);
    std::vector<std::uint8_t> row(static_cast<std::size_t>(o.width) * o.components);
    while (c.next_scanline < c.image_height) {
        const int y = static_cast<int>(c.next_scanline);
        for (int x = 0; x < o.width; ++x)
            for (int k = 0; k < o.components; ++k)
                row[static_cast<std::size_t>(x) * o.components + k] = static_cast<std::uint8_t>(
                    ((x * (k + 1) + y * (3 - k)) & 0xFF) ^ (((x / 17 + y / 13) & 1) ? 0x80 : 0));
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&c, &r, 1);
    }
    jpeg_finish_compress(&c);
    std::vector<std::uint8_t> out(mem, mem + size);
    jpeg_destroy_compress(&c);
    std::free(mem);
    return out;
}

path Write(const testsupport::TempDir& tmp, const std::string& name, const std::vector<std::uint8_t>& bytes) {
    const path p = tmp / name;
    testsupport::WriteBytes(p, bytes);
    return p;
}

// ---------------------------------------------------------------------------

TEST(JpegDecoder, CorpusColourFilesEqualDjpeg) {
    testsupport::TempDir tmp;
    DisplayDepth depth(24);
    for (const char* name :
         {"ljt-testorig.jpg", "ljt-testimgari.jpg", "pillow-pil_sample_rgb.jpg",
          "wuffs-peacock.progressive.jpeg",
          // only warnings: the missing part is grey, the cut progression
          // shows what block smoothing makes of it
          "wuffs-peacock.progressive.truncated.jpeg", "wuffs-peacock.default.truncated.jpeg"}) {
        const path file = CorpusPath(std::string("jpeg/") + name);
        ExpectSamePixels(Djpeg(file, tmp, false), Decode(file), name);
    }
}

TEST(JpegDecoder, GreyscaleIsQuantisedAsDjpegColors236) {
    testsupport::TempDir tmp;
    DisplayDepth depth(24);
    const path file = CorpusPath("jpeg/wuffs-peacock.grayscale.jpeg");
    const Pixels ours = Decode(file);
    ExpectSamePixels(Djpeg(file, tmp, true), ours, "grayscale");
    EXPECT_LE(CountColours(ours), 236u);
    for (std::size_t i = 0; i < ours.bgr.size(); i += 3) {
        ASSERT_EQ(ours.bgr[i], ours.bgr[i + 1]);
        ASSERT_EQ(ours.bgr[i], ours.bgr[i + 2]);
    }
}

TEST(JpegDecoder, LowDisplayDepthQuantisesEveryFile) {
    testsupport::TempDir tmp;
    for (int bits : {1, 4, 8}) {
        DisplayDepth depth(bits);
        for (const char* name : {"ljt-testorig.jpg", "wuffs-peacock.progressive.jpeg"}) {
            const path file = CorpusPath(std::string("jpeg/") + name);
            const Pixels ours = Decode(file);
            ExpectSamePixels(Djpeg(file, tmp, true), ours, name);
            EXPECT_LE(CountColours(ours), 236u);
        }
    }
    DisplayDepth depth(16);
    const path file = CorpusPath("jpeg/ljt-testorig.jpg");
    ExpectSamePixels(Djpeg(file, tmp, false), Decode(file), "16 bits: full colour");
}

TEST(JpegDecoder, LibjpegEncodedVariantsEqualDjpeg) {
    testsupport::TempDir tmp;
    DisplayDepth depth(24);
    struct Case {
        const char* name;
        EncodeOptions options;
    };
    const Case cases[] = {
        {"420 odd size", {}},
        {"444", {.hSampling = 1, .vSampling = 1}},
        {"422", {.hSampling = 2, .vSampling = 1}},
        {"440", {.hSampling = 1, .vSampling = 2}},
        {"progressive", {.progressive = true}},
        {"restart markers", {.restartRows = 3}},
        {"one pixel", {.width = 1, .height = 1}},
        {"one row", {.width = 77, .height = 1}},
        {"one column", {.width = 1, .height = 50}},
    };
    for (const Case& c : cases) {
        const path file = Write(tmp, "made.jpg", MakeJpeg(c.options));
        ExpectSamePixels(Djpeg(file, tmp, false), Decode(file), c.name);
    }
    const path grey = Write(tmp, "grey.jpg", MakeJpeg({.components = 1, .hSampling = 1, .vSampling = 1}));
    ExpectSamePixels(Djpeg(grey, tmp, true), Decode(grey), "greyscale");
}

TEST(JpegDecoder, ErrorsAtLoad) {
    for (auto [name, message] : {
             std::pair{"ljt-testorig12.jpg", "JPEG-Fehler #15"},                       // 12-bit samples
             std::pair{"its-f012a4321f00f12af6b1eee7580ffb9c.jpg", "JPEG-Fehler #53"}, // no SOI
             std::pair{"its-6de166ee2a3a60df9017650e2a808408.jpg", "JPEG-Fehler #11"}, // marker length
         }) {
        TJPEGImage img;
        EXPECT_EQ(ErrorOf([&] {
                      img.LoadFromData(testsupport::ReadBytes(CorpusPath(std::string("jpeg/") + name)));
                  }),
                  message)
            << name;
    }
    TJPEGImage empty;
    EXPECT_EQ(ErrorOf([&] { empty.LoadFromData({}); }), FormatMsg(Msg::JpegError, {JERR_INPUT_EMPTY}));
    TJPEGImage bmp;
    EXPECT_EQ(ErrorOf([&] { bmp.LoadFromData({'B', 'M', 0, 0, 0, 0}); }), "JPEG-Fehler #53");
}

TEST(JpegDecoder, ErrorsAtDrawLeaveThePictureLoaded) {
    DisplayDepth depth(24);
    testsupport::TempDir tmp;
    struct Case {
        const char* name;
        int width, height;
        const char* message;
    };
    for (const Case& c : {
             Case{"pillow-pil_sample_cmyk.jpg", 100, 100, "JPEG-Fehler #27"}, // CMYK: no conversion to RGB
             Case{"its-3ea649db8e81a46ca4f92fb3238f78ff.jpg", 80, 53, "JPEG-Fehler #11"}, // damaged data
         }) {
        const path copy = tmp / (std::string("picture-") + c.name);
        testsupport::fs::copy_file(CorpusPath(std::string("jpeg/") + c.name), copy);
        TPicture holder;
        holder.LoadFromFile(copy.string());
        TGraphic* loaded = holder.Graphic();
        ASSERT_NE(loaded, nullptr);
        EXPECT_EQ(holder.Width(), c.width);
        EXPECT_EQ(holder.Height(), c.height);
        TBitmap target(c.width, c.height);
        target.ScanLine(0)[0] = 7;
        EXPECT_EQ(ErrorOf([&] { loaded->Draw(target, 0, 0); }), c.message) << c.name;
        EXPECT_EQ(holder.Graphic(), loaded);
        EXPECT_EQ(holder.Width(), c.width);
        EXPECT_EQ(target.ScanLine(0)[0], 7) << "a failed draw leaves the target alone";
        // The next draw tries again and fails the same way.
        EXPECT_EQ(ErrorOf([&] { loaded->StretchDraw(target, {0, 0, 10, 10}); }), c.message) << c.name;
    }
}

TEST(JpegDecoder, DrawsLikeABitmapOfItsPixels) {
    DisplayDepth depth(24);
    const std::vector<std::uint8_t> jpeg = MakeJpeg({.width = 40, .height = 30});
    TJPEGImage img;
    img.LoadFromData(std::vector<std::uint8_t>(jpeg));
    // The first draw goes straight into a fresh bitmap of the picture's size.
    TBitmap full(40, 30);
    img.Draw(full, 0, 0);
    EXPECT_FALSE(img.Decoded());

    // Offsets and clipping on all sides, then a stretch, from the kept pixels.
    for (auto [x, y] :
         {std::pair{5, 7}, std::pair{-9, -4}, std::pair{30, 25}, std::pair{-40, 0}, std::pair{0, 0}}) {
        TBitmap want(50, 40), got(50, 40);
        full.Draw(want, x, y);
        img.Draw(got, x, y);
        EXPECT_EQ(Rows(want).bgr, Rows(got).bgr) << x << "," << y;
    }
    EXPECT_TRUE(img.Decoded());
    TBitmap want(70, 20), got(70, 20);
    full.StretchDraw(want, {-3, 2, 90, 15});
    img.StretchDraw(got, {-3, 2, 90, 15});
    EXPECT_EQ(Rows(want).bgr, Rows(got).bgr);

    // A target of the same size that already shows something is drawn over
    // the same way, and drawing again gives the same picture.
    TJPEGImage again;
    again.LoadFromData(std::vector<std::uint8_t>(jpeg));
    TBitmap painted(40, 30);
    painted.ScanLine(29)[119] = 1;
    again.Draw(painted, 0, 0);
    EXPECT_TRUE(again.Decoded());
    EXPECT_EQ(Rows(painted).bgr, Rows(full).bgr);
    TBitmap black(40, 30);
    again.Draw(black, 0, 0);
    EXPECT_EQ(Rows(black).bgr, Rows(full).bgr);
}

TEST(JpegDecoder, FailedDrawIntoAFreshBitmapLeavesItBlack) {
    DisplayDepth depth(24);
    TJPEGImage img;
    img.LoadFromData(testsupport::ReadBytes(CorpusPath("jpeg/its-3ea649db8e81a46ca4f92fb3238f78ff.jpg")));
    TBitmap target(80, 53);
    EXPECT_TRUE(target.KnownBlack());
    EXPECT_EQ(ErrorOf([&] { img.Draw(target, 0, 0); }), "JPEG-Fehler #11");
    EXPECT_EQ(Rows(target).bgr, Rows(TBitmap(80, 53)).bgr);

    // One that shows something keeps it; cleared again, it is known black.
    TBitmap painted(80, 53);
    painted.ScanLine(52)[239] = 7;
    EXPECT_FALSE(painted.KnownBlack());
    const auto before = Rows(painted).bgr;
    EXPECT_EQ(ErrorOf([&] { img.Draw(painted, 0, 0); }), "JPEG-Fehler #11");
    EXPECT_EQ(Rows(painted).bgr, before);
    painted.FillBlack();
    EXPECT_TRUE(painted.KnownBlack());
    TBitmap copy;
    copy.Assign(painted);
    EXPECT_FALSE(copy.KnownBlack());
}

// Sets the declared size of the first SOFn frame.
void SetFrameSize(std::vector<std::uint8_t>& jpeg, int width, int height) {
    for (std::size_t i = 2; i + 9 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && (jpeg[i + 1] == 0xC0 || jpeg[i + 1] == 0xC2)) {
            jpeg[i + 5] = static_cast<std::uint8_t>(height >> 8);
            jpeg[i + 6] = static_cast<std::uint8_t>(height);
            jpeg[i + 7] = static_cast<std::uint8_t>(width >> 8);
            jpeg[i + 8] = static_cast<std::uint8_t>(width);
            return;
        }
    FAIL() << "no frame header";
}

TEST(JpegDecoder, HugeDeclaredSizeIsRefusedBeforeDecoding) {
    DisplayDepth depth(24);
    std::vector<std::uint8_t> jpeg = MakeJpeg({.width = 16, .height = 16});
    SetFrameSize(jpeg, 65500, 65500);
    TJPEGImage img;
    img.LoadFromData(std::move(jpeg));
    EXPECT_EQ(img.Width(), 65500);
    EXPECT_EQ(img.Height(), 65500);
    TBitmap target(4, 4);
    EXPECT_EQ(ErrorOf([&] { img.Draw(target, 0, 0); }), "Zu wenig Arbeitsspeicher");

    // Over libjpeg's own limit already at load; zero is refused by libjpeg too.
    for (auto [w, h, code] :
         {std::tuple{65501, 10, JERR_IMAGE_TOO_BIG}, std::tuple{0, 10, JERR_EMPTY_IMAGE}}) {
        std::vector<std::uint8_t> bad = MakeJpeg({.width = 16, .height = 16});
        SetFrameSize(bad, w, h);
        TJPEGImage b;
        EXPECT_EQ(ErrorOf([&] { b.LoadFromData(std::move(bad)); }), FormatMsg(Msg::JpegError, {code})) << w;
    }
}

// A progressive file whose last scan is repeated: libjpeg only warns about
// each repeat, so without a limit such a file costs a pass per copy.
TEST(JpegDecoder, EndlessScansAreCutShort) {
    DisplayDepth depth(24);
    std::vector<std::uint8_t> jpeg = MakeJpeg({.width = 64, .height = 64, .progressive = true});
    std::size_t lastSos = 0;
    for (std::size_t i = 2; i + 1 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xDA) lastSos = i;
    ASSERT_GT(lastSos, 0u);
    ASSERT_EQ(jpeg[jpeg.size() - 2], 0xFF);
    const std::vector<std::uint8_t> scan(jpeg.begin() + static_cast<std::ptrdiff_t>(lastSos), jpeg.end() - 2);

    for (auto [copies, fails] : {std::pair{100, false}, std::pair{5000, true}}) {
        std::vector<std::uint8_t> many(jpeg.begin(), jpeg.end() - 2);
        for (int i = 0; i < copies; ++i)
            many.insert(many.end(), scan.begin(), scan.end());
        many.insert(many.end(), {0xFF, 0xD9});
        TJPEGImage img;
        img.LoadFromData(std::move(many));
        TBitmap target(64, 64);
        const std::string error = ErrorOf([&] { img.Draw(target, 0, 0); });
        EXPECT_EQ(error, fails ? FormatMsg(Msg::JpegError, {JERR_BAD_PROGRESSION}) : "no error") << copies;
    }
}

TEST(JpegDecoder, RegistryAndHolder) {
    DisplayDepth depth(24);
    testsupport::TempDir tmp;
    const path upper = tmp / "TESTORIG.JPG";
    testsupport::fs::copy_file(CorpusPath("jpeg/ljt-testorig.jpg"), upper);
    TPicture holder;
    holder.LoadFromFile(upper.string());
    ASSERT_NE(dynamic_cast<TJPEGImage*>(holder.Graphic()), nullptr);
    EXPECT_EQ(holder.Width(), 227);
    EXPECT_EQ(holder.Height(), 149);
    EXPECT_NE(dynamic_cast<TJPEGImage*>(CreateGraphicForExtension("jpeg").get()), nullptr);

    // A failed load keeps the picture held before.
    TGraphic* before = holder.Graphic();
    const path broken = tmp / "broken.jpeg";
    testsupport::fs::copy_file(CorpusPath("jpeg/its-f012a4321f00f12af6b1eee7580ffb9c.jpg"), broken);
    EXPECT_EQ(ErrorOf([&] { holder.LoadFromFile(broken.string()); }), "JPEG-Fehler #53");
    EXPECT_EQ(holder.Graphic(), before);
    const path empty = tmp / "empty.jpg";
    testsupport::WriteBytes(empty, {});
    EXPECT_EQ(ErrorOf([&] { holder.LoadFromFile(empty.string()); }),
              FormatMsg(Msg::JpegError, {JERR_INPUT_EMPTY}));
    EXPECT_EQ(holder.Graphic(), before);
}

} // namespace

TEST(JpegDecoder, ScaledDecodeCoversTheDrawnSizeInBothDirections) {
    EXPECT_EQ(TJPEGImage::ScaleEighthsFor(6000, 4000, 1920, 1080), 3); // 2250 x 1500; 2/8 is 1500 wide
    EXPECT_EQ(TJPEGImage::ScaleEighthsFor(6000, 4000, 750, 500), 1);
    EXPECT_EQ(TJPEGImage::ScaleEighthsFor(6000, 4000, 751, 500), 2);
    EXPECT_EQ(TJPEGImage::ScaleEighthsFor(6000, 4000, 750, 501), 2);
    EXPECT_EQ(TJPEGImage::ScaleEighthsFor(6000, 4000, 5250, 100), 7);
    EXPECT_EQ(TJPEGImage::ScaleEighthsFor(6000, 4000, 5251, 100), 8);
    EXPECT_EQ(TJPEGImage::ScaleEighthsFor(6000, 4000, 6000, 4000), 8);
    EXPECT_EQ(TJPEGImage::ScaleEighthsFor(6000, 4000, 7000, 3000), 8);
    // libjpeg rounds the scaled size up: 301 / 8 is 38 pixels, 199 / 8 is 25.
    EXPECT_EQ(TJPEGImage::ScaleEighthsFor(301, 199, 38, 25), 1);
    EXPECT_EQ(TJPEGImage::ScaleEighthsFor(301, 199, 39, 25), 2);
    EXPECT_EQ(TJPEGImage::ScaleEighthsFor(301, 199, 38, 26), 2);
}

TEST(JpegDecoder, SmoothShrinkDecodesScaledAndHoldsNoFullPixels) {
    testsupport::TempDir tmp;
    // Colour, and greyscale, which is quantised as djpeg -colors does.
    for (const int components : {3, 1}) {
        const std::vector<std::uint8_t> jpeg =
            MakeJpeg({.components = components, .hSampling = components == 3 ? 2 : 1});
        const path file = Write(tmp, "made.jpg", jpeg);
        TJPEGImage img;
        img.LoadFromData(std::vector<std::uint8_t>(jpeg));
        // 100 x 60 from 301 x 199: 3/8 (113 x 75) is the smallest covering both.
        const TRect rect{-4, 3, 96, 63};
        TBitmap got(90, 70);
        got.SetStretchFilter(StretchFilter::Smooth);
        img.StretchDraw(got, rect);
        EXPECT_FALSE(img.Decoded());
        EXPECT_EQ(img.Width(), 301);
        EXPECT_EQ(img.Height(), 199);

        const std::string cmd = std::string("djpeg -scale 3/8 ") + (components == 1 ? "-colors 236 " : "") +
                                "-bmp -outfile '" + (tmp / "scaled.bmp").string() + "' '" + file.string() +
                                "'";
        ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
        const Pixels scaled = ReadDjpegBmp(tmp / "scaled.bmp");
        ASSERT_EQ(scaled.width, 113);
        ASSERT_EQ(scaled.height, 75);
        const PixelSource source{scaled.bgr.data(), scaled.width, scaled.height,
                                 scaled.width * 3,  nullptr,      0};
        TBitmap want(90, 70);
        StretchSmooth(want, source, rect);
        EXPECT_EQ(Rows(want).bgr, Rows(got).bgr) << components;

        // Drawn again, it decodes again from the kept data.
        TBitmap again(90, 70);
        again.SetStretchFilter(StretchFilter::Smooth);
        img.StretchDraw(again, rect);
        EXPECT_EQ(Rows(want).bgr, Rows(again).bgr) << components;
    }
}

// Large pictures decode in two bands on two threads; forced here onto small
// pictures, both bands together must draw what one decode draws, fail alike,
// and leave the rows outside the drawn rectangle alone: at full size, and
// scaled into a smooth shrink. The same again with the picture read from its
// file a piece at a time instead of from memory.
TEST(JpegDecoder, TwoBandsDrawWhatOneDecodeDraws) {
    DisplayDepth depth(24);
    struct SplitMinimum {
        ~SplitMinimum() { TJPEGImage::SetSplitMinimumForTesting(std::int64_t{1} << 20); }
    } restore;
    testsupport::TempDir tmp;
    const auto load = [&](TJPEGImage& img, const std::vector<std::uint8_t>& jpeg, bool fromFile) {
        if (!fromFile) return img.LoadFromData(std::vector<std::uint8_t>(jpeg));
        img.LoadFromFile(Write(tmp, "bild.jpg", jpeg).string());
    };
    const auto draw = [&](const std::vector<std::uint8_t>& jpeg, const TRect& rect, bool split,
                          bool fromFile) {
        return StretchOntoStripes([&](TJPEGImage& img) { load(img, jpeg, fromFile); }, rect, split);
    };
    // Straight into a fresh bitmap of the picture's size, then through the
    // kept copy.
    const auto full = [&](const std::vector<std::uint8_t>& jpeg, bool split, bool fromFile) {
        TJPEGImage::SetSplitMinimumForTesting(split ? 0 : INT64_MAX);
        TJPEGImage img;
        std::vector<std::uint8_t> pixels;
        const std::string error = ErrorOf([&] {
            load(img, jpeg, fromFile);
            TBitmap direct(img.Width(), img.Height());
            img.Draw(direct, 0, 0);
            TBitmap kept(img.Width() + 1, img.Height());
            img.Draw(kept, 1, 0);
            pixels = Rows(direct).bgr;
            const auto k = Rows(kept).bgr;
            pixels.insert(pixels.end(), k.begin(), k.end());
        });
        return std::pair{error, pixels};
    };
    std::vector<std::pair<std::string, std::vector<std::uint8_t>>> files;
    for (const auto& [name, o] : {
             std::pair{"4:2:0", EncodeOptions{.width = 640, .height = 480}},
             std::pair{"4:2:2", EncodeOptions{.width = 401, .height = 333, .vSampling = 1}},
             std::pair{"4:4:4", EncodeOptions{.width = 333, .height = 401, .hSampling = 1, .vSampling = 1}},
             std::pair{"restarts", EncodeOptions{.width = 500, .height = 300, .restartRows = 2}},
             std::pair{"progressive", EncodeOptions{.progressive = true}},
         })
        files.emplace_back(name, MakeJpeg(o));
    for (const auto& entry : testsupport::fs::directory_iterator(CorpusPath("jpeg")))
        files.emplace_back(entry.path().filename().string(), testsupport::ReadBytes(entry.path()));
    // Damaged in the middle: the upper band may still see good data.
    std::vector<std::uint8_t> damaged = files[0].second;
    for (std::size_t i = damaged.size() / 2; i < damaged.size() / 2 + 64; ++i)
        damaged[i] = static_cast<std::uint8_t>(i * 37);
    files.emplace_back("damaged middle", damaged);
    // A comment larger than a piece the file is read in: skipped, not read.
    std::vector<std::uint8_t> commented = files[0].second;
    std::vector<std::uint8_t> comment = {0xFF, 0xFE, 0xEA, 0x62};
    comment.resize(0xEA62 + 2, 'x');
    commented.insert(commented.begin() + 2, comment.begin(), comment.end());
    files.emplace_back("large comment", commented);
    files.emplace_back("cut in half",
                       std::vector<std::uint8_t>(files[0].second.begin(),
                                                 files[0].second.begin() + files[0].second.size() / 2));
    for (const auto& [name, jpeg] : files) {
        const auto one = full(jpeg, false, false);
        for (const auto& [split, fromFile] : {std::pair{true, false}, {false, true}, {true, true}}) {
            const auto other = full(jpeg, split, fromFile);
            EXPECT_EQ(one.first, other.first) << name << " " << split << fromFile;
            EXPECT_TRUE(one.second == other.second) << name << " at full size " << split << fromFile;
        }
        for (const TRect rect :
             {TRect{0, 0, 97, 71}, TRect{-7, -20, 90, 60}, TRect{5, 9, 80, 95}, TRect{3, 2, 60, 4}}) {
            const auto one = draw(jpeg, rect, false, false);
            for (const auto& [split, fromFile] : {std::pair{true, false}, {false, true}, {true, true}}) {
                const auto other = draw(jpeg, rect, split, fromFile);
                EXPECT_EQ(one.first, other.first) << name << " " << split << fromFile;
                EXPECT_TRUE(one.second == other.second)
                    << name << " " << rect.Left << "," << rect.Top << " " << split << fromFile;
            }
        }
    }
}

// The bands of a split stretch agree while they run where they meet; wherever
// that is, even above rows the upper band has already claimed or past the
// bottom, they draw what one decode draws.
TEST(JpegDecoder, BandsMeetingAnywhereDrawWhatOneDecodeDraws) {
    DisplayDepth depth(24);
    struct Restore {
        ~Restore() {
            TJPEGImage::SetSplitMinimumForTesting(std::int64_t{1} << 20);
            TJPEGImage::SetMeetingForTesting(nullptr);
        }
    } restore;
    using Policy = int (*)(int, int, int, int);
    const std::pair<const char*, Policy> policies[] = {
        {"at the top", [](int first, int, int, int) { return first; }},
        {"at the bottom", [](int, int end, int, int) { return end; }},
        {"past the bottom", [](int, int end, int, int) { return end + 100; }},
        {"halfway", [](int first, int end, int, int) { return (first + end) / 2; }},
        {"after the last row skimmed", [](int, int end, int skimmed, int) { return skimmed < end ? -1 : 0; }},
        {"just below the upper band",
         [](int, int, int, int claimed) { return claimed > 0 ? claimed + 1 : -1; }},
        {"by timing", nullptr},
    };
    const auto draw = [](const std::vector<std::uint8_t>& jpeg, const TRect& rect, bool split) {
        return StretchOntoStripes([&](TJPEGImage& img) { img.LoadFromData(std::vector<std::uint8_t>(jpeg)); },
                                  rect, split);
    };
    std::vector<std::uint8_t> damaged = MakeJpeg(EncodeOptions{.width = 640, .height = 480});
    for (std::size_t i = damaged.size() / 2; i < damaged.size() / 2 + 64; ++i)
        damaged[i] = static_cast<std::uint8_t>(i * 37);
    const std::pair<const char*, std::vector<std::uint8_t>> files[] = {
        {"4:2:0", MakeJpeg(EncodeOptions{.width = 640, .height = 480})},
        {"4:4:4 tall", MakeJpeg(EncodeOptions{.width = 200, .height = 900, .hSampling = 1, .vSampling = 1})},
        {"damaged middle", damaged},
    };
    TJPEGImage::SplicesForTesting();
    for (const auto& [name, jpeg] : files)
        for (const TRect rect : {TRect{0, 0, 97, 71}, TRect{-7, -20, 90, 60}, TRect{3, 30, 60, 35}}) {
            TJPEGImage::SetMeetingForTesting(nullptr);
            const auto one = draw(jpeg, rect, false);
            for (const auto& [where, policy] : policies) {
                TJPEGImage::SetMeetingForTesting(policy);
                const auto met = draw(jpeg, rect, true);
                EXPECT_EQ(one.first, met.first) << name << ", meeting " << where;
                EXPECT_TRUE(one.second == met.second) << name << " " << rect.Top << ", meeting " << where;
            }
        }
    // Most lower bands got there through a spliced stream.
    EXPECT_GT(TJPEGImage::SplicesForTesting(), 20);
}

// A picture read from its file at each decode: a file replaced after loading
// still gives the picture loaded, one cut short meanwhile gives what its
// remaining bytes give, as from memory.
TEST(JpegDecoder, FileReplacedOrCutAfterLoadingIsReadAsItStands) {
    DisplayDepth depth(24);
    testsupport::TempDir tmp;
    const std::vector<std::uint8_t> jpeg = MakeJpeg(EncodeOptions{.width = 640, .height = 480});
    const std::vector<std::uint8_t> other = MakeJpeg(EncodeOptions{.width = 480, .height = 640});
    const auto decode = [](TJPEGImage& img) {
        std::vector<std::uint8_t> pixels;
        const std::string error = ErrorOf([&] {
            TBitmap out(img.Width(), img.Height());
            img.Draw(out, 0, 0);
            pixels = Rows(out).bgr;
        });
        return std::pair{error, pixels};
    };
    TJPEGImage fromMemory;
    fromMemory.LoadFromData(std::vector<std::uint8_t>(jpeg));
    const auto whole = decode(fromMemory);
    ASSERT_EQ(whole.first, "no error");

    const path file = Write(tmp, "bild.jpg", jpeg);
    TJPEGImage replaced;
    replaced.LoadFromFile(file.string());
    Write(tmp, "neu.jpg", other);
    testsupport::fs::rename(tmp / "neu.jpg", file);
    EXPECT_TRUE(decode(replaced) == whole);

    Write(tmp, "bild.jpg", jpeg);
    TJPEGImage cut;
    cut.LoadFromFile(file.string());
    testsupport::fs::resize_file(file, jpeg.size() / 2);
    TJPEGImage half;
    half.LoadFromData(std::vector<std::uint8_t>(jpeg.begin(), jpeg.begin() + jpeg.size() / 2));
    EXPECT_TRUE(decode(cut) == decode(half));

    TJPEGImage missing;
    EXPECT_EQ(ErrorOf([&] { missing.LoadFromFile((tmp / "fehlt.jpg").string()); }),
              FormatMsg(Msg::CannotOpen, {(tmp / "fehlt.jpg").string()}));
    EXPECT_EQ(ErrorOf([&] { missing.LoadFromFile(tmp.str()); }), FormatMsg(Msg::CannotOpen, {tmp.str()}));
}

// ---------------------------------------------------------------------------
// The skimmer and the spliced streams, against libjpeg itself.

// libjpeg's rows of a whole stream at eighths / 8, or none when it fails.
std::vector<std::vector<std::uint8_t>> LibjpegRows(const std::vector<std::uint8_t>& jpeg, int eighths) {
    jpeg_decompress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    err.error_exit = [](j_common_ptr) { throw std::runtime_error("libjpeg"); };
    err.emit_message = [](j_common_ptr, int) {};
    std::vector<std::vector<std::uint8_t>> rows;
    jpeg_create_decompress(&c);
    try {
        jpeg_mem_src(&c, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
        jpeg_read_header(&c, TRUE);
        c.scale_num = static_cast<unsigned>(eighths);
        c.scale_denom = 8;
        c.out_color_space = JCS_EXT_BGR;
        c.dct_method = JDCT_ISLOW;
        jpeg_start_decompress(&c);
        std::vector<std::uint8_t> row(static_cast<std::size_t>(c.output_width) * 3);
        while (c.output_scanline < c.output_height) {
            JSAMPROW r = row.data();
            jpeg_read_scanlines(&c, &r, 1);
            rows.push_back(row);
        }
    } catch (const std::runtime_error&) {
        rows.clear();
    }
    jpeg_destroy_decompress(&c);
    return rows;
}

// The scan's layout as libjpeg reads the header, where its data begins and
// the height of a row of MCUs.
struct Scan {
    jpegskim::Layout layout;
    std::size_t start = 0;
    int mcuHeight = 0;
};

Scan SkimLayout(const std::vector<std::uint8_t>& jpeg) {
    jpeg_decompress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    jpeg_create_decompress(&c);
    jpeg_mem_src(&c, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
    jpeg_read_header(&c, TRUE);
    jpeg_start_decompress(&c); // the standard tables, where the file has none
    jpegskim::Layout l;
    l.mcusPerRow =
        (static_cast<int>(c.image_width) + 8 * c.max_h_samp_factor - 1) / (8 * c.max_h_samp_factor);
    l.mcuRows = (static_cast<int>(c.image_height) + 8 * c.max_v_samp_factor - 1) / (8 * c.max_v_samp_factor);
    l.components = c.comps_in_scan;
    for (int i = 0; i < c.comps_in_scan; ++i) {
        const jpeg_component_info& comp = *c.cur_comp_info[i];
        l.blocks[i] = comp.h_samp_factor * comp.v_samp_factor;
        std::memcpy(l.dc[i].bits, c.dc_huff_tbl_ptrs[comp.dc_tbl_no]->bits, 17);
        std::memcpy(l.dc[i].values, c.dc_huff_tbl_ptrs[comp.dc_tbl_no]->huffval, 256);
        std::memcpy(l.ac[i].bits, c.ac_huff_tbl_ptrs[comp.ac_tbl_no]->bits, 17);
        std::memcpy(l.ac[i].values, c.ac_huff_tbl_ptrs[comp.ac_tbl_no]->huffval, 256);
    }
    const Scan scan{l, jpeg.size() - c.src->bytes_in_buffer, 8 * c.max_v_samp_factor};
    jpeg_destroy_decompress(&c);
    return scan;
}

jpegskim::ReadFn ReadFrom(const std::vector<std::uint8_t>& bytes) {
    return [&bytes](std::uint64_t offset, std::uint8_t* to, std::size_t n) -> std::size_t {
        if (offset >= bytes.size()) return 0;
        const std::size_t got = std::min<std::size_t>(n, bytes.size() - offset);
        std::memcpy(to, bytes.data() + offset, got);
        return got;
    };
}

// Splices every row of jpeg at each of the eighths and compares libjpeg's
// rows of the spliced stream with those of the whole, from the row below the
// splice on (the row itself is there for the upsampling). Counts the rows
// tried and spliced, and the bits within a byte that rows began at.
struct SpliceCount {
    int rows = 0;
    int spliced = 0;
    std::set<int> bits;
};

void SpliceEveryRow(const std::string& name, const std::vector<std::uint8_t>& jpeg,
                    std::initializer_list<int> scales, SpliceCount& count) {
    const auto [layout, scan, mcuHeight] = SkimLayout(jpeg);
    jpegskim::Skimmer skimmer(layout, ReadFrom(jpeg), scan);
    ASSERT_TRUE(skimmer.Usable()) << name;
    EXPECT_TRUE(skimmer.SkimTo(layout.mcuRows - 1)) << name;
    ASSERT_EQ(skimmer.Reached(), layout.mcuRows - 1) << name;
    const int height = static_cast<int>(LibjpegRows(jpeg, 8).size());
    for (const int eighths : scales) {
        const auto whole = LibjpegRows(jpeg, eighths);
        const int rowsPerMcu = mcuHeight * eighths / 8;
        for (int top = 1; top <= skimmer.Reached(); ++top) {
            const jpegskim::RowStart& at = skimmer.Start(top);
            std::vector<std::uint8_t> stream;
            std::uint64_t resumeAt = 0;
            ASSERT_TRUE(jpegskim::WithHeight(jpeg.data(), scan, height - (top - 1) * mcuHeight, stream));
            ++count.rows;
            if (!jpegskim::SpliceRow(layout, at, stream, resumeAt)) continue;
            ++count.spliced;
            count.bits.insert(at.bit);
            stream.insert(stream.end(), jpeg.begin() + static_cast<std::ptrdiff_t>(resumeAt), jpeg.end());
            const auto part = LibjpegRows(stream, eighths);
            const std::size_t shift = static_cast<std::size_t>((top - 1) * rowsPerMcu);
            ASSERT_EQ(part.size() + shift, whole.size()) << name << " from row " << top;
            for (std::size_t y = static_cast<std::size_t>((top + 1) * rowsPerMcu); y < whole.size(); ++y)
                ASSERT_TRUE(part[y - shift] == whole[y])
                    << name << " at " << eighths << "/8 from row " << top << ", row " << y;
        }
    }
}

// From every row of MCUs, a spliced stream decodes, at full size and scaled,
// to the rows one decode of the whole file gives. Rows begin at every bit of
// a byte, the tables are the standard ones or made for the picture, and the
// sampling varies.
TEST(JpegSkim, SplicedStreamsDecodeLikeTheWholeFromEveryRow) {
    const std::pair<const char*, std::vector<std::uint8_t>> files[] = {
        {"4:2:0", MakeJpeg({.width = 640, .height = 480})},
        {"4:2:2 own tables", MakeJpeg({.width = 401, .height = 333, .vSampling = 1, .optimize = true})},
        {"4:4:4 own tables",
         MakeJpeg({.width = 333, .height = 401, .hSampling = 1, .vSampling = 1, .optimize = true})},
        {"4:4:0", MakeJpeg({.width = 150, .height = 260, .hSampling = 1, .vSampling = 2})},
        {"corpus", testsupport::ReadBytes(CorpusPath("jpeg") / "ljt-testorig.jpg")},
    };
    SpliceCount count;
    for (const auto& [name, jpeg] : files)
        SpliceEveryRow(name, jpeg, {8, 7, 3}, count);
    EXPECT_EQ(count.bits.size(), 8u);
    EXPECT_GT(count.spliced, count.rows * 9 / 10);
}

// The same over pictures of every sampling libjpeg allows in one scan (luma
// 1 to 4 by 1 to 4, chroma 1 or 2), qualities from 5 to 100, both kinds of
// tables and any scale, chosen by a fixed seed.
TEST(JpegSkim, SplicedStreamsOfManyKindsOfPictures) {
    std::uint32_t seed = 2026;
    const auto random = [&seed](int n) {
        seed = seed * 1103515245u + 12345u;
        return static_cast<int>((seed >> 8) % static_cast<std::uint32_t>(n));
    };
    SpliceCount count;
    for (int i = 0; i < 60; ++i) {
        EncodeOptions o{.width = 8 + random(300), .height = 8 + random(200)};
        o.hSampling = 1 + random(4);
        o.vSampling = 1 + random(4);
        o.chromaH = 1 + random(2);
        o.chromaV = 1 + random(2);
        if (o.hSampling % o.chromaH || o.hSampling * o.vSampling + 2 * o.chromaH * o.chromaV > 10)
            o.chromaH = o.chromaV = 1;
        if (o.vSampling % o.chromaV) o.chromaV = 1;
        if (o.hSampling * o.vSampling > 8) o.hSampling = o.vSampling = 2;
        o.quality = 5 + random(96);
        o.optimize = random(2) == 1;
        const int eighths = 1 + random(8);
        SpliceEveryRow("picture " + std::to_string(i), MakeJpeg(o), {eighths}, count);
    }
    EXPECT_GT(count.spliced, count.rows * 9 / 10);
}

// Damage in the data stops the skimmer where libjpeg would not read on as
// from the whole file; the rows above stay known and splice as before.
TEST(JpegSkim, StopsAtDamageAndTheEnd) {
    const std::vector<std::uint8_t> good = MakeJpeg({.width = 320, .height = 320});
    const auto [layout, scan, mcuHeight] = SkimLayout(good);
    ASSERT_EQ(mcuHeight, 16);
    const auto whole = LibjpegRows(good, 8);
    const std::size_t middle = scan + (good.size() - scan) / 2;
    std::vector<std::uint8_t> marker = good,
                              cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(middle)),
                              codes = good, fills = good;
    marker[middle] = 0xFF;
    marker[middle + 1] = 0xD3; // a restart marker where none belongs
    for (std::size_t i = middle; i < middle + 40; i += 2) {
        codes[i] = 0xFF; // an FF data byte: runs of ones longer than any code
        codes[i + 1] = 0;
    }
    fills[middle] = 0xFF;
    fills[middle + 1] = 0xFF;
    for (const auto& [name, jpeg] :
         {std::pair{"marker", marker}, {"cut", cut}, {"codes", codes}, {"fills", fills}}) {
        jpegskim::Skimmer skimmer(layout, ReadFrom(jpeg), scan);
        EXPECT_FALSE(skimmer.SkimTo(layout.mcuRows - 1)) << name;
        EXPECT_GT(skimmer.Reached(), layout.mcuRows / 3) << name;
        EXPECT_LT(skimmer.Reached(), layout.mcuRows * 2 / 3) << name;
        const int top = skimmer.Reached() - 1;
        std::vector<std::uint8_t> stream;
        std::uint64_t resumeAt = 0;
        ASSERT_TRUE(jpegskim::WithHeight(jpeg.data(), scan, 320 - (top - 1) * 16, stream));
        ASSERT_TRUE(jpegskim::SpliceRow(layout, skimmer.Start(top), stream, resumeAt)) << name;
        stream.insert(stream.end(), good.begin() + static_cast<std::ptrdiff_t>(resumeAt), good.end());
        const auto part = LibjpegRows(stream, 8);
        ASSERT_EQ(part.size() + static_cast<std::size_t>((top - 1) * 16), whole.size()) << name;
        EXPECT_TRUE(std::equal(part.begin() + 32, part.end(), whole.begin() + (top + 1) * 16)) << name;
    }
    // A table that libjpeg refuses is refused here too.
    jpegskim::Layout bad = layout;
    bad.dc[0].bits[1] = 3; // three codes of one bit
    EXPECT_FALSE(jpegskim::Skimmer(bad, ReadFrom(good), scan).Usable());
}

// The header with another height: libjpeg reads it as the same picture,
// shorter. Anything but plain marker segments with a baseline frame is left.
TEST(JpegSkim, HeaderTakesAnotherHeight) {
    const std::vector<std::uint8_t> jpeg = MakeJpeg({.width = 64, .height = 48});
    const std::size_t scan = SkimLayout(jpeg).start;
    std::vector<std::uint8_t> head;
    ASSERT_TRUE(jpegskim::WithHeight(jpeg.data(), scan, 300, head));
    ASSERT_EQ(head.size(), scan);
    head.insert(head.end(), jpeg.begin() + static_cast<std::ptrdiff_t>(scan), jpeg.end());
    EXPECT_EQ(LibjpegRows(head, 8).size(), 300u);

    const auto refused = [&](std::vector<std::uint8_t> bytes, std::size_t size) {
        std::vector<std::uint8_t> out;
        return !jpegskim::WithHeight(bytes.data(), size, 30, out);
    };
    EXPECT_TRUE(refused(jpeg, scan - 1)) << "cut inside the scan header";
    EXPECT_TRUE(refused(jpeg, 2)) << "no frame";
    const std::vector<std::uint8_t> progressive = MakeJpeg({.width = 64, .height = 48, .progressive = true});
    EXPECT_TRUE(refused(progressive, SkimLayout(progressive).start));
    std::vector<std::uint8_t> padded = jpeg;
    padded.insert(padded.begin() + 2, 0xFF); // a fill byte before a marker
    EXPECT_TRUE(refused(padded, scan + 1));
    EXPECT_TRUE(refused(jpeg, 0));
}
