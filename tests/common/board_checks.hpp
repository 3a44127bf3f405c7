// Helpers shared by the board tests and fuzzers: placing positions, reading them back, the
// settled invariant on the raw current buffer, and random positions no deal gives.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "board/board.hpp"

using Rows = std::vector<std::vector<int>>;  // top row first

// Loads rows as the dealt and current position; the result of load_board.
int32_t load_rows(const Rows& rows);
// The current position read through board_cell.
Rows current_rows();
// Byte at a buffer offset of the current or dealt grid, as an unsigned value.
int current_byte(int64_t offset);
int dealt_byte(int64_t offset);
// Empty when the current buffer holds a settled board, guard bytes and geometry included;
// otherwise what is wrong.
std::string settled_fault();
// A settled position of the given size, every cell a tile of 1 << (n mod colours).
Rows full_rows(int width, int height, uint32_t seed, int colours);
// A settled position with ragged columns, top row first: 1 + draw() % width columns filled
// from the left, each with 1 + draw() % height tiles of 1 << (draw() % colours), drawn from
// its lowest tile up.
std::vector<Cell> ragged_position(int32_t width, int32_t height, uint32_t colours,
                                  const std::function<uint32_t()>& draw);
