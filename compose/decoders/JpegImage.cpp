#include "compose/decoders/JpegImage.h"

#include "compose/Resample.h"
#include "compose/decoders/Decoders.h"
#include "compose/decoders/JpegSkim.h"
#include "compose/decoders/Orientation.h"
#include "config/Messages.h"
#include "platform/Platform.h"

#include <climits>
#include <csetjmp>
#include <cstddef>
#include <cstdio> // jpeglib.h needs FILE and size_t first
#include <jpeglib.h>
#include <jerror.h>
#include <algorithm>
#include <atomic>
#include <memory>
#include <new>
#include <system_error>
#include <thread>

namespace {

// A progressive file may repeat scans without end, each costing a pass over
// the whole picture; real encoders write a dozen or so.
constexpr int kMaxScans = 500;
constexpr int kQuantizedColors = 236;
// The most rows one read returns.
constexpr int kBatchRows = 16;
// Below this many decoded pixels a second thread gains too little.
std::int64_t g_splitMinimumPixels = std::int64_t{1} << 20;

} // namespace

class BandMeeting;

enum class JpegStep { Header, Decode };
enum class JpegOutput { Bgr, Quantized };

// Everything the libjpeg driver needs and returns, plain data only, since the
// driver longjmps out of the library on errors.
struct JpegJob {
    JpegStep step = JpegStep::Header;
    // The compressed data: in memory, or read from the open file as needed.
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
    const platform::OpenFile* file = nullptr;
    // Header: filled by both steps; headerBytes, read from a file, is where
    // the first scan's data begins.
    std::uint64_t headerBytes = 0;
    int width = 0;
    int height = 0;
    bool grayscale = false;
    // One Huffman-coded scan: rows can be skipped at the cost of entropy
    // decoding alone.
    bool skippable = false;
    // Such a scan that the skimmer reads.
    bool skimmable = false;
    // Decode: rows of 3-byte BGR pixels, height x stride bytes, at
    // scaleEighths / 8 of the size (8: full size).
    int scaleEighths = 8;
    int outWidth = 0;
    int outHeight = 0;
    JpegOutput output = JpegOutput::Bgr;
    std::uint8_t* pixels = nullptr;
    std::ptrdiff_t stride = 0;
    // When set, pixels holds only kBatchRows rows, and each row is handed to
    // the stretcher as soon as it is decoded.
    SmoothStretcher* stretcher = nullptr;
    // Only the rows [firstRow, endRow) are handed over: the rows above are
    // skipped, and the decode stops after endRow unless it is the last.
    int firstRow = 0;
    int endRow = INT_MAX;
    // A split stretch whose bands agree while they run where they meet: the
    // upper band asks before each batch of rows, the lower one skims until
    // the meeting names its first row (firstRow is then ignored).
    BandMeeting* meeting = nullptr;
    bool lowerBand = false;
    // libjpeg's message code when the library failed.
    int errorCode = 0;
};

namespace {
int (*g_meetingPolicy)(int first, int end, int skimmed, int claimed) = nullptr;
std::atomic<int> g_splices{0};
} // namespace

// Where the two bands of a split stretch meet. The lower band skims the rows
// above its part, which costs their entropy decoding alone, while the upper
// band decodes them in full. Once the lower band is a third of the way down,
// how far each has come tells how much faster skimming is, on this file and
// this machine at this moment, and so the row at which both would end
// together. The upper band claims its rows a batch at a time; the meeting is
// never above a row it has claimed.
class BandMeeting {
  public:
    // upper and lower draw the same target rows, the lower one only from
    // where the bands meet.
    BandMeeting(SmoothStretcher& upper, SmoothStretcher& lower) : upper_(upper), lower_(lower) {}

    // Upper band: how many of the rows [first, first + want) it may decode.
    int Claim(int first, int want) noexcept {
        std::uint64_t s = state_.load();
        for (;;) {
            const int end = std::min(first + want, Limit(s));
            if (end <= first) return 0;
            if (state_.compare_exchange_weak(s, (s & kHigh) | static_cast<std::uint32_t>(end)))
                return end - first;
        }
    }

    // Lower band, after each piece skimmed, at row skimmed: its first row
    // once the bands have met, or -1 to skim on. Ends the stretcher's rows
    // above the meeting.
    int Skimmed(int skimmed, bool atEnd) noexcept {
        const int first = upper_.FirstRow(), end = upper_.EndRow();
        const int claimed = Claimed(state_.load());
        int wanted = -1;
        if (g_meetingPolicy) {
            wanted = g_meetingPolicy(first, end, skimmed, claimed);
        } else if (skimmed >= first + (end - first) / 3 && skimmed > 0) {
            // Both bands end together at row m when the upper band's rows
            // from claimed to m take as long as the lower band's skimming to
            // m and decoding from there: skimming costs rho of decoding.
            const double rho = claimed > first ? static_cast<double>(claimed - first) / skimmed : 0.0;
            wanted = rho >= 1.0 ? end : static_cast<int>((end + claimed - skimmed * rho) / (2.0 - rho));
        }
        if (wanted < 0 && !atEnd) return -1;
        // The lower band cannot go back above the row it has skimmed to.
        int top = upper_.BandTop();
        while (top < upper_.BandBottom() && upper_.FirstRowOf(top) < skimmed)
            ++top;
        const int least = top > upper_.BandTop() ? upper_.EndRowOf(top - 1) : first;
        const int meet = Settle(std::max(wanted, least));
        // The first target row that the upper band's rows cannot finish.
        int row = upper_.BandTop();
        while (row < upper_.BandBottom() && upper_.EndRowOf(row) <= meet)
            ++row;
        if (row >= upper_.BandBottom()) return INT_MAX; // skims to the end
        lower_.StartAt(row);
        return lower_.FirstRow();
    }

