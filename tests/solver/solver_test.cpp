// The solver against the engine, against a plain exhaustive search, on known positions, and
// its commands in quillop-board and quillop-survey.
#include "solver/solver.hpp"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <initializer_list>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "board/board.hpp"
#include "tests/common/tool_runs.hpp"

namespace {

constexpr std::size_t test_table_bytes = std::size_t{1} << 20;

Position position_of(int32_t width, int32_t height, const std::vector<Cell>& cells) {
    Position position;
    std::string failure;
    EXPECT_TRUE(position_from_cells(width, height, cells.data(), position, failure)) << failure;
    return position;
}

class SolverTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(allocate_table(table, test_table_bytes)); }
    void TearDown() override {
        release_table(table);
        release_board();
    }

    Solution solve(const Position& position, int64_t nodes) {
        SolveLimits limits;
        limits.seconds = 0;
        limits.nodes = nodes;
        Solution solution;
        std::string failure;
        EXPECT_TRUE(solve_position(position, limits, table, solution, failure)) << failure;
        return solution;
    }

    // Plays the solution on the engine from the loaded position, and on the solver's own
    // position, comparing the two after every move; the end must leave solution.left tiles.
    void expect_replays(const Position& start, const Solution& solution) {
        const std::vector<Cell> cells = cells_of_position(start);
        ASSERT_EQ(load_board(start.width, start.height, cells.data()), 1);
        Position mine = start;
        for (std::size_t i = 0; i < solution.moves.size(); ++i) {
            const Move move = solution.moves[i];
            ASSERT_EQ(play_move(move.column, move.row), 1) << "move " << i;
            ASSERT_TRUE(play_position_move(mine, move)) << "move " << i;
            ASSERT_EQ(cells_of_position(mine), current_cells_top_row_first()) << "after move " << i;
        }
        int32_t left = 0;
        for (const Cell cell : current_cells_top_row_first()) {
            left += cell != 0 ? 1 : 0;
        }
        EXPECT_EQ(left, solution.left);
        EXPECT_EQ(mine.tiles, solution.left);
    }

    TranspositionTable table;
};

Position dealt(int32_t colours, int32_t width, int32_t height, uint32_t seed) {
    deal_board_seeded(colours, width, height, seed);
    return position_of(width, height, current_cells_top_row_first());
}

// The fewest tiles any sequence leaves, by trying every click on the engine with a memo of
// the positions already seen.
int32_t exhaustive_fewest(int32_t width, int32_t height, const std::vector<Cell>& cells,
                          std::map<std::vector<Cell>, int32_t>& seen) {
    const auto found = seen.find(cells);
    if (found != seen.end()) {
        return found->second;
    }
    int32_t fewest = 0;
    for (const Cell cell : cells) {
        fewest += cell != 0 ? 1 : 0;
    }
    for (int32_t row = 0; row < height; ++row) {
        for (int32_t column = 0; column < width; ++column) {
            load_board(width, height, cells.data());
            if (play_move(column, row) == 1) {
                const std::vector<Cell> after = current_cells_top_row_first();
                fewest = std::min(fewest, exhaustive_fewest(width, height, after, seen));
            }
        }
    }
    seen[cells] = fewest;
    return fewest;
}

TEST_F(SolverTest, SolutionsReplayExactlyThroughTheEngine) {
    struct Deal {
        int32_t colours, width, height;
        uint32_t seed;
        int64_t nodes;
    };
    for (const Deal deal :
         {Deal{3, 10, 8, 1, 20000}, Deal{4, 10, 8, 2, 20000}, Deal{5, 10, 8, 3, 5000},
          Deal{5, 15, 10, 4, 3000}, Deal{2, 2, 9, 5, 1000}, Deal{5, 17, 3, 6, 3000},
          // Larger bit sets: columns across words, columns of more than 64
          // cells, the largest board.
          Deal{3, 20, 50, 7, 300}, Deal{4, 10, 100, 8, 300}, Deal{2, 64, 64, 9, 300},
          Deal{5, 15, 15, 10, 2000}}) {
        SCOPED_TRACE(deal.seed);
        const Position start = dealt(deal.colours, deal.width, deal.height, deal.seed);
        const Solution solution = solve(start, deal.nodes);
        EXPECT_FALSE(solution.moves.empty());
        expect_replays(start, solution);
    }
}

