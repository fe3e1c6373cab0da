#pragma once
// Widgets that show composed pictures: the image that draws a TBitmap
// (stretched or unscaled and clipped), the framed preview with its caption
// behind the image, and the picture list that reports double-clicks.
#include "compose/Graphics.h"

#include <FL/Fl_Group.H>
#include <FL/Fl_Hold_Browser.H>
#include <FL/Fl_RGB_Image.H>
#include <FL/Fl_Widget.H>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

enum class StretchMode { Unscaled, Stretched };

// Draws the bitmap its holder keeps. The callback runs when a left click is
// released over it; Fl::event_clicks() tells a double-click.
class PictureImage : public Fl_Widget {
  public:
    PictureImage(int X, int Y, int W, int H);
    TPicture& Picture() { return picture_; }
    const TPicture& Picture() const { return picture_; }
    // To be called after the holder's bitmap was recomposed.
    void PictureChanged();
    void Stretch(StretchMode mode);
    StretchMode Stretch() const { return stretch_; }
    // The stretch of the wallpaper itself, so the preview looks the same.
    void Filter(StretchFilter filter);
    int handle(int event) override;
    void resize(int X, int Y, int W, int H) override;

  protected:
    void draw() override;

  private:
    // The bitmap as RGB rows of the size drawn, rebuilt only after a change.
    void Prepare(int& drawW, int& drawH);
    TPicture picture_;
    StretchMode stretch_ = StretchMode::Stretched;
    StretchFilter filter_ = StretchFilter::Smooth;
    std::vector<std::uint8_t> rgb_;
    int preparedW_ = 0, preparedH_ = 0;
    // rgb_ at device resolution, shown at the widget's size.
    std::unique_ptr<Fl_RGB_Image> image_;
    bool stale_ = true;
};

// Some widgets of a page overlap: whatever lies over one of them must be drawn
// again after it, or a redraw of the lower one alone would cover it.
class OverlapDraw {
  public:
    void Above(Fl_Widget* w) { above_.push_back(w); }

  protected:
    void DamageAbove(const Fl_Widget& self) const;

  private:
    std::vector<Fl_Widget*> above_;
};

// Draws text centred and wrapped in the box, on a backing of bg just large
// enough for it, so that it stays readable over any picture.
void DrawTextOver(const char* text, Fl_Font font, Fl_Fontsize size, Fl_Color fg, Fl_Color bg, int X, int Y,
                  int W, int H);

// A panel with a lowered bevel whose caption, centred, lies behind its image;
// raised, the caption is drawn over the image instead.
class PreviewFrame : public Fl_Group, public OverlapDraw {
  public:
    PreviewFrame(int X, int Y, int W, int H);
    void CaptionOnTop(bool onTop);
    bool CaptionOnTop() const { return captionOnTop_; }

  protected:
    void draw() override;

  private:
    bool captionOnTop_ = false;
};

// A single-selection list of paths shown literally; the double-click
// callback runs after the click has selected its line.
class PictureListBox : public Fl_Hold_Browser, public OverlapDraw {
  public:
    PictureListBox(int X, int Y, int W, int H);
    std::function<void()> onDoubleClick;
    int handle(int event) override;

  protected:
    void draw() override;
};
