#pragma once
// A small GDI-like device context on top of Cairo, shared by the WMF and EMF
// record interpreters: mapping modes, the object table, the saved-state
// stack, clipping, paths, and aliased drawing onto a TBitmap's pixels.
#include "compose/Graphics.h"

#include "compose/decoders/CairoFunctions.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace metafile {

struct Rgb {
    std::uint8_t r = 0, g = 0, b = 0;
};
inline Rgb ColorRef(std::uint32_t v) {
    return {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
            static_cast<std::uint8_t>(v >> 16)};
}

struct Pt {
    double x = 0, y = 0;
};
struct DRect {
    double l = 0, t = 0, r = 0, b = 0;
};

// GDI constants the interpreters share.
enum : unsigned {
    PS_SOLID = 0,
    PS_DASH = 1,
    PS_DOT = 2,
    PS_DASHDOT = 3,
    PS_DASHDOTDOT = 4,
    PS_NULL = 5,
    PS_INSIDEFRAME = 6,
    PS_STYLE_MASK = 0xF,
    PS_ENDCAP_SQUARE = 0x100,
    PS_ENDCAP_FLAT = 0x200,
    PS_JOIN_BEVEL = 0x1000,
    PS_JOIN_MITER = 0x2000,
    BS_SOLID = 0,
    BS_NULL = 1,
    BS_HATCHED = 2,
    BS_PATTERN = 3,
    BS_DIBPATTERN = 5,
    BS_DIBPATTERNPT = 6,
    TA_UPDATECP = 1,
    TA_RIGHT = 2,
    TA_CENTER = 6,
    TA_BOTTOM = 8,
    TA_BASELINE = 24,
    ETO_OPAQUE = 2,
    ETO_CLIPPED = 4,
    TRANSPARENT = 1,
    OPAQUE = 2,
    ALTERNATE = 1,
    WINDING = 2,
    MM_TEXT = 1,
    MM_LOMETRIC = 2,
    MM_HIMETRIC = 3,
    MM_LOENGLISH = 4,
    MM_HIENGLISH = 5,
    MM_TWIPS = 6,
    MM_ISOTROPIC = 7,
    MM_ANISOTROPIC = 8,
    RGN_AND = 1,
    RGN_OR = 2,
    RGN_XOR = 3,
    RGN_DIFF = 4,
    RGN_COPY = 5,
};

struct Pen {
    unsigned style = PS_SOLID;
    double width = 0; // logical units; 0 draws one pixel wide
    bool cosmetic = true;
    Rgb color;
};
struct Brush {
    unsigned style = BS_SOLID;
    Rgb color{255, 255, 255};
    unsigned hatch = 0;
    std::shared_ptr<const TBitmap> pattern;
};
struct Font {
    double height = 0;     // < 0: character height, > 0: cell height, logical units
    double escapement = 0; // tenths of a degree, counter-clockwise
    int weight = 400;
    bool italic = false, underline = false, strikeOut = false;
    std::uint8_t charSet = 0;
    std::string face;
};

struct GdiObject {
    enum class Kind { Pen, Brush, Font, Region, Other } kind = Kind::Other;
    Pen pen;
    Brush brush;
    Font font;
    std::vector<DRect> region; // logical units
};

// A DIB from a bitmap record, decoded by the BMP decoder.
struct Dib {
    TBitmap bitmap;
    bool bottomUp = true;
};
// bmi: the BITMAPINFO (header and colour table); bits: the pixel data. When
// both come in one block, bits is null and the colour table size is worked
// out from the header. Returns nothing for a DIB the decoder refuses.
std::optional<Dib> DecodeDib(const std::uint8_t* bmi, std::size_t bmiSize, const std::uint8_t* bits,
                             std::size_t bitsSize);

class Canvas {
  public:
    // Draws into rect of target, clipped to the target; the pixels outside
    // stay as they are. Without Cairo, throws that no decoder for format
    // (the extension, without the dot) is installed.
    Canvas(TBitmap& target, const TRect& rect, const char* format);
    ~Canvas();
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;
    bool Empty() const { return cr_ == nullptr; }

