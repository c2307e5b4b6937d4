// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// The Donate picture that the Windows build shows on its picture button: a PNG carried in the
// program's own data.
extern const unsigned char donatePicturePng[];
extern const std::size_t donatePicturePngSize;

// A decoded picture: rows top to bottom, 4 bytes a pixel (red, green, blue, alpha).
struct RgbaPicture {
    int width = 0, height = 0;
    std::vector<std::uint8_t> pixels;
};

// Decodes PNG bytes with libpng's simplified API; false (and an empty picture) when they are
// not a PNG that libpng can read.
bool decodePng(const unsigned char* bytes, std::size_t size, RgbaPicture& picture);
