// Moves: the refusal test, the marking, the drop and closing passes, and moves on boards far
// larger than any stack could hold a recursion for.
#include <gtest/gtest.h>
#include <pthread.h>

#include <climits>
#include <cstdlib>
#include <vector>

#include "board/board.hpp"
#include "board/engine.hpp"
#include "tests/common/board_checks.hpp"

namespace {

class MovesTest : public ::testing::Test {
protected:
    void TearDown() override { release_board(); }
};

// Plays one click on rows and returns the rows afterwards; the result of the click in *played.
Rows after_click(const Rows& rows, int32_t column, int32_t row, int32_t* played) {
    EXPECT_EQ(load_rows(rows), 1);
    *played = play_move(column, row);
    EXPECT_EQ(settled_fault(), "");
    return current_rows();
}

Rows after_move(const Rows& rows, int32_t column, int32_t row) {
    int32_t played = 0;
    Rows result = after_click(rows, column, row, &played);
    EXPECT_EQ(played, 1);
    return result;
}

void expect_refused(const Rows& rows, int32_t column, int32_t row) {
    int32_t played = 1;
    EXPECT_EQ(after_click(rows, column, row, &played), rows) << column << "," << row;
    EXPECT_EQ(played, 0) << column << "," << row;
    for (int32_t i = 0; i < board_bytes; ++i) {
        ASSERT_EQ(current_byte(i), dealt_byte(i));
    }
}

TEST_F(MovesTest, MarkingExampleMarksTheGroupAndNothingElse) {
    const Rows rows = {{1, 1, 2, 4}, {2, 1, 2, 4}, {2, 2, 4, 1}};
    ASSERT_EQ(load_rows(rows), 1);
    GroupExtent extent{};
    mark_group(0, 0, extent);
    Rows expected = rows;
    expected[0][0] = expected[0][1] = expected[1][1] = 0x21;
    EXPECT_EQ(current_rows(), expected);  // no direction bits left behind either
    // Marking again from a marked cell changes nothing.
    GroupExtent again{};
    mark_group(1, 1, again);
    EXPECT_GT(again.first_column, again.last_column);  // no columns for the collapse
    EXPECT_EQ(current_rows(), expected);
    // The collapse then removes exactly the marked cells.
    collapse_board(extent);
    EXPECT_EQ(current_rows(), (Rows{{0, 0, 2, 4}, {2, 0, 2, 4}, {2, 2, 4, 1}}));
    EXPECT_EQ(settled_fault(), "");
}

TEST_F(MovesTest, MarkingFollowsWindingGroupsAndStopsAtOtherColours) {
    // A spiral of 1s around 2s; every 1 is connected, no 2 is.
    const Rows rows = {
        {1, 1, 1, 1, 1}, {2, 2, 2, 2, 1}, {1, 1, 1, 2, 1}, {1, 2, 2, 2, 1}, {1, 1, 1, 1, 1}};
    ASSERT_EQ(load_rows(rows), 1);
    GroupExtent extent{};
    mark_group(2, 2, extent);
    for (int32_t r = 0; r < 5; ++r) {
        for (int32_t c = 0; c < 5; ++c) {
            const int value = rows[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)];
            EXPECT_EQ(board_cell(c, r), value == 1 ? 0x21 : value) << c << "," << r;
        }
    }
}

