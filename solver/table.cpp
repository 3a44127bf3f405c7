#include "solver/table.hpp"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

constexpr uintptr_t cache_line = 64;
static_assert(least_table_bytes == cache_line, "a bucket fills one cache line");

// Zeroed memory from calloc: the pages of a large table are only made when used. The tools
// hand the solver memory on large pages instead, which makes lookups faster.
void* zeroed(std::size_t bytes) {
    return std::calloc(bytes, 1);
}

// The buckets a solve starts on: 64 KiB.
constexpr std::size_t first_buckets = std::size_t{1} << 10;

// Doubles the buckets in use. An entry of bucket b belongs, by one more bit of its key, to b
// or to its new twin b + old, whose entries are all of earlier solves: those that belong there
// move.
void double_used(TranspositionTable& table) {
    const std::size_t old = table.used_mask + 1;
    table.used_mask = 2 * old - 1;
    for (std::size_t b = 0; b < old; ++b) {
        TableEntry* from = table.entries + b * table_bucket;
        TableEntry* twin = table.entries + (b + old) * table_bucket;
        std::size_t moved = 0;
        for (std::size_t i = 0; i < table_bucket; ++i) {
            if (from[i].generation == table.generation && (from[i].key & old) != 0) {
                twin[moved++] = from[i];
                from[i].generation = 0;
            }
        }
    }
}

}  // namespace

SolverAllocator solver_allocate = zeroed;

bool allocate_table(TranspositionTable& table, std::size_t bytes) {
    release_table(table);
    std::size_t buckets = 1;
    while (buckets <= bytes / 2 / least_table_bytes) {
        buckets *= 2;
    }
    // A bucket is one cache line once the entries start on a line boundary; a probe then
    // reads one line, where at calloc's 16-byte alignment it read two.
    const std::size_t bytes_used = buckets * least_table_bytes;
    void* memory = solver_allocate(bytes_used + cache_line);
    if (memory == nullptr) {
        return false;
    }
    const uintptr_t at = (reinterpret_cast<uintptr_t>(memory) + cache_line - 1) & ~(cache_line - 1);
    table.memory = memory;
    table.entries = reinterpret_cast<TableEntry*>(at);
    table.bucket_mask = buckets - 1;
    table.generation = 0;
    table.used_mask = 0;
    table.filled = 0;
    return true;
}

void release_table(TranspositionTable& table) {
    give_back_room(table.beam_room);
    std::free(table.memory);
    table.memory = nullptr;
    table.entries = nullptr;
    table.bucket_mask = 0;
    table.generation = 0;
    table.used_mask = 0;
    table.filled = 0;
}

int32_t probe(const TranspositionTable& table, uint64_t key) {
    const TableEntry* bucket = bucket_of(table, key);
    for (std::size_t i = 0; i < table_bucket; ++i) {
        if (bucket[i].key == key && bucket[i].generation == table.generation) {
            return bucket[i].bound;
        }
    }
    return -1;
}

// Keeps the entry of the same position, else takes an empty or stale one, else replaces the
// entry that cost the least work to find. Every stored bound is proven, so any choice is sound.
// Entries are matched on the whole 64-bit key; a false match needs two positions of one search
// to share it.
void store(TranspositionTable& table, uint64_t key, int32_t bound, int64_t work) {
    TableEntry* bucket = bucket_of(table, key);
    TableEntry* victim = nullptr;
    for (std::size_t i = 0; i < table_bucket && victim == nullptr; ++i) {
        if (bucket[i].key == key && bucket[i].generation == table.generation) {
            victim = &bucket[i];
            bound = bound > victim->bound ? bound : victim->bound;
            work += victim->work;
        }
    }
    for (std::size_t i = 0; i < table_bucket && victim == nullptr; ++i) {
        if (bucket[i].generation != table.generation) {
            victim = &bucket[i];
            table.filled += 1;
        }
    }
    if (victim == nullptr) {
        victim = bucket;
        for (std::size_t i = 1; i < table_bucket; ++i) {
            if (bucket[i].work < victim->work) {
                victim = &bucket[i];
            }
        }
    }
    victim->key = key;
    victim->bound = static_cast<uint16_t>(bound);
    victim->work = static_cast<uint32_t>(work < int64_t{UINT32_MAX} ? work : int64_t{UINT32_MAX});
    victim->generation = table.generation;
    // Half full: the buckets in use double, until they are the whole table.
    if (table.filled > (table.used_mask + 1) * table_bucket / 2 &&
        table.used_mask < table.bucket_mask) {
        double_used(table);
    }
}

void next_generation(TranspositionTable& table) {
    table.used_mask =
        (table.bucket_mask < first_buckets ? table.bucket_mask + 1 : first_buckets) - 1;
    table.filled = 0;
    table.generation = static_cast<uint16_t>(table.generation + 1);
    if (table.generation == 0) {
        std::memset(static_cast<void*>(table.entries), 0,
                    (table.bucket_mask + 1) * table_bucket * sizeof(TableEntry));
        table.generation = 1;
    }
}

void* room_of(KeptRoom& room, std::size_t bytes) {
    if (room.bytes < bytes) {
        give_back_room(room);
        room.memory = std::malloc(bytes);
        room.bytes = room.memory == nullptr ? 0 : bytes;
    }
    return room.memory;
}

void give_back_room(KeptRoom& room) {
    std::free(room.memory);
    room.memory = nullptr;
    room.bytes = 0;
}
