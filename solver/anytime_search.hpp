// The anytime searches, which find good sequences fast and never prove anything: beam search
// over the number of moves, and nested Monte-Carlo search for the large boards. Internal to
// the solver.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "solver/exact_search.hpp"
#include "solver/search_state.hpp"
#include "solver/table.hpp"

// ---- beam search ----

struct Candidate {
    int64_t score;
    int32_t parent;
    int32_t first;
    int32_t colour;
    uint64_t key;
};

struct Link {
    int32_t parent;
    int32_t first;
};

// Lower is better: few lone-colour tiles, then few lone tiles, then few pieces the tiles are
// split into. Lone tiles weigh as much as seven groups: on the six hardest 5-colour 10 x 8
// deals that can be cleared, beams then cleared them in 132 million positions in all, where
// with a lone tile worth one and a half groups they took 188 million.
template <int Words>
int64_t score_of(const Frame<Words>& frame) {
    return int64_t{lone_bound_of(frame.counts)} * 100000 + frame.components * 16 +
           frame.lone_tiles * 96;
}

enum class BeamEnd { done, wider, no_memory };

// A place in the index: the candidate's number plus one, 0 for none, and the high half of its
// key, so that a new position is told from those already there without reading the
// candidates. An empty place is all zero bytes, so a level's index is emptied by memset:
// filled a place at a time with another pattern, it took an eighth of the beams' own time.
struct IndexSlot {
    int32_t item;
    uint32_t check;
};

// The candidates of one beam level, one a position: a candidate for a position already there
// only replaces it when better. Positions are found by their key in an open-addressed index,
// so that choosing the best needs no sort by key.
struct CandidateSet {
    Candidate* items;
    int64_t count;
    IndexSlot* index;  // a power of two long
    uint64_t mask;
};

inline void empty_index(CandidateSet& set) {
    std::memset(static_cast<void*>(set.index), 0,
                static_cast<std::size_t>(set.mask + 1) * sizeof(IndexSlot));
}

// The order the beam keeps candidates in: lower score first, ties by parent, then by group.
inline bool better(const Candidate& a, const Candidate& b) {
    if (a.score != b.score)
        return a.score < b.score;
    if (a.parent != b.parent)
        return a.parent < b.parent;
    return a.first < b.first;
}

inline int64_t index_length(int64_t candidates) {
    int64_t length = 1;
    while (length < 2 * candidates) length *= 2;
    return length;
}

// Starts a position's place in the index on its way into the cache: in a wide beam nearly
// every new position's place misses it.
inline void prefetch_slot(const CandidateSet& set, uint64_t key) {
    __builtin_prefetch(set.index + (key & set.mask));
}

inline void add_candidate(CandidateSet& set, const Candidate& candidate) {
    const auto check = static_cast<uint32_t>(candidate.key >> 32);
    uint64_t at = candidate.key & set.mask;
    for (; set.index[at].item != 0; at = (at + 1) & set.mask) {
        if (set.index[at].check != check) {
            continue;
        }
        Candidate& other = set.items[set.index[at].item - 1];
        if (other.key == candidate.key) {
            if (better(candidate, other))
                other = candidate;
            return;
        }
    }
    set.index[at] = IndexSlot{static_cast<int32_t>(set.count + 1), check};
    set.items[set.count++] = candidate;
}

// Keeps the best `most` candidates, best first, and indexes them again.
inline void keep_best(CandidateSet& set, int64_t most) {
    // As a lambda the comparison is inlined into the sort; passed as a function it was called.
    const auto in_order = [](const Candidate& a, const Candidate& b) { return better(a, b); };
    const int64_t kept = std::min(most, set.count);
    if (kept < set.count) {
        std::nth_element(set.items, set.items + kept, set.items + set.count, in_order);
    }
    std::sort(set.items, set.items + kept, in_order);
    empty_index(set);
    set.count = 0;
    for (int64_t k = 0; k < kept; ++k) add_candidate(set, set.items[k]);
}

// The arrays a beam works in, one after another in the search's kept room.
template <int Words>
struct BeamArrays {
    BitBoard<Words>* level;
    BitBoard<Words>* next;
    Candidate* candidates;
    IndexSlot* index;
    uint64_t index_mask;
    Link* history;  // a level's links, `width` apart
    Group* groups;
    Bits<Words>* cells;
    Candidate* made;
    int32_t* line;
};

// Places `count` items of T at `used` bytes from `base`, each array on a cache line of its own.
template <typename T>
T* place(uintptr_t base, std::size_t& used, int64_t count) {
    T* at = reinterpret_cast<T*>(base + used);
    used += (static_cast<std::size_t>(count) * sizeof(T) + 63) & ~std::size_t{63};
    return at;
}

