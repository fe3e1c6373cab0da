#pragma once
// Factories of the decoders registered for the picture extensions.
#include "compose/Graphics.h"

std::unique_ptr<TGraphic> NewMetafile();  // Metafile.cpp: .wmf, .emf
std::unique_ptr<TGraphic> NewJpegImage(); // JpegImage.cpp: .jpeg, .jpg
std::unique_ptr<TGraphic> NewGifImage();  // GifImage.cpp: .gif
std::unique_ptr<TGraphic> NewPngImage();  // PngImage.cpp: .png
std::unique_ptr<TGraphic> NewWebPImage(); // WebPImage.cpp: .webp
std::unique_ptr<TGraphic> NewTiffImage(); // TiffImage.cpp: .tif, .tiff
std::unique_ptr<TGraphic> NewHeifImage(); // HeifImage_<system>.cpp: .heic, .heif
std::unique_ptr<TGraphic> NewAvifImage(); // HeifImage_<system>.cpp: .avif
std::unique_ptr<TGraphic> NewJxlImage();  // JxlImage_<system>.cpp: .jxl
#ifdef _WIN32
// Windows: WicImage_win32.cpp has the three above and this one, since the
// message for a missing codec names ".heic" and ".heif" apart.
std::unique_ptr<TGraphic> NewHeicImage(); // .heic
#endif
