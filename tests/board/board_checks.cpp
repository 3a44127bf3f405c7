#include "board_checks.hpp"

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
    Rows rows(static_cast<std::size_t>(board_height));
    for (int32_t row = 0; row < board_height; ++row) {
        for (int32_t column = 0; column < board_width; ++column) {
            rows[static_cast<std::size_t>(row)].push_back(board_cell(column, row));
        }
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
        const int64_t c = offset % (w + 1);
        const int value = current_byte(offset);
        const bool is_cell = r >= 0 && r < h && c < w;
        if (!is_cell && value != 0) {
            return "guard byte " + std::to_string(offset) + " is " + std::to_string(value);
        }
        if (is_cell && value != 0 && value != 1 && value != 2 && value != 4 && value != 8 &&
            value != 16) {
            return "cell " + std::to_string(c) + "," + std::to_string(r) + " holds " +
                   std::to_string(value);
        }
    }
    bool empty_seen = false;
    for (int64_t c = 0; c < w; ++c) {
        bool tile_seen = false;
        for (int64_t r = 0; r < h; ++r) {
            const bool tile = current_byte((r + 1) * (w + 1) + c) != 0;
            if (tile_seen && !tile) {
                return "hole in column " + std::to_string(c);
            }
            tile_seen = tile_seen || tile;
        }
        if (tile_seen && empty_seen) {
            return "column " + std::to_string(c) + " after an empty column";
        }
        empty_seen = empty_seen || !tile_seen;
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
