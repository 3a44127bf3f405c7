// Turns its input into a deal or a loaded position followed by clicks, restores, cell reads
// and failing deals at any coordinates, checking after each step that the board is settled
// and that nothing changed that should not have.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "board/board.hpp"
#include "fuzz/fuzz_input.hpp"
#include "tests/common/board_checks.hpp"
#include "tests/common/reference_move.hpp"

namespace {

// Mostly small coordinates around the board, sometimes any 32-bit value.
int32_t next_coordinate(FuzzInput& input, int32_t extent) {
    return next_near(input, 1, extent - 1);
}

// Keeps the fuzzer's memory bounded: larger boards count as failed allocations, as does the
// one allocation chosen to fail.
constexpr std::size_t largest_buffer = 1 << 20;
int allocations_until_failure = 0;

void* bounded_allocate(std::size_t bytes) {
    if (allocations_until_failure > 0 && --allocations_until_failure == 0) {
        return nullptr;
    }
    return bytes > largest_buffer ? nullptr : std::malloc(bytes);
}

void check_no_board() {
    check(dealt_cells == nullptr && current_cells == nullptr);
    check(dealt_origin == nullptr && current_origin == nullptr);
    check(board_cell(0, 0) == no_cell && play_move(0, 0) == 0 && restore_board() == 0);
}

// The settled invariant, read straight from the buffer guards included.
void check_settled() {
    if (current_cells == nullptr) {
        check_no_board();
        return;
    }
    check(dealt_origin == dealt_cells + board_width + 1);
    check(settled_fault().empty());
}

std::vector<Cell> snapshot(const Cell* buffer) {
    if (buffer == nullptr) {
        return {};
    }
    return std::vector<Cell>(buffer, buffer + board_bytes);
}

// Tiles of each colour on the current board.
std::vector<int64_t> colour_counts() {
    std::vector<int64_t> counts(17);
    for (const Cell value : current_cells_top_row_first()) {
        counts[static_cast<std::size_t>(value > 0 ? value : 0)] += 1;
    }
    return counts;
}

void start_board(FuzzInput& input) {
    const uint8_t mode = next_byte(input);
    if ((mode & 1) == 0) {
        const int32_t colours = static_cast<int8_t>(next_byte(input));
        int32_t width = 2 + next_byte(input) % 40;
        int32_t height = 2 + next_byte(input) % 40;
        if ((mode & 6) == 6) {
            width = static_cast<int32_t>(next_word(input));
            height = static_cast<int32_t>(next_word(input));
        }
        const int32_t dealt = deal_board_seeded(colours, width, height, next_word(input));
        check(dealt == (current_cells != nullptr ? 1 : 0));
        return;
    }
    const int32_t width = 2 + next_byte(input) % 16;
    const int32_t height = 2 + next_byte(input) % 16;
    const std::vector<Cell> cells =
        ragged_position(width, height, 5, [&input] { return uint32_t{next_byte(input)}; });
    check(load_board(width, height, cells.data()) == 1);
}

// The move leaves every byte as the plain passes do from the same bytes.
void check_against_reference(const std::vector<Cell>& before, int32_t column, int32_t row,
                             int32_t played) {
    if (current_cells == nullptr) {
        return;
    }
    const std::vector<Cell> after = snapshot(current_cells);
    std::memcpy(current_cells, before.data(), before.size());
    check(reference_play_move(column, row) == played);
    check(snapshot(current_cells) == after);
}

void click(int32_t column, int32_t row) {
    const std::vector<Cell> before = snapshot(current_cells);
    const std::vector<Cell> dealt = snapshot(dealt_cells);
    const std::vector<int64_t> counts_before = colour_counts();
    const int32_t played = play_move(column, row);
    check_against_reference(before, column, row, played);
    check(snapshot(dealt_cells) == dealt);
    if (played == 0) {
        check(snapshot(current_cells) == before);
        return;
    }
    check(played == 1);
    const std::vector<int64_t> counts_after = colour_counts();
    int64_t removed = 0;
    for (std::size_t colour = 1; colour <= 16; ++colour) {
        check(counts_after[colour] <= counts_before[colour]);
        removed += counts_before[colour] - counts_after[colour];
    }
    check(removed >= 2);
    // Exactly one colour lost tiles: the clicked one.
    const int32_t clicked = before[static_cast<std::size_t>(int64_t{row} * (board_width + 1) +
                                                            column + board_width + 1)];
    check(counts_before[static_cast<std::size_t>(clicked)] -
              counts_after[static_cast<std::size_t>(clicked)] ==
          removed);
}

void read_cell(int32_t column, int32_t row) {
    const int32_t value = board_cell(column, row);
    const bool inside = current_cells != nullptr && column >= 0 && column < board_width &&
                        row >= 0 && row < board_height;
    check(inside ? is_cell_value(value) : value == no_cell);
}

void failing_deal(FuzzInput& input) {
    allocations_until_failure = 1 + next_byte(input) % 2;
    check(deal_board_seeded(next_byte(input), 2 + next_byte(input) % 20, 2 + next_byte(input) % 20,
                            next_word(input)) == 0);
    allocations_until_failure = 0;
    check_no_board();
}

// The checks after each step read the whole board. Their total per input is bounded, so that
// a long game on the largest board takes well under a second instead of the whole timeout.
constexpr int64_t checked_bytes_per_input = int64_t{1} << 22;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    board_allocate = bounded_allocate;
    allocations_until_failure = 0;
    FuzzInput input{data, size, 0};
    start_board(input);
    check_settled();
    int64_t checked_bytes = 0;
    for (int steps = 0; more(input) && steps < 2000 && checked_bytes < checked_bytes_per_input;
         ++steps) {
        const uint8_t operation = next_byte(input) % 16;
        if (operation < 11) {
            const int32_t column = next_coordinate(input, board_width);
            click(column, next_coordinate(input, board_height));
        } else if (operation < 13) {
            const std::vector<Cell> dealt = snapshot(dealt_cells);
            const int32_t restored = restore_board();
            check(restored == (current_cells != nullptr ? 1 : 0));
            check(snapshot(current_cells) == dealt);
        } else if (operation < 15) {
            const int32_t column = next_coordinate(input, board_width);
            read_cell(column, next_coordinate(input, board_height));
        } else if (next_byte(input) % 4 == 0) {
            failing_deal(input);
        } else {
            start_board(input);
        }
        check_settled();
        checked_bytes += board_bytes;
    }
    release_board();
    return 0;
}
