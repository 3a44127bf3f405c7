// The solver: finds a sequence of moves that leaves as few tiles as possible, and proves it
// optimal where the search can. Standard C++ only; it keeps its own positions and never
// touches the engine's board, whose cell-value and settled tests it shares.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// A position of the solver's own: columns stored bottom-up, one byte a cell holding the colour
// number (0 empty, 1 to 5 for the engine's 1, 2, 4, 8, 16). Same rules as the engine.
struct Position {
    int32_t width = 0;
    int32_t height = 0;
    int32_t columns = 0;  // columns holding tiles, a run from column 0
    int32_t tiles = 0;
    std::vector<uint8_t> cells;     // column * height + row, row 0 at the bottom
    std::vector<uint16_t> heights;  // tiles in each column
};

// A click in board coordinates: column from the left, row from the top.
struct Move {
    int32_t column = 0;
    int32_t row = 0;
};

// Fixed-size table of proven lower bounds, kept between solves so that it is allocated once.
struct TableEntry {
    uint64_t key;
    uint32_t work;        // nodes spent below the position, saturating: what replacement keeps
    uint16_t bound;       // no sequence from the position leaves fewer tiles
    uint16_t generation;  // the solve that wrote it; older ones count as empty
};

// Memory kept from one solve to the next, so that its pages are made once: on a virtual
// machine the first touch of a page can cost as much as a hundred positions' work.
struct KeptRoom {
    void* memory = nullptr;
    std::size_t bytes = 0;
};

struct TranspositionTable {
    void* memory = nullptr;  // as allocated; entries start at its first cache line
    TableEntry* entries = nullptr;
    std::size_t bucket_mask = 0;  // buckets of table_bucket entries, a power of two of them
    uint16_t generation = 0;
    // A solve starts on the first buckets and doubles them as they fill: a small solve keeps
    // its lookups in a few pages instead of all over the table.
    std::size_t used_mask = 0;
    std::size_t filled = 0;  // entries this solve has taken
    KeptRoom beam_room;      // what the beams work in, given back with the table
};

constexpr std::size_t table_bucket = 4;
constexpr std::size_t default_table_bytes = std::size_t{256} << 20;
// What the widest beam may work in; a page on a phone asks for less.
constexpr std::size_t default_beam_bytes = std::size_t{128} << 20;
constexpr std::size_t least_table_bytes = sizeof(TableEntry) * table_bucket;
// The largest board the solver takes; it bounds the memory of its search stacks.
constexpr int32_t most_solver_cells = 4096;

// Allocation of the table, zeroed memory; tests replace it to make it fail. Released with
// std::free.
using SolverAllocator = void* (*)(std::size_t bytes);
extern SolverAllocator solver_allocate;

// Rounds bytes down to a power of two of buckets (at least one). False when the memory
// cannot be had; the table is then left empty.
bool allocate_table(TranspositionTable& table, std::size_t bytes);
void release_table(TranspositionTable& table);

struct SolveLimits {
    double seconds = 10;  // 0: no time limit
    int64_t nodes = 0;    // 0: no node limit; with nodes alone the answer is deterministic
    std::size_t beam_bytes = default_beam_bytes;
};

struct Solution {
    int32_t left = 0;      // tiles left after the moves
    bool optimal = false;  // no sequence leaves fewer: the search proved it
    std::vector<Move> moves;
    int64_t nodes = 0;  // positions made by the search
    double seconds = 0;
};

// Whether the solver takes a board of this size: at least 2 x 2 and at most
// most_solver_cells cells. False with the reason otherwise.
bool solver_takes_size(int32_t width, int32_t height, std::string& failure);
// Builds a position from width x height engine cell values, top row first. False (with the
// reason) for a size below 2 or above most_solver_cells, a value that is no colour, or a
// position that is not settled.
bool position_from_cells(int32_t width, int32_t height, const signed char* cells,
                         Position& position, std::string& failure);
// The position as engine cell values, top row first.
std::vector<signed char> cells_of_position(const Position& position);
// Plays a click in board coordinates; false (position unchanged) where the engine refuses.
bool play_position_move(Position& position, Move move);
// Tiles of colours that have a single tile: a bound no sequence of moves can beat.
int32_t lone_colour_bound(const Position& position);

// Searches from the position within the limits and returns the best sequence found. Uses and
// overwrites the table (which must be allocated). Never fails once the table is there, except
// for running out of memory for its stacks: false and the reason then.
bool solve_position(const Position& position, const SolveLimits& limits, TranspositionTable& table,
                    Solution& solution, std::string& failure);

// The anytime searches on their own, for measuring them against each other within a node
// budget: beams of doubling width, or nested Monte-Carlo search of the given level (repeated
// until the budget is spent). Never proves anything.
enum class AnytimeMethod { beam, nested };
Solution anytime_search(const Position& position, AnytimeMethod method, int32_t level,
                        int64_t nodes);

// The exact search on its own within a node budget (0: none), with no sequence to start
// from: what its pruning alone finds and proves. Uses and overwrites the table.
Solution exact_search(const Position& position, int64_t nodes, TranspositionTable& table);
