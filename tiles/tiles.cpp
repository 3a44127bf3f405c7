#include "tiles/tiles.hpp"

#include <cstdlib>
#include <cstring>

#include "board/board.hpp"

unsigned char* tile_images[tile_count] = {};
TileBitmapInfo tile_bitmap_info = {};
TileAllocator tile_allocate = std::malloc;

namespace {

// The images again as top-down rows of 4-byte pixels (blue, green, red, 255), made when the set
// is built, so that drawing into a 4-byte buffer copies whole rows instead of converting every
// pixel on every paint. Fixed storage: the set's allocations stay the six images.
constexpr int32_t wide_row_bytes = tile_side * 4;
unsigned char wide_images[tile_count][wide_row_bytes * tile_side];

void widen_image(int32_t index) {
    const unsigned char* source = tile_images[index];
    unsigned char* target = wide_images[index];
    for (int32_t row = 0; row < tile_side; ++row) {
        // The image's first row is the bottom of the picture.
        const unsigned char* pixel = source + (tile_side - 1 - row) * tile_row_bytes;
        for (int32_t column = 0; column < tile_side; ++column) {
            target[0] = pixel[0];
            target[1] = pixel[1];
            target[2] = pixel[2];
            target[3] = 0xFF;
            pixel += 3;
            target += 4;
        }
    }
}

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
    for (int32_t k = 0; k < tile_count; ++k) {
        if (tile_images[k] != nullptr) {
            widen_image(k);
        }
    }
}

void release_tile_set() {
    for (unsigned char*& image : tile_images) {
        std::free(image);
        image = nullptr;
    }
}

// Tile k pictures colour k, and a value of no colour has no tile.
static_assert(no_tile == -1, "colour_number gives -1 for a value of no colour");

int32_t tile_for_cell(int32_t cell) {
    return colour_number(cell);
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
    if (left >= right || top >= bottom) {
        return;
    }
    if (target.bytes_per_pixel == 4) {
        const std::size_t bytes = static_cast<std::size_t>(right - left) * 4;
        for (int64_t row = top; row < bottom; ++row) {
            const unsigned char* source =
                wide_images[index] + (row - y) * wide_row_bytes + (left - x) * 4;
            std::memcpy(target.pixels + row * target.stride + left * 4, source, bytes);
        }
        return;
    }
    const unsigned char* image = tile_images[index];
    for (int64_t row = top; row < bottom; ++row) {
        // The image's first row is the bottom of the picture.
        const unsigned char* source =
            image + (tile_side - 1 - (row - y)) * tile_row_bytes + (left - x) * 3;
        std::memcpy(target.pixels + row * target.stride + left * 3, source,
                    static_cast<std::size_t>(right - left) * 3);
    }
}
