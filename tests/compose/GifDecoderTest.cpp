#include "compose/decoders/Decoders.h"
#include "compose/decoders/GifImage.h"
#include "config/Messages.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

using testsupport::CorpusPath;
using Bytes = std::vector<std::uint8_t>;

namespace {

TGIFImage Load(Bytes data) {
    TGIFImage gif;
    gif.LoadFromData(std::move(data));
    return gif;
}

TGIFImage LoadCorpus(const std::string& name) {
    return Load(testsupport::ReadBytes(CorpusPath("gif/" + name)));
}

std::string LoadError(Bytes data) {
    try {
        Load(std::move(data));
    } catch (const ZenksError& e) {
        return e.what();
    }
    return "(loaded)";
}

// A target of the picture's size filled with a colour the files never use,
// so that undrawn pixels are told apart from drawn ones.
constexpr std::array<std::uint8_t, 3> kBackground = {0x12, 0x34, 0x56}; // B, G, R

TBitmap Render(TGIFImage gif) {
    TBitmap target(gif.Width(), gif.Height());
    for (int y = 0; y < target.Height(); ++y)
        for (int x = 0; x < target.Width(); ++x)
            std::copy(kBackground.begin(), kBackground.end(), target.ScanLine(y) + x * 3);
    gif.Draw(target, 0, 0);
    return target;
}

// R, G, B of one pixel, in that order.
std::array<int, 3> Rgb(const TBitmap& b, int x, int y) {
    const std::uint8_t* p = b.ScanLine(y) + x * 3;
    return {p[2], p[1], p[0]};
}

bool IsBackground(const TBitmap& b, int x, int y) {
    const std::uint8_t* p = b.ScanLine(y) + x * 3;
    return p[0] == kBackground[0] && p[1] == kBackground[1] && p[2] == kBackground[2];
}

// Packs (code, width) pairs into the little-endian bit stream of GIF image
// data, split into sub-blocks of at most 255 bytes, with the terminator.
Bytes Pack(const std::vector<std::pair<int, int>>& codes) {
    Bytes stream;
    std::uint32_t acc = 0;
    int bits = 0;
    for (auto [code, width] : codes) {
        acc |= static_cast<std::uint32_t>(code) << bits;
        bits += width;
        while (bits >= 8) {
            stream.push_back(static_cast<std::uint8_t>(acc));
            acc >>= 8;
            bits -= 8;
        }
    }
    if (bits > 0) stream.push_back(static_cast<std::uint8_t>(acc));
    Bytes out;
    for (std::size_t i = 0; i < stream.size(); i += 255) {
        const std::size_t n = std::min<std::size_t>(255, stream.size() - i);
        out.push_back(static_cast<std::uint8_t>(n));
        out.insert(out.end(), stream.begin() + i, stream.begin() + i + n);
    }
    out.push_back(0);
    return out;
}

void Put16(Bytes& g, int v) {
    g.insert(g.end(), {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8)});
}

// A GIF89a with a 4-colour global table (black, red, green, blue), an
// optional graphic control block, and one w x h image whose code-size byte
// and data are given.
Bytes MakeGif(int w, int h, std::uint8_t codeSize, const Bytes& imageData, int transparent = -1,
              std::uint8_t imageFlags = 0) {
    Bytes g = {'G', 'I', 'F', '8', '9', 'a'};
    Put16(g, w); // logical screen
    Put16(g, h);
    g.insert(g.end(), {0x81, 0, 0});                               // global table of 4, background, aspect
    g.insert(g.end(), {0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255}); // black, red, green, blue
    if (transparent >= 0)
        // graphic control: size 4, transparency flag, delay 0, the index, end
        g.insert(g.end(), {0x21, 0xF9, 4, 0x01, 0, 0, static_cast<std::uint8_t>(transparent), 0});
    g.insert(g.end(), {0x2C, 0, 0, 0, 0}); // image descriptor at (0, 0)
    Put16(g, w);
    Put16(g, h);
    g.insert(g.end(), {imageFlags, codeSize}); // local table and interlace flags, LZW code size
    g.insert(g.end(), imageData.begin(), imageData.end());
    g.push_back(0x3B);
    return g;
}

