#include "screen_board.hpp"

#include <chrono>
#include <random>
#include <thread>

#include "board/board.hpp"
#include "tiles/tiles.hpp"

namespace {

constexpr Cell cell_of_tile[tile_count] = {0, 1, 2, 4, 8, 16};

// The tile images as the screen shows them, built once.
const unsigned char* tile_image(int index) {
    static const bool built = [] {
        build_tile_set();
        return true;
    }();
    (void)built;
    return tile_images[index];
}

Rgb tile_pixel(int index, int x, int y) {
    const unsigned char* bgr = tile_image(index) + (63 - y) * tile_row_bytes + x * 3;
    return Rgb{bgr[2], bgr[1], bgr[0]};
}

bool square_shows_tile(const Screenshot& shot, int left, int top, int index) {
    for (int y = 0; y < tile_side; ++y) {
        for (int x = 0; x < tile_side; ++x) {
            if (pixel_at(shot, left + x, top + y) != tile_pixel(index, x, y)) {
                return false;
            }
        }
    }
    return true;
}

bool holds_tile(const ScreenBoard& board, int column, int row) {
    return shown_at(board, column, row) > 0;
}

bool has_matching_neighbour(const ScreenBoard& board, int column, int row) {
    const int tile = shown_at(board, column, row);
    return (column > 0 && shown_at(board, column - 1, row) == tile) ||
           (column + 1 < board.columns && shown_at(board, column + 1, row) == tile) ||
           (row > 0 && shown_at(board, column, row - 1) == tile) ||
           (row + 1 < board.rows && shown_at(board, column, row + 1) == tile);
}

}  // namespace

bool operator==(const ScreenBoard& a, const ScreenBoard& b) {
    return a.columns == b.columns && a.rows == b.rows && a.tiles == b.tiles;
}

int shown_at(const ScreenBoard& board, int column, int row) {
    return board.tiles[static_cast<size_t>(row * board.columns + column)];
}

int tile_shown(const Screenshot& shot, int x, int y) {
    for (int index = 0; index < tile_count; ++index) {
        if (square_shows_tile(shot, x, y, index)) {
            return index;
        }
    }
    return area_is_white(shot, x, y, tile_side, tile_side) ? white_cell : unknown_cell;
}

ScreenBoard read_screen_board(const Screenshot& shot, int left, int top, int columns, int rows) {
    ScreenBoard board;
    board.columns = columns;
    board.rows = rows;
    for (int row = 0; row < rows; ++row) {
        for (int column = 0; column < columns; ++column) {
            board.tiles.push_back(tile_shown(shot, left + column * 64, top + row * 64));
        }
    }
    return board;
}

bool area_is_white(const Screenshot& shot, int x, int y, int width, int height) {
    for (int row = y; row < y + height; ++row) {
        for (int column = x; column < x + width; ++column) {
            if (pixel_at(shot, column, row) != Rgb{255, 255, 255}) {
                return false;
            }
        }
    }
    return true;
}

std::string describe(const ScreenBoard& board) {
    std::string text;
    for (int row = 0; row < board.rows; ++row) {
        text += '\n';
        for (int column = 0; column < board.columns; ++column) {
            const int tile = shown_at(board, column, row);
            text += tile >= 0 ? static_cast<char>('0' + tile) : (tile == white_cell ? '.' : '?');
        }
    }
    return text;
}

bool load_screen_board(const ScreenBoard& board) {
    std::vector<Cell> cells;
    for (int tile : board.tiles) {
        if (tile < 0 || tile >= tile_count) {
            return false;
        }
        cells.push_back(cell_of_tile[tile]);
    }
    return load_board(board.columns, board.rows, cells.data()) == 1;
}

ScreenBoard engine_screen_board(int columns, int rows) {
    ScreenBoard board;
    board.columns = columns;
    board.rows = rows;
    for (int row = 0; row < rows; ++row) {
        for (int column = 0; column < columns; ++column) {
            const int tile = tile_for_cell(board_cell(column, row));
            board.tiles.push_back(tile == no_tile ? white_cell : tile);
        }
    }
    return board;
}

bool every_cell_shows_one_of(const ScreenBoard& board, int lowest, int highest) {
    for (int tile : board.tiles) {
        if (tile < lowest || tile > highest) {
            return false;
        }
    }
    return true;
}

bool screen_board_is_settled(const ScreenBoard& board) {
    bool column_seen_empty = false;
    for (int column = 0; column < board.columns; ++column) {
        bool tile_above = false;
        for (int row = 0; row < board.rows; ++row) {
            const int tile = shown_at(board, column, row);
            if (tile < 0 || (tile == 0 && tile_above)) {
                return false;
            }
            tile_above = tile_above || tile > 0;
        }
        if (tile_above && column_seen_empty) {
            return false;
        }
        column_seen_empty = column_seen_empty || !tile_above;
    }
    return true;
}

bool find_lone_tile(const ScreenBoard& board, int& column, int& row) {
    for (row = 0; row < board.rows; ++row) {
        for (column = 0; column < board.columns; ++column) {
            if (holds_tile(board, column, row) && !has_matching_neighbour(board, column, row)) {
                return true;
            }
        }
    }
    return false;
}

bool find_group(const ScreenBoard& board, int& column, int& row) {
    for (row = board.rows - 1; row >= 0; --row) {
        for (column = 0; column < board.columns; ++column) {
            if (holds_tile(board, column, row) && has_matching_neighbour(board, column, row)) {
                return true;
            }
        }
    }
    return false;
}

std::vector<Click> random_clicks_played(uint32_t seed, int count, int right_one_in, int left,
                                        int top) {
    std::mt19937 random(seed);
    std::vector<Click> clicks;
    for (int i = 0; i < count; ++i) {
        const int x = static_cast<int>(random() % 640);
        const int y = static_cast<int>(random() % 512);
        const bool right = random() % static_cast<unsigned>(right_one_in) == 0;
        if (right) {
            restore_board();
        } else {
            play_move(x / 64, y / 64);
        }
        clicks.push_back(Click{left + x, top + y, right ? 3 : 1});
    }
    return clicks;
}

bool wait_for_screen(const std::string& display, int left, int top, const ScreenBoard& expected,
                     int timeout_ms, ScreenBoard& seen) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        Screenshot shot;
        if (take_screenshot(display, shot)) {
            seen = read_screen_board(shot, left, top, expected.columns, expected.rows);
            if (seen == expected) {
                return true;
            }
        }
        if (std::chrono::steady_clock::now() >= end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}
