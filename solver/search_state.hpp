// What one search keeps: the board's geometry, a stack of frames, the budget and the best
// sequence found. Its memory is taken once, checked, and given back at the end; only the
// table and the beams' room, which the caller keeps, outlive a solve. Internal to the solver.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdlib>

#include "solver/bounds.hpp"
#include "solver/solver.hpp"

constexpr int32_t no_value = INT32_MAX;

// A step of a 64-bit pseudo-random stream: the searches' only source of chance, so that a
// solve within a node budget is the same on every run.
uint64_t split_mix(uint64_t& state);

// Children the exact search makes at once, so that their table lookups overlap.
constexpr int32_t children_ahead = 8;

// Blocks of zeroed memory, all given back together.
struct SearchMemory {
    void* blocks[64] = {};
    int32_t count = 0;
    bool failed = false;
};

inline void* take_memory(SearchMemory& memory, std::size_t bytes) {
    if (memory.failed || memory.count == 64) {
        memory.failed = true;
        return nullptr;
    }
    void* block = std::calloc(bytes == 0 ? 1 : bytes, 1);
    memory.failed = block == nullptr;
    if (block != nullptr)
        memory.blocks[memory.count++] = block;
    return block;
}

inline void give_back(SearchMemory& memory) {
    for (int32_t i = 0; i < memory.count; ++i) std::free(memory.blocks[i]);
    memory.count = 0;
}

template <typename T>
T* take_array(SearchMemory& memory, int64_t count) {
    return static_cast<T*>(take_memory(memory, static_cast<std::size_t>(count) * sizeof(T)));
}

template <int Words>
struct Search {
    Geometry<Words> geometry;
    SearchMemory memory;
    Frame<Words>* frames = nullptr;  // one a depth, for every depth a search can reach
    Frame<Words>* ahead = nullptr;   // children_ahead a depth, made before they are searched
    int32_t depths = 0;
    DeadScratch dead = {};
    uint64_t* order_keys = nullptr;  // room to order one position's groups
    Group* spare_groups = nullptr;
    int32_t* path = nullptr;       // first cells of the groups played on the way to each depth
    int32_t* best_path = nullptr;  // the best sequence so far, as first cells
    int32_t best_length = 0;

    TranspositionTable* table = nullptr;
    KeptRoom* beam_room = nullptr;  // the table's, or one of the search's own
    int64_t beam_bytes = int64_t{default_beam_bytes};
    int64_t node_limit = 0;
    double seconds = 0;
    std::chrono::steady_clock::time_point start;
    int64_t nodes = 0;
    int64_t round_limit = 0;  // where the current round of the exact search ends; 0: none
    bool stopped = false;     // the budget or the round ran out
    bool exhausted = false;   // the budget ran out
    bool finished = false;    // the best sequence meets a proven bound

    int32_t root_bound = 0;
    int32_t best = no_value;
    // The exact round's first moves are tried in an order drawn from this (0: the usual one).
    uint64_t round_seed = 0;
};

// Makes room for a search from the position: false when the memory cannot be had.
template <int Words>
bool prepare_search(Search<Words>& s, const Position& position) {
    s.geometry = geometry_of<Words>(position.width, position.height);
    const int32_t cells = position.width * position.height;
    s.depths = position.tiles / 2 + 2;
    s.frames = take_array<Frame<Words>>(s.memory, s.depths);
    s.ahead = take_array<Frame<Words>>(s.memory, int64_t{s.depths} * children_ahead);
    Group* groups = take_array<Group>(s.memory, int64_t{s.depths} * most_groups(cells));
    s.dead.dead = take_array<uint8_t>(s.memory, cells);
    s.dead.dead_below = take_array<uint16_t>(s.memory, cells + position.width);
    s.dead.dead_columns = take_array<int32_t>(s.memory, position.width + 1);
    s.dead.by_colour = take_array<DeadTile>(s.memory, cells);
    s.dead.bay_tiles = take_array<int32_t>(s.memory, position.width + 1);
    s.order_keys = take_array<uint64_t>(s.memory, most_groups(cells));
    s.spare_groups = take_array<Group>(s.memory, most_groups(cells));
    s.path = take_array<int32_t>(s.memory, s.depths);
    s.best_path = take_array<int32_t>(s.memory, s.depths);
    if (s.memory.failed) {
        return false;
    }
    for (int32_t d = 0; d < s.depths; ++d) {
        s.frames[d].groups = groups + int64_t{d} * most_groups(cells);
    }
    s.frames[0].board = board_of_position<Words>(position);
    analyse(s.geometry, s.frames[0]);
    return true;
}

template <int Words>
bool out_of_budget(Search<Words>& s) {
    if (s.stopped) {
        return true;
    }
    if (s.node_limit > 0 && s.nodes >= s.node_limit) {
        s.exhausted = true;
    } else if (s.seconds > 0 && (s.nodes & 1023) == 0) {
        const std::chrono::duration<double> spent = std::chrono::steady_clock::now() - s.start;
        s.exhausted = spent.count() >= s.seconds;
    }
    s.stopped = s.exhausted || (s.round_limit > 0 && s.nodes >= s.round_limit);
    return s.stopped;
}

// A better sequence: the first `length` cells of `cells`, leaving `left` tiles.
template <int Words>
void record_best(Search<Words>& s, int32_t left, const int32_t* cells, int32_t length) {
    s.best = left;
    s.best_length = length;
    for (int32_t i = 0; i < length; ++i) s.best_path[i] = cells[i];
    if (left <= s.root_bound) {
        s.finished = true;
    }
}
