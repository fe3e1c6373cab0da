// Playback of an enhanced metafile: records of (type, size in bytes,
// parameters), 32-bit coordinates, offsets counted from the record's start.
#include "compose/decoders/ByteReader.h"
#include "compose/decoders/Metafile.h"
#include "compose/decoders/MetafileCanvas.h"

#include <algorithm>
#include <bit>
#include <cmath>

using namespace metafile;

namespace {

enum : std::uint32_t {
    EMR_HEADER = 1,
    EMR_POLYBEZIER = 2,
    EMR_POLYGON = 3,
    EMR_POLYLINE = 4,
    EMR_POLYBEZIERTO = 5,
    EMR_POLYLINETO = 6,
    EMR_POLYPOLYLINE = 7,
    EMR_POLYPOLYGON = 8,
    EMR_SETWINDOWEXTEX = 9,
    EMR_SETWINDOWORGEX = 10,
    EMR_SETVIEWPORTEXTEX = 11,
    EMR_SETVIEWPORTORGEX = 12,
    EMR_EOF = 14,
    EMR_SETPIXELV = 15,
    EMR_SETMAPMODE = 17,
    EMR_SETBKMODE = 18,
    EMR_SETPOLYFILLMODE = 19,
    EMR_SETROP2 = 20,
    EMR_SETTEXTALIGN = 22,
    EMR_SETTEXTCOLOR = 24,
    EMR_SETBKCOLOR = 25,
    EMR_OFFSETCLIPRGN = 26,
    EMR_MOVETOEX = 27,
    EMR_EXCLUDECLIPRECT = 29,
    EMR_INTERSECTCLIPRECT = 30,
    EMR_SCALEVIEWPORTEXTEX = 31,
    EMR_SCALEWINDOWEXTEX = 32,
    EMR_SAVEDC = 33,
    EMR_RESTOREDC = 34,
    EMR_SETWORLDTRANSFORM = 35,
    EMR_MODIFYWORLDTRANSFORM = 36,
    EMR_SELECTOBJECT = 37,
    EMR_CREATEPEN = 38,
    EMR_CREATEBRUSHINDIRECT = 39,
    EMR_DELETEOBJECT = 40,
    EMR_ANGLEARC = 41,
    EMR_ELLIPSE = 42,
    EMR_RECTANGLE = 43,
    EMR_ROUNDRECT = 44,
    EMR_ARC = 45,
    EMR_CHORD = 46,
    EMR_PIE = 47,
    EMR_CREATEPALETTE = 49,
    EMR_LINETO = 54,
    EMR_ARCTO = 55,
    EMR_SETARCDIRECTION = 57,
    EMR_BEGINPATH = 59,
    EMR_ENDPATH = 60,
    EMR_CLOSEFIGURE = 61,
    EMR_FILLPATH = 62,
    EMR_STROKEANDFILLPATH = 63,
    EMR_STROKEPATH = 64,
    EMR_SELECTCLIPPATH = 67,
    EMR_ABORTPATH = 68,
    EMR_FILLRGN = 71,
    EMR_PAINTRGN = 74,
    EMR_EXTSELECTCLIPRGN = 75,
    EMR_BITBLT = 76,
    EMR_STRETCHBLT = 77,
    EMR_SETDIBITSTODEVICE = 80,
    EMR_STRETCHDIBITS = 81,
    EMR_EXTCREATEFONTINDIRECTW = 82,
    EMR_EXTTEXTOUTA = 83,
    EMR_EXTTEXTOUTW = 84,
    EMR_POLYBEZIER16 = 85,
    EMR_POLYGON16 = 86,
    EMR_POLYLINE16 = 87,
    EMR_POLYBEZIERTO16 = 88,
    EMR_POLYLINETO16 = 89,
    EMR_POLYPOLYLINE16 = 90,
    EMR_POLYPOLYGON16 = 91,
    EMR_CREATEMONOBRUSH = 93,
    EMR_CREATEDIBPATTERNBRUSHPT = 94,
    EMR_EXTCREATEPEN = 95,
    EMR_SMALLTEXTOUT = 108,
};

constexpr std::uint32_t ETO_GLYPH_INDEX = 0x10, ETO_NO_RECT = 0x100, ETO_SMALL_CHARS = 0x200,
                        ETO_PDY = 0x2000;

Pt ReadPointL(ByteReader& r) {
    const double x = r.S32();
    const double y = r.S32();
    return {x, y};
}
DRect ReadRectL(ByteReader& r) {
    const double l = r.S32(), t = r.S32(), rt = r.S32(), b = r.S32();
    return {l, t, rt, b};
}
float ReadFloat(ByteReader& r) {
    return std::bit_cast<float>(r.U32());
}

cairo_matrix_t ReadXform(ByteReader& r) {
    const double m11 = ReadFloat(r), m12 = ReadFloat(r), m21 = ReadFloat(r), m22 = ReadFloat(r);
    const double dx = ReadFloat(r), dy = ReadFloat(r);
    cairo_matrix_t m;
    Cairo().cairo_matrix_init(&m, m11, m12, m21, m22, dx, dy);
    return m;
}

std::vector<Pt> ReadPoints(ByteReader& r, std::uint32_t count, bool small) {
    // The count comes from the file: never more than the record holds.
    const std::size_t n = std::min<std::size_t>(count, r.Remaining() / (small ? 4 : 8));
    std::vector<Pt> pts;
    pts.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        if (small) {
            const double x = r.S16();
            const double y = r.S16();
            pts.push_back({x, y});
        } else {
            pts.push_back(ReadPointL(r));
        }
    }
    return pts;
}

