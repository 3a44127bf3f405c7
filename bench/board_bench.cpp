// Figures for the board: deals, whole games, the one-colour clear beside a plain copy of the
// same bytes, and the closing pass's worst case.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <utility>
#include <vector>

#include "board/board.hpp"

namespace {

void BM_Deal(benchmark::State& state) {
    uint32_t seed = 1;
    for (auto _ : state) {
        benchmark::DoNotOptimize(deal_board_seeded(5, 1000, 1000, seed++));
    }
    state.SetItemsProcessed(state.iterations() * 1000 * 1000);
    release_board();
}
BENCHMARK(BM_Deal)->Unit(benchmark::kMillisecond);

bool has_partner(int32_t column, int32_t row) {
    const int32_t colour = board_cell(column, row);
    return colour > 0 &&
           (board_cell(column - 1, row) == colour || board_cell(column + 1, row) == colour ||
            board_cell(column, row - 1) == colour || board_cell(column, row + 1) == colour);
}

// Plays random legal moves until none is left and returns the clicks; the board is restored.
std::vector<std::pair<int32_t, int32_t>> record_game(uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<std::pair<int32_t, int32_t>> clicks;
    std::vector<std::pair<int32_t, int32_t>> legal;
    for (;;) {
        legal.clear();
        for (int32_t row = 0; row < board_height; ++row) {
            for (int32_t column = 0; column < board_width; ++column) {
                if (has_partner(column, row)) {
                    legal.emplace_back(column, row);
                }
            }
        }
        if (legal.empty()) {
            break;
        }
        const auto click = legal[random() % legal.size()];
        play_move(click.first, click.second);
        clicks.push_back(click);
    }
    restore_board();
    return clicks;
}

void BM_RandomGame(benchmark::State& state) {
    const auto width = static_cast<int32_t>(state.range(0));
    const auto height = static_cast<int32_t>(state.range(1));
    deal_board_seeded(5, width, height, 2026);
    const auto clicks = record_game(7);
    for (auto _ : state) {
        restore_board();
        for (const auto& click : clicks) {
            benchmark::DoNotOptimize(play_move(click.first, click.second));
        }
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(clicks.size()));
    state.counters["moves_per_game"] = static_cast<double>(clicks.size());
    state.counters["time_per_move"] = benchmark::Counter(
        static_cast<double>(clicks.size()),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    release_board();
}
BENCHMARK(BM_RandomGame)->Args({20, 10})->Args({200, 100});

void load_one_colour(int32_t size) {
    std::vector<Cell> cells(static_cast<std::size_t>(size) * static_cast<std::size_t>(size), 1);
    load_board(size, size, cells.data());
}

void BM_ClearOneColour(benchmark::State& state) {
    const auto size = static_cast<int32_t>(state.range(0));
    load_one_colour(size);
    for (auto _ : state) {
        state.PauseTiming();
        restore_board();
        state.ResumeTiming();
        benchmark::DoNotOptimize(play_move(0, 0));
    }
    state.SetBytesProcessed(state.iterations() * board_bytes);
    release_board();
}
BENCHMARK(BM_ClearOneColour)->Arg(64)->Arg(2048)->Unit(benchmark::kMicrosecond);

// A plain copy of as many bytes as the one-colour board has: the yardstick for the clear.
void BM_Copy(benchmark::State& state) {
    const auto size = static_cast<int64_t>(state.range(0));
    const auto bytes = static_cast<std::size_t>((size + 2) * (size + 1) - 1);
    std::vector<char> from(bytes, 1);
    std::vector<char> to(bytes, 0);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), bytes);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes));
}
BENCHMARK(BM_Copy)->Arg(64)->Arg(2048)->Unit(benchmark::kMicrosecond);

// One move empties the left half of a board of 2 rows: each of the columns on the right then
// searches back over all the emptied ones before it moves.
void BM_CloseColumns(benchmark::State& state) {
    const auto width = static_cast<int32_t>(state.range(0));
    std::vector<Cell> cells(static_cast<std::size_t>(width) * 2);
    for (int32_t column = 0; column < width; ++column) {
        const bool left = column < width / 2;
        const auto c = static_cast<std::size_t>(column);
        cells[c] = left ? 1 : static_cast<Cell>(column % 2 ? 2 : 4);
        cells[static_cast<std::size_t>(width) + c] =
            left ? 1 : static_cast<Cell>(column % 2 ? 4 : 2);
    }
    load_board(width, 2, cells.data());
    for (auto _ : state) {
        state.PauseTiming();
        restore_board();
        state.ResumeTiming();
        benchmark::DoNotOptimize(play_move(0, 0));
    }
    state.counters["columns"] = width;
    release_board();
}
BENCHMARK(BM_CloseColumns)->Arg(64)->Arg(1024)->Arg(8192)->Unit(benchmark::kMicrosecond);

}  // namespace
