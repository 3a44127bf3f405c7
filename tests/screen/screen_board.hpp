// Reading the board off a screenshot of a program's window, and asking the engine what the
// window must show next. Shared by the window tests of both programs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "window_harness.hpp"

constexpr int white_cell = -1;    // nothing drawn there: the white background shows
constexpr int unknown_cell = -2;  // neither a tile nor white

struct ScreenBoard {
    int columns = 0;
    int rows = 0;
    std::vector<int> tiles;  // tile index 0 ... 5 or one of the two values above, top row first
};
bool operator==(const ScreenBoard& a, const ScreenBoard& b);
int shown_at(const ScreenBoard& board, int column, int row);

// What the 64 x 64 square with its top-left corner at root pixel (x, y) shows.
int tile_shown(const Screenshot& shot, int x, int y);
// The cells of a client area whose top-left corner is at root pixel (left, top).
ScreenBoard read_screen_board(const Screenshot& shot, int left, int top, int columns, int rows);
bool area_is_white(const Screenshot& shot, int x, int y, int width, int height);
// Rows of tile indices ('.' white, '?' unknown) for failure messages.
std::string describe(const ScreenBoard& board);

// Places what the screen shows as the engine's dealt and current position; false when a
// cell shows no tile or the position is not settled.
bool load_screen_board(const ScreenBoard& board);
// What the window shows of the engine's current board, cell by cell.
ScreenBoard engine_screen_board(int columns, int rows);
// Whether every cell shows a tile index within [lowest, highest].
bool every_cell_shows_one_of(const ScreenBoard& board, int lowest, int highest);
// Every cell a tile, each column's tiles one run down to the bottom, the columns holding
// tiles one run from the left.
bool screen_board_is_settled(const ScreenBoard& board);
// A cell holding a tile without a neighbour of its colour; false when there is none.
bool find_lone_tile(const ScreenBoard& board, int& column, int& row);
// A cell whose click removes a group; false when there is none.
bool find_group(const ScreenBoard& board, int& column, int& row);

// `count` random clicks inside the 640 x 512 client area of a 10 x 8 board at root (left,
// top), one in `right_one_in` a right click, played on the engine's current board in the order
// the window will get them.
std::vector<Click> random_clicks_played(uint32_t seed, int count, int right_one_in, int left,
                                        int top);

// Takes screenshots until the client area at (left, top) shows `expected` or timeout_ms
// passes; `seen` is the last board read.
bool wait_for_screen(const std::string& display, int left, int top, const ScreenBoard& expected,
                     int timeout_ms, ScreenBoard& seen);
