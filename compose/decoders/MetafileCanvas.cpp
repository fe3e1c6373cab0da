#include "compose/decoders/MetafileCanvas.h"

#include "compose/decoders/ByteReader.h"
#include "config/Messages.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

namespace {
const char* g_cairoLibrary = ZENKS_LIBCAIRO;
} // namespace

const CairoFunctions* CairoLibrary() {
    return LibraryFunctions<CairoFunctions>(g_cairoLibrary);
}

void SetCairoLibraryForTesting(const char* fileName) {
    g_cairoLibrary = fileName;
}

namespace metafile {

namespace {

// Hostile files can save states and split clip regions without end; these
// bound the memory a damaged file can tie up.
constexpr std::size_t kMaxSavedStates = 128;
constexpr std::size_t kMaxClipRects = 256;
constexpr std::size_t kMaxObjects = 65536;
// Larger glyphs are filled as outlines instead of through Cairo's glyph cache.
constexpr double kMaxCachedGlyphPx = 512;
constexpr double kMaxTextPx = 1e5;
// Far beyond any screen, well inside Cairo's 24.8 fixed-point range; curves
// of this size still flatten into a modest number of segments.
constexpr double kMaxDevice = 4e6;

bool Finite(double v) {
    return std::isfinite(v);
}

DRect Normalised(DRect r) {
    if (r.l > r.r) std::swap(r.l, r.r);
    if (r.t > r.b) std::swap(r.t, r.b);
    return r;
}

bool IntersectRect(const DRect& a, const DRect& b, DRect& out) {
    out = {std::max(a.l, b.l), std::max(a.t, b.t), std::min(a.r, b.r), std::min(a.b, b.b)};
    return out.l < out.r && out.t < out.b;
}

void AppendUtf8(std::string& s, std::uint32_t c) {
    if (c < 0x80) {
        s += static_cast<char>(c);
    } else if (c < 0x800) {
        s += static_cast<char>(0xC0 | (c >> 6));
        s += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        s += static_cast<char>(0xE0 | (c >> 12));
        s += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        s += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        s += static_cast<char>(0xF0 | (c >> 18));
        s += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        s += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        s += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// Windows-1252 in 0x80..0x9F; the rest of the code page equals Latin-1.
constexpr std::uint16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

// The boolean function of a ROP3 code over bytes: each set bit i of the
// table stands for the minterm (pattern = bit 2, source = bit 1, dest = bit 0).
std::uint8_t Rop3(std::uint8_t table, std::uint8_t p, std::uint8_t s, std::uint8_t d) {
    std::uint8_t r = 0;
    for (int i = 0; i < 8; ++i)
        if (table >> i & 1)
            r |= static_cast<std::uint8_t>((i & 4 ? p : ~p) & (i & 2 ? s : ~s) & (i & 1 ? d : ~d));
    return r;
}

// A ROP2 code (1..16) as the ROP3 table that ignores the source.
std::uint8_t Rop2Table(unsigned rop2) {
    const unsigned t = rop2 - 1; // bit (pen * 2 + dest)
    std::uint8_t table = 0;
    for (int i = 0; i < 8; ++i)
        if (t >> (((i >> 2) & 1) * 2 + (i & 1)) & 1) table |= static_cast<std::uint8_t>(1 << i);
    return table;
}

} // namespace

std::vector<std::string> AnsiChars(const std::uint8_t* s, std::size_t n) {
    std::vector<std::string> out;
    out.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        std::string c;
        const std::uint8_t b = s[i];
        AppendUtf8(c, b >= 0x80 && b < 0xA0 ? kCp1252High[b - 0x80] : b);
        out.push_back(std::move(c));
    }
    return out;
}

std::vector<std::string> Utf16Chars(const std::uint8_t* s, std::size_t nChars) {
    std::vector<std::string> out;
    out.reserve(nChars);
    for (std::size_t i = 0; i < nChars; ++i) {
        std::uint32_t c = s[2 * i] | (s[2 * i + 1] << 8);
        std::string u;
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < nChars) {
            const std::uint32_t lo = s[2 * i + 2] | (s[2 * i + 3] << 8);
            if (lo >= 0xDC00 && lo < 0xE000) {
                c = 0x10000 + ((c - 0xD800) << 10) + (lo - 0xDC00);
                ++i;
            }
        }
        if (c >= 0xD800 && c < 0xE000) c = 0xFFFD;
        AppendUtf8(u, c);
        out.push_back(std::move(u));
    }
    return out;
}

std::optional<Dib> DecodeDib(const std::uint8_t* bmi, std::size_t bmiSize, const std::uint8_t* bits,
                             std::size_t bitsSize) {
    try {
        ByteReader r(bmi, bmiSize);
        const std::uint32_t headerSize = r.U32();
        std::int64_t height = 0;
        std::uint32_t bitCount = 0, compression = 0, clrUsed = 0;
        std::size_t entry = 4;
        if (headerSize == 12) {
            r.U16();
            height = r.S16();
            r.U16();
            bitCount = r.U16();
            entry = 3;
        } else if (headerSize >= 40) {
            r.S32();
            height = r.S32();
            r.U16();
            bitCount = r.U16();
            compression = r.U32();
            r.Skip(12);
            clrUsed = r.U32();
        } else {
            return std::nullopt;
        }
        std::size_t bitsOffset = bmiSize;
        if (!bits) {
            // One block: the pixels follow the header, masks and colour table.
            std::uint64_t colours = clrUsed ? clrUsed : (bitCount <= 8 ? (1u << bitCount) : 0);
            std::uint64_t off = headerSize + colours * entry;
            if (headerSize == 40 && compression == 3) off += 12;
            if (headerSize == 40 && compression == 6) off += 16;
            if (off > bmiSize) return std::nullopt;
            bitsOffset = static_cast<std::size_t>(off);
            bits = bmi + bitsOffset;
            bitsSize = bmiSize - bitsOffset;
            bmiSize = bitsOffset;
        }
        std::vector<std::uint8_t> file(14 + bmiSize + bitsSize);
        const std::uint32_t total = static_cast<std::uint32_t>(file.size());
        const std::uint32_t offBits = static_cast<std::uint32_t>(14 + bmiSize);
        file[0] = 'B';
        file[1] = 'M';
        for (int i = 0; i < 4; ++i) {
            file[2 + i] = static_cast<std::uint8_t>(total >> (8 * i));
            file[10 + i] = static_cast<std::uint8_t>(offBits >> (8 * i));
        }
        std::memcpy(file.data() + 14, bmi, bmiSize);
        if (bitsSize) std::memcpy(file.data() + 14 + bmiSize, bits, bitsSize);
        Dib dib;
        dib.bitmap.LoadFromData(std::move(file));
        dib.bottomUp = height > 0;
        if (dib.bitmap.Width() <= 0 || dib.bitmap.Height() <= 0) return std::nullopt;
        return dib;
    } catch (const ZenksError&) {
        return std::nullopt;
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

Canvas::Canvas(TBitmap& target, const TRect& rect, const char* format) : target_(target) {
    if (!CairoLibrary()) Throw(Msg::NoDecoderInstalled, {std::string(format)});
    const int l = std::max(rect.Left, 0), t = std::max(rect.Top, 0);
    const int r = std::min(rect.Right, target.Width()), b = std::min(rect.Bottom, target.Height());
    if (l >= r || t >= b || rect.Width() <= 0 || rect.Height() <= 0) return;
    x0_ = l;
    y0_ = t;
    surface_ = Cairo().cairo_image_surface_create(CAIRO_FORMAT_RGB24, r - l, b - t);
    if (Cairo().cairo_surface_status(surface_) != CAIRO_STATUS_SUCCESS) {
        Cairo().cairo_surface_destroy(surface_);
        surface_ = nullptr;
        return;
    }
    Cairo().cairo_surface_flush(surface_);
    unsigned char* px = Cairo().cairo_image_surface_get_data(surface_);
    const int stride = Cairo().cairo_image_surface_get_stride(surface_);
    for (int y = 0; y < b - t; ++y) {
        const std::uint8_t* s = target.ScanLine(t + y) + l * 3;
        auto* d = reinterpret_cast<std::uint32_t*>(px + y * stride);
        for (int x = 0; x < r - l; ++x, s += 3)
            d[x] = (std::uint32_t{s[2]} << 16) | (std::uint32_t{s[1]} << 8) | s[0];
    }
    Cairo().cairo_surface_mark_dirty(surface_);
    cr_ = Cairo().cairo_create(surface_);
    Cairo().cairo_set_antialias(cr_, CAIRO_ANTIALIAS_NONE);
    cairo_font_options_t* fo = Cairo().cairo_font_options_create();
    Cairo().cairo_font_options_set_antialias(fo, CAIRO_ANTIALIAS_NONE);
    Cairo().cairo_font_options_set_hint_metrics(fo, CAIRO_HINT_METRICS_OFF);
    Cairo().cairo_set_font_options(cr_, fo);
    Cairo().cairo_font_options_destroy(fo);
    st_.pen = Pen{};
    st_.brush = Brush{};
    st_.font.face = "Arial";
}

Canvas::~Canvas() {
    if (!cr_) return;
    Cairo().cairo_destroy(cr_);
    Cairo().cairo_surface_flush(surface_);
    const unsigned char* px = Cairo().cairo_image_surface_get_data(surface_);
    const int stride = Cairo().cairo_image_surface_get_stride(surface_);
    const int w = Cairo().cairo_image_surface_get_width(surface_),
              h = Cairo().cairo_image_surface_get_height(surface_);
    for (int y = 0; y < h; ++y) {
        std::uint8_t* d = target_.ScanLine(y0_ + y) + x0_ * 3;
        const auto* s = reinterpret_cast<const std::uint32_t*>(px + y * stride);
        for (int x = 0; x < w; ++x, d += 3) {
            d[0] = static_cast<std::uint8_t>(s[x]);
            d[1] = static_cast<std::uint8_t>(s[x] >> 8);
            d[2] = static_cast<std::uint8_t>(s[x] >> 16);
        }
    }
    Cairo().cairo_surface_destroy(surface_);
}

void Canvas::SetDeviceToTarget(double sx, double sy, double ox, double oy) {
    Cairo().cairo_matrix_init(&deviceToSurface_, sx, 0, 0, sy, ox - x0_, oy - y0_);
}

void Canvas::SetDeviceResolution(double pxPerMmX, double pxPerMmY) {
    if (Finite(pxPerMmX) && Finite(pxPerMmY) && pxPerMmX > 0 && pxPerMmY > 0) {
        pxPerMmX_ = pxPerMmX;
        pxPerMmY_ = pxPerMmY;
    }
}

// ---- mapping

void Canvas::ApplyFixedMapMode() {
    double unitsPerMm = 0;
    switch (st_.mapMode) {
    case MM_TEXT:
        st_.winExt = {1, 1};
        st_.vpExt = {1, 1};
        return;
    case MM_LOMETRIC:
        unitsPerMm = 10;
        break;
    case MM_HIMETRIC:
        unitsPerMm = 100;
        break;
    case MM_LOENGLISH:
        unitsPerMm = 100 / 25.4;
        break;
    case MM_HIENGLISH:
        unitsPerMm = 1000 / 25.4;
        break;
    case MM_TWIPS:
        unitsPerMm = 1440 / 25.4;
        break;
    default:
        return;
    }
    st_.winExt = {unitsPerMm, unitsPerMm};
    st_.vpExt = {pxPerMmX_, -pxPerMmY_};
}

void Canvas::SetMapMode(unsigned mode) {
    if (windowOnly_ || mode < MM_TEXT || mode > MM_ANISOTROPIC) return;
    st_.mapMode = mode;
    ApplyFixedMapMode();
}

void Canvas::InitMapping(Pt winOrg, Pt winExt, Pt vpOrg, Pt vpExt) {
    st_.winOrg = winOrg;
    st_.vpOrg = vpOrg;
    if (winExt.x != 0 && winExt.y != 0 && Finite(winExt.x) && Finite(winExt.y)) st_.winExt = winExt;
    if (vpExt.x != 0 && vpExt.y != 0 && Finite(vpExt.x) && Finite(vpExt.y)) st_.vpExt = vpExt;
}

void Canvas::SetWindowOrg(double x, double y) {
    st_.winOrg = {x, y};
}
void Canvas::SetViewportOrg(double x, double y) {
    if (!windowOnly_) st_.vpOrg = {x, y};
}
void Canvas::OffsetWindowOrg(double dx, double dy) {
    st_.winOrg = {st_.winOrg.x + dx, st_.winOrg.y + dy};
}
void Canvas::OffsetViewportOrg(double dx, double dy) {
    if (!windowOnly_) st_.vpOrg = {st_.vpOrg.x + dx, st_.vpOrg.y + dy};
}

// Extents change only in the two scalable modes, and never to zero (GDI
// refuses that, and it would divide by zero).
void Canvas::SetWindowExt(double x, double y) {
    if (x == 0 || y == 0 || !Finite(x) || !Finite(y)) return;
    if (windowOnly_ || st_.mapMode == MM_ISOTROPIC || st_.mapMode == MM_ANISOTROPIC) st_.winExt = {x, y};
}
void Canvas::SetViewportExt(double x, double y) {
    if (windowOnly_ || x == 0 || y == 0 || !Finite(x) || !Finite(y)) return;
    if (st_.mapMode == MM_ISOTROPIC || st_.mapMode == MM_ANISOTROPIC) st_.vpExt = {x, y};
}
void Canvas::ScaleWindowExt(double xNum, double xDen, double yNum, double yDen) {
    if (xDen == 0 || yDen == 0) return;
    SetWindowExt(st_.winExt.x * xNum / xDen, st_.winExt.y * yNum / yDen);
}
void Canvas::ScaleViewportExt(double xNum, double xDen, double yNum, double yDen) {
    if (xDen == 0 || yDen == 0) return;
    SetViewportExt(st_.vpExt.x * xNum / xDen, st_.vpExt.y * yNum / yDen);
}

void Canvas::SetWorldTransform(const cairo_matrix_t& m) {
    const double v[] = {m.xx, m.yx, m.xy, m.yy, m.x0, m.y0};
    for (double d : v)
        if (!Finite(d)) return;
    if (m.xx * m.yy - m.xy * m.yx == 0) return;
    st_.world = m;
}

void Canvas::ModifyWorldTransform(const cairo_matrix_t& m, unsigned mode) {
    cairo_matrix_t r;
    switch (mode) {
    case 1:
        Cairo().cairo_matrix_init_identity(&st_.world);
        return;
    case 2:
        Cairo().cairo_matrix_multiply(&r, &m, &st_.world);
        break;
    case 3:
        Cairo().cairo_matrix_multiply(&r, &st_.world, &m);
        break;
    case 4:
        r = m;
        break;
    default:
        return;
    }
    SetWorldTransform(r);
}

cairo_matrix_t Canvas::LogicalToSurface() const {
    double sx = st_.vpExt.x / st_.winExt.x, sy = st_.vpExt.y / st_.winExt.y;
    if (st_.mapMode == MM_ISOTROPIC && !windowOnly_) {
        const double m = std::min(std::fabs(sx), std::fabs(sy));
        sx = std::copysign(m, sx);
        sy = std::copysign(m, sy);
    }
    cairo_matrix_t page, r, out;
    Cairo().cairo_matrix_init(&page, sx, 0, 0, sy, st_.vpOrg.x - st_.winOrg.x * sx,
                              st_.vpOrg.y - st_.winOrg.y * sy);
    Cairo().cairo_matrix_multiply(&r, &st_.world, &page);
    Cairo().cairo_matrix_multiply(&out, &r, &deviceToSurface_);
    return out;
}

bool Canvas::Fits(const std::vector<Pt>& pts) const {
    const cairo_matrix_t m = LogicalToSurface();
    for (Pt p : pts) {
        Cairo().cairo_matrix_transform_point(&m, &p.x, &p.y);
        if (!(std::fabs(p.x) <= kMaxDevice) || !(std::fabs(p.y) <= kMaxDevice)) return false;
    }
    return true;
}

bool Canvas::Fits(DRect r) const {
    return Fits({{r.l, r.t}, {r.r, r.t}, {r.l, r.b}, {r.r, r.b}});
}

Pt Canvas::ToSurface(Pt p) const {
    const cairo_matrix_t m = LogicalToSurface();
    Cairo().cairo_matrix_transform_point(&m, &p.x, &p.y);
    return p;
}

DRect Canvas::ToSurfaceRect(DRect r) const {
    const cairo_matrix_t m = LogicalToSurface();
    double xs[4] = {r.l, r.r, r.l, r.r}, ys[4] = {r.t, r.t, r.b, r.b};
    for (int i = 0; i < 4; ++i)
        Cairo().cairo_matrix_transform_point(&m, &xs[i], &ys[i]);
    return {*std::min_element(xs, xs + 4), *std::min_element(ys, ys + 4), *std::max_element(xs, xs + 4),
            *std::max_element(ys, ys + 4)};
}

// ---- objects and states

void Canvas::ResizeObjects(std::size_t n) {
    objects_.resize(std::min(n, kMaxObjects));
}

void Canvas::AddObject(GdiObject obj) {
    for (auto& slot : objects_)
        if (!slot) {
            slot = std::move(obj);
            return;
        }
    if (objects_.size() < kMaxObjects) objects_.push_back(std::move(obj));
}

void Canvas::SetObject(std::uint32_t index, GdiObject obj) {
    if (index < objects_.size()) objects_[index] = std::move(obj);
}

void Canvas::DeleteObject(std::uint32_t index) {
    if (index < objects_.size()) objects_[index].reset();
}

void Canvas::SelectObject(std::uint32_t index) {
    if (index >= objects_.size() || !objects_[index]) return;
    const GdiObject& o = *objects_[index];
    switch (o.kind) {
    case GdiObject::Kind::Pen:
        st_.pen = o.pen;
        break;
    case GdiObject::Kind::Brush:
        st_.brush = o.brush;
        break;
    case GdiObject::Kind::Font:
        st_.font = o.font;
        break;
    case GdiObject::Kind::Region:
        SelectClipRegion(index);
        break;
    case GdiObject::Kind::Other:
        break;
    }
}

const Brush* Canvas::ObjectBrush(std::uint32_t index) const {
    if (index < objects_.size() && objects_[index] && objects_[index]->kind == GdiObject::Kind::Brush)
        return &objects_[index]->brush;
    return nullptr;
}

void Canvas::SelectStockObject(std::uint32_t stock) {
    auto grey = [](std::uint8_t v) { return Rgb{v, v, v}; };
    switch (stock) {
    case 0:
        st_.brush = {BS_SOLID, grey(255), 0, nullptr};
        break;
    case 1:
        st_.brush = {BS_SOLID, grey(192), 0, nullptr};
        break;
    case 2:
        st_.brush = {BS_SOLID, grey(128), 0, nullptr};
        break;
    case 3:
        st_.brush = {BS_SOLID, grey(64), 0, nullptr};
        break;
    case 4:
        st_.brush = {BS_SOLID, grey(0), 0, nullptr};
        break;
    case 5:
        st_.brush = {BS_NULL, grey(0), 0, nullptr};
        break;
    case 6:
        st_.pen = {PS_SOLID, 0, true, grey(255)};
        break;
    case 7:
        st_.pen = {PS_SOLID, 0, true, grey(0)};
        break;
    case 8:
        st_.pen = {PS_NULL, 0, true, grey(0)};
        break;
    case 10:
    case 11:
    case 12:
    case 13:
    case 14:
    case 16:
    case 17:
        st_.font = Font{};
        st_.font.face = stock == 10 || stock == 11 || stock == 16 ? "Courier New" : "Arial";
        break;
    case 18:
        st_.brush = {BS_SOLID, grey(255), 0, nullptr};
        break;
    case 19:
        st_.pen = {PS_SOLID, 0, true, grey(0)};
        break;
    default:
        break;
    }
}

void Canvas::SaveDC() {
    if (saved_.size() < kMaxSavedStates) saved_.push_back(st_);
}

void Canvas::RestoreDC(int which) {
    // Negative counts back from the newest state; positive names a state by
    // its number (1 is the first saved).
    std::size_t keep;
    if (which < 0) {
        const std::size_t back = static_cast<std::size_t>(-static_cast<long long>(which));
        if (back > saved_.size()) return;
        keep = saved_.size() - back;
    } else {
        if (which == 0 || static_cast<std::size_t>(which) > saved_.size()) return;
        keep = static_cast<std::size_t>(which) - 1;
    }
    st_ = std::move(saved_[keep]);
    saved_.resize(keep);
    clipDirty_ = true;
}

// ---- clipping

void Canvas::ApplyClip() {
    if (!clipDirty_) return;
    clipDirty_ = false;
    Cairo().cairo_reset_clip(cr_);
    Cairo().cairo_identity_matrix(cr_);
    if (st_.clipRects) {
        Cairo().cairo_new_path(cr_);
        for (const DRect& r : st_.clip)
            Cairo().cairo_rectangle(cr_, r.l, r.t, r.r - r.l, r.b - r.t);
        Cairo().cairo_clip(cr_);
    }
    if (st_.clipPath) {
        Cairo().cairo_new_path(cr_);
        Cairo().cairo_append_path(cr_, st_.clipPath.get());
        Cairo().cairo_set_fill_rule(cr_, st_.clipRule);
        Cairo().cairo_clip(cr_);
    }
    Cairo().cairo_new_path(cr_);
}

void Canvas::SetClipRegion(std::vector<DRect> rects) {
    if (rects.size() > kMaxClipRects) rects.resize(kMaxClipRects);
    st_.clip = std::move(rects);
    st_.clipRects = true;
    clipDirty_ = true;
}

void Canvas::IntersectRegion(const std::vector<DRect>& rects) {
    if (!st_.clipRects) {
        SetClipRegion(rects);
        return;
    }
    std::vector<DRect> out;
    for (const DRect& a : st_.clip)
        for (const DRect& b : rects) {
            DRect c;
            if (IntersectRect(a, b, c) && out.size() < kMaxClipRects) out.push_back(c);
        }
    SetClipRegion(std::move(out));
}

void Canvas::IntersectClipRect(DRect r) {
    IntersectRegion({ToSurfaceRect(Normalised(r))});
}

void Canvas::ExcludeClipRect(DRect r) {
    const DRect x = ToSurfaceRect(Normalised(r));
    std::vector<DRect> in =
        st_.clipRects ? st_.clip
                      : std::vector<DRect>{{0, 0, double(Cairo().cairo_image_surface_get_width(surface_)),
                                            double(Cairo().cairo_image_surface_get_height(surface_))}};
    std::vector<DRect> out;
    auto add = [&](DRect c) {
        if (c.l < c.r && c.t < c.b && out.size() < kMaxClipRects) out.push_back(c);
    };
    for (const DRect& a : in) {
        DRect c;
        if (!IntersectRect(a, x, c)) {
            add(a);
            continue;
        }
        add({a.l, a.t, a.r, c.t});
        add({a.l, c.b, a.r, a.b});
        add({a.l, c.t, c.l, c.b});
        add({c.r, c.t, a.r, c.b});
    }
    SetClipRegion(std::move(out));
}

void Canvas::OffsetClip(double dx, double dy) {
    if (!st_.clipRects) return;
    const cairo_matrix_t m = LogicalToSurface();
    Cairo().cairo_matrix_transform_distance(&m, &dx, &dy);
    for (DRect& r : st_.clip)
        r = {r.l + dx, r.t + dy, r.r + dx, r.b + dy};
    clipDirty_ = true;
}

void Canvas::SetClipRects(const std::vector<DRect>& deviceRects, unsigned mode) {
    std::vector<DRect> rects;
    for (const DRect& d : deviceRects) {
        double xs[2] = {d.l, d.r}, ys[2] = {d.t, d.b};
        for (int i = 0; i < 2; ++i)
            Cairo().cairo_matrix_transform_point(&deviceToSurface_, &xs[i], &ys[i]);
        rects.push_back(Normalised({xs[0], ys[0], xs[1], ys[1]}));
        if (rects.size() >= kMaxClipRects) break;
    }
    if (mode == RGN_COPY) {
        if (deviceRects.empty()) {
            st_.clipRects = false;
            st_.clip.clear();
            st_.clipPath.reset();
            clipDirty_ = true;
        } else {
            st_.clipPath.reset();
            SetClipRegion(std::move(rects));
        }
    } else if (mode == RGN_AND) {
        IntersectRegion(rects);
    } else if (mode == RGN_OR && st_.clipRects) {
        std::vector<DRect> all = st_.clip;
        all.insert(all.end(), rects.begin(), rects.end());
        SetClipRegion(std::move(all));
    }
}

void Canvas::SelectClipRegion(std::uint32_t index) {
    if (index < objects_.size() && objects_[index] && objects_[index]->kind == GdiObject::Kind::Region) {
        std::vector<DRect> rects;
        for (const DRect& r : objects_[index]->region)
            rects.push_back(ToSurfaceRect(r));
        st_.clipPath.reset();
        SetClipRegion(std::move(rects));
        return;
    }
    st_.clipRects = false;
    st_.clip.clear();
    st_.clipPath.reset();
    clipDirty_ = true;
}

// ---- drawing helpers

void Canvas::Begin() {
    if (inPath_) return;
    ApplyClip();
    Cairo().cairo_new_path(cr_);
}

// Paints with the pixels just written into surface, repeated, each pixel
// as it is; the source keeps the surface, so it is let go here.
void Canvas::SetRepeatedSource(cairo_surface_t* surface) {
    Cairo().cairo_surface_mark_dirty(surface);
    cairo_pattern_t* p = Cairo().cairo_pattern_create_for_surface(surface);
    Cairo().cairo_pattern_set_extend(p, CAIRO_EXTEND_REPEAT);
    Cairo().cairo_pattern_set_filter(p, CAIRO_FILTER_NEAREST);
    Cairo().cairo_set_source(cr_, p);
    Cairo().cairo_pattern_destroy(p);
    Cairo().cairo_surface_destroy(surface);
}

bool Canvas::SetBrushSource(const Brush& b) {
    switch (b.style) {
    case BS_NULL:
        return false;
    case BS_HATCHED: {
        // Styles past the six patterns are plain fills: in the brush colour,
        // the text colour or the background colour.
        if (b.hatch >= 6 && b.hatch <= 11) {
            const Rgb c = b.hatch <= 7 ? b.color : b.hatch <= 9 ? st_.textColor : st_.bkColor;
            Cairo().cairo_set_source_rgb(cr_, c.r / 255.0, c.g / 255.0, c.b / 255.0);
            return true;
        }
        // An 8 x 8 cell like GDI's, in the brush colour over the background
        // colour (or over what is there in transparent mode).
        cairo_surface_t* cell = Cairo().cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 8, 8);
        Cairo().cairo_surface_flush(cell);
        unsigned char* px = Cairo().cairo_image_surface_get_data(cell);
        const int stride = Cairo().cairo_image_surface_get_stride(cell);
        const std::uint32_t fg = 0xFF000000u | (b.color.r << 16) | (b.color.g << 8) | b.color.b;
        const std::uint32_t bg =
            st_.bkMode == OPAQUE ? 0xFF000000u | (st_.bkColor.r << 16) | (st_.bkColor.g << 8) | st_.bkColor.b
                                 : 0;
        for (int y = 0; y < 8; ++y) {
            auto* row = reinterpret_cast<std::uint32_t*>(px + y * stride);
            for (int x = 0; x < 8; ++x) {
                bool on = false;
                switch (b.hatch) {
                case 0:
                    on = y == 4;
                    break;
                case 1:
                    on = x == 4;
                    break;
                case 2:
                    on = x == y;
                    break;
                case 3:
                    on = x == 7 - y;
                    break;
                case 4:
                    on = x == 4 || y == 4;
                    break;
                case 5:
                    on = x == y || x == 7 - y;
                    break;
                default:
                    on = false;
                    break;
                }
                row[x] = on ? fg : bg;
            }
        }
        SetRepeatedSource(cell);
        return true;
    }
    case BS_PATTERN:
    case BS_DIBPATTERN:
    case BS_DIBPATTERNPT:
        if (b.pattern && b.pattern->Width() > 0 && b.pattern->Height() > 0) {
            const TBitmap& bmp = *b.pattern;
            cairo_surface_t* s =
                Cairo().cairo_image_surface_create(CAIRO_FORMAT_RGB24, bmp.Width(), bmp.Height());
            if (Cairo().cairo_surface_status(s) == CAIRO_STATUS_SUCCESS) {
                Cairo().cairo_surface_flush(s);
                unsigned char* px = Cairo().cairo_image_surface_get_data(s);
                const int stride = Cairo().cairo_image_surface_get_stride(s);
                for (int y = 0; y < bmp.Height(); ++y) {
                    const std::uint8_t* src = bmp.ScanLine(y);
                    auto* d = reinterpret_cast<std::uint32_t*>(px + y * stride);
                    for (int x = 0; x < bmp.Width(); ++x, src += 3)
                        d[x] = (std::uint32_t{src[2]} << 16) | (std::uint32_t{src[1]} << 8) | src[0];
                }
                SetRepeatedSource(s);
                return true;
            }
            Cairo().cairo_surface_destroy(s);
        }
        Cairo().cairo_set_source_rgb(cr_, b.color.r / 255.0, b.color.g / 255.0, b.color.b / 255.0);
        return true;
    default:
        Cairo().cairo_set_source_rgb(cr_, b.color.r / 255.0, b.color.g / 255.0, b.color.b / 255.0);
        return true;
    }
}

// A one-pixel line lights the pixels its integer device coordinates name,
// where Cairo would light the ones left of and above it; a box's outline
// keeps inside its right and bottom edges.
void Canvas::OnPixelCentres() {
    double l = 0, t = 0, r = 0, b = 0;
    Cairo().cairo_path_extents(cr_, &l, &t, &r, &b);
    cairo_path_t* path = Cairo().cairo_copy_path(cr_);
    cairo_matrix_t m;
    Cairo().cairo_matrix_init_translate(&m, 0.5, 0.5);
    if (boxStroke_ && r - l > 1 && b - t > 1) {
        Cairo().cairo_matrix_init_translate(&m, l + 0.5, t + 0.5);
        Cairo().cairo_matrix_scale(&m, (r - l - 1) / (r - l), (b - t - 1) / (b - t));
        Cairo().cairo_matrix_translate(&m, -l, -t);
    }
    Cairo().cairo_new_path(cr_);
    Cairo().cairo_set_matrix(cr_, &m);
    Cairo().cairo_append_path(cr_, path);
    Cairo().cairo_identity_matrix(cr_);
    Cairo().cairo_path_destroy(path);
}

// A solid one-pixel line lights one pixel per step along its longer axis,
// as GDI draws it; a one-pixel-wide Cairo stroke lights two in places on a
// slant. Each segment leaves out its last pixel, which the next one starts on.
void Canvas::StrokeThinSolid() {
    cairo_path_t* path = Cairo().cairo_copy_path_flat(cr_);
    Cairo().cairo_new_path(cr_);
    const long width = Cairo().cairo_image_surface_get_width(surface_),
               height = Cairo().cairo_image_surface_get_height(surface_);
    auto segment = [&](Pt from, Pt to) {
        // Pixel centres at whole numbers from here on.
        const double x0 = from.x - 0.5, y0 = from.y - 0.5, x1 = to.x - 0.5, y1 = to.y - 0.5;
        if (!Finite(x0) || !Finite(y0) || !Finite(x1) || !Finite(y1)) return;
        const bool xMajor = std::fabs(x1 - x0) >= std::fabs(y1 - y0);
        const double a0 = xMajor ? x0 : y0, a1 = xMajor ? x1 : y1, b0 = xMajor ? y0 : x0,
                     b1 = xMajor ? y1 : x1;
        const long first = std::lround(std::clamp(a0, -1e7, 1e7)),
                   end = std::lround(std::clamp(a1, -1e7, 1e7));
        if (first == end) return;
        const double slope = (b1 - b0) / (a1 - a0);
        const long limA = xMajor ? width : height, limB = xMajor ? height : width;
        const long step = end > first ? 1 : -1;
        // Only the steps that land on the surface.
        const long lo = step > 0 ? std::max(first, 0L) : std::max(end + 1, 0L);
        const long hi = step > 0 ? std::min(end - 1, limA - 1) : std::min(first, limA - 1);
        for (long i = lo; i <= hi; ++i) {
            const double b = b0 + (static_cast<double>(i) - a0) * slope;
            if (!(b > -1 && b < static_cast<double>(limB))) continue;
            const long j = std::lround(b);
            if (j < 0 || j >= limB) continue;
            if (xMajor)
                Cairo().cairo_rectangle(cr_, static_cast<double>(i), static_cast<double>(j), 1, 1);
            else
                Cairo().cairo_rectangle(cr_, static_cast<double>(j), static_cast<double>(i), 1, 1);
        }
    };
    Pt cur, start;
    for (int i = 0; i < path->num_data; i += path->data[i].header.length) {
        const cairo_path_data_t* d = &path->data[i];
        switch (d->header.type) {
        case CAIRO_PATH_MOVE_TO:
            cur = start = {d[1].point.x, d[1].point.y};
            break;
        case CAIRO_PATH_LINE_TO: {
            const Pt next{d[1].point.x, d[1].point.y};
            segment(cur, next);
            cur = next;
            break;
        }
        case CAIRO_PATH_CLOSE_PATH:
            segment(cur, start);
            cur = start;
            break;
        case CAIRO_PATH_CURVE_TO: // not in a flattened path
            break;
        }
    }
    Cairo().cairo_path_destroy(path);
    Cairo().cairo_set_fill_rule(cr_, CAIRO_FILL_RULE_WINDING);
    Cairo().cairo_fill(cr_);
}

void Canvas::StrokeNow() {
    const Pen& p = st_.pen;
    const unsigned style = p.style & PS_STYLE_MASK;
    if (style == PS_NULL) {
        Cairo().cairo_new_path(cr_);
        return;
    }
    const cairo_matrix_t m = LogicalToSurface();
    double w = p.cosmetic ? 1.0 : p.width * std::sqrt(std::fabs(m.xx * m.yy - m.xy * m.yx));
    if (!(w >= 1.0)) w = 1.0;
    w = std::min(w, 1e6);
    Cairo().cairo_identity_matrix(cr_);
    Cairo().cairo_set_source_rgb(cr_, p.color.r / 255.0, p.color.g / 255.0, p.color.b / 255.0);
    if (w <= 1.5) {
        OnPixelCentres();
        if (style == PS_SOLID || style == PS_INSIDEFRAME) {
            StrokeThinSolid();
            return;
        }
    }
    Cairo().cairo_set_line_width(cr_, w);
    const unsigned cap = p.style & 0xF00, join = p.style & 0xF000;
    Cairo().cairo_set_line_cap(cr_, cap == PS_ENDCAP_SQUARE ? CAIRO_LINE_CAP_SQUARE
                                    : cap == PS_ENDCAP_FLAT ? CAIRO_LINE_CAP_BUTT
                                    : w > 1.5               ? CAIRO_LINE_CAP_ROUND
                                                            : CAIRO_LINE_CAP_BUTT);
    Cairo().cairo_set_line_join(cr_, join == PS_JOIN_BEVEL   ? CAIRO_LINE_JOIN_BEVEL
                                     : join == PS_JOIN_MITER ? CAIRO_LINE_JOIN_MITER
                                                             : CAIRO_LINE_JOIN_ROUND);
    // Styled lines: pixel patterns for thin pens, scaled by the width otherwise.
    static const double dash[] = {18, 6}, dot[] = {3, 3}, dashDot[] = {9, 6, 3, 6},
                        dashDotDot[] = {9, 3, 3, 3, 3, 3};
    const double* pat = nullptr;
    int n = 0;
    switch (style) {
    case PS_DASH:
        pat = dash, n = 2;
        break;
    case PS_DOT:
        pat = dot, n = 2;
        break;
    case PS_DASHDOT:
        pat = dashDot, n = 4;
        break;
    case PS_DASHDOTDOT:
        pat = dashDotDot, n = 6;
        break;
    default:
        break;
    }
    if (pat && w <= 1.5) {
        Cairo().cairo_set_dash(cr_, pat, n, 0);
    } else if (pat && !p.cosmetic) {
        double scaled[6];
        for (int i = 0; i < n; ++i)
            scaled[i] = pat[i] / 3 * w;
        Cairo().cairo_set_dash(cr_, scaled, n, 0);
    } else {
        Cairo().cairo_set_dash(cr_, nullptr, 0, 0);
    }
    Cairo().cairo_stroke(cr_);
    Cairo().cairo_set_dash(cr_, nullptr, 0, 0);
}

void Canvas::BeginRop(DRect extents) {
    // The group is limited to what the drawing can touch, so that the
    // pixel-by-pixel combination costs no more than the drawing.
    Cairo().cairo_save(cr_);
    Cairo().cairo_identity_matrix(cr_);
    cairo_path_t* path = Cairo().cairo_copy_path(cr_);
    Cairo().cairo_new_path(cr_);
    const DRect e = Normalised(extents);
    Cairo().cairo_rectangle(cr_, std::floor(e.l) - 1, std::floor(e.t) - 1, std::ceil(e.r - e.l) + 3,
                            std::ceil(e.b - e.t) + 3);
    Cairo().cairo_clip(cr_);
    Cairo().cairo_append_path(cr_, path);
    Cairo().cairo_path_destroy(path);
    Cairo().cairo_push_group_with_content(cr_, CAIRO_CONTENT_COLOR_ALPHA);
}

void Canvas::EndRop(std::uint8_t rop3, Rgb pattern, bool patternFromSource) {
    cairo_pattern_t* group = Cairo().cairo_pop_group(cr_);
    cairo_surface_t* gs = nullptr;
    if (Cairo().cairo_pattern_get_surface(group, &gs) == CAIRO_STATUS_SUCCESS &&
        Cairo().cairo_surface_get_type(gs) == CAIRO_SURFACE_TYPE_IMAGE &&
        Cairo().cairo_image_surface_get_format(gs) == CAIRO_FORMAT_ARGB32) {
        double ox = 0, oy = 0;
        Cairo().cairo_surface_get_device_offset(gs, &ox, &oy);
        Cairo().cairo_surface_flush(gs);
        Cairo().cairo_surface_flush(surface_);
        const unsigned char* gp = Cairo().cairo_image_surface_get_data(gs);
        const int gstride = Cairo().cairo_image_surface_get_stride(gs);
        unsigned char* dp = Cairo().cairo_image_surface_get_data(surface_);
        const int dstride = Cairo().cairo_image_surface_get_stride(surface_);
        const int dw = Cairo().cairo_image_surface_get_width(surface_),
                  dh = Cairo().cairo_image_surface_get_height(surface_);
        const int gw = Cairo().cairo_image_surface_get_width(gs),
                  gh = Cairo().cairo_image_surface_get_height(gs);
        const int shiftX = static_cast<int>(std::lround(-ox)), shiftY = static_cast<int>(std::lround(-oy));
        for (int y = 0; y < gh; ++y) {
            const int ty = y + shiftY;
            if (ty < 0 || ty >= dh) continue;
            const auto* g = reinterpret_cast<const std::uint32_t*>(gp + y * gstride);
            auto* d = reinterpret_cast<std::uint32_t*>(dp + ty * dstride);
            for (int x = 0; x < gw; ++x) {
                const int tx = x + shiftX;
                if (tx < 0 || tx >= dw || (g[x] >> 24) < 128) continue;
                std::uint32_t out = 0;
                for (int c = 0; c < 3; ++c) {
                    const auto sv = static_cast<std::uint8_t>(g[x] >> (8 * c));
                    const std::uint8_t pv = patternFromSource ? sv
                                                              : (c == 0   ? pattern.b
                                                                 : c == 1 ? pattern.g
                                                                          : pattern.r);
                    const auto dv = static_cast<std::uint8_t>(d[tx] >> (8 * c));
                    out |= std::uint32_t{Rop3(rop3, pv, sv, dv)} << (8 * c);
                }
                d[tx] = out;
            }
        }
        Cairo().cairo_surface_mark_dirty(surface_);
    }
    Cairo().cairo_pattern_destroy(group);
    Cairo().cairo_restore(cr_);
}

void Canvas::Finish(bool fill, bool stroke) {
    Cairo().cairo_identity_matrix(cr_);
    if (inPath_) return;
    if (st_.rop2 == 11) { // R2_NOP
        Cairo().cairo_new_path(cr_);
        return;
    }
    const bool rop = st_.rop2 != 13;
    if (rop) {
        DRect e;
        Cairo().cairo_path_extents(cr_, &e.l, &e.t, &e.r, &e.b);
        const double w = stroke ? std::min(1e6, std::max(1.0, st_.pen.width * 4)) : 0;
        if (stroke && !st_.pen.cosmetic) {
            const cairo_matrix_t m = LogicalToSurface();
            const double dw = st_.pen.width * std::sqrt(std::fabs(m.xx * m.yy - m.xy * m.yx));
            e = {e.l - dw, e.t - dw, e.r + dw, e.b + dw};
        }
        e = {e.l - w, e.t - w, e.r + w, e.b + w};
        BeginRop(e);
    }
    if (fill && SetBrushSource(st_.brush)) {
        Cairo().cairo_set_fill_rule(cr_, st_.fillMode == WINDING ? CAIRO_FILL_RULE_WINDING
                                                                 : CAIRO_FILL_RULE_EVEN_ODD);
        Cairo().cairo_fill_preserve(cr_);
    }
    if (stroke) StrokeNow();
    Cairo().cairo_new_path(cr_);
    if (rop) EndRop(Rop2Table(st_.rop2), {}, true);
}

// ---- drawing

void Canvas::MoveTo(Pt p) {
    st_.cur = p;
    if (inPath_) {
        const Pt s = ToSurface(p);
        Cairo().cairo_move_to(cr_, s.x, s.y);
    }
}

void Canvas::LineTo(Pt p) {
    if (!Fits({st_.cur, p})) return;
    const Pt a = ToSurface(st_.cur), b = ToSurface(p);
    Begin();
    if (!inPath_ || !Cairo().cairo_has_current_point(cr_)) Cairo().cairo_move_to(cr_, a.x, a.y);
    Cairo().cairo_line_to(cr_, b.x, b.y);
    st_.cur = p;
    Finish(false, true);
}

void Canvas::Polyline(const std::vector<Pt>& pts) {
    if (!Fits(pts)) return;
    if (pts.size() < 2) return;
    Begin();
    const cairo_matrix_t m = LogicalToSurface();
    Cairo().cairo_set_matrix(cr_, &m);
    Cairo().cairo_move_to(cr_, pts[0].x, pts[0].y);
    for (std::size_t i = 1; i < pts.size(); ++i)
        Cairo().cairo_line_to(cr_, pts[i].x, pts[i].y);
    Finish(false, true);
}

void Canvas::PolylineTo(const std::vector<Pt>& pts) {
    if (!Fits(pts)) return;
    if (pts.empty()) return;
    std::vector<Pt> all;
    all.reserve(pts.size() + 1);
    all.push_back(st_.cur);
    all.insert(all.end(), pts.begin(), pts.end());
    if (inPath_ && Cairo().cairo_has_current_point(cr_)) {
        const cairo_matrix_t m = LogicalToSurface();
        Cairo().cairo_set_matrix(cr_, &m);
        for (const Pt& p : pts)
            Cairo().cairo_line_to(cr_, p.x, p.y);
        Cairo().cairo_identity_matrix(cr_);
    } else {
        Polyline(all);
    }
    st_.cur = pts.back();
}

void Canvas::Polygon(const std::vector<Pt>& pts) {
    PolyPolygon({pts});
}

void Canvas::PolyPolygon(const std::vector<std::vector<Pt>>& polys) {
    Begin();
    const cairo_matrix_t m = LogicalToSurface();
    Cairo().cairo_set_matrix(cr_, &m);
    bool any = false;
    for (const auto& poly : polys) {
        if (poly.size() < 2 || !Fits(poly)) continue;
        Cairo().cairo_move_to(cr_, poly[0].x, poly[0].y);
        for (std::size_t i = 1; i < poly.size(); ++i)
            Cairo().cairo_line_to(cr_, poly[i].x, poly[i].y);
        Cairo().cairo_close_path(cr_);
        any = true;
    }
    if (any || inPath_)
        Finish(true, true);
    else
        Cairo().cairo_identity_matrix(cr_);
}

void Canvas::PolyPolyline(const std::vector<std::vector<Pt>>& lines) {
    Begin();
    const cairo_matrix_t m = LogicalToSurface();
    Cairo().cairo_set_matrix(cr_, &m);
    for (const auto& line : lines) {
        if (line.size() < 2 || !Fits(line)) continue;
        Cairo().cairo_move_to(cr_, line[0].x, line[0].y);
        for (std::size_t i = 1; i < line.size(); ++i)
            Cairo().cairo_line_to(cr_, line[i].x, line[i].y);
    }
    Finish(false, true);
}

void Canvas::PolyBezier(const std::vector<Pt>& pts) {
    if (!Fits(pts)) return;
    if (pts.size() < 4) return;
    Begin();
    const cairo_matrix_t m = LogicalToSurface();
    Cairo().cairo_set_matrix(cr_, &m);
    Cairo().cairo_move_to(cr_, pts[0].x, pts[0].y);
    for (std::size_t i = 1; i + 2 < pts.size(); i += 3)
        Cairo().cairo_curve_to(cr_, pts[i].x, pts[i].y, pts[i + 1].x, pts[i + 1].y, pts[i + 2].x,
                               pts[i + 2].y);
    Finish(false, true);
}

void Canvas::PolyBezierTo(const std::vector<Pt>& pts) {
    if (!Fits(pts)) return;
    if (pts.size() < 3) return;
    Begin();
    const cairo_matrix_t m = LogicalToSurface();
    Cairo().cairo_set_matrix(cr_, &m);
    if (!inPath_ || !Cairo().cairo_has_current_point(cr_)) Cairo().cairo_move_to(cr_, st_.cur.x, st_.cur.y);
    for (std::size_t i = 0; i + 2 < pts.size(); i += 3) {
        Cairo().cairo_curve_to(cr_, pts[i].x, pts[i].y, pts[i + 1].x, pts[i + 1].y, pts[i + 2].x,
                               pts[i + 2].y);
        st_.cur = pts[i + 2];
    }
    Finish(false, true);
}

void Canvas::Rectangle(DRect r) {
    if (!Fits(r)) return;
    r = Normalised(r);
    Begin();
    const cairo_matrix_t m = LogicalToSurface();
    Cairo().cairo_set_matrix(cr_, &m);
    Cairo().cairo_new_sub_path(cr_);
    Cairo().cairo_rectangle(cr_, r.l, r.t, r.r - r.l, r.b - r.t);
    boxStroke_ = true;
    Finish(true, true);
    boxStroke_ = false;
}

void Canvas::RoundRect(DRect r, double w, double h) {
    if (!Fits(r)) return;
    r = Normalised(r);
    const double rx = std::min(std::fabs(w) / 2, (r.r - r.l) / 2),
                 ry = std::min(std::fabs(h) / 2, (r.b - r.t) / 2);
    if (rx <= 0 || ry <= 0) {
        Rectangle(r);
        return;
    }
    Begin();
    const cairo_matrix_t m = LogicalToSurface();
    Cairo().cairo_set_matrix(cr_, &m);
    Cairo().cairo_new_sub_path(cr_);
    auto corner = [&](double cx, double cy, double a0) {
        Cairo().cairo_save(cr_);
        Cairo().cairo_translate(cr_, cx, cy);
        Cairo().cairo_scale(cr_, rx, ry);
        Cairo().cairo_arc(cr_, 0, 0, 1, a0, a0 + std::numbers::pi / 2);
        Cairo().cairo_restore(cr_);
    };
    corner(r.r - rx, r.t + ry, -std::numbers::pi / 2);
    corner(r.r - rx, r.b - ry, 0);
    corner(r.l + rx, r.b - ry, std::numbers::pi / 2);
    corner(r.l + rx, r.t + ry, std::numbers::pi);
    Cairo().cairo_close_path(cr_);
    boxStroke_ = true;
    Finish(true, true);
    boxStroke_ = false;
}

void Canvas::Ellipse(DRect r) {
    if (!Fits(r)) return;
    r = Normalised(r);
    const double rx = (r.r - r.l) / 2, ry = (r.b - r.t) / 2;
    if (rx <= 0 || ry <= 0) return;
    Begin();
    const cairo_matrix_t m = LogicalToSurface();
    Cairo().cairo_set_matrix(cr_, &m);
    Cairo().cairo_new_sub_path(cr_);
    Cairo().cairo_save(cr_);
    Cairo().cairo_translate(cr_, r.l + rx, r.t + ry);
    Cairo().cairo_scale(cr_, rx, ry);
    Cairo().cairo_arc(cr_, 0, 0, 1, 0, 2 * std::numbers::pi);
    Cairo().cairo_restore(cr_);
    Cairo().cairo_close_path(cr_);
    boxStroke_ = true;
    Finish(true, true);
    boxStroke_ = false;
}

void Canvas::ArcPath(ArcKind kind, DRect box, Pt start, Pt end) {
    box = Normalised(box);
    const double rx = (box.r - box.l) / 2, ry = (box.b - box.t) / 2;
    const double cx = box.l + rx, cy = box.t + ry;
    const double a0 = std::atan2((start.y - cy) / ry, (start.x - cx) / rx);
    const double a1 = std::atan2((end.y - cy) / ry, (end.x - cx) / rx);
    const cairo_matrix_t m = LogicalToSurface();
    Cairo().cairo_set_matrix(cr_, &m);
    // GDI draws counter-clockwise as seen on the device by default; a mapping
    // that flips one axis turns that around in logical coordinates.
    const bool flipped = m.xx * m.yy - m.xy * m.yx < 0;
    const bool increasing = st_.arcClockwise != flipped;
    const Pt first{cx + rx * std::cos(a0), cy + ry * std::sin(a0)};
    if (kind == ArcKind::Pie) {
        Cairo().cairo_move_to(cr_, cx, cy);
        Cairo().cairo_line_to(cr_, first.x, first.y);
    } else if (kind == ArcKind::ArcTo && Cairo().cairo_has_current_point(cr_)) {
        Cairo().cairo_line_to(cr_, first.x, first.y);
    } else if (kind == ArcKind::ArcTo) {
        Cairo().cairo_move_to(cr_, st_.cur.x, st_.cur.y);
        Cairo().cairo_line_to(cr_, first.x, first.y);
    } else {
        Cairo().cairo_new_sub_path(cr_);
    }
    Cairo().cairo_save(cr_);
    Cairo().cairo_translate(cr_, cx, cy);
    Cairo().cairo_scale(cr_, rx, ry);
    double b = a1;
    if (increasing) {
        while (b <= a0)
            b += 2 * std::numbers::pi;
        Cairo().cairo_arc(cr_, 0, 0, 1, a0, b);
    } else {
        while (b >= a0)
            b -= 2 * std::numbers::pi;
        Cairo().cairo_arc_negative(cr_, 0, 0, 1, a0, b);
    }
    Cairo().cairo_restore(cr_);
    if (kind == ArcKind::Pie || kind == ArcKind::Chord) Cairo().cairo_close_path(cr_);
    if (kind == ArcKind::ArcTo) st_.cur = {cx + rx * std::cos(a1), cy + ry * std::sin(a1)};
}

void Canvas::Arc(ArcKind kind, DRect box, Pt start, Pt end) {
    if (!Fits(box)) return;
    box = Normalised(box);
    if (box.r - box.l <= 0 || box.b - box.t <= 0) return;
    Begin();
    ArcPath(kind, box, start, end);
    Finish(kind == ArcKind::Chord || kind == ArcKind::Pie, true);
}

void Canvas::AngleArc(Pt c, double radius, double startDeg, double sweepDeg) {
    if (!(radius > 0) || !Finite(startDeg) || !Finite(sweepDeg)) return;
    if (!Fits(DRect{c.x - radius, c.y - radius, c.x + radius, c.y + radius})) return;
    Begin();
    const cairo_matrix_t m = LogicalToSurface();
    Cairo().cairo_set_matrix(cr_, &m);
    // Angles count counter-clockwise with y pointing down.
    const double a0 = -startDeg * std::numbers::pi / 180;
    const double a1 = -(startDeg + std::clamp(sweepDeg, -360.0, 360.0)) * std::numbers::pi / 180;
    if (!inPath_ || !Cairo().cairo_has_current_point(cr_)) Cairo().cairo_move_to(cr_, st_.cur.x, st_.cur.y);
    if (a1 < a0)
        Cairo().cairo_arc_negative(cr_, c.x, c.y, radius, a0, a1);
    else
        Cairo().cairo_arc(cr_, c.x, c.y, radius, a0, a1);
    st_.cur = {c.x + radius * std::cos(a1), c.y + radius * std::sin(a1)};
    Finish(false, true);
}

void Canvas::SetPixel(Pt p, Rgb c) {
    if (inPath_) return;
    ApplyClip();
    const Pt s = ToSurface(p);
    Cairo().cairo_identity_matrix(cr_);
    Cairo().cairo_new_path(cr_);
    Cairo().cairo_rectangle(cr_, std::floor(s.x), std::floor(s.y), 1, 1);
    Cairo().cairo_set_source_rgb(cr_, c.r / 255.0, c.g / 255.0, c.b / 255.0);
    Cairo().cairo_fill(cr_);
}

void Canvas::PatBlt(DRect r, std::uint32_t rop) {
    if (!Fits(r)) return;
    if (inPath_) return;
    const std::uint8_t table = static_cast<std::uint8_t>(rop >> 16);
    if (table == 0xAA) return; // leaves the destination alone
    ApplyClip();
    const DRect s = ToSurfaceRect(r);
    Cairo().cairo_identity_matrix(cr_);
    Cairo().cairo_new_path(cr_);
    Cairo().cairo_rectangle(cr_, s.l, s.t, s.r - s.l, s.b - s.t);
    BeginRop(s);
    if (!SetBrushSource(st_.brush)) Cairo().cairo_set_source_rgb(cr_, 0, 0, 0);
    Cairo().cairo_fill(cr_);
    EndRop(table, {}, true);
}

void Canvas::FillDeviceRects(const std::vector<DRect>& rects, const Brush& brush) {
    if (inPath_ || rects.empty()) return;
    ApplyClip();
    Cairo().cairo_identity_matrix(cr_);
    Cairo().cairo_new_path(cr_);
    for (const DRect& d : rects) {
        double xs[2] = {d.l, d.r}, ys[2] = {d.t, d.b};
        for (int i = 0; i < 2; ++i)
            Cairo().cairo_matrix_transform_point(&deviceToSurface_, &xs[i], &ys[i]);
        const DRect s = Normalised({xs[0], ys[0], xs[1], ys[1]});
        Cairo().cairo_rectangle(cr_, s.l, s.t, s.r - s.l, s.b - s.t);
    }
    if (SetBrushSource(brush)) {
        Cairo().cairo_set_fill_rule(cr_, CAIRO_FILL_RULE_WINDING);
        Cairo().cairo_fill(cr_);
    }
    Cairo().cairo_new_path(cr_);
}

void Canvas::TextOut(Pt ref, const std::vector<std::string>& chars, const std::vector<double>& dx,
                     unsigned options, const DRect* clipRect) {
    if (inPath_) return;
    ApplyClip();
    const cairo_matrix_t m = LogicalToSurface();
    if ((options & ETO_OPAQUE) && clipRect) {
        const DRect s = ToSurfaceRect(*clipRect);
        Cairo().cairo_identity_matrix(cr_);
        Cairo().cairo_new_path(cr_);
        Cairo().cairo_rectangle(cr_, s.l, s.t, s.r - s.l, s.b - s.t);
        Cairo().cairo_set_source_rgb(cr_, st_.bkColor.r / 255.0, st_.bkColor.g / 255.0,
                                     st_.bkColor.b / 255.0);
        Cairo().cairo_fill(cr_);
    }
    if (chars.empty()) return;
    const bool updateCp = st_.textAlign & TA_UPDATECP;
    Pt p = updateCp ? st_.cur : ref;
    Cairo().cairo_matrix_transform_point(&m, &p.x, &p.y);
    const double xScale = std::hypot(m.xx, m.yx), yScale = std::hypot(m.xy, m.yy);
    const Font& f = st_.font;
    double size = f.height == 0 ? 16 : std::fabs(f.height) * yScale;
    if (!(size >= 1) || size > kMaxTextPx || !Finite(p.x) || !Finite(p.y)) return;

    Cairo().cairo_save(cr_);
    Cairo().cairo_identity_matrix(cr_);
    if ((options & ETO_CLIPPED) && clipRect) {
        const DRect s = ToSurfaceRect(*clipRect);
        Cairo().cairo_new_path(cr_);
        Cairo().cairo_rectangle(cr_, s.l, s.t, s.r - s.l, s.b - s.t);
        Cairo().cairo_clip(cr_);
    }
    Cairo().cairo_select_font_face(cr_, f.face.empty() ? "Arial" : f.face.c_str(),
                                   f.italic ? CAIRO_FONT_SLANT_ITALIC : CAIRO_FONT_SLANT_NORMAL,
                                   f.weight >= 600 ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    Cairo().cairo_set_font_size(cr_, size);
    cairo_font_extents_t fe;
    Cairo().cairo_font_extents(cr_, &fe);
    if (f.height > 0 && fe.ascent + fe.descent > 0) {
        // A positive height is the cell height: ascent plus descent.
        size = size * size / (fe.ascent + fe.descent);
        Cairo().cairo_set_font_size(cr_, size);
        Cairo().cairo_font_extents(cr_, &fe);
    }
    std::vector<double> adv(chars.size());
    double total = 0;
    for (std::size_t i = 0; i < chars.size(); ++i) {
        if (i < dx.size()) {
            adv[i] = dx[i] * xScale;
        } else {
            cairo_text_extents_t te;
            Cairo().cairo_text_extents(cr_, chars[i].c_str(), &te);
            adv[i] = te.x_advance;
        }
        total += adv[i];
    }
    const unsigned h = st_.textAlign & TA_CENTER, v = st_.textAlign & TA_BASELINE;
    const double ox = h == TA_CENTER ? -total / 2 : h == TA_RIGHT ? -total : 0;
    const double oy = v == TA_BASELINE ? 0 : v == TA_BOTTOM ? -fe.descent : fe.ascent;
    Cairo().cairo_translate(cr_, p.x, p.y);
    if (f.escapement != 0) Cairo().cairo_rotate(cr_, -f.escapement / 10 * std::numbers::pi / 180);
    if (st_.bkMode == OPAQUE && !(options & ETO_OPAQUE)) {
        Cairo().cairo_new_path(cr_);
        Cairo().cairo_rectangle(cr_, ox, oy - fe.ascent, total, fe.ascent + fe.descent);
        Cairo().cairo_set_source_rgb(cr_, st_.bkColor.r / 255.0, st_.bkColor.g / 255.0,
                                     st_.bkColor.b / 255.0);
        Cairo().cairo_fill(cr_);
    }
    Cairo().cairo_set_source_rgb(cr_, st_.textColor.r / 255.0, st_.textColor.g / 255.0,
                                 st_.textColor.b / 255.0);
    double x = ox;
    for (std::size_t i = 0; i < chars.size(); ++i) {
        if (!chars[i].empty() && chars[i][0] != '\0') {
            Cairo().cairo_new_path(cr_);
            Cairo().cairo_move_to(cr_, x, oy);
            if (size <= kMaxCachedGlyphPx) {
                Cairo().cairo_show_text(cr_, chars[i].c_str());
            } else {
                Cairo().cairo_text_path(cr_, chars[i].c_str());
                Cairo().cairo_fill(cr_);
            }
        }
        x += adv[i];
    }
    const double thick = std::max(1.0, std::round(size / 14));
    Cairo().cairo_new_path(cr_);
    if (f.underline) Cairo().cairo_rectangle(cr_, ox, oy + std::max(1.0, fe.descent / 3), total, thick);
    if (f.strikeOut) Cairo().cairo_rectangle(cr_, ox, oy - fe.ascent / 3, total, thick);
    Cairo().cairo_fill(cr_);
    Cairo().cairo_restore(cr_);
    if (updateCp && xScale > 0) st_.cur.x += total / xScale;
}

void Canvas::DrawDib(const Dib& dib, double sx, double sy, double sw, double sh, DRect dest,
                     std::uint32_t rop) {
    if (!Fits(dest)) return;
    if (inPath_) return;
    const std::uint8_t table = static_cast<std::uint8_t>(rop >> 16);
    if (table == 0xAA) return; // leaves the destination alone
    const TBitmap& bmp = dib.bitmap;
    if (sw < 0) {
        sx += sw;
        sw = -sw;
    }
    if (sh < 0) {
        sy += sh;
        sh = -sh;
    }
    if (dib.bottomUp) sy = bmp.Height() - sy - sh;
    // Clamp the source rectangle to the bitmap.
    const double x0 = std::clamp(sx, 0.0, double(bmp.Width())),
                 y0 = std::clamp(sy, 0.0, double(bmp.Height()));
    const double x1 = std::clamp(sx + sw, 0.0, double(bmp.Width())),
                 y1 = std::clamp(sy + sh, 0.0, double(bmp.Height()));
    if (!(x1 > x0) || !(y1 > y0) || !(sw > 0) || !(sh > 0)) return;
    const int ix0 = int(x0), iy0 = int(y0), iw = std::max(1, int(std::ceil(x1)) - ix0),
              ih = std::max(1, int(std::ceil(y1)) - iy0);
    cairo_surface_t* s = Cairo().cairo_image_surface_create(CAIRO_FORMAT_RGB24, iw, ih);
    if (Cairo().cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
        Cairo().cairo_surface_destroy(s);
        return;
    }
    Cairo().cairo_surface_flush(s);
    unsigned char* px = Cairo().cairo_image_surface_get_data(s);
    const int stride = Cairo().cairo_image_surface_get_stride(s);
    for (int y = 0; y < ih && iy0 + y < bmp.Height(); ++y) {
        const std::uint8_t* src = bmp.ScanLine(iy0 + y) + ix0 * 3;
        auto* d = reinterpret_cast<std::uint32_t*>(px + y * stride);
        for (int x = 0; x < iw && ix0 + x < bmp.Width(); ++x, src += 3)
            d[x] = (std::uint32_t{src[2]} << 16) | (std::uint32_t{src[1]} << 8) | src[0];
    }
    Cairo().cairo_surface_mark_dirty(s);
    ApplyClip();
    const bool plainCopy = table == 0xCC;
    if (!plainCopy) BeginRop(ToSurfaceRect(dest));
    Cairo().cairo_save(cr_);
    const cairo_matrix_t m = LogicalToSurface();
    Cairo().cairo_set_matrix(cr_, &m);
    const double dw = dest.r - dest.l, dh = dest.b - dest.t;
    if (dw != 0 && dh != 0) {
        Cairo().cairo_translate(cr_, dest.l, dest.t);
        Cairo().cairo_scale(cr_, dw / sw, dh / sh);
        Cairo().cairo_translate(cr_, -sx, -sy);
        // Only the part of the source that lies on the bitmap is copied.
        Cairo().cairo_new_path(cr_);
        Cairo().cairo_rectangle(cr_, x0, y0, x1 - x0, y1 - y0);
        Cairo().cairo_set_source_surface(cr_, s, ix0, iy0);
        Cairo().cairo_pattern_set_filter(Cairo().cairo_get_source(cr_), CAIRO_FILTER_NEAREST);
        Cairo().cairo_pattern_set_extend(Cairo().cairo_get_source(cr_), CAIRO_EXTEND_PAD);
        Cairo().cairo_fill(cr_);
    }
    Cairo().cairo_restore(cr_);
    if (!plainCopy) EndRop(table, st_.brush.color, false);
    Cairo().cairo_surface_destroy(s);
}

// ---- paths

void Canvas::BeginPath() {
    inPath_ = true;
    path_.reset();
    Cairo().cairo_identity_matrix(cr_);
    Cairo().cairo_new_path(cr_);
}

void Canvas::EndPath() {
    if (!inPath_) return;
    inPath_ = false;
    Cairo().cairo_identity_matrix(cr_);
    path_ = PathPtr(Cairo().cairo_copy_path(cr_), PathDeleter{});
    Cairo().cairo_new_path(cr_);
}

void Canvas::AbortPath() {
    inPath_ = false;
    path_.reset();
    Cairo().cairo_new_path(cr_);
}

void Canvas::CloseFigure() {
    if (inPath_ && Cairo().cairo_has_current_point(cr_)) Cairo().cairo_close_path(cr_);
}

void Canvas::FillPath() {
    if (inPath_ || !path_) return;
    ApplyClip();
    Cairo().cairo_new_path(cr_);
    Cairo().cairo_append_path(cr_, path_.get());
    Finish(true, false);
    path_.reset();
}

void Canvas::StrokePath() {
    if (inPath_ || !path_) return;
    ApplyClip();
    Cairo().cairo_new_path(cr_);
    Cairo().cairo_append_path(cr_, path_.get());
    Finish(false, true);
    path_.reset();
}

void Canvas::StrokeAndFillPath() {
    if (inPath_ || !path_) return;
    ApplyClip();
    Cairo().cairo_new_path(cr_);
    Cairo().cairo_append_path(cr_, path_.get());
    Finish(true, true);
    path_.reset();
}

void Canvas::SelectClipPath(unsigned mode) {
    if (inPath_ || !path_) return;
    if (mode == RGN_COPY || mode == RGN_AND || !st_.clipPath) {
        if (mode == RGN_COPY) {
            st_.clipRects = false;
            st_.clip.clear();
        }
        st_.clipPath = path_;
        st_.clipRule = st_.fillMode == WINDING ? CAIRO_FILL_RULE_WINDING : CAIRO_FILL_RULE_EVEN_ODD;
        clipDirty_ = true;
    }
    path_.reset();
}

} // namespace metafile

// fontconfig, which Cairo asks for the faces, keeps a little memory from its
// set-up that it never frees; leak checks of any program that plays
// metafiles would report it as ours. Weak, so that a test program's own list
// takes its place.
extern "C" __attribute__((weak)) const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}
