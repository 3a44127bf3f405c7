// The portable part of the program: the command line, the window geometry and the five
// window events. A front end translates its platform's events into these calls.
#pragma once

#include <cstdint>
#include <vector>

#include "tiles/pixel_buffer.hpp"

extern int32_t colour_count;
extern int32_t requested_width;
extern int32_t requested_height;

// The rest of a full command line after the program's own name.
const char* command_tail(const char* command_line);
// Reads up to three numbers as "%d %d %d" into the three parameters; unread ones stay 0.
void read_parameters(const char* tail);

struct ClientRect {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
};
// The client rectangle requested for the board: (50, 50, width * 64 + 48, height * 64 + 48),
// exact while a frame can still be added around it in 32 bits, saturated beyond that.
ClientRect requested_client_rect();
// One side of a client area for `cells` requested cells: cells * 64, at least 1 and at
// most `limit` (limit at least 1).
int32_t client_extent(int32_t cells, int32_t limit);

// Painting: draw_tile is called for each cell that intersects the pixel rectangle
// [left, right) x [top, bottom), with the tile index and the cell's top-left pixel.
using DrawTile = void (*)(void* context, int32_t index, int32_t x, int32_t y);

void handle_create();
void handle_paint(int32_t left, int32_t top, int32_t right, int32_t bottom, DrawTile draw_tile,
                  void* context);
// Paints the cells that intersect the buffer straight into it.
void handle_paint_pixels(const PixelBuffer& target);
// `point` packs client x in its low 16 bits and client y in the next 16, both unsigned.
void handle_left_button(uint32_t point);
uint32_t pack_client_point(int32_t x, int32_t y);
void handle_right_button();
void handle_destroy();

// What the page does beyond the five events: a new deal, a given deal, a move by cell, and
// what it shows of a game.
//
// A deal seeded from the clock like the first one, but never the board shown before it: two
// deals within one second would otherwise be the same.
void handle_new_deal();
// The deal of a given seed, for tests of the page.
void handle_deal_seeded(uint32_t seed);
// A move by board coordinates, for boards wider than any canvas.
void handle_play_cell(int32_t column, int32_t row);
// The board's current cells, top row first (empty without a board), its width and height.
std::vector<signed char> shown_cells();
int32_t shown_width();
int32_t shown_height();
int32_t tiles_left();
// Whether any tile has a neighbour of its colour: false once the game is over.
bool any_move_left();
