// Helpers shared by the board tests: placing positions, reading them back, and an independent
// check of the settled invariant on the raw current buffer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

using Rows = std::vector<std::vector<int>>;  // top row first

// Loads rows as the dealt and current position; the result of load_board.
int32_t load_rows(const Rows& rows);
// The current position read through board_cell.
Rows current_rows();
// Byte at a buffer offset of the current or dealt grid, as an unsigned value.
int current_byte(int64_t offset);
int dealt_byte(int64_t offset);
// Empty when the current buffer holds a settled board; otherwise what is wrong.
std::string settled_fault();
// A settled position of the given size, every cell a tile of 1 << (n mod colours).
Rows full_rows(int width, int height, uint32_t seed, int colours);
