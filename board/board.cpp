#include "board/board.hpp"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "board/engine.hpp"

Cell* dealt_cells = nullptr;
Cell* current_cells = nullptr;
Cell* dealt_origin = nullptr;
Cell* current_origin = nullptr;
int32_t board_width = 0;
int32_t board_height = 0;
int32_t last_position = 0;
int32_t board_bytes = 0;

BoardAllocator board_allocate = std::malloc;

namespace {
uint32_t calendar_seconds() {
    return static_cast<uint32_t>(std::time(nullptr));
}
}  // namespace
BoardClock board_clock = calendar_seconds;

namespace {

uint32_t random_state = 0;

int32_t clamp_low(int32_t value, int32_t low) {
    return value < low ? low : value;
}

void forget_board() {
    std::free(dealt_cells);
    std::free(current_cells);
    dealt_cells = nullptr;
    current_cells = nullptr;
    dealt_origin = nullptr;
    current_origin = nullptr;
    board_width = 0;
    board_height = 0;
    last_position = 0;
    board_bytes = 0;
}

// (H + 2) x (W + 1) - 1, or -1 when it (or any step of it) does not fit a signed 32-bit integer.
int64_t bytes_for(int32_t width, int32_t height) {
    const int64_t bytes = (int64_t{height} + 2) * (int64_t{width} + 1) - 1;
    return bytes > INT32_MAX ? -1 : bytes;
}

bool on_board(int32_t column, int32_t row) {
    return current_origin != nullptr && column >= 0 && column < board_width && row >= 0 &&
           row < board_height;
}

// Frees the old buffer and clears its pointer before asking for the new one, so that a
// failure never leaves a pointer into a buffer of another size.
bool replace_buffer(Cell*& buffer, std::size_t size) {
    std::free(buffer);
    buffer = nullptr;
    buffer = static_cast<Cell*>(board_allocate(size));
    return buffer != nullptr;
}

// Sets up both buffers for a width x height board: geometry stored, dealt buffer cleared,
// origins placed. On failure no board is left at all.
bool allocate_board(int32_t width, int32_t height) {
    const int64_t bytes = bytes_for(width, height);
    if (bytes < 0) {
        forget_board();
        return false;
    }
    board_width = width;
    board_height = height;
    last_position = static_cast<int32_t>((int64_t{width} + 1) * height - 1);
    board_bytes = static_cast<int32_t>(bytes);
    const auto size = static_cast<std::size_t>(bytes);

    if (!replace_buffer(dealt_cells, size) || !replace_buffer(current_cells, size)) {
        forget_board();
        return false;
    }
    std::memset(dealt_cells, 0, size);
    dealt_origin = dealt_cells + width + 1;
    current_origin = current_cells + width + 1;
    return true;
}

void copy_dealt_to_current() {
    std::memcpy(current_cells, dealt_cells, static_cast<std::size_t>(board_bytes));
}

}  // namespace

void seed_random(uint32_t seed) {
    random_state = seed;
    next_random();
}

int32_t next_random() {
    random_state = random_state * 22695477u + 1u;
    return static_cast<int32_t>((random_state >> 16) & 0x7FFFu);
}

namespace {

// Clamps, allocates, then deals from `seed`, or from the clock read only once the buffers
// are ready when `seed` is null: a deal that cannot allocate never reads the clock.
int32_t deal(int32_t colours, int32_t width, int32_t height, const uint32_t* seed) {
    const int32_t colour_count = colours < 2 ? 2 : (colours > 5 ? 5 : colours);
    width = clamp_low(width, 2);
    height = clamp_low(height, 2);
    if (!allocate_board(width, height)) {
        return 0;
    }
    seed_random(seed != nullptr ? *seed : board_clock());
    for (int32_t row = 0; row < height; ++row) {
        Cell* cells = dealt_origin + int64_t{row} * (width + 1);
        for (int32_t column = 0; column < width; ++column) {
            cells[column] = static_cast<Cell>(1 << (next_random() % colour_count));
        }
    }
    copy_dealt_to_current();
    return 1;
}

}  // namespace

int32_t deal_board(int32_t colours, int32_t width, int32_t height) {
    return deal(colours, width, height, nullptr);
}

int32_t deal_board_seeded(int32_t colours, int32_t width, int32_t height, uint32_t seed) {
    return deal(colours, width, height, &seed);
}

int32_t colour_number(int64_t value) {
    switch (value) {
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
            return -1;
    }
}

bool is_cell_value(int64_t value) {
    return colour_number(value) >= 0;
}

int32_t position_is_settled(int32_t width, int32_t height, const Cell* cells) {
    if (width < 2 || height < 2 || bytes_for(width, height) < 0) {
        return 0;
    }
    const auto at = [&](int32_t column, int32_t row) {
        return cells[static_cast<std::size_t>(row) * static_cast<std::size_t>(width) +
                     static_cast<std::size_t>(column)];
    };
    bool empty_column_seen = false;
    for (int32_t column = 0; column < width; ++column) {
        bool tile_seen = false;
        for (int32_t row = 0; row < height; ++row) {
            const Cell value = at(column, row);
            if (!is_cell_value(value) || (tile_seen && value == 0)) {
                return 0;
            }
            tile_seen = tile_seen || value != 0;
        }
        if (tile_seen && empty_column_seen) {
            return 0;
        }
        empty_column_seen = empty_column_seen || !tile_seen;
    }
    return 1;
}

int32_t load_board(int32_t width, int32_t height, const Cell* cells) {
    if (cells == nullptr || !position_is_settled(width, height, cells)) {
        return 0;
    }
    if (!allocate_board(width, height)) {
        return 0;
    }
    for (int32_t row = 0; row < height; ++row) {
        std::memcpy(dealt_origin + int64_t{row} * (width + 1), cells + int64_t{row} * width,
                    static_cast<std::size_t>(width));
    }
    copy_dealt_to_current();
    return 1;
}

int32_t board_cell(int32_t column, int32_t row) {
    if (!on_board(column, row)) {
        return no_cell;
    }
    return current_origin[row * stride() + column];
}

std::vector<Cell> current_cells_top_row_first() {
    std::vector<Cell> cells;
    if (current_origin == nullptr) {
        return cells;
    }
    cells.reserve(static_cast<std::size_t>(board_width) * static_cast<std::size_t>(board_height));
    for (int32_t row = 0; row < board_height; ++row) {
        const Cell* line = current_origin + int64_t{row} * stride();
        cells.insert(cells.end(), line, line + board_width);
    }
    return cells;
}

int32_t restore_board() {
    if (dealt_cells == nullptr || current_cells == nullptr) {
        return 0;
    }
    copy_dealt_to_current();
    return 1;
}

void release_board() {
    forget_board();
}
