#include "board/board.hpp"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>

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

// Bits 6 and 7 of a marked cell: the way back to the cell the marking came from.
constexpr unsigned back_shift = 6;
constexpr unsigned back_bits = 0xC0;
// Colour bits and the mark; what the matching test looks at.
constexpr unsigned match_bits = 0x3F;

// The move code works on the bytes as unsigned values so that the spare bits can be set freely.
unsigned char* current_bytes() {
    return reinterpret_cast<unsigned char*>(current_origin);
}

int32_t stride() {
    return board_width + 1;
}

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

bool is_cell_value(Cell value) {
    return value == 0 || value == 1 || value == 2 || value == 4 || value == 8 || value == 16;
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
        Cell* cells = dealt_origin + int64_t{row} * stride();
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
        std::memcpy(dealt_origin + int64_t{row} * stride(), cells + int64_t{row} * width,
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

int32_t play_move(int32_t column, int32_t row) {
    if (!on_board(column, row)) {
        return 0;
    }
    const int32_t p = row * stride() + column;
    const unsigned char* cells = current_bytes();
    const unsigned v = cells[p];
    if ((v & cells[p - 1]) == 0 && (v & cells[p - stride()]) == 0 && (v & cells[p + 1]) == 0 &&
        (v & cells[p + stride()]) == 0) {
        return 0;
    }
    mark_group(p);
    collapse_board();
    return 1;
}

namespace {

// Whether marking goes on into a neighbour holding value: an unmarked tile of the group's
// colour. A marked neighbour also matches the marked cell, but its marking is already done.
bool continues_into(unsigned value, unsigned colour) {
    return (value & marked_bit) == 0 && (value & colour) != 0;
}

// Directions are numbered above 0, left 1, below 2, right 3; (direction + 2) & 3 is the
// opposite one. Branches rather than a table, so that the walk's next address is predicted
// instead of waiting for the byte that holds it.
int32_t neighbour(int32_t p, unsigned direction, int32_t row) {
    switch (direction) {
        case 0:
            return p - row;
        case 1:
            return p - 1;
        case 2:
            return p + row;
        default:
            return p + 1;
    }
}

// The first direction, counting from `from`, in which the marking goes on from p; 4 for none.
unsigned next_direction(const unsigned char* cells, int32_t p, unsigned from, int32_t row,
                        unsigned colour) {
    switch (from) {
        case 0:
            if (continues_into(cells[p - row], colour)) {
                return 0;
            }
            [[fallthrough]];
        case 1:
            if (continues_into(cells[p - 1], colour)) {
                return 1;
            }
            [[fallthrough]];
        case 2:
            if (continues_into(cells[p + row], colour)) {
                return 2;
            }
            [[fallthrough]];
        case 3:
            if (continues_into(cells[p + 1], colour)) {
                return 3;
            }
            [[fallthrough]];
        default:
            return 4;
    }
}

}  // namespace

// Depth-first, visiting above, left, below, right, marking cells in the order a recursive
// fill would, but with the way back kept in bits 6 and 7 of each marked cell instead of on
// the stack. The start cell needs no way back: reaching it again ends the walk.
void mark_group(int32_t position) {
    unsigned char* cells = current_bytes();
    const unsigned start = cells[position];
    if ((start & marked_bit) != 0) {
        return;
    }
    const unsigned colour = start & match_bits;
    const int32_t row = stride();
    cells[position] = static_cast<unsigned char>(start | marked_bit);
    int32_t p = position;
    unsigned from = 0;
    for (;;) {
        const unsigned direction = next_direction(cells, p, from, row, colour);
        if (direction < 4) {
            p = neighbour(p, direction, row);
            const unsigned back = (direction + 2) & 3u;
            cells[p] = static_cast<unsigned char>(cells[p] | marked_bit | (back << back_shift));
            from = 0;
            continue;
        }
        if (p == position) {
            return;
        }
        const unsigned back = static_cast<unsigned>(cells[p] & back_bits) >> back_shift;
        cells[p] = static_cast<unsigned char>(cells[p] & ~back_bits);
        p = neighbour(p, back, row);
        from = ((back + 2) & 3u) + 1;  // the parent goes on after the direction it came here by
    }
}

void collapse_board() {
    const int32_t q0 = last_position - board_width;
    drop_columns(q0);
    close_columns(q0, 1);
}

void drop_columns(int32_t q) {
    const unsigned char* cells = current_bytes();
    while (cells[q] != 0) {
        drop_column(q, 0);
        ++q;
    }
}

void drop_column(int32_t p, int32_t d) {
    unsigned char* cells = current_bytes();
    const int32_t row = stride();
    for (;;) {
        const unsigned char value = cells[p];
        if (value == 0) {
            if (d == 0) {
                return;
            }
            cells[p + d] = 0;
            d -= row;
        } else if ((value & marked_bit) != 0) {
            p -= row;
            d += row;
        } else {
            cells[p + d] = value;
            p -= row;
        }
    }
}

void close_columns(int32_t p, int32_t k) {
    unsigned char* cells = current_bytes();
    while (p + k != last_position) {
        if (cells[p] != 0) {
            ++p;
            k = 1;
        } else if (cells[p + k] == 0) {
            ++k;
        } else {
            cells[p] = cells[p + k];
            cells[p + k] = 0;
            shift_column(p - stride(), k);
            ++p;
            k = 1;
        }
    }
}

void shift_column(int32_t p, int32_t k) {
    unsigned char* cells = current_bytes();
    const int32_t row = stride();
    while (cells[p + k] != 0) {
        cells[p] = cells[p + k];
        cells[p + k] = 0;
        p -= row;
    }
}
