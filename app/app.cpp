#include "app/app.hpp"

#include <cstdint>
#include <vector>

#include "board/board.hpp"
#include "tiles/tiles.hpp"

int32_t colour_count = 0;
int32_t requested_width = 0;
int32_t requested_height = 0;

namespace {

bool is_blank_or_tab(char c) {
    return c == ' ' || c == '\t';
}

bool is_white_space(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

const char* skip_blanks_and_tabs(const char* text) {
    while (is_blank_or_tab(*text)) {
        ++text;
    }
    return text;
}

// Two's-complement reading of 32 bits, without relying on an out-of-range conversion.
int32_t wrap_to_int32(uint32_t bits) {
    if (bits <= static_cast<uint32_t>(INT32_MAX)) {
        return static_cast<int32_t>(bits);
    }
    return -static_cast<int32_t>(~bits) - 1;
}

// One "%d": white space, one optional sign, at least one decimal digit. Digits beyond
// 32 bits wrap. Returns the text after the number, or null when no number stands there.
const char* read_number(const char* text, int32_t* value) {
    while (is_white_space(*text)) {
        ++text;
    }
    bool negative = false;
    if (*text == '+' || *text == '-') {
        negative = *text == '-';
        ++text;
    }
    if (!is_digit(*text)) {
        return nullptr;
    }
    uint32_t bits = 0;
    while (is_digit(*text)) {
        bits = bits * 10u + static_cast<uint32_t>(*text - '0');
        ++text;
    }
    *value = wrap_to_int32(negative ? 0u - bits : bits);
    return text;
}

int64_t clamp64(int64_t value, int64_t low, int64_t high) {
    return value < low ? low : (value > high ? high : value);
}

// Room kept at both ends of the 32-bit range for the frame a window system adds around the
// requested rectangle; a frame is never near this thick.
constexpr int64_t frame_room = 4096;
constexpr int64_t rect_high = int64_t{INT32_MAX} - frame_room;
constexpr int64_t rect_low = int64_t{INT32_MIN} + frame_room;

int64_t floor_div64(int64_t value) {
    return value >= 0 ? value / 64 : -((63 - value) / 64);
}

void draw_into_pixels(void* context, int32_t index, int32_t x, int32_t y) {
    draw_tile_pixels(*static_cast<const PixelBuffer*>(context), index, x, y);
}

}  // namespace

const char* command_tail(const char* command_line) {
    if (command_line == nullptr) {
        return "";
    }
    const char* text = skip_blanks_and_tabs(command_line);
    if (*text == '"') {
        ++text;
        while (*text != '\0' && *text != '"' && *text != '\t') {
            ++text;
        }
    } else {
        while (*text != '\0' && !is_blank_or_tab(*text)) {
            ++text;
        }
    }
    if (*text == '"') {
        ++text;
    }
    return skip_blanks_and_tabs(text);
}

void read_parameters(const char* tail) {
    int32_t* targets[] = {&colour_count, &requested_width, &requested_height};
    const char* text = tail != nullptr ? tail : "";
    for (int32_t* target : targets) {
        text = read_number(text, target);
        if (text == nullptr) {
            return;
        }
    }
}

ClientRect requested_client_rect() {
    const int64_t right = int64_t{requested_width} * 64 + 48;
    const int64_t bottom = int64_t{requested_height} * 64 + 48;
    return ClientRect{50, 50, static_cast<int32_t>(clamp64(right, rect_low, rect_high)),
                      static_cast<int32_t>(clamp64(bottom, rect_low, rect_high))};
}

int32_t client_extent(int32_t cells, int32_t limit) {
    const int64_t high = limit < 1 ? 1 : limit;
    return static_cast<int32_t>(clamp64(int64_t{cells} * 64, 1, high));
}

void handle_create() {
    build_tile_set();
    deal_board(colour_count, requested_width, requested_height);
}

void handle_paint(int32_t left, int32_t top, int32_t right, int32_t bottom, DrawTile draw_tile,
                  void* context) {
    // Only the requested cells that meet the rectangle: the same pixels as drawing them all,
    // without a huge requested board making one paint take minutes. An empty rectangle
    // meets no cell.
    if (right <= left || bottom <= top) {
        return;
    }
    constexpr int64_t last_drawable = INT32_MAX / 64;  // keeps column * 64 and row * 64 in range
    const int64_t first_row = clamp64(floor_div64(top), 0, last_drawable + 1);
    const int64_t first_column = clamp64(floor_div64(left), 0, last_drawable + 1);
    const int64_t end_row = clamp64(floor_div64(int64_t{bottom} + 63), 0,
                                    clamp64(requested_height, 0, last_drawable + 1));
    const int64_t end_column = clamp64(floor_div64(int64_t{right} + 63), 0,
                                       clamp64(requested_width, 0, last_drawable + 1));
    for (int64_t row = first_row; row < end_row; ++row) {
        for (int64_t column = first_column; column < end_column; ++column) {
            const int32_t index =
                tile_for_cell(board_cell(static_cast<int32_t>(column), static_cast<int32_t>(row)));
            if (index != no_tile) {
                draw_tile(context, index, static_cast<int32_t>(column * 64),
                          static_cast<int32_t>(row * 64));
            }
        }
    }
}

void handle_paint_pixels(const PixelBuffer& target) {
    PixelBuffer copy = target;
    handle_paint(0, 0, target.width, target.height, draw_into_pixels, &copy);
}

uint32_t pack_client_point(int32_t x, int32_t y) {
    return (static_cast<uint32_t>(x) & 0xFFFFu) | ((static_cast<uint32_t>(y) & 0xFFFFu) << 16);
}

void handle_left_button(uint32_t point) {
    const uint32_t x = point & 0xFFFFu;
    const uint32_t y = (point >> 16) & 0xFFFFu;
    play_move(static_cast<int32_t>(x / 64), static_cast<int32_t>(y / 64));
}

void handle_right_button() {
    restore_board();
}

void handle_destroy() {
    release_board();
    release_tile_set();
}

void handle_new_deal() {
    restore_board();
    const std::vector<Cell> before = current_cells_top_row_first();
    // Seeds in a row deal other boards almost always; a bound all the same.
    constexpr int32_t tries = 64;
    uint32_t seed = board_clock();
    for (int32_t attempt = 0; attempt < tries; ++attempt, ++seed) {
        if (deal_board_seeded(colour_count, requested_width, requested_height, seed) == 0 ||
            current_cells_top_row_first() != before) {
            return;
        }
    }
}

void handle_deal_seeded(uint32_t seed) {
    deal_board_seeded(colour_count, requested_width, requested_height, seed);
}

void handle_play_cell(int32_t column, int32_t row) {
    play_move(column, row);
}

std::vector<signed char> shown_cells() {
    return current_cells_top_row_first();
}

int32_t shown_width() {
    return current_origin != nullptr ? board_width : 0;
}

int32_t shown_height() {
    return current_origin != nullptr ? board_height : 0;
}

int32_t tiles_left() {
    int32_t tiles = 0;
    for (const Cell cell : current_cells_top_row_first()) {
        tiles += cell != 0 ? 1 : 0;
    }
    return tiles;
}

bool any_move_left() {
    for (int32_t row = 0; row < shown_height(); ++row) {
        for (int32_t column = 0; column < shown_width(); ++column) {
            // Outside the board reads as no_cell, which matches nothing.
            const int32_t cell = board_cell(column, row);
            const int32_t right = board_cell(column + 1, row);
            const int32_t below = board_cell(column, row + 1);
            if (cell > 0 &&
                ((right > 0 && (right & cell) != 0) || (below > 0 && (below & cell) != 0))) {
                return true;
            }
        }
    }
    return false;
}
