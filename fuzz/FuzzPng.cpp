// Feeds arbitrary bytes to the .png decoder.
#include "fuzz/FuzzPicture.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return FuzzPicture("png", data, size);
}
