#include "compose/decoders/Metafile.h"

#include "compose/decoders/ByteReader.h"
#include "compose/decoders/Decoders.h"
#include "config/Messages.h"

#include <cmath>
#include <cstdlib>

namespace {

constexpr std::uint32_t kPlaceableKey = 0x9AC6CDD7;
constexpr std::uint32_t kEmfSignature = 0x464D4520; // " EMF"
constexpr std::uint32_t kEmrHeader = 1;
constexpr std::uint32_t kEmrEof = 14;
constexpr std::size_t kPlaceableHeaderSize = 22;
constexpr int kScreenPpi = 96;

int ToPixels(std::int64_t units, std::int64_t unitsPerInch) {
    return static_cast<int>(std::llround(static_cast<double>(std::llabs(units)) * kScreenPpi / unitsPerInch));
}

bool IsEnhanced(const std::vector<std::uint8_t>& d) {
    if (d.size() < 44) return false;
    ByteReader r(d.data(), d.size(), Msg::MetafileInvalid);
    if (r.U32() != kEmrHeader) return false;
    r.Seek(40);
    return r.U32() == kEmfSignature;
}

} // namespace

void TMetafile::LoadFromData(std::vector<std::uint8_t>&& data) {
    if (IsEnhanced(data)) {
        // The header and every record must lie inside the file; the sizes are
        // only compared, never used to allocate, so a header that claims
        // gigabytes fails at once.
        ByteReader r(data.data(), data.size());
        r.U32();
        const std::uint32_t headerSize = r.U32();
        if (headerSize < 88 || headerSize % 4 != 0) Throw(Msg::MetafileInvalid);
        if (headerSize > data.size()) Throw(Msg::StreamRead);
        const std::int32_t left = r.S32(), top = r.S32(), right = r.S32(), bottom = r.S32();
        const std::int32_t fl = r.S32(), ft = r.S32(), fr = r.S32(), fb = r.S32();
        r.U32(); // signature
        r.U32(); // version
        const std::uint32_t bytes = r.U32();
        const std::uint32_t records = r.U32();
        (void)left, (void)top, (void)right, (void)bottom, (void)records;
        if (bytes > data.size()) Throw(Msg::StreamRead);
        if (bytes < headerSize) Throw(Msg::MetafileInvalid);
        std::size_t pos = headerSize;
        bool sawEof = false;
        while (pos < bytes && !sawEof) {
            if (bytes - pos < 8) Throw(Msg::StreamRead);
            ByteReader rec(data.data() + pos, bytes - pos);
            const std::uint32_t type = rec.U32();
            const std::uint32_t size = rec.U32();
            if (size < 8 || size % 4 != 0) Throw(Msg::MetafileInvalid);
            if (size > bytes - pos) Throw(Msg::StreamRead);
            sawEof = type == kEmrEof;
            pos += size;
        }
        kind_ = TKind::Enhanced;
        // The frame is in hundredths of a millimetre.
        width_ = ToPixels(static_cast<std::int64_t>(fr) - fl, 2540);
        height_ = ToPixels(static_cast<std::int64_t>(fb) - ft, 2540);
        data.resize(bytes);
        data_ = std::move(data);
        return;
    }

    if (data.size() < kPlaceableHeaderSize + 18) Throw(Msg::MetafileInvalid);
    ByteReader r(data.data(), data.size(), Msg::MetafileInvalid);
    if (r.U32() != kPlaceableKey) Throw(Msg::MetafileInvalid);
    std::uint16_t sum = 0;
    {
        ByteReader words(data.data(), 20, Msg::MetafileInvalid);
        for (int i = 0; i < 10; ++i)
            sum ^= words.U16();
    }
    r.U16(); // handle
    const std::int16_t left = r.S16(), top = r.S16(), right = r.S16(), bottom = r.S16();
    const std::uint16_t inch = r.U16();
    r.U32(); // reserved
    if (r.U16() != sum) Throw(Msg::MetafileInvalid);
    // A unit count of 0 per inch would make the size a division by zero.
    if (inch == 0) Throw(Msg::MetafileInvalid);
    // The Windows metafile header must follow: memory or disk type, 9 words.
    const std::uint16_t type = r.U16();
    const std::uint16_t headerWords = r.U16();
    if ((type != 1 && type != 2) || headerWords != 9) Throw(Msg::MetafileInvalid);
    kind_ = TKind::Placeable;
    width_ = ToPixels(static_cast<std::int64_t>(right) - left, inch);
    height_ = ToPixels(static_cast<std::int64_t>(bottom) - top, inch);
    data_ = std::move(data);
}

void TMetafile::Draw(TBitmap& target, int x, int y) {
    StretchDraw(target, {x, y, static_cast<int>(std::min<std::int64_t>(std::int64_t{x} + width_, INT32_MAX)),
                         static_cast<int>(std::min<std::int64_t>(std::int64_t{y} + height_, INT32_MAX))});
}

void TMetafile::StretchDraw(TBitmap& target, const TRect& rect) {
    switch (kind_) {
    case TKind::Placeable:
        PlayPlaceableMetafile(data_, target, rect);
        break;
    case TKind::Enhanced:
        PlayEnhancedMetafile(data_, target, rect);
        break;
    case TKind::None:
        break;
    }
}

std::unique_ptr<TGraphic> NewMetafile() {
    return std::make_unique<TMetafile>();
}