std::vector<std::vector<Pt>> ReadPolyPoly(ByteReader& r, bool small) {
    r.Skip(16); // bounds
    const std::uint32_t polys = r.U32();
    r.U32(); // total points
    std::vector<std::uint32_t> counts;
    for (std::uint32_t i = 0; i < polys && r.Remaining() >= 4; ++i)
        counts.push_back(r.U32());
    std::vector<std::vector<Pt>> all;
    for (std::uint32_t n : counts)
        all.push_back(ReadPoints(r, n, small));
    return all;
}

// A region's rectangles (RGNDATA: 32-byte header, then RECTLs), device units.
std::vector<DRect> ReadRegionRects(ByteReader& r, std::uint32_t cb) {
    std::vector<DRect> rects;
    if (cb < 32) return rects;
    r.U32(); // header size
    r.U32(); // type
    const std::uint32_t count = r.U32();
    r.Skip(4 + 16);
    for (std::uint32_t i = 0; i < count && r.Remaining() >= 16 && rects.size() < 4096; ++i)
        rects.push_back(ReadRectL(r));
    return rects;
}

// A bitmap given by offsets from the record's start.
std::optional<Dib> RecordDib(const std::uint8_t* rec, std::size_t size, std::uint32_t offBmi,
                             std::uint32_t cbBmi, std::uint32_t offBits, std::uint32_t cbBits) {
    if (cbBmi == 0 || offBmi > size || cbBmi > size - offBmi || offBits > size || cbBits > size - offBits)
        return std::nullopt;
    return DecodeDib(rec + offBmi, cbBmi, rec + offBits, cbBits);
}

void ExtTextOut(Canvas& c, ByteReader& r, const std::uint8_t* rec, std::size_t size, bool wide) {
    r.Skip(16); // bounds
    r.U32();    // graphics mode
    r.Skip(8);  // scales
    const Pt ref = ReadPointL(r);
    const std::uint32_t chars = r.U32();
    const std::uint32_t offString = r.U32();
    const std::uint32_t options = r.U32();
    DRect rect;
    bool hasRect = false;
    if (!(options & ETO_NO_RECT)) {
        rect = ReadRectL(r);
        hasRect = rect.r > rect.l && rect.b > rect.t;
    }
    const std::uint32_t offDx = r.U32();
    if (options & ETO_GLYPH_INDEX) return; // glyph numbers of a font we do not have
    const std::size_t charBytes = wide ? 2 : 1;
    if (offString > size || chars > (size - offString) / charBytes) return;
    std::vector<std::string> text =
        wide ? Utf16Chars(rec + offString, chars) : AnsiChars(rec + offString, chars);
    std::vector<double> dx;
    const std::size_t step = options & ETO_PDY ? 8 : 4;
    if (offDx && offDx <= size && chars <= (size - offDx) / step) {
        ByteReader d(rec + offDx, size - offDx);
        for (std::uint32_t i = 0; i < chars; ++i) {
            dx.push_back(d.S32());
            if (step == 8) d.S32();
        }
    }
    c.TextOut(ref, text, dx, options, hasRect ? &rect : nullptr);
}

