// The exact search: depth-first branch and bound on the fewest tiles left, with the proven
// lower bounds it finds kept in the table. Internal to the solver.
#pragma once

#include <algorithm>
#include <cstdint>
#include <utility>

#include "solver/search_state.hpp"
#include "solver/table.hpp"

// The most frequent colour: kept back, so that its tiles join up as the others go.
inline int32_t held_colour(const int32_t* counts) {
    int32_t held = 1;
    for (int32_t colour = 2; colour <= colour_count; ++colour) {
        if (counts[colour] > counts[held])
            held = colour;
    }
    return held;
}

// Where a group comes in the order the searches try groups in, highest first: the other
// colours before the held one, larger before smaller.
inline uint32_t order_rank(const Group& group, int32_t held) {
    return (group.colour != held ? uint32_t{1} << 20 : 0) + static_cast<uint32_t>(group.size);
}

// Puts the groups in that order, ties in the order found.
template <int Words>
void order_groups(Frame<Words>& frame) {
    const int32_t held = held_colour(frame.counts);
    const auto rank = [&](const Group& group) { return order_rank(group, held); };
    for (int32_t i = 1; i < frame.group_count; ++i) {
        const Group moving = frame.groups[i];
        int32_t j = i;
        for (; j > 0 && rank(frame.groups[j - 1]) < rank(moving); --j) {
            frame.groups[j] = frame.groups[j - 1];
        }
        frame.groups[j] = moving;
    }
}

// Puts the groups in the order the exact search tries them: those awake first, as
// order_groups does, then those asleep in the order found, which are never played here. Only
// the awake ones are sorted, as 64-bit keys, which cost less to move than the groups: most
// groups of a position deep in a proof are asleep.
template <int Words>
void order_awake_first(Frame<Words>& frame, uint64_t* keys, Group* spare) {
    const int32_t held = held_colour(frame.counts);
    const int32_t count = frame.group_count;
    int32_t awake = 0;
    int32_t asleep = count;
    for (int32_t i = count - 1; i >= 0; --i) {
        const Group& group = frame.groups[i];
        if (has_bit(frame.asleep, group.first)) {
            spare[--asleep] = group;
        } else {
            // Largest first; among equals the one found first.
            keys[awake++] =
                uint64_t{order_rank(group, held)} << 32 | (0xFFFFFFFFu - static_cast<uint32_t>(i));
        }
    }
    for (int32_t i = 1; i < awake; ++i) {
        const uint64_t moving = keys[i];
        int32_t j = i;
        for (; j > 0 && keys[j - 1] < moving; --j) keys[j] = keys[j - 1];
        keys[j] = moving;
    }
    for (int32_t i = 0; i < awake; ++i) {
        spare[i] = frame.groups[0xFFFFFFFFu - static_cast<uint32_t>(keys[i])];
    }
    std::copy(spare, spare + count, frame.groups);
    frame.awake = awake;
}

// Near the root each exact round tries the moves in an order of its own. A clear that one
// order reaches only after minutes spent under an early move is often found within seconds in
// another, and a proof loses little: what earlier rounds proved stays in the table. Deeper
// down the usual order holds.
constexpr int32_t shuffled_depths = 8;

// Shuffles the groups to be tried, the same way for the same position within a round.
template <int Words>
void shuffle_awake(Frame<Words>& frame, uint64_t round_seed) {
    uint64_t random = round_seed ^ frame.key;
    for (int32_t i = frame.awake - 1; i > 0; --i) {
        const auto j = static_cast<int32_t>(split_mix(random) % static_cast<uint64_t>(i + 1));
        std::swap(frame.groups[i], frame.groups[j]);
    }
}

// Groups that two moves apart leave as they were: a column of tiles lies between them, so
// either order of the two leaves the same position.
inline bool apart(const Group& a, const Group& b) {
    return a.high_column + 1 < b.low_column || b.high_column + 1 < a.low_column;
}

inline bool side_by_side(const Group& a, const Group& b) {
    return a.high_column + 1 == b.low_column || b.high_column + 1 == a.low_column;
}

// For two groups side by side, with `x` the column of `taken` next to `y`, the column of
// `kept`: whether `kept` is still one whole group once `taken` goes. It only moves with the
// columns, so only a tile of its colour that comes down in column x could join it. Not when
// column x empties: another column would come next to it, which is not looked at.
template <int Words>
bool stays_beside(const Geometry<Words>& g, const BitBoard<Words>& board, const Group& kept,
                  const Bits<Words>& kept_cells, int32_t y, const Bits<Words>& taken_cells,
                  int32_t x) {
    const uint64_t gone = field_of(taken_cells, x * g.height, g.height);
    uint64_t column[colour_count];
    uint64_t left = 0;
    for (int32_t c = 0; c < colour_count; ++c) {
        column[c] = field_of(board.colour[c], x * g.height, g.height);
        left |= column[c] & ~gone;
    }
    if (left == 0) {
        return false;
    }
    uint64_t joining[1] = {column[kept.colour - 1]};
    squeeze_out(joining, gone);
    return (joining[0] & field_of(kept_cells, y * g.height, g.height)) == 0;
}

