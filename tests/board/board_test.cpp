// Storage and dealing: the generator, the layout, the clamps, restore, and every way a deal
// can fail.
#include "board/board.hpp"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <ctime>
#include <set>
#include <vector>

#include "tests/common/board_checks.hpp"

namespace {

// Allocation hook: counts calls, remembers sizes, fails the call numbered fail_at (1-based).
int allocation_calls = 0;
int fail_at = 0;
std::vector<std::size_t> requested_sizes;

void* counting_allocate(std::size_t bytes) {
    ++allocation_calls;
    requested_sizes.push_back(bytes);
    if (allocation_calls == fail_at) {
        return nullptr;
    }
    return std::malloc(bytes);
}

// Records the request but never allocates, so huge sizes can be tried cheaply.
void* refusing_allocate(std::size_t bytes) {
    ++allocation_calls;
    requested_sizes.push_back(bytes);
    return nullptr;
}

class BoardTest : public ::testing::Test {
protected:
    void SetUp() override {
        allocation_calls = 0;
        fail_at = 0;
        requested_sizes.clear();
    }
    void TearDown() override {
        release_board();
        board_allocate = std::malloc;
        board_clock = saved_clock;
    }
    BoardClock saved_clock = board_clock;
};

void expect_no_board() {
    EXPECT_EQ(dealt_cells, nullptr);
    EXPECT_EQ(current_cells, nullptr);
    EXPECT_EQ(dealt_origin, nullptr);
    EXPECT_EQ(current_origin, nullptr);
    EXPECT_EQ(board_cell(0, 0), no_cell);
    EXPECT_EQ(board_cell(1, 1), no_cell);
    EXPECT_EQ(play_move(0, 0), 0);
    EXPECT_EQ(restore_board(), 0);
}

Rows dealt_rows(int32_t colours, int32_t width, int32_t height, uint32_t seed) {
    EXPECT_EQ(deal_board_seeded(colours, width, height, seed), 1);
    return current_rows();
}

TEST_F(BoardTest, GeneratorFollowsThePublishedSequenceForSeed1000) {
    seed_random(1000);
    const int32_t expected[] = {14062, 5795, 15161, 15600, 27360, 32062};
    for (int32_t value : expected) {
        EXPECT_EQ(next_random(), value);
    }
    // Draws stay within 15 bits whatever the state.
    seed_random(0xFFFFFFFFu);
    for (int i = 0; i < 10000; ++i) {
        const int32_t n = next_random();
        ASSERT_GE(n, 0);
        ASSERT_LE(n, 32767);
    }
}

TEST_F(BoardTest, DealFromSeed1000MatchesTheWorkedExample) {
    seed_random(1000);
    for (int i = 0; i < 6; ++i) {
        next_random();
    }
    const int32_t seventh = next_random();
    EXPECT_EQ(dealt_rows(5, 3, 2, 1000), (Rows{{4, 1, 2}, {1, 1, 4}}));
    // The deal draws exactly W x H numbers after the seeding draw.
    EXPECT_EQ(next_random(), seventh);
}

TEST_F(BoardTest, DealDrawsRowByRowFromTheTop) {
    // A wide and a tall board from one seed: the cells follow the draws in reading order.
    for (const auto& size : std::vector<std::pair<int, int>>{{7, 3}, {3, 7}, {2, 2}}) {
        const Rows rows = dealt_rows(4, size.first, size.second, 77);
        seed_random(77);
        for (const auto& row : rows) {
            for (int value : row) {
                EXPECT_EQ(value, 1 << (next_random() % 4));
            }
        }
    }
}

TEST_F(BoardTest, LayoutOfThreeByTwo) {
    ASSERT_EQ(deal_board_seeded(5, 3, 2, 99), 1);
    EXPECT_EQ(board_width, 3);
    EXPECT_EQ(board_height, 2);
    EXPECT_EQ(board_bytes, 15);
    EXPECT_EQ(last_position, 7);
    EXPECT_EQ(dealt_origin, dealt_cells + 4);
    EXPECT_EQ(current_origin, current_cells + 4);
    const std::set<int> guards = {0, 1, 2, 3, 7, 11, 12, 13, 14};
    for (int offset = 0; offset < 15; ++offset) {
        if (guards.count(offset) != 0) {
            EXPECT_EQ(dealt_byte(offset), 0) << offset;
            EXPECT_EQ(current_byte(offset), 0) << offset;
        } else {
            const int value = dealt_byte(offset);
            EXPECT_TRUE(value != 0 && is_cell_value(value)) << offset;
            EXPECT_EQ(current_byte(offset), value) << offset;
        }
    }
}

TEST_F(BoardTest, LayoutOfOtherSizes) {
    struct Size {
        int32_t width, height, bytes, last;
    };
    for (const Size& size : {Size{2, 2, 11, 5}, Size{4, 3, 24, 14}, Size{10, 2, 43, 21},
                             Size{2, 10, 35, 29}, Size{100, 50, 5251, 5049}}) {
        ASSERT_EQ(deal_board_seeded(3, size.width, size.height, 5), 1);
        EXPECT_EQ(board_bytes, size.bytes);
        EXPECT_EQ(last_position, size.last);
        EXPECT_EQ(settled_fault(), "");
        // Every cell of a deal is a tile.
        for (int32_t r = 0; r < size.height; ++r) {
            for (int32_t c = 0; c < size.width; ++c) {
                EXPECT_NE(board_cell(c, r), 0);
            }
        }
    }
}

TEST_F(BoardTest, ClampsColoursWidthAndHeight) {
    dealt_rows(0, 0, 0, 3);
    EXPECT_EQ(board_width, 2);
    EXPECT_EQ(board_height, 2);
    EXPECT_EQ(board_bytes, 11);
    EXPECT_EQ(last_position, 5);

    dealt_rows(1, 1, -3, 3);
    EXPECT_EQ(board_width, 2);
    EXPECT_EQ(board_height, 2);

    dealt_rows(5, INT32_MIN, INT32_MIN, 3);
    EXPECT_EQ(board_width, 2);
    EXPECT_EQ(board_height, 2);

    // Colour counts are clamped to 2 ... 5: the same seed gives the same board.
    const Rows two = dealt_rows(2, 9, 9, 12);
    for (int32_t colours : {INT32_MIN, -1, 0, 1}) {
        EXPECT_EQ(dealt_rows(colours, 9, 9, 12), two) << colours;
    }
    const Rows five = dealt_rows(5, 9, 9, 12);
    for (int32_t colours : {6, 9, INT32_MAX}) {
        EXPECT_EQ(dealt_rows(colours, 9, 9, 12), five) << colours;
    }
    std::set<int> values_two, values_five;
    for (const auto& row : two) {
        values_two.insert(row.begin(), row.end());
    }
    for (const auto& row : five) {
        values_five.insert(row.begin(), row.end());
    }
    EXPECT_EQ(values_two, (std::set<int>{1, 2}));
    EXPECT_EQ(values_five, (std::set<int>{1, 2, 4, 8, 16}));
}

TEST_F(BoardTest, SameSeedSameBoardAndClockDealMatchesItsSecond) {
    EXPECT_EQ(dealt_rows(5, 12, 8, 4242), dealt_rows(5, 12, 8, 4242));
    EXPECT_NE(dealt_rows(5, 12, 8, 4242), dealt_rows(5, 12, 8, 4243));
    // Retry when the clock ticks over between the deals.
    for (int attempt = 0; attempt < 5; ++attempt) {
        const std::time_t before = std::time(nullptr);
        ASSERT_EQ(deal_board(5, 12, 8), 1);
        const Rows clock_deal = current_rows();
        ASSERT_EQ(deal_board(5, 12, 8), 1);
        const Rows second = current_rows();
        const Rows seeded = dealt_rows(5, 12, 8, static_cast<uint32_t>(before));
        if (std::time(nullptr) == before) {
            EXPECT_EQ(clock_deal, second);
            EXPECT_EQ(clock_deal, seeded);
            return;
        }
    }
    FAIL() << "the clock kept ticking between deals";
}

TEST_F(BoardTest, RestoreBringsBackTheDealtBuffer) {
    EXPECT_EQ(restore_board(), 0);  // before any deal
    ASSERT_EQ(deal_board_seeded(3, 8, 6, 31), 1);
    const std::vector<int> dealt = [] {
        std::vector<int> bytes;
        for (int32_t i = 0; i < board_bytes; ++i) {
            bytes.push_back(dealt_byte(i));
        }
        return bytes;
    }();
    EXPECT_EQ(restore_board(), 1);
    for (int32_t i = 0; i < board_bytes; ++i) {
        EXPECT_EQ(current_byte(i), dealt[static_cast<std::size_t>(i)]);
    }
    int moves = 0;
    for (int32_t r = 0; r < 6; ++r) {
        for (int32_t c = 0; c < 8; ++c) {
            moves += play_move(c, r);
        }
    }
    ASSERT_GT(moves, 1);
    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ(restore_board(), 1);
        for (int32_t i = 0; i < board_bytes; ++i) {
            ASSERT_EQ(current_byte(i), dealt[static_cast<std::size_t>(i)]) << i;
            ASSERT_EQ(dealt_byte(i), dealt[static_cast<std::size_t>(i)]) << i;
        }
        play_move(0, 5);
    }
}

