// The paint handler on random boards, requested sizes and rectangles: every requested cell
// that meets the rectangle and holds a tile is drawn exactly once, at its place and with its
// tile, and nothing else is drawn.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "app/app.hpp"
#include "board/board.hpp"
#include "board/engine.hpp"
#include "fuzz/fuzz_input.hpp"
#include "tiles/tiles.hpp"

namespace {

struct Drawn {
    int32_t index, x, y;
};

void record(void* context, int32_t index, int32_t x, int32_t y) {
    auto* drawn = static_cast<std::vector<Drawn>*>(context);
    check(drawn->size() < (1u << 20));
    drawn->push_back(Drawn{index, x, y});
}

int64_t floor_div(int64_t value, int64_t divisor) {
    const int64_t quotient = value / divisor;
    return quotient * divisor > value ? quotient - 1 : quotient;
}

// Cell (column, row) covers the pixels [column * 64, column * 64 + 64) and the same down;
// the rectangle [left, right) x [top, bottom) is empty unless left < right and top < bottom.
bool meets(int64_t column, int64_t row, const int32_t rect[4]) {
    return rect[0] < rect[2] && rect[1] < rect[3] && column * 64 < rect[2] && column * 64 + 64 > rect[0] && row * 64 < rect[3] &&
           row * 64 + 64 > rect[1];
}

// The requested cells that meet the rectangle, counted without visiting them; the harness
// skips paints that would visit more than a few thousand cells of nothing.
int64_t cells_met(const int32_t rect[4]) {
    if (rect[2] <= rect[0] || rect[3] <= rect[1]) {
        return 0;
    }
    const auto span = [](int64_t low, int64_t high, int64_t requested) {
        const int64_t first = floor_div(low, 64) < 0 ? 0 : floor_div(low, 64);
        const int64_t end = floor_div(high + 63, 64) < requested ? floor_div(high + 63, 64)
                                                                  : requested;
        return end > first ? end - first : 0;
    };
    return span(rect[0], rect[2], requested_width) * span(rect[1], rect[3], requested_height);
}

void check_paint(const int32_t rect[4]) {
    std::vector<Drawn> drawn;
    handle_paint(rect[0], rect[1], rect[2], rect[3], record, &drawn);
    // In paint order, row by row: strictly increasing positions mean no cell twice.
    int64_t previous = -1;
    for (const Drawn& d : drawn) {
        check(d.x >= 0 && d.y >= 0 && d.x % 64 == 0 && d.y % 64 == 0);
        const int32_t column = d.x / 64;
        const int32_t row = d.y / 64;
        check(column < requested_width && row < requested_height && meets(column, row, rect));
        check(d.index != no_tile && d.index == tile_for_cell(board_cell(column, row)));
        const int64_t order = int64_t{row} * (int64_t{1} << 32) + column;
        check(order > previous);
        previous = order;
    }
    // Only board cells map to a tile: count those that should have been drawn.
    std::size_t expected = 0;
    for (int32_t row = 0; row < board_height && row < requested_height; ++row) {
        for (int32_t column = 0; column < board_width && column < requested_width; ++column) {
            if (meets(column, row, rect) && tile_for_cell(board_cell(column, row)) != no_tile) {
                ++expected;
            }
        }
    }
    check(drawn.size() == expected);
}

// Pixel coordinates mostly around a board of a few dozen cells, sometimes anything.
int32_t next_pixel(FuzzInput& input) {
    const int64_t value = int64_t{next_near(input, -4, 40)} * 64 + next_near(input, -2, 68);
    return static_cast<int32_t>(value < INT32_MIN ? INT32_MIN : (value > INT32_MAX ? INT32_MAX : value));
}

// Boards of a few thousand cells at most keep every paint's check quick.
void* small_allocate(std::size_t bytes) {
    return bytes > (1u << 14) ? nullptr : std::malloc(bytes);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    board_allocate = small_allocate;
    FuzzInput input{data, size, 0};
    colour_count = next_byte(input) % 6;
    requested_width = next_near(input, 0, 24);
    requested_height = next_near(input, 0, 24);
    handle_create();
    if (current_origin == nullptr) {  // too large to deal: a small board under a large request
        deal_board_seeded(colour_count, 2 + next_byte(input) % 30, 2 + next_byte(input) % 30, 1);
    }
    // A marked cell is never left by a move, but must not be drawn if it were.
    if (current_origin != nullptr && (next_byte(input) & 1) != 0) {
        current_origin[0] = static_cast<Cell>(current_origin[0] | static_cast<Cell>(marked_bit));
    }
    while (more(input)) {
        const int32_t rect[4] = {next_pixel(input), next_pixel(input), next_pixel(input),
                                 next_pixel(input)};
        if (cells_met(rect) <= 20000) {
            check_paint(rect);
        }
    }
    handle_destroy();
    return 0;
}
