#pragma once
// The 16 x 16 pictures of the flat buttons on the picture list page, drawn in
// code, and the flat button that shows them.
#include <FL/Fl_Button.H>
#include <FL/Fl_RGB_Image.H>

#include <cstdint>
#include <memory>
#include <vector>

enum class Glyph { First, Prev, Next, Last, ZoomIn, ZoomOut };
enum class GlyphForm { Enabled, Disabled };

constexpr int kGlyphSize = 16;

// RGBA rows, top-down; alpha 0 where the button's face shows through.
std::vector<std::uint8_t> GlyphPixels(Glyph glyph, GlyphForm form);

// A flat button: no frame until the pointer is over it; the glyph greys out
// while the button is disabled.
class GlyphButton : public Fl_Button {
  public:
    GlyphButton(int X, int Y, int W, int H, Glyph glyph);
    int handle(int event) override;

  protected:
    void draw() override;

  private:
    std::vector<std::uint8_t> enabledPixels_, disabledPixels_;
    std::unique_ptr<Fl_RGB_Image> enabled_, disabled_;
    bool hovered_ = false;
};
