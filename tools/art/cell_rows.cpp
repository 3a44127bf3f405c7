#include "tools/art/cell_rows.hpp"

#include <cstring>

#include "tools/common/text_input.hpp"

namespace {

bool read_int32(const Word& word, int32_t& value) {
    int64_t wide = 0;
    if (!word_value(word, INT32_MIN, INT32_MAX, wide)) {
        return false;
    }
    value = static_cast<int32_t>(wide);
    return true;
}

// The rest of a 'load WIDTH HEIGHT' line: two positive numbers and nothing after them.
bool read_load_size(TextInput& input, int64_t& width, int64_t& height) {
    Word word;
    int32_t w = 0;
    int32_t h = 0;
    if (!next_word(input, word) || !read_int32(word, w) || !next_word(input, word) ||
        !read_int32(word, h) || next_word(input, word) || w < 1 || h < 1) {
        return false;
    }
    width = w;
    height = h;
    return true;
}

// One row of cells, starting with its first word; the first row sets the width. A row is
// refused at its first surplus value, so a long line is never read into memory.
bool read_row(TextInput& input, Word& word, CellRows& position, std::string& failure) {
    const bool first = position.height == 0;
    const int64_t limit = first ? max_board_side : position.width;
    int64_t count = 0;
    do {
        int32_t value = 0;
        if (!read_int32(word, value)) {
            failure = "'" + shown(word) + "' is not a cell value";
            return false;
        }
        if (++count > limit) {
            failure = first ? "more than " + std::to_string(max_board_side) + " columns"
                            : "a row of more cells than the first, which had " +
                                  std::to_string(position.width);
            return false;
        }
        position.cells.push_back(value);
    } while (next_word(input, word));
    if (first) {
        position.width = count;
    } else if (count != position.width) {
        failure = "a row of " + std::to_string(count) + " cells where the first had " +
                  std::to_string(position.width);
        return false;
    }
    ++position.height;
    if (position.height > max_board_side || position.height * position.width > max_board_cells) {
        failure = "the board is too large to draw";
        return false;
    }
    return true;
}

}  // namespace

bool read_cell_rows(std::FILE* file, const std::string& input_name, CellRows& position,
                    std::string& failure) {
    position = CellRows{0, 0, {}};
    int64_t expected_width = -1;
    int64_t expected_height = -1;
    TextInput input{file};
    Word word;
    while (next_line(input)) {
        if (!next_word(input, word) || word.text[0] == '#') {
            continue;
        }
        const std::string where = "line " + std::to_string(input.line_number) + ": ";
        if (word.text == "no") {
            const bool no_board =
                next_word(input, word) && word.text == "board" && !next_word(input, word);
            failure = where + (no_board ? "the input holds no board" : "'no' is not a cell value");
            return false;
        }
        if (word.text == "load") {
            if (position.height > 0 || expected_width >= 0 ||
                !read_load_size(input, expected_width, expected_height)) {
                failure = where + "expected 'load WIDTH HEIGHT' once, before the rows";
                return false;
            }
            continue;
        }
        if (!read_row(input, word, position, failure)) {
            failure = where + failure;
            return false;
        }
    }
    if (input.read_error != 0) {
        failure = "cannot read " + input_name + ": " + std::strerror(input.read_error);
        return false;
    }
    if (position.height == 0) {
        failure = "the input holds no rows of cells";
        return false;
    }
    if (expected_width >= 0 &&
        (expected_width != position.width || expected_height != position.height)) {
        failure = "the rows do not make the " + std::to_string(expected_width) + " x " +
                  std::to_string(expected_height) + " board that 'load' names";
        return false;
    }
    return true;
}