using Colours = std::vector<std::array<int, 3>>;
const std::array<int, 3> kBlack = {0, 0, 0}, kRed = {255, 0, 0}, kGreen = {0, 255, 0}, kBlue = {0, 0, 255};

Colours Pixels(const TBitmap& b) {
    Colours out;
    for (int y = 0; y < b.Height(); ++y)
        for (int x = 0; x < b.Width(); ++x)
            out.push_back(Rgb(b, x, y));
    return out;
}

} // namespace

// --- the corpus --------------------------------------------------------------

TEST(GifCorpus, InterlacedTreescapeMatchesItsRawReferenceExactly) {
    TGIFImage gif = LoadCorpus("giflib-treescap-interlaced.gif");
    ASSERT_EQ(gif.Width(), 40);
    ASSERT_EQ(gif.Height(), 40);
    const Bytes ref = testsupport::ReadBytes(CorpusPath("gif/ref/giflib-treescap-interlaced.rgb"));
    ASSERT_EQ(ref.size(), 40u * 40 * 3);
    const TBitmap b = Render(gif);
    int wrong = 0;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 40; ++x) {
            const std::uint8_t* r = &ref[(y * 40 + x) * 3];
            if (Rgb(b, x, y) != std::array<int, 3>{r[0], r[1], r[2]}) ++wrong;
        }
    EXPECT_EQ(wrong, 0);
}

// Compares the drawn picture with ImageMagick's reading of the first image:
// opaque pixels must match, transparent ones must leave the target alone.
void ExpectMatchesReference(TGIFImage& gif, const testsupport::fs::path& ref) {
    const testsupport::RgbaImage want = testsupport::LoadReferenceImage(ref);
    ASSERT_EQ(gif.Width(), want.width);
    ASSERT_EQ(gif.Height(), want.height);
    const TBitmap b = Render(gif);
    int wrong = 0, transparent = 0;
    for (int y = 0; y < want.height; ++y)
        for (int x = 0; x < want.width; ++x) {
            const std::uint8_t* p = &want.rgba[(y * want.width + x) * 4];
            if (p[3] == 0) {
                ++transparent;
                wrong += !IsBackground(b, x, y);
            } else {
                wrong += Rgb(b, x, y) != std::array<int, 3>{p[0], p[1], p[2]};
            }
        }
    EXPECT_EQ(wrong, 0);
    EXPECT_GT(transparent, 0);
}

TEST(GifCorpus, TransparentColourIsNotDrawn) {
    TGIFImage gif = LoadCorpus("pygif-transparent.gif");
    EXPECT_TRUE(gif.HasMask());
    ExpectMatchesReference(gif, CorpusPath("gif/ref/pygif-four-colors-transparent.png"));
}

TEST(GifCorpus, AnimationShowsOnlyItsFirstImage) {
    TGIFImage gif = LoadCorpus("giflib-welcome2.gif");
    ExpectMatchesReference(gif, CorpusPath("gif/giflib-welcome2.gif"));
}

TEST(GifCorpus, FirstImageSmallerThanScreenReportsItsOwnSize) {
    TGIFImage first = LoadCorpus("pillow-first_frame_transparency.gif");
    EXPECT_EQ(first.Width(), 50);
    EXPECT_EQ(first.Height(), 50);
    ExpectMatchesReference(first, CorpusPath("gif/pillow-first_frame_transparency.gif"));

    TGIFImage tiny = LoadCorpus("wuffs-small-frame-interlaced.gif");
    EXPECT_EQ(tiny.Width(), 1);
    EXPECT_EQ(tiny.Height(), 1);
}

