// The collapse: the drop pass over the group's columns, then the closing pass from the first
// column the drop emptied.
#include <cstdint>

#include "board/board.hpp"
#include "board/engine.hpp"

// Below the group's lowest row and outside its columns every byte would only be copied onto
// itself, so the drop starts at that row and handles those columns only. On a settled board
// the columns left of the group's first one hold tiles, so the closing pass can start at the
// first column the drop emptied.
void collapse_board(const GroupExtent& extent) {
    const int32_t lowest = extent.lowest_row * stride();
    for (int32_t column = extent.first_column; column <= extent.last_column; ++column) {
        drop_column(lowest + column, 0);
    }
    const int32_t bottom = last_position - board_width;
    const unsigned char* cells = current_bytes();
    for (int32_t column = extent.first_column; column <= extent.last_column; ++column) {
        if (cells[bottom + column] == 0) {
            close_columns(bottom + column, 1);
            return;
        }
    }
}

// Scans upwards: a marked byte is left behind and everything above it lands one row further
// down; at the first 0 above the column (at the latest the guard row) the places the tiles
// left are cleared, lowest first.
void drop_column(int32_t position, int32_t distance) {
    unsigned char* cells = current_bytes();
    const int32_t step = stride();
    for (;;) {
        const unsigned char value = cells[position];
        if (value == 0) {
            if (distance == 0) {
                return;
            }
            cells[position + distance] = 0;
            distance -= step;
        } else if (is_marked(value)) {
            position -= step;
            distance += step;
        } else {
            cells[position + distance] = value;
            position -= step;
        }
    }
}

// Moves each column that holds tiles into the first empty one on its left. After a move the
// offset is carried on: the columns between the next destination and its source are all empty
// (passed over, or the source just emptied), so searching them again from offset 1 would give
// the same board, in work that grows with the square of the width.
void close_columns(int32_t position, int32_t offset) {
    unsigned char* cells = current_bytes();
    while (position + offset != last_position) {
        if (cells[position] != 0) {
            ++position;
            offset = 1;
        } else if (cells[position + offset] == 0) {
            ++offset;
        } else {
            cells[position] = cells[position + offset];
            cells[position + offset] = 0;
            shift_column(position - stride(), offset);
            ++position;
        }
    }
}

// The destination cells are written without being looked at: the destination column is empty.
void shift_column(int32_t position, int32_t offset) {
    unsigned char* cells = current_bytes();
    const int32_t step = stride();
    while (cells[position + offset] != 0) {
        cells[position] = cells[position + offset];
        cells[position + offset] = 0;
        position -= step;
    }
}