TEST_F(SolverTest, OptimalAgreesWithAnExhaustiveSearchOnTinyBoards) {
    int32_t checked = 0;
    for (int32_t width = 2; width <= 4; ++width) {
        for (int32_t height = 2; height <= 4; ++height) {
            for (int32_t colours = 2; colours <= 4; ++colours) {
                for (uint32_t seed = 1; seed <= 4; ++seed) {
                    SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height) + " " +
                                 std::to_string(colours) + " colours, seed " +
                                 std::to_string(seed));
                    const Position start = dealt(colours, width, height, seed);
                    std::map<std::vector<Cell>, int32_t> seen;
                    const int32_t fewest =
                        exhaustive_fewest(width, height, cells_of_position(start), seen);
                    const Solution solution = solve(start, 100000);
                    ASSERT_TRUE(solution.optimal);
                    EXPECT_EQ(solution.left, fewest);
                    expect_replays(start, solution);
                    ++checked;
                }
            }
        }
    }
    EXPECT_EQ(checked, 108);
}

struct Size {
    int32_t width, height;
};

// Deals every size with each colour count and seed, and hands each deal to check with the
// fewest tiles an exhaustive search leaves.
template <typename Check>
void for_each_small_deal(std::initializer_list<Size> sizes, int32_t fewest_colours,
                         int32_t most_colours, uint32_t seeds, Check check) {
    for (const Size size : sizes) {
        for (int32_t colours = fewest_colours; colours <= most_colours; ++colours) {
            for (uint32_t seed = 1; seed <= seeds; ++seed) {
                SCOPED_TRACE(std::to_string(size.width) + "x" + std::to_string(size.height) + " " +
                             std::to_string(colours) + " colours, seed " + std::to_string(seed));
                const Position start = dealt(colours, size.width, size.height, seed);
                std::map<std::vector<Cell>, int32_t> seen;
                check(start,
                      exhaustive_fewest(size.width, size.height, cells_of_position(start), seen));
            }
        }
    }
}

// A table of one bucket is overwritten all the time: every answer must still be the
// exhaustive search's, and a cut-short answer must never be below it or claim a proof.
TEST_F(SolverTest, WithATableOfOneBucketAnswersEqualAnExhaustiveSearch) {
    TranspositionTable tiny;
    ASSERT_TRUE(allocate_table(tiny, 1));
    std::swap(table, tiny);
    for_each_small_deal({{5, 4}, {4, 5}, {6, 3}, {3, 6}}, 3, 5, 5,
                        [&](const Position& start, int32_t fewest) {
                            const Solution whole = solve(start, 5000000);
                            ASSERT_TRUE(whole.optimal);
                            EXPECT_EQ(whole.left, fewest);
                            expect_replays(start, whole);
                            const Solution short_one = solve(start, 40);
                            EXPECT_GE(short_one.left, fewest);
                            EXPECT_TRUE(!short_one.optimal || short_one.left == fewest);
                            expect_replays(start, short_one);
                        });
    std::swap(table, tiny);
    release_table(tiny);
}

// The exact search alone, with no sequence from the beams to prune with, must find the
// fewest tiles itself and prove it: its bounds and the moves it leaves out (two moves that
// commute, already tried in the other order) may lose nothing, with a table of one bucket too.
TEST_F(SolverTest, TheExactSearchAloneFindsTheFewestAndProvesIt) {
    TranspositionTable tiny;
    ASSERT_TRUE(allocate_table(tiny, 1));
    for_each_small_deal({{6, 4}, {7, 3}, {5, 5}, {8, 3}, {9, 2}}, 2, 5, 12,
                        [&](const Position& start, int32_t fewest) {
                            for (TranspositionTable* used : {&table, &tiny}) {
                                const Solution found = exact_search(start, 0, *used);
                                ASSERT_TRUE(found.optimal);
                                ASSERT_EQ(found.left, fewest);
                                expect_replays(start, found);
                            }
                        });
    release_table(tiny);
}

