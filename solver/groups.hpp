// Finding the groups of a position: each colour's bit set split into its connected pieces
// by flood fill. Internal to the solver.
#pragma once

#include <cstdint>

#include "solver/board_bits.hpp"

// A removable group: two or more connected tiles of one colour.
struct Group {
    int32_t first;  // its lowest cell: leftmost column, lowest row there
    int16_t size;
    int16_t colour;  // 1 to 5
    int16_t low_column;
    int16_t high_column;
};

// A position with what the searches need to know about it.
template <int Words>
struct Frame {
    BitBoard<Words> board;
    uint64_t key;
    Group* groups;  // room for every group a position of the board can have
    int32_t group_count;
    int32_t counts[colour_count + 1];  // tiles of each colour number
    int32_t components;                // pieces (groups and lone tiles) less holes, for the beams
    int32_t lone_tiles;
    // For the exact search: the first cells of the groups it need not play here, and how many
    // groups, at the front of the list, it does play.
    Bits<Words> asleep;
    int32_t awake;
    Bits<Words> taken;  // the cells of the parent's group that made this position
    // Where given (the beams' parents), room for the cells of each group listed.
    Bits<Words>* cells = nullptr;
};

// The most groups a board of this many cells can have.
inline int32_t most_groups(int32_t cells) {
    return cells / 2 + 1;
}

// Counts the colours and keys the position: all the exact search needs to look it up.
template <int Words>
void count_and_key(const Geometry<Words>& g, Frame<Words>& frame) {
    frame.counts[0] = 0;
    for (int32_t c = 0; c < colour_count; ++c) {
        frame.counts[c + 1] = count_bits(frame.board.colour[c]);
    }
    frame.key = key_of(g, frame.board);
}

// Lists the pieces of two or more tiles that have a cell in the columns from low to high,
// after those already listed.
template <int Words>
BUILT_FOR_NEWER_PROCESSORS_TOO void list_groups_within(const Geometry<Words>& g,
                                                       Frame<Words>& frame, int32_t low,
                                                       int32_t high) {
    const Bits<Words> region = bit_range<Words>(low * g.height, (high + 1) * g.height);
    for (int32_t c = 0; c < colour_count; ++c) {
        // Tiles without a neighbour of their colour are lone; only the others are filled.
        const Bits<Words> joined = paired(g, frame.board.colour[c]);
        Bits<Words> left = both(joined, region);
        while (!is_empty(left)) {
            Bits<Words> seed = no_bits<Words>();
            set_bit(seed, lowest_bit(left));
            const Bits<Words> piece = flood(g, seed, joined);
            left = without(left, piece);
            // Named by its lowest cell, which may lie left of the columns listed: a group
            // keeps one name however it was found, and the exact search knows it by that.
            const int32_t first = lowest_bit(piece);
            if (frame.cells != nullptr) {
                frame.cells[frame.group_count] = piece;
            }
            frame.groups[frame.group_count++] =
                Group{first, static_cast<int16_t>(count_bits(piece)), static_cast<int16_t>(c + 1),
                      static_cast<int16_t>(column_of(g, first)),
                      static_cast<int16_t>(column_of(g, highest_bit(piece)))};
        }
    }
}

template <int Words>
void list_groups(const Geometry<Words>& g, Frame<Words>& frame) {
    frame.group_count = 0;
    list_groups_within(g, frame, 0, g.width - 1);
}

// Lists the groups of child, the position after the group `played` of parent (whose groups
// are listed). Only the columns next to the played group can change, and those right of it
// when a column closed: the parent's groups elsewhere stay as they were.
template <int Words>
void list_groups_after(const Geometry<Words>& g, const Frame<Words>& parent, const Group& played,
                       Frame<Words>& child) {
    const bool closed = child.board.columns < parent.board.columns;
    const int32_t low = played.low_column > 0 ? played.low_column - 1 : 0;
    const int32_t high =
        closed || played.high_column + 1 >= g.width ? g.width - 1 : played.high_column + 1;
    child.group_count = 0;
    for (int32_t i = 0; i < parent.group_count; ++i) {
        const Group& group = parent.groups[i];
        if (group.high_column < low || group.low_column > high) {
            child.groups[child.group_count++] = group;
        }
    }
    list_groups_within(g, child, low, high);
}