TEST(GifCorpus, ToleratedFiles) {
    TGIFImage text = LoadCorpus("pygif-plain-text.gif");
    EXPECT_EQ(text.Width(), 40);
    EXPECT_EQ(text.Height(), 8);

    // Reading stops after the first image, so the cut-off second descriptor
    // behind it does not matter.
    TGIFImage cut = LoadCorpus("its-55abb3cc464305dd554171c3d44cb61f.gif");
    EXPECT_EQ(cut.Width(), 100);
    EXPECT_EQ(cut.Height(), 45);

    // Code size 11 is brought down to 9: garbled, but no error.
    TGIFImage big = LoadCorpus("pillow-issue_2811.gif");
    EXPECT_EQ(big.Width(), 100);
    EXPECT_EQ(big.Height(), 100);

    // The first code is 7, past anything defined: every pixel keeps index 0.
    TGIFImage invalid = LoadCorpus("pygif-invalid-code.gif");
    ASSERT_EQ(invalid.Width(), 2);
    const TBitmap b = Render(invalid);
    EXPECT_EQ(Pixels(b), (Colours(4, kBlack)));
}

TEST(GifCorpus, TruncatedInterlacedFileKeepsIndexZeroAfterTheCut) {
    TGIFImage gif = LoadCorpus("wuffs-hippopotamus.interlaced.truncated.gif");
    ASSERT_EQ(gif.Width(), 36);
    ASSERT_EQ(gif.Height(), 28);
    const TBitmap b = Render(gif);
    // The data hold 219 pixels before the cut: the first two passes (rows
    // 0, 8, 16, 24, 4, 12) and 3 pixels of row 20, the first row of pass 3.
    auto index0 = [&](int x, int y) { return Rgb(b, x, y) == std::array<int, 3>{0x03, 0x1D, 0x1D}; };
    auto decoded = [&](int y, int from) {
        int n = 0;
        for (int x = from; x < 36; ++x)
            n += !index0(x, y);
        return n;
    };
    for (int y : {0, 8, 16, 24, 4, 12})
        EXPECT_GT(decoded(y, 0), 0) << y;
    EXPECT_GT(decoded(20, 0), 0);
    EXPECT_EQ(decoded(20, 3), 0);
    for (int y = 1; y < 28; y += 2)
        EXPECT_EQ(decoded(y, 0), 0) << y;
    for (int y : {2, 6, 10, 14, 18, 22, 26})
        EXPECT_EQ(decoded(y, 0), 0) << y;
}

TEST(GifCorpus, RejectedFiles) {
    EXPECT_EQ(LoadError(testsupport::ReadBytes(CorpusPath("gif/pygif-unknown-extension.gif"))),
              "Unerkannter Erweiterungsblock: 2A");
    EXPECT_EQ(LoadError(testsupport::ReadBytes(CorpusPath("gif/its-d5a0175c07418852152ef33a886a5029.gif"))),
              "Unbekannte GIF Version");
    EXPECT_EQ(LoadError(testsupport::ReadBytes(
                  CorpusPath("gif/gofuzz-f8ccdfae42a4de553bac84536b95f51f0983466d-1.gif"))),
              "Stream-Read-Fehler");
}

// --- signature and blocks -----------------------------------------------------

// 2 x 1, pixels red and green: code size 2, codes clear(4) 1 2 end(5), 3 bits each.
const Bytes kRedGreen = Pack({{4, 3}, {1, 3}, {2, 3}, {5, 3}});

TEST(GifSignature, VersionIsCaseBlindAndOnly87aOr89a) {
    for (const char* sig : {"GIF87a", "GIF89a", "gif89a", "GiF87A", "gif87A"}) {
        Bytes g = MakeGif(2, 1, 2, kRedGreen);
        std::copy(sig, sig + 6, g.begin());
        EXPECT_EQ(Load(g).Width(), 2) << sig;
    }
    for (const char* sig : {"GIF88a", "GIF89b", "GIF90a", "JIF89a", "GIF8 a"}) {
        Bytes g = MakeGif(2, 1, 2, kRedGreen);
        std::copy(sig, sig + 6, g.begin());
        EXPECT_EQ(LoadError(g), "Unbekannte GIF Version") << sig;
    }
    EXPECT_EQ(LoadError({}), "Unbekannte GIF Version");
    EXPECT_EQ(LoadError({'G', 'I', 'F', '8', '9'}), "Unbekannte GIF Version");
}