// The groups the child after the parent's group `played` need not play: those of the parent
// that were searched before it or were asleep there, and commute with it. Each of them was
// searched from a position the child's moves can reach as well, in the other order, so the
// child only has to find what none of them leads to. Groups apart from the played one
// commute with it for sure, and only move left by the columns it emptied. Groups side by side
// with it commute when neither is joined by what falls next to it when the other goes: this
// spares about half of the positions made that the table would have known at once. Groups
// sharing a column are not checked: playing both orders out cost more than it spared.
template <int Words>
Bits<Words> asleep_after(const Geometry<Words>& g, const Frame<Words>& parent, int32_t played,
                         const Frame<Words>& child) {
    const Group& move = parent.groups[played];
    const int32_t shift = (parent.board.columns - child.board.columns) * g.height;
    Bits<Words> asleep = no_bits<Words>();
    for (int32_t i = 0; i < parent.group_count; ++i) {
        const Group& other = parent.groups[i];
        if (i >= played && i < parent.awake) {
            continue;
        }
        const bool left = other.low_column < move.low_column;
        if (!apart(other, move)) {
            if (g.height > 64 || !side_by_side(other, move)) {
                continue;
            }
            const Bits<Words> cells = piece_at(g, parent.board, other.first, other.colour);
            const int32_t y = left ? other.high_column : other.low_column;
            const int32_t x = left ? move.low_column : move.high_column;
            if (!stays_beside(g, parent.board, other, cells, y, child.taken, x) ||
                !stays_beside(g, parent.board, move, child.taken, x, cells, y)) {
                continue;
            }
        }
        set_bit(asleep, left ? other.first : other.first - shift);
    }
    return asleep;
}

// Makes the children of the frame at depth for its groups from `from` on, as many as
// children_ahead, and starts their table lookups.
template <int Words>
void play_ahead(Search<Words>& s, int32_t depth, int32_t from) {
    const Frame<Words>& frame = s.frames[depth];
    Frame<Words>* ahead = s.ahead + int64_t{depth} * children_ahead;
    const int32_t count = std::min(children_ahead, frame.awake - from);
    for (int32_t k = 0; k < count; ++k) {
        play_group(s.geometry, frame, frame.groups[from + k], ahead[k]);
    }
    // Asked for together, the lookups' page walks overlap; between moves they would each
    // hold the processor up in turn.
    for (int32_t k = 0; k < count; ++k) {
        prefetch_bucket(*s.table, ahead[k].key);
    }
}

// Returns a proven lower bound on the tiles any sequence from the frame at depth leaves; on
// the way it records every better sequence it meets. Meaningless once the search stopped.
// The frame comes counted and keyed, made by the parent's group `played` (-1 at the root);
// its groups are only listed when the bounds do not end the search there.
template <int Words>
int32_t branch(Search<Words>& s, int32_t depth, int32_t played) {
    Frame<Words>& frame = s.frames[depth];
    const int32_t tiles = frame.board.tiles;
    // Every position goes in the table: small ones too, whose search again costs more than
    // the lookup once a colour is down to one tile and the dead-tile bound is worked out.
    int32_t bound = probe(*s.table, frame.key);
    if (bound >= s.best) {
        return bound;
    }
    const int32_t lone = lone_bound_of(frame.counts);
    const int32_t dead =
        worth_dead_tiles(lone, s.best) ? dead_tile_bound(s.geometry, frame, s.dead) : lone;
    bound = dead > bound ? dead : bound;
    if (bound >= s.best) {
        return bound;
    }
    if (played < 0) {
        list_groups(s.geometry, frame);
        frame.asleep = no_bits<Words>();
    } else {
        const Frame<Words>& parent = s.frames[depth - 1];
        list_groups_after(s.geometry, parent, parent.groups[played], frame);
        frame.asleep = asleep_after(s.geometry, parent, played, frame);
    }
    if (frame.group_count == 0) {
        if (tiles < s.best) {
            record_best(s, tiles, s.path, depth);
        }
        return tiles;
    }
    order_awake_first(frame, s.order_keys, s.spare_groups);
    if (s.round_seed != 0 && depth < shuffled_depths) {
        shuffle_awake(frame, s.round_seed);
    }
    const int64_t nodes_before = s.nodes;
    int32_t value = no_value;
    Frame<Words>& child = s.frames[depth + 1];
    Frame<Words>* ahead = s.ahead + int64_t{depth} * children_ahead;
    for (int32_t g = 0; g < frame.awake; ++g) {
        if (out_of_budget(s)) {
            return 0;
        }
        if (g % children_ahead == 0) {
            play_ahead(s, depth, g);
        }
        take_position(child, ahead[g % children_ahead]);
        ++s.nodes;
        s.path[depth] = frame.groups[g].first;
        const int32_t found = branch(s, depth + 1, g);
        if (s.stopped || s.finished) {
            return 0;
        }
        value = found < value ? found : value;
        if (value <= bound) {
            break;
        }
    }
    if (frame.awake < frame.group_count) {
        // What the groups asleep lead to was searched elsewhere and found no better than
        // the best so far: the least of the children is at least that.
        value = value < s.best ? value : s.best;
    }
    value = value > bound ? value : bound;
    store(*s.table, frame.key, value, s.nodes - nodes_before);
    return value;
}
