#include "tiles/tiles.hpp"

#include <cstdlib>
#include <cstring>

unsigned char* tile_images[tile_count] = {};
TileBitmapInfo tile_bitmap_info = {};
TileAllocator tile_allocate = std::malloc;

namespace {

void fill_bitmap_header() {
    tile_bitmap_info = TileBitmapInfo{};
    tile_bitmap_info.bmiHeader.biSize = 40;
    tile_bitmap_info.bmiHeader.biWidth = tile_side;
    tile_bitmap_info.bmiHeader.biHeight = tile_side;  // positive: the rows run bottom-up
    tile_bitmap_info.bmiHeader.biPlanes = 1;
    tile_bitmap_info.bmiHeader.biBitCount = 24;
    tile_bitmap_info.bmiHeader.biCompression = 0;  // BI_RGB
}

unsigned char* allocate_image() {
    return static_cast<unsigned char*>(tile_allocate(static_cast<std::size_t>(tile_image_bytes)));
}

int64_t larger(int64_t a, int64_t b) {
    return a > b ? a : b;
}

int64_t smaller(int64_t a, int64_t b) {
    return a < b ? a : b;
}

bool is_drawable_buffer(const PixelBuffer& target) {
    if (target.pixels == nullptr || target.width <= 0 || target.height <= 0) {
        return false;
    }
    if (target.bytes_per_pixel != 3 && target.bytes_per_pixel != 4) {
        return false;
    }
    return int64_t{target.stride} >= int64_t{target.width} * target.bytes_per_pixel;
}

}  // namespace

void build_tile_set() {
    release_tile_set();  // building twice must not leak the first set
    fill_bitmap_header();
    tile_images[0] = allocate_image();
    if (tile_images[0] != nullptr) {
        std::memset(tile_images[0], 0, static_cast<std::size_t>(tile_image_bytes));
    }
    for (int32_t k = 1; k < tile_count; ++k) {
        tile_images[k] = allocate_image();
        if (tile_images[k] != nullptr) {
            std::memcpy(tile_images[k], tile_art + (k - 1) * tile_image_bytes,
                        static_cast<std::size_t>(tile_image_bytes));
        }
    }
}

void release_tile_set() {
    for (unsigned char*& image : tile_images) {
        std::free(image);
        image = nullptr;
    }
}

int32_t tile_for_cell(int32_t cell) {
    switch (cell) {
        case 0:
            return 0;
        case 1:
            return 1;
        case 2:
            return 2;
        case 4:
            return 3;
        case 8:
            return 4;
        case 16:
            return 5;
        default:
            return no_tile;
    }
}

void draw_tile_pixels(const PixelBuffer& target, int32_t index, int32_t x, int32_t y) {
    if (index < 0 || index >= tile_count || tile_images[index] == nullptr) {
        return;
    }
    if (!is_drawable_buffer(target)) {
        return;
    }
    // 64-bit bounds so that x + 64 cannot overflow for any x.
    const int64_t left = larger(x, 0);
    const int64_t right = smaller(int64_t{x} + tile_side, target.width);
    const int64_t top = larger(y, 0);
    const int64_t bottom = smaller(int64_t{y} + tile_side, target.height);
    const unsigned char* image = tile_images[index];
    const int64_t pixel_bytes = target.bytes_per_pixel;
    for (int64_t row = top; row < bottom; ++row) {
        // The image's first row is the bottom of the picture.
        const unsigned char* source =
            image + (tile_side - 1 - (row - y)) * tile_row_bytes + (left - x) * 3;
        unsigned char* destination = target.pixels + row * target.stride + left * pixel_bytes;
        for (int64_t column = left; column < right; ++column) {
            destination[0] = source[0];
            destination[1] = source[1];
            destination[2] = source[2];
            if (pixel_bytes == 4) {
                destination[3] = 0xFF;
            }
            source += 3;
            destination += pixel_bytes;
        }
    }
}
