// The slide show window: index arithmetic of its steps, its key table, the
// closing click and the modal run that reports the picture on screen.
#include "PictureTestFiles.h"
#include "UiTestSupport.h"

#include "config/uOptionen.h"
#include "platform/Platform.h"
#include "tests/support/TestSupport.h"
#include "ui/FSlideshow.h"
#include "ui/PictureView.h"

#include <FL/Fl.H>
#include <FL/fl_draw.H>
#include <gtest/gtest.h>

namespace {

class SlideshowTest : public testsupport::SandboxTest {
  protected:
    void SetUp() override {
        uitest::RequireDisplay();
        WriteIni("[Optionen]\nFirst=0\n");
        optionen = std::make_unique<TOptionen>();
    }

    // Picture k is 300 + 10k pixels wide, so the composed width tells which is shown.
    std::vector<std::string> Pictures(int count) {
        std::vector<std::string> paths;
        for (int k = 0; k < count; ++k) {
            const auto file = tmp_ / "pics" / ("p" + std::to_string(k) + ".bmp");
            uitest::WritePicture(file, 300 + 10 * k, 300, {0, 0, 200});
            paths.push_back(file.string());
        }
        return paths;
    }

    static int OnScreen(TFrmSlideshow& show) { return (show.Bild->Picture().Width() - 300) / 10; }

    // Starts a show at index the way RunSlideshow does, without the modal loop.
    std::unique_ptr<TFrmSlideshow> Start(const std::vector<std::string>& list, int index) {
        auto show = std::make_unique<TFrmSlideshow>(*optionen);
        show->PictureList = &list;
        show->NextIndex = index;
        show->ShowPicture(TDirection::Forward);
        uitest::ShowAndWait(*show);
        return show;
    }

    static int Key(TFrmSlideshow& show, int keysym, int state = 0) {
        Fl::e_keysym = keysym;
        Fl::e_state = state;
        Fl::e_text = const_cast<char*>("");
        Fl::e_length = 0;
        const int used = show.handle(FL_KEYBOARD);
        Fl::e_state = 0;
        return used;
    }