void PlayRecord(Canvas& c, std::uint32_t type, ByteReader& r, const std::uint8_t* rec, std::size_t size) {
    switch (type) {
    case EMR_POLYBEZIER:
    case EMR_POLYGON:
    case EMR_POLYLINE:
    case EMR_POLYBEZIERTO:
    case EMR_POLYLINETO:
    case EMR_POLYBEZIER16:
    case EMR_POLYGON16:
    case EMR_POLYLINE16:
    case EMR_POLYBEZIERTO16:
    case EMR_POLYLINETO16: {
        const bool small = type >= EMR_POLYBEZIER16;
        r.Skip(16);
        const std::uint32_t n = r.U32();
        const std::vector<Pt> pts = ReadPoints(r, n, small);
        switch (small ? type - EMR_POLYBEZIER16 + EMR_POLYBEZIER : type) {
        case EMR_POLYBEZIER:
            c.PolyBezier(pts);
            break;
        case EMR_POLYGON:
            c.Polygon(pts);
            break;
        case EMR_POLYLINE:
            c.Polyline(pts);
            break;
        case EMR_POLYBEZIERTO:
            c.PolyBezierTo(pts);
            break;
        case EMR_POLYLINETO:
            c.PolylineTo(pts);
            break;
        default:
            break;
        }
        break;
    }
    case EMR_POLYPOLYLINE:
    case EMR_POLYPOLYLINE16:
        c.PolyPolyline(ReadPolyPoly(r, type == EMR_POLYPOLYLINE16));
        break;
    case EMR_POLYPOLYGON:
    case EMR_POLYPOLYGON16:
        c.PolyPolygon(ReadPolyPoly(r, type == EMR_POLYPOLYGON16));
        break;
    case EMR_SETWINDOWEXTEX: {
        const Pt p = ReadPointL(r);
        c.SetWindowExt(p.x, p.y);
        break;
    }
    case EMR_SETWINDOWORGEX: {
        const Pt p = ReadPointL(r);
        c.SetWindowOrg(p.x, p.y);
        break;
    }
    case EMR_SETVIEWPORTEXTEX: {
        const Pt p = ReadPointL(r);
        c.SetViewportExt(p.x, p.y);
        break;
    }
    case EMR_SETVIEWPORTORGEX: {
        const Pt p = ReadPointL(r);
        c.SetViewportOrg(p.x, p.y);
        break;
    }
    case EMR_SCALEVIEWPORTEXTEX:
    case EMR_SCALEWINDOWEXTEX: {
        const double xNum = r.S32(), xDen = r.S32(), yNum = r.S32(), yDen = r.S32();
        if (type == EMR_SCALEWINDOWEXTEX)
            c.ScaleWindowExt(xNum, xDen, yNum, yDen);
        else
            c.ScaleViewportExt(xNum, xDen, yNum, yDen);
        break;
    }
    case EMR_SETPIXELV: {
        const Pt p = ReadPointL(r);
        c.SetPixel(p, ColorRef(r.U32()));
        break;
    }
    case EMR_SETMAPMODE:
        c.SetMapMode(r.U32());
        break;
    case EMR_SETBKMODE:
        c.SetBkMode(r.U32());
        break;
    case EMR_SETPOLYFILLMODE:
        c.SetPolyFillMode(r.U32());
        break;
    case EMR_SETROP2:
        c.SetRop2(r.U32());
        break;
    case EMR_SETTEXTALIGN:
        c.SetTextAlign(r.U32());
        break;
    case EMR_SETTEXTCOLOR:
        c.SetTextColor(ColorRef(r.U32()));
        break;
    case EMR_SETBKCOLOR:
        c.SetBkColor(ColorRef(r.U32()));
        break;
    case EMR_SETARCDIRECTION:
        c.SetArcDirection(r.U32());
        break;
    case EMR_OFFSETCLIPRGN: {
        const Pt p = ReadPointL(r);
        c.OffsetClip(p.x, p.y);
        break;
    }
    case EMR_MOVETOEX:
        c.MoveTo(ReadPointL(r));
        break;
    case EMR_LINETO:
        c.LineTo(ReadPointL(r));
        break;
    case EMR_EXCLUDECLIPRECT:
        c.ExcludeClipRect(ReadRectL(r));
        break;
    case EMR_INTERSECTCLIPRECT:
        c.IntersectClipRect(ReadRectL(r));
        break;
    case EMR_SAVEDC:
        c.SaveDC();
        break;
    case EMR_RESTOREDC:
        c.RestoreDC(r.S32());
        break;
    case EMR_SETWORLDTRANSFORM:
        c.SetWorldTransform(ReadXform(r));
        break;
    case EMR_MODIFYWORLDTRANSFORM: {
        const cairo_matrix_t m = ReadXform(r);
        c.ModifyWorldTransform(m, r.U32());
        break;
    }
    case EMR_SELECTOBJECT: {
        const std::uint32_t index = r.U32();
        if (index & 0x80000000u)
            c.SelectStockObject(index & 0x7FFFFFFFu);
        else
            c.SelectObject(index);
        break;
    }
    case EMR_DELETEOBJECT:
        c.DeleteObject(r.U32());
        break;
    case EMR_CREATEPEN: {
        const std::uint32_t index = r.U32();
        GdiObject o;
        o.kind = GdiObject::Kind::Pen;
        o.pen.style = r.U32();
        o.pen.width = r.S32();
        r.S32();
        o.pen.color = ColorRef(r.U32());
        o.pen.cosmetic = o.pen.width <= 0;
        c.SetObject(index, std::move(o));
        break;
    }
    case EMR_EXTCREATEPEN: {
        const std::uint32_t index = r.U32();
        r.Skip(16); // the pattern bitmap's offsets and sizes
        GdiObject o;
        o.kind = GdiObject::Kind::Pen;
        const std::uint32_t style = r.U32();
        o.pen.width = r.U32();
        const std::uint32_t brushStyle = r.U32();
        o.pen.color = ColorRef(r.U32());
        // Cosmetic pens are one pixel wide whatever the width says.
        o.pen.cosmetic = (style & 0x000F0000u) == 0 || o.pen.width <= 0;
        o.pen.style = brushStyle == BS_NULL ? PS_NULL : style & 0xFFFFu;
        c.SetObject(index, std::move(o));
        break;
    }
    case EMR_CREATEBRUSHINDIRECT: {
        const std::uint32_t index = r.U32();
        GdiObject o;
        o.kind = GdiObject::Kind::Brush;
        o.brush.style = r.U32();
        o.brush.color = ColorRef(r.U32());
        o.brush.hatch = r.U32();
        c.SetObject(index, std::move(o));
        break;
    }
    case EMR_CREATEMONOBRUSH:
    case EMR_CREATEDIBPATTERNBRUSHPT: {
        const std::uint32_t index = r.U32();
        r.U32(); // usage
        const std::uint32_t offBmi = r.U32(), cbBmi = r.U32(), offBits = r.U32(), cbBits = r.U32();
        GdiObject o;
        o.kind = GdiObject::Kind::Brush;
        o.brush.style = BS_DIBPATTERN;
        o.brush.color = {128, 128, 128};
        if (auto dib = RecordDib(rec, size, offBmi, cbBmi, offBits, cbBits))
            o.brush.pattern = std::make_shared<const TBitmap>(std::move(dib->bitmap));
        c.SetObject(index, std::move(o));
        break;
    }
    case EMR_CREATEPALETTE: {
        GdiObject o;
        c.SetObject(r.U32(), std::move(o));
        break;
    }
    case EMR_EXTCREATEFONTINDIRECTW: {
        const std::uint32_t index = r.U32();
        GdiObject o;
        o.kind = GdiObject::Kind::Font;
        Font& f = o.font;
        f.height = r.S32();
        r.S32(); // width
        f.escapement = r.S32();
        r.S32(); // orientation
        f.weight = r.S32();
        f.italic = r.U8();
        f.underline = r.U8();
        f.strikeOut = r.U8();
        f.charSet = r.U8();
        r.Skip(4);
        for (int i = 0; i < 32 && r.Remaining() >= 2; ++i) {
            const std::uint16_t ch = r.U16();
            if (!ch) break;
            if (ch < 0x80) f.face += static_cast<char>(ch);
        }
        c.SetObject(index, std::move(o));
        break;
    }
    case EMR_ANGLEARC: {
        const Pt centre = ReadPointL(r);
        const double radius = r.U32();
        const double start = ReadFloat(r), sweep = ReadFloat(r);
        c.AngleArc(centre, radius, start, sweep);
        break;
    }
    case EMR_ELLIPSE:
        c.Ellipse(ReadRectL(r));
        break;
    case EMR_RECTANGLE:
        c.Rectangle(ReadRectL(r));
        break;
    case EMR_ROUNDRECT: {
        const DRect box = ReadRectL(r);
        const Pt corner = ReadPointL(r);
        c.RoundRect(box, corner.x, corner.y);
        break;
    }
    case EMR_ARC:
    case EMR_ARCTO:
    case EMR_CHORD:
    case EMR_PIE: {
        const DRect box = ReadRectL(r);
        const Pt start = ReadPointL(r), end = ReadPointL(r);
        c.Arc(type == EMR_ARC     ? Canvas::ArcKind::Arc
              : type == EMR_ARCTO ? Canvas::ArcKind::ArcTo
              : type == EMR_CHORD ? Canvas::ArcKind::Chord
                                  : Canvas::ArcKind::Pie,
              box, start, end);
        break;
    }
    case EMR_BEGINPATH:
        c.BeginPath();
        break;
    case EMR_ENDPATH:
        c.EndPath();
        break;
    case EMR_ABORTPATH:
        c.AbortPath();
        break;
    case EMR_CLOSEFIGURE:
        c.CloseFigure();
        break;
    case EMR_FILLPATH:
        c.FillPath();
        break;
    case EMR_STROKEPATH:
        c.StrokePath();
        break;
    case EMR_STROKEANDFILLPATH:
        c.StrokeAndFillPath();
        break;
    case EMR_SELECTCLIPPATH:
        c.SelectClipPath(r.U32());
        break;
    case EMR_EXTSELECTCLIPRGN: {
        const std::uint32_t cb = r.U32();
        const std::uint32_t mode = r.U32();
        c.SetClipRects(ReadRegionRects(r, cb), mode);
        break;
    }
    case EMR_FILLRGN:
    case EMR_PAINTRGN: {
        r.Skip(16);
        const std::uint32_t cb = r.U32();
        Brush brush = c.CurrentBrush();
        if (type == EMR_FILLRGN) {
            const Brush* b = c.ObjectBrush(r.U32());
            if (!b) break;
            brush = *b;
        }
        c.FillDeviceRects(ReadRegionRects(r, cb), brush);
        break;
    }
    case EMR_BITBLT:
    case EMR_STRETCHBLT: {
        r.Skip(16);
        const double x = r.S32(), y = r.S32(), w = r.S32(), h = r.S32();
        const std::uint32_t rop = r.U32();
        const double xSrc = r.S32(), ySrc = r.S32();
        r.Skip(24); // source transform
        r.U32();    // background colour
        r.U32();    // usage
        const std::uint32_t offBmi = r.U32(), cbBmi = r.U32(), offBits = r.U32(), cbBits = r.U32();
        double wSrc = w, hSrc = h;
        if (type == EMR_STRETCHBLT) {
            wSrc = r.S32();
            hSrc = r.S32();
        }
        if (cbBmi == 0) {
            c.PatBlt({x, y, x + w, y + h}, rop);
            break;
        }
        if (auto dib = RecordDib(rec, size, offBmi, cbBmi, offBits, cbBits))
            c.DrawDib(*dib, xSrc, ySrc, wSrc, hSrc, {x, y, x + w, y + h}, rop);
        break;
    }
    case EMR_STRETCHDIBITS: {
        r.Skip(16);
        const double x = r.S32(), y = r.S32(), xSrc = r.S32(), ySrc = r.S32(), wSrc = r.S32(), hSrc = r.S32();
        const std::uint32_t offBmi = r.U32(), cbBmi = r.U32(), offBits = r.U32(), cbBits = r.U32();
        r.U32(); // usage
        const std::uint32_t rop = r.U32();
        const double w = r.S32(), h = r.S32();
        if (auto dib = RecordDib(rec, size, offBmi, cbBmi, offBits, cbBits))
            c.DrawDib(*dib, xSrc, ySrc, wSrc, hSrc, {x, y, x + w, y + h}, rop);
        break;
    }
    case EMR_SETDIBITSTODEVICE: {
        r.Skip(16);
        const double x = r.S32(), y = r.S32(), xSrc = r.S32(), ySrc = r.S32(), w = r.S32(), h = r.S32();
        const std::uint32_t offBmi = r.U32(), cbBmi = r.U32(), offBits = r.U32(), cbBits = r.U32();
        if (auto dib = RecordDib(rec, size, offBmi, cbBmi, offBits, cbBits))
            c.DrawDib(*dib, xSrc, ySrc, w, h, {x, y, x + w, y + h}, 0x00CC0020);
        break;
    }
    case EMR_EXTTEXTOUTA:
    case EMR_EXTTEXTOUTW:
        ExtTextOut(c, r, rec, size, type == EMR_EXTTEXTOUTW);
        break;
    case EMR_SMALLTEXTOUT: {
        const Pt ref = ReadPointL(r);
        const std::uint32_t chars = r.U32();
        const std::uint32_t options = r.U32();
        r.U32();   // graphics mode
        r.Skip(8); // scales
        DRect rect;
        const bool hasRect = !(options & ETO_NO_RECT);
        if (hasRect) rect = ReadRectL(r);
        if (options & ETO_GLYPH_INDEX) break;
        const bool narrow = options & ETO_SMALL_CHARS;
        const std::size_t n = std::min<std::size_t>(chars, r.Remaining() / (narrow ? 1 : 2));
        const std::uint8_t* s = r.Bytes(n * (narrow ? 1 : 2));
        c.TextOut(ref, narrow ? AnsiChars(s, n) : Utf16Chars(s, n), {}, options, hasRect ? &rect : nullptr);
        break;
    }
    default:
        break; // unknown or without effect here
    }
}

} // namespace

