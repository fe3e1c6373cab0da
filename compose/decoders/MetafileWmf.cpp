// Playback of a placeable Windows metafile: the 22-byte placeable header, the
// 18-byte metafile header, then records of (size in 16-bit words, function,
// parameters). Coordinates are signed 16-bit and mostly stored y before x.
#include "compose/decoders/ByteReader.h"
#include "compose/decoders/Metafile.h"
#include "compose/decoders/MetafileCanvas.h"

#include <algorithm>
#include <optional>

using namespace metafile;

namespace {

enum : std::uint16_t {
    META_EOF = 0x0000,
    META_SAVEDC = 0x001E,
    META_REALIZEPALETTE = 0x0035,
    META_SETPALENTRIES = 0x0037,
    META_CREATEPALETTE = 0x00F7,
    META_SETBKMODE = 0x0102,
    META_SETMAPMODE = 0x0103,
    META_SETROP2 = 0x0104,
    META_SETRELABS = 0x0105,
    META_SETPOLYFILLMODE = 0x0106,
    META_SETSTRETCHBLTMODE = 0x0107,
    META_SETTEXTCHAREXTRA = 0x0108,
    META_RESTOREDC = 0x0127,
    META_INVERTREGION = 0x012A,
    META_PAINTREGION = 0x012B,
    META_SELECTCLIPREGION = 0x012C,
    META_SELECTOBJECT = 0x012D,
    META_SETTEXTALIGN = 0x012E,
    META_RESIZEPALETTE = 0x0139,
    META_DIBCREATEPATTERNBRUSH = 0x0142,
    META_SETLAYOUT = 0x0149,
    META_DELETEOBJECT = 0x01F0,
    META_CREATEPATTERNBRUSH = 0x01F9,
    META_SETBKCOLOR = 0x0201,
    META_SETTEXTCOLOR = 0x0209,
    META_SETTEXTJUSTIFICATION = 0x020A,
    META_SETWINDOWORG = 0x020B,
    META_SETWINDOWEXT = 0x020C,
    META_SETVIEWPORTORG = 0x020D,
    META_SETVIEWPORTEXT = 0x020E,
    META_OFFSETWINDOWORG = 0x020F,
    META_OFFSETVIEWPORTORG = 0x0211,
    META_LINETO = 0x0213,
    META_MOVETO = 0x0214,
    META_OFFSETCLIPRGN = 0x0220,
    META_FILLREGION = 0x0228,
    META_SETMAPPERFLAGS = 0x0231,
    META_SELECTPALETTE = 0x0234,
    META_CREATEPENINDIRECT = 0x02FA,
    META_CREATEFONTINDIRECT = 0x02FB,
    META_CREATEBRUSHINDIRECT = 0x02FC,
    META_POLYGON = 0x0324,
    META_POLYLINE = 0x0325,
    META_SCALEWINDOWEXT = 0x0410,
    META_SCALEVIEWPORTEXT = 0x0412,
    META_EXCLUDECLIPRECT = 0x0415,
    META_INTERSECTCLIPRECT = 0x0416,
    META_ELLIPSE = 0x0418,
    META_FLOODFILL = 0x0419,
    META_FRAMEREGION = 0x0429,
    META_ANIMATEPALETTE = 0x0436,
    META_RECTANGLE = 0x041B,
    META_SETPIXEL = 0x041F,
    META_TEXTOUT = 0x0521,
    META_POLYPOLYGON = 0x0538,
    META_EXTFLOODFILL = 0x0548,
    META_ROUNDRECT = 0x061C,
    META_PATBLT = 0x061D,
    META_ESCAPE = 0x0626,
    META_CREATEREGION = 0x06FF,
    META_ARC = 0x0817,
    META_PIE = 0x081A,
    META_CHORD = 0x0830,
    META_BITBLT = 0x0922,
    META_DIBBITBLT = 0x0940,
    META_EXTTEXTOUT = 0x0A32,
    META_STRETCHBLT = 0x0B23,
    META_DIBSTRETCHBLT = 0x0B41,
    META_SETDIBTODEV = 0x0D33,
    META_STRETCHDIB = 0x0F43,
};

Pt ReadPointYX(ByteReader& r) {
    const double y = r.S16();
    const double x = r.S16();
    return {x, y};
}

// Bottom, right, top, left: the order of every WMF rectangle record.
DRect ReadRectReversed(ByteReader& r) {
    const double b = r.S16(), rt = r.S16(), t = r.S16(), l = r.S16();
    return {l, t, rt, b};
}

std::vector<Pt> ReadPoints(ByteReader& r, std::size_t count) {
    // The count comes from the file: never more than the record holds.
    count = std::min(count, r.Remaining() / 4);
    std::vector<Pt> pts;
    pts.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        const double x = r.S16();
        const double y = r.S16();
        pts.push_back({x, y});
    }
    return pts;
}

