// The rows of cell values quillop-art --board draws, as quillop-board prints them.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// Keeps a board picture to a few hundred megabytes at most.
constexpr int64_t max_board_side = 1024;
constexpr int64_t max_board_cells = 16384;

struct CellRows {
    int64_t width;
    int64_t height;
    std::vector<int32_t> cells;  // top row first
};

// Reads rows of signed 32-bit cell values, top row first, all of one width; an optional
// 'load WIDTH HEIGHT' line before them must name their size. Blank lines and lines starting
// with # are skipped. At most max_board_side rows and columns and max_board_cells cells.
// False with a one-line reason in `failure` (which may hold any byte of the input).
bool read_cell_rows(std::FILE* input, const std::string& input_name, CellRows& position,
                    std::string& failure);
