// The move code's view of the current board, shared by the engine and the plain reference move.
#pragma once

#include <cstdint>

#include "board/board.hpp"

namespace board_cells {

// Bits 6 and 7 of a marked cell: the way back to the cell the marking came from.
constexpr unsigned back_shift = 6;
constexpr unsigned back_bits = 0xC0;
// Colour bits and the mark; what the matching test looks at.
constexpr unsigned match_bits = 0x3F;

// The move code works on the bytes as unsigned values so that the spare bits can be set freely.
inline unsigned char* current_bytes() {
    return reinterpret_cast<unsigned char*>(current_origin);
}

inline int32_t stride() {
    return board_width + 1;
}

// Whether marking goes on into a cell holding value: an unmarked tile of the group's colour.
// A marked neighbour also matches, but its marking is already done.
inline bool continues_into(unsigned value, unsigned colour) {
    return (value & marked_bit) == 0 && (value & colour) != 0;
}

}  // namespace board_cells
