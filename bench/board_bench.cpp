// Figures for the board and the paint: deals, a pair removal on a small and a large board,
// whole games, the one-colour clear beside a plain copy of the same bytes, the closing pass's
// worst case, and a full paint into a 4-byte buffer beside a plain copy of its bytes.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <utility>
#include <vector>

#include "app/app.hpp"
#include "board/board.hpp"
#include "tiles/tiles.hpp"

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

int32_t filled_columns() {
    int32_t columns = 0;
    while (columns < board_width && board_cell(columns, board_height - 1) != 0) {
        ++columns;
    }
    return columns;
}

int32_t column_top(int32_t column) {
    int32_t top = board_height - 1;
    while (top > 0 && board_cell(column, top - 1) != 0) {
        --top;
    }
    return top;
}

// Every legal click within the filled part of the board.
std::vector<std::pair<int32_t, int32_t>> legal_clicks() {
    std::vector<std::pair<int32_t, int32_t>> legal;
    const int32_t columns = filled_columns();
    for (int32_t column = 0; column < columns; ++column) {
        for (int32_t row = column_top(column); row < board_height; ++row) {
            if (has_partner(column, row)) {
                legal.emplace_back(column, row);
            }
        }
    }
    return legal;
}

// Plays random legal moves until none is left and returns the clicks; the board is restored.
// Clicks go on random tiles; only after a run of refusals are the legal ones listed.
std::vector<std::pair<int32_t, int32_t>> record_game(uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<std::pair<int32_t, int32_t>> clicks;
    int32_t refusals = 0;
    for (;;) {
        std::pair<int32_t, int32_t> click;
        if (refusals < 32) {
            const int32_t columns = filled_columns();
            if (columns == 0) {
                break;
            }
            click.first = static_cast<int32_t>(random() % static_cast<uint32_t>(columns));
            const int32_t top = column_top(click.first);
            click.second =
                top + static_cast<int32_t>(random() % static_cast<uint32_t>(board_height - top));
        } else {
            const auto legal = legal_clicks();
            if (legal.empty()) {
                break;
            }
            click = legal[random() % legal.size()];
        }
        if (play_move(click.first, click.second) == 1) {
            clicks.push_back(click);
            refusals = 0;
        } else {
            ++refusals;
        }
    }
    restore_board();
    return clicks;
}

// Columns of stacked vertical pairs, 1 and 2 in turn in even columns, 4 and 8 in odd ones, so
// that every group is one pair. The moves take the top pair of each column in turn, keeping
// the last one so that no column empties; then the board is restored. A move removes two tiles
// with nothing above them: it changes two bytes, whatever the size of the board.
void BM_PairRemoval(benchmark::State& state) {
    const auto width = static_cast<int32_t>(state.range(0));
    const auto height = static_cast<int32_t>(state.range(1));
    std::vector<Cell> cells(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    for (int32_t row = 0; row < height; ++row) {
        for (int32_t column = 0; column < width; ++column) {
            const int32_t shade = (column + row / 2) % 2;
            cells[static_cast<std::size_t>(row) * static_cast<std::size_t>(width) +
                  static_cast<std::size_t>(column)] =
                static_cast<Cell>(column % 2 == 0 ? 1 << shade : 4 << shade);
        }
    }
    load_board(width, height, cells.data());
    // Counted on rather than divided out of a move number, so that the loop costs little
    // beside the move.
    int32_t column = 0;
    int32_t row = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(play_move(column, row));
        if (++column == width) {
            column = 0;
            row += 2;
            if (row == height - 2) {
                restore_board();  // a copy of the board once in so many moves
                row = 0;
            }
        }
    }
    release_board();
}
BENCHMARK(BM_PairRemoval)->Args({20, 10})->Args({2048, 2048});

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
BENCHMARK(BM_RandomGame)->Args({2000, 1000})->Unit(benchmark::kMillisecond);

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

// One move empties every other column of a board of 2 rows: the top row is one group with the
// bottom tiles of the even columns, the odd columns keep a bottom tile of their own. The
// closing pass then moves half the columns, each over a gap one column wider than the last.
void BM_CloseColumns(benchmark::State& state) {
    const auto width = static_cast<int32_t>(state.range(0));
    std::vector<Cell> cells(static_cast<std::size_t>(width) * 2);
    for (int32_t column = 0; column < width; ++column) {
        const auto c = static_cast<std::size_t>(column);
        cells[c] = 1;
        cells[static_cast<std::size_t>(width) + c] =
            static_cast<Cell>(column % 2 == 0 ? 1 : (column % 4 == 1 ? 2 : 4));
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

// Every cell of a 30 x 16 board painted into a 4-byte buffer of its size, as a window's
// paint does.
void BM_Paint(benchmark::State& state) {
    requested_width = static_cast<int32_t>(state.range(0));
    requested_height = static_cast<int32_t>(state.range(1));
    build_tile_set();
    deal_board_seeded(5, requested_width, requested_height, 2026);
    const int32_t width = requested_width * tile_side;
    const int32_t height = requested_height * tile_side;
    std::vector<unsigned char> pixels(static_cast<std::size_t>(width) *
                                      static_cast<std::size_t>(height) * 4);
    const PixelBuffer target{pixels.data(), width, height, width * 4, 4};
    for (auto _ : state) {
        handle_paint_pixels(target);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(pixels.size()));
    release_board();
    release_tile_set();
}
BENCHMARK(BM_Paint)->Args({30, 16})->Unit(benchmark::kMicrosecond);

// A plain copy of as many bytes as that paint writes: the yardstick for the paint.
void BM_PaintCopy(benchmark::State& state) {
    const auto bytes =
        static_cast<std::size_t>(state.range(0) * tile_side * state.range(1) * tile_side * 4);
    std::vector<unsigned char> from(bytes, 1);
    std::vector<unsigned char> to(bytes, 0);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), bytes);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes));
}
BENCHMARK(BM_PaintCopy)->Args({30, 16})->Unit(benchmark::kMicrosecond);

}  // namespace
