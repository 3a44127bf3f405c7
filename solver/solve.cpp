// The solve that runs the searches, and the interface's small helpers.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <type_traits>
#include <utility>

#include "board/board.hpp"
#include "solver/anytime_search.hpp"
#include "solver/exact_search.hpp"
#include "solver/solver.hpp"

uint64_t split_mix(uint64_t& state) {
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

namespace {

std::size_t at(int32_t column, int32_t row, int32_t height) {
    return static_cast<std::size_t>(column) * static_cast<std::size_t>(height) +
           static_cast<std::size_t>(row);
}

// Writes the search's best sequence into the solution.
template <int Words>
void give_answer(const Search<Words>& s, bool proven, Solution& solution) {
    solution.left = s.best;
    solution.optimal = proven;
    solution.moves.clear();
    for (int32_t i = 0; i < s.best_length; ++i) {
        solution.moves.push_back(move_of(s.best_path[i], s.geometry.height));
    }
    solution.nodes = s.nodes;
    const std::chrono::duration<double> spent = std::chrono::steady_clock::now() - s.start;
    solution.seconds = spent.count();
}

// Rounds: an anytime search (beams of doubling width; on large boards, where it clears more
// boards than beams of the same number of positions, a run of nested Monte-Carlo search),
// then the exact search for a number of positions in proportion, again and again. Each exact
// round starts over from the root with what the table has learnt and the best sequence so
// far to prune with, and tries its first moves in an order of its own. What a budget finds
// does not depend on how large the budget is: a larger one only runs further.
template <int Words>
bool run_solve(Search<Words>& s, Solution& solution, std::string& failure) {
    const Frame<Words>& root = s.frames[0];
    s.root_bound = dead_tile_bound(s.geometry, root, s.dead);
    if (root.group_count == 0) {
        record_best(s, root.board.tiles, s.path, 0);
    }
    NestedRoom<Words> rooms[deepest_nesting + 1];
    const bool large = root.board.tiles > 120;
    if (large && !make_nested_rooms(s, s.memory, rooms)) {
        failure = "out of memory";
        return false;
    }
    // Exact positions per anytime position. On large boards the exact search never finishes
    // and the nested search clears more. On the others beams now grow until they clear the
    // hardest deals (131 072 positions and more), so the exact search gets about as much time
    // as they do: with a quarter of their positions it no longer proved in 10 s deals it used
    // to. That is half their positions: a beam's position costs about half of one of the
    // exact search's, which leaves out the positions it would find in the table at once.
    const double exact_share = large ? 0.25 : 0.5;
    const int64_t widest = widest_beam(s);
    bool proven = false;
    bool anytime = true;
    int64_t width = 16;
    uint64_t random = 1;
    uint64_t round_seeds = 1;
    // Once the beams have ended, the exact search starts over in rounds of doubling size, so
    // that its first moves keep being tried in new orders instead of in one order to the end.
    int64_t restart = 4000000;
    if (!s.finished && beam(s, 1, true) == BeamEnd::no_memory) {
        failure = "out of memory";
        return false;
    }
    while (!proven && !s.finished && !s.exhausted) {
        s.stopped = false;
        const int64_t start = s.nodes;
        if (anytime && large) {
            int32_t length = 0;
            const int32_t left =
                nested(s, rooms, s.frames[0].board, 1, random, rooms[deepest_nesting].line, length);
            if (left < s.best) {
                record_best(s, left, rooms[deepest_nesting].line, length);
            }
        } else if (anytime) {
            anytime = beam(s, width, false) == BeamEnd::wider && width * 2 <= widest;
            width *= 2;
        }
        if (s.finished || s.exhausted) {
            break;
        }
        const auto quota = static_cast<int64_t>(
            static_cast<double>(std::max<int64_t>(s.nodes - start, 4096)) * exact_share);
        if (anytime) {
            s.round_limit = s.nodes + quota;
        } else {
            s.round_limit = s.nodes + restart;
            restart = std::min(restart * 2, INT64_MAX / 4);
        }
        s.round_seed = split_mix(round_seeds) | 1;
        s.stopped = false;
        proven = branch(s, 0, -1) >= s.best && !s.stopped;
        s.round_limit = 0;
    }
    give_answer(s, proven || s.finished, solution);
    return true;
}

// Points the search at the table and its node budget, starts its clock, and starts a new
// solve in the table.
template <int Words>
void start_search(Search<Words>& s, TranspositionTable& table, int64_t nodes) {
    s.table = &table;
    s.beam_room = &table.beam_room;
    s.node_limit = nodes;
    s.start = std::chrono::steady_clock::now();
    next_generation(table);
}

template <int Words>
bool solve_in(const Position& position, const SolveLimits& limits, TranspositionTable& table,
              Solution& solution, std::string& failure) {
    Search<Words> s;
    start_search(s, table, limits.nodes);
    s.seconds = limits.seconds;
    const uint64_t beam_bytes = limits.beam_bytes;
    s.beam_bytes = static_cast<int64_t>(std::min<uint64_t>(beam_bytes, INT64_MAX));
    bool solved = prepare_search(s, position);
    if (!solved) {
        failure = "out of memory";
    } else {
        solved = run_solve(s, solution, failure);
    }
    give_back(s.memory);
    return solved;
}

template <int Words>
Solution anytime_in(const Position& position, AnytimeMethod method, int32_t level, int64_t nodes) {
    Search<Words> s;
    KeptRoom beam_room;
    s.beam_room = &beam_room;
    s.node_limit = nodes;
    s.start = std::chrono::steady_clock::now();
    Solution solution;
    NestedRoom<Words> rooms[deepest_nesting + 1];
    if (!prepare_search(s, position) || !make_nested_rooms(s, s.memory, rooms)) {
        give_back(s.memory);
        solution.left = position.tiles;
        return solution;
    }
    if (method == AnytimeMethod::beam) {
        BeamEnd end = beam(s, 1, true);
        for (int64_t width = 16; end == BeamEnd::wider && !s.stopped && !s.finished; width *= 2) {
            end = beam(s, width, false);
        }
    } else {
        uint64_t random = 1;
        const int32_t nesting = std::min(std::max(level, 0), deepest_nesting - 1);
        while (!s.stopped && s.best > 0) {
            int32_t length = 0;
            const int32_t left = nested(s, rooms, s.frames[0].board, nesting, random,
                                        rooms[deepest_nesting].line, length);
            if (left < s.best && length > 0) {
                record_best(s, left, rooms[deepest_nesting].line, length);
            }
        }
    }
    give_answer(s, false, solution);
    give_back(s.memory);
    give_back_room(beam_room);
    return solution;
}

template <int Words>
Solution exact_in(const Position& position, int64_t nodes, TranspositionTable& table) {
    Search<Words> s;
    start_search(s, table, nodes);
    Solution solution;
    solution.left = position.tiles;
    if (prepare_search(s, position)) {
        s.root_bound = dead_tile_bound(s.geometry, s.frames[0], s.dead);
        record_best(s, position.tiles, s.path, 0);  // no move at all
        const bool complete = !s.finished && branch(s, 0, -1) >= s.best && !s.stopped;
        give_answer(s, complete || s.finished, solution);
    }
    give_back(s.memory);
    return solution;
}

// Plays a click on a position of the given bit set size.
template <int Words>
bool play_in(Position& position, Move move) {
    const Geometry<Words> g = geometry_of<Words>(position.width, position.height);
    BitBoard<Words> board = board_of_position<Words>(position);
    const int32_t cell = move.column * position.height + position.height - 1 - move.row;
    const int32_t colour = colour_at(board, cell);
    if (colour == 0) {
        return false;
    }
    const Bits<Words> piece = piece_at(g, board, cell, colour);
    if (count_bits(piece) < 2) {
        return false;
    }
    remove_group(g, board, piece);
    position = position_of_board(g, board);
    return true;
}

// Runs f with the smallest bit set size that holds the board's cells.
template <typename Call>
auto by_size(int32_t cells, Call&& call) {
    if (cells <= 128)
        return call(std::integral_constant<int, 2>{});
    if (cells <= 256)
        return call(std::integral_constant<int, 4>{});
    if (cells <= 1024)
        return call(std::integral_constant<int, 16>{});
    return call(std::integral_constant<int, most_solver_cells / 64>{});
}

}  // namespace

bool solver_takes_size(int32_t width, int32_t height, std::string& failure) {
    if (width < 2 || height < 2) {
        failure = "the board is smaller than 2 x 2";
        return false;
    }
    if (int64_t{width} * height > most_solver_cells) {
        failure =
            "the solver takes boards of up to " + std::to_string(most_solver_cells) + " cells";
        return false;
    }
    return true;
}

bool position_from_cells(int32_t width, int32_t height, const signed char* cells,
                         Position& position, std::string& failure) {
    if (!solver_takes_size(width, height, failure)) {
        return false;
    }
    for (int32_t cell = 0; cell < width * height; ++cell) {
        if (!is_cell_value(cells[cell])) {
            failure = "a cell holds no colour";
            return false;
        }
    }
    if (position_is_settled(width, height, cells) == 0) {
        failure = "the position is not settled";
        return false;
    }
    Position p;
    p.width = width;
    p.height = height;
    p.cells.assign(at(width, 0, height), 0);
    p.heights.assign(static_cast<std::size_t>(width), 0);
    for (int32_t column = 0; column < width; ++column) {
        for (int32_t row = 0; row < height; ++row) {
            const int32_t colour =
                colour_number(cells[static_cast<std::size_t>(row * width + column)]);
            p.cells[at(column, height - 1 - row, height)] = static_cast<uint8_t>(colour);
        }
    }
    for (int32_t column = 0; column < width; ++column) {
        int32_t tiles = 0;
        while (tiles < height && p.cells[at(column, tiles, height)] != 0) ++tiles;
        p.heights[static_cast<std::size_t>(column)] = static_cast<uint16_t>(tiles);
        p.columns += tiles > 0 ? 1 : 0;
        p.tiles += tiles;
    }
    position = std::move(p);
    return true;
}

std::vector<signed char> cells_of_position(const Position& position) {
    static const signed char values[colour_count + 1] = {0, 1, 2, 4, 8, 16};
    std::vector<signed char> cells(at(position.width, 0, position.height), 0);
    for (int32_t column = 0; column < position.width; ++column) {
        for (int32_t row = 0; row < position.height; ++row) {
            cells[static_cast<std::size_t>(row * position.width + column)] =
                values[position.cells[at(column, position.height - 1 - row, position.height)]];
        }
    }
    return cells;
}

int32_t lone_colour_bound(const Position& position) {
    int32_t counts[colour_count + 1] = {};
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
    return by_size(position.width * position.height,
                   [&](auto words) { return play_in<decltype(words)::value>(position, move); });
}

bool solve_position(const Position& position, const SolveLimits& limits, TranspositionTable& table,
                    Solution& solution, std::string& failure) {
    return by_size(position.width * position.height, [&](auto words) {
        return solve_in<decltype(words)::value>(position, limits, table, solution, failure);
    });
}

Solution anytime_search(const Position& position, AnytimeMethod method, int32_t level,
                        int64_t nodes) {
    return by_size(position.width * position.height, [&](auto words) {
        return anytime_in<decltype(words)::value>(position, method, level, nodes);
    });
}

Solution exact_search(const Position& position, int64_t nodes, TranspositionTable& table) {
    return by_size(position.width * position.height, [&](auto words) {
        return exact_in<decltype(words)::value>(position, nodes, table);
    });
}