// A device-dependent Bitmap16 (old BITBLT and STRETCHBLT records): type,
// width, height, bytes per row, planes, bits per pixel, then rows top-down.
// Writers differ in what lies between header and bits, so the rows are taken
// from the end of the record.
std::optional<Dib> ReadBitmap16(ByteReader& r) {
    r.S16(); // type
    const int w = r.S16(), h = r.S16(), rowBytes = r.S16();
    const int planes = r.U8(), bpp = r.U8();
    if (w <= 0 || h <= 0 || planes != 1 || rowBytes <= 0) return std::nullopt;
    if (static_cast<std::int64_t>(rowBytes) * 8 < static_cast<std::int64_t>(w) * bpp) return std::nullopt;
    const std::size_t need = static_cast<std::size_t>(rowBytes) * static_cast<std::size_t>(h);
    if (need > r.Remaining() || (bpp != 1 && bpp != 16 && bpp != 24 && bpp != 32)) return std::nullopt;
    r.Skip(r.Remaining() - need);
    const std::uint8_t* bits = r.Bytes(need);
    Dib dib;
    dib.bottomUp = false;
    dib.bitmap.SetSize(w, h);
    for (int y = 0; y < h; ++y) {
        const std::uint8_t* row = bits + static_cast<std::size_t>(y) * rowBytes;
        std::uint8_t* d = dib.bitmap.ScanLine(y);
        for (int x = 0; x < w; ++x, d += 3) {
            switch (bpp) {
            case 1:
                d[0] = d[1] = d[2] = (row[x / 8] >> (7 - x % 8) & 1) ? 255 : 0;
                break;
            case 16: {
                const int v = row[2 * x] | (row[2 * x + 1] << 8);
                d[0] = static_cast<std::uint8_t>((v & 31) * 255 / 31);
                d[1] = static_cast<std::uint8_t>((v >> 5 & 31) * 255 / 31);
                d[2] = static_cast<std::uint8_t>((v >> 10 & 31) * 255 / 31);
                break;
            }
            default: {
                const std::uint8_t* p = row + static_cast<std::size_t>(x) * (bpp / 8);
                d[0] = p[0];
                d[1] = p[1];
                d[2] = p[2];
                break;
            }
            }
        }
    }
    return dib;
}

GdiObject ReadRegion(ByteReader& r) {
    // nextInChain, objectType, objectCount, regionSize, scanCount, maxScan,
    // bounding box, then scans of (count, top, bottom, count/2 x (left,
    // right), count).
    GdiObject o;
    o.kind = GdiObject::Kind::Region;
    r.Skip(2 + 2 + 4 + 2);
    const std::uint16_t scans = r.U16();
    r.Skip(2 + 8);
    for (std::uint16_t s = 0; s < scans && r.Remaining() >= 6; ++s) {
        const std::uint16_t count = r.U16();
        const double top = r.S16(), bottom = r.S16();
        for (std::uint16_t i = 0; i + 1 < count && r.Remaining() >= 4; i += 2) {
            const double left = r.S16(), right = r.S16();
            if (o.region.size() < 1024) o.region.push_back({left, top, right, bottom});
        }
        r.Skip(2);
    }
    return o;
}

bool CreatesObject(std::uint16_t fn) {
    switch (fn) {
    case META_CREATEPENINDIRECT:
    case META_CREATEBRUSHINDIRECT:
    case META_CREATEFONTINDIRECT:
    case META_DIBCREATEPATTERNBRUSH:
    case META_CREATEPATTERNBRUSH:
    case META_CREATEPALETTE:
    case META_CREATEREGION:
        return true;
    default:
        return false;
    }
}