// Lays the arrays of a beam of the given width out from base; returns the bytes they take.
// With base 0 it only counts them.
template <int Words>
std::size_t lay_out_beam(uintptr_t base, int64_t width, const Search<Words>& s,
                         BeamArrays<Words>& a) {
    const int32_t groups_most = most_groups(s.geometry.width * s.geometry.height);
    // Candidates are cut down to the best `width` whenever eight times that many have gathered,
    // which keeps the same ones as choosing among all at once.
    const int64_t room_for_candidates = 8 * width + groups_most;
    std::size_t used = 0;
    a.level = place<BitBoard<Words>>(base, used, width);
    a.next = place<BitBoard<Words>>(base, used, width);
    a.candidates = place<Candidate>(base, used, room_for_candidates);
    a.index = place<IndexSlot>(base, used, index_length(room_for_candidates));
    a.index_mask = static_cast<uint64_t>(index_length(room_for_candidates) - 1);
    a.history = place<Link>(base, used, width * s.depths);
    a.groups = place<Group>(base, used, groups_most);
    a.cells = place<Bits<Words>>(base, used, groups_most);
    a.made = place<Candidate>(base, used, groups_most);
    a.line = place<int32_t>(base, used, s.depths);
    return used;
}

// One beam search of the given width, kept within the budget unless told to run to its end
// (the first, narrowest one always does, so that every solve has a sequence to give; past the
// budget it looks only as far as the first child that can go on at each level, so that even
// a huge board costs about a move's work per level). Ends with `wider` when some level had
// more positions than the width; else a wider beam would see the same.
template <int Words>
BeamEnd beam(Search<Words>& s, int64_t width, bool whole) {
    const Geometry<Words>& g = s.geometry;
    BeamArrays<Words> a;
    void* room = room_of(*s.beam_room, lay_out_beam(0, width, s, a));
    if (room == nullptr) {
        return BeamEnd::no_memory;
    }
    lay_out_beam(reinterpret_cast<uintptr_t>(room), width, s, a);
    BitBoard<Words>* level = a.level;
    BitBoard<Words>* next = a.next;
    CandidateSet set{a.candidates, 0, a.index, a.index_mask};
    Link* history = a.history;
    Candidate* made = a.made;
    int32_t* line = a.line;
    Frame<Words> parent;
    Frame<Words> scratch;  // a child, only counted: its groups are listed if it is kept
    parent.groups = a.groups;
    parent.cells = a.cells;  // found once as the groups are listed, not again for each child
    level[0] = s.frames[0].board;
    int64_t level_size = 1;
    bool narrowed = false;
    // Once a cut-down has left more positions out than it kept, a candidate worse than the
    // last one it kept can never be chosen: it is left out at once instead of being sorted.
    bool full = false;
    Candidate worst_kept{};
    // One of each position, the best scored, at most `width` of them, best first.
    const auto cut_down = [&]() {
        const int64_t before = set.count;
        keep_best(set, width);
        if (set.count < before) {
            narrowed = true;
            worst_kept = set.items[set.count - 1];
            full = true;
        }
    };
    for (int32_t depth = 0; level_size > 0; ++depth) {
        set.count = 0;
        empty_index(set);
        full = false;
        bool cut = false;
        for (int64_t slot = 0; slot < level_size && !cut; ++slot) {
            parent.board = level[slot];
            analyse(g, parent);
            // The children's places in the index are asked for as they are made, and the
            // children added once all are made, so that the index's cache misses overlap.
            int32_t made_count = 0;
            for (int32_t i = 0; i < parent.group_count; ++i) {
                if (s.finished || (!whole && out_of_budget(s))) {
                    return BeamEnd::wider;
                }
                if (whole && set.count + made_count > 0 && out_of_budget(s)) {
                    cut = true;
                    break;
                }
                const Group& group = parent.groups[i];
                play_cells(g, parent, group, parent.cells[i], scratch);
                ++s.nodes;
                if (!count_pieces(g, scratch)) {
                    if (scratch.board.tiles < s.best) {
                        // Walk the history back to the root for the moves.
                        line[depth] = group.first;
                        int64_t at = slot;
                        for (int32_t d = depth - 1; d >= 0; --d) {
                            const Link link = history[int64_t{d} * width + at];
                            line[d] = link.first;
                            at = link.parent;
                        }
                        record_best(s, scratch.board.tiles, line, depth + 1);
                    }
                    continue;
                }
                if (lone_bound_of(scratch.counts) >= s.best) {
                    continue;
                }
                const Candidate candidate{score_of(scratch), static_cast<int32_t>(slot),
                                          group.first, group.colour, scratch.key};
                if (!full || better(candidate, worst_kept)) {
                    prefetch_slot(set, candidate.key);
                    made[made_count++] = candidate;
                }
            }
            for (int32_t k = 0; k < made_count; ++k) add_candidate(set, made[k]);
            if (set.count > 8 * width) {
                cut_down();
            }
        }
        cut_down();
        const int64_t kept = set.count;
        for (int64_t k = 0; k < kept; ++k) {
            const Candidate& c = set.items[k];
            next[k] = level[c.parent];
            remove_group(g, next[k], piece_at(g, next[k], c.first, c.colour));
            history[int64_t{depth} * width + k] = Link{c.parent, c.first};
        }
        std::swap(level, next);
        level_size = kept;
    }
    return narrowed ? BeamEnd::wider : BeamEnd::done;
}

