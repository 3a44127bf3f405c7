#include "board/board_reference.hpp"

#include "board/board.hpp"
#include "board/board_cells.hpp"

using namespace board_cells;

int32_t reference_play_move(int32_t column, int32_t row) {
    const int32_t p = move_position(column, row);
    if (p < 0) {
        return 0;
    }
    reference_mark_group(p);
    reference_collapse_board();
    return 1;
}

namespace {

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
void reference_mark_group(int32_t position) {
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

void reference_collapse_board() {
    const int32_t q0 = last_position - board_width;
    reference_drop_columns(q0);
    close_columns(q0, 1);
}

void reference_drop_columns(int32_t q) {
    const unsigned char* cells = current_bytes();
    while (cells[q] != 0) {
        drop_column(q, 0);
        ++q;
    }
}