TEST_F(MovesTest, CollapseWorkedExamples) {
    EXPECT_EQ(after_move({{1, 2, 1}, {1, 4, 1}, {1, 1, 1}}, 0, 0),
              (Rows{{0, 0, 0}, {2, 0, 0}, {4, 0, 0}}));
    EXPECT_EQ(after_move({{2, 1, 4, 1, 4}, {4, 1, 2, 1, 2}, {2, 1, 1, 1, 4}}, 1, 0),
              (Rows{{2, 0, 4, 0, 0}, {4, 4, 2, 0, 0}, {2, 2, 4, 0, 0}}));
    EXPECT_EQ(after_move({{1, 1, 2, 4}, {2, 1, 2, 4}, {2, 2, 4, 1}}, 0, 0),
              (Rows{{0, 0, 2, 4}, {2, 0, 2, 4}, {2, 2, 4, 1}}));
    // Any cell of the group gives the same move.
    EXPECT_EQ(after_move({{1, 1, 2, 4}, {2, 1, 2, 4}, {2, 2, 4, 1}}, 1, 1),
              (Rows{{0, 0, 2, 4}, {2, 0, 2, 4}, {2, 2, 4, 1}}));
}

TEST_F(MovesTest, RefusedClicksChangeNothing) {
    const Rows board = {{0, 0, 0, 0}, {4, 0, 0, 0}, {2, 1, 2, 0}, {1, 2, 1, 8}};
    expect_refused(board, 0, 0);  // empty cell
    expect_refused(board, 3, 2);  // empty cell
    expect_refused(board, 1, 2);  // lone tile among other colours
    expect_refused(board, 3, 3);  // lone tile beside the guard column and an empty cell
    expect_refused(board, 0, 1);  // lone tile under an empty cell, beside the guard column
    expect_refused(board, 4, 0);  // the guard column
    expect_refused(board, 4, 3);
    expect_refused(board, 0, 4);  // the guard row below
    expect_refused(board, -1, 3);
    expect_refused(board, 0, -1);
    // Different colours never match, whatever the pair.
    expect_refused({{1, 2, 4}, {8, 16, 1}}, 1, 1);
    expect_refused({{16, 8, 4}, {2, 1, 16}}, 1, 0);
}

TEST_F(MovesTest, RowEndsAreNotJoinedThroughTheGuardColumn) {
    // (2, 0) and (0, 1) hold one colour and are neighbours in memory but for the guard.
    const Rows rows = {{2, 4, 1}, {1, 2, 4}};
    expect_refused(rows, 2, 0);
    expect_refused(rows, 0, 1);
    // Same in a taller board, bottom row end against nothing.
    expect_refused({{4, 2, 1, 2}, {1, 4, 2, 4}, {4, 1, 4, 1}}, 3, 1);
}

TEST_F(MovesTest, EveryNeighbourDirectionMakesAMove) {
    // The clicked centre has exactly one partner, in each direction in turn.
    EXPECT_EQ(after_move({{2, 1, 2}, {4, 1, 4}, {2, 4, 2}}, 1, 1),
              (Rows{{2, 0, 2}, {4, 0, 4}, {2, 4, 2}}));  // above
    EXPECT_EQ(after_move({{2, 4, 2}, {1, 1, 4}, {2, 4, 2}}, 1, 1),
              (Rows{{0, 0, 2}, {2, 4, 4}, {2, 4, 2}}));  // left
    EXPECT_EQ(after_move({{2, 4, 2}, {4, 1, 4}, {2, 1, 2}}, 1, 1),
              (Rows{{2, 0, 2}, {4, 0, 4}, {2, 4, 2}}));  // below
    EXPECT_EQ(after_move({{2, 4, 2}, {4, 1, 1}, {2, 4, 2}}, 1, 1),
              (Rows{{2, 0, 0}, {4, 4, 2}, {2, 4, 2}}));  // right
}

TEST_F(MovesTest, GroupsAlongTheEdgesAreRemovedWhole) {
    // Top row.
    EXPECT_EQ(after_move({{1, 1, 1}, {2, 4, 2}}, 2, 0), (Rows{{0, 0, 0}, {2, 4, 2}}));
    // Bottom row: everything above falls one row.
    EXPECT_EQ(after_move({{2, 4, 2}, {1, 1, 1}}, 0, 1), (Rows{{0, 0, 0}, {2, 4, 2}}));
    // Column 0 entirely: every other column moves one left.
    EXPECT_EQ(after_move({{1, 2, 4}, {1, 4, 2}}, 0, 1), (Rows{{2, 4, 0}, {4, 2, 0}}));
    // Last column entirely: nothing moves sideways.
    EXPECT_EQ(after_move({{2, 4, 1}, {4, 2, 1}}, 2, 0), (Rows{{2, 4, 0}, {4, 2, 0}}));
}