    // Device units to target pixels; set once by the interpreter.
    void SetDeviceToTarget(double sx, double sy, double ox, double oy);
    // Device pixels per millimetre, for the fixed mapping modes.
    void SetDeviceResolution(double pxPerMmX, double pxPerMmY);
    // In a placeable metafile the window maps onto the whole picture whatever
    // the mapping mode, and viewport records are ignored.
    void SetWindowOnly(bool on) { windowOnly_ = on; }
    // The starting window and viewport, whatever the mapping mode.
    void InitMapping(Pt winOrg, Pt winExt, Pt vpOrg, Pt vpExt);

    // Mapping.
    void SetMapMode(unsigned mode);
    void SetWindowOrg(double x, double y);
    void SetWindowExt(double x, double y);
    void SetViewportOrg(double x, double y);
    void SetViewportExt(double x, double y);
    void OffsetWindowOrg(double dx, double dy);
    void OffsetViewportOrg(double dx, double dy);
    void ScaleWindowExt(double xNum, double xDen, double yNum, double yDen);
    void ScaleViewportExt(double xNum, double xDen, double yNum, double yDen);
    void SetWorldTransform(const cairo_matrix_t& m);
    // mode: 1 identity, 2 left multiply, 3 right multiply, 4 set.
    void ModifyWorldTransform(const cairo_matrix_t& m, unsigned mode);

    // Attributes.
    void SetTextColor(Rgb c) { st_.textColor = c; }
    void SetBkColor(Rgb c) { st_.bkColor = c; }
    void SetBkMode(unsigned m) {
        if (m == TRANSPARENT || m == OPAQUE) st_.bkMode = m;
    }
    void SetPolyFillMode(unsigned m) {
        if (m == ALTERNATE || m == WINDING) st_.fillMode = m;
    }
    void SetTextAlign(unsigned a) { st_.textAlign = a; }
    void SetRop2(unsigned r) {
        if (r >= 1 && r <= 16) st_.rop2 = r;
    }
    void SetArcDirection(unsigned d) {
        if (d == 1 || d == 2) st_.arcClockwise = d == 2;
    }

    // The object table. A placeable metafile puts a new object into the
    // lowest free slot; an enhanced one names the slot.
    void ResizeObjects(std::size_t n);
    void AddObject(GdiObject obj);
    void SetObject(std::uint32_t index, GdiObject obj);
    void DeleteObject(std::uint32_t index);
    void SelectObject(std::uint32_t index);
    void SelectStockObject(std::uint32_t stock);
    // Clip to a region object (placeable metafiles); anything else resets the clip.
    void SelectClipRegion(std::uint32_t index);

    void SaveDC();
    void RestoreDC(int which);

    // Drawing, in logical units.
    void MoveTo(Pt p);
    void LineTo(Pt p);
    void Polyline(const std::vector<Pt>& pts);
    void PolylineTo(const std::vector<Pt>& pts);
    void Polygon(const std::vector<Pt>& pts);
    void PolyPolygon(const std::vector<std::vector<Pt>>& polys);
    void PolyPolyline(const std::vector<std::vector<Pt>>& lines);
    void PolyBezier(const std::vector<Pt>& pts);
    void PolyBezierTo(const std::vector<Pt>& pts);
    void Rectangle(DRect r);
    void RoundRect(DRect r, double w, double h);
    void Ellipse(DRect r);
    enum class ArcKind { Arc, ArcTo, Chord, Pie };
    void Arc(ArcKind kind, DRect box, Pt start, Pt end);
    void AngleArc(Pt centre, double radius, double startDeg, double sweepDeg);
    void SetPixel(Pt p, Rgb c);
    void PatBlt(DRect r, std::uint32_t rop);
    // Fills rectangles in device units with a brush (region records).
    void FillDeviceRects(const std::vector<DRect>& rects, const Brush& brush);
    const Brush& CurrentBrush() const { return st_.brush; }
    const Brush* ObjectBrush(std::uint32_t index) const;

    // chars: one UTF-8 string per character; dx: advances in logical units
    // (may be empty); clipRect applies with ETO_OPAQUE / ETO_CLIPPED.
    void TextOut(Pt ref, const std::vector<std::string>& chars, const std::vector<double>& dx,
                 unsigned options, const DRect* clipRect);
    std::uint8_t FontCharSet() const { return st_.font.charSet; }

