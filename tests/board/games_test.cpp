// Random games played on the engine and, side by side, on a small model that keeps each
// column as a vector: every answer and every position must agree, and every position must
// be settled.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "board/board.hpp"
#include "tests/common/board_checks.hpp"

namespace {

struct Model {
    int width = 0;
    int height = 0;
    std::vector<std::vector<int>> columns;  // bottom tile first
};

int model_cell(const Model& model, int column, int row) {
    const auto& tiles = model.columns[static_cast<std::size_t>(column)];
    const auto index = static_cast<std::size_t>(model.height - 1 - row);
    return index < tiles.size() ? tiles[index] : 0;
}

Model model_of(const Rows& rows) {
    Model model;
    model.height = static_cast<int>(rows.size());
    model.width = static_cast<int>(rows[0].size());
    model.columns.resize(static_cast<std::size_t>(model.width));
    for (int r = model.height - 1; r >= 0; --r) {
        for (int c = 0; c < model.width; ++c) {
            const int value = rows[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)];
            if (value != 0) {
                model.columns[static_cast<std::size_t>(c)].push_back(value);
            }
        }
    }
    return model;
}

bool inside(const Model& model, long long column, long long row) {
    return column >= 0 && column < model.width && row >= 0 && row < model.height;
}

// The cells of the group at (column, row): a plain breadth-first search over the grid.
std::vector<std::pair<int, int>> group_at(const Model& model, int column, int row) {
    const int colour = model_cell(model, column, row);
    std::vector<std::pair<int, int>> group;
    if (colour == 0) {
        return group;
    }
    std::vector<bool> seen(static_cast<std::size_t>(model.width * model.height));
    const auto index = [&](int c, int r) { return static_cast<std::size_t>(r * model.width + c); };
    group.push_back({column, row});
    seen[index(column, row)] = true;
    for (std::size_t next = 0; next < group.size(); ++next) {
        const auto [c, r] = group[next];
        const int around[4][2] = {{c - 1, r}, {c + 1, r}, {c, r - 1}, {c, r + 1}};
        for (const auto& n : around) {
            if (inside(model, n[0], n[1]) && !seen[index(n[0], n[1])] &&
                model_cell(model, n[0], n[1]) == colour) {
                seen[index(n[0], n[1])] = true;
                group.push_back({n[0], n[1]});
            }
        }
    }
    return group;
}

bool model_move(Model& model, long long column, long long row) {
    if (!inside(model, column, row)) {
        return false;
    }
    const auto group = group_at(model, static_cast<int>(column), static_cast<int>(row));
    if (group.size() < 2) {
        return false;
    }
    std::vector<std::vector<bool>> removed(static_cast<std::size_t>(model.width));
    for (auto& tiles : removed) {
        tiles.resize(static_cast<std::size_t>(model.height));
    }
    for (const auto& [c, r] : group) {
        removed[static_cast<std::size_t>(c)][static_cast<std::size_t>(model.height - 1 - r)] = true;
    }
    std::vector<std::vector<int>> kept;
    for (std::size_t c = 0; c < model.columns.size(); ++c) {
        std::vector<int> tiles;
        for (std::size_t i = 0; i < model.columns[c].size(); ++i) {
            if (!removed[c][i]) {
                tiles.push_back(model.columns[c][i]);
            }
        }
        if (!tiles.empty()) {
            kept.push_back(tiles);
        }
    }
    kept.resize(static_cast<std::size_t>(model.width));
    model.columns = kept;
    return true;
}

std::vector<std::pair<int, int>> legal_cells(const Model& model) {
    std::vector<std::pair<int, int>> cells;
    for (int r = 0; r < model.height; ++r) {
        for (int c = 0; c < model.width; ++c) {
            const int colour = model_cell(model, c, r);
            if (colour != 0 && ((c + 1 < model.width && model_cell(model, c + 1, r) == colour) ||
                                (r + 1 < model.height && model_cell(model, c, r + 1) == colour) ||
                                (c > 0 && model_cell(model, c - 1, r) == colour) ||
                                (r > 0 && model_cell(model, c, r - 1) == colour))) {
                cells.push_back({c, r});
            }
        }
    }
    return cells;
}

bool engine_matches(const Model& model) {
    for (int r = 0; r < model.height; ++r) {
        for (int c = 0; c < model.width; ++c) {
            if (board_cell(c, r) != model_cell(model, c, r)) {
                return false;
            }
        }
    }
    return true;
}

std::vector<int> dealt_buffer() {
    std::vector<int> bytes;
    for (int32_t i = 0; i < board_bytes; ++i) {
        bytes.push_back(dealt_byte(i));
    }
    return bytes;
}

