// HEIF/AVIF and JPEG XL through libheif and libjxl (Linux) against the
// references of the shared corpus, and their failures.
#include "compose/Graphics.h"
#include "compose/decoders/HeifImage.h"
#include "compose/decoders/RasterImage.h"
#include "config/Messages.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

using namespace testsupport;

namespace {

struct Rgba {
    int width = 0, height = 0;
    std::vector<std::uint8_t> rgba;
};

Rgba DecodeRgba(const fs::path& file) {
    auto g = CreateGraphicForExtension(ExtractFileExt(file.string()).substr(1));
    g->LoadFromData(ReadBytes(file));
    auto& r = dynamic_cast<TRasterImage&>(*g);
    const PixelSource s = r.Source();
    Rgba out{s.width, s.height, {}};
    for (int y = 0; y < s.height; ++y)
        for (int x = 0; x < s.width; ++x) {
            const std::uint8_t* p = s.pixels + y * s.stride + x * 3;
            out.rgba.insert(out.rgba.end(),
                            {p[2], p[1], p[0], s.alpha ? s.alpha[y * s.alphaStride + x] : std::uint8_t{255}});
        }
    return out;
}

struct Tolerance {
    int colour = 0;
    int alpha = 0;
};

void ExpectMatchesReference(const std::string& rel, Tolerance t) {
    SCOPED_TRACE(rel);
    const fs::path file = CorpusPath(rel);
    Rgba got;
    ASSERT_NO_THROW(got = DecodeRgba(file));
    const RgbaImage want =
        LoadReferenceImage(file.parent_path() / "ref" / (file.filename().string() + ".png"));
    ASSERT_EQ(got.width, want.width);
    ASSERT_EQ(got.height, want.height);
    int colour = 0, alpha = 0;
    std::size_t worst = 0;
    for (std::size_t i = 0; i + 3 < want.rgba.size(); i += 4) {
        const int before = std::max(colour, alpha);
        alpha = std::max(alpha, std::abs(got.rgba[i + 3] - want.rgba[i + 3]));
        if (want.rgba[i + 3] != 0)
            for (int c = 0; c < 3; ++c)
                colour = std::max(colour, std::abs(got.rgba[i + c] - want.rgba[i + c]));
        if (std::max(colour, alpha) > before) worst = i;
    }
    EXPECT_LE(colour, t.colour);
    EXPECT_LE(alpha, t.alpha);
    if (colour > t.colour || alpha > t.alpha)
        ADD_FAILURE() << "largest difference at pixel " << worst / 4 % got.width << ","
                      << worst / 4 / got.width << ": " << int(got.rgba[worst]) << " "
                      << int(got.rgba[worst + 1]) << " " << int(got.rgba[worst + 2]) << " "
                      << int(got.rgba[worst + 3]) << " instead of " << int(want.rgba[worst]) << " "
                      << int(want.rgba[worst + 1]) << " " << int(want.rgba[worst + 2]) << " "
                      << int(want.rgba[worst + 3]);
}

std::string LoadError(const fs::path& file) {
    const std::string rel = file.string();
    TPicture holder;
    holder.LoadFromFile(CorpusPath("bmp/bmpsuite-g-pal8.bmp").string());
    TGraphic* before = holder.Graphic();
    std::string message = "(loaded)";
    const auto start = std::chrono::steady_clock::now();
    try {
        holder.LoadFromFile(rel);
    } catch (const ZenksError& e) {
        message = e.what();
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5)) << rel;
    EXPECT_EQ(holder.Graphic(), before) << rel;
    return message;
}

std::string LoadError(const char* rel) {
    return LoadError(CorpusPath(rel));
}

} // namespace

// The references come from the same libheif (heif-convert), so 8-bit files
// match exactly; 10-bit ones are reduced to 8 bits by libheif here and by
// pamdepth's rounding there, one step apart at most.
TEST(HeifImage, FilesMatchTheirReferencesWithTheContainersTransforms) {
    for (const char* name :
         {"avif/libavif-colors_sdr_srgb.avif", "avif/libavif-colors-animated-8bpc.avif",
          "avif/libavif-abc_color_irot_alpha_irot.avif", "avif/libavif-draw_points_idat.avif",
          "avif/libavif-color_grid_alpha_nogrid.avif", "avif/libavif-white_1x1.avif",
          "avif/libavif-alpha_noispe.avif", "heif/exiv2-Stonehenge.heic", "heif/exiv2-Stonehenge-irot90.heic",
          "heif/pillowheif-RGB_8_chroma444.heif", "heif/pillowheif-RGBA_8__29x100.heif",
          "heif/pillowheif-L_8__29x100.heif", "heif/pillowheif-zPug_3.heic"})
        ExpectMatchesReference(name, {});
    for (const char* name : {"avif/libavif-colors_hdr_srgb.avif", "heif/pillowheif-RGB_10__29x100.heif"})
        ExpectMatchesReference(name, {1, 0});
}