TEST_F(MovesTest, TilesFallByTheRemovedCellsBelowThemInOrder) {
    // Column 0 holds 8, 4, 1, 2, 1 from the top; both 1s belong to one group through column 1,
    // so the 2 between them falls one row and the tiles above it two.
    const Rows rows = {{8, 2, 16}, {4, 16, 8}, {1, 1, 4}, {2, 1, 8}, {1, 1, 2}};
    EXPECT_EQ(after_move(rows, 0, 4),
              (Rows{{0, 0, 16}, {0, 0, 8}, {8, 0, 4}, {4, 2, 8}, {2, 16, 2}}));
    // A U around other tiles: the enclosed tiles stay, the tiles above fall.
    EXPECT_EQ(after_move({{4, 8, 4, 8}, {1, 2, 1, 8}, {1, 1, 1, 2}}, 2, 1),
              (Rows{{0, 0, 0, 8}, {0, 8, 0, 8}, {4, 2, 4, 2}}));
}

TEST_F(MovesTest, ClosingPassMovesColumnsPastSeveralEmptyOnes) {
    // Columns 0, 1 and 3 empty in one move; columns 2 and 4 move left in order.
    EXPECT_EQ(after_move({{1, 1, 2, 1, 4}, {1, 1, 4, 1, 8}, {1, 1, 1, 1, 2}}, 0, 0),
              (Rows{{0, 4, 0, 0, 0}, {2, 8, 0, 0, 0}, {4, 2, 0, 0, 0}}));
    // Three neighbouring columns emptied with three columns to their right.
    EXPECT_EQ(after_move({{2, 1, 1, 1, 4, 8, 2}, {8, 1, 1, 1, 2, 4, 8}}, 2, 1),
              (Rows{{2, 4, 8, 2, 0, 0, 0}, {8, 2, 4, 8, 0, 0, 0}}));
    // Two columns wide: at most one column moves.
    EXPECT_EQ(after_move({{1, 2}, {1, 4}}, 0, 0), (Rows{{2, 0}, {4, 0}}));
    // Columns of different heights keep their heights when they move.
    EXPECT_EQ(after_move({{1, 0, 0, 0}, {1, 2, 8, 0}, {1, 4, 2, 4}}, 0, 2),
              (Rows{{0, 0, 0, 0}, {2, 8, 0, 0}, {4, 2, 4, 0}}));
}

TEST_F(MovesTest, LastGroupEmptiesTheBoardAndLaterClicksAreRefused) {
    EXPECT_EQ(after_move({{4, 4}, {4, 4}}, 1, 1), (Rows{{0, 0}, {0, 0}}));
    for (int32_t r = 0; r < 2; ++r) {
        for (int32_t c = 0; c < 2; ++c) {
            EXPECT_EQ(play_move(c, r), 0);
        }
    }
    EXPECT_EQ(restore_board(), 1);
    EXPECT_EQ(current_rows(), (Rows{{4, 4}, {4, 4}}));
}

TEST_F(MovesTest, EachColourBitIsMatchedOnlyByItself) {
    for (int colour : {1, 2, 4, 8, 16}) {
        const int other = colour == 16 ? 1 : colour * 2;
        EXPECT_EQ(after_move({{other, colour}, {other, colour}}, 1, 0),
                  (Rows{{other, 0}, {other, 0}}))
            << colour;
    }
}

