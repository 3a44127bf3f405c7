// The browser page: its script calls these for the canvas's creation, paints, mouse presses
// and the page's end, and they call the portable handlers of app.hpp.
#include <emscripten/emscripten.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "app/app.hpp"

namespace {

// Browsers refuse canvases far beyond this, and the picture lives in the module's memory:
// 4096 x 4096 is 64 MB, more than any screen shows.
constexpr int32_t canvas_limit = 4096;

int32_t canvas_width = 1;
int32_t canvas_height = 1;
// The canvas's picture, four bytes a pixel, top row first.
std::vector<unsigned char> canvas_pixels;
std::vector<signed char> shown;

// The tiles are drawn blue-green-red-alpha; the canvas takes red first.
void swap_red_and_blue() {
    for (std::size_t at = 0; at + 3 < canvas_pixels.size(); at += 4) {
        const unsigned char blue = canvas_pixels[at];
        canvas_pixels[at] = canvas_pixels[at + 2];
        canvas_pixels[at + 2] = blue;
    }
}

}  // namespace

extern "C" {

// `tail` is the page's query string, decoded: the command line after the program's name.
EMSCRIPTEN_KEEPALIVE void quillop_read_numbers(const char* tail) {
    read_parameters(tail);
    canvas_width = client_extent(requested_width, canvas_limit);
    canvas_height = client_extent(requested_height, canvas_limit);
}

// The colours asked for, as read: the deal takes 2 to 5 of them.
EMSCRIPTEN_KEEPALIVE int32_t quillop_colour_count() {
    return colour_count;
}

EMSCRIPTEN_KEEPALIVE int32_t quillop_canvas_width() {
    return canvas_width;
}

EMSCRIPTEN_KEEPALIVE int32_t quillop_canvas_height() {
    return canvas_height;
}

EMSCRIPTEN_KEEPALIVE void quillop_create() {
    handle_create();
}

// White, then the cells that meet the canvas. Returns the red-green-blue-alpha picture,
// canvas_width x canvas_height, for the script to put on the canvas.
EMSCRIPTEN_KEEPALIVE const unsigned char* quillop_paint() {
    const std::size_t bytes =
        static_cast<std::size_t>(canvas_width) * static_cast<std::size_t>(canvas_height) * 4;
    canvas_pixels.assign(bytes, 255);
    handle_paint_pixels(
        PixelBuffer{canvas_pixels.data(), canvas_width, canvas_height, canvas_width * 4, 4});
    swap_red_and_blue();
    return canvas_pixels.data();
}

// A canvas pixel; the script has already taken the page's scroll and zoom out of it.
EMSCRIPTEN_KEEPALIVE void quillop_left_button(int32_t x, int32_t y) {
    handle_left_button(pack_client_point(x, y));
}

EMSCRIPTEN_KEEPALIVE void quillop_right_button() {
    handle_right_button();
}

EMSCRIPTEN_KEEPALIVE void quillop_new_deal() {
    handle_new_deal();
}

EMSCRIPTEN_KEEPALIVE void quillop_deal_seeded(uint32_t seed) {
    handle_deal_seeded(seed);
}

// A move by cell: "Show me" plays the solver's moves, which may lie beyond the canvas.
EMSCRIPTEN_KEEPALIVE void quillop_play_cell(int32_t column, int32_t row) {
    handle_play_cell(column, row);
}

// The current cells, top row first, quillop_board_width() x quillop_board_height() of them,
// for the solver's worker; valid until the next call.
EMSCRIPTEN_KEEPALIVE const signed char* quillop_cells() {
    shown = shown_cells();
    return shown.data();
}

EMSCRIPTEN_KEEPALIVE int32_t quillop_board_width() {
    return shown_width();
}

EMSCRIPTEN_KEEPALIVE int32_t quillop_board_height() {
    return shown_height();
}

EMSCRIPTEN_KEEPALIVE int32_t quillop_tiles_left() {
    return tiles_left();
}

EMSCRIPTEN_KEEPALIVE int32_t quillop_any_move_left() {
    return any_move_left() ? 1 : 0;
}

EMSCRIPTEN_KEEPALIVE void quillop_destroy() {
    handle_destroy();
    std::vector<unsigned char>().swap(canvas_pixels);
}

}  // extern "C"
