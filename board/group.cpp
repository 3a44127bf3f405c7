// Group selection: the refusal test, the marking of the group, and the move that joins them
// to the collapse.
#include <algorithm>
#include <cstdint>

#include "board/board.hpp"
#include "board/engine.hpp"

int32_t move_position(int32_t column, int32_t row) {
    if (current_origin == nullptr || column < 0 || column >= board_width || row < 0 ||
        row >= board_height) {
        return -1;
    }
    const int32_t step = stride();
    const int32_t position = row * step + column;
    const unsigned char* cells = current_bytes();
    const unsigned value = cells[position];
    if ((value & cells[position - 1]) == 0 && (value & cells[position - step]) == 0 &&
        (value & cells[position + 1]) == 0 && (value & cells[position + step]) == 0) {
        return -1;
    }
    return position;
}

int32_t play_move(int32_t column, int32_t row) {
    const int32_t position = move_position(column, row);
    if (position < 0) {
        return 0;
    }
    GroupExtent extent;
    mark_group(column, row, extent);
    collapse_board(extent);
    return 1;
}

namespace {

// The way back stored in the cell a run was entered by: where its parent run lies.
constexpr unsigned parent_above = 1u << back_shift;
constexpr unsigned parent_below = 2u << back_shift;

// A row run of the group: the positions of its ends.
struct Run {
    int32_t left;
    int32_t right;
};

// Where the marking stands: at position in the run of `row`, looking at the row above (going
// left) or at the row below (going right).
struct Search {
    int32_t position;
    int32_t row;
    bool below;
};

// Marks the whole run of colour through seed, the seed carrying the way back to its parent.
// The guard bytes end every run at the board's edge.
Run enter_run(unsigned char* cells, int32_t seed, unsigned colour, unsigned back) {
    cells[seed] = static_cast<unsigned char>(cells[seed] | marked_bit | back);
    int32_t left = seed;
    while (continues_into(cells[left - 1], colour)) {
        --left;
        cells[left] |= marked_bit;
    }
    int32_t right = seed;
    while (continues_into(cells[right + 1], colour)) {
        ++right;
        cells[right] |= marked_bit;
    }
    return Run{left, right};
}

// extent widened to the columns of run, a run in row.
GroupExtent widened(GroupExtent extent, Run run, int32_t row) {
    const int32_t first = row * stride();
    return GroupExtent{std::min(extent.first_column, run.left - first),
                       std::max(extent.last_column, run.right - first),
                       std::max(extent.lowest_row, row)};
}

// From the run's right end, back to the cell it was entered by; clears that cell's way back
// and returns the search in the parent run where it stopped. The first run has no way back:
// then the marking is done and the result has a negative position.
Search back_to_entry(unsigned char* cells, int32_t right, int32_t row) {
    int32_t entry = right;
    while (is_marked(cells[entry]) && (cells[entry] & back_bits) == 0) {
        --entry;
    }
    if (!is_marked(cells[entry])) {
        return Search{-1, row, false};
    }
    const unsigned way = cells[entry] & back_bits;
    cells[entry] = static_cast<unsigned char>(cells[entry] & ~back_bits);
    if (way == parent_above) {
        return Search{entry - stride(), row - 1, true};
    }
    return Search{entry + stride(), row + 1, false};
}

}  // namespace

// Marks row runs: each run is marked whole when it is entered, then the row above it is
// searched right to left and the row below left to right for a tile of the colour that is not
// marked yet, which starts a new run. The way back from a run is kept in bits 6 and 7 of the
// cell it was entered by, so no stack grows with the group. Runs in one row never touch (each
// is as long as the colour allows), so a run is exactly the marked cells around the search.
void mark_group(int32_t column, int32_t start_row, GroupExtent& result) {
    const int32_t step = stride();
    const int32_t row_start = start_row * step;
    const int32_t position = row_start + column;
    unsigned char* cells = current_bytes();
    const unsigned start = cells[position];
    if (is_marked(start)) {
        result = GroupExtent{0, -1, 0};
        return;
    }
    const unsigned colour = start & match_bits;
    const Run first = enter_run(cells, position, colour, 0);
    GroupExtent extent{first.left - row_start, first.right - row_start, start_row};
    Search search{first.right, start_row, false};
    while (search.position >= 0) {
        int32_t p = search.position;
        const int32_t next = search.below ? step : -step;
        while (is_marked(cells[p]) && !continues_into(cells[p + next], colour)) {
            p += search.below ? 1 : -1;
        }
        if (is_marked(cells[p])) {
            const int32_t row = search.row + (search.below ? 1 : -1);
            const Run run =
                enter_run(cells, p + next, colour, search.below ? parent_above : parent_below);
            extent = widened(extent, run, row);
            search = Search{run.right, row, false};
        } else if (!search.below) {
            search = Search{p + 1, search.row, true};  // the row above is done: now the row below
        } else {
            search = back_to_entry(cells, p - 1, search.row);
        }
    }
    result = extent;
}
