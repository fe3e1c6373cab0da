#pragma once
// Platform playback of a metafile onto a bitmap: GDI on Windows.
#include "compose/Graphics.h"

#include <cstdint>
#include <vector>

// Plays the whole file content (a placeable WMF with its 22-byte header, or
// an EMF) stretched into rect of target; what the records leave untouched
// keeps the bitmap's pixels. False when the platform cannot play it.
bool PlayMetafileInto(const std::vector<std::uint8_t>& data, TBitmap& target, const TRect& rect);
