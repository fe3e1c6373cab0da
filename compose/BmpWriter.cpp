#include "compose/BmpWriter.h"

#include "compose/Graphics.h"
#include "config/Messages.h"
#include "platform/Platform.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

constexpr std::uint32_t kFileHeaderSize = 14;
constexpr std::uint32_t kInfoHeaderSize = 40;

void Put16(std::uint8_t*& p, std::uint16_t v) {
    *p++ = static_cast<std::uint8_t>(v);
    *p++ = static_cast<std::uint8_t>(v >> 8);
}

void Put32(std::uint8_t*& p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        *p++ = static_cast<std::uint8_t>(v >> (8 * i));
}

} // namespace

void SaveBitmapToFile(const TBitmap& bitmap, const std::string& path) {
    const int width = bitmap.Width(), height = bitmap.Height();
    const std::size_t stride = static_cast<std::size_t>(TBitmap::StrideFor(width));
    const std::size_t rowBytes = static_cast<std::size_t>(width) * 3;
    // Bitmaps are capped at 1 GiB, so every size fits the 32-bit fields.
    const std::uint32_t imageSize = static_cast<std::uint32_t>(stride * static_cast<std::size_t>(height));
    const std::uint32_t offBits = kFileHeaderSize + kInfoHeaderSize;

    std::uint8_t header[kFileHeaderSize + kInfoHeaderSize];
    std::uint8_t* p = header;
    *p++ = 'B';
    *p++ = 'M';
    Put32(p, offBits + imageSize); // bfSize
    Put16(p, 0);                   // bfReserved1
    Put16(p, 0);                   // bfReserved2
    Put32(p, offBits);             // bfOffBits
    Put32(p, kInfoHeaderSize);     // biSize
    Put32(p, static_cast<std::uint32_t>(width));
    Put32(p, static_cast<std::uint32_t>(height)); // positive: bottom-up
    Put16(p, 1);                                  // biPlanes
    Put16(p, 24);                                 // biBitCount
    Put32(p, 0);                                  // biCompression = BI_RGB
    Put32(p, imageSize);
    Put32(p, 2835); // 72 dpi in pixels per metre
    Put32(p, 2835);
    Put32(p, 0); // biClrUsed
    Put32(p, 0); // biClrImportant

    const bool ok = platform::AtomicWriteFileStreamed(path, [&](const platform::ChunkWriter& write) {
        if (!write(header, sizeof header)) return false;
        // Rows go out in batches through one buffer, with the padding zeroed,
        // instead of as a second whole copy of the picture.
        const std::size_t rowsPerChunk =
            std::max<std::size_t>(1, (1u << 20) / std::max<std::size_t>(stride, 1));
        std::vector<std::uint8_t> chunk(
            std::min<std::size_t>(rowsPerChunk, static_cast<std::size_t>(height)) * stride);
        for (int y = height - 1; y >= 0;) {
            std::size_t used = 0;
            for (std::size_t n = 0; n < rowsPerChunk && y >= 0; ++n, --y, used += stride) {
                std::memcpy(chunk.data() + used, bitmap.ScanLine(y), rowBytes);
                std::memset(chunk.data() + used + rowBytes, 0, stride - rowBytes);
            }
            if (!write(chunk.data(), used)) return false;
        }
        return true;
    });
    if (!ok) Throw(Msg::CannotCreate, {path});
}
