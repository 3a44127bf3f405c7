// Bounds on the tiles any sequence of moves must leave. Internal to the solver.
#pragma once

#include <algorithm>
#include <cstdint>

#include "solver/groups.hpp"

inline int32_t lone_bound_of(const int32_t* counts) {
    int32_t bound = 0;
    for (int32_t colour = 1; colour <= colour_count; ++colour) {
        bound += counts[colour] == 1 ? 1 : 0;
    }
    return bound;
}

// Whether the dead-tile bound below is worth working out in a search that stops at `best`
// tiles: only when the `lone` tiles alone come within three of it. It costs thousands of
// instructions once a colour is down to one tile, and it prunes only where it reaches the
// best. On the hardest 10 x 8 deal, with four or more dead tiles still to find, it pruned one
// time in eight, and the positions it pruned were settled just below them anyway: 0.5 M of
// 132 M positions, for 8 % of the instructions.
inline bool worth_dead_tiles(int32_t lone, int32_t best) {
    return lone + 3 >= best;
}

// A tile with its column and row worked out once: dividing by the height for every pair of
// tiles compared cost a twentieth of the exact search.
struct DeadTile {
    int32_t cell;
    int16_t column;
    int16_t row;
};

// Room for the dead-tile bound, made once a search.
struct DeadScratch {
    uint8_t* dead;          // per cell
    uint16_t* dead_below;   // per column, height + 1 prefix counts
    int32_t* dead_columns;  // columns holding a dead tile, before each column
    DeadTile* by_colour;    // the tiles of each colour, one list after another
    int32_t* bay_tiles;     // per run of columns without a dead tile, live tiles of one colour
};

// A tile is dead when it can never be removed: it is the only one of its colour, or no other
// live tile of its colour can ever come next to it. Tiles keep their column and their order in
// it, columns keep their order, and a tile never rises; a dead tile never goes, so it keeps
// every tile above it at least that high and its column from ever emptying. Two tiles of one
// column meet only when nothing dead lies between them; two of different columns only when no
// column between them holds a dead tile and each can come down to a row the other can reach.
// Returns the number of dead tiles, a bound no sequence of moves can beat. Without a colour
// of one tile nothing is dead, so the work is only done where a colour is down to one.
template <int Words>
int32_t dead_tile_bound(const Geometry<Words>& g, const Frame<Words>& frame, DeadScratch& s) {
    int32_t dead = lone_bound_of(frame.counts);
    if (dead == 0) {
        return 0;
    }
    const int32_t h = g.height;
    const BitBoard<Words>& board = frame.board;
    int32_t starts[colour_count + 2] = {};
    for (int32_t c = 0; c < colour_count; ++c) {
        starts[c + 1] = starts[c] + frame.counts[c + 1];
        int32_t at = starts[c];
        Bits<Words> left = board.colour[c];
        const uint8_t lone = frame.counts[c + 1] == 1 ? 1 : 0;
        while (!is_empty(left)) {
            const int32_t cell = lowest_bit(left);
            left.word[cell >> 6] &= left.word[cell >> 6] - 1;
            s.dead[cell] = lone;
            const int32_t column = column_of(g, cell);
            s.by_colour[at++] = DeadTile{cell, static_cast<int16_t>(column),
                                         static_cast<int16_t>(cell - column * h)};
        }
    }
    const Bits<Words> occupied = tiles_of(board);
    const auto below = [&](int32_t column, int32_t row) {
        return static_cast<int32_t>(s.dead_below[column * (h + 1) + row]);
    };
    const auto can_meet = [&](const DeadTile& a, const DeadTile& b) {
        const int32_t ca = a.column, ra = a.row, cb = b.column, rb = b.row;
        if (ca == cb) {
            const int32_t low = ra < rb ? ra : rb, high = ra < rb ? rb : ra;
            return below(ca, high) == below(ca, low + 1);
        }
        const int32_t left = ca < cb ? ca : cb, right = ca < cb ? cb : ca;
        return s.dead_columns[right] == s.dead_columns[left + 1] && below(ca, ra) <= rb &&
               below(cb, rb) <= ra;
    };
    for (bool changed = true; changed;) {
        changed = false;
        for (int32_t column = 0; column < board.columns; ++column) {
            uint16_t* counts = s.dead_below + column * (h + 1);
            int32_t row = 0;
            for (; row < h && has_bit(occupied, column * h + row); ++row) {
                counts[row + 1] = static_cast<uint16_t>(counts[row] + s.dead[column * h + row]);
            }
            s.dead_columns[column + 1] = s.dead_columns[column] + (counts[row] > 0 ? 1 : 0);
        }
        // Two live tiles in columns without a dead tile and no dead column between them can
        // always meet, so most tiles find a partner by a count; only the others are compared
        // tile by tile. Counts that a tile dying later in the pass makes stale only delay it
        // to the next pass, and the last pass changes nothing.
        const auto clear_column = [&](int32_t column) {
            return s.dead_columns[column + 1] == s.dead_columns[column];
        };
        for (int32_t c = 0; c < colour_count; ++c) {
            std::fill(s.bay_tiles, s.bay_tiles + s.dead_columns[board.columns] + 1, 0);
            for (int32_t i = starts[c]; i < starts[c + 1]; ++i) {
                const DeadTile& tile = s.by_colour[i];
                if (s.dead[tile.cell] == 0 && clear_column(tile.column)) {
                    s.bay_tiles[s.dead_columns[tile.column]] += 1;
                }
            }
            for (int32_t i = starts[c]; i < starts[c + 1]; ++i) {
                const DeadTile& tile = s.by_colour[i];
                if (s.dead[tile.cell] != 0 ||
                    (clear_column(tile.column) && s.bay_tiles[s.dead_columns[tile.column]] >= 2)) {
                    continue;
                }
                bool partner = false;
                for (int32_t j = starts[c]; j < starts[c + 1] && !partner; ++j) {
                    const DeadTile& other = s.by_colour[j];
                    partner = j != i && s.dead[other.cell] == 0 && can_meet(tile, other);
                }
                if (!partner) {
                    s.dead[tile.cell] = 1;
                    ++dead;
                    changed = true;
                }
            }
        }
    }
    return dead;
}
