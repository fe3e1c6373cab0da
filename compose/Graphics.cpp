#include "compose/Graphics.h"

#include "compose/Resample.h"
#include "config/Messages.h"
#include "platform/Platform.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {
std::uint64_t pixelBudget = kMaxPixelBytes;
}

void SetPixelBudgetForTesting(std::uint64_t bytes) {
    pixelBudget = bytes ? bytes : kMaxPixelBytes;
}

void CheckPixelBudget(std::int64_t width, std::int64_t height) {
    if (width <= 0 || height <= 0) return;
    const std::uint64_t stride = (static_cast<std::uint64_t>(width) * 3 + 3) & ~std::uint64_t{3};
    if (static_cast<std::uint64_t>(width) > pixelBudget || static_cast<std::uint64_t>(height) > pixelBudget ||
        stride * static_cast<std::uint64_t>(height) > pixelBudget)
        Throw(Msg::OutOfMemory);
}

int LargestSquareSide() {
    // The root of the budget's pixel count, then down to what CheckPixelBudget
    // takes, row padding included.
    auto side = static_cast<std::int64_t>(std::sqrt(static_cast<double>(pixelBudget / 3))) + 1;
    const auto fits = [](std::int64_t s) {
        const std::uint64_t stride = (static_cast<std::uint64_t>(s) * 3 + 3) & ~std::uint64_t{3};
        return stride * static_cast<std::uint64_t>(s) <= pixelBudget;
    };
    while (side > 1 && !fits(side))
        --side;
    return static_cast<int>(side);
}

void PixelStore::Free::operator()(std::uint8_t* p) const {
    std::free(p);
}

PixelStore PixelStore::Zeroed(std::size_t bytes) {
    PixelStore s;
    if (bytes == 0) return s;
    s.owned_.reset(static_cast<std::uint8_t*>(std::calloc(bytes, 1)));
    if (!s.owned_) throw std::bad_alloc();
    s.bits_ = s.owned_.get();
    s.size_ = bytes;
    s.black_.store(true, std::memory_order_relaxed);
    return s;
}

void PixelStore::FillBlack() {
    if (size_ > 0) std::memset(bits_, 0, size_);
    black_.store(true, std::memory_order_relaxed);
}

PixelStore PixelStore::Adopt(std::vector<std::uint8_t>&& bytes) {
    PixelStore s;
    s.adopted_ = std::move(bytes);
    s.bits_ = s.adopted_.empty() ? nullptr : s.adopted_.data();
    s.size_ = s.adopted_.size();
    return s;
}

PixelStore::PixelStore(const PixelStore& other) {
    if (other.size_ == 0) return;
    owned_.reset(static_cast<std::uint8_t*>(std::malloc(other.size_)));
    if (!owned_) throw std::bad_alloc();
    std::memcpy(owned_.get(), other.bits_, other.size_);
    bits_ = owned_.get();
    size_ = other.size_;
}

PixelStore& PixelStore::operator=(const PixelStore& other) {
    if (this != &other) *this = PixelStore(other);
    return *this;
}

PixelStore::PixelStore(PixelStore&& other) noexcept
    : owned_(std::move(other.owned_)), adopted_(std::move(other.adopted_)), bits_(other.bits_),
      size_(other.size_), black_(other.black_.load(std::memory_order_relaxed)) {
    other.bits_ = nullptr;
    other.size_ = 0;
    other.black_.store(false, std::memory_order_relaxed);
}

PixelStore& PixelStore::operator=(PixelStore&& other) noexcept {
    if (this == &other) return *this;
    owned_ = std::move(other.owned_);
    adopted_ = std::move(other.adopted_);
    bits_ = other.bits_;
    size_ = other.size_;
    black_.store(other.black_.load(std::memory_order_relaxed), std::memory_order_relaxed);
    other.bits_ = nullptr;
    other.size_ = 0;
    other.black_.store(false, std::memory_order_relaxed);
    return *this;
}

