#pragma once
// Factories of the decoders registered for the picture extensions.
#include "compose/Graphics.h"

std::unique_ptr<TGraphic> NewMetafile();  // Metafile.cpp: .wmf, .emf
std::unique_ptr<TGraphic> NewJpegImage(); // JpegImage.cpp: .jpeg, .jpg
std::unique_ptr<TGraphic> NewGifImage();  // GifImage.cpp: .gif
std::unique_ptr<TGraphic> NewPngImage();  // PngImage.cpp: .png
std::unique_ptr<TGraphic> NewWebPImage(); // WebPImage.cpp: .webp
std::unique_ptr<TGraphic> NewTifImage();  // TiffImage.cpp: .tif
std::unique_ptr<TGraphic> NewTiffImage(); // TiffImage.cpp: .tiff
// HeifImage_linux.cpp, JxlImage_linux.cpp or WicImage_win32.cpp; .heic and
// .heif apart, since the message for a missing decoder names the extension.
std::unique_ptr<TGraphic> NewHeifImage(); // .heif
std::unique_ptr<TGraphic> NewHeicImage(); // .heic
std::unique_ptr<TGraphic> NewAvifImage(); // .avif
std::unique_ptr<TGraphic> NewJxlImage();  // .jxl
