#pragma once
// JPEG pictures through libjpeg: the header is read at load, the pixels are
// decompressed at the first draw and kept for later draws.
#include "compose/Graphics.h"
#include "compose/decoders/Orientation.h"
#include "platform/Platform.h"

#include <cstdint>
#include <vector>

struct JpegJob;

class TJPEGImage : public TGraphic {
  public:
    // The upright size: EXIF orientations 5 to 8 swap the stored sides.
    int Width() const override { return SwapsSides(orientation_) ? storedHeight_ : storedWidth_; }
    int Height() const override { return SwapsSides(orientation_) ? storedWidth_ : storedHeight_; }
    // Keeps the whole file and parses its header; throws "JPEG-Fehler #%d".
    void LoadFromData(std::vector<std::uint8_t>&& data) override;
    // Keeps the file open instead and reads it a piece at a time at each
    // decode: a large photo never needs its whole file in memory, nor the
    // time to fill it.
    void LoadFromFile(const std::string& path) override;
    // Both decode at the first call; a decoding error is thrown from here and
    // leaves the picture as loaded, so a later draw tries again.
    void Draw(TBitmap& target, int x, int y) override;
    // A smooth stretch to less than the picture's size decodes at a
    // fraction of the size instead and keeps neither those pixels nor the
    // full ones, only the compressed data.
    void StretchDraw(TBitmap& target, const TRect& rect) override;

    bool Grayscale() const { return grayscale_; }
    // True once the pixels are held and the compressed data is gone. A first
    // draw at (0, 0) into a black bitmap of exactly the picture's size decodes
    // straight into it and keeps the compressed data instead.
    bool Decoded() const { return decoded_; }

    // The eighths (1 to 8) at which to decode a width x height picture
    // drawn at drawnW x drawnH: the smallest whose size, rounded up as
    // libjpeg does, still covers the drawn size in both directions.
    static int ScaleEighthsFor(int width, int height, std::int64_t drawnW, std::int64_t drawnH);
    // libjpeg's size of one side decoded at eighths / 8.
    static int ScaledSide(int side, int eighths);
    // A decode of at least this many pixels (default about a million) runs
    // as two bands on two threads.
    static void SetSplitMinimumForTesting(std::int64_t pixels);
    // Where a split stretch's bands meet, instead of where both would end
    // together: the upper band's end row, given its rows [first, end), the
    // rows the lower band has skimmed and those the upper band has claimed;
    // -1 to wait for more. Null restores the timing.
    static void SetMeetingForTesting(int (*wanted)(int first, int end, int skimmed, int claimed));
    // How many lower bands have started on a spliced stream since the last
    // call, rather than skipping the rows above through libjpeg.
    static int SplicesForTesting();

  private:
    // What a load keeps of the header; the pixels of an earlier load go.
    void TakeHeader(const JpegJob& header);
    void Decode();
    void DecodeInto(TBitmap& out, int eighths = 8) const;
    void DecodeStretched(TBitmap& target, const TRect& rect, int eighths) const;
    JpegJob DecodeJob(int eighths) const;
    // Whether job's decode, drawn into `rows` target rows, is worth two
    // threads.
    bool WorthTwoBands(const JpegJob& job, int rows) const;
    // The first row of the lower band of job's whole decode when it is worth
    // two threads, its height when it is not.
    int SplitRow(const JpegJob& job, int nsPerPixel) const;

    std::vector<std::uint8_t> data_;
    std::unique_ptr<platform::OpenFile> file_;
    // The size of the frame as the file stores it.
    int storedWidth_ = 0;
    int storedHeight_ = 0;
    int orientation_ = 1;
    bool grayscale_ = false;
    bool skippable_ = false;
    bool skimmable_ = false;
    bool decoded_ = false;
    TBitmap pixels_;
};
