#include "ui/FSlideshow.h"

#include "config/uOptionen.h"
#include "platform/Platform.h"
#include "ui/Clzenk.h"
#include "ui/PictureView.h"

#include <FL/Fl.H>
#include <FL/fl_draw.H>

#include <cmath>
#include <memory>

namespace {

// Arial where it is installed; fontconfig answers with its metric twin
// (Liberation Sans) where it is not. The leading "B" asks for the bold face.
Fl_Font ErrorFont() {
    static const Fl_Font font = [] {
        const Fl_Font slot = static_cast<Fl_Font>(FL_FREE_FONT + 7);
        Fl::set_font(slot, "BArial");
        return slot;
    }();
    return font;
}

void cb_Bild(Fl_Widget*, void* data) {
    static_cast<TFrmSlideshow*>(data)->BildClick();
}

// The window manager's close box ends the show like Escape.
void cb_close(Fl_Widget* w, void*) {
    w->hide();
}

} // namespace

TFrmSlideshow::TFrmSlideshow(const TOptionen& optionen)
    : Fl_Double_Window(0, 0, 640, 480), optionen_(optionen) {
    color(FL_GRAY);
    {
        frError = new Fl_Box(0, 0, 640, 480);
        frError->box(FL_FLAT_BOX);
        frError->color(FL_BLACK);
        frError->labelfont(ErrorFont());
        frError->labelcolor(fl_rgb_color(255, 0, 0));
        frError->labelsize(27);
        frError->align(FL_ALIGN_CENTER | FL_ALIGN_INSIDE | FL_ALIGN_WRAP);
    }
    {
        Bild = new PictureImage(0, 0, 640, 480);
        Bild->Stretch(StretchMode::Stretched);
        Bild->callback(cb_Bild, this);
    }
    end();
    border(0);
    callback(cb_close);
    FormCreate();
}

void TFrmSlideshow::FormCreate() {
    // The screen in device pixels, the window in FLTK's units.
    const platform::ScreenDims screen = platform::ScreenSize();
    const float scale = Fl::screen_scale(0);
    resize(0, 0, static_cast<int>(std::lround(screen.width / scale)),
           static_cast<int>(std::lround(screen.height / scale)));
    frError->resize(0, 0, w(), h());
    Bild->resize(0, 0, w(), h());
    frError->copy_label("");
}

void TFrmSlideshow::ShowPicture(TDirection direction) {
    const int n = PictureList ? static_cast<int>(PictureList->size()) : 0;
    if (n <= 0) return;
    if (direction == TDirection::Back) {
        std::int32_t v = NextIndex == 0 ? n - 2 : NextIndex == 1 ? n - 1 : NextIndex - 2;
        while (v < 0)
            v += n;
        NextIndex = v;
    }
    // Only RunSlideshow sets NextIndex from outside; keep a stray value in range.
    if (NextIndex < 0 || NextIndex >= n) NextIndex = 0;
    const std::string error = optionen_.FitPicture(Bild->Picture(), (*PictureList)[NextIndex]);
    frError->copy_label(LiteralLabel(error).c_str());
    Bild->Filter(optionen_.Glaetten ? StretchFilter::Smooth : StretchFilter::Nearest);
    Bild->PictureChanged();
    redraw();
    NextIndex = NextIndex + 1 == n ? 0 : NextIndex + 1;
}

void TFrmSlideshow::draw() {
    Fl_Double_Window::draw();
    // frError lies behind the picture; over a picture kept from before, the
    // text goes on top, on black so that the red stays readable.
    if (Bild->Picture().Width() > 0 && frError->label() && *frError->label())
        DrawTextOver(frError->label(), frError->labelfont(), frError->labelsize(), frError->labelcolor(),
                     FL_BLACK, 0, 0, w(), h());
}

int TFrmSlideshow::ShownIndex() const {
    const int n = PictureList ? static_cast<int>(PictureList->size()) : 0;
    return NextIndex == 0 ? n - 1 : NextIndex - 1;
}

void TFrmSlideshow::BildClick() {
    hide();
}

void TFrmSlideshow::FormKeyDown(int key) {
    switch (key) {
    case FL_BackSpace:
    case FL_Up:
        ShowPicture(TDirection::Back);
        break;
    case ' ':
    case FL_Down:
        ShowPicture(TDirection::Forward);
        break;
    case FL_Enter:
    case FL_KP_Enter:
    case FL_Escape:
        hide();
        break;
    default:
        break;
    }
}

int TFrmSlideshow::handle(int event) {
    switch (event) {
    case FL_KEYBOARD:
    case FL_SHORTCUT:
        // Every key stops here, so nothing else ever sees one.
        FormKeyDown(Fl::event_key());
        return 1;
    case FL_KEYUP:
        return 1;
    case FL_FOCUS:
    case FL_UNFOCUS:
        // The window itself holds the keyboard focus: it has no control that could.
        return 1;
    case FL_ENTER:
    case FL_MOVE:
        cursor(FL_CURSOR_NONE);
        return Fl_Double_Window::handle(event);
    default:
        return Fl_Double_Window::handle(event);
    }
}

void RunSlideshow(const TOptionen& optionen, const std::vector<std::string>& pictureList, int& index) {
    if (pictureList.empty() || index < 0 || index >= static_cast<int>(pictureList.size())) return;
    auto window = std::make_unique<TFrmSlideshow>(optionen);
    window->PictureList = &pictureList;
    window->NextIndex = index;
    window->ShowPicture(TDirection::Forward);
    window->set_modal();
    window->show();
    window->cursor(FL_CURSOR_NONE);
    window->take_focus();
    while (window->shown())
        Fl::wait();
    index = window->ShownIndex();
}