TEST_F(SolverTest, KnownPositions) {
    // A lone tile of a colour can never go.
    const Position lone = position_of(3, 2, {1, 1, 2, 1, 1, 4});
    Solution solution = solve(lone, 1000);
    EXPECT_EQ(solution.left, 2);
    EXPECT_TRUE(solution.optimal);
    EXPECT_EQ(lone_colour_bound(lone), 2);

    // One colour: one move clears it.
    const Position one_colour = position_of(4, 3, std::vector<Cell>(12, 8));
    solution = solve(one_colour, 1000);
    EXPECT_EQ(solution.left, 0);
    EXPECT_TRUE(solution.optimal);
    ASSERT_EQ(solution.moves.size(), 1u);
    expect_replays(one_colour, solution);

    // A chessboard of two colours has no move at all.
    std::vector<Cell> chess;
    for (int32_t row = 0; row < 5; ++row) {
        for (int32_t column = 0; column < 6; ++column) {
            chess.push_back((row + column) % 2 == 0 ? 1 : 16);
        }
    }
    solution = solve(position_of(6, 5, chess), 1000);
    EXPECT_EQ(solution.left, 30);
    EXPECT_TRUE(solution.optimal);
    EXPECT_TRUE(solution.moves.empty());

    // The only clearing line starts with the pair of 2s in the middle row, not with the
    // largest group (the four 4s): after that one nothing can clear the board.
    const std::vector<Cell> cells = {1, 4, 4, 4, 1, 2, 4, 2, 2, 4, 2, 1, 1, 4, 2};
    const Position tricky = position_of(5, 3, cells);
    solution = solve(tricky, 10000);
    EXPECT_EQ(solution.left, 0);
    EXPECT_TRUE(solution.optimal);
    ASSERT_FALSE(solution.moves.empty());
    EXPECT_EQ(solution.moves[0].row, 1);
    EXPECT_TRUE(solution.moves[0].column == 2 || solution.moves[0].column == 3);
    expect_replays(tricky, solution);
    Position greedy = tricky;
    ASSERT_TRUE(play_position_move(greedy, Move{1, 0}));
    EXPECT_EQ(greedy.tiles, 11);
    const Solution after_greedy = solve(greedy, 10000);
    EXPECT_TRUE(after_greedy.optimal);
    EXPECT_GT(after_greedy.left, 0);
    // An empty board is solved already.
    solution = solve(position_of(2, 2, {0, 0, 0, 0}), 10);
    EXPECT_EQ(solution.left, 0);
    EXPECT_TRUE(solution.optimal);
}

TEST_F(SolverTest, PositionsAreCheckedAndMovesRefusedLikeTheEngine) {
    Position position;
    std::string failure;
    const std::vector<Cell> unsettled = {0, 1, 1, 0};
    EXPECT_FALSE(position_from_cells(2, 2, unsettled.data(), position, failure));
    const std::vector<Cell> gap = {0, 0, 0, 1, 0, 1};
    EXPECT_FALSE(position_from_cells(3, 2, gap.data(), position, failure));
    const std::vector<Cell> marked = {1, 1, 1, 0x21};
    EXPECT_FALSE(position_from_cells(2, 2, marked.data(), position, failure));
    EXPECT_FALSE(position_from_cells(1, 2, marked.data(), position, failure));
    const std::vector<Cell> big(4097, 1);
    EXPECT_FALSE(position_from_cells(4097, 1, big.data(), position, failure));
    EXPECT_FALSE(position_from_cells(65, 64, big.data(), position, failure));

    Position lone = position_of(2, 2, {0, 0, 1, 2});
    const Position before = lone;
    for (const Move move :
         {Move{0, 0}, Move{0, 1}, Move{1, 1}, Move{2, 1}, Move{-1, 1}, Move{0, 2}, Move{0, -1}}) {
        EXPECT_FALSE(play_position_move(lone, move));
        EXPECT_EQ(lone.cells, before.cells);
    }
}

