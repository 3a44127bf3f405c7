#include "app/app.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "board/board.hpp"
#include "tiles/tiles.hpp"

namespace {

void read(const char* tail) {
    colour_count = requested_width = requested_height = 0;
    read_parameters(tail);
}

std::vector<int32_t> parameters() {
    return {colour_count, requested_width, requested_height};
}

TEST(CommandTail, SkipsTheProgramNameAndTheBlanksAfterIt) {
    EXPECT_STREQ(command_tail("quillop.exe 3 10 8"), "3 10 8");
    EXPECT_STREQ(command_tail(" \t quillop.exe \t 3 10 8 "), "3 10 8 ");
    EXPECT_STREQ(command_tail("quillop.exe"), "");
    EXPECT_STREQ(command_tail(""), "");
    EXPECT_STREQ(command_tail(nullptr), "");
    EXPECT_STREQ(command_tail("quillop.exe\t\t4 12"), "4 12");
}

TEST(CommandTail, QuotedNameMaySpanBlanks) {
    EXPECT_STREQ(command_tail("\"C:\\Program Files\\Quillop\\quillop.exe\" 3 10 8"), "3 10 8");
    EXPECT_STREQ(command_tail("\"a b\"3 4 5"), "3 4 5");
    // An unclosed quote runs to the end: no tail.
    EXPECT_STREQ(command_tail("\"C:\\dir with blanks\\q.exe 3 10 8"), "");
    // A tab ends a quoted name too; the rest is the tail, quotes and all.
    EXPECT_STREQ(command_tail("\"one\ttwo\" 1 2"), "two\" 1 2");
    // Only one leading quote is special; an unquoted name ends at a blank even after a quote.
    EXPECT_STREQ(command_tail("q\"x y\" 7"), "y\" 7");
}

TEST(ReadParameters, ThreeNumbersWithAnyWhiteSpace) {
    read("3 10 8");
    EXPECT_EQ(parameters(), (std::vector<int32_t>{3, 10, 8}));
    read("3\t10\t8");
    EXPECT_EQ(parameters(), (std::vector<int32_t>{3, 10, 8}));
    read("\n3\r\n10\v\f8\n");
    EXPECT_EQ(parameters(), (std::vector<int32_t>{3, 10, 8}));
    read("  9   5 5 trailing words");
    EXPECT_EQ(parameters(), (std::vector<int32_t>{9, 5, 5}));
}

TEST(ReadParameters, MissingOrUnreadableNumbersStayZero) {
    read("");
    EXPECT_EQ(parameters(), (std::vector<int32_t>{0, 0, 0}));
    read("4 12");
    EXPECT_EQ(parameters(), (std::vector<int32_t>{4, 12, 0}));
    read("3,10,8");
    EXPECT_EQ(parameters(), (std::vector<int32_t>{3, 0, 0}));
    read("x 1 2");
    EXPECT_EQ(parameters(), (std::vector<int32_t>{0, 0, 0}));
    read("3x 4 5");
    EXPECT_EQ(parameters(), (std::vector<int32_t>{3, 0, 0}));
    read("5 - 3 4");
    EXPECT_EQ(parameters(), (std::vector<int32_t>{5, 0, 0}));
}

TEST(ReadParameters, DecimalOnlyWithOneSign) {
    read("010 4 5");
    EXPECT_EQ(parameters(), (std::vector<int32_t>{10, 4, 5}));
    // 0x10 is a zero followed by a letter that ends the reading.
    read("3 0x10 5");
    EXPECT_EQ(parameters(), (std::vector<int32_t>{3, 0, 0}));
    read("+3 -4 +-5");
    EXPECT_EQ(parameters(), (std::vector<int32_t>{3, -4, 0}));
    read("--3 1 1");
    EXPECT_EQ(parameters(), (std::vector<int32_t>{0, 0, 0}));
    read("-0 +0 0");
    EXPECT_EQ(parameters(), (std::vector<int32_t>{0, 0, 0}));
}

TEST(ReadParameters, NumbersBeyondThirtyTwoBitsWrap) {
    read("2147483647 -2147483648 2147483648");
    EXPECT_EQ(parameters(), (std::vector<int32_t>{INT32_MAX, INT32_MIN, INT32_MIN}));
    read("4294967297 -4294967295 4294967295");
    EXPECT_EQ(parameters(), (std::vector<int32_t>{1, 1, -1}));
    read("100000000000000000000 00000000000000000000000000000007 -1");
    EXPECT_EQ(parameters(), (std::vector<int32_t>{1661992960, 7, -1}));
}

TEST(Geometry, RequestedClientRectangle) {
    read("3 10 8");
    ClientRect rect = requested_client_rect();
    EXPECT_EQ(rect.left, 50);
    EXPECT_EQ(rect.top, 50);
    EXPECT_EQ(rect.right - rect.left, 638);
    EXPECT_EQ(rect.bottom - rect.top, 510);

    read("");
    rect = requested_client_rect();
    EXPECT_EQ(rect.right - rect.left, -2);
    EXPECT_EQ(rect.bottom - rect.top, -2);

    read("1 1 1");
    rect = requested_client_rect();
    EXPECT_EQ(rect.right - rect.left, 62);

    read("3 -7 100000");
    rect = requested_client_rect();
    EXPECT_EQ(rect.right, -7 * 64 + 48);
    EXPECT_EQ(rect.bottom, 100000 * 64 + 48);
}

TEST(Geometry, RectangleIsExactUntilAFrameNoLongerFitsThenSaturates) {
    const int32_t high = INT32_MAX - 4096;
    const int32_t low = INT32_MIN + 4096;
    struct Case {
        const char* tail;
        int32_t right, bottom;
    };
    for (const Case& c :
         {Case{"3 16777216 16777215", 16777216 * 64 + 48, 16777215 * 64 + 48},
          Case{"3 33554367 -33554368", 33554367 * 64 + 48, -33554368 * 64 + 48},
          Case{"3 33554368 -33554369", high, low}, Case{"3 2147483647 -2147483648", high, low},
          Case{"3 -2147483648 2147483647", low, high}}) {
        read(c.tail);
        const ClientRect rect = requested_client_rect();
        EXPECT_EQ(rect.right, c.right) << c.tail;
        EXPECT_EQ(rect.bottom, c.bottom) << c.tail;
        EXPECT_EQ(rect.left, 50);
        EXPECT_EQ(rect.top, 50);
    }
}

TEST(Geometry, ClientExtentIsAtLeastOnePixelAndWithinTheLimit) {
    EXPECT_EQ(client_extent(10, 4000), 640);
    EXPECT_EQ(client_extent(8, 4000), 512);
    EXPECT_EQ(client_extent(0, 4000), 1);
    EXPECT_EQ(client_extent(-5, 4000), 1);
    EXPECT_EQ(client_extent(INT32_MIN, 4000), 1);
    EXPECT_EQ(client_extent(100000, 1920), 1920);
    EXPECT_EQ(client_extent(INT32_MAX, 1080), 1080);
    EXPECT_EQ(client_extent(3, 0), 1);
    EXPECT_EQ(client_extent(3, -9), 1);
}

// The handlers, driven as a front end would, against a position placed on purpose.
class Handlers : public ::testing::Test {
protected:
    void SetUp() override { start("3 4 3"); }
    void TearDown() override { handle_destroy(); }

