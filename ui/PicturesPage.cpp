// The page "Bilderliste" of the configuration window: the picture list, the
// preview composed exactly as the wallpaper would be, navigation, the
// enlarged preview, the slide show and "Als Hintergrundbild".
#include "config/uOptionen.h"
#include "ui/Clzenk.h"
#include "ui/FSlideshow.h"
#include "ui/Glyphs.h"
#include "ui/PictureView.h"
#include "ui/ap.h"

#include <FL/Fl.H>

#include <exception>
#include <string>

namespace {

// The size label's text after a file that could not be loaded.
const char* const kNotShown = "Datei nicht anzeigbar";

// The client area of a page lies this far inside the page's frame.
constexpr int kPageInset = 4;

// Scanning folders and decoding a large picture take a while; the pointer says so.
class BusyCursor {
  public:
    explicit BusyCursor(Fl_Window* window) : window_(window && window->shown() ? window : nullptr) {
        if (!window_) return;
        window_->cursor(FL_CURSOR_WAIT);
        Fl::flush();
    }
    ~BusyCursor() {
        if (window_) window_->cursor(FL_CURSOR_DEFAULT);
    }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;

  private:
    Fl_Window* window_;
};

template <void (TFrmMain::*Handler)()> void PageCallback(Fl_Widget*, void* data) {
    auto* self = static_cast<TFrmMain*>(data);
    try {
        (self->*Handler)();
    } catch (const std::exception& e) {
        if (self->Dialogs.error) self->Dialogs.error(e.what());
    }
}

void cb_Bild(Fl_Widget* w, void* data) {
    // A single click on the preview does nothing; the second one of a double-click toggles.
    if (Fl::event_clicks() > 0) PageCallback<&TFrmMain::BildDblClick>(w, data);
}

} // namespace

void TFrmMain::BuildPicturesPage() {
    const int px = pBilder->x() + kPageInset, py = pBilder->y() + kPageInset;
    {
        lBilder = new PictureListBox(px + 7, py + 6, 294, 404);
        lBilder->textsize(FL_NORMAL_SIZE);
        lBilder->when(FL_WHEN_CHANGED);
        lBilder->callback(PageCallback<&TFrmMain::lBilderClick>, this);
        lBilder->onDoubleClick = [this] { PageCallback<&TFrmMain::BildDblClick>(lBilder, this); };
    }
    {
        // Before the preview in drawing order: the enlarged preview covers it.
        labInfo = new Fl_Box(px + 316, py + 160, 195, 13);
        labInfo->align(FL_ALIGN_CENTER | FL_ALIGN_INSIDE);
    }
    {
        PicBorder = new PreviewFrame(px + 312, py + 7, 200, 150);
        {
            Bild = new PictureImage(px + 313, py + 8, 198, 148);
            Bild->callback(cb_Bild, this);
        }
        PicBorder->end();
    }
    {
        frButtons = new Fl_Group(px + 330, py + 194, 182, 150);
        {
            Button7 = new Fl_Button(px + 335, py + 207, 162, 25, "Als Hintergrundbild");
            Button7->callback(PageCallback<&TFrmMain::Button7Click>, this);
        }
        frButtons->end();
    }
    {
        // Placed at the first showing of the page.
        butZoomIn = new GlyphButton(px, py, 25, 25, Glyph::ZoomIn);
        butZoomIn->callback(PageCallback<&TFrmMain::butZoomOutClick>, this);
    }
    {
        frMinibuttons = new Fl_Group(px, py, 144, 25);
        frMinibuttons->box(FL_FLAT_BOX);
        {
            but1st = new GlyphButton(px + 0, py, 25, 25, Glyph::First);
            but1st->callback(PageCallback<&TFrmMain::but1stClick>, this);
        }
        {
            butPrev = new GlyphButton(px + 24, py, 25, 25, Glyph::Prev);
            butPrev->callback(PageCallback<&TFrmMain::butPrevClick>, this);
        }
        {
            butNext = new GlyphButton(px + 48, py, 24, 25, Glyph::Next);
            butNext->callback(PageCallback<&TFrmMain::butNextClick>, this);
        }
        {
            butLast = new GlyphButton(px + 71, py, 25, 25, Glyph::Last);
            butLast->callback(PageCallback<&TFrmMain::butLastClick>, this);
        }
        {
            butZoomOut = new GlyphButton(px + 95, py, 25, 25, Glyph::ZoomOut);
            butZoomOut->callback(PageCallback<&TFrmMain::butZoomOutClick>, this);
        }
        {
            SpeedButton1 = new GlyphButton(px + 119, py, 25, 25, Glyph::ZoomIn);
            SpeedButton1->callback(PageCallback<&TFrmMain::SpeedButton1Click>, this);
        }
        frMinibuttons->end();
        frMinibuttons->hide();
    }
    // The enlarged preview lies over the list, the bar over the preview.
    lBilder->Above(PicBorder);
    lBilder->Above(frMinibuttons);
    PicBorder->Above(frMinibuttons);
    pc->callback(PageCallback<&TFrmMain::pcChange>, this);
}

