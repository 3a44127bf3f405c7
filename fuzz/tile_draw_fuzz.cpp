// draw_tile_pixels into random buffers: any size, stride, pixel size, index and position.
// Every byte of the buffer is checked: inside the tile it holds the tile's pixel (and 255 for
// a fourth byte), everywhere else, padding included, it keeps its old value; a buffer or an
// index that cannot be drawn is left alone entirely.
#include <cstdint>
#include <vector>

#include "fuzz/fuzz_input.hpp"
#include "tiles/tiles.hpp"

namespace {

// The byte the tile puts at buffer pixel (px, py), channel c, or -1 where it draws nothing.
int expected_byte(int32_t index, int32_t x, int32_t y, int64_t px, int64_t py, int64_t c) {
    const int64_t tx = px - x;
    const int64_t ty = py - y;
    if (tx < 0 || tx >= tile_side || ty < 0 || ty >= tile_side) {
        return -1;
    }
    if (c == 3) {
        return 255;
    }
    // Images are stored bottom row first.
    return tile_images[index][(tile_side - 1 - ty) * tile_row_bytes + tx * 3 + c];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    FuzzInput input{data, size, 0};
    const uint8_t flags = next_byte(input);
    if ((flags & 7) == 0) {
        release_tile_set();
    } else if (tile_images[0] == nullptr) {
        build_tile_set();
    }
    const int32_t width = next_near(input, 0, 200);
    const int32_t height = next_near(input, 0, 200);
    const int32_t bytes_per_pixel = next_near(input, 3, 2);
    const int64_t tight = int64_t{width} * bytes_per_pixel;
    const int64_t stride_wide = tight - 8 + next_byte(input) % 24;
    const int32_t stride = (flags & 8) != 0 ? next_int32(input)
                                             : static_cast<int32_t>(stride_wide);
    const int32_t index = next_near(input, 0, 6);
    const int32_t x = next_near(input, -64, 200);
    const int32_t y = next_near(input, -64, 200);
    // Memory for what a drawable description claims, when that is not too much; a few bytes
    // for any other, which must then be left alone (a write past them would be caught).
    const bool drawable = width > 0 && height > 0 &&
                          (bytes_per_pixel == 3 || bytes_per_pixel == 4) && int64_t{stride} >= tight;
    const int64_t claimed = drawable ? int64_t{stride} * height : 16;
    if (claimed > (int64_t{1} << 22)) {
        return 0;
    }
    std::vector<unsigned char> pixels(static_cast<std::size_t>(claimed));
    const uint8_t fill = next_byte(input);
    for (std::size_t i = 0; i < pixels.size(); ++i) {
        pixels[i] = static_cast<unsigned char>(fill + i * 7);
    }
    const std::vector<unsigned char> before = pixels;
    unsigned char* start = (flags & 16) != 0 ? nullptr : pixels.data();
    draw_tile_pixels(PixelBuffer{start, width, height, stride, bytes_per_pixel}, index, x, y);
    const bool draws = drawable && start != nullptr && index >= 0 && index < tile_count &&
                       tile_images[index] != nullptr;
    for (std::size_t i = 0; i < pixels.size(); ++i) {
        if (!draws) {
            check(pixels[i] == before[i]);
            continue;
        }
        const int64_t py = static_cast<int64_t>(i) / stride;
        const int64_t offset = static_cast<int64_t>(i) % stride;
        const int64_t px = offset / bytes_per_pixel;
        const int expected =
            px < width ? expected_byte(index, x, y, px, py, offset % bytes_per_pixel) : -1;
        check(pixels[i] == (expected < 0 ? before[i] : expected));
    }
    return 0;
}
