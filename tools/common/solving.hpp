// The engine's current position as the solver's, and a solution printed as a script.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "board/board.hpp"
#include "solver/solver.hpp"

inline bool current_position(Position& position, std::string& failure) {
    if (current_origin == nullptr) {
        failure = "no board";
        return false;
    }
    if (!solver_takes_size(board_width, board_height, failure)) {
        return false;  // before any cell is copied: the board may be huge
    }
    const std::vector<Cell> cells = current_cells_top_row_first();
    return position_from_cells(board_width, board_height, cells.data(), position, failure);
}

// The table lives as long as the program; it is allocated on the first solve.
inline bool solver_table(TranspositionTable& table, std::size_t bytes, std::string& failure) {
    if (table.entries == nullptr && !allocate_table(table, bytes)) {
        failure = "cannot allocate the " + std::to_string(bytes >> 20) + " MiB search table";
        return false;
    }
    return true;
}

inline void print_solution(const Solution& solution, std::FILE* out) {
    std::fprintf(out, "solution %d %zu %s\n", solution.left, solution.moves.size(),
                 solution.optimal ? "optimal" : "best");
    for (const Move& move : solution.moves) {
        std::fprintf(out, "click %d %d\n", move.column, move.row);
    }
}
