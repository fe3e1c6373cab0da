#pragma once
// Reaching a row in the middle of a baseline JPEG scan without decoding the
// rows above. A scan without restart markers can only be read from its start,
// and libjpeg's own row skipping still decodes every Huffman symbol above.
// The skimmer here reads the same symbols faster, with tables that take
// several at a time, and notes where each row of MCUs begins. A spliced stream
// then lets libjpeg start at such a row: the header again with a smaller
// height, one row of blocks that sets the DC predictors (its pixels are not
// wanted), then the original bytes from that row on.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace jpegskim {

struct Huffman {
    std::uint8_t bits[17] = {}; // bits[l]: how many codes of length l
    std::uint8_t values[256] = {};
};

// One interleaved scan of 2 to 4 components.
struct Layout {
    int mcusPerRow = 0;
    int mcuRows = 0;
    int components = 0;
    int blocks[4] = {}; // each component's blocks per MCU
    Huffman dc[4];
    Huffman ac[4];
};

// Up to n bytes from offset; fewer only at the end.
using ReadFn = std::function<std::size_t(std::uint64_t offset, std::uint8_t* to, std::size_t n)>;

// Where a row of MCUs begins.
struct RowStart {
    std::uint64_t byte = 0; // the data byte holding the row's first bit
    int bit = 0;            // how many of its bits the row above used
    std::uint8_t value = 0; // the byte itself
    int dc[4] = {};         // the DC predictors
};

class Skimmer {
  public:
    // scanStart: where the scan's entropy-coded data begins.
    Skimmer(const Layout& layout, ReadFn read, std::uint64_t scanStart);
    ~Skimmer();
    Skimmer(const Skimmer&) = delete;
    Skimmer& operator=(const Skimmer&) = delete;

    // False when the tables are unusable; nothing can be skimmed then.
    bool Usable() const;
    // Skims on to the start of MCU row `row`. False when the data before it
    // cannot be read as libjpeg reads it: a marker, a code no table has, the
    // end of the data. Rows already reached stay known.
    bool SkimTo(int row);
    // Rows whose start is known: [0, Reached()].
    int Reached() const;
    const RowStart& Start(int row) const;

  private:
    struct State;
    std::unique_ptr<State> s_;
};

// Appends the bytes libjpeg is to read after the spliced header, before the
// original's from resumeAt: one row of blocks that ends with the DC
// predictors of `at` and with exactly `at.bit` bits in its last byte, whose
// other bits are those of the original's byte there. False when the tables
// lack a code the row needs.
bool SpliceRow(const Layout& layout, const RowStart& at, std::vector<std::uint8_t>& out,
               std::uint64_t& resumeAt);

// The markers before the first scan (SOI up to and including SOS) with the
// frame's height set to `height`. False when they are not a plain sequence of
// marker segments with one baseline or extended frame header.
bool WithHeight(const std::uint8_t* head, std::size_t size, int height, std::vector<std::uint8_t>& out);

} // namespace jpegskim