// Beams are kept within s.beam_bytes, 128 MiB unless a solve asks for less: every 5-colour
// 10 x 8 deal of seeds 1 to 500 that beams clear is cleared by one of at most 131 072
// positions (128 MiB there; seeds 79 and 435 need that many). The next width cleared none of
// the others, and took 9 s from the exact search on each deal that cannot be cleared.
template <int Words>
int64_t widest_beam(const Search<Words>& s) {
    const int64_t slot_bytes = 2 * int64_t{sizeof(BitBoard<Words>)} +
                               8 * int64_t{sizeof(Candidate)} + 32 * int64_t{sizeof(IndexSlot)} +
                               s.depths * int64_t{sizeof(Link)};
    return std::max<int64_t>(16, s.beam_bytes / slot_bytes);
}

// ---- nested Monte-Carlo search ----

constexpr int32_t deepest_nesting = 3;

// What one level of nested search works in.
template <int Words>
struct NestedRoom {
    Frame<Words> frame;
    Frame<Words> child;
    int32_t* best_line;
    int32_t* line;
};

template <int Words>
bool make_nested_rooms(Search<Words>& s, SearchMemory& memory, NestedRoom<Words>* rooms) {
    const int32_t groups_most = most_groups(s.geometry.width * s.geometry.height);
    for (int32_t level = 0; level <= deepest_nesting; ++level) {
        rooms[level].frame.groups = take_array<Group>(memory, groups_most);
        rooms[level].child.groups = take_array<Group>(memory, groups_most);
        rooms[level].best_line = take_array<int32_t>(memory, s.depths);
        rooms[level].line = take_array<int32_t>(memory, s.depths);
    }
    return !memory.failed;
}

// A playout: random moves, a group of the most frequent colour only when nothing else is left.
// Appends its moves; returns the tiles left.
template <int Words>
int32_t playout(Search<Words>& s, NestedRoom<Words>& room, uint64_t& random, int32_t* moves,
                int32_t& length) {
    Frame<Words>* frame = &room.frame;
    Frame<Words>* spare = &room.child;
    while (frame->group_count > 0 && !out_of_budget(s)) {
        order_groups(*frame);
        const int32_t held = held_colour(frame->counts);
        uint64_t others = 0;
        for (int32_t i = 0; i < frame->group_count; ++i) {
            others += frame->groups[i].colour != held ? 1 : 0;
        }
        const auto pick = static_cast<int32_t>(
            split_mix(random) % (others > 0 ? others : static_cast<uint64_t>(frame->group_count)));
        const Group group = frame->groups[pick];
        moves[length++] = group.first;
        play_and_analyse(s.geometry, *frame, group, *spare);
        ++s.nodes;
        std::swap(frame, spare);  // the frames themselves stay, so their groups stay theirs
    }
    return frame->board.tiles;
}

// Nested Monte-Carlo search: at each step every move is tried with a search one level lower,
// and the first move of the best sequence seen so far is played. Appends its moves; returns
// the tiles they leave.
template <int Words>
int32_t nested(Search<Words>& s, NestedRoom<Words>* rooms, const BitBoard<Words>& start,
               int32_t level, uint64_t& random, int32_t* moves, int32_t& length) {
    NestedRoom<Words>& room = rooms[level];
    room.frame.board = start;
    analyse(s.geometry, room.frame);
    if (level == 0) {
        return playout(s, room, random, moves, length);
    }
    int32_t best_left = no_value;
    int32_t best_length = 0;  // of best_line, which holds the rest of the best sequence
    int32_t best_start = 0;   // its first move still to play
    while (room.frame.group_count > 0 && !out_of_budget(s)) {
        for (int32_t i = 0; i < room.frame.group_count; ++i) {
            const Group group = room.frame.groups[i];
            play_group(s.geometry, room.frame, group, room.child);
            ++s.nodes;
            int32_t line_length = 1;
            room.line[0] = group.first;
            const BitBoard<Words> after = room.child.board;
            const int32_t left = nested(s, rooms, after, level - 1, random, room.line, line_length);
            if (left < best_left) {
                best_left = left;
                best_length = line_length;
                best_start = 0;
                std::copy(room.line, room.line + line_length, room.best_line);
            }
        }
        if (best_start == best_length) {
            break;
        }
        // Play the first move of the best line.
        const int32_t first = room.best_line[best_start++];
        moves[length++] = first;
        const int32_t colour = colour_at(room.frame.board, first);
        remove_group(s.geometry, room.frame.board,
                     piece_at(s.geometry, room.frame.board, first, colour));
        analyse(s.geometry, room.frame);
    }
    if (room.frame.group_count == 0 || best_left == no_value) {
        return room.frame.board.tiles;
    }
    // Cut short by the budget: the rest of the best line is what the moves so far lead to.
    for (int32_t i = best_start; i < best_length; ++i) moves[length++] = room.best_line[i];
    return best_left;
}