    // Source rectangle in the DIB's own coordinates (origin bottom-left for a
    // bottom-up DIB); destination in logical units.
    void DrawDib(const Dib& dib, double sx, double sy, double sw, double sh, DRect dest, std::uint32_t rop);

    // Paths.
    void BeginPath();
    void EndPath();
    void AbortPath();
    void CloseFigure();
    void FillPath();
    void StrokePath();
    void StrokeAndFillPath();
    void SelectClipPath(unsigned mode);

    // Clipping.
    void IntersectClipRect(DRect r);
    void ExcludeClipRect(DRect r);
    void OffsetClip(double dx, double dy);
    // Rectangles in device units; mode RGN_COPY with none resets the clip.
    void SetClipRects(const std::vector<DRect>& deviceRects, unsigned mode);

  private:
    struct PathDeleter {
        void operator()(cairo_path_t* p) const { Cairo().cairo_path_destroy(p); }
    };
    using PathPtr = std::shared_ptr<cairo_path_t>;

    struct State {
        Pen pen;
        Brush brush;
        Font font;
        Rgb textColor{0, 0, 0};
        Rgb bkColor{255, 255, 255};
        unsigned bkMode = OPAQUE;
        unsigned fillMode = ALTERNATE;
        unsigned textAlign = 0;
        unsigned mapMode = MM_TEXT;
        unsigned rop2 = 13; // R2_COPYPEN
        bool arcClockwise = false;
        Pt winOrg, winExt{1, 1}, vpOrg, vpExt{1, 1};
        cairo_matrix_t world{1, 0, 0, 1, 0, 0};
        Pt cur;
        bool clipRects = false;
        std::vector<DRect> clip; // target-surface pixels
        PathPtr clipPath;
        cairo_fill_rule_t clipRule = CAIRO_FILL_RULE_WINDING;
    };

    cairo_matrix_t LogicalToSurface() const;
    // Whether logical points land within a range Cairo can draw quickly;
    // shapes that reach further (absurd extents or transforms) are skipped.
    bool Fits(const std::vector<Pt>& pts) const;
    bool Fits(DRect r) const;
    Pt ToSurface(Pt p) const;
    DRect ToSurfaceRect(DRect r) const;
    void ApplyFixedMapMode();
    void ApplyClip();
    void Begin();
    void Finish(bool fill, bool stroke);
    bool SetBrushSource(const Brush& b);
    void SetRepeatedSource(cairo_surface_t* surface);
    void StrokeNow();
    void OnPixelCentres();
    void StrokeThinSolid();
    void ArcPath(ArcKind kind, DRect box, Pt start, Pt end);
    void SetClipRegion(std::vector<DRect> rects);
    // Raster operations: what was drawn into a group since BeginRop() is
    // combined bit by bit with the pixels beneath. rop3 is the truth table
    // over pattern, source and destination; pattern is the brush colour.
    // extents: the surface pixels the drawing may touch.
    void BeginRop(DRect extents);
    void EndRop(std::uint8_t rop3, Rgb pattern, bool patternFromSource);
    void IntersectRegion(const std::vector<DRect>& rects);

    TBitmap& target_;
    int x0_ = 0, y0_ = 0; // surface origin in the target
    cairo_surface_t* surface_ = nullptr;
    cairo_t* cr_ = nullptr;
    cairo_matrix_t deviceToSurface_{1, 0, 0, 1, 0, 0};
    double pxPerMmX_ = 96 / 25.4, pxPerMmY_ = 96 / 25.4;
    bool windowOnly_ = false;
    State st_;
    std::vector<State> saved_;
    std::vector<std::optional<GdiObject>> objects_;
    bool inPath_ = false;
    // The shape being stroked is a box whose right and bottom edges lie outside it.
    bool boxStroke_ = false;
    PathPtr path_;
    bool clipDirty_ = true;
};

// Text of the metafile as UTF-8, one string per character.
std::vector<std::string> AnsiChars(const std::uint8_t* s, std::size_t n);
std::vector<std::string> Utf16Chars(const std::uint8_t* s, std::size_t nChars);

} // namespace metafile