    std::unique_ptr<TOptionen> optionen;
};

TEST_F(SlideshowTest, StepsWrapAroundFiveFromTheLast) {
    const auto list = Pictures(5);
    auto show = Start(list, 4);
    EXPECT_EQ(OnScreen(*show), 4);
    EXPECT_EQ(show->NextIndex, 0);
    Key(*show, ' ');
    EXPECT_EQ(OnScreen(*show), 0);
    Key(*show, FL_BackSpace);
    EXPECT_EQ(OnScreen(*show), 4);
    EXPECT_EQ(show->ShownIndex(), 4);
    Key(*show, FL_Up);
    EXPECT_EQ(OnScreen(*show), 3);
    Key(*show, FL_Down);
    Key(*show, FL_Down);
    EXPECT_EQ(OnScreen(*show), 0);
    Key(*show, FL_Up);
    EXPECT_EQ(OnScreen(*show), 4);
}

TEST_F(SlideshowTest, OneAndTwoPictures) {
    {
        const auto list = Pictures(1);
        auto show = Start(list, 0);
        for (int key : {int(' '), FL_BackSpace, FL_Down, FL_Up}) {
            Key(*show, key);
            EXPECT_EQ(OnScreen(*show), 0) << key;
            EXPECT_EQ(show->NextIndex, 0);
        }
    }
    {
        const auto list = Pictures(2);
        for (int start : {0, 1}) {
            auto show = Start(list, start);
            ASSERT_EQ(OnScreen(*show), start);
            Key(*show, FL_BackSpace);
            EXPECT_EQ(OnScreen(*show), 1 - start);
            Key(*show, FL_BackSpace);
            EXPECT_EQ(OnScreen(*show), start);
        }
    }
}

TEST_F(SlideshowTest, ModifiersAreIgnoredAndOtherKeysSwallowed) {
    const auto list = Pictures(3);
    auto show = Start(list, 0);
    EXPECT_EQ(Key(*show, ' ', FL_SHIFT), 1);
    EXPECT_EQ(OnScreen(*show), 1);
    Key(*show, FL_BackSpace, FL_CTRL);
    EXPECT_EQ(OnScreen(*show), 0);
    for (int key : {FL_Left, FL_Right, FL_Page_Up, FL_Page_Down, FL_Home, int('a'), FL_F + 4, FL_Tab}) {
        EXPECT_EQ(Key(*show, key, FL_ALT), 1) << key;
        EXPECT_EQ(Key(*show, key), 1) << key;
        EXPECT_EQ(OnScreen(*show), 0) << key;
        EXPECT_TRUE(show->shown()) << key;
    }
    // The same keys arriving as shortcuts stop at the window too.
    Fl::e_keysym = FL_Left;
    EXPECT_EQ(show->handle(FL_SHORTCUT), 1);
}

TEST_F(SlideshowTest, EnterEscapeAndClickClose) {
    const auto list = Pictures(2);
    for (int key : {FL_Enter, FL_Escape, FL_KP_Enter}) {
        auto show = Start(list, 0);
        Key(*show, key, FL_SHIFT);
        EXPECT_FALSE(show->shown()) << key;
    }
    auto show = Start(list, 1);
    uitest::ClickAt(*show, show->w() / 2, show->h() / 2);
    EXPECT_FALSE(show->shown());
    EXPECT_EQ(show->ShownIndex(), 1);
}

TEST_F(SlideshowTest, FullScreenStretchedWithErrorTextOnBlack) {
    const auto list = Pictures(1);
    std::vector<std::string> withBad = list;
    withBad.push_back((tmp_ / "pics" / "kaputt.bmp").string());
    testsupport::WriteAll(withBad.back(), "kein Bitmap");
    const auto tile = tmp_ / "pics" / "tile.bmp";
    uitest::WritePicture(tile, 100, 80, {200, 0, 0});
    withBad.push_back(tile.string());

    auto show = Start(withBad, 0);
    // The screen in device pixels; FLTK's units are scale times larger.
    const platform::ScreenDims screen = platform::ScreenSize();
    const float scale = Fl::screen_scale(0);
    EXPECT_EQ(show->x(), 0);
    EXPECT_EQ(show->y(), 0);
    EXPECT_EQ(show->w(), static_cast<int>(screen.width / scale));
    EXPECT_EQ(show->h(), static_cast<int>(screen.height / scale));
    EXPECT_EQ(show->border(), 0);
    EXPECT_EQ(show->frError->w(), show->w());
    EXPECT_EQ(show->frError->color(), FL_BLACK);
    EXPECT_EQ(show->frError->labelsize(), 27);
    EXPECT_EQ(show->frError->labelcolor(), fl_rgb_color(255, 0, 0));
    EXPECT_STREQ(show->frError->label(), "");

    // Red pixels on the screen's middle row: the error text.
    auto redPixels = [&] {
        Fl::flush();
        show->make_current();
        int red = 0;
        for (int x = 0; x < show->w(); x += 2) {
            std::uint8_t c[3] = {};
            fl_read_image(c, x, show->h() / 2, 1, 1);
            if (c[0] > 150 && c[1] < 60 && c[2] < 60) ++red;
        }
        return red;
    };
    EXPECT_EQ(redPixels(), 0);

    // A bad file: the previous picture stays in the holder, the red text is
    // readable on top of it.
    Key(*show, ' ');
    EXPECT_STREQ(show->frError->label(), "Fehler: \"Bitmap ist ungültig\"");
    EXPECT_EQ(show->Bild->Picture().Width(), 300);
    EXPECT_GT(redPixels(), 5);
    // A tile kept at its own size still fills the screen.
    Key(*show, ' ');
    EXPECT_STREQ(show->frError->label(), "");
    EXPECT_EQ(show->Bild->Picture().Width(), 100);
    EXPECT_EQ(show->Bild->Stretch(), StretchMode::Stretched);
}

TEST_F(SlideshowTest, RunSlideshowReportsThePictureOnScreen) {
    const auto list = Pictures(5);
    int index = 3;
    {
        uitest::EventScript script({[] { uitest::PressKey(' ', " "); }, [] { uitest::PressKey(FL_Down); },
                                    [] { uitest::PressKey(FL_Left); }, [] { uitest::PressKey(FL_Escape); }});
        RunSlideshow(*optionen, list, index);
        EXPECT_TRUE(script.finished());
    }
    EXPECT_EQ(index, 0);
    // Closed at once on the last picture: the last index, never "none".
    index = 4;
    {
        uitest::EventScript script({[] { uitest::PressKey(FL_Enter); }});
        RunSlideshow(*optionen, list, index);
    }
    EXPECT_EQ(index, 4);
    // Nothing to show: no window, the index stays.
    const std::vector<std::string> none;
    index = 0;
    RunSlideshow(*optionen, none, index);
    EXPECT_EQ(index, 0);
    index = 5;
    RunSlideshow(*optionen, list, index);
    EXPECT_EQ(index, 5);
    index = -1;
    RunSlideshow(*optionen, list, index);
    EXPECT_EQ(index, -1);
    EXPECT_EQ(Fl::first_window(), nullptr);
}

} // namespace