void TBitmap::SetSize(int width, int height) {
    width = std::max(width, 0);
    height = std::max(height, 0);
    if (width == width_ && height == height_) return;
    CheckPixelBudget(width, height);
    const std::ptrdiff_t stride = StrideFor(width);
    PixelStore data;
    try {
        data = PixelStore::Zeroed(static_cast<std::size_t>(stride) * static_cast<std::size_t>(height));
    } catch (const std::bad_alloc&) {
        Throw(Msg::OutOfMemory);
    }
    const int rows = std::min(height, height_);
    const std::size_t bytes = static_cast<std::size_t>(std::min(width, width_)) * 3;
    for (int y = 0; y < rows; ++y)
        std::memcpy(data.data() + y * stride, data_.data() + y * stride_, bytes);
    data_ = std::move(data);
    width_ = width;
    height_ = height;
    stride_ = stride;
}

void TBitmap::FillBlack() {
    data_.FillBlack();
}

void TBitmap::Assign(const TBitmap& other) {
    if (this == &other) return;
    try {
        data_ = other.data_;
    } catch (const std::bad_alloc&) {
        Throw(Msg::OutOfMemory);
    }
    width_ = other.width_;
    height_ = other.height_;
    stride_ = other.stride_;
}

namespace {
void BlendPixel(std::uint8_t* d, const std::uint8_t* s, std::uint8_t a) {
    if (a == 255) {
        d[0] = s[0];
        d[1] = s[1];
        d[2] = s[2];
    } else if (a != 0) {
        for (int c = 0; c < 3; ++c)
            d[c] = BlendOver(Premultiply(s[c], a), d[c], a);
    }
}
} // namespace

void TBitmap::DrawPixels(const PixelSource& src, int x, int y) {
    // Clip in 64 bits: x + width may overflow an int for hostile positions.
    const std::int64_t x0 = std::max<std::int64_t>(x, 0);
    const std::int64_t y0 = std::max<std::int64_t>(y, 0);
    const std::int64_t x1 = std::min<std::int64_t>(static_cast<std::int64_t>(x) + src.width, width_);
    const std::int64_t y1 = std::min<std::int64_t>(static_cast<std::int64_t>(y) + src.height, height_);
    if (x0 >= x1 || y0 >= y1) return;
    const std::size_t cols = static_cast<std::size_t>(x1 - x0);
    for (std::int64_t ty = y0; ty < y1; ++ty) {
        const std::int64_t sy = ty - y;
        const std::uint8_t* s = src.pixels + sy * src.stride + (x0 - x) * 3;
        std::uint8_t* d = ScanLine(static_cast<int>(ty)) + x0 * 3;
        if (src.alpha) {
            const std::uint8_t* a = src.alpha + sy * src.alphaStride + (x0 - x);
            for (std::size_t i = 0; i < cols; ++i, s += 3, d += 3)
                BlendPixel(d, s, a[i]);
            continue;
        }
        if (!src.mask) {
            std::memcpy(d, s, cols * 3);
            continue;
        }
        const std::uint8_t* m = src.mask + sy * src.maskStride + (x0 - x);
        for (std::size_t i = 0; i < cols; ++i, s += 3, d += 3)
            if (m[i]) {
                d[0] = s[0];
                d[1] = s[1];
                d[2] = s[2];
            }
    }
}