TEST_F(SolverTest, ANodeBudgetGivesTheSameAnswerEveryTime) {
    const Position start = dealt(5, 12, 9, 77);
    const Solution first = solve(start, 4000);
    EXPECT_FALSE(first.optimal);
    EXPECT_LE(first.nodes, 4000 + 200);
    // A larger budget runs the same way further: never a worse answer.
    EXPECT_LE(solve(start, 40000).left, first.left);
    // Nor does what wider beams on another board left in the memory kept with the table.
    solve(dealt(5, 15, 15, 3), 60000);
    const Solution again = solve(start, 4000);
    TranspositionTable other;
    ASSERT_TRUE(allocate_table(other, test_table_bytes));
    std::swap(table, other);
    const Solution fresh = solve(start, 4000);
    std::swap(table, other);
    release_table(other);
    for (const Solution* solution : {&again, &fresh}) {
        EXPECT_EQ(solution->left, first.left);
        EXPECT_EQ(solution->nodes, first.nodes);
        ASSERT_EQ(solution->moves.size(), first.moves.size());
        for (std::size_t i = 0; i < first.moves.size(); ++i) {
            EXPECT_EQ(solution->moves[i].column, first.moves[i].column);
            EXPECT_EQ(solution->moves[i].row, first.moves[i].row);
        }
    }
}

void* refuse(std::size_t) {
    return nullptr;
}

TEST_F(SolverTest, TheTableStaysWithinItsSizeAndAFailedAllocationIsAnError) {
    TranspositionTable small;
    ASSERT_TRUE(allocate_table(small, 1000));
    EXPECT_LE((small.bucket_mask + 1) * least_table_bytes, 1000u);
    EXPECT_EQ((small.bucket_mask + 1) * least_table_bytes, 512u);
    ASSERT_TRUE(allocate_table(small, 1));  // one bucket at least
    EXPECT_EQ(small.bucket_mask, 0u);
    // A table of one bucket is overwritten all the time and must still prove the same.
    const Position start = dealt(3, 5, 5, 9);
    std::swap(table, small);
    const Solution cramped = solve(start, 200000);
    std::swap(table, small);
    const Solution roomy = solve(start, 200000);
    EXPECT_TRUE(cramped.optimal);
    EXPECT_TRUE(roomy.optimal);
    EXPECT_EQ(cramped.left, roomy.left);
    release_table(small);

    const SolverAllocator saved = solver_allocate;
    solver_allocate = refuse;
    TranspositionTable none;
    EXPECT_FALSE(allocate_table(none, default_table_bytes));
    EXPECT_EQ(none.entries, nullptr);
    solver_allocate = saved;
}

// ---- the commands, run as programs ----

class SolveCommandTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(folder.made()); }

    ToolRun run(const std::string& tool, const std::string& arguments,
                const std::string& script = "") {
        write_text(folder.file("script"), script);
        return run_tool(folder,
                        "'" + tool + "' " + arguments + " < '" + folder.file("script") + "'");
    }

    const TestFolder folder;
};

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) {
        lines.push_back(line);
    }
    return lines;
}

