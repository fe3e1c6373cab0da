#include "ui/Glyphs.h"

#include <FL/Fl.H>
#include <FL/fl_draw.H>

#include <cmath>

namespace {

struct Rgb {
    std::uint8_t r, g, b;
};

// Which pixels a glyph covers and in what colour, before greying.
struct Shape {
    bool set[kGlyphSize][kGlyphSize] = {};
    Rgb colour[kGlyphSize][kGlyphSize] = {};

    void Put(int x, int y, Rgb c) {
        if (x < 0 || y < 0 || x >= kGlyphSize || y >= kGlyphSize) return;
        set[y][x] = true;
        colour[y][x] = c;
    }
};

constexpr Rgb kBlack{0, 0, 0};
constexpr Rgb kGlass{200, 228, 255};
constexpr Rgb kRim{40, 40, 40};
constexpr Rgb kHandle{96, 64, 32};
constexpr Rgb kRed{220, 0, 0};

// A solid triangle with its point at tipX, its flat side at baseX, spanning
// rows 4..11.
void Triangle(Shape& s, int tipX, int baseX) {
    const int dir = baseX > tipX ? 1 : -1;
    for (int y = 4; y <= 11; ++y) {
        const int reach = std::abs(y - 7) + (y > 7 ? -1 : 0);
        // Row 7 and 8 form the point; each row further out starts one column later.
        for (int x = tipX + dir * reach; x != baseX + dir; x += dir)
            s.Put(x, y, kBlack);
    }
}

void Bar(Shape& s, int x) {
    for (int y = 4; y <= 11; ++y) {
        s.Put(x, y, kBlack);
        s.Put(x + 1, y, kBlack);
    }
}

void Magnifier(Shape& s, bool plus) {
    const double cx = 6.5, cy = 6.5;
    for (int y = 0; y < kGlyphSize; ++y)
        for (int x = 0; x < kGlyphSize; ++x) {
            const double d = std::hypot(x - cx, y - cy);
            if (d <= 4.6)
                s.Put(x, y, kGlass);
            else if (d <= 6.0)
                s.Put(x, y, kRim);
        }
    for (int i = 0; i < 5; ++i) {
        s.Put(11 + i, 11 + i, kHandle);
        s.Put(12 + i, 11 + i, kHandle);
        s.Put(11 + i, 12 + i, kHandle);
    }
    for (int i = 4; i <= 9; ++i) {
        s.Put(i, 6, kRed);
        s.Put(i, 7, kRed);
        if (plus) {
            s.Put(6, i, kRed);
            s.Put(7, i, kRed);
        }
    }
}

Shape Draw(Glyph glyph) {
    Shape s;
    switch (glyph) {
    case Glyph::First:
        Bar(s, 3);
        Triangle(s, 6, 11);
        break;
    case Glyph::Prev:
        Triangle(s, 5, 10);
        break;
    case Glyph::Next:
        Triangle(s, 10, 5);
        break;
    case Glyph::Last:
        Triangle(s, 9, 4);
        Bar(s, 11);
        break;
    case Glyph::ZoomIn:
        Magnifier(s, true);
        break;
    case Glyph::ZoomOut:
        Magnifier(s, false);
        break;
    }
    return s;
}

} // namespace

std::vector<std::uint8_t> GlyphPixels(Glyph glyph, GlyphForm form) {
    const Shape s = Draw(glyph);
    std::vector<std::uint8_t> out(kGlyphSize * kGlyphSize * 4, 0);
    auto put = [&out](int x, int y, Rgb c) {
        std::uint8_t* p = &out[(static_cast<std::size_t>(y) * kGlyphSize + x) * 4];
        p[0] = c.r;
        p[1] = c.g;
        p[2] = c.b;
        p[3] = 255;
    };
    for (int y = 0; y < kGlyphSize; ++y)
        for (int x = 0; x < kGlyphSize; ++x) {
            if (!s.set[y][x]) continue;
            if (form == GlyphForm::Enabled) {
                put(x, y, s.colour[y][x]);
            } else {
                // The engraved look of a disabled button: a white copy one
                // pixel down and right, the shape itself in grey on top.
                if (x + 1 < kGlyphSize && y + 1 < kGlyphSize) put(x + 1, y + 1, {255, 255, 255});
            }
        }
    if (form == GlyphForm::Disabled)
        for (int y = 0; y < kGlyphSize; ++y)
            for (int x = 0; x < kGlyphSize; ++x)
                if (s.set[y][x]) put(x, y, {128, 128, 128});
    return out;
}

GlyphButton::GlyphButton(int X, int Y, int W, int H, Glyph glyph)
    : Fl_Button(X, Y, W, H), enabledPixels_(GlyphPixels(glyph, GlyphForm::Enabled)),
      disabledPixels_(GlyphPixels(glyph, GlyphForm::Disabled)),
      enabled_(std::make_unique<Fl_RGB_Image>(enabledPixels_.data(), kGlyphSize, kGlyphSize, 4)),
      disabled_(std::make_unique<Fl_RGB_Image>(disabledPixels_.data(), kGlyphSize, kGlyphSize, 4)) {
    box(FL_FLAT_BOX);
    down_box(FL_THIN_DOWN_BOX);
    clear_visible_focus();
}

int GlyphButton::handle(int event) {
    switch (event) {
    case FL_ENTER:
        hovered_ = true;
        redraw();
        break;
    case FL_LEAVE:
        hovered_ = false;
        redraw();
        break;
    default:
        break;
    }
    const int used = Fl_Button::handle(event);
    return (event == FL_ENTER || event == FL_LEAVE) ? 1 : used;
}

void GlyphButton::draw() {
    const Fl_Boxtype face = value() ? down_box() : (hovered_ && active_r()) ? FL_THIN_UP_BOX : box();
    draw_box(face, color());
    Fl_RGB_Image* image = active_r() ? enabled_.get() : disabled_.get();
    const int shift = value() ? 1 : 0;
    image->draw(x() + (w() - kGlyphSize) / 2 + shift, y() + (h() - kGlyphSize) / 2 + shift);
}