void PlayEnhancedMetafile(const std::vector<std::uint8_t>& data, TBitmap& target, const TRect& rect) {
    Canvas c(target, rect, "emf");
    if (c.Empty()) return;
    std::size_t end = 0, pos = 0;
    try {
        ByteReader h(data.data(), data.size());
        h.U32();
        pos = h.U32();
        const DRect bounds = ReadRectL(h);
        const DRect frame = ReadRectL(h);
        h.Skip(8);
        end = std::min<std::size_t>(h.U32(), data.size());
        h.U32(); // records
        const std::uint16_t handles = h.U16();
        h.Skip(2 + 12);
        const double devW = h.S32(), devH = h.S32(), mmW = h.S32(), mmH = h.S32();
        c.ResizeObjects(handles);
        // The reference device's pixels per millimetre; the frame (0.01 mm)
        // in those pixels is what fills the target rectangle.
        double pxX = 96 / 25.4, pxY = 96 / 25.4;
        if (devW > 0 && devH > 0 && mmW > 0 && mmH > 0) {
            pxX = devW / mmW;
            pxY = devH / mmH;
        }
        c.SetDeviceResolution(pxX, pxY);
        double fl = frame.l * pxX / 100, ft = frame.t * pxY / 100, fr = frame.r * pxX / 100,
               fb = frame.b * pxY / 100;
        if (fr - fl <= 0 || fb - ft <= 0) {
            fl = bounds.l, ft = bounds.t, fr = bounds.r + 1, fb = bounds.b + 1;
            if (fr - fl <= 0 || fb - ft <= 0) return;
        }
        const double sx = rect.Width() / (fr - fl), sy = rect.Height() / (fb - ft);
        c.SetDeviceToTarget(sx, sy, rect.Left - fl * sx, rect.Top - ft * sy);
    } catch (const ZenksError&) {
        return;
    }
    while (pos < end && end - pos >= 8) {
        const std::uint8_t* rec = data.data() + pos;
        ByteReader head(rec, end - pos);
        const std::uint32_t type = head.U32();
        const std::uint32_t size = head.U32();
        // A size below the record's own header, or past the end, ends playback.
        if (size < 8 || size > end - pos) break;
        if (type == EMR_EOF) break;
        ByteReader params(rec, size);
        params.Skip(8);
        try {
            PlayRecord(c, type, params, rec, size);
        } catch (const ZenksError&) {
            // A record shorter than its parameters is skipped.
        }
        pos += size;
    }
}
