// Turns its input into a deal or a loaded position followed by clicks, restores, cell reads
// and failing deals at any coordinates, checking after each step that the board is settled
// and that nothing changed that should not have.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "board/board.hpp"
#include "board/board_reference.hpp"

namespace {

struct Input {
    const uint8_t* data;
    std::size_t size;
    std::size_t at;
};

bool more(const Input& input) {
    return input.at < input.size;
}

uint8_t next_byte(Input& input) {
    return more(input) ? input.data[input.at++] : 0;
}

uint32_t next_word(Input& input) {
    uint32_t word = 0;
    for (int i = 0; i < 4; ++i) {
        word = (word << 8) | next_byte(input);
    }
    return word;
}

// Mostly small coordinates around the board, sometimes any 32-bit value.
int32_t next_coordinate(Input& input, int32_t extent) {
    const uint8_t kind = next_byte(input);
    if (kind >= 0xF0) {
        return static_cast<int32_t>(next_word(input));
    }
    return static_cast<int32_t>(kind % static_cast<uint32_t>(extent + 3)) - 1;
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

void check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

bool is_colour(int value) {
    return value == 1 || value == 2 || value == 4 || value == 8 || value == 16;
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
    const int64_t w = board_width;
    const int64_t h = board_height;
    check(w >= 2 && h >= 2);
    check(board_bytes == (h + 2) * (w + 1) - 1 && last_position == h * (w + 1) - 1);
    check(current_origin == current_cells + w + 1 && dealt_origin == dealt_cells + w + 1);
    for (int64_t offset = 0; offset < board_bytes; ++offset) {
        const int64_t row = offset / (w + 1) - 1;
        const bool is_cell = row >= 0 && row < h && offset % (w + 1) < w;
        const int value = current_cells[offset];
        check(is_cell ? (value == 0 || is_colour(value)) : value == 0);
    }
    bool empty_seen = false;
    for (int32_t column = 0; column < w; ++column) {
        bool tile_seen = false;
        for (int32_t row = 0; row < h; ++row) {
            const bool tile = board_cell(column, row) != 0;
            check(!(tile_seen && !tile));
            tile_seen = tile_seen || tile;
        }
        check(!(tile_seen && empty_seen));
        empty_seen = empty_seen || !tile_seen;
    }
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
    for (int32_t row = 0; row < board_height; ++row) {
        for (int32_t column = 0; column < board_width; ++column) {
            const int32_t value = board_cell(column, row);
            counts[static_cast<std::size_t>(value > 0 ? value : 0)] += 1;
        }
    }
    return counts;
}

void start_board(Input& input) {
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
    const int32_t filled = 1 + next_byte(input) % width;
    std::vector<Cell> cells(static_cast<std::size_t>(width * height), 0);
    for (int32_t column = 0; column < filled; ++column) {
        const int32_t tiles = 1 + next_byte(input) % height;
        for (int32_t row = height - tiles; row < height; ++row) {
            cells[static_cast<std::size_t>(row * width + column)] =
                static_cast<Cell>(1 << (next_byte(input) % 5));
        }
    }
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
    check(inside ? (value == 0 || is_colour(value)) : value == no_cell);
}

void failing_deal(Input& input) {
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
    Input input{data, size, 0};
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
