// A position as one bit set a colour, and its moves: removing a group, letting the tiles
// above it fall, closing empty columns to the left. Internal to the solver.
#pragma once

#include <cstdint>

#include "solver/bits.hpp"
#include "solver/solver.hpp"

constexpr int32_t colour_count = 5;  // colour numbers 1 to 5 are bit sets 0 to 4

template <int Words>
struct BitBoard {
    Bits<Words> colour[colour_count];
    int32_t tiles;
    int32_t columns;  // columns holding tiles, a run from column 0
};

template <int Words>
Bits<Words> tiles_of(const BitBoard<Words>& board) {
    Bits<Words> all = board.colour[0];
    for (int32_t c = 1; c < colour_count; ++c) all = either(all, board.colour[c]);
    return all;
}

// Colour number (1 to 5) of a cell, 0 when empty.
template <int Words>
int32_t colour_at(const BitBoard<Words>& board, int32_t cell) {
    for (int32_t c = 0; c < colour_count; ++c) {
        if (has_bit(board.colour[c], cell))
            return c + 1;
    }
    return 0;
}

template <int Words>
BitBoard<Words> board_of_position(const Position& position) {
    BitBoard<Words> board;
    for (Bits<Words>& bits : board.colour) bits = no_bits<Words>();
    for (int32_t cell = 0; cell < position.width * position.height; ++cell) {
        const int32_t colour = position.cells[static_cast<std::size_t>(cell)];
        if (colour != 0)
            set_bit(board.colour[colour - 1], cell);
    }
    board.tiles = position.tiles;
    board.columns = position.columns;
    return board;
}

template <int Words>
Position position_of_board(const Geometry<Words>& g, const BitBoard<Words>& board) {
    Position p;
    p.width = g.width;
    p.height = g.height;
    p.cells.assign(static_cast<std::size_t>(g.width * g.height), 0);
    p.heights.assign(static_cast<std::size_t>(g.width), 0);
    for (int32_t cell = 0; cell < g.width * g.height; ++cell) {
        const int32_t colour = colour_at(board, cell);
        p.cells[static_cast<std::size_t>(cell)] = static_cast<uint8_t>(colour);
        if (colour != 0)
            p.heights[static_cast<std::size_t>(cell / g.height)] += 1;
    }
    p.tiles = board.tiles;
    p.columns = board.columns;
    return p;
}

// Each colour is mixed on its own, so that the five chains of multiplications run side by
// side, and the five are then mixed together.
template <int Words>
uint64_t key_of(const Geometry<Words>& g, const BitBoard<Words>& board) {
    uint64_t lanes[colour_count];
    for (int32_t c = 0; c < colour_count; ++c) {
        lanes[c] = mix_key(0x51u + static_cast<uint64_t>(c), board.colour[c], g.used_words);
    }
    uint64_t key = 0;
    for (const uint64_t lane : lanes) key = (key ^ lane) * 0x9E3779B97F4A7C15ull;
    return finish_key(key);
}

// Removes the cells of `run` from every colour: a run of one column, `length` cells from
// `low`; the tiles above it in the column come down by its length.
template <int Words>
void remove_run(const Geometry<Words>& g, BitBoard<Words>& board, int32_t low, int32_t length) {
    const int32_t column_end = (column_of(g, low) + 1) * g.height;
    const Bits<Words> below = bit_range<Words>(0, low);
    const Bits<Words> above = bit_range<Words>(low + length, column_end);
    const Bits<Words> beyond = bit_range<Words>(column_end, Words * 64);
    for (Bits<Words>& bits : board.colour) {
        const Bits<Words> kept = either(both(bits, below), both(bits, beyond));
        bits = either(kept, lowered(both(bits, above), length));
    }
}

// Closes an empty column: every column right of it moves one to the left.
template <int Words>
void close_column(const Geometry<Words>& g, BitBoard<Words>& board, int32_t column) {
    const Bits<Words> below = bit_range<Words>(0, column * g.height);
    for (Bits<Words>& bits : board.colour) {
        bits = either(both(bits, below), without(lowered(bits, g.height), below));
    }
    board.columns -= 1;
}

// Removes a group (its cells given) and lets the board settle, column by column from the
// right so that the cells still to remove keep their places.
template <int Words>
BUILT_FOR_NEWER_PROCESSORS_TOO void remove_group(const Geometry<Words>& g, BitBoard<Words>& board,
                                                 Bits<Words> group) {
    board.tiles -= count_bits(group);
    if (is_empty(group)) {
        return;
    }
    if (g.height <= 64) {
        // A column at a time as one word, from the group's two ends worked out once: finding
        // each column from what was left of the group made it wait on the one before.
        const int32_t first_column = column_of(g, lowest_bit(group));
        for (int32_t column = column_of(g, highest_bit(group)); column >= first_column; --column) {
            const int32_t low = column * g.height;
            const uint64_t gone = field_of(group, low, g.height);
            uint64_t column_bits[colour_count];
            for (int32_t c = 0; c < colour_count; ++c) {
                column_bits[c] = field_of(board.colour[c], low, g.height);
            }
            squeeze_out(column_bits, gone);
            uint64_t left = 0;
            for (int32_t c = 0; c < colour_count; ++c) {
                set_field(board.colour[c], low, g.height, column_bits[c]);
                left |= column_bits[c];
            }
            if (left == 0) {
                close_column(g, board, column);
            }
        }
        return;
    }
    while (!is_empty(group)) {
        const int32_t top = highest_bit(group);
        const int32_t column = column_of(g, top);
        // The run of the group's cells that ends at top, within its column.
        int32_t low = top;
        while (low > column * g.height && has_bit(group, low - 1)) --low;
        group = without(group, bit_range<Words>(low, top + 1));
        remove_run(g, board, low, top + 1 - low);
        const bool column_done = is_empty(group) || highest_bit(group) < column * g.height;
        if (column_done && !has_bit(tiles_of(board), column * g.height)) {
            close_column(g, board, column);  // a column is empty when its bottom cell is
        }
    }
}