// Runs body on a thread with a 64 KiB stack (or the system minimum if that is larger).
void run_on_small_stack(void (*body)()) {
    pthread_attr_t attributes;
    ASSERT_EQ(pthread_attr_init(&attributes), 0);
    std::size_t size = 64 * 1024;
    if (size < static_cast<std::size_t>(PTHREAD_STACK_MIN)) {
        size = static_cast<std::size_t>(PTHREAD_STACK_MIN);
    }
    ASSERT_EQ(pthread_attr_setstacksize(&attributes, size), 0);
    pthread_t thread;
    auto start = [](void* argument) -> void* {
        reinterpret_cast<void (*)()>(argument)();
        return nullptr;
    };
    ASSERT_EQ(pthread_create(&thread, &attributes, start, reinterpret_cast<void*>(body)), 0);
    ASSERT_EQ(pthread_join(thread, nullptr), 0);
    pthread_attr_destroy(&attributes);
}

int32_t small_stack_result = -1;

TEST_F(MovesTest, OneColourBoardOf4000By4000ClearsOnASmallStack) {
    const int32_t size = 4000;
    std::vector<Cell> cells(static_cast<std::size_t>(size) * size, 1);
    ASSERT_EQ(load_board(size, size, cells.data()), 1);
    small_stack_result = -1;
    run_on_small_stack([] { small_stack_result = play_move(1234, 3999); });
    EXPECT_EQ(small_stack_result, 1);
    for (int32_t i = 0; i < board_bytes; ++i) {
        if (current_byte(i) != 0) {
            FAIL() << "byte " << i << " is " << current_byte(i);
        }
    }
}

TEST_F(MovesTest, TallColumnsDropAndShiftOnASmallStack) {
    // Column 0 of one colour, column 1 of another, a million rows: the click empties column 0
    // and the closing pass shifts the whole of column 1 into it.
    const int32_t height = 1000000;
    std::vector<Cell> cells;
    for (int32_t r = 0; r < height; ++r) {
        cells.push_back(4);
        cells.push_back(static_cast<Cell>(r % 2 == 0 ? 1 : 2));
    }
    ASSERT_EQ(load_board(2, height, cells.data()), 1);
    small_stack_result = -1;
    run_on_small_stack([] { small_stack_result = play_move(0, 0); });
    EXPECT_EQ(small_stack_result, 1);
    for (int32_t r = 0; r < height; ++r) {
        ASSERT_EQ(board_cell(0, r), r % 2 == 0 ? 1 : 2) << r;
        ASSERT_EQ(board_cell(1, r), 0) << r;
    }
    EXPECT_EQ(settled_fault(), "");
}

TEST_F(MovesTest, WideBoardWithManyEmptiedColumnsOnASmallStack) {
    // The left half is one group; the closing pass then searches past three thousand empty
    // columns for each of the three thousand columns that move.
    const int32_t width = 6000;
    std::vector<Cell> cells(static_cast<std::size_t>(width) * 2);
    for (int32_t c = 0; c < width; ++c) {
        cells[static_cast<std::size_t>(c)] = c < width / 2 ? 1 : static_cast<Cell>(c % 2 ? 2 : 4);
        cells[static_cast<std::size_t>(width + c)] =
            c < width / 2 ? 1 : static_cast<Cell>(c % 2 ? 4 : 2);
    }
    ASSERT_EQ(load_board(width, 2, cells.data()), 1);
    small_stack_result = -1;
    run_on_small_stack([] { small_stack_result = play_move(0, 0); });
    EXPECT_EQ(small_stack_result, 1);
    for (int32_t c = 0; c < width; ++c) {
        const int32_t source = c + width / 2;
        const bool moved = c < width / 2;
        ASSERT_EQ(board_cell(c, 0), moved ? (source % 2 ? 2 : 4) : 0) << c;
        ASSERT_EQ(board_cell(c, 1), moved ? (source % 2 ? 4 : 2) : 0) << c;
    }
    EXPECT_EQ(settled_fault(), "");
}

}  // namespace