  private:
    static constexpr std::uint64_t kHigh = ~std::uint64_t{0xffffffffu};
    static int Limit(std::uint64_t s) { return static_cast<int>(s >> 32); }
    static int Claimed(std::uint64_t s) { return static_cast<int>(s & 0xffffffffu); }
    // Sets the upper band's last row, but never above one it has claimed.
    int Settle(int wanted) noexcept {
        std::uint64_t s = state_.load();
        for (;;) {
            const int meet = std::max(wanted, Claimed(s));
            if (state_.compare_exchange_weak(s, (static_cast<std::uint64_t>(meet) << 32) |
                                                    static_cast<std::uint32_t>(Claimed(s))))
                return meet;
        }
    }

    SmoothStretcher& upper_;
    SmoothStretcher& lower_;
    // The upper band's limit in the high half (open until the bands meet),
    // the end of the rows it has claimed in the low half.
    std::atomic<std::uint64_t> state_{static_cast<std::uint64_t>(INT_MAX) << 32};
};

namespace {

struct JpegErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

extern "C" void JpegErrorExit(j_common_ptr cinfo) {
    std::longjmp(reinterpret_cast<JpegErrorManager*>(cinfo->err)->jump, 1);
}

// Warnings (damaged or truncated data) are ignored and nothing is printed.
extern "C" void JpegEmitMessage(j_common_ptr cinfo, int msgLevel) {
    if (msgLevel < 0) cinfo->err->num_warnings++;
}

extern "C" void JpegOutputMessage(j_common_ptr) {}

extern "C" void JpegCheckScans(j_common_ptr cinfo) {
    const auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (cinfo->is_decompressor && d->input_scan_number > kMaxScans) {
        cinfo->err->msg_code = JERR_BAD_PROGRESSION;
        cinfo->err->error_exit(cinfo);
    }
}

// libjpeg's source for data read from a file a piece at a time, so that the
// file is never held whole. Like the library's own sources, a file that ends
// early gets an end-of-image marker and a warning.
struct FileSource {
    jpeg_source_mgr pub;
    const platform::OpenFile* file;
    std::uint64_t offset;
    JOCTET* buffer;
    std::size_t bufferSize;
    bool any;
};

extern "C" void FileSourceInit(j_decompress_ptr) {}
extern "C" void FileSourceTerm(j_decompress_ptr) {}

// Like libjpeg's own sources at the end of the data: a warning, and an
// end-of-image marker in buffer. Returns its length.
std::int64_t EndOfData(j_decompress_ptr cinfo, JOCTET* buffer) {
    cinfo->err->msg_code = JWRN_JPEG_EOF;
    cinfo->err->emit_message(reinterpret_cast<j_common_ptr>(cinfo), -1);
    buffer[0] = 0xFF;
    buffer[1] = JPEG_EOI;
    return 2;
}

extern "C" boolean FileSourceFill(j_decompress_ptr cinfo) {
    auto* src = reinterpret_cast<FileSource*>(cinfo->src);
    std::int64_t n = src->file->ReadAt(src->offset, src->buffer, src->bufferSize);
    if (n <= 0) {
        if (!src->any) {
            cinfo->err->msg_code = JERR_INPUT_EMPTY;
            cinfo->err->error_exit(reinterpret_cast<j_common_ptr>(cinfo));
        }
        n = EndOfData(cinfo, src->buffer);
    } else {
        src->offset += static_cast<std::uint64_t>(n);
    }
    src->any = true;
    src->pub.next_input_byte = src->buffer;
    src->pub.bytes_in_buffer = static_cast<std::size_t>(n);
    return TRUE;
}

extern "C" void FileSourceSkip(j_decompress_ptr cinfo, long count) {
    auto* src = reinterpret_cast<FileSource*>(cinfo->src);
    if (count <= 0) return;
    const auto skip = static_cast<std::size_t>(count);
    if (skip <= src->pub.bytes_in_buffer) {
        src->pub.next_input_byte += skip;
        src->pub.bytes_in_buffer -= skip;
        return;
    }
    src->offset += skip - src->pub.bytes_in_buffer;
    src->pub.bytes_in_buffer = 0;
}

// The buffer comes from libjpeg's pool, freed with the decompressor, since
// the error exit leaves this frame by longjmp. Decoding reads large pieces:
// libjpeg's fast Huffman path wants a few kilobytes ahead.
void UseFileSource(j_decompress_ptr cinfo, FileSource& src, const platform::OpenFile* file, bool decoding) {
    src = FileSource{};
    src.file = file;
    src.bufferSize = decoding ? std::size_t{1} << 18 : std::size_t{1} << 14;
    src.buffer = static_cast<JOCTET*>(
        cinfo->mem->alloc_large(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_PERMANENT, src.bufferSize));
    src.pub.init_source = FileSourceInit;
    src.pub.fill_input_buffer = FileSourceFill;
    src.pub.skip_input_data = FileSourceSkip;
    src.pub.resync_to_restart = jpeg_resync_to_restart;
    src.pub.term_source = FileSourceTerm;
    cinfo->src = &src.pub;
}

// libjpeg's source for a spliced stream: the header and the row that sets
// the DC predictors, from memory, then the original bytes from an offset on,
// from memory or read from the file a piece at a time.
struct SpliceSource {
    jpeg_source_mgr pub;
    const JOCTET* prefix;
    std::size_t prefixSize;
    bool prefixServed;
    const std::uint8_t* data;
    std::size_t size;
    const platform::OpenFile* file;
    std::uint64_t offset;
    JOCTET* buffer;
    std::size_t bufferSize;
};

extern "C" boolean SpliceSourceFill(j_decompress_ptr cinfo) {
    auto* src = reinterpret_cast<SpliceSource*>(cinfo->src);
    if (!src->prefixServed) {
        src->prefixServed = true;
        src->pub.next_input_byte = src->prefix;
        src->pub.bytes_in_buffer = src->prefixSize;
        return TRUE;
    }
    std::int64_t n = 0;
    if (src->file) {
        n = src->file->ReadAt(src->offset, src->buffer, src->bufferSize);
        src->pub.next_input_byte = src->buffer;
    } else if (src->offset < src->size) {
        n = static_cast<std::int64_t>(src->size - src->offset);
        src->pub.next_input_byte = src->data + src->offset;
    }
    if (n <= 0) {
        n = EndOfData(cinfo, src->buffer);
        src->pub.next_input_byte = src->buffer;
    } else {
        src->offset += static_cast<std::uint64_t>(n);
    }
    src->pub.bytes_in_buffer = static_cast<std::size_t>(n);
    return TRUE;
}

extern "C" void SpliceSourceSkip(j_decompress_ptr cinfo, long count) {
    if (count <= 0) return;
    auto skip = static_cast<std::size_t>(count);
    while (skip > cinfo->src->bytes_in_buffer) {
        skip -= cinfo->src->bytes_in_buffer;
        SpliceSourceFill(cinfo);
    }
    cinfo->src->next_input_byte += skip;
    cinfo->src->bytes_in_buffer -= skip;
}

// Output rows per row of MCUs, and how many rows of MCUs a lower band skims
// before it asks the meeting again.
int RowsPerMcuRow(const jpeg_decompress_struct& cinfo) {
    return cinfo.min_DCT_scaled_size * cinfo.max_v_samp_factor;
}

int McuRowsPerPiece(const jpeg_decompress_struct& cinfo) {
    return std::max(1, static_cast<int>(cinfo.output_height) / 32 / RowsPerMcuRow(cinfo));
}

// The scans the skimmer reads: one interleaved baseline scan of 8-bit
// samples without restart markers.
bool SkimmableScan(const jpeg_decompress_struct& cinfo) {
    if (cinfo.progressive_mode || cinfo.arith_code || cinfo.restart_interval != 0 ||
        cinfo.data_precision != 8 || cinfo.comps_in_scan < 2 || cinfo.comps_in_scan > 4 ||
        cinfo.comps_in_scan != cinfo.num_components)
        return false;
    for (int c = 0; c < cinfo.comps_in_scan; ++c) {
        const jpeg_component_info* comp = cinfo.cur_comp_info[c];
        if (!comp || comp->dc_tbl_no < 0 || comp->dc_tbl_no >= NUM_HUFF_TBLS || comp->ac_tbl_no < 0 ||
            comp->ac_tbl_no >= NUM_HUFF_TBLS || !cinfo.dc_huff_tbl_ptrs[comp->dc_tbl_no] ||
            !cinfo.ac_huff_tbl_ptrs[comp->ac_tbl_no])
            return false;
    }
    return true;
}

jpegskim::Layout ScanLayout(const jpeg_decompress_struct& cinfo) {
    jpegskim::Layout layout;
    const int mcuWidth = 8 * cinfo.max_h_samp_factor, mcuHeight = 8 * cinfo.max_v_samp_factor;
    layout.mcusPerRow = static_cast<int>((cinfo.image_width + static_cast<unsigned>(mcuWidth) - 1) /
                                         static_cast<unsigned>(mcuWidth));
    layout.mcuRows = static_cast<int>((cinfo.image_height + static_cast<unsigned>(mcuHeight) - 1) /
                                      static_cast<unsigned>(mcuHeight));
    layout.components = cinfo.comps_in_scan;
    for (int c = 0; c < cinfo.comps_in_scan; ++c) {
        const jpeg_component_info* comp = cinfo.cur_comp_info[c];
        layout.blocks[c] = comp->h_samp_factor * comp->v_samp_factor;
        const JHUFF_TBL* dc = cinfo.dc_huff_tbl_ptrs[comp->dc_tbl_no];
        const JHUFF_TBL* ac = cinfo.ac_huff_tbl_ptrs[comp->ac_tbl_no];
        std::copy(std::begin(dc->bits), std::end(dc->bits), layout.dc[c].bits);
        std::copy(std::begin(dc->huffval), std::end(dc->huffval), layout.dc[c].values);
        std::copy(std::begin(ac->bits), std::end(ac->bits), layout.ac[c].bits);
        std::copy(std::begin(ac->huffval), std::end(ac->huffval), layout.ac[c].values);
    }
    return layout;
}

// What the lower band's skimming found.
struct SplicePlan {
    bool met = false;     // the meeting has named job.firstRow
    bool spliced = false; // prefix holds the spliced stream's start
    std::size_t prefixSize = 0;
    std::uint64_t resumeAt = 0;
    int shift = 0; // rows of the output above the spliced stream's first
};

// The spliced stream's prefix for a lower band: the header again, for the
// rows from one MCU row above the first one wanted (so that the rows above
// them are right where the upsampling needs them), and the row that sets the
// DC predictors. Skims until the meeting names the first row when there is
// one. Calls nothing in libjpeg, so it may own memory.
SplicePlan PlanSplice(JpegJob& job, const jpeg_decompress_struct& cinfo, const jpegskim::Layout& layout,
                      JOCTET* prefix, std::size_t capacity) {
    SplicePlan plan;
    try {
        const auto read = [&job](std::uint64_t offset, std::uint8_t* to, std::size_t n) -> std::size_t {
            if (job.file) {
                const std::int64_t got = job.file->ReadAt(offset, to, n);
                return got > 0 ? static_cast<std::size_t>(got) : 0;
            }
            if (offset >= job.size) return 0;
            const std::size_t got = std::min<std::size_t>(n, job.size - static_cast<std::size_t>(offset));
            std::copy(job.data + offset, job.data + offset + got, to);
            return got;
        };
        jpegskim::Skimmer skimmer(layout, read, job.headerBytes);
        if (!skimmer.Usable()) return plan;
        const int rowsPerMcu = RowsPerMcuRow(cinfo);
        const int height = static_cast<int>(cinfo.output_height);
        int first = job.firstRow;
        if (job.meeting && job.lowerBand) {
            // Piece by piece as libjpeg's skipping would go, until the bands
            // have met.
            const int piece = McuRowsPerPiece(cinfo);
            first = -1;
            for (int row = 0; first < 0;) {
                row = std::min(row + piece, layout.mcuRows - 1);
                if (!skimmer.SkimTo(row)) return plan;
                first = job.meeting->Skimmed(std::min(row * rowsPerMcu, height), row == layout.mcuRows - 1);
            }
            plan.met = true;
            job.firstRow = first;
        }
        // Past the bottom, the last row still ends the decode, as one decode
        // ends, reading the file to its end.
        const int wanted = std::min(first, height - 1) / rowsPerMcu;
        std::vector<std::uint8_t> head(static_cast<std::size_t>(job.headerBytes));
        if (read(0, head.data(), head.size()) != head.size()) return plan;
        for (int top = wanted - 1; top >= 1 && top >= wanted - 8; --top) {
            if (!skimmer.SkimTo(top)) continue;
            std::vector<std::uint8_t> bytes;
            std::uint64_t resumeAt = 0;
            const int mcuHeight = 8 * cinfo.max_v_samp_factor;
            if (!jpegskim::WithHeight(head.data(), head.size(),
                                      static_cast<int>(cinfo.image_height) - (top - 1) * mcuHeight, bytes) ||
                !jpegskim::SpliceRow(layout, skimmer.Start(top), bytes, resumeAt) || bytes.size() > capacity)
                continue;
            std::copy(bytes.begin(), bytes.end(), prefix);
            plan.spliced = true;
            plan.prefixSize = bytes.size();
            plan.resumeAt = resumeAt;
            plan.shift = (top - 1) * rowsPerMcu;
            return plan;
        }
    } catch (...) {
        // Out of memory: libjpeg's own skipping still gets there.
    }
    return plan;
}

// The same decoding parameters for the whole file and for a spliced stream.
void SetDecodeParameters(jpeg_decompress_struct& cinfo, const JpegJob& job) {
    cinfo.scale_num = job.scaleEighths == 8 ? 1 : static_cast<unsigned>(job.scaleEighths);
    cinfo.scale_denom = job.scaleEighths == 8 ? 1 : 8;
    cinfo.dct_method = JDCT_ISLOW;
    cinfo.do_fancy_upsampling = TRUE;
    cinfo.do_block_smoothing = TRUE;
    cinfo.buffered_image = FALSE;
    if (job.output == JpegOutput::Quantized) {
        // A greyscale file keeps its own colour space, so libjpeg falls
        // back to one-pass quantisation there, as djpeg -colors does.
        if (!job.grayscale) cinfo.out_color_space = JCS_RGB;
        cinfo.quantize_colors = TRUE;
        cinfo.desired_number_of_colors = kQuantizedColors;
        cinfo.two_pass_quantize = TRUE;
        cinfo.dither_mode = JDITHER_FS;
    } else {
        // The same conversion as RGB with the bytes in our order.
        cinfo.out_color_space = JCS_EXT_BGR;
    }
}

void StoreQuantizedRow(const jpeg_decompress_struct& cinfo, const JSAMPLE* indexes, std::uint8_t* out) {
    JSAMPARRAY map = cinfo.colormap;
    const bool colour = cinfo.out_color_components == 3;
    for (JDIMENSION i = 0; i < cinfo.output_width; ++i, out += 3) {
        const int c = indexes[i];
        out[0] = colour ? map[2][c] : map[0][c];
        out[1] = colour ? map[1][c] : map[0][c];
        out[2] = map[0][c];
    }
}

// The only place that calls into libjpeg. Its error exit longjmps back to the
// setjmp below, so nothing here may need a destructor; returns false with
// job.errorCode set when the library failed.
bool RunLibjpeg(JpegJob& job) {
    jpeg_decompress_struct cinfo{};
    JpegErrorManager err{};
    jpeg_progress_mgr progress{};
    FileSource fileSource{};
    SpliceSource spliceSource{};
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = JpegErrorExit;
    err.pub.emit_message = JpegEmitMessage;
    err.pub.output_message = JpegOutputMessage;
    if (setjmp(err.jump)) {
        job.errorCode = err.pub.msg_code;
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    progress.progress_monitor = JpegCheckScans;
    cinfo.progress = &progress;
    if (job.file)
        UseFileSource(&cinfo, fileSource, job.file, job.step == JpegStep::Decode);
    else
        jpeg_mem_src(&cinfo, job.data, static_cast<unsigned long>(job.size));
    jpeg_read_header(&cinfo, TRUE);
    job.headerBytes = (job.file ? fileSource.offset : job.size) - cinfo.src->bytes_in_buffer;
    job.width = static_cast<int>(cinfo.image_width);
    job.height = static_cast<int>(cinfo.image_height);
    job.grayscale = cinfo.jpeg_color_space == JCS_GRAYSCALE;
    job.skippable = !jpeg_has_multiple_scans(&cinfo) && !cinfo.arith_code;
    job.skimmable = job.skippable && SkimmableScan(cinfo);
    if (job.step == JpegStep::Decode) {
        SetDecodeParameters(cinfo, job);
        jpeg_start_decompress(&cinfo);
        if (cinfo.output_width != static_cast<JDIMENSION>(job.outWidth) ||
            cinfo.output_height != static_cast<JDIMENSION>(job.outHeight)) {
            cinfo.err->msg_code = JERR_BAD_STATE;
            cinfo.err->error_exit(reinterpret_cast<j_common_ptr>(&cinfo));
        }
        const int batch = cinfo.rec_outbuf_height > 0 ? cinfo.rec_outbuf_height : 1;
        JSAMPARRAY indexes = nullptr;
        if (job.output == JpegOutput::Quantized)
            indexes = cinfo.mem->alloc_sarray(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE,
                                              cinfo.output_width, static_cast<JDIMENSION>(batch));
        JSAMPROW rows[kBatchRows];
        const int perCall = batch < kBatchRows ? batch : kBatchRows;
        // The lower band reaches its rows through the skimmer and a spliced
        // stream where it can; the rows above the stream's first: shift.
        int shift = 0;
        bool met = false;
        if (((job.meeting && job.lowerBand) || job.firstRow > 0) && !indexes && job.skippable &&
            SkimmableScan(cinfo)) {
            // At most 78 bits for each block of the row that sets the
            // predictors, twice that where every byte is stuffed.
            const jpegskim::Layout layout = ScanLayout(cinfo);
            std::size_t capacity = static_cast<std::size_t>(job.headerBytes) + 16;
            for (int c = 0; c < layout.components; ++c)
                capacity += static_cast<std::size_t>(layout.mcusPerRow) *
                            static_cast<std::size_t>(layout.blocks[c]) * 20;
            auto* prefix = static_cast<JOCTET*>(
                cinfo.mem->alloc_large(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_PERMANENT, capacity));
            const SplicePlan plan = PlanSplice(job, cinfo, layout, prefix, capacity);
            met = plan.met;
            if (plan.spliced) {
                g_splices.fetch_add(1, std::memory_order_relaxed);
                jpeg_abort_decompress(&cinfo);
                spliceSource = SpliceSource{};
                spliceSource.pub.init_source = FileSourceInit;
                spliceSource.pub.fill_input_buffer = SpliceSourceFill;
                spliceSource.pub.skip_input_data = SpliceSourceSkip;
                spliceSource.pub.resync_to_restart = jpeg_resync_to_restart;
                spliceSource.pub.term_source = FileSourceTerm;
                spliceSource.prefix = prefix;
                spliceSource.prefixSize = plan.prefixSize;
                spliceSource.data = job.data;
                spliceSource.size = job.size;
                spliceSource.file = job.file;
                spliceSource.offset = plan.resumeAt;
                // The file's pieces go into the buffer the first pass read
                // them into; from memory, only the end-of-image marker does.
                spliceSource.bufferSize = job.file ? fileSource.bufferSize : 2;
                spliceSource.buffer = job.file
                                          ? fileSource.buffer
                                          : static_cast<JOCTET*>(cinfo.mem->alloc_small(
                                                reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_PERMANENT, 2));
                cinfo.src = &spliceSource.pub;
                jpeg_read_header(&cinfo, TRUE);
                SetDecodeParameters(cinfo, job);
                jpeg_start_decompress(&cinfo);
                shift = plan.shift;
                if (cinfo.output_width != static_cast<JDIMENSION>(job.outWidth) ||
                    cinfo.output_height + static_cast<JDIMENSION>(shift) !=
                        static_cast<JDIMENSION>(job.outHeight)) {
                    cinfo.err->msg_code = JERR_BAD_STATE;
                    cinfo.err->error_exit(reinterpret_cast<j_common_ptr>(&cinfo));
                }
            }
        }
        if (job.meeting && job.lowerBand && !met) {
            // A piece at a time, until the bands have met. Each piece ends on
            // an iMCU row: a skip that went on from inside one drew some of
            // the later rows unlike one decode (libjpeg-turbo 2.1, tested).
            const auto piece = static_cast<JDIMENSION>(McuRowsPerPiece(cinfo) * RowsPerMcuRow(cinfo));
            int first = -1;
            while (first < 0) {
                const JDIMENSION to = std::min(cinfo.output_height, cinfo.output_scanline + piece);
                const bool moved =
                    cinfo.output_scanline < to && jpeg_skip_scanlines(&cinfo, to - cinfo.output_scanline) > 0;
                first = job.meeting->Skimmed(static_cast<int>(cinfo.output_scanline),
                                             !moved || cinfo.output_scanline >= cinfo.output_height);
            }
            job.firstRow = first;
        }
        // Skipping needs full-colour output: the quantisers keep state.
        bool drawsNothing = false;
        if (job.firstRow > shift && !indexes && job.skippable) {
            auto skip = static_cast<JDIMENSION>(job.firstRow - shift) < cinfo.output_height
                            ? static_cast<JDIMENSION>(job.firstRow - shift)
                            : cinfo.output_height;
            // A stretch's band left with no rows still decodes the last one
            // into its own buffer: libjpeg's skip to the end never reads the
            // rest of the file, where one decode finds what is wrong.
            if (skip == cinfo.output_height && job.stretcher && (job.lowerBand || !job.meeting) && skip > 0) {
                skip = cinfo.output_height - 1;
                drawsNothing = true;
            }
            while (cinfo.output_scanline < skip)
                if (jpeg_skip_scanlines(&cinfo, skip - cinfo.output_scanline) == 0) break;
        }
        const JDIMENSION end =
            job.endRow >= shift && static_cast<JDIMENSION>(job.endRow - shift) < cinfo.output_height
                ? static_cast<JDIMENSION>(job.endRow - shift)
                : cinfo.output_height;
        while (cinfo.output_scanline < end) {
            const JDIMENSION first = cinfo.output_scanline + static_cast<JDIMENSION>(shift);
            JDIMENSION want = end - cinfo.output_scanline;
            if (want > static_cast<JDIMENSION>(perCall)) want = static_cast<JDIMENSION>(perCall);
            if (job.meeting && !job.lowerBand) {
                want = static_cast<JDIMENSION>(
                    job.meeting->Claim(static_cast<int>(first), static_cast<int>(want)));
                if (want == 0) break;
            }
            const std::ptrdiff_t base = job.stretcher ? 0 : static_cast<std::ptrdiff_t>(first);
            for (JDIMENSION r = 0; r < want; ++r)
                rows[r] = indexes ? indexes[r] : job.pixels + (base + r) * job.stride;
            const JDIMENSION got = jpeg_read_scanlines(&cinfo, rows, want);
            for (JDIMENSION r = 0; r < got; ++r) {
                std::uint8_t* row = job.pixels + (base + r) * job.stride;
                if (indexes) StoreQuantizedRow(cinfo, indexes[r], row);
                if (job.stretcher && !drawsNothing) job.stretcher->PushRow(static_cast<int>(first + r), row);
            }
        }
        // A band that ends early leaves the rest to the band below.
        if (cinfo.output_scanline == cinfo.output_height) jpeg_finish_decompress(&cinfo);
    }
    jpeg_destroy_decompress(&cinfo);
    return true;
}

} // namespace

void TJPEGImage::LoadFromData(std::vector<std::uint8_t>&& data) {
    JpegJob job;
    job.data = data.data();
    job.size = data.size();
    if (!RunLibjpeg(job)) Throw(Msg::JpegError, {static_cast<long long>(job.errorCode)});
    orientation_ = ExifOrientation(data.data(), data.size());
    data_ = std::move(data);
    file_.reset();
    TakeHeader(job);
}

void TJPEGImage::TakeHeader(const JpegJob& header) {
    storedWidth_ = header.width;
    storedHeight_ = header.height;
    grayscale_ = header.grayscale;
    skippable_ = header.skippable;
    skimmable_ = header.skimmable;
    decoded_ = false;
    pixels_.SetSize(0, 0);
}

void TJPEGImage::LoadFromFile(const std::string& path) {
    std::unique_ptr<platform::OpenFile> file = platform::OpenFile::Open(path);
    if (!file) Throw(Msg::CannotOpen, {path});
    JpegJob job;
    job.file = file.get();
    if (!RunLibjpeg(job)) Throw(Msg::JpegError, {static_cast<long long>(job.errorCode)});
    // The markers before the first scan, where the EXIF block is.
    std::vector<std::uint8_t> head(static_cast<std::size_t>(std::min(job.headerBytes, file->Size())));
    std::size_t got = 0;
    while (got < head.size()) {
        const std::int64_t n = file->ReadAt(got, head.data() + got, head.size() - got);
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
    }
    orientation_ = ExifOrientation(head.data(), got);
    file_ = std::move(file);
    std::vector<std::uint8_t>().swap(data_);
    TakeHeader(job);
}

int TJPEGImage::ScaledSide(int side, int eighths) {
    return static_cast<int>((static_cast<std::int64_t>(side) * eighths + 7) / 8);
}

int TJPEGImage::ScaleEighthsFor(int width, int height, std::int64_t drawnW, std::int64_t drawnH) {
    for (int m = 1; m < 8; ++m)
        if (ScaledSide(width, m) >= drawnW && ScaledSide(height, m) >= drawnH) return m;
    return 8;
}

namespace {

// Runs lower on this thread and upper, when there is one, on a second; the
// upper band ends after its last row, the lower one skips the rows above its
// first, which costs only their entropy decoding. Throws the first band's
// error.
void RunBands(JpegJob* upper, JpegJob& lower) {
    bool upperOk = true;
    std::thread worker;
    if (upper) {
        try {
            worker = std::thread([upper, &upperOk] { upperOk = RunLibjpeg(*upper); });
        } catch (const std::system_error&) {
            upperOk = RunLibjpeg(*upper);
        }
    }
    const bool lowerOk = RunLibjpeg(lower);
    if (worker.joinable()) worker.join();
    if (!upperOk) Throw(Msg::JpegError, {static_cast<long long>(upper->errorCode)});
    if (!lowerOk) Throw(Msg::JpegError, {static_cast<long long>(lower.errorCode)});
}

} // namespace

JpegJob TJPEGImage::DecodeJob(int eighths) const {
    JpegJob job;
    job.step = JpegStep::Decode;
    job.scaleEighths = eighths;
    job.outWidth = ScaledSide(storedWidth_, eighths);
    job.outHeight = ScaledSide(storedHeight_, eighths);
    job.data = data_.data();
    job.size = data_.size();
    job.file = file_.get();
    job.output = grayscale_ || platform::DisplayDepth() <= 8 ? JpegOutput::Quantized : JpegOutput::Bgr;
    return job;
}

void TJPEGImage::DecodeInto(TBitmap& out, int eighths) const {
    JpegJob lower = DecodeJob(eighths);
    lower.pixels = out.ScanLine(0);
    lower.stride = out.Stride();
    // Rows at full size cost little beside the entropy decoding: the
    // inverse transform and the colour conversion run as SIMD code there.
    const int split = SplitRow(lower, eighths == 8 ? 4 : 20);
    if (split >= lower.outHeight) {
        RunBands(nullptr, lower);
        return;
    }
    JpegJob upper = lower;
    upper.endRow = split;
    lower.firstRow = split;
    RunBands(&upper, lower);
}

void TJPEGImage::DecodeStretched(TBitmap& target, const TRect& rect, int eighths) const {
    JpegJob lower = DecodeJob(eighths);
    const int w = lower.outWidth, h = lower.outHeight;
    if (orientation_ != 1) {
        // A turned photo is decoded small, turned upright, then stretched.
        CheckPixelBudget(w, h);
        TBitmap stored(w, h);
        DecodeInto(stored, eighths);
        target.StretchPixels(Orient(stored, orientation_).Source(), rect);
        return;
    }
    // A draw that shows nothing still decodes, so damaged data fails alike.
    const int top = std::max(rect.Top, 0), bottom = std::max(std::min(rect.Bottom, target.Height()), top);
    // Each band decodes a few rows at a time straight into its part of the
    // stretch.
    CheckPixelBudget(w, kBatchRows);
    SmoothStretcher lowerPart(target, w, h, rect);
    TBitmap lowerRows(w, kBatchRows);
    lower.pixels = lowerRows.ScanLine(0);
    lower.stride = lowerRows.Stride();
    lower.stretcher = &lowerPart;
    if (!WorthTwoBands(lower, bottom - top)) {
        RunBands(nullptr, lower);
        return;
    }
    SmoothStretcher upperPart(target, w, h, rect);
    TBitmap upperRows(w, kBatchRows);
    BandMeeting meeting(upperPart, lowerPart);
    JpegJob upper = lower;
    upper.pixels = upperRows.ScanLine(0);
    upper.stride = upperRows.Stride();
    upper.stretcher = &upperPart;
    upper.firstRow = upperPart.FirstRow();
    upper.endRow = upperPart.EndRow();
    upper.meeting = &meeting;
    lower.meeting = &meeting;
    lower.lowerBand = true;
    RunBands(&upper, lower);
}

bool TJPEGImage::WorthTwoBands(const JpegJob& job, int rows) const {
    const std::int64_t pixels = static_cast<std::int64_t>(job.outWidth) * job.outHeight;
    return job.output == JpegOutput::Bgr && skippable_ && pixels >= g_splitMinimumPixels && rows >= 2 &&
           std::thread::hardware_concurrency() >= 2;
}

int TJPEGImage::SplitRow(const JpegJob& job, int nsPerPixel) const {
    const int rows = job.outHeight;
    if (!WorthTwoBands(job, rows)) return rows;
    const std::int64_t pixels = static_cast<std::int64_t>(job.outWidth) * job.outHeight;
    // Timed on photos: the entropy decoding takes about 10 ns per compressed
    // byte, and the lower band pays for it above its rows too, at about 0.7
    // of that where the skimmer reads them; everything after it, which the
    // bands share, nsPerPixel per decoded pixel. The split evens out the two
    // threads' work.
    const double entropy = 10.0 * static_cast<double>(file_ ? file_->Size() : data_.size());
    const double skim = skimmable_ ? 0.7 : 1.0;
    const double rest = nsPerPixel * static_cast<double>(pixels);
    const double upperShare = (entropy + rest) / ((2 - skim) * entropy + 2 * rest);
    return std::min(std::max(static_cast<int>(upperShare * rows), 1), rows - 1);
}

void TJPEGImage::Decode() {
    if (decoded_) return;
    CheckPixelBudget(storedWidth_, storedHeight_);
    TBitmap pixels(storedWidth_, storedHeight_);
    DecodeInto(pixels);
    pixels_ = orientation_ == 1 ? std::move(pixels) : Orient(pixels, orientation_);
    decoded_ = true;
    // The pixels are all later draws need.
    std::vector<std::uint8_t>().swap(data_);
    file_.reset();
}

namespace {
bool AllBlack(const TBitmap& b) {
    const std::uint8_t* p = b.ScanLine(0);
    const std::size_t n = static_cast<std::size_t>(b.Stride()) * static_cast<std::size_t>(b.Height());
    std::uint8_t any = 0;
    for (std::size_t i = 0; i < n; i += 4096) {
        const std::size_t end = i + 4096 < n ? i + 4096 : n;
        for (std::size_t k = i; k < end; ++k)
            any |= p[k];
        if (any) return false;
    }
    return true;
}
} // namespace

void TJPEGImage::Draw(TBitmap& target, int x, int y) {
    // The usual first draw fills a new black bitmap of the picture's size:
    // decoding straight into it saves a second copy of the pixels. A failed
    // decode leaves it black again, as if nothing had been drawn; later draws
    // decode once more into the kept copy.
    if (!decoded_ && orientation_ == 1 && x == 0 && y == 0 && target.Width() == storedWidth_ &&
        target.Height() == storedHeight_ && storedWidth_ > 0 && storedHeight_ > 0 &&
        (target.KnownBlack() || AllBlack(target))) {
        try {
            DecodeInto(target);
        } catch (...) {
            target.FillBlack();
            throw;
        }
        return;
    }
    Decode();
    pixels_.Draw(target, x, y);
}

void TJPEGImage::StretchDraw(TBitmap& target, const TRect& rect) {
    if (!decoded_ && target.GetStretchFilter() == StretchFilter::Smooth) {
        const int eighths =
            ScaleEighthsFor(Width(), Height(), static_cast<std::int64_t>(rect.Right) - rect.Left,
                            static_cast<std::int64_t>(rect.Bottom) - rect.Top);
        if (eighths < 8) {
            DecodeStretched(target, rect, eighths);
            return;
        }
    }
    Decode();
    pixels_.StretchDraw(target, rect);
}

void TJPEGImage::SetSplitMinimumForTesting(std::int64_t pixels) {
    g_splitMinimumPixels = pixels;
}

void TJPEGImage::SetMeetingForTesting(int (*wanted)(int first, int end, int skimmed, int claimed)) {
    g_meetingPolicy = wanted;
}

int TJPEGImage::SplicesForTesting() {
    return g_splices.exchange(0);
}

std::unique_ptr<TGraphic> NewJpegImage() {
    return std::make_unique<TJPEGImage>();
}
