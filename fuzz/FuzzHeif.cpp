// Feeds arbitrary bytes to the HEIF and AVIF decoder (one for both containers).
#include "fuzz/FuzzPicture.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return FuzzPicture("heif", data, size);
}
