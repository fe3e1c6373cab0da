// Feeds arbitrary bytes to the .webp decoder.
#include "fuzz/FuzzPicture.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return FuzzPicture("webp", data, size);
}