// libheif 1.15 mirrors only 8-bit pictures; a 10-bit mirrored one gives its
// words rather than a picture the wrong way round.
TEST(HeifImage, AMirroredTenBitPictureGivesTheLibrarysMessage) {
    EXPECT_EQ(LoadError("avif/libavif-clap_irot_imir_non_essential.avif"),
              "AVIF-Fehler: Unsupported feature: Unspecified: Can currently only mirror images with 8 bits "
              "per pixel");
}

TEST(HeifImage, BrokenFilesGiveTheirMessage) {
    EXPECT_EQ(LoadError("avif/libavif-colors_sdr_srgb-truncated.avif"), "Stream-Read-Fehler");
    EXPECT_EQ(LoadError("heif/pillowheif-truncated.heic"), "Stream-Read-Fehler");
    EXPECT_EQ(LoadError("heif/pillowheif-corrupted.heic"), "HEIF-Fehler: Invalid input: No 'meta' box");
    EXPECT_EQ(LoadError("heif/exiv2-issue_1793_poc.heic"), "HEIF-Fehler: Invalid input: No 'meta' box");
}

// A grid's canvas is allocated at the size its own box declares: 65535 x
// 65535 here, behind a picture that says it is 80 x 80.
TEST(HeifImage, AGridCanvasBeyondThePicturesSizeIsRefusedBeforeAllocation) {
    TempDir tmp;
    std::vector<std::uint8_t> bytes = ReadBytes(CorpusPath("avif/libavif-color_grid_alpha_nogrid.avif"));
    constexpr std::size_t kGridSides = 0x277; // 16-bit output width and height of the grid item
    ASSERT_EQ(bytes.at(kGridSides + 1), 0x50);
    ASSERT_EQ(bytes.at(kGridSides + 3), 0x50);
    for (std::size_t i = 0; i < 4; ++i)
        bytes.at(kGridSides + i) = 0xFF;
    WriteBytes(tmp / "grid.avif", bytes);
    EXPECT_EQ(LoadError(tmp / "grid.avif"), "Zu wenig Arbeitsspeicher");
}

// libheif is opened at the first HEIF picture; a system without it still
// runs, and such a picture names what is missing. In a child process of its
// own, since the library stays loaded once a picture has needed it.
TEST(HeifImageDeathTest, WithoutTheLibraryAPictureNamesItsExtension) {
    testing::FLAGS_gtest_death_test_style = "threadsafe";
    EXPECT_EXIT(
        {
            THeifImage::SetLibraryForTesting("libheif-not-installed.so.1");
            std::fputs(LoadError("heif/exiv2-Stonehenge.heic").c_str(), stderr);
            std::exit(0);
        },
        testing::ExitedWithCode(0), "Formats \\.heic ist auf diesem System kein Decoder installiert");
}

// The references are djxl's output from the same libjxl.
TEST(JxlImage, FilesMatchTheirReferences) {
    for (const char* name :
         {"jxl/jxlconf-grayscale.jxl", "jxl/jxlconf-grayscale_jpeg.jxl", "jxl/jxlconf-lz77_flower.jxl",
          "jxl/jxlconf-patches_lossless.jxl", "jxl/jxlconf-animation_spline.jxl",
          "jxl/jxltestdata-pq_gradient.jxl", "jxl/jxltestdata-spline_on_first_frame.jxl",
          "jxl/jxltestdata-cropped_traffic_light.jxl"})
        ExpectMatchesReference(name, {});
}

// Its reference wraps around (red = 8 x mod 256), while libjxl gives the
// smooth ramps the file describes: red and alpha rise from 0 at the left and
// top edges to 255 at the right and bottom ones.
TEST(JxlImage, AlphaRampsOfANonPremultipliedFile) {
    const Rgba r = DecodeRgba(CorpusPath("jxl/jxlconf-alpha_nonpremultiplied.jxl"));
    ASSERT_EQ(r.width, 1024);
    ASSERT_EQ(r.height, 1024);
    const auto at = [&r](int x, int y, int c) { return static_cast<int>(r.rgba[(y * 1024 + x) * 4 + c]); };
    EXPECT_EQ(at(0, 0, 3), 0);
    EXPECT_EQ(at(0, 1023, 3), 255);
    EXPECT_EQ(at(0, 0, 0), 0);
    EXPECT_EQ(at(1023, 0, 0), 255);
    for (int i = 1; i < 1024; ++i) {
        EXPECT_GE(at(0, i, 3), at(0, i - 1, 3));
        EXPECT_GE(at(i, 0, 0), at(i - 1, 0, 0));
    }
}

TEST(JxlImage, ATruncatedFileGivesTheStreamMessage) {
    EXPECT_EQ(LoadError("jxl/jxlconf-grayscale-truncated.jxl"), "Stream-Read-Fehler");
}
