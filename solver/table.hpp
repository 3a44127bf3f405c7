// The transposition table of proven lower bounds: lookup and storing. Internal to the solver.
#pragma once

#include <cstddef>
#include <cstdint>

#include "solver/solver.hpp"

inline TableEntry* bucket_of(const TranspositionTable& table, uint64_t key) {
    return table.entries + (key & table.used_mask) * table_bucket;
}

// Starts the bucket of a position on its way into the cache, for a lookup soon after: in a
// large table nearly every lookup misses the cache, and the search has other work to do
// while the line comes.
inline void prefetch_bucket(const TranspositionTable& table, uint64_t key) {
    __builtin_prefetch(bucket_of(table, key));
}

// The bound stored for the position, -1 when there is none.
int32_t probe(const TranspositionTable& table, uint64_t key);
// Stores a proven bound; work is the nodes it took, which replacement keeps.
void store(TranspositionTable& table, uint64_t key, int32_t bound, int64_t work);
// Starts a solve: entries of earlier solves count as empty from now on.
void next_generation(TranspositionTable& table);

// At least `bytes` of memory from the room: what it holds when that is enough, else a larger
// block in its place. Nothing is zeroed: it holds whatever was last written there. Null when
// the memory cannot be had.
void* room_of(KeptRoom& room, std::size_t bytes);
void give_back_room(KeptRoom& room);