TEST(GifBlocks, KnownExtensionsAreSkippedOthersNamedInUpperCaseHex) {
    for (std::uint8_t label : {0x01, 0xFE, 0xFF, 0xF9}) {
        Bytes g = MakeGif(2, 1, 2, kRedGreen);
        // Before the image descriptor: introducer, label, a 4-byte sub-block, terminator.
        const Bytes ext = {0x21, label, 4, 0, 0, 0, 0, 0};
        g.insert(g.begin() + 25, ext.begin(), ext.end());
        EXPECT_EQ(Load(g).Width(), 2) << int(label);
    }
    for (auto [label, text] :
         {std::pair<int, const char*>{0x2A, "2A"}, {0x0A, "0A"}, {0x00, "00"}, {0xF8, "F8"}}) {
        Bytes g = MakeGif(2, 1, 2, kRedGreen);
        const Bytes ext = {0x21, static_cast<std::uint8_t>(label), 0};
        g.insert(g.begin() + 25, ext.begin(), ext.end());
        EXPECT_EQ(LoadError(g), std::string("Unerkannter Erweiterungsblock: ") + text);
    }
}

TEST(GifBlocks, NoImageBeforeTrailerOrStrayByte) {
    Bytes g = MakeGif(2, 1, 2, kRedGreen);
    g.resize(25);
    g.push_back(0x3B); // the trailer right after the table
    EXPECT_EQ(LoadError(g), "Stream-Read-Fehler");
    g.back() = 0x00; // neither extension nor image
    EXPECT_EQ(LoadError(g), "Stream-Read-Fehler");
}

TEST(GifBlocks, AnythingAfterTheFirstImageIsNeverRead) {
    Bytes g = MakeGif(2, 1, 2, kRedGreen);
    g.pop_back();                                // no trailer
    g.insert(g.end(), {0x21, 0x77, 0x2C, 0xFF}); // an unknown extension and a cut descriptor
    const TBitmap b = Render(Load(g));
    EXPECT_EQ(Pixels(b), (Colours{kRed, kGreen}));
}

// Every prefix of a valid file: up to the code-size byte the file must be
// read whole; inside the image data the cut is tolerated.
TEST(GifBlocks, TruncationAnywhere) {
    Bytes g = MakeGif(2, 1, 2, kRedGreen, 3, 0x80); // with a local table as well
    // The local table (2 entries, 6 bytes) follows the descriptor: white, blue.
    g.insert(g.begin() + 43, {255, 255, 255, 0, 0, 255});
    const std::size_t codeSizeByte = 49;
    ASSERT_EQ(g[codeSizeByte], 2);
    ASSERT_EQ(Pixels(Render(Load(g))), (Colours{kBlue, kBlack})); // index 2 is past the 2-entry table
    for (std::size_t n = 0; n < g.size(); ++n) {
        const Bytes cut(g.begin(), g.begin() + n);
        if (n < 6)
            EXPECT_EQ(LoadError(cut), "Unbekannte GIF Version") << n;
        else if (n <= codeSizeByte)
            EXPECT_EQ(LoadError(cut), "Stream-Read-Fehler") << n;
        else
            EXPECT_EQ(Load(cut).Width(), 2) << n;
    }
}

TEST(GifBlocks, GraphicControlBeforePlainTextDoesNotApplyToTheImage) {
    Bytes g = MakeGif(2, 1, 2, kRedGreen, 1);
    // A plain-text block (label 01, one empty sub-block) between the graphic
    // control block and the image takes the transparency for itself.
    g.insert(g.begin() + 33, {0x21, 0x01, 0});
    EXPECT_FALSE(Load(g).HasMask());
    EXPECT_TRUE(Load(MakeGif(2, 1, 2, kRedGreen, 1)).HasMask());
    // A graphic control block whose flag is off has no transparent colour.
    Bytes off = MakeGif(2, 1, 2, kRedGreen, 1);
    off[28] = 0x00;
    EXPECT_FALSE(Load(off).HasMask());
    // A later graphic control block too short to name an index replaces the
    // earlier one: introducer, label, a 3-byte sub-block, terminator.
    Bytes shortBlock = MakeGif(2, 1, 2, kRedGreen, 1);
    shortBlock.insert(shortBlock.begin() + 33, {0x21, 0xF9, 3, 0x01, 0, 0, 0});
    EXPECT_FALSE(Load(shortBlock).HasMask());
}

