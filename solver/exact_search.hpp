// The exact search: depth-first branch and bound on the fewest tiles left, with the proven
// lower bounds it finds kept in the table. Internal to the solver.
#pragma once

#include <cstdint>

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

// Puts the groups in the order the search tries them: the other colours first, larger
// before smaller, ties in the order found.
template <int Words>
void order_groups(Frame<Words>& frame) {
    const int32_t held = held_colour(frame.counts);
    const auto rank = [&](const Group& group) {
        return (group.colour == held ? 0 : 1 << 20) + group.size;
    };
    for (int32_t i = 1; i < frame.group_count; ++i) {
        const Group moving = frame.groups[i];
        int32_t j = i;
        for (; j > 0 && rank(frame.groups[j - 1]) < rank(moving); --j) {
            frame.groups[j] = frame.groups[j - 1];
        }
        frame.groups[j] = moving;
    }
}

// Returns a proven lower bound on the tiles any sequence from the frame at depth leaves; on
// the way it records every better sequence it meets. Meaningless once the search stopped.
// The frame comes counted and keyed; its groups are only listed when the bounds do not end
// the search there.
template <int Words>
int32_t branch(Search<Words>& s, int32_t depth, const Group* played) {
    Frame<Words>& frame = s.frames[depth];
    const int32_t tiles = frame.board.tiles;
    // Every position goes in the table: small ones too, whose search again costs more than
    // the lookup once a colour is down to one tile and the dead-tile bound is worked out.
    int32_t bound = probe(*s.table, frame.key);
    if (bound >= s.best) {
        return bound;
    }
    const int32_t dead = dead_tile_bound(s.geometry, frame, s.dead);
    bound = dead > bound ? dead : bound;
    if (bound >= s.best) {
        return bound;
    }
    if (played == nullptr) {
        list_groups(s.geometry, frame);
    } else {
        list_groups_after(s.geometry, s.frames[depth - 1], *played, frame);
    }
    if (frame.group_count == 0) {
        if (tiles < s.best) {
            record_best(s, tiles, s.path, depth);
        }
        return tiles;
    }
    order_groups(frame);
    const int64_t nodes_before = s.nodes;
    int32_t value = no_value;
    Frame<Words>& child = s.frames[depth + 1];
    for (int32_t g = 0; g < frame.group_count; ++g) {
        if (out_of_budget(s)) {
            return 0;
        }
        play_group(s.geometry, frame, frame.groups[g], child);
        ++s.nodes;
        s.path[depth] = frame.groups[g].first;
        const int32_t found = branch(s, depth + 1, &frame.groups[g]);
        if (s.stopped || s.finished) {
            return 0;
        }
        value = found < value ? found : value;
        if (value <= bound) {
            break;
        }
    }
    value = value > bound ? value : bound;
    store(*s.table, frame.key, value, s.nodes - nodes_before);
    return value;
}