void PlayRecord(Canvas& c, std::uint16_t fn, ByteReader& r, std::size_t recordWords) {
    switch (fn) {
    case META_SAVEDC:
        c.SaveDC();
        break;
    case META_RESTOREDC:
        c.RestoreDC(r.S16());
        break;
    case META_SETBKMODE:
        c.SetBkMode(r.U16());
        break;
    case META_SETMAPMODE:
        c.SetMapMode(r.U16());
        break;
    case META_SETPOLYFILLMODE:
        c.SetPolyFillMode(r.U16());
        break;
    case META_SETROP2:
        c.SetRop2(r.U16());
        break;
    case META_SETTEXTALIGN:
        c.SetTextAlign(r.U16());
        break;
    case META_SETBKCOLOR:
        c.SetBkColor(ColorRef(r.U32()));
        break;
    case META_SETTEXTCOLOR:
        c.SetTextColor(ColorRef(r.U32()));
        break;
    case META_SETWINDOWORG: {
        const Pt p = ReadPointYX(r);
        c.SetWindowOrg(p.x, p.y);
        break;
    }
    case META_SETWINDOWEXT: {
        const Pt p = ReadPointYX(r);
        c.SetWindowExt(p.x, p.y);
        break;
    }
    case META_SETVIEWPORTORG: {
        const Pt p = ReadPointYX(r);
        c.SetViewportOrg(p.x, p.y);
        break;
    }
    case META_SETVIEWPORTEXT: {
        const Pt p = ReadPointYX(r);
        c.SetViewportExt(p.x, p.y);
        break;
    }
    case META_OFFSETWINDOWORG: {
        const Pt p = ReadPointYX(r);
        c.OffsetWindowOrg(p.x, p.y);
        break;
    }
    case META_OFFSETVIEWPORTORG: {
        const Pt p = ReadPointYX(r);
        c.OffsetViewportOrg(p.x, p.y);
        break;
    }
    case META_SCALEWINDOWEXT:
    case META_SCALEVIEWPORTEXT: {
        const double yDen = r.S16(), yNum = r.S16(), xDen = r.S16(), xNum = r.S16();
        if (fn == META_SCALEWINDOWEXT)
            c.ScaleWindowExt(xNum, xDen, yNum, yDen);
        else
            c.ScaleViewportExt(xNum, xDen, yNum, yDen);
        break;
    }
    case META_MOVETO:
        c.MoveTo(ReadPointYX(r));
        break;
    case META_LINETO:
        c.LineTo(ReadPointYX(r));
        break;
    case META_EXCLUDECLIPRECT:
        c.ExcludeClipRect(ReadRectReversed(r));
        break;
    case META_INTERSECTCLIPRECT:
        c.IntersectClipRect(ReadRectReversed(r));
        break;
    case META_OFFSETCLIPRGN: {
        const Pt p = ReadPointYX(r);
        c.OffsetClip(p.x, p.y);
        break;
    }
    case META_SELECTCLIPREGION:
        c.SelectClipRegion(r.U16());
        break;
    case META_RECTANGLE:
        c.Rectangle(ReadRectReversed(r));
        break;
    case META_ELLIPSE:
        c.Ellipse(ReadRectReversed(r));
        break;
    case META_ROUNDRECT: {
        const double h = r.S16(), w = r.S16();
        c.RoundRect(ReadRectReversed(r), w, h);
        break;
    }
    case META_ARC:
    case META_PIE:
    case META_CHORD: {
        const Pt end = ReadPointYX(r), start = ReadPointYX(r);
        const DRect box = ReadRectReversed(r);
        c.Arc(fn == META_ARC   ? Canvas::ArcKind::Arc
              : fn == META_PIE ? Canvas::ArcKind::Pie
                               : Canvas::ArcKind::Chord,
              box, start, end);
        break;
    }
    case META_POLYGON:
    case META_POLYLINE: {
        const std::int16_t n = r.S16();
        if (n <= 0) break;
        const std::vector<Pt> pts = ReadPoints(r, static_cast<std::size_t>(n));
        if (fn == META_POLYGON)
            c.Polygon(pts);
        else
            c.Polyline(pts);
        break;
    }
    case META_POLYPOLYGON: {
        const std::uint16_t polys = r.U16();
        std::vector<std::size_t> counts;
        for (std::uint16_t i = 0; i < polys; ++i)
            counts.push_back(r.U16());
        std::vector<std::vector<Pt>> all;
        for (std::size_t n : counts)
            all.push_back(ReadPoints(r, n));
        c.PolyPolygon(all);
        break;
    }
    case META_SETPIXEL: {
        const Rgb col = ColorRef(r.U32());
        c.SetPixel(ReadPointYX(r), col);
        break;
    }
    case META_PATBLT: {
        const std::uint32_t rop = r.U32();
        const double h = r.S16(), w = r.S16();
        const Pt p = ReadPointYX(r);
        c.PatBlt({p.x, p.y, p.x + w, p.y + h}, rop);
        break;
    }
    case META_TEXTOUT: {
        const std::uint16_t len = r.U16();
        const std::uint8_t* s = r.Bytes(len);
        if (len % 2) r.Skip(1);
        const Pt p = ReadPointYX(r);
        c.TextOut(p, AnsiChars(s, len), {}, 0, nullptr);
        break;
    }
    case META_EXTTEXTOUT: {
        const Pt p = ReadPointYX(r);
        const std::int16_t len = r.S16();
        const std::uint16_t opts = r.U16();
        DRect rect;
        const bool hasRect = opts & (ETO_OPAQUE | ETO_CLIPPED);
        if (hasRect) {
            rect.l = r.S16();
            rect.t = r.S16();
            rect.r = r.S16();
            rect.b = r.S16();
        }
        const std::size_t n = len > 0 ? static_cast<std::size_t>(len) : 0;
        const std::uint8_t* s = r.Bytes(n);
        if (n % 2 && r.Remaining()) r.Skip(1);
        std::vector<double> dx;
        if (r.Remaining() >= n * 2)
            for (std::size_t i = 0; i < n; ++i)
                dx.push_back(r.S16());
        c.TextOut(p, AnsiChars(s, n), dx, opts, hasRect ? &rect : nullptr);
        break;
    }
    case META_CREATEPENINDIRECT: {
        GdiObject o;
        o.kind = GdiObject::Kind::Pen;
        o.pen.style = r.U16();
        o.pen.width = r.S16();
        r.S16();
        o.pen.color = ColorRef(r.U32());
        o.pen.cosmetic = o.pen.width == 0;
        c.AddObject(std::move(o));
        break;
    }
    case META_CREATEBRUSHINDIRECT: {
        GdiObject o;
        o.kind = GdiObject::Kind::Brush;
        o.brush.style = r.U16();
        o.brush.color = ColorRef(r.U32());
        o.brush.hatch = r.U16();
        c.AddObject(std::move(o));
        break;
    }
    case META_DIBCREATEPATTERNBRUSH: {
        GdiObject o;
        o.kind = GdiObject::Kind::Brush;
        o.brush.style = BS_DIBPATTERN;
        o.brush.color = {128, 128, 128};
        r.U16(); // style
        r.U16(); // colour usage
        const std::size_t n = r.Remaining();
        if (auto dib = DecodeDib(r.Bytes(n), n, nullptr, 0))
            o.brush.pattern = std::make_shared<const TBitmap>(std::move(dib->bitmap));
        c.AddObject(std::move(o));
        break;
    }
    case META_CREATEFONTINDIRECT: {
        GdiObject o;
        o.kind = GdiObject::Kind::Font;
        Font& f = o.font;
        f.height = r.S16();
        r.S16(); // width
        f.escapement = r.S16();
        r.S16(); // orientation
        f.weight = r.S16();
        f.italic = r.U8();
        f.underline = r.U8();
        f.strikeOut = r.U8();
        f.charSet = r.U8();
        r.Skip(4);
        const std::size_t n = std::min<std::size_t>(32, r.Remaining());
        const std::uint8_t* name = r.Bytes(n);
        for (std::size_t i = 0; i < n && name[i]; ++i)
            f.face += static_cast<char>(name[i]);
        // Face names are ANSI; keep only what is ASCII for fontconfig.
        f.face.erase(std::remove_if(f.face.begin(), f.face.end(), [](char ch) { return ch & 0x80; }),
                     f.face.end());
        c.AddObject(std::move(o));
        break;
    }
    case META_CREATEREGION:
        c.AddObject(ReadRegion(r));
        break;
    case META_CREATEPALETTE:
    case META_CREATEPATTERNBRUSH: {
        // Still take a slot, so later indexes stay right.
        GdiObject o;
        if (fn == META_CREATEPATTERNBRUSH) {
            o.kind = GdiObject::Kind::Brush;
            o.brush.color = {128, 128, 128};
        }
        c.AddObject(std::move(o));
        break;
    }
    case META_SELECTOBJECT:
        c.SelectObject(r.U16());
        break;
    case META_DELETEOBJECT:
        c.DeleteObject(r.U16());
        break;
    case META_FILLREGION:
    case META_PAINTREGION:
        break;
    case META_DIBBITBLT:
    case META_DIBSTRETCHBLT:
    case META_BITBLT:
    case META_STRETCHBLT: {
        // Without a bitmap the record is a pattern fill and carries one more
        // reserved word where the bitmap's width would be. The DIB records
        // carry a device-independent bitmap, the old ones a Windows 3.0 bitmap.
        const bool stretch = fn == META_DIBSTRETCHBLT || fn == META_STRETCHBLT;
        const bool dibRecord = fn == META_DIBBITBLT || fn == META_DIBSTRETCHBLT;
        const bool noBitmap = recordWords == static_cast<std::size_t>((fn >> 8) + 3);
        const std::uint32_t rop = r.U32();
        double srcH = 0, srcW = 0;
        if (stretch) {
            srcH = r.S16();
            srcW = r.S16();
        }
        const double ySrc = r.S16(), xSrc = r.S16();
        if (noBitmap) r.Skip(2);
        const double h = r.S16(), w = r.S16();
        const Pt p = ReadPointYX(r);
        if (noBitmap) {
            c.PatBlt({p.x, p.y, p.x + w, p.y + h}, rop);
            break;
        }
        if (!stretch) {
            srcW = w;
            srcH = h;
        }
        const std::size_t n = r.Remaining();
        if (auto bmp = dibRecord ? DecodeDib(r.Bytes(n), n, nullptr, 0) : ReadBitmap16(r))
            c.DrawDib(*bmp, xSrc, ySrc, srcW, srcH, {p.x, p.y, p.x + w, p.y + h}, rop);
        break;
    }
    case META_STRETCHDIB: {
        const std::uint32_t rop = r.U32();
        r.U16(); // colour usage
        const double srcH = r.S16(), srcW = r.S16(), ySrc = r.S16(), xSrc = r.S16();
        const double h = r.S16(), w = r.S16();
        const Pt p = ReadPointYX(r);
        const std::size_t n = r.Remaining();
        if (auto dib = DecodeDib(r.Bytes(n), n, nullptr, 0))
            c.DrawDib(*dib, xSrc, ySrc, srcW, srcH, {p.x, p.y, p.x + w, p.y + h}, rop);
        break;
    }
    case META_SETDIBTODEV: {
        r.U16(); // colour usage
        r.U16(); // scan count
        r.U16(); // start scan
        const double ySrc = r.S16(), xSrc = r.S16(), h = r.S16(), w = r.S16();
        const Pt p = ReadPointYX(r);
        const std::size_t n = r.Remaining();
        if (auto dib = DecodeDib(r.Bytes(n), n, nullptr, 0))
            c.DrawDib(*dib, xSrc, ySrc, w, h, {p.x, p.y, p.x + w, p.y + h}, 0x00CC0020);
        break;
    }
    default:
        break; // unknown or without effect here
    }
}

} // namespace