// --- sizes and colours ---------------------------------------------------------

TEST(GifSizes, HugeAndEmptyImages) {
    EXPECT_EQ(LoadError(MakeGif(65535, 65535, 2, Pack({{5, 3}}))), "Zu wenig Arbeitsspeicher");
    EXPECT_EQ(LoadError(MakeGif(40000, 10000, 2, Pack({{5, 3}}))), "Zu wenig Arbeitsspeicher");
    for (auto [w, h] : {std::pair{0, 0}, {0, 7}, {7, 0}}) {
        Bytes g = MakeGif(w, h, 2, kRedGreen);
        g[13] = 255; // index 0 red: its fill must cope with no pixels
        TGIFImage gif = Load(g);
        EXPECT_EQ(gif.Width(), w);
        EXPECT_EQ(gif.Height(), h);
        TBitmap target(4, 4);
        gif.Draw(target, 0, 0);
        gif.StretchDraw(target, {0, 0, 4, 4});
    }
}

TEST(GifColours, MissingColourTableIsAGreyRamp) {
    Bytes g = {'G',  'I', 'F', '8', '7', 'a', 4, 0, 1, 0, // screen 4 x 1
               0x00, 0,   0,                              // no global table
               0x2C, 0,   0,   0,   0,   4,   0, 1, 0,    // image 4 x 1 at (0, 0)
               0x00,                                      // no local table, not interlaced
               2};                                        // code size
    const Bytes data = Pack({{4, 3}, {0, 3}, {1, 3}, {2, 3}, {3, 4}, {5, 4}});
    g.insert(g.end(), data.begin(), data.end());
    const TBitmap b = Render(Load(g));
    EXPECT_EQ(Pixels(b), (Colours{{0, 0, 0}, {85, 85, 85}, {170, 170, 170}, {255, 255, 255}}));
}

// --- LZW ----------------------------------------------------------------------

TEST(GifLzw, CodeSizesOutsideTwoToNineAreClamped) {
    // 0 and 1 read as 2, so the stream of a code-size-2 encoder decodes.
    for (std::uint8_t size : {0, 1, 2}) {
        const TBitmap b = Render(Load(MakeGif(2, 1, size, kRedGreen)));
        EXPECT_EQ(Pixels(b), (Colours{kRed, kGreen})) << int(size);
    }
    // 12 reads as 9: 10-bit codes, clear 512, end 513.
    for (std::uint8_t size : {9, 12, 255}) {
        const TBitmap b = Render(Load(MakeGif(2, 1, size, Pack({{512, 10}, {3, 10}, {1, 10}}))));
        EXPECT_EQ(Pixels(b), (Colours{kBlue, kRed})) << int(size);
    }
    // Values past the table (here 300 of 4 colours) are black.
    const TBitmap b = Render(Load(MakeGif(2, 1, 9, Pack({{300, 10}, {2, 10}}))));
    EXPECT_EQ(Pixels(b), (Colours{kBlack, kGreen}));
}

TEST(GifLzw, EmptyOrMissingImageDataLeavesIndexZero) {
    const Colours transparentZero(3, {0x56, 0x34, 0x12});
    for (const Bytes& data : {Bytes{0}, Bytes{}, Pack({{5, 3}}), Pack({{4, 3}, {4, 3}, {5, 3}})}) {
        EXPECT_EQ(Pixels(Render(Load(MakeGif(3, 1, 2, data)))), Colours(3, kBlack));
        // With index 0 transparent the undecoded rest is not drawn either.
        EXPECT_EQ(Pixels(Render(Load(MakeGif(3, 1, 2, data, 0)))), transparentZero);
    }
}

TEST(GifLzw, ChainsAndTheCodeBeingDefined) {
    // Code size 2: clear 4, end 5, first free code 6, 3-bit codes.
    // 1: red. 6 is the code being defined: red + its first value = red red.
    // 6 again: red red, and 7 = red red red fills the 3-bit range, so codes
    // are 4 bits from here. 8, again the code being defined: red red red.
    // 3: blue.
    const Bytes data = Pack({{4, 3}, {1, 3}, {6, 3}, {6, 3}, {8, 4}, {3, 4}, {5, 4}});
    const TBitmap b = Render(Load(MakeGif(9, 1, 2, data)));
    Colours want(8, kRed);
    want.push_back(kBlue);
    EXPECT_EQ(Pixels(b), want);
}

