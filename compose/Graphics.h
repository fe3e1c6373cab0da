#pragma once
// The decoding layer's picture types: a 24-bit pixel buffer with the canvas
// operations fitting needs (TBitmap), the decoded picture (TGraphic) and the
// holder that loads a file by its extension (TPicture).
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct TRect {
    int Left = 0, Top = 0, Right = 0, Bottom = 0;
    int Width() const { return Right - Left; }
    int Height() const { return Bottom - Top; }
};

// A read-only view of pixels to be drawn: BGR triples, rows top-down, with an
// optional mask (one byte per pixel, 0 = transparent: leave the target alone)
// or an optional alpha plane (0 = transparent, 255 = opaque, between mixes).
struct PixelSource {
    const std::uint8_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    std::ptrdiff_t stride = 0;
    const std::uint8_t* mask = nullptr;
    std::ptrdiff_t maskStride = 0;
    const std::uint8_t* alpha = nullptr;
    std::ptrdiff_t alphaStride = 0;
};

// Alpha mixing as premultiplied "over": the source's share and the target's
// share, each rounded. Drawn on black a pixel gives its premultiplied value,
// on white that plus 255 - alpha, so two trial draws recover alpha exactly.
inline std::uint8_t Premultiply(std::uint8_t s, unsigned alpha) {
    return static_cast<std::uint8_t>((s * alpha + 127) / 255);
}
inline std::uint8_t BlendOver(std::uint8_t premultiplied, std::uint8_t d, unsigned alpha) {
    return static_cast<std::uint8_t>(premultiplied + (d * (255 - alpha) + 127) / 255);
}

class TBitmap;

// How a bitmap's canvas stretches what is drawn on it: one source pixel per
// target pixel, or smoothed (compose/Resample.h).
enum class StretchFilter { Nearest, Smooth };

class TGraphic {
  public:
    virtual ~TGraphic() = default;
    virtual int Width() const = 0;
    virtual int Height() const = 0;
    // Reads the picture from the whole content of a file; throws ZenksError.
    virtual void LoadFromData(std::vector<std::uint8_t>&& data) = 0;
    // The same from the file itself; by default its whole content is read
    // first. Throws "Datei %s kann nicht geöffnet werden" when it cannot be
    // read.
    virtual void LoadFromFile(const std::string& path);
    // Unscaled, top-left corner at (x, y); clipped to the target.
    virtual void Draw(TBitmap& target, int x, int y) = 0;
    // Scaled to fill rect; whatever falls outside the target is clipped.
    virtual void StretchDraw(TBitmap& target, const TRect& rect) = 0;
};

// Decoded pictures above this many bytes of 24-bit pixels are refused with
// "Zu wenig Arbeitsspeicher" before anything is allocated.
constexpr std::uint64_t kMaxPixelBytes = 1ull << 30;
// Throws OutOfMemory when w x h 24-bit pixels would exceed kMaxPixelBytes.
void CheckPixelBudget(std::int64_t width, std::int64_t height);
// The longest side of a square picture within the budget.
int LargestSquareSide();
// Lowers the budget (0 restores it): fuzzers would otherwise drift towards
// tiny files that declare huge pictures, which only cost time.
void SetPixelBudgetForTesting(std::uint64_t bytes);

// The memory of a bitmap's pixels: zeroed memory from calloc, whose fresh
// pages cost nothing until they are written (a wallpaper's bitmap is then
// cleared by the threads that draw it, not before), or a decoder's buffer
// taken over whole.
class PixelStore {
  public:
    PixelStore() = default;
    // Throws std::bad_alloc.
    static PixelStore Zeroed(std::size_t bytes);
    static PixelStore Adopt(std::vector<std::uint8_t>&& bytes);
    PixelStore(const PixelStore& other);
    PixelStore& operator=(const PixelStore& other);
    PixelStore(PixelStore&& other) noexcept;
    PixelStore& operator=(PixelStore&& other) noexcept;
    ~PixelStore() = default;

    // Asking for a writable pointer ends the known black.
    std::uint8_t* data() {
        black_.store(false, std::memory_order_relaxed);
        return bits_;
    }
    const std::uint8_t* data() const { return bits_; }
    std::size_t size() const { return size_; }
    void FillBlack();
    // True while the memory is known to be all zero: fresh from Zeroed() or
    // FillBlack(), and nothing has asked for a writable pointer since. Two
    // drawing threads may ask at once, hence the atomic.
    bool KnownBlack() const { return black_.load(std::memory_order_relaxed); }

