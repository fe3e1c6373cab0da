// The page "Bilderliste": list, preview and label, navigation enabling, the
// rebuild at each showing, the enlarged preview and the slide show button.
#include "PictureTestFiles.h"
#include "UiTestSupport.h"

#include "compose/BmpWriter.h"
#include "compose/Graphics.h"
#include "config/uOptionen.h"
#include "tests/support/TestSupport.h"
#include "ui/Glyphs.h"
#include "ui/PictureView.h"
#include "ui/ap.h"

#include <FL/Fl.H>
#include <FL/Fl_RGB_Image.H>
#include <FL/fl_draw.H>
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

namespace {

namespace fs = std::filesystem;
using uitest::WritePicture;

class PicturesPageTest : public testsupport::SandboxTest {
  protected:
    void SetUp() override {
        uitest::RequireDisplay();
        WriteIni("[Optionen]\nFirst=0\n");
    }

    fs::path Dir(const std::string& name) const { return tmp_ / "pics" / name; }

    void AddDirectories(const std::vector<std::string>& names) {
        TOptionen o;
        for (const auto& name : names) {
            fs::create_directories(Dir(name));
            o.AddDirectory(Dir(name).string(), false);
        }
    }

    std::unique_ptr<TFrmMain> Open() {
        FrmMainDialogs d;
        d.error = [this](const std::string& text) { errors.push_back(text); };
        auto frm = std::make_unique<TFrmMain>(std::move(d));
        uitest::ShowAndWait(*frm);
        return frm;
    }

    // Switches pages as a click on the tab does.
    static void ShowPage(TFrmMain& frm, Fl_Widget* page) {
        frm.pc->value(page);
        frm.pc->do_callback();
        Fl::check();
    }

    static std::string Info(const TFrmMain& frm) { return frm.labInfo->label() ? frm.labInfo->label() : ""; }

    static std::string Nav(const TFrmMain& frm) {
        std::string s;
        for (const Fl_Widget* b : {frm.but1st, frm.butPrev, frm.butNext, frm.butLast})
            s += b->active() ? '+' : '-';
        return s;
    }

    static void DoubleClick(Fl_Window& window, int x, int y) {
        uitest::ClickAt(window, x, y);
        Fl::e_x = x;
        Fl::e_y = y;
        Fl::e_keysym = FL_Button + FL_LEFT_MOUSE;
        Fl::e_state = FL_BUTTON1;
        Fl::e_clicks = 1;
        Fl::handle(FL_PUSH, &window);
        Fl::e_state = 0;
        Fl::handle(FL_RELEASE, &window);
        Fl::e_clicks = 0;
        Fl::check();
    }

    // The colour on screen at window coordinates.
    static uitest::Colour PixelAt(TFrmMain& frm, int x, int y) {
        Fl::flush();
        frm.make_current();
        std::uint8_t rgb[3] = {};
        fl_read_image(rgb, x, y, 1, 1);
        return {rgb[0], rgb[1], rgb[2]};
    }

