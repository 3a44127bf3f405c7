// The board: two byte grids (dealt and current) with zero guard bytes around the cells,
// dealing, restoring, moves and the collapse. Standard C++ only; process-wide state.
#pragma once

#include <cstddef>
#include <cstdint>

using Cell = signed char;

// Bit set on the tiles of the group being removed; never left on the board after a move.
constexpr int32_t marked_bit = 0x20;

// What board_cell returns where there is no cell to read (no board, or outside it).
// It maps to no tile, so nothing is drawn there.
constexpr int32_t no_cell = -1;

extern Cell* dealt_cells;
extern Cell* current_cells;
extern Cell* dealt_origin;
extern Cell* current_origin;
extern int32_t board_width;
extern int32_t board_height;
extern int32_t last_position;
extern int32_t board_bytes;

// Allocation used for both buffers and the drop distances; tests replace it to make
// allocations fail. Buffers are released with std::free.
using BoardAllocator = void* (*)(std::size_t bytes);
extern BoardAllocator board_allocate;
// The clock a deal is seeded from, read once both buffers are ready; tests replace it.
using BoardClock = uint32_t (*)();
extern BoardClock board_clock;

// The generator the deal draws from.
void seed_random(uint32_t seed);
int32_t next_random();

// Returns 1 when a board was dealt, 0 when it could not be: an allocation failed, or the
// buffer size does not fit a signed 32-bit integer. No board is left then.
int32_t deal_board(int32_t colours, int32_t width, int32_t height);  // seeded from the clock
int32_t deal_board_seeded(int32_t colours, int32_t width, int32_t height, uint32_t seed);
// Places a settled position (width * height cell values, top row first) as both the dealt
// and the current one. Returns 1; 0 for a size below 2, a bad value or an unsettled position
// (the board is left as it was), or for a size too large or a failed allocation (no board is
// left then).
int32_t load_board(int32_t width, int32_t height, const Cell* cells);
// 1 when width * height cell values (top row first) form a settled position: values 0, 1, 2,
// 4, 8, 16 only, each column's tiles one run down to the bottom row, the columns holding
// tiles one run from column 0. 0 otherwise, and for a size below 2 or too large.
int32_t position_is_settled(int32_t width, int32_t height, const Cell* cells);

// Any column and row: outside the board, or without one, board_cell returns no_cell and
// play_move returns 0 without reading a cell.
int32_t board_cell(int32_t column, int32_t row);
int32_t restore_board();
void release_board();

// The columns and the lowest row that the last marking reached.
struct GroupBounds {
    int32_t first_column;
    int32_t last_column;
    int32_t lowest_row;
};
extern GroupBounds group_bounds;

// One drop distance per column, allocated with the board: the drop pass's working space.
extern int32_t* drop_distances;

// A move does work in proportion to what it changes: the group, the columns above it, and the
// columns right of the first one it empties. Its result is, byte for byte, that of the plain
// passes in board_reference.hpp.
// The clicked cell's position when the click is a legal move (on the board, a tile with a
// neighbour of its colour), else -1. Reads nothing outside the board.
int32_t move_position(int32_t column, int32_t row);
int32_t play_move(int32_t column, int32_t row);
// Marks the group through position and notes its bounds in group_bounds.
void mark_group(int32_t position);
// Removes the marked group that mark_group last noted.
void collapse_board();
void drop_columns(int32_t first_column, int32_t last_column, int32_t lowest_row);
void drop_column(int32_t p, int32_t d);
void close_columns(int32_t p, int32_t k);
void shift_column(int32_t p, int32_t k);
