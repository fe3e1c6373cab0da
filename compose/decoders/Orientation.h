#pragma once
// Photos stored sideways or mirrored: the EXIF Orientation tag of a JPEG file
// and the turn or flip that shows its pixels upright. TIFF's own Orientation
// tag uses the same eight values.
#include "compose/Graphics.h"

#include <cstddef>
#include <cstdint>

// The Orientation value (1 to 8) of a JPEG file's EXIF block; 1 when the file
// has none, or a malformed one, or a value outside 1 to 8.
int ExifOrientation(const std::uint8_t* data, std::size_t size);

// True for the values whose upright picture swaps width and height.
inline bool SwapsSides(int orientation) {
    return orientation >= 5 && orientation <= 8;
}

// The stored pixel (sx, sy) that lands on (x, y) of the upright picture, for
// a stored picture of w x h.
inline void StoredPosition(int orientation, int w, int h, int x, int y, int& sx, int& sy) {
    sx = x;
    sy = y;
    switch (orientation) {
    case 2:
        sx = w - 1 - x;
        break;
    case 3:
        sx = w - 1 - x;
        sy = h - 1 - y;
        break;
    case 4:
        sy = h - 1 - y;
        break;
    case 5:
        sx = y;
        sy = x;
        break;
    case 6:
        sx = y;
        sy = h - 1 - x;
        break;
    case 7:
        sx = w - 1 - y;
        sy = h - 1 - x;
        break;
    case 8:
        sx = w - 1 - y;
        sy = x;
        break;
    default:
        break;
    }
}

// The stored pixels turned upright; 1 (or anything outside 2 to 8) copies.
TBitmap Orient(const TBitmap& stored, int orientation);
