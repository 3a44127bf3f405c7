// The tile set's header and images, the cell-to-tile mapping and the drawing of one tile.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "tests/tiles/tile_pixels.hpp"
#include "tiles/tiles.hpp"

namespace {

class TileSet : public ::testing::Test {
protected:
    void SetUp() override { build_tile_set(); }
    void TearDown() override {
        release_tile_set();
        tile_allocate = std::malloc;
    }
};

// A buffer filled with a marker byte, to see exactly which bytes a draw writes.
struct Canvas {
    std::vector<unsigned char> bytes;
    PixelBuffer buffer;
};

constexpr unsigned char marker = 0x5A;

Canvas make_canvas(int32_t width, int32_t height, int32_t bytes_per_pixel, int32_t padding) {
    Canvas canvas;
    const int32_t stride = width * bytes_per_pixel + padding;
    canvas.bytes.assign(static_cast<size_t>(stride) * static_cast<size_t>(height), marker);
    canvas.buffer = PixelBuffer{canvas.bytes.data(), width, height, stride, bytes_per_pixel};
    return canvas;
}

Rgb canvas_pixel(const Canvas& canvas, int32_t x, int32_t y) {
    const PixelBuffer& b = canvas.buffer;
    const unsigned char* p = canvas.bytes.data() + y * b.stride + x * b.bytes_per_pixel;
    return Rgb{p[2], p[1], p[0]};
}

// The canvas after drawing tile `index` at (x, y), worked out pixel by pixel from the
// destination's side: inside the tile's square the image pixel, elsewhere the marker.
std::vector<unsigned char> expected_canvas(const Canvas& blank, int32_t index, int64_t x,
                                           int64_t y) {
    std::vector<unsigned char> want = blank.bytes;
    const PixelBuffer& b = blank.buffer;
    for (int32_t row = 0; row < b.height; ++row) {
        for (int32_t column = 0; column < b.width; ++column) {
            if (column < x || column >= x + 64 || row < y || row >= y + 64) {
                continue;
            }
            const Rgb c = image_pixel(tile_images[index], static_cast<int32_t>(column - x),
                                      static_cast<int32_t>(row - y));
            unsigned char* p = want.data() + row * b.stride + column * b.bytes_per_pixel;
            p[0] = static_cast<unsigned char>(c.blue);
            p[1] = static_cast<unsigned char>(c.green);
            p[2] = static_cast<unsigned char>(c.red);
            if (b.bytes_per_pixel == 4) {
                p[3] = 0xFF;
            }
        }
    }
    return want;
}

TEST_F(TileSet, HeaderDescribesA64By64BottomUp24BitImage) {
    const auto& h = tile_bitmap_info.bmiHeader;
    EXPECT_EQ(h.biSize, 40u);
    EXPECT_EQ(h.biWidth, 64);
    EXPECT_EQ(h.biHeight, 64);
    EXPECT_EQ(h.biPlanes, 1u);
    EXPECT_EQ(h.biBitCount, 24u);
    EXPECT_EQ(h.biCompression, 0u);
    EXPECT_EQ(h.biSizeImage, 0u);
    EXPECT_EQ(h.biXPelsPerMeter, 0);
    EXPECT_EQ(h.biYPelsPerMeter, 0);
    EXPECT_EQ(h.biClrUsed, 0u);
    EXPECT_EQ(h.biClrImportant, 0u);
    const auto& q = tile_bitmap_info.bmiColors[0];
    EXPECT_EQ(q.rgbBlue + q.rgbGreen + q.rgbRed + q.rgbReserved, 0);
}

TEST_F(TileSet, ImagesAreBlackThenTheFiveStoredPicturesInOrder) {
    ASSERT_NE(tile_images[0], nullptr);
    for (int32_t i = 0; i < tile_image_bytes; ++i) {
        ASSERT_EQ(tile_images[0][i], 0) << "byte " << i;
    }
    for (int32_t k = 1; k < tile_count; ++k) {
        ASSERT_NE(tile_images[k], nullptr);
        EXPECT_EQ(std::memcmp(tile_images[k], tile_art + (k - 1) * tile_image_bytes,
                              static_cast<size_t>(tile_image_bytes)),
                  0)
            << "tile " << k;
        EXPECT_NE(tile_images[k], tile_art + (k - 1) * tile_image_bytes) << "a copy, not an alias";
    }
}

TEST_F(TileSet, ReleaseClearsEveryEntryAndBuildingAgainWorks) {
    build_tile_set();  // a second build replaces the first (the leak checker sees any loss)
    release_tile_set();
    for (unsigned char* image : tile_images) {
        EXPECT_EQ(image, nullptr);
    }
    release_tile_set();  // twice is harmless
    build_tile_set();
    EXPECT_EQ(std::memcmp(tile_images[2], tile_art + tile_image_bytes,
                          static_cast<size_t>(tile_image_bytes)),
              0);
}

int32_t allocations_seen = 0;
int32_t failing_allocation = 0;

void* failing_allocate(std::size_t bytes) {
    return ++allocations_seen == failing_allocation ? nullptr : std::malloc(bytes);
}

TEST_F(TileSet, AFailedAllocationLeavesJustThatTileUndrawn) {
    for (int32_t failing = 1; failing <= tile_count; ++failing) {
        release_tile_set();
        allocations_seen = 0;
        failing_allocation = failing;
        tile_allocate = failing_allocate;
        build_tile_set();
        EXPECT_EQ(allocations_seen, tile_count);
        for (int32_t index = 0; index < tile_count; ++index) {
            EXPECT_EQ(tile_images[index] == nullptr, index == failing - 1) << index;
            Canvas canvas = make_canvas(70, 70, 3, 0);
            draw_tile_pixels(canvas.buffer, index, 3, 3);
            EXPECT_EQ(canvas_pixel(canvas, 40, 40) == grey_of(marker), index == failing - 1);
        }
    }
}

TEST(TileForCell, MapsTheSixCellValuesAndNothingElse) {
    const int32_t cells[] = {0, 1, 2, 4, 8, 16};
    for (int32_t cell = -128; cell <= 127; ++cell) {
        int32_t want = no_tile;
        for (int32_t index = 0; index < 6; ++index) {
            want = cells[index] == cell ? index : want;
        }
        EXPECT_EQ(tile_for_cell(cell), want) << "cell " << cell;
    }
    // Marked tiles and values beyond a byte have no tile either.
    for (int32_t cell : {0x20, 0x21, 0x30, 256, 257, -256, INT32_MIN, INT32_MAX}) {
        EXPECT_EQ(tile_for_cell(cell), no_tile) << "cell " << cell;
    }
}

TEST_F(TileSet, TileTwoAtColumnOneShowsTheNamedPixels) {
    Canvas canvas = make_canvas(192, 64, 3, 0);
    draw_tile_pixels(canvas.buffer, 2, 64, 0);
    EXPECT_EQ(canvas_pixel(canvas, 96, 32), (Rgb{254, 254, 132}));
    EXPECT_EQ(canvas_pixel(canvas, 64, 0), grey_of(164));
    EXPECT_EQ(canvas_pixel(canvas, 127, 63), grey_of(113));
    EXPECT_EQ(canvas_pixel(canvas, 63, 0), grey_of(marker));
    EXPECT_EQ(canvas_pixel(canvas, 128, 63), grey_of(marker));
}

TEST_F(TileSet, DrawCoversExactlyItsSquareInBothPixelSizes) {
    for (int32_t bytes_per_pixel : {3, 4}) {
        for (int32_t index = 0; index < tile_count; ++index) {
            Canvas canvas = make_canvas(150, 140, bytes_per_pixel, 5);  // padded rows
            const std::vector<unsigned char> want = expected_canvas(canvas, index, 37, 50);
            draw_tile_pixels(canvas.buffer, index, 37, 50);
            ASSERT_EQ(canvas.bytes, want) << bytes_per_pixel << " bytes, tile " << index;
        }
    }
}

TEST_F(TileSet, TilesAreUprightWithTheLightRimTopLeft) {
    Canvas canvas = make_canvas(64, 64, 4, 0);
    for (int32_t index = 1; index < tile_count; ++index) {
        draw_tile_pixels(canvas.buffer, index, 0, 0);
        for (int32_t i = 3; i < 61; i += 5) {
            EXPECT_EQ(canvas_pixel(canvas, i, 1), grey_of(164)) << index;   // top
            EXPECT_EQ(canvas_pixel(canvas, 1, i), grey_of(164)) << index;   // left
            EXPECT_EQ(canvas_pixel(canvas, i, 62), grey_of(113)) << index;  // bottom
            EXPECT_EQ(canvas_pixel(canvas, 62, i), grey_of(113)) << index;  // right
        }
    }
}

TEST_F(TileSet, EmptyTilePaintsItsSquareBlack) {
    Canvas canvas = make_canvas(64, 64, 3, 0);
    draw_tile_pixels(canvas.buffer, 0, 0, 0);
    EXPECT_EQ(canvas.bytes, std::vector<unsigned char>(canvas.bytes.size(), 0));
}

TEST_F(TileSet, DrawIsClippedAtEveryEdgeForAnyPosition) {
    const int64_t positions[] = {
        -64,       -63,           -1, 0, 1, 20, 35, 36, 99, 100, INT32_MIN, INT32_MIN + 1,
        INT32_MAX, INT32_MAX - 63};
    for (int32_t bytes_per_pixel : {3, 4}) {
        for (int64_t x : positions) {
            for (int64_t y : positions) {
                Canvas canvas = make_canvas(100, 100, bytes_per_pixel, 2);
                const std::vector<unsigned char> want = expected_canvas(canvas, 3, x, y);
                draw_tile_pixels(canvas.buffer, 3, static_cast<int32_t>(x),
                                 static_cast<int32_t>(y));
                ASSERT_EQ(canvas.bytes, want) << bytes_per_pixel << " bytes, at " << x << ", " << y;
            }
        }
    }
}

TEST_F(TileSet, NothingIsDrawnForABadIndexOrBuffer) {
    Canvas canvas = make_canvas(80, 80, 3, 0);
    const std::vector<unsigned char> blank = canvas.bytes;
    for (int32_t index : {-1, 6, 7, INT32_MIN, INT32_MAX, no_tile}) {
        draw_tile_pixels(canvas.buffer, index, 0, 0);
    }
    const PixelBuffer good = canvas.buffer;
    const PixelBuffer bad[] = {
        {good.pixels, 80, 80, 240, 2},  {good.pixels, 80, 80, 239, 3},
        {good.pixels, 80, 80, -240, 3}, {good.pixels, 0, 80, 240, 3},
        {good.pixels, 80, -5, 240, 3},  {nullptr, 80, 80, 240, 3},
    };
    for (const PixelBuffer& buffer : bad) {
        draw_tile_pixels(buffer, 1, 0, 0);
    }
    EXPECT_EQ(canvas.bytes, blank);
    release_tile_set();
    draw_tile_pixels(canvas.buffer, 1, 0, 0);  // not built: nothing
    EXPECT_EQ(canvas.bytes, blank);
}

}  // namespace