TEST_F(BoardTest, FailedFirstAllocationLeavesNoBoard) {
    board_allocate = counting_allocate;
    ASSERT_EQ(deal_board_seeded(4, 6, 5, 1), 1);
    fail_at = allocation_calls + 1;
    seed_random(1000);
    EXPECT_EQ(deal_board_seeded(4, 6, 5, 2), 0);
    EXPECT_EQ(allocation_calls, fail_at);  // the second buffer was not even asked for
    expect_no_board();
    // The failed deal neither seeded nor drew.
    EXPECT_EQ(next_random(), 14062);
}

TEST_F(BoardTest, FailedSecondAllocationLeavesNoBoard) {
    board_allocate = counting_allocate;
    ASSERT_EQ(deal_board_seeded(4, 6, 5, 1), 1);
    fail_at = allocation_calls + 2;
    seed_random(1000);
    EXPECT_EQ(deal_board_seeded(4, 7, 3, 2), 0);
    EXPECT_EQ(allocation_calls, fail_at);
    expect_no_board();
    EXPECT_EQ(next_random(), 14062);
    // The hook's allocations are the size of the new board.
    EXPECT_EQ(requested_sizes.back(), std::size_t{5 * 8 - 1});
}

// What the clock saw when it was read: allocations made so far, and whether the dealt buffer
// was already cleared (its bytes all zero).
int clock_reads = 0;
int allocations_at_clock = -1;
bool dealt_cleared_at_clock = false;
uint32_t watching_clock() {
    ++clock_reads;
    allocations_at_clock = allocation_calls;
    dealt_cleared_at_clock = dealt_cells != nullptr;
    for (int32_t i = 0; dealt_cells != nullptr && i < board_bytes; ++i) {
        dealt_cleared_at_clock = dealt_cleared_at_clock && dealt_cells[i] == 0;
    }
    return 1000;
}