  private:
    struct Free {
        void operator()(std::uint8_t* p) const;
    };
    // From calloc, or malloc for a copy.
    std::unique_ptr<std::uint8_t, Free> owned_;
    std::vector<std::uint8_t> adopted_;
    std::uint8_t* bits_ = nullptr;
    std::size_t size_ = 0;
    std::atomic<bool> black_{false};
};

// 24-bit colour, BGR byte order, rows top-down and padded to 4 bytes (the
// layout of a Windows DIB section). Also the decoder of ".bmp" files.
class TBitmap : public TGraphic {
  public:
    TBitmap() = default;
    TBitmap(int width, int height) { SetSize(width, height); }

    int Width() const override { return width_; }
    int Height() const override { return height_; }
    void LoadFromData(std::vector<std::uint8_t>&& data) override; // BmpDecoder.cpp
    void Draw(TBitmap& target, int x, int y) override { target.DrawPixels(Source(), x, y); }
    void StretchDraw(TBitmap& target, const TRect& rect) override { target.StretchPixels(Source(), rect); }

    // Resizes, keeping the overlapping top-left part; new pixels are black.
    // Negative sizes count as 0. Throws OutOfMemory past kMaxPixelBytes.
    void SetSize(int width, int height);
    void FillBlack();
    void Assign(const TBitmap& other);

    std::ptrdiff_t Stride() const { return stride_; }
    // All black without looking: new and not written since (see PixelStore).
    bool KnownBlack() const { return data_.KnownBlack(); }
    std::uint8_t* ScanLine(int y) { return data_.data() + y * stride_; }
    const std::uint8_t* ScanLine(int y) const { return data_.data() + y * stride_; }
    PixelSource Source() const { return {data_.data(), width_, height_, stride_, nullptr, 0}; }

    // Canvas operations: an unscaled copy with its top-left corner at (x, y),
    // and a stretch into rect by the canvas's filter. Both clip. The copy and
    // the nearest stretch honour the source's mask; a masked source is always
    // stretched nearest, so its transparent pixels stay untouched.
    void DrawPixels(const PixelSource& src, int x, int y);
    void StretchPixels(const PixelSource& src, const TRect& rect);
    // Nearest is the default; resizing keeps the filter.
    void SetStretchFilter(StretchFilter filter) { filter_ = filter; }
    StretchFilter GetStretchFilter() const { return filter_; }

    static std::ptrdiff_t StrideFor(int width) { return (static_cast<std::ptrdiff_t>(width) * 3 + 3) & ~3; }

  private:
    int width_ = 0;
    int height_ = 0;
    std::ptrdiff_t stride_ = 0;
    PixelStore data_;
    StretchFilter filter_ = StretchFilter::Nearest;
};

// Holds at most one decoded picture; a failed load keeps the previous one.
class TPicture {
  public:
    // Chooses the decoder by the extension (case-blind), reads the whole file
    // and decodes it. Throws ZenksError with the German message.
    void LoadFromFile(const std::string& fileName);
    TGraphic* Graphic() const { return graphic_.get(); }
    void SetGraphic(std::unique_ptr<TGraphic> g) { graphic_ = std::move(g); }
    // The held bitmap; anything else (or nothing) is first replaced by a new
    // empty bitmap.
    TBitmap& Bitmap();
    int Width() const { return graphic_ ? graphic_->Width() : 0; }
    int Height() const { return graphic_ ? graphic_->Height() : 0; }

  private:
    std::unique_ptr<TGraphic> graphic_;
};

// Format registry (compose/decoders/Registry.cpp): wmf, emf, ico, bmp, jpeg,
// jpg, gif, then the later formats, looked up from the last back. Returns
// nullptr when no entry matches (ico has no decoder).
std::unique_ptr<TGraphic> CreateGraphicForExtension(std::string_view extensionWithoutDot);

// The extension of a file name: from its last dot (dot included), "" if none.
std::string ExtractFileExt(const std::string& fileName);
std::string LowerAscii(std::string s);
