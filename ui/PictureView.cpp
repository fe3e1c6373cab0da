#include "ui/PictureView.h"

#include <FL/Fl.H>
#include <FL/Fl_Window.H>
#include <FL/fl_draw.H>

#include <algorithm>
#include <cmath>

PictureImage::PictureImage(int X, int Y, int W, int H) : Fl_Widget(X, Y, W, H) {
    box(FL_NO_BOX);
}

void PictureImage::PictureChanged() {
    stale_ = true;
    redraw();
}

void PictureImage::Stretch(StretchMode mode) {
    if (mode != stretch_) stale_ = true;
    stretch_ = mode;
    redraw();
}

void PictureImage::Filter(StretchFilter filter) {
    if (filter != filter_) stale_ = true;
    filter_ = filter;
    redraw();
}

void PictureImage::resize(int X, int Y, int W, int H) {
    if (W != w() || H != h()) stale_ = true;
    Fl_Widget::resize(X, Y, W, H);
}

int PictureImage::handle(int event) {
    switch (event) {
    case FL_PUSH:
        return Fl::event_button() == FL_LEFT_MOUSE ? 1 : 0;
    case FL_RELEASE:
        if (Fl::event_button() == FL_LEFT_MOUSE && Fl::event_inside(this)) do_callback();
        return 1;
    default:
        return Fl_Widget::handle(event);
    }
}

void PictureImage::Prepare(int& drawW, int& drawH) {
    const auto* bitmap = dynamic_cast<const TBitmap*>(picture_.Graphic());
    const int bw = bitmap ? bitmap->Width() : 0, bh = bitmap ? bitmap->Height() : 0;
    if (bw <= 0 || bh <= 0 || w() <= 0 || h() <= 0) {
        drawW = drawH = 0;
        return;
    }
    if (stretch_ == StretchMode::Stretched) {
        // Composed for the screen's own pixels: at scale 2 a large picture
        // keeps its detail instead of being a doubled low-resolution copy.
        const float scale = window() ? Fl::screen_scale(window()->screen_num()) : 1.0f;
        drawW = std::max(1, static_cast<int>(std::lround(w() * scale)));
        drawH = std::max(1, static_cast<int>(std::lround(h() * scale)));
        if (drawW != preparedW_ || drawH != preparedH_) stale_ = true;
    } else {
        drawW = std::min(bw, w());
        drawH = std::min(bh, h());
    }
    if (!stale_) return;
    rgb_.resize(static_cast<std::size_t>(drawW) * drawH * 3);
    const TBitmap* shown = bitmap;
    TBitmap scaled;
    if (stretch_ == StretchMode::Stretched) {
        scaled.SetSize(drawW, drawH);
        scaled.SetStretchFilter(filter_);
        scaled.StretchPixels(bitmap->Source(), {0, 0, drawW, drawH});
        shown = &scaled;
    }
    for (int y = 0; y < drawH; ++y) {
        const std::uint8_t* src = shown->ScanLine(y);
        std::uint8_t* dst = &rgb_[static_cast<std::size_t>(y) * drawW * 3];
        for (int x = 0; x < drawW; ++x, src += 3, dst += 3) {
            dst[0] = src[2];
            dst[1] = src[1];
            dst[2] = src[0];
        }
    }
    preparedW_ = drawW;
    preparedH_ = drawH;
    image_.reset();
    stale_ = false;
}

void PictureImage::draw() {
    int dw = 0, dh = 0;
    Prepare(dw, dh);
    if (dw <= 0 || dh <= 0) return;
    if (stretch_ == StretchMode::Unscaled || (dw == w() && dh == h())) {
        fl_draw_image(rgb_.data(), x(), y(), dw, dh, 3);
        return;
    }
    // Device pixels: drawn at the widget's size in FLTK units, one bitmap
    // pixel per pixel of the screen.
    if (!image_) {
        image_ = std::make_unique<Fl_RGB_Image>(rgb_.data(), dw, dh, 3);
        image_->scale(w(), h(), 0, 1);
    }
    image_->draw(x(), y());
}

void OverlapDraw::DamageAbove(const Fl_Widget& self) const {
    for (Fl_Widget* w : above_) {
        if (!w->visible()) continue;
        const bool apart = w->x() >= self.x() + self.w() || self.x() >= w->x() + w->w() ||
                           w->y() >= self.y() + self.h() || self.y() >= w->y() + w->h();
        if (!apart) w->damage(FL_DAMAGE_ALL);
    }
}

PreviewFrame::PreviewFrame(int X, int Y, int W, int H) : Fl_Group(X, Y, W, H) {
    box(FL_THIN_DOWN_BOX);
    align(FL_ALIGN_CENTER | FL_ALIGN_INSIDE | FL_ALIGN_WRAP);
    resizable(nullptr);
}

void DrawTextOver(const char* text, Fl_Font font, Fl_Fontsize size, Fl_Color fg, Fl_Color bg, int X, int Y,
                  int W, int H) {
    if (!text || !*text || W <= 8 || H <= 0) return;
    fl_font(font, size);
    int tw = W - 8, th = 0;
    fl_measure(text, tw, th, 0);
    tw = std::min(tw, W - 8);
    th = std::min(th, H);
    const int bx = X + (W - tw) / 2 - 4, by = Y + (H - th) / 2 - 2;
    fl_push_clip(X, Y, W, H);
    fl_color(bg);
    fl_rectf(bx, by, tw + 8, th + 4);
    fl_color(fg);
    fl_draw(text, bx + 4, by + 2, tw, th, FL_ALIGN_CENTER | FL_ALIGN_INSIDE | FL_ALIGN_WRAP, nullptr, 0);
    fl_pop_clip();
}

void PreviewFrame::CaptionOnTop(bool onTop) {
    if (onTop == captionOnTop_) return;
    captionOnTop_ = onTop;
    redraw();
}

void PreviewFrame::draw() {
    if (damage() & ~FL_DAMAGE_CHILD) {
        draw_box();
        if (!captionOnTop_) draw_label();
        // The image lies on the caption; it must be drawn again over it.
        for (int i = 0; i < children(); ++i)
            child(i)->damage(FL_DAMAGE_ALL);
    }
    draw_children();
    // Drawn after the image each time, since the image may redraw alone.
    if (captionOnTop_)
        DrawTextOver(label(), labelfont(), labelsize(), labelcolor(), color(), x() + 1, y() + 1, w() - 2,
                     h() - 2);
    DamageAbove(*this);
}

PictureListBox::PictureListBox(int X, int Y, int W, int H) : Fl_Hold_Browser(X, Y, W, H) {
    // Paths are shown as they are: no "@" formatting, no tab columns.
    format_char(0);
    column_char(0);
}

int PictureListBox::handle(int event) {
    const int used = Fl_Hold_Browser::handle(event);
    if (event == FL_PUSH && Fl::event_clicks() > 0 && Fl::event_button() == FL_LEFT_MOUSE && onDoubleClick)
        onDoubleClick();
    return used;
}

void PictureListBox::draw() {
    Fl_Hold_Browser::draw();
    DamageAbove(*this);
}