    std::vector<std::string> errors;
};

TEST_F(PicturesPageTest, NavigationEnablingAtFirstMiddleAndLastLine) {
    AddDirectories({"a"});
    for (int k = 0; k < 3; ++k)
        WritePicture(Dir("a") / ("p" + std::to_string(k) + ".bmp"), 300 + k, 300, {0, 0, 200});
    auto frm = Open();
    EXPECT_EQ(Nav(*frm), "++++");
    ShowPage(*frm, frm->pBilder);
    ASSERT_EQ(frm->lBilder->size(), 3);
    EXPECT_EQ(frm->SelectedPicture(), 0);
    EXPECT_EQ(Nav(*frm), "--++");
    frm->butNextClick();
    EXPECT_EQ(Nav(*frm), "++++");
    EXPECT_EQ(Info(*frm), "301 x 300 Pixel (=>Bild)");
    frm->butLastClick();
    EXPECT_EQ(frm->SelectedPicture(), 2);
    EXPECT_EQ(Nav(*frm), "++--");
    frm->butPrevClick();
    frm->butPrevClick();
    EXPECT_EQ(frm->SelectedPicture(), 0);
    EXPECT_EQ(Info(*frm), "300 x 300 Pixel (=>Bild)");
    // Keyboard selection in the list runs the same handler.
    frm->lBilder->take_focus();
    uitest::PressKey(FL_Down);
    EXPECT_EQ(frm->SelectedPicture(), 1);
    EXPECT_EQ(Info(*frm), "301 x 300 Pixel (=>Bild)");
}

TEST_F(PicturesPageTest, OneLineDisablesAllNavigation) {
    AddDirectories({"a"});
    WritePicture(Dir("a") / "only.bmp", 300, 300, {0, 0, 200});
    auto frm = Open();
    ShowPage(*frm, frm->pBilder);
    EXPECT_EQ(Nav(*frm), "----");
    EXPECT_TRUE(frm->PicBorder->visible());
}

TEST_F(PicturesPageTest, DeactivatedDirectoryDisappearsAndLineZeroIsSelected) {
    AddDirectories({"a", "b"});
    WritePicture(Dir("a") / "a1.bmp", 300, 300, {0, 0, 200});
    WritePicture(Dir("a") / "a2.bmp", 310, 300, {0, 0, 200});
    WritePicture(Dir("b") / "b1.bmp", 320, 300, {0, 0, 200});
    WritePicture(Dir("b") / "b2.bmp", 330, 300, {0, 0, 200});
    auto frm = Open();
    ShowPage(*frm, frm->pBilder);
    ASSERT_EQ(frm->lBilder->size(), 4);
    frm->butLastClick();

    ShowPage(*frm, frm->pSettings);
    frm->lVerz->value(1);
    frm->lVerz->checked(1, false);
    frm->lVerzClickCheck();
    ShowPage(*frm, frm->pBilder);
    ASSERT_EQ(frm->lBilder->size(), 2);
    EXPECT_EQ(frm->lBilder->text(1), (Dir("b") / "b1.bmp").string());
    EXPECT_EQ(frm->lBilder->text(2), (Dir("b") / "b2.bmp").string());
    EXPECT_EQ(frm->SelectedPicture(), 0);
    EXPECT_EQ(Info(*frm), "320 x 300 Pixel (=>Bild)");

    // Nothing active: no preview, the label keeps its text, and the buttons
    // that need a selected line do nothing.
    ShowPage(*frm, frm->pSettings);
    frm->lVerz->value(2);
    frm->lVerz->checked(2, false);
    frm->lVerzClickCheck();
    ShowPage(*frm, frm->pBilder);
    EXPECT_EQ(frm->lBilder->size(), 0);
    EXPECT_FALSE(frm->PicBorder->visible());
    EXPECT_EQ(Info(*frm), "320 x 300 Pixel (=>Bild)");
    frm->but1stClick();
    frm->butNextClick();
    frm->butLastClick();
    frm->SpeedButton1Click();
    frm->Button7Click();
    EXPECT_EQ(frm->SelectedPicture(), -1);
    EXPECT_FALSE(fs::exists(tmp_ / "bin" / "ulbrasen.bmp"));
    EXPECT_TRUE(errors.empty());
}

TEST_F(PicturesPageTest, TileUnscaledAtTheCornerAndPictureStretched) {
    AddDirectories({"a"});
    WritePicture(Dir("a") / "1tile.bmp", 100, 80, {200, 0, 0});
    WritePicture(Dir("a") / "2picture.bmp", 400, 300, {0, 0, 200});
    auto frm = Open();
    ShowPage(*frm, frm->pBilder);
    const int bx = frm->Bild->x(), by = frm->Bild->y();
    EXPECT_EQ(frm->Bild->w(), 198);
    EXPECT_EQ(frm->Bild->h(), 148);

    EXPECT_EQ(Info(*frm), "100 x 80 Pixel (=>Kachel)");
    EXPECT_EQ(frm->Bild->Stretch(), StretchMode::Unscaled);
    const uitest::Colour inTile = PixelAt(*frm, bx + 95, by + 75);
    const uitest::Colour beside = PixelAt(*frm, bx + 150, by + 120);
    EXPECT_EQ(inTile.r, 200);
    EXPECT_EQ(inTile.b, 0);
    EXPECT_NE(beside.r, 200);

    frm->butNextClick();
    EXPECT_EQ(Info(*frm), "400 x 300 Pixel (=>Bild)");
    EXPECT_EQ(frm->Bild->Stretch(), StretchMode::Stretched);
    for (auto [x, y] : {std::pair{0, 0}, std::pair{197, 147}, std::pair{150, 120}}) {
        const uitest::Colour c = PixelAt(*frm, bx + x, by + y);
        EXPECT_EQ(c.b, 200) << x << "," << y;
        EXPECT_EQ(c.r, 0) << x << "," << y;
    }
}

TEST_F(PicturesPageTest, PreviewSmoothsUnlessGlaettenIsOff) {
    AddDirectories({"a"});
    // One-pixel columns, black and white, shown at half the size.
    TBitmap stripes(396, 296);
    for (int y = 0; y < 296; ++y)
        for (int x = 1; x < 396; x += 2)
            std::memset(stripes.ScanLine(y) + x * 3, 255, 3);
    SaveBitmapToFile(stripes, (Dir("a") / "stripes.bmp").string());
    auto frm = Open();
    // At scale 2 the preview has the picture's own device size: nothing to
    // smooth (PreviewDrawsAtDevicePixels covers that scale).
    if (Fl::screen_scale(frm->screen_num()) > 1.5f) GTEST_SKIP() << "runs at scale 1";
    ShowPage(*frm, frm->pBilder);
    const int bx = frm->Bild->x() + 51, by = frm->Bild->y() + 40;
    const uitest::Colour smooth = PixelAt(*frm, bx, by);
    EXPECT_NEAR(smooth.g, 128, 1);
    frm->Optionen->SetGlaetten(false);
    frm->SelectPicture(0);
    const uitest::Colour sampled = PixelAt(*frm, bx, by);
    EXPECT_TRUE(sampled.g == 0 || sampled.g == 255) << int(sampled.g);
}

TEST_F(PicturesPageTest, FixedSizeReportedForEveryPictureButTiles) {
    AddDirectories({"a"});
    WritePicture(Dir("a") / "1.bmp", 400, 300, {0, 0, 200});
    WritePicture(Dir("a") / "2.bmp", 1200, 500, {0, 0, 200});
    WritePicture(Dir("a") / "3.bmp", 260, 1000, {0, 0, 200});
    WritePicture(Dir("a") / "4.bmp", 800, 600, {0, 0, 200});
    WritePicture(Dir("a") / "5.bmp", 100, 80, {0, 0, 200});
    auto frm = Open();
    frm->Optionen->SetAutowandlung_Groesse(true);
    frm->Optionen->SetFesteBildBreite(800);
    frm->Optionen->SetFesteBildHoehe(600);
    ShowPage(*frm, frm->pBilder);
    for (int i = 0; i < 4; ++i) {
        frm->SelectPicture(i);
        EXPECT_EQ(Info(*frm), "800 x 600 Pixel (=>Bild)") << i;
    }
    frm->SelectPicture(4);
    EXPECT_EQ(Info(*frm), "100 x 80 Pixel (=>Kachel)");
}

// The holder keeps the good picture, but the failure must show: the error
// text over the picture and the size label saying so.
TEST_F(PicturesPageTest, BadFileAfterGoodShowsTheErrorOverTheKeptPicture) {
    AddDirectories({"a"});
    WritePicture(Dir("a") / "1good.bmp", 400, 300, {0, 0, 200});
    testsupport::WriteAll(Dir("a") / "2bad.bmp", "kein Bitmap");
    WritePicture(Dir("a") / "3good.bmp", 410, 300, {0, 0, 200});
    auto frm = Open();
    ShowPage(*frm, frm->pBilder);
    const int bx = frm->Bild->x(), by = frm->Bild->y();
    // Dark pixels on the middle row: the caption's text.
    auto textPixels = [&] {
        int dark = 0;
        for (int x = 2; x < 196; ++x) {
            const uitest::Colour c = PixelAt(*frm, bx + x, by + 74);
            if (c.r < 90 && c.g < 90 && c.b < 90) ++dark;
        }
        return dark;
    };
    EXPECT_STREQ(frm->PicBorder->label(), "");
    EXPECT_EQ(textPixels(), 0);
    frm->butNextClick();
    EXPECT_STREQ(frm->PicBorder->label(), "Fehler: \"Bitmap ist ungültig\"");
    EXPECT_EQ(Info(*frm), "Datei nicht anzeigbar");
    EXPECT_EQ(frm->Bild->Picture().Width(), 400) << "the holder keeps its picture";
    EXPECT_EQ(PixelAt(*frm, bx + 2, by + 2).b, 200);
    EXPECT_GT(textPixels(), 5) << "the error text is on top of the picture";
    frm->butNextClick();
    EXPECT_STREQ(frm->PicBorder->label(), "");
    EXPECT_EQ(Info(*frm), "410 x 300 Pixel (=>Bild)");
    EXPECT_EQ(textPixels(), 0);
}

// At scale 2 the preview shows the picture at the screen's own pixels: one
// of exactly the preview's device size, in one-pixel stripes, keeps every
// stripe instead of showing a doubled copy of every other one.
TEST_F(PicturesPageTest, PreviewDrawsAtDevicePixels) {
    AddDirectories({"a"});
    auto frm = Open();
    const float scale = Fl::screen_scale(frm->screen_num());
    if (scale < 1.5f) GTEST_SKIP() << "runs at scale 2 (FLTK_SCALING_FACTOR=2)";
    const int pw = static_cast<int>(frm->Bild->w() * scale + 0.5f),
              ph = static_cast<int>(frm->Bild->h() * scale + 0.5f);
    TBitmap stripes(pw, ph);
    for (int y = 0; y < ph; ++y) {
        std::uint8_t* p = stripes.ScanLine(y);
        for (int x = 0; x < pw; ++x, p += 3)
            p[0] = p[1] = p[2] = x % 2 ? 255 : 0;
    }
    SaveBitmapToFile(stripes, (Dir("a") / "streifen.bmp").string());
    ShowPage(*frm, frm->pSettings);
    ShowPage(*frm, frm->pBilder);
    ASSERT_EQ(frm->Bild->Picture().Width(), pw);
    ASSERT_EQ(frm->Bild->Stretch(), StretchMode::Stretched);
    Fl::flush();
    std::unique_ptr<Fl_RGB_Image> shot(
        fl_capture_window(frm.get(), frm->Bild->x(), frm->Bild->y(), frm->Bild->w(), frm->Bild->h()));
    ASSERT_TRUE(shot);
    ASSERT_EQ(shot->data_w(), pw);
    const auto* px = reinterpret_cast<const std::uint8_t*>(shot->data()[0]);
    const int d = shot->d(), row = (ph / 2) * shot->data_w() * d;
    int changes = 0;
    for (int x = 1; x < pw; ++x)
        if ((px[row + x * d] > 127) != (px[row + (x - 1) * d] > 127)) ++changes;
    EXPECT_GT(changes, pw * 9 / 10) << "neighbouring device pixels alternate";
}

TEST_F(PicturesPageTest, MixedFolderOfTodaysFormatsListedInCatalogueOrderWithUprightSizes) {
    AddDirectories({"a"});
    const auto copy = [this](const std::string& corpus, const std::string& name) {
        fs::copy_file(testsupport::CorpusPath(corpus), Dir("a") / name);
    };
    copy("webp/golang-blue-purple-pink.lossy.webp", "Blume.webp");
    copy("heif/exiv2-Stonehenge.heic", "Stein.HEIC");
    copy("png/pngsuite-basn2c08.png", "a.png");
    copy("tiff/libtiff-rgb-3c-8b.tiff", "Druck.tiff");
    copy("jxl/jxlconf-lz77_flower.jxl", "flower.jxl");
    copy("avif/libavif-colors_sdr_srgb.avif", "farben.avif");
    copy("exif/exiforient-landscape-4-3_6.jpg", "hoch.jpg");
    WritePicture(Dir("a") / "z.bmp", 400, 300, {0, 0, 200});
    auto frm = Open();
    ShowPage(*frm, frm->pBilder);
    const std::vector<std::pair<std::string, std::string>> want = {
        {"a.png", "32 x 32 Pixel (=>Kachel)"},        {"Blume.webp", "150 x 100 Pixel (=>Kachel)"},
        {"Druck.tiff", "157 x 151 Pixel (=>Kachel)"}, {"farben.avif", "200 x 200 Pixel (=>Kachel)"},
        {"flower.jxl", "834 x 244 Pixel (=>Bild)"},   {"hoch.jpg", "320 x 240 Pixel (=>Bild)"},
        {"Stein.HEIC", "300 x 200 Pixel (=>Bild)"},   {"z.bmp", "400 x 300 Pixel (=>Bild)"},
    };
    ASSERT_EQ(frm->lBilder->size(), static_cast<int>(want.size()));
    for (std::size_t i = 0; i < want.size(); ++i) {
        EXPECT_EQ(frm->lBilder->text(static_cast<int>(i) + 1), (Dir("a") / want[i].first).string());
        frm->SelectPicture(static_cast<int>(i));
        EXPECT_STREQ(frm->PicBorder->label(), "") << want[i].first;
        EXPECT_EQ(Info(*frm), want[i].second) << want[i].first;
    }
    EXPECT_TRUE(errors.empty());
}

TEST_F(PicturesPageTest, ZoomToggledByAllThreeAndKeptAcrossPages) {
    AddDirectories({"a"});
    WritePicture(Dir("a") / "1.bmp", 400, 300, {0, 0, 200});
    WritePicture(Dir("a") / "2.bmp", 410, 300, {0, 0, 200});
    auto frm = Open();
    ShowPage(*frm, frm->pBilder);
    const int px = frm->pBilder->x() + 4, py = frm->pBilder->y() + 4;
    // Normal place and the list widened so that both margins are equal.
    EXPECT_EQ(frm->PreviewRects[0].Left, 312);
    EXPECT_EQ(frm->PreviewRects[0].Bottom, 157);
    EXPECT_EQ(frm->PreviewRects[1].Left, 7);
    EXPECT_EQ(frm->PreviewRects[1].Top, 6);
    EXPECT_EQ(frm->PreviewRects[1].Right, 513);
    EXPECT_EQ(frm->PreviewRects[1].Bottom, 410);
    EXPECT_EQ(frm->butZoomIn->x() + 25, px + 513);
    EXPECT_EQ(frm->butZoomIn->y() + 25, py + 410);
    EXPECT_GE(frm->butZoomIn->y(), frm->frButtons->y() + frm->frButtons->h());
    EXPECT_TRUE(frm->butZoomIn->visible());

    uitest::Click(*frm->butZoomIn);
    EXPECT_TRUE(frm->Zoomed);
    EXPECT_EQ(frm->PicBorder->x(), px + 7);
    EXPECT_EQ(frm->PicBorder->w(), 506);
    EXPECT_EQ(frm->PicBorder->h(), 404);
    EXPECT_EQ(frm->Bild->w(), 504);
    EXPECT_TRUE(frm->frMinibuttons->visible());
    EXPECT_FALSE(frm->frButtons->visible());
    EXPECT_FALSE(frm->butZoomIn->visible());
    EXPECT_EQ(frm->frMinibuttons->x() + 144, px + 513);
    EXPECT_EQ(frm->frMinibuttons->y() + 25, py + 410);

    // Away and back: still enlarged, over a rebuilt list.
    ShowPage(*frm, frm->pSettings);
    WritePicture(Dir("a") / "3.bmp", 420, 300, {0, 0, 200});
    ShowPage(*frm, frm->pBilder);
    EXPECT_TRUE(frm->Zoomed);
    EXPECT_EQ(frm->PicBorder->w(), 506);
    EXPECT_TRUE(frm->frMinibuttons->visible());
    EXPECT_EQ(frm->lBilder->size(), 3);
    EXPECT_EQ(frm->SelectedPicture(), 0);

    // The bar's buttons work over the preview.
    uitest::Click(*frm->butNext);
    EXPECT_EQ(frm->SelectedPicture(), 1);
    uitest::Click(*frm->butZoomOut);
    EXPECT_FALSE(frm->Zoomed);
    EXPECT_EQ(frm->PicBorder->w(), 200);
    EXPECT_EQ(frm->Bild->w(), 198);
    EXPECT_TRUE(frm->frButtons->visible());

    DoubleClick(*frm, frm->Bild->x() + 50, frm->Bild->y() + 50);
    EXPECT_TRUE(frm->Zoomed);
    DoubleClick(*frm, frm->Bild->x() + 50, frm->Bild->y() + 50);
    EXPECT_FALSE(frm->Zoomed);
    // A single click on the preview changes nothing.
    uitest::ClickAt(*frm, frm->Bild->x() + 50, frm->Bild->y() + 50);
    EXPECT_FALSE(frm->Zoomed);

    // A double-click on a line selects it, then toggles.
    ASSERT_EQ(frm->SelectedPicture(), 1);
    DoubleClick(*frm, frm->lBilder->x() + 40, frm->lBilder->y() + 6);
    EXPECT_TRUE(frm->Zoomed);
    EXPECT_EQ(frm->SelectedPicture(), 0);
    EXPECT_EQ(Info(*frm), "400 x 300 Pixel (=>Bild)");
}

TEST_F(PicturesPageTest, SlideshowButtonSelectsThePictureLastShown) {
    AddDirectories({"a"});
    for (int k = 0; k < 5; ++k)
        WritePicture(Dir("a") / ("p" + std::to_string(k) + ".bmp"), 300 + 10 * k, 300, {0, 0, 200});
    auto frm = Open();
    ShowPage(*frm, frm->pBilder);
    frm->butLastClick();
    frm->BildDblClick();
    {
        // From the last picture: forward wraps to the first, back returns.
        uitest::EventScript script({[] { uitest::PressKey(' ', " "); },
                                    [] { uitest::PressKey(FL_BackSpace); },
                                    [] { uitest::PressKey(FL_Escape); }});
        // The button's own callback; a synthetic click would run the event
        // loop once more afterwards, and the script would find the main window.
        frm->SpeedButton1->do_callback();
        EXPECT_TRUE(script.finished());
    }
    EXPECT_EQ(frm->SelectedPicture(), 4);
    EXPECT_EQ(Info(*frm), "340 x 300 Pixel (=>Bild)");
    {
        uitest::EventScript script({[] { uitest::PressKey(FL_Down); },
                                    [] {
                                        Fl_Window* show = Fl::modal();
                                        ASSERT_NE(show, nullptr);
                                        uitest::ClickAt(*show, 10, 10);
                                    }});
        frm->SpeedButton1Click();
    }
    EXPECT_EQ(frm->SelectedPicture(), 0);
    EXPECT_EQ(Info(*frm), "300 x 300 Pixel (=>Bild)");
    EXPECT_EQ(Nav(*frm), "--++");
}

TEST(GlyphsTest, DisabledFormIsGreyAndEveryGlyphDrawsSomething) {
    for (Glyph g : {Glyph::First, Glyph::Prev, Glyph::Next, Glyph::Last, Glyph::ZoomIn, Glyph::ZoomOut}) {
        const auto on = GlyphPixels(g, GlyphForm::Enabled);
        const auto off = GlyphPixels(g, GlyphForm::Disabled);
        ASSERT_EQ(on.size(), 16u * 16u * 4u);
        int opaque = 0, coloured = 0;
        for (std::size_t i = 0; i < off.size(); i += 4) {
            if (on[i + 3]) ++opaque;
            if (off[i + 3] && !(off[i] == off[i + 1] && off[i + 1] == off[i + 2])) ++coloured;
        }
        EXPECT_GT(opaque, 10);
        EXPECT_EQ(coloured, 0);
    }
    // Zoom in and out differ only in the plus's upright stroke.
    EXPECT_NE(GlyphPixels(Glyph::ZoomIn, GlyphForm::Enabled),
              GlyphPixels(Glyph::ZoomOut, GlyphForm::Enabled));
}

} // namespace
