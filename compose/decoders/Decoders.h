#pragma once
// Factories of the decoders registered for the picture extensions.
#include "compose/Graphics.h"

std::unique_ptr<TGraphic> NewMetafile();  // Metafile.cpp: .wmf, .emf
std::unique_ptr<TGraphic> NewJpegImage(); // JpegImage.cpp: .jpeg, .jpg
std::unique_ptr<TGraphic> NewGifImage();  // GifImage.cpp: .gif