    void start(const char* tail) {
        read(tail);
        handle_create();
    }

    // Rows (1, 1, 2, 4), (2, 1, 2, 4), (2, 2, 4, 1) from the top.
    void place_example() {
        const Cell cells[] = {1, 1, 2, 4, 2, 1, 2, 4, 2, 2, 4, 1};
        ASSERT_EQ(load_board(4, 3, cells), 1);
    }

    std::vector<int32_t> current() {
        const std::vector<Cell> cells = current_cells_top_row_first();
        return std::vector<int32_t>(cells.begin(), cells.end());
    }

    struct Drawn {
        int32_t index, x, y;
        bool operator==(const Drawn& other) const {
            return index == other.index && x == other.x && y == other.y;
        }
    };

    static void record(void* context, int32_t index, int32_t x, int32_t y) {
        static_cast<std::vector<Drawn>*>(context)->push_back(Drawn{index, x, y});
    }

    std::vector<Drawn> paint(int32_t left, int32_t top, int32_t right, int32_t bottom) {
        std::vector<Drawn> drawn;
        handle_paint(left, top, right, bottom, record, &drawn);
        return drawn;
    }
};

TEST_F(Handlers, CreateBuildsTilesAndDealsTheRequestedBoard) {
    EXPECT_EQ(board_width, 4);
    EXPECT_EQ(board_height, 3);
    for (int32_t i = 0; i < tile_count; ++i) {
        EXPECT_NE(tile_images[i], nullptr);
    }
    for (int32_t cell : current()) {
        EXPECT_TRUE(cell == 1 || cell == 2 || cell == 4) << cell;
    }
}

TEST_F(Handlers, PaintDrawsEveryRequestedCellRowByRow) {
    place_example();
    const std::vector<Drawn> drawn = paint(0, 0, 256, 192);
    std::vector<Drawn> expected;
    for (int32_t row = 0; row < 3; ++row) {
        for (int32_t column = 0; column < 4; ++column) {
            expected.push_back(
                Drawn{tile_for_cell(board_cell(column, row)), column * 64, row * 64});
        }
    }
    EXPECT_EQ(drawn, expected);
}

TEST_F(Handlers, PaintDrawsOnlyCellsMeetingTheRectangle) {
    place_example();
    EXPECT_EQ(paint(70, 10, 130, 20), (std::vector<Drawn>{{1, 64, 0}, {2, 128, 0}}));
    EXPECT_EQ(paint(64, 64, 128, 128), (std::vector<Drawn>{{1, 64, 64}}));
    EXPECT_EQ(paint(63, 127, 65, 129),
              (std::vector<Drawn>{{2, 0, 64}, {1, 64, 64}, {2, 0, 128}, {2, 64, 128}}));
    EXPECT_TRUE(paint(0, 0, 0, 0).empty());
    EXPECT_TRUE(paint(100, 100, 50, 50).empty());
    EXPECT_TRUE(paint(10, 10, 10, 100).empty());  // empty, away from a cell boundary
    EXPECT_TRUE(paint(10, 10, 100, 10).empty());
    EXPECT_TRUE(paint(256, 0, 4000, 4000).empty());
    EXPECT_EQ(paint(INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX).size(), 12u);
}

TEST_F(Handlers, PaintUsesTheRequestedSizeNotTheBoardSize) {
    handle_destroy();
    start("1 1 1");  // a 2 x 2 board, one requested cell
    EXPECT_EQ(paint(0, 0, 1000, 1000).size(), 1u);
    handle_destroy();
    start("4 12");  // 12 x 2 board, no requested rows
    EXPECT_TRUE(paint(0, 0, 10000, 10000).empty());
    handle_destroy();
    start("3 1 5");  // 2 x 5 board, one requested column
    const std::vector<Drawn> drawn = paint(0, 0, 10000, 10000);
    ASSERT_EQ(drawn.size(), 5u);
    for (const Drawn& d : drawn) {
        EXPECT_EQ(d.x, 0);
    }
}

TEST_F(Handlers, PaintSkipsCellsThatMapToNoTile) {
    handle_destroy();
    start("3 100000 100000");  // too large to deal: no board at all
    EXPECT_TRUE(paint(0, 0, 4096, 4096).empty());
    handle_left_button(pack_client_point(10, 10));
    handle_right_button();
    EXPECT_TRUE(paint(0, 0, 4096, 4096).empty());
}

TEST_F(Handlers, PaintPixelsPutsTheTilesUprightIntoTheBuffer) {
    place_example();
    const int32_t width = 300;  // wider than the board: the rest stays as it was
    const int32_t height = 200;
    const int32_t stride = width * 4 + 8;
    std::vector<unsigned char> pixels(static_cast<size_t>(stride * height), 0xFF);
    handle_paint_pixels(PixelBuffer{pixels.data(), width, height, stride, 4});
    for (int32_t row = 0; row < 3; ++row) {
        for (int32_t column = 0; column < 4; ++column) {
            const unsigned char* image = tile_images[tile_for_cell(board_cell(column, row))];
            for (int32_t y = 0; y < 64; y += 9) {
                for (int32_t x = 0; x < 64; x += 7) {
                    const unsigned char* want = image + (63 - y) * 192 + x * 3;
                    const unsigned char* got = &pixels[static_cast<size_t>((row * 64 + y) * stride +
                                                                           (column * 64 + x) * 4)];
                    ASSERT_EQ(std::memcmp(want, got, 3), 0) << column << "," << row;
                }
            }
        }
    }
    EXPECT_EQ(pixels[static_cast<size_t>(10 * stride + 280 * 4)], 0xFF);
    EXPECT_EQ(pixels[static_cast<size_t>(195 * stride + 10 * 4)], 0xFF);
}

TEST_F(Handlers, LeftButtonMovesOnTheCellUnderThePointer) {
    place_example();
    // Pixel (10, 20) is cell (0, 0): its group of three falls away.
    handle_left_button(pack_client_point(10, 20));
    EXPECT_EQ(current(), (std::vector<int32_t>{0, 0, 2, 4, 2, 0, 2, 4, 2, 2, 4, 1}));
    // Pixel (63, 127) is cell (0, 1): its 2 joins the two below; columns 0 and 1 empty and
    // the other two close up to the left.
    handle_left_button(pack_client_point(63, 127));
    EXPECT_EQ(current(), (std::vector<int32_t>{2, 4, 0, 0, 2, 4, 0, 0, 4, 1, 0, 0}));
}

TEST_F(Handlers, LeftButtonOnALoneTileOrOutsideChangesNothing) {
    place_example();
    const std::vector<int32_t> before = current();
    handle_left_button(pack_client_point(64 * 3 + 5, 64 * 2 + 5));  // the lone 1
    handle_left_button(pack_client_point(64 * 4 + 1, 5));           // guard column
    handle_left_button(pack_client_point(5, 64 * 3));               // below the board
    handle_left_button(0xFFFFFFFFu);
    handle_left_button(pack_client_point(-1, -1));
    EXPECT_EQ(current(), before);
}

TEST(PackClientPoint, KeepsSixteenUnsignedBitsOfEach) {
    EXPECT_EQ(pack_client_point(100, 150), 100u | (150u << 16));
    EXPECT_EQ(pack_client_point(-1, 0), 0xFFFFu);
    EXPECT_EQ(pack_client_point(0, -1), 0xFFFF0000u);
    EXPECT_EQ(pack_client_point(65536 + 3, 65536 + 4), 3u | (4u << 16));
}

TEST_F(Handlers, RightButtonBringsBackTheDealtPosition) {
    place_example();
    const std::vector<int32_t> dealt = current();
    handle_right_button();
    EXPECT_EQ(current(), dealt);
    handle_left_button(pack_client_point(10, 10));
    handle_left_button(pack_client_point(10, 150));
    ASSERT_NE(current(), dealt);
    handle_right_button();
    EXPECT_EQ(current(), dealt);
    handle_left_button(pack_client_point(10, 10));
    EXPECT_EQ(current(), (std::vector<int32_t>{0, 0, 2, 4, 2, 0, 2, 4, 2, 2, 4, 1}));
}

// Two presses of "New deal" in one second read the same clock; the board must still change.
TEST_F(Handlers, ANewDealIsNeverTheBoardShownBefore) {
    const BoardClock kept = board_clock;
    board_clock = [] { return uint32_t{77}; };
    start("2 2 2");  // sixteen boards at most: different seeds often deal the same one
    for (int32_t press = 0; press < 20; ++press) {
        handle_play_cell(0, 1);
        handle_right_button();
        const std::vector<int32_t> before = current();
        handle_new_deal();
        EXPECT_NE(current(), before) << "press " << press;
    }
    board_clock = kept;
}

TEST_F(Handlers, TheGameIsOverWhenNoTileHasANeighbourOfItsColour) {
    place_example();
    EXPECT_EQ(tiles_left(), 12);
    EXPECT_TRUE(any_move_left());
    // The only pair is at the right edge and the bottom row, where the board ends.
    const Cell edge[] = {0, 0, 0, 0, 1, 2, 0, 0, 2, 1, 4, 4};
    ASSERT_EQ(load_board(4, 3, edge), 1);
    EXPECT_TRUE(any_move_left());
    handle_play_cell(3, 2);
    EXPECT_EQ(tiles_left(), 4);
    EXPECT_FALSE(any_move_left());
    EXPECT_EQ(shown_cells(), (std::vector<Cell>{0, 0, 0, 0, 1, 2, 0, 0, 2, 1, 0, 0}));
    const Cell cleared[] = {0, 0, 0, 0, 0, 0, 2, 2};
    ASSERT_EQ(load_board(2, 4, cleared), 1);
    handle_play_cell(1, 3);
    EXPECT_EQ(tiles_left(), 0);
    EXPECT_FALSE(any_move_left());
}

TEST_F(Handlers, DestroyReleasesBoardAndTiles) {
    handle_destroy();
    EXPECT_EQ(board_cell(0, 0), no_cell);
    for (int32_t i = 0; i < tile_count; ++i) {
        EXPECT_EQ(tile_images[i], nullptr);
    }
    start("3 4 3");  // TearDown destroys again
}

}  // namespace
