// Figures for the solver: deals of the sizes people play solved within a time limit each
// (share proven or cleared, mean time), and positions searched a second.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "board/board.hpp"
#include "solver/solver.hpp"
#include "tools/common/large_pages.hpp"

namespace {

Position dealt_position(int32_t colours, int32_t width, int32_t height, uint32_t seed) {
    deal_board_seeded(colours, width, height, seed);
    const std::vector<Cell> cells = current_cells_top_row_first();
    Position position;
    std::string failure;
    position_from_cells(width, height, cells.data(), position, failure);
    return position;
}

TranspositionTable& shared_table() {
    static TranspositionTable table;
    if (table.entries == nullptr) {
        solver_allocate = zeroed_on_large_pages;
        allocate_table(table, default_table_bytes);
    }
    return table;
}

// Arguments: colours, width, height, number of seeds from 1, seconds a deal.
void BM_SolveDeals(benchmark::State& state) {
    const auto colours = static_cast<int32_t>(state.range(0));
    const auto width = static_cast<int32_t>(state.range(1));
    const auto height = static_cast<int32_t>(state.range(2));
    const auto seeds = static_cast<uint32_t>(state.range(3));
    SolveLimits limits;
    limits.seconds = static_cast<double>(state.range(4));
    int64_t proven = 0;
    int64_t cleared = 0;
    int64_t nodes = 0;
    double seconds = 0;
    for (auto _ : state) {
        proven = cleared = nodes = 0;
        seconds = 0;
        for (uint32_t seed = 1; seed <= seeds; ++seed) {
            const Position position = dealt_position(colours, width, height, seed);
            Solution solution;
            std::string failure;
            solve_position(position, limits, shared_table(), solution, failure);
            proven += solution.optimal ? 1 : 0;
            cleared += solution.left == 0 ? 1 : 0;
            nodes += solution.nodes;
            seconds += solution.seconds;
        }
    }
    state.counters["proven_share"] = static_cast<double>(proven) / seeds;
    state.counters["cleared_share"] = static_cast<double>(cleared) / seeds;
    state.counters["mean_seconds"] = seconds / seeds;
    state.counters["nodes_per_second"] = static_cast<double>(nodes) / seconds;
    release_board();
}
BENCHMARK(BM_SolveDeals)
    ->ArgNames({"colours", "width", "height", "seeds", "seconds"})
    ->Args({3, 10, 8, 200, 1})
    ->Args({4, 10, 8, 200, 1})
    ->Args({5, 10, 8, 200, 10})
    ->Args({5, 15, 15, 20, 10})
    ->Args({3, 6, 5, 20, 1})
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

// Positions made a second, with a node budget on one 5-colour 10 x 8 deal that the search
// does not finish.
void BM_NodesPerSecond(benchmark::State& state) {
    const Position position = dealt_position(5, 10, 8, 72);
    SolveLimits limits;
    limits.seconds = 0;
    limits.nodes = state.range(0);
    {
        // Once untimed, so that the table's pages are made before the search is timed.
        Solution solution;
        std::string failure;
        solve_position(position, limits, shared_table(), solution, failure);
    }
    int64_t nodes = 0;
    for (auto _ : state) {
        Solution solution;
        std::string failure;
        solve_position(position, limits, shared_table(), solution, failure);
        nodes += solution.nodes;
    }
    state.SetItemsProcessed(nodes);
    release_board();
}
BENCHMARK(BM_NodesPerSecond)->Arg(2000000)->Arg(20000)->Unit(benchmark::kMillisecond);

}  // namespace

namespace {

// The anytime searches against each other on 5-colour 15 x 15 deals, equal node budgets:
// beams of doubling width (0) or nested Monte-Carlo search of level 1 or 2.
void BM_Anytime(benchmark::State& state) {
    const auto method = state.range(0) == 0 ? AnytimeMethod::beam : AnytimeMethod::nested;
    const auto level = static_cast<int32_t>(state.range(0));
    const int64_t nodes = state.range(1);
    constexpr uint32_t seeds = 10;
    int64_t left = 0;
    int64_t cleared = 0;
    for (auto _ : state) {
        left = cleared = 0;
        for (uint32_t seed = 1; seed <= seeds; ++seed) {
            const Solution solution =
                anytime_search(dealt_position(5, 15, 15, seed), method, level, nodes);
            left += solution.left;
            cleared += solution.left == 0 ? 1 : 0;
        }
    }
    state.counters["mean_left"] = static_cast<double>(left) / seeds;
    state.counters["cleared_share"] = static_cast<double>(cleared) / seeds;
    release_board();
}
BENCHMARK(BM_Anytime)
    ->ArgNames({"nested_level", "nodes"})
    ->Args({0, 2000000})
    ->Args({1, 2000000})
    ->Args({2, 2000000})
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

}  // namespace
