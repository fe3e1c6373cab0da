#pragma once
// The size arithmetic of fitting, separate from loading and drawing so that it
// can be checked on its own.
#include "platform/Platform.h"

#include <cstdint>
#include <optional>

class TOptionen;
class TBitmap;
class TGraphic;

// The working values of one composition. 64 bits, because hostile settings
// (negative or enormous fixed sizes) push the intermediate results past 32.
struct FitGeometry {
    bool tile = false;
    // Tile case only: repeat the tile into W x H (KachelTyp 1).
    bool repeat = false;
    std::int64_t W = 0, H = 0, X = 0, Y = 0, DW = 0, DH = 0;
    // True when the picture is copied unscaled; otherwise black fill and stretch.
    bool plainCopy = false;
};

// The output size and placement for a w x h source. exact is false for
// metafiles, which are measured as the screen. Throws "Gleitkommadivision
// durch Null" for a division by a zero size.
FitGeometry ComputeFitGeometry(const TOptionen& options, int w, int h, bool exact,
                               platform::ScreenDims screen);

// Steps after the load: measures source, composes it into target. Throws the
// failure's message; target may be left partly composed. screen is the
// primary display's size unless given (one monitor's size when each monitor
// gets a picture of its own).
void ComposeFit(const TOptionen& options, TBitmap& target, TGraphic& source, bool isMetafile,
                std::optional<platform::ScreenDims> screen = std::nullopt);
