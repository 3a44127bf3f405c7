// The board: two byte grids (dealt and current) with zero guard bytes around the cells,
// dealing, restoring, reading cells and playing a move. Standard C++ only; process-wide state.
// What the engine's own files share beyond this is in board/engine.hpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

using Cell = signed char;

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

// Allocation used for both buffers; tests replace it to make allocations fail. Buffers are
// released with std::free.
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

// The colour a cell value holds: 0 for empty, 1 to 5 for the colour bits 1, 2, 4, 8, 16, and
// -1 for any other value.
int32_t colour_number(int64_t value);
// Whether value is what a settled cell may hold: 0 (empty) or one colour bit 1, 2, 4, 8, 16.
bool is_cell_value(int64_t value);
// 1 when width * height cell values (top row first) form a settled position: cell values
// only, each column's tiles one run down to the bottom row, the columns holding tiles one run
// from column 0. 0 otherwise, and for a size below 2 or too large.
int32_t position_is_settled(int32_t width, int32_t height, const Cell* cells);

// Any column and row: outside the board, or without one, board_cell returns no_cell and
// play_move returns 0 without reading a cell.
int32_t board_cell(int32_t column, int32_t row);
// The current cells, top row first, board_width * board_height of them; empty without a board.
std::vector<Cell> current_cells_top_row_first();
int32_t restore_board();
void release_board();

// 1 when the click removed a group (a tile with a neighbour of its colour), else 0 and the
// board is unchanged. A move does work in proportion to what it changes and allocates nothing.
int32_t play_move(int32_t column, int32_t row);
