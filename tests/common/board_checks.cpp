#include "tests/common/board_checks.hpp"

#include <random>

#include "board/board.hpp"

int32_t load_rows(const Rows& rows) {
    std::vector<Cell> cells;
    for (const auto& row : rows) {
        for (int value : row) {
            cells.push_back(static_cast<Cell>(value));
        }
    }
    const auto height = static_cast<int32_t>(rows.size());
    const auto width = rows.empty() ? 0 : static_cast<int32_t>(rows[0].size());
    return load_board(width, height, cells.data());
}

Rows current_rows() {
    const std::vector<Cell> cells = current_cells_top_row_first();
    Rows rows(static_cast<std::size_t>(board_height));
    for (std::size_t i = 0; i < cells.size(); ++i) {
        rows[i / static_cast<std::size_t>(board_width)].push_back(cells[i]);
    }
    return rows;
}

int current_byte(int64_t offset) {
    return reinterpret_cast<unsigned char*>(current_cells)[offset];
}

int dealt_byte(int64_t offset) {
    return reinterpret_cast<unsigned char*>(dealt_cells)[offset];
}

std::string settled_fault() {
    if (current_cells == nullptr) {
        return "no current buffer";
    }
    const int64_t w = board_width;
    const int64_t h = board_height;
    if (board_bytes != (h + 2) * (w + 1) - 1 || last_position != h * (w + 1) - 1) {
        return "geometry";
    }
    if (current_origin != current_cells + w + 1) {
        return "origin";
    }
    // Buffer offset of cell (c, r) is (r + 1) * (w + 1) + c; everything else is a guard.
    for (int64_t offset = 0; offset < board_bytes; ++offset) {
        const int64_t r = offset / (w + 1) - 1;
        const bool is_cell = r >= 0 && r < h && offset % (w + 1) < w;
        if (!is_cell && current_byte(offset) != 0) {
            return "guard byte " + std::to_string(offset) + " is " +
                   std::to_string(current_byte(offset));
        }
    }
    if (position_is_settled(board_width, board_height, current_cells_top_row_first().data()) == 0) {
        return "the cells are not a settled position";
    }
    return "";
}

Rows full_rows(int width, int height, uint32_t seed, int colours) {
    std::mt19937 random(seed);
    Rows rows(static_cast<std::size_t>(height));
    for (auto& row : rows) {
        for (int c = 0; c < width; ++c) {
            row.push_back(1 << (random() % static_cast<unsigned>(colours)));
        }
    }
    return rows;
}

std::vector<Cell> ragged_position(int32_t width, int32_t height, uint32_t colours,
                                  const std::function<uint32_t()>& draw) {
    std::vector<Cell> cells(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    const uint32_t filled = 1 + draw() % static_cast<uint32_t>(width);
    for (uint32_t column = 0; column < filled; ++column) {
        const uint32_t tiles = 1 + draw() % static_cast<uint32_t>(height);
        for (auto row = static_cast<uint32_t>(height) - tiles; row < static_cast<uint32_t>(height);
             ++row) {
            cells[row * static_cast<uint32_t>(width) + column] =
                static_cast<Cell>(1 << (draw() % colours));
        }
    }
    return cells;
}
