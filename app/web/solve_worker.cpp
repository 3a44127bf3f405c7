// The solver in the page's Web Worker: solver_worker.js hands it a deal's cells and reads the
// answer back. It runs apart from the game, which never waits for it.
#include <emscripten/emscripten.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "solver/solver.hpp"

namespace {

TranspositionTable table;
Solution solution;
// The answer's moves as column, row pairs, for the script to read.
std::vector<int32_t> move_pairs;

// 1 to 4095 MiB: what a 32-bit size holds.
std::size_t mebibytes(int32_t mib) {
    const int32_t kept = mib < 1 ? 1 : (mib > 4095 ? 4095 : mib);
    return static_cast<std::size_t>(kept) << 20;
}

}  // namespace

extern "C" {

// Solves width x height engine cell values (top row first) within `seconds` and `positions`
// (0: no limit), with a table of `table_mib` MiB and beams within `beam_mib` MiB. Returns 1
// with the answer ready, 0 when the board is larger than the solver takes, -1 when the memory
// cannot be had.
EMSCRIPTEN_KEEPALIVE int32_t quillop_solve(int32_t width, int32_t height, const signed char* cells,
                                           double seconds, double positions, int32_t table_mib,
                                           int32_t beam_mib) {
    std::string failure;
    if (!solver_takes_size(width, height, failure)) {
        return 0;
    }
    Position position;
    if (!position_from_cells(width, height, cells, position, failure)) {
        return -1;  // the page sent no dealt board: nothing to tell the player but a failure
    }
    const std::size_t table_bytes = mebibytes(table_mib);
    if (table.entries == nullptr && !allocate_table(table, table_bytes)) {
        return -1;
    }
    SolveLimits limits;
    limits.seconds = seconds;
    limits.nodes = positions > 0 && positions < 1e18 ? static_cast<int64_t>(positions) : 0;
    limits.beam_bytes = mebibytes(beam_mib);
    if (!solve_position(position, limits, table, solution, failure)) {
        return -1;
    }
    move_pairs.clear();
    for (const Move& move : solution.moves) {
        move_pairs.push_back(move.column);
        move_pairs.push_back(move.row);
    }
    return 1;
}

EMSCRIPTEN_KEEPALIVE int32_t quillop_solution_left() {
    return solution.left;
}

EMSCRIPTEN_KEEPALIVE int32_t quillop_solution_proven() {
    return solution.optimal ? 1 : 0;
}

EMSCRIPTEN_KEEPALIVE int32_t quillop_solution_moves() {
    return static_cast<int32_t>(solution.moves.size());
}

EMSCRIPTEN_KEEPALIVE const int32_t* quillop_solution_move_pairs() {
    return move_pairs.data();
}

// Positions the search made, for the figures.
EMSCRIPTEN_KEEPALIVE double quillop_solution_positions() {
    return static_cast<double>(solution.nodes);
}

}  // extern "C"