// Plays one game to its end on engine and model, comparing after every action. Returns the
// number of moves made.
int play_compared_game(std::mt19937& random, int width, int height, int colours) {
    const auto seed = static_cast<uint32_t>(random());
    EXPECT_EQ(deal_board_seeded(colours, width, height, seed), 1);
    const Rows dealt = current_rows();
    const std::vector<int> dealt_bytes = dealt_buffer();
    Model model = model_of(dealt);
    int moves = 0;
    for (int step = 0; step < 4 * width * height; ++step) {
        const auto legal = legal_cells(model);
        if (legal.empty()) {
            break;
        }
        const auto choice = random() % 100;
        if (choice < 3) {
            EXPECT_EQ(restore_board(), 1);
            model = model_of(dealt);
        } else {
            long long column = 0;
            long long row = 0;
            if (choice < 75) {
                const auto& cell = legal[random() % legal.size()];
                column = cell.first;
                row = cell.second;
            } else {
                column = static_cast<long long>(random() % static_cast<unsigned>(width + 4)) - 2;
                row = static_cast<long long>(random() % static_cast<unsigned>(height + 4)) - 2;
            }
            const bool expected = model_move(model, column, row);
            const int32_t played =
                play_move(static_cast<int32_t>(column), static_cast<int32_t>(row));
            EXPECT_EQ(played, expected ? 1 : 0) << "click " << column << "," << row;
            moves += played;
        }
        const std::string fault = settled_fault();
        EXPECT_EQ(fault, "") << width << "x" << height << " seed " << seed;
        if (!engine_matches(model) || !fault.empty()) {
            ADD_FAILURE() << "engine and model differ: " << width << "x" << height << " seed "
                          << seed << " step " << step;
            return moves;
        }
    }
    EXPECT_EQ(dealt_buffer(), dealt_bytes);
    if (!legal_cells(model).empty()) {
        return moves;  // stopped by the step limit
    }
    // At the end every click is refused.
    for (int32_t r = 0; r < height; ++r) {
        for (int32_t c = 0; c < width; ++c) {
            EXPECT_EQ(play_move(c, r), 0);
        }
    }
    return moves;
}

class GamesTest : public ::testing::Test {
protected:
    void TearDown() override { release_board(); }
};

TEST_F(GamesTest, EngineAgreesWithTheModelOverThousandsOfSmallGames) {
    std::mt19937 random(20261208);
    int moves = 0;
    for (int game = 0; game < 2000 && !HasFailure(); ++game) {
        const int width = 2 + static_cast<int>(random() % 11);
        const int height = 2 + static_cast<int>(random() % 11);
        const int colours = 2 + static_cast<int>(random() % 4);
        moves += play_compared_game(random, width, height, colours);
    }
    EXPECT_GT(moves, 20000);  // the games really were played, not refused throughout
}

TEST_F(GamesTest, EngineAgreesWithTheModelOnLongAndLargerBoards) {
    std::mt19937 random(77);
    const int sizes[][2] = {{2, 40}, {40, 2}, {24, 16}, {3, 25}, {25, 3}, {32, 32}};
    for (const auto& size : sizes) {
        for (int colours = 2; colours <= 5 && !HasFailure(); ++colours) {
            play_compared_game(random, size[0], size[1], colours);
        }
    }
}

TEST_F(GamesTest, LoadedPositionsWithRaggedColumnsAgreeWithTheModel) {
    // Settled but partly cleared starting positions, which a deal never gives.
    std::mt19937 random(5);
    for (int game = 0; game < 500 && !HasFailure(); ++game) {
        const int width = 2 + static_cast<int>(random() % 9);
        const int height = 2 + static_cast<int>(random() % 9);
        const std::vector<Cell> cells = ragged_position(
            width, height, 3, [&random] { return static_cast<uint32_t>(random()); });
        ASSERT_EQ(load_board(width, height, cells.data()), 1);
        ASSERT_EQ(current_cells_top_row_first(), cells);
        Model model = model_of(current_rows());
        for (int click = 0; click < width * height; ++click) {
            const int column = static_cast<int>(random() % static_cast<unsigned>(width));
            const int row = static_cast<int>(random() % static_cast<unsigned>(height));
            const bool expected = model_move(model, column, row);
            ASSERT_EQ(play_move(column, row), expected ? 1 : 0);
            ASSERT_EQ(settled_fault(), "");
            ASSERT_TRUE(engine_matches(model)) << "game " << game << " click " << click;
        }
    }
}

}  // namespace