// What the beams need to score a position made by play_cells: the pieces (groups and lone
// tiles) its tiles fall into, and its lone tiles. Returns whether any group is left to play.
// Pieces are counted as tiles less pairs of neighbours of one colour plus squares of four of
// one colour: the Euler characteristic, which is the pieces less the holes they close round
// other tiles. A hole needs a ring of one colour: none in 18 million children on 10 x 8 and
// 15 x 15 deals, but common on large boards of two or three colours, where the score is the
// lower for it. The pairs of the five colours are disjoint, so they are counted together.
// Listing the groups by flood fill instead took half of the beams' time.
template <int Words, Bits<Words> (*Up)(const Bits<Words>&, int32_t),
          Bits<Words> (*Down)(const Bits<Words>&, int32_t)>
bool count_pieces_by(const Geometry<Words>& g, Frame<Words>& frame) {
    Bits<Words> up_pairs = no_bits<Words>();    // the lower tile of each pair, up and down
    Bits<Words> side_pairs = no_bits<Words>();  // the left tile of each pair side by side
    Bits<Words> squares = no_bits<Words>();     // the lower left tile of each square
    for (const Bits<Words>& tiles : frame.board.colour) {
        const Bits<Words> up = both(both(tiles, g.not_top), Down(tiles, 1));
        up_pairs = either(up_pairs, up);
        side_pairs = either(side_pairs, both(tiles, Down(tiles, g.height)));
        squares = either(squares, both(up, Down(up, g.height)));
    }
    const Bits<Words> joined =
        either(either(up_pairs, Up(up_pairs, 1)), either(side_pairs, Up(side_pairs, g.height)));
    frame.lone_tiles = frame.board.tiles - count_bits(joined);
    frame.components =
        frame.board.tiles - count_bits(up_pairs) - count_bits(side_pairs) + count_bits(squares);
    return !is_empty(joined);
}

template <int Words>
bool count_pieces(const Geometry<Words>& g, Frame<Words>& frame) {
    if (g.height < 64)
        return count_pieces_by<Words, raised_short<Words>, lowered_short<Words>>(g, frame);
    return count_pieces_by<Words, raised<Words>, lowered<Words>>(g, frame);
}

// Lists the groups, counts the colours and keys the position.
template <int Words>
void analyse(const Geometry<Words>& g, Frame<Words>& frame) {
    count_and_key(g, frame);
    list_groups(g, frame);
}

// The cells of the piece of one colour that holds the given cell.
template <int Words>
Bits<Words> piece_at(const Geometry<Words>& g, const BitBoard<Words>& board, int32_t cell,
                     int32_t colour) {
    Bits<Words> seed = no_bits<Words>();
    set_bit(seed, cell);
    return flood(g, seed, board.colour[colour - 1]);
}

// Makes child the position after the group of parent whose cells are given, counted and
// keyed: the counts are the parent's less the group.
template <int Words>
void play_cells(const Geometry<Words>& g, const Frame<Words>& parent, const Group& group,
                const Bits<Words>& cells, Frame<Words>& child) {
    child.board = parent.board;
    child.taken = cells;
    remove_group(g, child.board, cells);
    for (int32_t c = 0; c <= colour_count; ++c) child.counts[c] = parent.counts[c];
    child.counts[group.colour] -= group.size;
    child.key = key_of(g, child.board);
}

template <int Words>
void play_group(const Geometry<Words>& g, const Frame<Words>& parent, const Group& group,
                Frame<Words>& child) {
    play_cells(g, parent, group, piece_at(g, parent.board, group.first, group.colour), child);
}

// The same, and the child's groups listed.
template <int Words>
void play_and_analyse(const Geometry<Words>& g, const Frame<Words>& parent, const Group& group,
                      Frame<Words>& child) {
    play_group(g, parent, group, child);
    list_groups_after(g, parent, group, child);
}

// Copies a position made by play_group into the frame that searches it.
template <int Words>
void take_position(Frame<Words>& into, const Frame<Words>& made) {
    into.board = made.board;
    into.key = made.key;
    into.taken = made.taken;
    for (int32_t c = 0; c <= colour_count; ++c) into.counts[c] = made.counts[c];
}

inline Move move_of(int32_t first, int32_t height) {
    return Move{first / height, height - 1 - first % height};
}
