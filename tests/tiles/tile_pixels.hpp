// Reading the stored pictures in picture coordinates: x from the left, y from the top.
#pragma once

#include <cstdint>
#include <ostream>

#include "tiles/tiles.hpp"

struct Rgb {
    int32_t red;
    int32_t green;
    int32_t blue;
    bool operator==(const Rgb& other) const {
        return red == other.red && green == other.green && blue == other.blue;
    }
};

inline std::ostream& operator<<(std::ostream& out, const Rgb& c) {
    return out << "(" << c.red << ", " << c.green << ", " << c.blue << ")";
}

inline Rgb grey_of(int32_t level) {
    return Rgb{level, level, level};
}

// Pixel (x, y) of a bottom-up, blue-green-red 64 x 64 image.
inline Rgb image_pixel(const unsigned char* image, int32_t x, int32_t y) {
    const unsigned char* p = image + (63 - y) * tile_row_bytes + x * 3;
    return Rgb{p[2], p[1], p[0]};
}

// Pixel (x, y) of stored picture `tile`, 1 ... 5 as the tile indices count.
inline Rgb art_pixel(int32_t tile, int32_t x, int32_t y) {
    return image_pixel(tile_art + (tile - 1) * tile_image_bytes, x, y);
}

inline bool in_face_box(int32_t x, int32_t y) {
    return x >= 14 && x <= 49 && y >= 13 && y <= 50;
}