TEST(GifLzw, ImpossibleCodeStopsDecodingTheRestIsIndexZero) {
    // Code size 3: clear 8, 4-bit codes. After red and green the next free
    // code is 11, so 15 names nothing: decoding stops there.
    const Bytes data = Pack({{8, 4}, {1, 4}, {2, 4}, {15, 4}, {3, 4}});
    const TBitmap b = Render(Load(MakeGif(5, 1, 3, data)));
    EXPECT_EQ(Pixels(b), (Colours{kRed, kGreen, kBlack, kBlack, kBlack}));
}

TEST(GifLzw, FullCodeTableStaysAt12BitsUntilTheNextClear) {
    // Code size 8: literals only, no clear code after the start. Each literal
    // after the first defines an entry: 258 + 3838 = 4096 fills the table.
    std::vector<std::pair<int, int>> codes = {{256, 9}};
    std::vector<int> values;
    int next = 258, width = 9;
    for (int i = 0; i < 3900; ++i) {
        const int v = (i * 7) % 4;
        codes.push_back({v, width});
        values.push_back(v);
        if (i > 0 && next < 4096) {
            ++next;
            if (next == (1 << width) && width < 12) ++width;
        }
    }
    ASSERT_EQ(next, 4096);
    ASSERT_EQ(width, 12);
    // Entry 4095 was defined by literals 3837 and 3838.
    codes.push_back({4095, 12});
    values.push_back(values[3837]);
    values.push_back(values[3838]);
    // After a clear the codes are 9 bits again.
    codes.push_back({256, 12});
    codes.push_back({2, 9});
    values.push_back(2);
    const int n = static_cast<int>(values.size());
    Bytes g = MakeGif(n, 1, 8, Pack(codes));
    const TBitmap b = Render(Load(g));
    const std::array<int, 3> colours[] = {kBlack, kRed, kGreen, kBlue};
    int wrong = 0;
    for (int x = 0; x < n; ++x)
        wrong += Rgb(b, x, 0) != colours[values[x]];
    EXPECT_EQ(wrong, 0);
}

// --- drawing --------------------------------------------------------------------

TEST(GifDraw, StretchAndOffsetKeepTheTargetUnderTransparentPixels) {
    // 2 x 1: red, then green as the transparent colour.
    TGIFImage gif = Load(MakeGif(2, 1, 2, kRedGreen, 2));
    TBitmap target(4, 2);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x)
            target.ScanLine(y)[x * 3] = 200; // blue everywhere
    gif.StretchDraw(target, {0, 0, 4, 2});
    for (int y = 0; y < 2; ++y) {
        EXPECT_EQ(Rgb(target, 0, y), kRed);
        EXPECT_EQ(Rgb(target, 1, y), kRed);
        EXPECT_EQ(Rgb(target, 2, y), (std::array<int, 3>{0, 0, 200}));
        EXPECT_EQ(Rgb(target, 3, y), (std::array<int, 3>{0, 0, 200}));
    }
    gif.Draw(target, 3, 1); // clipped: only red reaches (3, 1)
    EXPECT_EQ(Rgb(target, 3, 1), kRed);
}

TEST(GifDraw, LoadedThroughTheRegistryByCaseBlindExtension) {
    testsupport::TempDir dir;
    testsupport::WriteBytes(dir / "Bild.GIF", MakeGif(2, 1, 2, kRedGreen));
    TPicture pic;
    pic.LoadFromFile((dir / "Bild.GIF").string());
    EXPECT_EQ(pic.Width(), 2);
    EXPECT_EQ(pic.Height(), 1);
    testsupport::WriteBytes(dir / "kaputt.gif", {'G', 'I', 'F', '8', '9', 'a', 1});
    EXPECT_THROW(pic.LoadFromFile((dir / "kaputt.gif").string()), ZenksError);
    EXPECT_EQ(pic.Width(), 2);
}
