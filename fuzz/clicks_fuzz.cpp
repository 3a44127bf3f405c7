// Left clicks at random client points on random boards: the press plays the cell under the
// pointer (x / 64, y / 64 of the low and high 16 bits), changes the board exactly when that
// cell has a neighbour of its colour, and always leaves a settled board.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "app/app.hpp"
#include "board/board.hpp"
#include "fuzz/fuzz_input.hpp"
#include "tests/common/board_checks.hpp"

namespace {

void* small_allocate(std::size_t bytes) {
    return bytes > (1u << 14) ? nullptr : std::malloc(bytes);
}

bool has_partner(int32_t column, int32_t row) {
    const int32_t value = board_cell(column, row);
    if (value <= 0) {
        return false;
    }
    return board_cell(column - 1, row) == value || board_cell(column + 1, row) == value ||
           board_cell(column, row - 1) == value || board_cell(column, row + 1) == value;
}

// Points mostly over the board and just beside it, sometimes any 32 bits.
uint32_t next_point(FuzzInput& input) {
    const uint8_t kind = next_byte(input);
    if (kind >= 0xF0) {
        return next_word(input);
    }
    const uint32_t x = static_cast<uint32_t>(next_near(input, 0, 100)) * 37u % 4096u;
    const uint32_t y = static_cast<uint32_t>(next_near(input, 0, 100)) * 37u % 4096u;
    return x | (y << 16);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    board_allocate = small_allocate;
    FuzzInput input{data, size, 0};
    colour_count = static_cast<int32_t>(next_byte(input) % 7);
    requested_width = 2 + next_byte(input) % 60;
    requested_height = 2 + next_byte(input) % 60;
    handle_create();
    check(current_origin != nullptr);
    deal_board_seeded(colour_count, requested_width, requested_height, next_word(input));
    while (more(input)) {
        const uint32_t point = next_point(input);
        const int32_t column = static_cast<int32_t>((point & 0xFFFFu) / 64);
        const int32_t row = static_cast<int32_t>((point >> 16) / 64);
        const bool playable = has_partner(column, row);
        const Rows before = current_rows();
        handle_left_button(point);
        check((current_rows() != before) == playable);
        check(settled_fault().empty());
        if (next_byte(input) % 16 == 0) {
            handle_right_button();
            check(settled_fault().empty());
        }
    }
    handle_destroy();
    return 0;
}