TEST_F(SolveCommandTest, TheAnswerIsAScriptThatLeavesWhatItSays) {
    const std::string deal = "deal 4 8 6 31\nclick 5 5\n";
    const ToolRun solved = run(QUILLOP_BOARD_TOOL, "", deal + "print\nsolve-nodes 30000\nprint\n");
    ASSERT_EQ(solved.status, 0) << solved.err;
    const std::vector<std::string> lines = lines_of(solved.out);
    ASSERT_GE(lines.size(), 1u + 6 + 1 + 6);
    // The board before and after the solve is the same.
    const std::vector<std::string> before(lines.begin() + 2, lines.begin() + 8);
    const std::vector<std::string> after(lines.end() - 6, lines.end());
    EXPECT_EQ(before, after);
    std::istringstream head(lines[8]);
    std::string word, kind;
    int32_t left = -1;
    std::size_t moves = 0;
    head >> word >> left >> moves >> kind;
    EXPECT_EQ(word, "solution");
    EXPECT_TRUE(kind == "optimal" || kind == "best") << kind;
    ASSERT_EQ(lines.size(), 8 + 1 + moves + 6);
    // The whole answer, its first line included, replays as a script.
    std::string answer = lines[8] + "\n";
    for (std::size_t i = 0; i < moves; ++i) {
        EXPECT_EQ(lines[9 + i].rfind("click ", 0), 0u);
        answer += lines[9 + i] + "\n";
    }
    const ToolRun replayed = run(QUILLOP_BOARD_TOOL, "", deal + answer + "print\n");
    ASSERT_EQ(replayed.status, 0) << replayed.err;
    const std::vector<std::string> replay = lines_of(replayed.out);
    ASSERT_EQ(replay.size(), 2 + moves + 6);
    int32_t tiles = 0;
    for (std::size_t i = 0; i < 2 + moves; ++i) {
        EXPECT_EQ(replay[i], "1");
    }
    for (std::size_t i = 2 + moves; i < replay.size(); ++i) {
        std::istringstream row(replay[i]);
        for (int32_t value = 0; row >> value;) {
            tiles += value != 0 ? 1 : 0;
        }
    }
    EXPECT_EQ(tiles, left);

    const ToolRun again = run(QUILLOP_BOARD_TOOL, "", deal + "print\nsolve-nodes 30000\nprint\n");
    EXPECT_EQ(again.out, solved.out);
}

TEST_F(SolveCommandTest, KnownAnswersAndBadArguments) {
    const ToolRun known = run(QUILLOP_BOARD_TOOL, "",
                              "solve\nload 2 2\n1 2\n2 1\nsolve 1\nload 3 2\n8 8 8\n8 8 8\n"
                              "solve-nodes 1\n");
    EXPECT_EQ(known.status, 0) << known.err;
    EXPECT_EQ(known.out, "no board\n1\nsolution 4 0 optimal\n1\nsolution 0 1 optimal\nclick 0 1\n");

    for (const char* bad :
         {"solve 0\n", "solve -3\n", "solve x\n", "solve 1 2\n", "solve-nodes\n", "solve-nodes 0\n",
          "solve-nodes 2147483648\n", "Solve\n", "solution 1 2\n", "solution 1 2 good\n",
          "solution -1 0 best\n", "solution 0 1 optimal click\n"}) {
        const ToolRun result = run(QUILLOP_BOARD_TOOL, "", std::string("deal 3 4 4 1\n") + bad);
        EXPECT_EQ(result.status, 2) << bad;
        EXPECT_EQ(result.out, "1\n") << bad;
        EXPECT_EQ(result.err.rfind("quillop-board: line 2: ", 0), 0u) << bad << result.err;
    }
    for (const char* bad :
         {"table\n", "table 0\n", "table x\n", "table 1 2\n", "table 1073741825\n"}) {
        const ToolRun result = run(QUILLOP_BOARD_TOOL, "", std::string("deal 3 4 4 1\n") + bad);
        EXPECT_EQ(result.status, 2) << bad;
        EXPECT_EQ(result.err.rfind("quillop-board: line 2: table: ", 0), 0u) << bad << result.err;
    }
    // A size the machine cannot give: a message, and no solve after it.
    // (Under the address sanitizer a failed allocation must return, not end the program.)
    write_text(folder.file("script"), "deal 3 4 4 1\ntable 1073741824\nsolve-nodes 100\n");
    const ToolRun huge =
        run_tool(folder, std::string("ASAN_OPTIONS=allocator_may_return_null=1 '") +
                             QUILLOP_BOARD_TOOL + "' < '" + folder.file("script") + "'");
    EXPECT_EQ(huge.status, 2);
    EXPECT_EQ(huge.out, "1\n");
    EXPECT_NE(huge.err.find("cannot allocate the 1073741824 MiB search table"), std::string::npos)
        << huge.err;
    const ToolRun small =
        run(QUILLOP_BOARD_TOOL, "", "table 1\nload 3 2\n8 8 8\n8 8 8\nsolve-nodes 10\n");
    EXPECT_EQ(small.status, 0) << small.err;
    EXPECT_EQ(small.out, "1\n1\nsolution 0 1 optimal\nclick 0 1\n");

    const ToolRun large = run(QUILLOP_BOARD_TOOL, "", "deal 3 100 100 1\nsolve 1\n");
    EXPECT_EQ(large.status, 2);
    EXPECT_NE(large.err.find("4096 cells"), std::string::npos) << large.err;

    const ToolRun help = run(QUILLOP_BOARD_TOOL, "--help");
    EXPECT_NE(help.out.find("solve-nodes NODES"), std::string::npos);
    EXPECT_NE(help.out.find("table MIB"), std::string::npos);
}

