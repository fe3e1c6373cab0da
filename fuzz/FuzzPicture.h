#pragma once
// The body of the fuzz targets of the library-decoded formats: load through
// our wrapper (with the pixel budget), then draw both ways into a small
// target. A German error is an expected outcome, anything else a finding.
#include "compose/Graphics.h"
#include "config/Messages.h"

#include <cstddef>
#include <cstdint>
#include <vector>

inline int FuzzPicture(const char* extension, const std::uint8_t* data, std::size_t size) {
#ifdef ZENKS_FUZZING
    // Pictures past a few million pixels take seconds under the sanitizers;
    // the budget's own handling is covered by the unit tests.
    SetPixelBudgetForTesting(std::uint64_t{16} << 20);
#endif
    auto picture = CreateGraphicForExtension(extension);
    try {
        picture->LoadFromData(std::vector<std::uint8_t>(data, data + size));
    } catch (const ZenksError&) {
        return 0;
    }
    TBitmap target(64, 48);
    picture->Draw(target, -3, 5);
    picture->StretchDraw(target, {2, -1, 61, 40});
    return 0;
}
