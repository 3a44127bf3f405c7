// quillop-survey: deals boards from consecutive seeds and solves each one.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "board/board.hpp"
#include "solver/solver.hpp"
#include "tools/common/solving.hpp"
#include "tools/common/text_input.hpp"

namespace {

const char usage[] =
    "usage: quillop-survey COLOURS WIDTH HEIGHT FIRST_SEED COUNT [SECONDS]\n"
    "Deals COUNT boards with the game's generator from seeds FIRST_SEED, FIRST_SEED + 1, ...\n"
    "and searches each one for up to SECONDS (10) for the moves that leave the fewest tiles.\n"
    "Prints a line a board: seed, tiles left, moves, 'optimal' (proven) or 'best', seconds;\n"
    "then a summary line starting with '#': the share of boards cleared, the share proven,\n"
    "the mean of tiles left, and the range the share of clearable deals lies in.\n"
    "Progress goes to standard error when that is a terminal.\n"
    "COLOURS 2 to 5; WIDTH and HEIGHT at least 2, together at most 4096 cells.\n";

struct Argument {
    const char* name;
    int64_t low;
    int64_t high;
};

const Argument arguments[] = {{"COLOURS", 2, 5},
                              {"WIDTH", 2, most_solver_cells / 2},
                              {"HEIGHT", 2, most_solver_cells / 2},
                              {"FIRST_SEED", 0, UINT32_MAX},
                              {"COUNT", 1, INT32_MAX},
                              {"SECONDS", 1, 86400}};

double percent(int64_t part, int64_t whole) {
    return 100.0 * static_cast<double>(part) / static_cast<double>(whole);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(usage, stdout);
        return 0;
    }
    if (argc < 6 || argc > 7) {
        std::fputs(usage, stderr);
        return 2;
    }
    int64_t values[6] = {0, 0, 0, 0, 0, 10};
    for (int i = 1; i < argc; ++i) {
        const Argument& argument = arguments[i - 1];
        if (!word_value(word_of(argv[i]), argument.low, argument.high, values[i - 1])) {
            std::fprintf(stderr, "quillop-survey: %s '%s' is not a number from %lld to %lld\n",
                         argument.name, escaped(argv[i]).c_str(), static_cast<long long>(argument.low),
                         static_cast<long long>(argument.high));
            return 2;
        }
    }
    const auto colours = static_cast<int32_t>(values[0]);
    const auto width = static_cast<int32_t>(values[1]);
    const auto height = static_cast<int32_t>(values[2]);
    const int64_t first = values[3];
    const int64_t count = values[4];
    std::string failure;
    if (!solver_takes_size(width, height, failure)) {
        std::fprintf(stderr, "quillop-survey: %s\n", failure.c_str());
        return 2;
    }
    TranspositionTable table;
    if (!solver_table(table, default_table_bytes, failure)) {
        std::fprintf(stderr, "quillop-survey: %s\n", failure.c_str());
        return 1;
    }
    const bool progress = isatty(STDERR_FILENO) != 0;
    SolveLimits limits;
    limits.seconds = static_cast<double>(values[5]);
    int64_t cleared = 0;
    int64_t proven = 0;
    int64_t unproven_uncleared = 0;
    int64_t left = 0;
    for (int64_t i = 0; i < count; ++i) {
        const auto seed = static_cast<uint32_t>((first + i) & 0xFFFFFFFF);
        if (progress) {
            std::fprintf(stderr, "\rboard %lld of %lld (seed %u) ", static_cast<long long>(i + 1),
                         static_cast<long long>(count), seed);
        }
        Position position;
        Solution solution;
        if (deal_board_seeded(colours, width, height, seed) == 0 ||
            !current_position(position, failure) ||
            !solve_position(position, limits, table, solution, failure)) {
            std::fprintf(stderr, "%squillop-survey: seed %u: %s\n", progress ? "\n" : "", seed,
                         failure.empty() ? "out of memory" : failure.c_str());
            return 1;
        }
        std::printf("%u %d %zu %s %.3f\n", seed, solution.left, solution.moves.size(),
                    solution.optimal ? "optimal" : "best", solution.seconds);
        std::fflush(stdout);
        cleared += solution.left == 0 ? 1 : 0;
        proven += solution.optimal ? 1 : 0;
        unproven_uncleared += !solution.optimal && solution.left > 0 ? 1 : 0;
        left += solution.left;
    }
    if (progress) {
        std::fputs("\n", stderr);
    }
    std::printf("# %lld boards: cleared %.1f%%, proven %.1f%%, mean tiles left %.2f; "
                "clearable %.1f%% to %.1f%%\n",
                static_cast<long long>(count), percent(cleared, count), percent(proven, count),
                static_cast<double>(left) / static_cast<double>(count), percent(cleared, count),
                percent(cleared + unproven_uncleared, count));
    release_table(table);
    release_board();
    return 0;
}