void PlayPlaceableMetafile(const std::vector<std::uint8_t>& data, TBitmap& target, const TRect& rect) {
    Canvas c(target, rect, "wmf");
    if (c.Empty()) return;
    try {
        ByteReader h(data.data(), data.size());
        h.Skip(6);
        const double left = h.S16(), top = h.S16(), right = h.S16(), bottom = h.S16();
        h.Seek(22 + 12);
        const std::uint16_t objects = h.U16();
        h.Seek(22 + 18);
        c.SetWindowOnly(true);
        c.ResizeObjects(objects);
        // The device is the target rectangle; until the file sets its own
        // window, its bounding box is the window.
        c.SetDeviceToTarget(1, 1, rect.Left, rect.Top);
        c.InitMapping({left, top}, {right - left, bottom - top}, {0, 0},
                      {double(rect.Width()), double(rect.Height())});
    } catch (const ZenksError&) {
        return;
    }
    std::size_t pos = 22 + 18;
    while (data.size() - pos >= 6) {
        ByteReader head(data.data() + pos, data.size() - pos);
        const std::uint32_t words = head.U32();
        const std::uint16_t fn = head.U16();
        // A size below the record's own header, or past the end, ends playback.
        if (words < 3 || words > (data.size() - pos) / 2) break;
        if (fn == META_EOF) break;
        ByteReader params(data.data() + pos + 6, words * 2 - 6);
        try {
            PlayRecord(c, fn, params, words);
        } catch (const ZenksError&) {
            // A record shorter than its parameters is skipped; one that makes
            // an object still takes its slot, so later indexes stay right.
            if (CreatesObject(fn)) c.AddObject(GdiObject{});
        }
        pos += words * 2;
    }
}
