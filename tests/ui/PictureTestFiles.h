#pragma once
// Test pictures for the list page and the slide show: plain-coloured BMP
// files written with the program's own BMP writer.
#include "compose/BmpWriter.h"
#include "compose/Graphics.h"

#include <cstdint>
#include <filesystem>
#include <string>

namespace uitest {

struct Colour {
    std::uint8_t r, g, b;
};

inline void WritePicture(const std::filesystem::path& file, int width, int height, Colour c) {
    std::filesystem::create_directories(file.parent_path());
    TBitmap bitmap(width, height);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* p = bitmap.ScanLine(y);
        for (int x = 0; x < width; ++x, p += 3) {
            p[0] = c.b;
            p[1] = c.g;
            p[2] = c.r;
        }
    }
    SaveBitmapToFile(bitmap, file.string());
}

} // namespace uitest
