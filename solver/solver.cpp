#include "solver/solver.hpp"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

namespace {

// Zeroed memory from calloc: the pages of a large table are only touched when used.
void* zeroed(std::size_t bytes) {
    return std::calloc(bytes, 1);
}

}  // namespace

SolverAllocator solver_allocate = zeroed;

namespace {

constexpr int32_t colour_slots = 6;  // colour numbers 1 to 5; 0 is empty
constexpr uint16_t unvisited = 0xFFFF;
constexpr uint16_t lone_tile = 0xFFFE;  // a tile with no neighbour of its colour
constexpr int32_t no_value = INT32_MAX;
constexpr int32_t small_position = 12;  // positions with fewer tiles stay out of the table

int32_t colour_number(signed char value) {
    switch (value) {
        case 0: return 0;
        case 1: return 1;
        case 2: return 2;
        case 4: return 3;
        case 8: return 4;
        case 16: return 5;
        default: return -1;
    }
}

std::size_t at(int32_t column, int32_t row, int32_t height) {
    return static_cast<std::size_t>(column) * static_cast<std::size_t>(height) +
           static_cast<std::size_t>(row);
}

std::size_t index(int32_t value) {
    return static_cast<std::size_t>(value);
}

// A removable group: two or more connected tiles of one colour.
struct Group {
    int32_t first;  // the cell found first: leftmost column, lowest row there
    int32_t size;
    int32_t colour;
    int32_t low_column;
    int32_t high_column;
};

// A position with what the search needs to know about it.
struct Frame {
    Position position;
    std::vector<uint16_t> labels;  // per cell: its group's number, lone_tile, or unvisited
    std::vector<Group> groups;
    std::vector<int32_t> order;    // the groups in the order the search tries them
    int32_t counts[colour_slots] = {};
    int32_t components = 0;        // groups and lone tiles together
    int32_t lone_tiles = 0;
    uint64_t hash = 0;
};

uint64_t split_mix(uint64_t& state) {
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

// Everything one search keeps: geometry, hash keys, the stack of frames, the budget.
struct Search {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint64_t> keys;  // per cell and colour
    std::vector<Frame> frames;
    std::vector<int32_t> fill_stack;

    TranspositionTable* table = nullptr;
    int64_t node_limit = 0;
    double seconds = 0;
    std::chrono::steady_clock::time_point start;
    int64_t nodes = 0;
    int64_t round_limit = 0;  // where the current round of the exact search ends; 0: none
    bool stopped = false;     // the budget or the round ran out
    bool exhausted = false;   // the budget ran out
    bool finished = false;  // the best sequence meets a proven bound

    // Scratch of the dead-tile bound.
    std::vector<uint8_t> dead;
    std::vector<uint16_t> dead_below;      // per column, height + 1 prefix counts
    std::vector<int32_t> dead_columns;     // columns holding a dead tile, before each column
    std::vector<int32_t> by_colour[colour_slots];

    int32_t root_bound = 0;
    int32_t best = no_value;
    std::vector<Group> path;  // groups played on the way to the frame at each depth
    std::vector<Move> best_moves;
};

void size_frame(Frame& frame, int32_t width, int32_t height) {
    const std::size_t cells = at(width, 0, height);
    frame.position.width = width;
    frame.position.height = height;
    frame.position.cells.assign(cells, 0);
    frame.position.heights.assign(index(width), 0);
    frame.labels.assign(cells, unvisited);
    frame.groups.reserve(cells / 2);
    frame.order.reserve(cells / 2);
}

void prepare_search(Search& search, const Position& position) {
    search.width = position.width;
    search.height = position.height;
    uint64_t state = 0x51u;
    search.keys.resize(at(position.width, 0, position.height) * colour_slots);
    for (uint64_t& key : search.keys) {
        key = split_mix(state);
    }
    const std::size_t cells = search.keys.size() / colour_slots;
    search.fill_stack.reserve(cells);
    search.dead.assign(cells, 0);
    search.dead_below.assign(at(position.width, 0, position.height + 1), 0);
    search.dead_columns.assign(index(position.width) + 1, 0);
    for (std::vector<int32_t>& list : search.by_colour) {
        list.reserve(cells);
    }
}

Frame& frame_at(Search& search, std::size_t depth) {
    while (search.frames.size() <= depth) {
        search.frames.emplace_back();
        size_frame(search.frames.back(), search.width, search.height);
    }
    return search.frames[depth];
}

uint64_t hash_of(const Search& search, const Position& position) {
    uint64_t hash = 0;
    for (int32_t column = 0; column < position.columns; ++column) {
        const std::size_t base = at(column, 0, position.height);
        const int32_t tiles = position.heights[index(column)];
        for (int32_t row = 0; row < tiles; ++row) {
            const std::size_t cell = base + index(row);
            hash ^= search.keys[cell * colour_slots + position.cells[cell]];
        }
    }
    return hash;
}

// Labels the groups, counts the colours and hashes the position.
void analyse(Search& search, Frame& frame) {
    const Position& p = frame.position;
    const int32_t h = p.height;
    std::fill(frame.labels.begin(), frame.labels.begin() + static_cast<std::ptrdiff_t>(at(p.columns, 0, h)),
              unvisited);
    std::fill(frame.counts, frame.counts + colour_slots, 0);
    frame.groups.clear();
    frame.components = 0;
    frame.lone_tiles = 0;
    std::vector<int32_t>& stack = search.fill_stack;
    for (int32_t column = 0; column < p.columns; ++column) {
        const int32_t tiles = p.heights[index(column)];
        for (int32_t row = 0; row < tiles; ++row) {
            const int32_t first = column * h + row;
            const uint8_t colour = p.cells[index(first)];
            frame.counts[colour] += 1;
            if (frame.labels[index(first)] != unvisited) {
                continue;
            }
            ++frame.components;
            const auto label = static_cast<uint16_t>(frame.groups.size());
            Group group{first, 0, colour, column, column};
            stack.clear();
            stack.push_back(first);
            frame.labels[index(first)] = label;
            while (!stack.empty()) {
                const int32_t cell = stack.back();
                stack.pop_back();
                ++group.size;
                const int32_t c = cell / h;
                const int32_t r = cell % h;
                group.low_column = std::min(group.low_column, c);
                group.high_column = std::max(group.high_column, c);
                const auto visit = [&](int32_t next) {
                    if (frame.labels[index(next)] == unvisited && p.cells[index(next)] == colour) {
                        frame.labels[index(next)] = label;
                        stack.push_back(next);
                    }
                };
                if (r > 0) visit(cell - 1);
                if (r + 1 < p.heights[index(c)]) visit(cell + 1);
                if (c > 0) visit(cell - h);
                if (c + 1 < p.columns) visit(cell + h);
            }
            if (group.size >= 2) {
                frame.groups.push_back(group);
            } else {
                frame.labels[index(first)] = lone_tile;
                ++frame.lone_tiles;
            }
        }
    }
    frame.hash = hash_of(search, p);
}

// Makes child the position after removing group g of parent (which has been analysed).
void apply_group(const Frame& parent, int32_t g, Frame& child) {
    const Position& from = parent.position;
    Position& to = child.position;
    const int32_t h = from.height;
    const Group& group = parent.groups[index(g)];
    const std::size_t used = at(from.columns, 0, h);
    std::memcpy(to.cells.data(), from.cells.data(), used);
    std::memcpy(to.heights.data(), from.heights.data(), index(from.columns) * sizeof(uint16_t));
    bool emptied = false;
    for (int32_t column = group.low_column; column <= group.high_column; ++column) {
        const std::size_t base = at(column, 0, h);
        const int32_t tiles = from.heights[index(column)];
        int32_t kept = 0;
        for (int32_t row = 0; row < tiles; ++row) {
            if (parent.labels[base + index(row)] != g) {
                to.cells[base + index(kept++)] = from.cells[base + index(row)];
            }
        }
        std::memset(to.cells.data() + base + kept, 0, index(tiles - kept));
        to.heights[index(column)] = static_cast<uint16_t>(kept);
        emptied = emptied || kept == 0;
    }
    to.columns = from.columns;
    if (emptied) {
        // Columns that hold tiles close up to the left, in their order.
        int32_t into = group.low_column;
        for (int32_t column = group.low_column; column < from.columns; ++column) {
            if (to.heights[index(column)] == 0) {
                continue;
            }
            if (into != column) {
                std::memcpy(to.cells.data() + at(into, 0, h), to.cells.data() + at(column, 0, h),
                            index(h));
                std::memset(to.cells.data() + at(column, 0, h), 0, index(h));
                to.heights[index(into)] = to.heights[index(column)];
                to.heights[index(column)] = 0;
            }
            ++into;
        }
        to.columns = into;
    }
    to.tiles = from.tiles - group.size;
}

int32_t lone_bound_of(const int32_t* counts) {
    int32_t bound = 0;
    for (int32_t colour = 1; colour < colour_slots; ++colour) {
        bound += counts[colour] == 1 ? 1 : 0;
    }
    return bound;
}

// A tile is dead when it can never be removed: it is the only one of its colour, or no other
// live tile of its colour can ever come next to it. Tiles keep their column and their order in
// it, columns keep their order, and a tile never rises; a dead tile never goes, so it keeps
// every tile above it at least that high and its column from ever emptying. Two tiles of one
// column meet only when nothing dead lies between them; two of different columns only when no
// column between them holds a dead tile and each can come down to a row the other can reach.
// Returns the number of dead tiles, a bound no sequence of moves can beat.
int32_t dead_tile_bound(Search& search, const Frame& frame) {
    const Position& p = frame.position;
    const int32_t h = p.height;
    for (std::vector<int32_t>& list : search.by_colour) {
        list.clear();
    }
    for (int32_t column = 0; column < p.columns; ++column) {
        const int32_t tiles = p.heights[index(column)];
        for (int32_t row = 0; row < tiles; ++row) {
            const int32_t cell = column * h + row;
            const uint8_t colour = p.cells[index(cell)];
            search.dead[index(cell)] = frame.counts[colour] == 1 ? 1 : 0;
            search.by_colour[colour].push_back(cell);
        }
    }
    int32_t dead = lone_bound_of(frame.counts);
    for (bool changed = dead > 0; changed;) {
        changed = false;
        for (int32_t column = 0; column < p.columns; ++column) {
            const std::size_t base = at(column, 0, h + 1);
            const int32_t tiles = p.heights[index(column)];
            for (int32_t row = 0; row < tiles; ++row) {
                search.dead_below[base + index(row) + 1] = static_cast<uint16_t>(
                    search.dead_below[base + index(row)] + search.dead[at(column, row, h)]);
            }
            search.dead_columns[index(column) + 1] =
                search.dead_columns[index(column)] +
                (search.dead_below[base + index(tiles)] > 0 ? 1 : 0);
        }
        const auto below = [&](int32_t column, int32_t row) {
            return static_cast<int32_t>(search.dead_below[at(column, row, h + 1)]);
        };
        const auto can_meet = [&](int32_t a, int32_t b) {
            const int32_t ca = a / h, ra = a % h, cb = b / h, rb = b % h;
            if (ca == cb) {
                const int32_t low = std::min(ra, rb), high = std::max(ra, rb);
                return below(ca, high) == below(ca, low + 1);
            }
            const int32_t left = std::min(ca, cb), right = std::max(ca, cb);
            return search.dead_columns[index(right)] == search.dead_columns[index(left) + 1] &&
                   below(ca, ra) <= rb && below(cb, rb) <= ra;
        };
        for (int32_t colour = 1; colour < colour_slots; ++colour) {
            const std::vector<int32_t>& list = search.by_colour[colour];
            for (const int32_t tile : list) {
                if (search.dead[index(tile)] != 0) {
                    continue;
                }
                bool partner = false;
                for (const int32_t other : list) {
                    if (other != tile && search.dead[index(other)] == 0 && can_meet(tile, other)) {
                        partner = true;
                        break;
                    }
                }
                if (!partner) {
                    search.dead[index(tile)] = 1;
                    ++dead;
                    changed = true;
                }
            }
        }
    }
    return dead;
}

Move move_of(const Group& group, int32_t height) {
    return Move{group.first / height, height - 1 - group.first % height};
}

bool out_of_budget(Search& search) {
    if (search.stopped) {
        return true;
    }
    if (search.node_limit > 0 && search.nodes >= search.node_limit) {
        search.exhausted = true;
    } else if (search.seconds > 0 && (search.nodes & 1023) == 0) {
        const std::chrono::duration<double> spent = std::chrono::steady_clock::now() - search.start;
        search.exhausted = spent.count() >= search.seconds;
    }
    search.stopped = search.exhausted || (search.round_limit > 0 && search.nodes >= search.round_limit);
    return search.stopped;
}

void record_best(Search& search, int32_t left, std::size_t depth) {
    search.best = left;
    search.best_moves.clear();
    for (std::size_t i = 0; i < depth; ++i) {
        search.best_moves.push_back(move_of(search.path[i], search.height));
    }
    if (left <= search.root_bound) {
        search.finished = true;
    }
}

// ---- the transposition table ----

TableEntry* bucket_of(TranspositionTable& table, uint64_t key) {
    return table.entries + (key & table.bucket_mask) * table_bucket;
}

int32_t probe(TranspositionTable& table, uint64_t key) {
    TableEntry* bucket = bucket_of(table, key);
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
            bound = std::max(bound, static_cast<int32_t>(victim->bound));
            work += victim->work;
        }
    }
    for (std::size_t i = 0; i < table_bucket && victim == nullptr; ++i) {
        if (bucket[i].generation != table.generation) {
            victim = &bucket[i];
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
    victim->work = static_cast<uint32_t>(std::min<int64_t>(work, UINT32_MAX));
    victim->generation = table.generation;
}

// ---- exact search: depth-first branch and bound ----

// The most frequent colour: kept back, so that its tiles join up as the others go.
int32_t held_colour(const Frame& frame) {
    int32_t held = 1;
    for (int32_t colour = 2; colour < colour_slots; ++colour) {
        if (frame.counts[colour] > frame.counts[held]) {
            held = colour;
        }
    }
    return held;
}

// Groups of the other colours first, larger before smaller.
void order_groups(Frame& frame) {
    const int32_t held = held_colour(frame);
    frame.order.clear();
    for (std::size_t g = 0; g < frame.groups.size(); ++g) {
        frame.order.push_back(static_cast<int32_t>(g));
    }
    const auto rank = [&](int32_t g) {
        const Group& group = frame.groups[index(g)];
        return (group.colour == held ? 0 : 1 << 20) + group.size;
    };
    std::stable_sort(frame.order.begin(), frame.order.end(),
                     [&](int32_t a, int32_t b) { return rank(a) > rank(b); });
}

// Returns a proven lower bound on the tiles any sequence from the frame at depth leaves; on
// the way it records every better sequence it meets. Meaningless once the search stopped.
int32_t branch(Search& search, std::size_t depth) {
    Frame& frame = search.frames[depth];
    const Position& position = frame.position;
    if (frame.groups.empty()) {
        if (position.tiles < search.best) {
            record_best(search, position.tiles, depth);
        }
        return position.tiles;
    }
    // Small positions are searched again sooner than their table entry is fetched.
    const bool tabled = position.tiles >= small_position;
    int32_t bound = tabled ? probe(*search.table, frame.hash) : 0;
    if (bound >= search.best) {
        return bound;
    }
    bound = std::max(bound, dead_tile_bound(search, frame));
    if (bound >= search.best) {
        return bound;
    }
    order_groups(frame);
    const int64_t nodes_before = search.nodes;
    int32_t value = no_value;
    Frame& child = search.frames[depth + 1];
    Frame& here = frame;  // the frames never move: the stack was made deep enough at the start
    if (search.path.size() <= depth) {
        search.path.resize(depth + 1);
    }
    for (const int32_t g : here.order) {
        if (out_of_budget(search)) {
            return 0;
        }
        apply_group(here, g, child);
        ++search.nodes;
        analyse(search, child);
        search.path[depth] = here.groups[index(g)];
        const int32_t found = branch(search, depth + 1);
        if (search.stopped || search.finished) {
            return 0;
        }
        value = std::min(value, found);
        if (value <= bound) {
            break;
        }
    }
    value = std::max(value, bound);
    if (tabled) {
        store(*search.table, here.hash, value, search.nodes - nodes_before);
    }
    return value;
}

// ---- anytime search: beam search over the number of moves ----

struct Candidate {
    int64_t score;
    int32_t parent;
    int32_t group;
    uint64_t hash;
};

// Lower is better: few lone-colour tiles, then few pieces the tiles are split into.
int64_t score_of(const Frame& frame) {
    return int64_t{lone_bound_of(frame.counts)} * 100000 + frame.components * 16 +
           frame.lone_tiles * 8;
}

// One beam search of the given width, kept within the budget unless told to run to its end
// (the first, narrowest one always does, so that every solve has a sequence to give; past the
// budget it looks only as far as the first child that can go on at each level, so that even
// a huge board costs about a move's work per level). Returns false when no level had more
// positions than the width: a wider beam would see the same.
bool beam(Search& search, const Frame& root, std::size_t width, bool whole) {
    std::vector<Frame> level(1, root);
    std::vector<Frame> next;
    bool narrowed = false;
    std::size_t level_size = 1;
    std::vector<std::vector<std::pair<int32_t, Group>>> history;  // per depth: parent, group
    std::vector<Candidate> candidates;
    Frame scratch;
    size_frame(scratch, search.width, search.height);
    while (level_size > 0) {
        candidates.clear();
        bool cut = false;
        for (std::size_t s = 0; s < level_size && !cut; ++s) {
            const Frame& frame = level[s];
            for (std::size_t g = 0; g < frame.groups.size(); ++g) {
                if (search.finished || (!whole && out_of_budget(search))) {
                    return true;
                }
                if (whole && !candidates.empty() && out_of_budget(search)) {
                    cut = true;
                    break;
                }
                apply_group(frame, static_cast<int32_t>(g), scratch);
                ++search.nodes;
                analyse(search, scratch);
                if (scratch.groups.empty()) {
                    if (scratch.position.tiles < search.best) {
                        // Walk the history back to the root for the moves.
                        std::vector<Group> groups{frame.groups[g]};
                        int32_t parent = static_cast<int32_t>(s);
                        for (std::size_t d = history.size(); d-- > 0;) {
                            groups.push_back(history[d][index(parent)].second);
                            parent = history[d][index(parent)].first;
                        }
                        std::reverse(groups.begin(), groups.end());
                        search.path = groups;
                        record_best(search, scratch.position.tiles, groups.size());
                    }
                    continue;
                }
                if (lone_bound_of(scratch.counts) >= search.best) {
                    continue;
                }
                candidates.push_back(Candidate{score_of(scratch), static_cast<int32_t>(s),
                                               static_cast<int32_t>(g), scratch.hash});
            }
        }
        // One of each position, the best scored; ties broken by where they came from.
        const auto better = [](const Candidate& a, const Candidate& b) {
            if (a.score != b.score) return a.score < b.score;
            if (a.parent != b.parent) return a.parent < b.parent;
            return a.group < b.group;
        };
        std::sort(candidates.begin(), candidates.end(), [&](const Candidate& a, const Candidate& b) {
            return a.hash != b.hash ? a.hash < b.hash : better(a, b);
        });
        candidates.erase(std::unique(candidates.begin(), candidates.end(),
                                     [](const Candidate& a, const Candidate& b) {
                                         return a.hash == b.hash;
                                     }),
                         candidates.end());
        const std::size_t kept = std::min(width, candidates.size());
        narrowed = narrowed || kept < candidates.size();
        while (next.size() < kept) {
            next.emplace_back();
            size_frame(next.back(), search.width, search.height);
        }
        std::partial_sort(candidates.begin(), candidates.begin() + static_cast<std::ptrdiff_t>(kept),
                          candidates.end(), better);
        std::vector<std::pair<int32_t, Group>> links;
        for (std::size_t k = 0; k < kept; ++k) {
            const Candidate& candidate = candidates[k];
            const Frame& parent = level[index(candidate.parent)];
            apply_group(parent, candidate.group, next[k]);
            analyse(search, next[k]);
            links.emplace_back(candidate.parent, parent.groups[index(candidate.group)]);
        }
        history.push_back(std::move(links));
        std::swap(level, next);
        level_size = kept;
    }
    return narrowed;
}

// Beams are kept within about 64 MiB.
std::size_t widest_beam(const Search& search) {
    const std::size_t cells = at(search.width, 0, search.height);
    const std::size_t frame_bytes = cells * (sizeof(uint8_t) + sizeof(uint16_t)) +
                                    cells / 2 * (sizeof(Group) + sizeof(int32_t)) + 256;
    return std::max<std::size_t>(16, (std::size_t{64} << 20) / frame_bytes);
}

// ---- anytime search: nested Monte-Carlo search, for the large boards ----

// A playout: random moves, a group of the most frequent colour only when nothing else is left.
int32_t playout(Search& search, Frame& frame, Frame& spare, uint64_t& random,
                std::vector<Group>& moves) {
    while (!frame.groups.empty() && !out_of_budget(search)) {
        order_groups(frame);
        uint64_t others = 0;
        const int32_t held = held_colour(frame);
        for (const Group& group : frame.groups) {
            others += group.colour != held ? 1 : 0;
        }
        const auto pick = static_cast<int32_t>(
            split_mix(random) % (others > 0 ? others : frame.groups.size()));
        const int32_t g = frame.order[index(pick)];
        moves.push_back(frame.groups[index(g)]);
        apply_group(frame, g, spare);
        ++search.nodes;
        analyse(search, spare);
        std::swap(frame, spare);
    }
    return frame.position.tiles;
}

// Nested Monte-Carlo search: at each step every move is tried with a search one level lower,
// and the first move of the best sequence seen so far is played.
int32_t nested(Search& search, const Frame& start, int32_t level, uint64_t& random,
               std::vector<Group>& moves) {
    Frame frame = start;
    Frame child = start;
    Frame spare = start;
    if (level == 0) {
        return playout(search, frame, spare, random, moves);
    }
    std::vector<Group> best_line;
    int32_t best_left = no_value;
    std::vector<Group> line;
    while (!frame.groups.empty() && !out_of_budget(search)) {
        for (std::size_t g = 0; g < frame.groups.size(); ++g) {
            apply_group(frame, static_cast<int32_t>(g), child);
            ++search.nodes;
            analyse(search, child);
            line.assign(1, frame.groups[g]);
            const int32_t left = nested(search, child, level - 1, random, line);
            if (left < best_left) {
                best_left = left;
                best_line = line;
            }
        }
        if (best_line.empty()) {
            break;
        }
        // Play the first move of the best line: find its group again by its first cell.
        const Group first = best_line.front();
        best_line.erase(best_line.begin());
        const int32_t label = frame.labels[index(first.first)];
        if (index(label) >= frame.groups.size()) {
            return frame.position.tiles;  // cannot happen: the line was found from here
        }
        moves.push_back(first);
        apply_group(frame, label, child);
        analyse(search, child);
        std::swap(frame, child);
    }
    if (frame.groups.empty() || best_left == no_value) {
        return frame.position.tiles;
    }
    // Cut short by the budget: the rest of the best line is what the moves so far lead to.
    moves.insert(moves.end(), best_line.begin(), best_line.end());
    return best_left;
}

void clear_table_if_wrapped(TranspositionTable& table) {
    table.generation = static_cast<uint16_t>(table.generation + 1);
    if (table.generation == 0) {
        std::memset(static_cast<void*>(table.entries), 0,
                    (table.bucket_mask + 1) * table_bucket * sizeof(TableEntry));
        table.generation = 1;
    }
}

}  // namespace

bool allocate_table(TranspositionTable& table, std::size_t bytes) {
    release_table(table);
    std::size_t buckets = 1;
    while (buckets <= bytes / 2 / least_table_bytes) {
        buckets *= 2;
    }
    void* memory = solver_allocate(buckets * least_table_bytes);
    if (memory == nullptr) {
        return false;
    }
    table.entries = static_cast<TableEntry*>(memory);
    table.bucket_mask = buckets - 1;
    table.generation = 0;
    return true;
}

void release_table(TranspositionTable& table) {
    std::free(table.entries);
    table.entries = nullptr;
    table.bucket_mask = 0;
    table.generation = 0;
}

bool solver_takes_size(int32_t width, int32_t height, std::string& failure) {
    if (width < 2 || height < 2) {
        failure = "the board is smaller than 2 x 2";
        return false;
    }
    if (int64_t{width} * height > most_solver_cells) {
        failure = "the solver takes boards of up to " + std::to_string(most_solver_cells) +
                  " cells";
        return false;
    }
    return true;
}

bool position_from_cells(int32_t width, int32_t height, const signed char* cells,
                         Position& position, std::string& failure) {
    if (!solver_takes_size(width, height, failure)) {
        return false;
    }
    Position p;
    p.width = width;
    p.height = height;
    p.cells.assign(at(width, 0, height), 0);
    p.heights.assign(index(width), 0);
    for (int32_t column = 0; column < width; ++column) {
        for (int32_t row = 0; row < height; ++row) {
            const int32_t colour = colour_number(cells[index(row * width + column)]);
            if (colour < 0) {
                failure = "a cell holds no colour";
                return false;
            }
            const int32_t bottom_up = height - 1 - row;
            if (colour == 0 && p.heights[index(column)] > 0) {
                failure = "the position is not settled";
                return false;
            }
            p.cells[at(column, bottom_up, height)] = static_cast<uint8_t>(colour);
            if (colour != 0 && p.heights[index(column)] == 0) {
                p.heights[index(column)] = static_cast<uint16_t>(bottom_up + 1);
            }
        }
    }
    // Tiles must sit on the bottom row, holes excluded above, and the filled columns must
    // form one run from column 0.
    for (int32_t column = 0; column < width; ++column) {
        const int32_t tiles = p.heights[index(column)];
        if (tiles > 0 && p.columns != column) {
            failure = "the position is not settled";
            return false;
        }
        p.columns += tiles > 0 ? 1 : 0;
        p.tiles += tiles;
    }
    position = std::move(p);
    return true;
}

std::vector<signed char> cells_of_position(const Position& position) {
    static const signed char values[colour_slots] = {0, 1, 2, 4, 8, 16};
    std::vector<signed char> cells(at(position.width, 0, position.height), 0);
    for (int32_t column = 0; column < position.width; ++column) {
        for (int32_t row = 0; row < position.height; ++row) {
            cells[index(row * position.width + column)] =
                values[position.cells[at(column, position.height - 1 - row, position.height)]];
        }
    }
    return cells;
}

int32_t lone_colour_bound(const Position& position) {
    int32_t counts[colour_slots] = {};
    for (const uint8_t cell : position.cells) {
        counts[cell] += 1;
    }
    return lone_bound_of(counts);
}

bool play_position_move(Position& position, Move move) {
    if (move.column < 0 || move.column >= position.width || move.row < 0 ||
        move.row >= position.height) {
        return false;
    }
    Search search;
    prepare_search(search, position);
    Frame& frame = frame_at(search, 1);
    Frame& after = search.frames[0];
    frame.position = position;
    analyse(search, frame);
    const std::size_t cell = at(move.column, position.height - 1 - move.row, position.height);
    if (position.cells[cell] == 0 || frame.labels[cell] == lone_tile) {
        return false;
    }
    apply_group(frame, frame.labels[cell], after);
    position = after.position;
    return true;
}

bool solve_position(const Position& position, const SolveLimits& limits,
                    TranspositionTable& table, Solution& solution, std::string& failure) {
    try {
        Search search;
        search.table = &table;
        search.node_limit = limits.nodes;
        search.seconds = limits.seconds;
        search.start = std::chrono::steady_clock::now();
        clear_table_if_wrapped(table);
        prepare_search(search, position);
        frame_at(search, index(position.tiles / 2 + 1));  // the deepest a search can go
        Frame& root = search.frames[0];
        root.position = position;
        analyse(search, root);
        search.root_bound = dead_tile_bound(search, root);
        if (root.groups.empty()) {
            record_best(search, position.tiles, 0);
        }

        // Rounds: an anytime search (beams of doubling width; on large boards, where it
        // clears more boards than beams of the same number of positions, a run of nested
        // Monte-Carlo search), then the exact search for a number of positions in proportion,
        // again and again. Each exact round starts over from the root with what the table has
        // learnt and the best sequence so far to prune with. What a budget finds does not
        // depend on how large the budget is: a larger one only runs further.
        const bool large = position.tiles > 120;
        const double exact_share = 0.25;  // exact positions per anytime position: measured best
        const std::size_t widest = widest_beam(search);
        bool proven = false;
        bool anytime = true;
        std::size_t width = 16;
        uint64_t random = 1;
        if (!search.finished) {
            beam(search, search.frames[0], 1, true);
        }
        while (!proven && !search.finished && !search.exhausted) {
            search.stopped = false;
            const int64_t start = search.nodes;
            if (anytime && large) {
                std::vector<Group> moves;
                const int32_t left = nested(search, search.frames[0], 1, random, moves);
                if (left < search.best) {
                    search.path = moves;
                    record_best(search, left, moves.size());
                }
            } else if (anytime) {
                anytime = beam(search, search.frames[0], width, false) && width * 2 <= widest;
                width *= 2;
            }
            if (search.finished || search.exhausted) {
                break;
            }
            const auto quota = static_cast<int64_t>(
                static_cast<double>(std::max<int64_t>(search.nodes - start, 4096)) * exact_share);
            search.round_limit = anytime ? search.nodes + quota : 0;
            search.stopped = false;
            proven = branch(search, 0) >= search.best && !search.stopped;
            search.round_limit = 0;
        }
        proven = proven || search.finished;

        solution.left = search.best;
        solution.optimal = proven;
        solution.moves = search.best_moves;
        solution.nodes = search.nodes;
        const std::chrono::duration<double> spent = std::chrono::steady_clock::now() - search.start;
        solution.seconds = spent.count();
        return true;
    } catch (const std::bad_alloc&) {
        failure = "out of memory";
        return false;
    }
}

Solution anytime_search(const Position& position, AnytimeMethod method, int32_t level,
                        int64_t nodes) {
    Search search;
    search.node_limit = nodes;
    search.start = std::chrono::steady_clock::now();
    prepare_search(search, position);
    frame_at(search, 1);
    Frame& root = search.frames[0];
    root.position = position;
    analyse(search, root);
    Solution solution;
    if (method == AnytimeMethod::beam) {
        beam(search, root, 1, true);
        bool wider = true;
        for (std::size_t width = 16; wider && !search.stopped && !search.finished; width *= 2) {
            wider = beam(search, root, width, false);
        }
    } else {
        uint64_t random = 1;
        while (!search.stopped && search.best > 0) {
            std::vector<Group> moves;
            const int32_t left = nested(search, root, level, random, moves);
            if (left < search.best && !moves.empty()) {
                search.path = moves;
                record_best(search, left, moves.size());
            }
        }
    }
    solution.left = search.best;
    solution.moves = search.best_moves;
    solution.nodes = search.nodes;
    const std::chrono::duration<double> spent = std::chrono::steady_clock::now() - search.start;
    solution.seconds = spent.count();
    return solution;
}
