// What only the engine's files share: the cell bits a move uses, the byte view of the current
// board, the refusal test, the marking and the collapse. The game, the tools and the solver
// use board/board.hpp; the engine's own tests and the plain reference move use this as well.
#pragma once

#include <cstdint>

#include "board/board.hpp"

// Bit set on the tiles of the group being removed; never left on the board after a move.
constexpr unsigned marked_bit = 0x20;
// Bits 6 and 7 of a marked cell: the way back to where the marking came from.
constexpr unsigned back_shift = 6;
constexpr unsigned back_bits = 0xC0;
// Colour bits and the mark; what the matching test looks at.
constexpr unsigned match_bits = 0x3F;

// The move code works on the bytes as unsigned values so that the spare bits can be set freely.
inline unsigned char* current_bytes() {
    return reinterpret_cast<unsigned char*>(current_origin);
}

// Bytes from one row to the next: the cells and the guard byte.
inline int32_t stride() {
    return board_width + 1;
}

inline bool is_marked(unsigned value) {
    return (value & marked_bit) != 0;
}

// Whether marking goes on into a cell holding value: an unmarked tile of the group's colour.
// A marked neighbour also matches, but its marking is already done.
inline bool continues_into(unsigned value, unsigned colour) {
    return !is_marked(value) && (value & colour) != 0;
}

// The columns and the lowest row that a marking reached; what the collapse needs to look at.
// No columns (first_column > last_column) when nothing was marked.
struct GroupExtent {
    int32_t first_column;
    int32_t last_column;
    int32_t lowest_row;
};

// The clicked cell's position when the click is a legal move (on the board, a tile with a
// neighbour of its colour), else -1. Reads nothing outside the board.
int32_t move_position(int32_t column, int32_t row);
// Marks the group through the cell at column, row and writes its extent, which play_move
// hands to collapse_board. Written rather than returned: g++ returns the three numbers
// through a store and a wider load of the stack that stalls, a fifth of a small move.
void mark_group(int32_t column, int32_t row, GroupExtent& extent);
// Removes the marked group within extent and closes the columns it emptied.
void collapse_board(const GroupExtent& extent);
// One column's drop from position upwards, each byte landing `distance` bytes further down.
void drop_column(int32_t position, int32_t distance);
// The closing pass from the bottom cell at position, sources `offset` columns to its right.
void close_columns(int32_t position, int32_t offset);
// The rest of a moved column, from position upwards, taken from `offset` columns to the right.
void shift_column(int32_t position, int32_t offset);