namespace {

TRect PageBounds(const Fl_Widget& page, const Fl_Widget& w) {
    const int left = w.x() - page.x() - kPageInset, top = w.y() - page.y() - kPageInset;
    return {left, top, left + w.w(), top + w.h()};
}

void PlaceOnPage(const Fl_Widget& page, Fl_Widget& w, const TRect& r) {
    w.resize(page.x() + kPageInset + r.Left, page.y() + kPageInset + r.Top, r.Width(), r.Height());
}

void Enable(Fl_Widget* w, bool on) {
    if (on)
        w->activate();
    else
        w->deactivate();
}

} // namespace

int TFrmMain::SelectedPicture() const {
    return lBilder->value() - 1;
}

void TFrmMain::SelectPicture(int i) {
    if (i < 0 || i >= static_cast<int>(BilderLines.size())) return;
    lBilder->value(i + 1);
    lBilderClick();
}

void TFrmMain::pcChange() {
    if (pc->value() != pBilder) return;
    if (PreviewRects[0].Right == 0) {
        PreviewRects[0] = PageBounds(*pBilder, *PicBorder);
        TRect wide = PageBounds(*pBilder, *lBilder);
        // As wide as the page allows with the list's left margin kept on the right.
        wide.Right = (pBilder->w() - 2 * kPageInset) - wide.Left;
        PreviewRects[1] = wide;
        for (Fl_Widget* corner : {static_cast<Fl_Widget*>(frMinibuttons), static_cast<Fl_Widget*>(butZoomIn)})
            PlaceOnPage(*pBilder, *corner,
                        {wide.Right - corner->w(), wide.Bottom - corner->h(), wide.Right, wide.Bottom});
    }
    {
        BusyCursor busy(top_window());
        Optionen->BuildCatalogue(BilderLines);
    }
    lBilder->clear();
    for (const std::string& line : BilderLines)
        lBilder->add(line.c_str());
    if (BilderLines.empty())
        PicBorder->hide();
    else
        PicBorder->show();
    pBilder->redraw();
    SelectPicture(0);
}

void TFrmMain::lBilderClick() {
    const int i = SelectedPicture();
    const int n = static_cast<int>(BilderLines.size());
    if (i < 0 || i >= n) return;
    Enable(but1st, i > 0);
    Enable(butPrev, i > 0);
    Enable(butNext, i < n - 1);
    Enable(butLast, i < n - 1);
    std::string error;
    {
        BusyCursor busy(top_window());
        error = Optionen->FitPicture(Bild->Picture(), BilderLines[static_cast<std::size_t>(i)]);
    }
    PicBorder->copy_label(LiteralLabel(error).c_str());
    // The holder keeps the last good picture; the failure must not look like it.
    PicBorder->CaptionOnTop(!error.empty());
    const int width = Bild->Picture().Width(), height = Bild->Picture().Height();
    const bool stretched = !Optionen->IsTileSize(width, height);
    Bild->Stretch(stretched ? StretchMode::Stretched : StretchMode::Unscaled);
    Bild->Filter(Optionen->Glaetten ? StretchFilter::Smooth : StretchFilter::Nearest);
    Bild->PictureChanged();
    if (!error.empty())
        labInfo->copy_label(kNotShown);
    else
        labInfo->copy_label((std::to_string(width) + " x " + std::to_string(height) + " Pixel (=>" +
                             (stretched ? "Bild" : "Kachel") + ")")
                                .c_str());
    PicBorder->redraw();
}

// With no line selected the buttons have nowhere to go and do nothing.
void TFrmMain::but1stClick() {
    if (SelectedPicture() >= 0) SelectPicture(0);
}

void TFrmMain::butPrevClick() {
    const int i = SelectedPicture();
    if (i >= 0) SelectPicture(i - 1);
}

void TFrmMain::butNextClick() {
    const int i = SelectedPicture();
    if (i >= 0) SelectPicture(i + 1);
}

void TFrmMain::butLastClick() {
    if (SelectedPicture() >= 0) SelectPicture(static_cast<int>(BilderLines.size()) - 1);
}

void TFrmMain::BildDblClick() {
    Zoomed = !Zoomed;
    // Before the first showing there is no place to go to yet.
    if (PreviewRects[0].Right != 0) {
        PlaceOnPage(*pBilder, *PicBorder, PreviewRects[Zoomed ? 1 : 0]);
        Bild->resize(PicBorder->x() + 1, PicBorder->y() + 1, PicBorder->w() - 2, PicBorder->h() - 2);
    }
    if (Zoomed) {
        frMinibuttons->show();
        frButtons->hide();
        butZoomIn->hide();
    } else {
        frMinibuttons->hide();
        frButtons->show();
        butZoomIn->show();
    }
    pBilder->redraw();
}

void TFrmMain::butZoomOutClick() {
    BildDblClick();
}

void TFrmMain::SpeedButton1Click() {
    butSlideshowClick();
}

void TFrmMain::butSlideshowClick() {
    int i = SelectedPicture();
    if (i < 0) return;
    RunSlideshow(*Optionen, BilderLines, i);
    SelectPicture(i);
}

void TFrmMain::Button7Click() {
    const int i = SelectedPicture();
    if (i < 0 || i >= static_cast<int>(BilderLines.size())) return;
    BusyCursor busy(top_window());
    Optionen->ApplyWallpaper(BilderLines[static_cast<std::size_t>(i)]);
}
