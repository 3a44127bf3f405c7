// The six 64 x 64 tile images (empty + five colours), their bitmap description, the
// cell-to-tile mapping, and a portable draw of one tile into a plain pixel buffer.
#pragma once

#include <cstddef>
#include <cstdint>

#include "tiles/pixel_buffer.hpp"

#ifdef _WIN32
#include <windows.h>
using TileBitmapInfo = BITMAPINFO;
#else
// The same header fields and values as the Windows BITMAPINFO.
struct TileBitmapInfoHeader {
    uint32_t biSize;
    int32_t biWidth;
    int32_t biHeight;
    uint16_t biPlanes;
    uint16_t biBitCount;
    uint32_t biCompression;
    uint32_t biSizeImage;
    int32_t biXPelsPerMeter;
    int32_t biYPelsPerMeter;
    uint32_t biClrUsed;
    uint32_t biClrImportant;
};
struct TileBitmapQuad {
    uint8_t rgbBlue, rgbGreen, rgbRed, rgbReserved;
};
struct TileBitmapInfo {
    TileBitmapInfoHeader bmiHeader;
    TileBitmapQuad bmiColors[1];
};
#endif

constexpr int32_t tile_side = 64;
constexpr int32_t tile_row_bytes = tile_side * 3;
constexpr int32_t tile_image_bytes = tile_row_bytes * tile_side;  // 12,288
constexpr int32_t tile_count = 6;
constexpr int32_t no_tile = -1;

// Five pictures, colours 1, 2, 4, 8, 16 in turn; bottom-up rows, blue-green-red.
extern const unsigned char tile_art[5 * tile_image_bytes];

extern unsigned char* tile_images[tile_count];
extern TileBitmapInfo tile_bitmap_info;

// Allocation used for the six images; tests replace it to make allocations fail. Images are
// released with std::free.
using TileAllocator = void* (*)(std::size_t bytes);
extern TileAllocator tile_allocate;

// Fills the header and allocates the six images (releasing any built before). An image whose
// allocation fails stays null and is simply never drawn; the others are built as usual.
void build_tile_set();
void release_tile_set();
// Tile index 0 ... 5 for a cell value, or no_tile.
int32_t tile_for_cell(int32_t cell);
// The cell value whose tile, the sunflower, is also the program's icon.
constexpr int32_t icon_cell = 1;

// Copies tile `index` 1:1, opaque and upright, with its top-left corner at (x, y),
// clipped to the buffer. Any x and y are safe; an index outside 0 ... 5, a tile set not
// built, or a buffer that is null, empty, of another pixel size or too narrow a stride draws
// nothing.
void draw_tile_pixels(const PixelBuffer& target, int32_t index, int32_t x, int32_t y);