void TBitmap::StretchPixels(const PixelSource& src, const TRect& rect) {
    const std::int64_t dw = static_cast<std::int64_t>(rect.Right) - rect.Left;
    const std::int64_t dh = static_cast<std::int64_t>(rect.Bottom) - rect.Top;
    if (dw <= 0 || dh <= 0 || src.width <= 0 || src.height <= 0) return;
    if (filter_ == StretchFilter::Smooth && !src.mask && !src.alpha) {
        StretchSmooth(*this, src, rect);
        return;
    }
    const std::int64_t x0 = std::max<std::int64_t>(rect.Left, 0);
    const std::int64_t y0 = std::max<std::int64_t>(rect.Top, 0);
    const std::int64_t x1 = std::min<std::int64_t>(rect.Right, width_);
    const std::int64_t y1 = std::min<std::int64_t>(rect.Bottom, height_);
    if (x0 >= x1 || y0 >= y1) return;
    // Each target pixel takes the source pixel its centre falls on.
    std::vector<std::int64_t> colMap(static_cast<std::size_t>(x1 - x0));
    for (std::int64_t tx = x0; tx < x1; ++tx) {
        const std::int64_t sx = ((tx - rect.Left) * 2 + 1) * src.width / (2 * dw);
        colMap[static_cast<std::size_t>(tx - x0)] = std::min<std::int64_t>(sx, src.width - 1);
    }
    std::int64_t prevSy = -1;
    std::uint8_t* prevRow = nullptr;
    for (std::int64_t ty = y0; ty < y1; ++ty) {
        const std::int64_t sy =
            std::min<std::int64_t>(((ty - rect.Top) * 2 + 1) * src.height / (2 * dh), src.height - 1);
        std::uint8_t* d = ScanLine(static_cast<int>(ty)) + x0 * 3;
        if (!src.mask && !src.alpha && sy == prevSy) {
            // Enlarging repeats rows; copying the finished row is cheaper.
            std::memcpy(d, prevRow, static_cast<std::size_t>(x1 - x0) * 3);
            continue;
        }
        const std::uint8_t* s = src.pixels + sy * src.stride;
        const std::uint8_t* m = src.mask ? src.mask + sy * src.maskStride : nullptr;
        if (src.alpha) {
            const std::uint8_t* a = src.alpha + sy * src.alphaStride;
            for (std::size_t i = 0; i < colMap.size(); ++i, d += 3)
                BlendPixel(d, s + colMap[i] * 3, a[colMap[i]]);
            continue;
        }
        for (std::size_t i = 0; i < colMap.size(); ++i, d += 3) {
            const std::int64_t sx = colMap[i];
            if (m && !m[sx]) continue;
            const std::uint8_t* p = s + sx * 3;
            d[0] = p[0];
            d[1] = p[1];
            d[2] = p[2];
        }
        prevSy = sy;
        prevRow = ScanLine(static_cast<int>(ty)) + x0 * 3;
    }
}

std::string LowerAscii(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

std::string ExtractFileExt(const std::string& fileName) {
    const std::size_t dot = fileName.rfind('.');
    if (dot == std::string::npos) return {};
    const std::size_t sep = fileName.find_last_of(std::string("/") + platform::kPathSeparator);
    if (sep != std::string::npos && sep > dot) return {};
    return fileName.substr(dot);
}

void TGraphic::LoadFromFile(const std::string& path) {
    std::vector<std::uint8_t> bytes;
    if (!platform::ReadFileBytes(path, bytes)) Throw(Msg::CannotOpen, {path});
    LoadFromData(std::move(bytes));
}

void TPicture::LoadFromFile(const std::string& fileName) {
    std::string ext = ExtractFileExt(fileName);
    if (!ext.empty()) ext.erase(0, 1);
    std::unique_ptr<TGraphic> graphic = CreateGraphicForExtension(ext);
    if (!graphic) Throw(Msg::UnknownExtension, {ext});
    try {
        graphic->LoadFromFile(fileName);
    } catch (const std::bad_alloc&) {
        Throw(Msg::OutOfMemory);
    }
    graphic_ = std::move(graphic);
}

TBitmap& TPicture::Bitmap() {
    if (auto* bmp = dynamic_cast<TBitmap*>(graphic_.get())) return *bmp;
    graphic_ = std::make_unique<TBitmap>();
    return static_cast<TBitmap&>(*graphic_);
}
