// The move against the plain passes: random games and loaded positions from 2 x 2 up to
// 300 x 200, every click played both ways from the same buffer, and the whole buffer, guard
// bytes included, compared after each one.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "board/board.hpp"
#include "tests/common/board_checks.hpp"
#include "tests/common/reference_move.hpp"

namespace {

class ReferenceTest : public ::testing::Test {
protected:
    void TearDown() override { release_board(); }
};

std::vector<Cell> current_buffer() {
    return std::vector<Cell>(current_cells, current_cells + board_bytes);
}

// A click on a tile most of the time, so that games get played out; now and then anywhere.
void pick_click(std::mt19937& random, int32_t* column, int32_t* row) {
    int32_t columns = 0;
    while (columns < board_width && board_cell(columns, board_height - 1) != 0) {
        ++columns;
    }
    if (columns == 0 || random() % 10 == 0) {
        *column = static_cast<int32_t>(random() % static_cast<unsigned>(board_width + 2)) - 1;
        *row = static_cast<int32_t>(random() % static_cast<unsigned>(board_height + 2)) - 1;
        return;
    }
    *column = static_cast<int32_t>(random() % static_cast<unsigned>(columns));
    int32_t top = board_height - 1;
    while (top > 0 && board_cell(*column, top - 1) != 0) {
        --top;
    }
    *row = top + static_cast<int32_t>(random() % static_cast<unsigned>(board_height - top));
}

// Plays clicks until a run of refusals suggests the game is over, or for at most `steps`
// clicks. Each click is played by play_move, then again by the reference from the same bytes.
// Returns the moves made.
int play_both_ways(std::mt19937& random, const char* what, int steps = 1 << 30) {
    int moves = 0;
    int refusals = 0;
    for (int step = 0; refusals < 40 && step < steps; ++step) {
        if (random() % 200 == 0) {
            EXPECT_EQ(restore_board(), 1);
        }
        int32_t column = 0;
        int32_t row = 0;
        pick_click(random, &column, &row);
        const std::vector<Cell> before = current_buffer();
        const int32_t played = play_move(column, row);
        const std::vector<Cell> after = current_buffer();
        std::memcpy(current_cells, before.data(), before.size());
        const int32_t expected = reference_play_move(column, row);
        if (played != expected || after != current_buffer()) {
            ADD_FAILURE() << what << " " << board_width << " x " << board_height << ", step "
                          << step << ", click " << column << "," << row << ": played " << played
                          << ", reference " << expected;
            return moves;
        }
        moves += played;
        refusals = played == 1 ? 0 : refusals + 1;
    }
    EXPECT_EQ(settled_fault(), "") << what;
    return moves;
}

// Mostly small sides, some middling.
int32_t side(std::mt19937& random) {
    const int32_t limit = random() % 10 == 0 ? 40 : 12;
    return 2 + static_cast<int32_t>(random() % static_cast<unsigned>(limit - 1));
}

void load_random_position(std::mt19937& random, int32_t width, int32_t height) {
    const auto colours = static_cast<uint32_t>(2 + random() % 4);
    const std::vector<Cell> cells = ragged_position(
        width, height, colours, [&random] { return static_cast<uint32_t>(random()); });
    ASSERT_EQ(load_board(width, height, cells.data()), 1);
}

TEST_F(ReferenceTest, DealtGamesMatchThePlainPassesByteForByte) {
    std::mt19937 random(11);
    int moves = 0;
    for (int game = 0; game < 20000 && !HasFailure(); ++game) {
        const int32_t width = side(random);
        const int32_t height = side(random);
        const auto colours = static_cast<int32_t>(2 + random() % 4);
        ASSERT_EQ(deal_board_seeded(colours, width, height, static_cast<uint32_t>(random())), 1);
        moves += play_both_ways(random, "dealt");
    }
    EXPECT_GT(moves, 200000);
}

TEST_F(ReferenceTest, LoadedPositionsMatchThePlainPassesByteForByte) {
    // Ragged columns and empty columns on the right, which no deal gives.
    std::mt19937 random(12);
    for (int game = 0; game < 10000 && !HasFailure(); ++game) {
        const int32_t width = side(random);
        const int32_t height = side(random);
        load_random_position(random, width, height);
        play_both_ways(random, "loaded");
    }
}

TEST_F(ReferenceTest, LargeBoardsMatchThePlainPassesByteForByte) {
    std::mt19937 random(13);
    const int32_t sizes[][2] = {{300, 200}, {300, 2}, {2, 200}, {173, 131}, {64, 150}};
    for (const auto& size : sizes) {
        for (int32_t colours : {2, 3, 5}) {
            ASSERT_EQ(deal_board_seeded(colours, size[0], size[1], static_cast<uint32_t>(random())),
                      1);
            play_both_ways(random, "dealt", 1500);
        }
        load_random_position(random, size[0], size[1]);
        play_both_ways(random, "loaded", 1500);
    }
}

TEST_F(ReferenceTest, WholeBoardGroupsAndFullWidthRowsMatchThePlainPasses) {
    // Shapes random play seldom gives: one colour everywhere, a full bottom row, a comb whose
    // teeth hang from the top row, and a spiral.
    Rows bands = full_rows(41, 12, 3, 1);
    for (std::size_t r = 0; r < bands.size(); ++r) {
        for (std::size_t c = 0; c < bands[r].size(); ++c) {
            // Long runs of 2 and 4 in uneven bands, broken by a few odd cells.
            bands[r][c] = (r + c / 13) % 3 == 0 ? 4 : 2;
            bands[r][c] = (r * 7 + c * 3) % 29 == 0 ? 8 : bands[r][c];
        }
    }
    const Rows shapes[] = {
        full_rows(9, 7, 1, 1),
        full_rows(37, 11, 1, 1),
        bands,
        {{2, 4, 2, 4, 2}, {4, 2, 4, 2, 4}, {1, 1, 1, 1, 1}},
        {{1, 1, 1, 1, 1, 1}, {1, 2, 1, 4, 1, 2}, {1, 4, 1, 2, 1, 4}, {1, 2, 1, 4, 1, 2}},
        {{1, 1, 1, 1, 1}, {2, 2, 2, 2, 1}, {1, 1, 1, 2, 1}, {1, 2, 2, 2, 1}, {1, 1, 1, 1, 1}},
    };
    for (const Rows& rows : shapes) {
        for (int32_t r = 0; r < static_cast<int32_t>(rows.size()); ++r) {
            for (int32_t c = 0; c < static_cast<int32_t>(rows[0].size()); ++c) {
                ASSERT_EQ(load_rows(rows), 1);
                const std::vector<Cell> before = current_buffer();
                const int32_t played = play_move(c, r);
                const std::vector<Cell> after = current_buffer();
                std::memcpy(current_cells, before.data(), before.size());
                EXPECT_EQ(reference_play_move(c, r), played) << c << "," << r;
                EXPECT_EQ(current_buffer(), after) << c << "," << r;
            }
        }
    }
}

TEST_F(ReferenceTest, ClosingOverManyEmptiedColumnsMatchesThePlainPass) {
    // One move empties many columns with kept ones between them, in gaps of every width up to
    // a few: the closing pass carries its offset over ever wider gaps, and a column it moves
    // may be as tall as the board. The top row joins the group across the kept columns.
    std::mt19937 random(14);
    for (int32_t width : {3, 4, 9, 64, 301}) {
        for (int32_t height : {2, 3, 7}) {
            for (uint32_t gaps = 1; gaps <= 4; ++gaps) {
                Rows rows(static_cast<std::size_t>(height),
                          std::vector<int>(static_cast<std::size_t>(width), 1));
                for (int32_t c = 0; c < width; ++c) {
                    if (random() % (gaps + 1) == 0) {  // a kept column of 2s and 4s under the 1s
                        const auto kept =
                            1 + static_cast<int32_t>(random() % static_cast<uint32_t>(height - 1));
                        for (int32_t r = height - kept; r < height; ++r) {
                            rows[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)] =
                                (r + c) % 2 == 0 ? 2 : 4;
                        }
                    }
                }
                ASSERT_EQ(load_rows(rows), 1);
                const std::vector<Cell> before = current_buffer();
                const int32_t played = play_move(0, 0);
                const std::vector<Cell> after = current_buffer();
                std::memcpy(current_cells, before.data(), before.size());
                ASSERT_EQ(reference_play_move(0, 0), played) << width << " x " << height;
                ASSERT_EQ(current_buffer(), after) << width << " x " << height << ", " << gaps;
                play_both_ways(random, "after the closing", 200);
            }
        }
    }
}

}  // namespace