TEST_F(BoardTest, TheClockIsReadOnlyOnceBothBuffersAreReady) {
    board_allocate = counting_allocate;
    board_clock = watching_clock;
    clock_reads = 0;
    ASSERT_EQ(deal_board(5, 3, 2), 1);
    EXPECT_EQ(clock_reads, 1);
    const int allocations = allocation_calls;
    EXPECT_GE(allocations, 2);
    EXPECT_EQ(allocations_at_clock, allocations) << "the clock was read before an allocation";
    EXPECT_TRUE(dealt_cleared_at_clock);
    EXPECT_EQ(current_rows(), (Rows{{4, 1, 2}, {1, 1, 4}}));  // seeded with what it read
    for (int which = 1; which <= allocations; ++which) {
        clock_reads = 0;
        fail_at = allocation_calls + which;
        EXPECT_EQ(deal_board(5, 3, 2), 0);
        EXPECT_EQ(clock_reads, 0) << "a failed deal read the clock";
    }
}

TEST_F(BoardTest, FailedDealOnTheVeryFirstDealAndThenASuccessfulOne) {
    board_allocate = counting_allocate;
    for (int which : {1, 2}) {  // the dealt buffer, the current one
        release_board();
        allocation_calls = 0;
        fail_at = which;
        EXPECT_EQ(deal_board_seeded(5, 3, 2, 1000), 0);
        expect_no_board();
        // The next deal works and gives the full board.
        EXPECT_EQ(deal_board_seeded(5, 3, 2, 1000), 1);
        EXPECT_EQ(current_rows(), (Rows{{4, 1, 2}, {1, 1, 4}}));
        EXPECT_EQ(settled_fault(), "");
    }
}

TEST_F(BoardTest, FailedLoadAllocationLeavesNoBoard) {
    board_allocate = counting_allocate;
    for (int which : {1, 2}) {
        ASSERT_EQ(load_rows({{1, 2}, {2, 1}}), 1);
        fail_at = allocation_calls + which;
        EXPECT_EQ(load_rows({{1, 1}, {2, 1}}), 0);
        expect_no_board();
    }
}