TEST_F(SolveCommandTest, TheSurveySolvesOneDealASeedAndSumsUp) {
    const ToolRun survey = run(QUILLOP_SURVEY_TOOL, "2 4 3 7 3 1");
    ASSERT_EQ(survey.status, 0) << survey.err;
    // The tables' memory only: no progress when standard error is no terminal.
    EXPECT_EQ(lines_of(survey.err).size(), 1u) << survey.err;
    EXPECT_EQ(survey.err.find('\r'), std::string::npos) << survey.err;
    EXPECT_NE(survey.err.find(" MiB table"), std::string::npos) << survey.err;
    const std::vector<std::string> lines = lines_of(survey.out);
    ASSERT_EQ(lines.size(), 5u) << survey.out;
    EXPECT_EQ(lines[0], "# quillop-survey 2 4 3 7 3 1 --table 256");
    for (uint32_t i = 0; i < 3; ++i) {
        std::istringstream line(lines[i + 1]);
        uint32_t seed = 0;
        int32_t left = -1;
        std::size_t moves = 0;
        std::string kind;
        double seconds = -1;
        line >> seed >> left >> moves >> kind >> seconds;
        EXPECT_EQ(seed, 7 + i);
        EXPECT_EQ(kind, "optimal");  // a 4 x 3 board is always proven at once
        EXPECT_GE(seconds, 0);
        // The same answer as quillop-board gives for the same deal.
        const ToolRun board =
            run(QUILLOP_BOARD_TOOL, "", "deal 2 4 3 " + std::to_string(seed) + "\nsolve 1\n");
        EXPECT_EQ(lines_of(board.out)[1],
                  "solution " + std::to_string(left) + " " + std::to_string(moves) + " optimal");
    }
    EXPECT_EQ(lines[4].rfind("# 3 boards: cleared ", 0), 0u) << lines[4];
    EXPECT_NE(lines[4].find("proven 100.0%"), std::string::npos) << lines[4];

    for (const char* bad : {"", "1 4 3 7 3", "2 4 3 7 0", "2 4 3 -1 3", "2 4 3 7 3 0",
                            "2 100 100 1 1", "2 4 3 7 3 1 9"}) {
        const ToolRun result = run(QUILLOP_SURVEY_TOOL, bad);
        EXPECT_EQ(result.status, 2) << bad;
        EXPECT_EQ(result.out, "") << bad;
        EXPECT_FALSE(result.err.empty()) << bad;
    }
    const ToolRun help = run(QUILLOP_SURVEY_TOOL, "--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("usage: quillop-survey"), std::string::npos);
}

}  // namespace