TEST_F(BoardTest, SizesBeyondSigned32BitAreRefusedWithoutAllocating) {
    board_allocate = refusing_allocate;
    struct Size {
        int32_t width, height;
    };
    for (const Size& size :
         {Size{65536, 65536}, Size{INT32_MAX, 2}, Size{2, INT32_MAX}, Size{INT32_MAX, INT32_MAX},
          Size{46340, 46340}, Size{2, 715827881}, Size{715827881, 2}, Size{1073741823, 2}}) {
        board_allocate = std::malloc;
        ASSERT_EQ(deal_board_seeded(3, 4, 4, 1), 1);
        board_allocate = refusing_allocate;
        allocation_calls = 0;
        EXPECT_EQ(deal_board_seeded(3, size.width, size.height, 1), 0)
            << size.width << " x " << size.height;
        EXPECT_EQ(allocation_calls, 0) << size.width << " x " << size.height;
        expect_no_board();
        // Clicks and reads anywhere are harmless afterwards.
        EXPECT_EQ(play_move(size.width - 1, size.height - 1), 0);
        EXPECT_EQ(board_cell(size.width - 1, size.height - 1), no_cell);
        EXPECT_EQ(load_board(size.width, size.height, nullptr), 0);
    }
}

TEST_F(BoardTest, LargestSizesThatFitAreAskedForWithTheirExactByteCount) {
    board_allocate = refusing_allocate;
    // (H + 2) x 3 - 1 = 2147483645 and (H + 2) x (W + 1) - 1 = 2147441939 still fit.
    EXPECT_EQ(deal_board_seeded(3, 2, 715827880, 1), 0);
    ASSERT_EQ(requested_sizes.size(), 1u);
    EXPECT_EQ(requested_sizes[0], std::size_t{2147483645});
    EXPECT_EQ(deal_board_seeded(3, 46339, 46339, 1), 0);
    ASSERT_EQ(requested_sizes.size(), 2u);
    EXPECT_EQ(requested_sizes[1], std::size_t{2147441939});
    expect_no_board();
}

TEST_F(BoardTest, CellsOutsideTheBoardReadAsNoCell) {
    ASSERT_EQ(deal_board_seeded(5, 4, 3, 8), 1);
    const int32_t extremes[] = {INT32_MIN, INT32_MIN + 1, -65536,        -5,       -1, 4, 5,
                                3,         65536,         INT32_MAX - 1, INT32_MAX};
    for (int32_t column : extremes) {
        for (int32_t row : extremes) {
            const bool inside = column >= 0 && column < 4 && row >= 0 && row < 3;
            if (!inside) {
                EXPECT_EQ(board_cell(column, row), no_cell) << column << "," << row;
                EXPECT_EQ(play_move(column, row), 0) << column << "," << row;
            }
        }
    }
    // Inside cells stay readable, including the corners next to the guard column.
    EXPECT_NE(board_cell(3, 0), no_cell);
    EXPECT_NE(board_cell(0, 2), no_cell);
    EXPECT_NE(board_cell(3, 2), no_cell);
    // Every refused click left the board as dealt.
    for (int32_t i = 0; i < board_bytes; ++i) {
        EXPECT_EQ(current_byte(i), dealt_byte(i));
    }
}

TEST_F(BoardTest, LoadRefusesWhatIsNotASettledPosition) {
    ASSERT_EQ(load_rows({{1, 2}, {2, 1}}), 1);
    const Rows bad[] = {
        {{1, 2}},                // a height of 1
        {{1}, {2}},              // a width of 1
        {{1, 2}, {3, 1}},        // two colour bits in one cell
        {{1, 2}, {32, 1}},       // the mark
        {{1, 2}, {-1, 1}},       // not a cell value
        {{1, 0}, {0, 1}},        // hole under a tile
        {{0, 0, 0}, {1, 0, 1}},  // empty column before a full one
        {{0, 0, 0}, {0, 1, 1}},  // empty column 0
    };
    for (const Rows& rows : bad) {
        EXPECT_EQ(load_rows(rows), 0);
        // The previous board is kept.
        EXPECT_EQ(current_rows(), (Rows{{1, 2}, {2, 1}}));
    }
    EXPECT_EQ(load_board(3, 3, nullptr), 0);
    // An empty board and a partly cleared one are settled.
    EXPECT_EQ(load_rows({{0, 0}, {0, 0}}), 1);
    EXPECT_EQ(load_rows({{0, 0, 0}, {0, 0, 0}, {16, 0, 0}}), 1);
    EXPECT_EQ(load_rows({{0, 8, 0}, {4, 2, 0}, {16, 1, 0}}), 1);
    EXPECT_EQ(settled_fault(), "");
    for (int32_t i = 0; i < board_bytes; ++i) {
        EXPECT_EQ(current_byte(i), dealt_byte(i));
    }
}

}  // namespace
