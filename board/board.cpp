#include "board/board.hpp"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "board/board_cells.hpp"

Cell* dealt_cells = nullptr;
Cell* current_cells = nullptr;
Cell* dealt_origin = nullptr;
Cell* current_origin = nullptr;
int32_t board_width = 0;
int32_t board_height = 0;
int32_t last_position = 0;
int32_t board_bytes = 0;
int32_t* drop_distances = nullptr;

BoardAllocator board_allocate = std::malloc;

namespace {
uint32_t calendar_seconds() {
    return static_cast<uint32_t>(std::time(nullptr));
}
}  // namespace
BoardClock board_clock = calendar_seconds;

namespace {

uint32_t random_state = 0;

using namespace board_cells;

int32_t clamp_low(int32_t value, int32_t low) {
    return value < low ? low : value;
}

void forget_board() {
    std::free(dealt_cells);
    std::free(current_cells);
    std::free(drop_distances);
    dealt_cells = nullptr;
    current_cells = nullptr;
    drop_distances = nullptr;
    dealt_origin = nullptr;
    current_origin = nullptr;
    board_width = 0;
    board_height = 0;
    last_position = 0;
    board_bytes = 0;
}

// (H + 2) x (W + 1) - 1, or -1 when it (or any step of it) does not fit a signed 32-bit integer.
int64_t bytes_for(int32_t width, int32_t height) {
    const int64_t bytes = (int64_t{height} + 2) * (int64_t{width} + 1) - 1;
    return bytes > INT32_MAX ? -1 : bytes;
}

bool on_board(int32_t column, int32_t row) {
    return current_origin != nullptr && column >= 0 && column < board_width && row >= 0 &&
           row < board_height;
}

bool is_cell_value(Cell value) {
    return value == 0 || value == 1 || value == 2 || value == 4 || value == 8 || value == 16;
}

// Frees the old buffer and clears its pointer before asking for the new one, so that a
// failure never leaves a pointer into a buffer of another size.
bool replace_buffer(Cell*& buffer, std::size_t size) {
    std::free(buffer);
    buffer = nullptr;
    buffer = static_cast<Cell*>(board_allocate(size));
    return buffer != nullptr;
}

// Sets up both buffers for a width x height board: geometry stored, dealt buffer cleared,
// origins placed. On failure no board is left at all.
bool allocate_board(int32_t width, int32_t height) {
    const int64_t bytes = bytes_for(width, height);
    if (bytes < 0) {
        forget_board();
        return false;
    }
    board_width = width;
    board_height = height;
    last_position = static_cast<int32_t>((int64_t{width} + 1) * height - 1);
    board_bytes = static_cast<int32_t>(bytes);
    const auto size = static_cast<std::size_t>(bytes);

    if (!replace_buffer(dealt_cells, size) || !replace_buffer(current_cells, size)) {
        forget_board();
        return false;
    }
    std::free(drop_distances);
    drop_distances =
        static_cast<int32_t*>(board_allocate(static_cast<std::size_t>(width) * sizeof(int32_t)));
    if (drop_distances == nullptr) {
        forget_board();
        return false;
    }
    std::memset(dealt_cells, 0, size);
    dealt_origin = dealt_cells + width + 1;
    current_origin = current_cells + width + 1;
    return true;
}

void copy_dealt_to_current() {
    std::memcpy(current_cells, dealt_cells, static_cast<std::size_t>(board_bytes));
}

}  // namespace

void seed_random(uint32_t seed) {
    random_state = seed;
    next_random();
}

int32_t next_random() {
    random_state = random_state * 22695477u + 1u;
    return static_cast<int32_t>((random_state >> 16) & 0x7FFFu);
}

namespace {

// Clamps, allocates, then deals from `seed`, or from the clock read only once the buffers
// are ready when `seed` is null: a deal that cannot allocate never reads the clock.
int32_t deal(int32_t colours, int32_t width, int32_t height, const uint32_t* seed) {
    const int32_t colour_count = colours < 2 ? 2 : (colours > 5 ? 5 : colours);
    width = clamp_low(width, 2);
    height = clamp_low(height, 2);
    if (!allocate_board(width, height)) {
        return 0;
    }
    seed_random(seed != nullptr ? *seed : board_clock());
    for (int32_t row = 0; row < height; ++row) {
        Cell* cells = dealt_origin + int64_t{row} * stride();
        for (int32_t column = 0; column < width; ++column) {
            cells[column] = static_cast<Cell>(1 << (next_random() % colour_count));
        }
    }
    copy_dealt_to_current();
    return 1;
}

}  // namespace

int32_t deal_board(int32_t colours, int32_t width, int32_t height) {
    return deal(colours, width, height, nullptr);
}

int32_t deal_board_seeded(int32_t colours, int32_t width, int32_t height, uint32_t seed) {
    return deal(colours, width, height, &seed);
}

int32_t position_is_settled(int32_t width, int32_t height, const Cell* cells) {
    if (width < 2 || height < 2 || bytes_for(width, height) < 0) {
        return 0;
    }
    const auto at = [&](int32_t column, int32_t row) {
        return cells[static_cast<std::size_t>(row) * static_cast<std::size_t>(width) +
                     static_cast<std::size_t>(column)];
    };
    bool empty_column_seen = false;
    for (int32_t column = 0; column < width; ++column) {
        bool tile_seen = false;
        for (int32_t row = 0; row < height; ++row) {
            const Cell value = at(column, row);
            if (!is_cell_value(value) || (tile_seen && value == 0)) {
                return 0;
            }
            tile_seen = tile_seen || value != 0;
        }
        if (tile_seen && empty_column_seen) {
            return 0;
        }
        empty_column_seen = empty_column_seen || !tile_seen;
    }
    return 1;
}

int32_t load_board(int32_t width, int32_t height, const Cell* cells) {
    if (cells == nullptr || !position_is_settled(width, height, cells)) {
        return 0;
    }
    if (!allocate_board(width, height)) {
        return 0;
    }
    for (int32_t row = 0; row < height; ++row) {
        std::memcpy(dealt_origin + int64_t{row} * stride(), cells + int64_t{row} * width,
                    static_cast<std::size_t>(width));
    }
    copy_dealt_to_current();
    return 1;
}

int32_t board_cell(int32_t column, int32_t row) {
    if (!on_board(column, row)) {
        return no_cell;
    }
    return current_origin[row * stride() + column];
}

int32_t restore_board() {
    if (dealt_cells == nullptr || current_cells == nullptr) {
        return 0;
    }
    copy_dealt_to_current();
    return 1;
}

void release_board() {
    forget_board();
}

int32_t move_position(int32_t column, int32_t row) {
    if (!on_board(column, row)) {
        return -1;
    }
    const int32_t p = row * stride() + column;
    const unsigned char* cells = current_bytes();
    const unsigned v = cells[p];
    if ((v & cells[p - 1]) == 0 && (v & cells[p - stride()]) == 0 && (v & cells[p + 1]) == 0 &&
        (v & cells[p + stride()]) == 0) {
        return -1;
    }
    return p;
}

int32_t play_move(int32_t column, int32_t row) {
    const int32_t p = move_position(column, row);
    if (p < 0) {
        return 0;
    }
    mark_group(p);
    collapse_board();
    return 1;
}

namespace {

bool is_marked(unsigned value) {
    return (value & marked_bit) != 0;
}

// Bits 6 and 7 of the cell a run was entered by: which way its parent run lies.
constexpr unsigned parent_above = 1u << back_shift;
constexpr unsigned parent_below = 2u << back_shift;

// Eight cells at a time, for the long stretches of a large group. A word is only read where
// all eight cells lie in one row of the board.
uint64_t eight_cells(const unsigned char* cells, int32_t p) {
    uint64_t word = 0;
    std::memcpy(&word, cells + p, sizeof word);
    return word;
}

void store_eight_cells(unsigned char* cells, int32_t p, uint64_t word) {
    std::memcpy(cells + p, &word, sizeof word);
}

constexpr uint64_t in_every_byte(unsigned value) {
    return 0x0101010101010101ull * value;
}

bool has_zero_byte(uint64_t word) {
    return ((word - in_every_byte(1)) & ~word & in_every_byte(0x80)) != 0;
}

bool all_continue(uint64_t word, unsigned colour) {
    return (word & in_every_byte(colour | marked_bit)) == in_every_byte(colour);
}

bool none_continues(uint64_t word, unsigned colour) {
    return !has_zero_byte((word & in_every_byte(colour | marked_bit)) ^ in_every_byte(colour));
}

bool all_marked(uint64_t word) {
    return (word & in_every_byte(marked_bit)) == in_every_byte(marked_bit);
}

// The row being marked: its first cell's position, and the board's width.
struct Row {
    int32_t first;
    int32_t width;
};

struct Run {
    int32_t left;
    int32_t right;
};

// Whether all sixteen cells from p on continue the group.
bool sixteen_continue(const unsigned char* cells, int32_t p, unsigned colour) {
    const uint64_t low = eight_cells(cells, p);
    const uint64_t high = eight_cells(cells, p + 8);
    return all_continue(low & high, colour) && all_continue(low | high, colour);
}

void mark_eight(unsigned char* cells, int32_t p) {
    store_eight_cells(cells, p, eight_cells(cells, p) | in_every_byte(marked_bit));
}

// Marks the whole row run of the group's colour through seed, the seed carrying `back`.
Run mark_run(unsigned char* cells, Row row, int32_t seed, unsigned colour, unsigned back) {
    cells[seed] = static_cast<unsigned char>(cells[seed] | marked_bit | back);
    int32_t left = seed;
    while (left - 16 >= row.first && sixteen_continue(cells, left - 16, colour)) {
        left -= 16;
        mark_eight(cells, left);
        mark_eight(cells, left + 8);
    }
    while (left - 8 >= row.first && all_continue(eight_cells(cells, left - 8), colour)) {
        left -= 8;
        mark_eight(cells, left);
    }
    while (continues_into(cells[left - 1], colour)) {
        --left;
        cells[left] = static_cast<unsigned char>(cells[left] | marked_bit);
    }
    int32_t right = seed;
    const int32_t end = row.first + row.width;
    while (right + 17 <= end && sixteen_continue(cells, right + 1, colour)) {
        mark_eight(cells, right + 1);
        mark_eight(cells, right + 9);
        right += 16;
    }
    while (right + 9 <= end && all_continue(eight_cells(cells, right + 1), colour)) {
        mark_eight(cells, right + 1);
        right += 8;
    }
    while (continues_into(cells[right + 1], colour)) {
        ++right;
        cells[right] = static_cast<unsigned char>(cells[right] | marked_bit);
    }
    return Run{left, right};
}

// Whether the searches pass over the sixteen cells from p on: all marked, and no neighbour at
// `step` continues the group. One test for both words, which long runs make worth it.
bool passes_sixteen(const unsigned char* cells, int32_t p, int32_t step, unsigned colour) {
    const uint64_t here = eight_cells(cells, p) & eight_cells(cells, p + 8);
    const uint64_t pattern = in_every_byte(colour | marked_bit);
    const uint64_t first = (eight_cells(cells, p + step) & pattern) ^ in_every_byte(colour);
    const uint64_t second = (eight_cells(cells, p + step + 8) & pattern) ^ in_every_byte(colour);
    const uint64_t zero_bytes =
        ((first - in_every_byte(1)) & ~first) | ((second - in_every_byte(1)) & ~second);
    return all_marked(here) && (zero_bytes & in_every_byte(0x80)) == 0;
}

// From x leftwards over the marked run of the row, the first cell whose neighbour at `step`
// continues the group; or the first unmarked cell, where the run ends.
int32_t search_left(const unsigned char* cells, Row row, int32_t x, int32_t step, unsigned colour) {
    while (x - 15 >= row.first && passes_sixteen(cells, x - 15, step, colour)) {
        x -= 16;
    }
    while (x - 7 >= row.first && all_marked(eight_cells(cells, x - 7)) &&
           none_continues(eight_cells(cells, x - 7 + step), colour)) {
        x -= 8;
    }
    while (is_marked(cells[x]) && !continues_into(cells[x + step], colour)) {
        --x;
    }
    return x;
}

// The same rightwards.
int32_t search_right(const unsigned char* cells, Row row, int32_t x, int32_t step,
                     unsigned colour) {
    const int32_t end = row.first + row.width;
    while (x + 16 <= end && passes_sixteen(cells, x, step, colour)) {
        x += 16;
    }
    while (x + 8 <= end && all_marked(eight_cells(cells, x)) &&
           none_continues(eight_cells(cells, x + step), colour)) {
        x += 8;
    }
    while (is_marked(cells[x]) && !continues_into(cells[x + step], colour)) {
        ++x;
    }
    return x;
}

// Whether all eight cells are marked and none carries a way back.
bool marked_without_way_back(uint64_t word) {
    return (word & in_every_byte(marked_bit | back_bits)) == in_every_byte(marked_bit);
}

// From x leftwards over the marked run, the cell that carries the way back; or the first
// unmarked cell when the run has none (the first run of the group).
int32_t search_entry(const unsigned char* cells, Row row, int32_t x) {
    while (x - 15 >= row.first && marked_without_way_back(eight_cells(cells, x - 15)) &&
           marked_without_way_back(eight_cells(cells, x - 7))) {
        x -= 16;
    }
    while (x - 7 >= row.first && marked_without_way_back(eight_cells(cells, x - 7))) {
        x -= 8;
    }
    while (is_marked(cells[x]) && (cells[x] & back_bits) == 0) {
        --x;
    }
    return x;
}

}  // namespace

GroupBounds group_bounds = {};

// Marks whole row runs at a time: each run is marked when it is found, then the row above it is
// searched right to left and the row below left to right for unmarked tiles of the colour, and
// the first one found starts a new run before the search goes on. The way back from a run is
// kept in bits 6 and 7 of the cell it was entered by, so no stack grows with the group. Runs in
// one row never touch (each is as long as the colour allows), so a run's cells are exactly the
// marked cells around the search position. Also notes the group's bounds in group_bounds.
void mark_group(int32_t position) {
    unsigned char* cells = current_bytes();
    const unsigned start = cells[position];
    if (is_marked(start)) {
        return;
    }
    const unsigned colour = start & match_bits;
    const int32_t step = stride();
    int32_t row_index = position / step;
    Row row{row_index * step, board_width};
    Run run = mark_run(cells, row, position, colour, 0);
    group_bounds = GroupBounds{run.left - row.first, run.right - row.first, row_index};
    int32_t x = run.right;
    bool searching_below = false;
    for (;;) {
        int32_t seed = -1;
        unsigned back = 0;
        if (!searching_below) {
            x = search_left(cells, row, x, -step, colour);
            if (is_marked(cells[x])) {
                seed = x - step;
                back = parent_below;
                row_index -= 1;
            } else {
                searching_below = true;
                x += 1;
            }
        }
        if (searching_below) {
            x = search_right(cells, row, x, step, colour);
            if (is_marked(cells[x])) {
                seed = x + step;
                back = parent_above;
                row_index += 1;
            }
        }
        if (seed >= 0) {
            row.first = row_index * step;
            run = mark_run(cells, row, seed, colour, back);
            group_bounds.first_column = std::min(group_bounds.first_column, run.left - row.first);
            group_bounds.last_column = std::max(group_bounds.last_column, run.right - row.first);
            group_bounds.lowest_row = std::max(group_bounds.lowest_row, row_index);
            x = run.right;
            searching_below = false;
            continue;
        }
        // The run is done: back to where it was entered, or the end at the first run.
        const int32_t entry = search_entry(cells, row, x - 1);
        if (!is_marked(cells[entry])) {
            return;
        }
        const unsigned way = cells[entry] & back_bits;
        cells[entry] = static_cast<unsigned char>(cells[entry] & ~back_bits);
        if (way == parent_above) {
            x = entry - step + 1;
            row_index -= 1;
            searching_below = true;
        } else {
            x = entry + step - 1;
            row_index += 1;
            searching_below = false;
        }
        row.first = row_index * step;
    }
}

void collapse_board() {
    const GroupBounds bounds = group_bounds;
    drop_columns(bounds.first_column, bounds.last_column, bounds.lowest_row);
    const int32_t bottom = last_position - board_width;
    const unsigned char* cells = current_bytes();
    for (int32_t column = bounds.first_column; column <= bounds.last_column; ++column) {
        if (cells[bottom + column] == 0) {
            close_columns(bottom + column, 1);
            return;
        }
    }
}

namespace {

// Whether the count cells from position line on are all marked.
bool all_cells_marked(const unsigned char* cells, int32_t line, int32_t count) {
    int32_t i = 0;
    while (i + 8 <= count && all_marked(eight_cells(cells, line + i))) {
        i += 8;
    }
    while (i < count && is_marked(cells[line + i])) {
        ++i;
    }
    return i == count;
}

// One row of the drop pass over count columns from position line on; each column's distance
// is its entry in distances plus shared. Stretches of eight marked cells only add a row to
// their distances; every other byte is written at its distance, a marked one too (its place is
// written again on the next row, since the distance grows by one row with it). Returns
// non-zero when the row read or overwrote anything but zeros.
unsigned drop_row(unsigned char* cells, int32_t line, int32_t* distances, int32_t count,
                  int32_t shared) {
    const int32_t row = stride();
    unsigned changed = 0;
    for (int32_t i = 0; i < count;) {
        int32_t marked_end = i;
        while (marked_end + 8 <= count && all_marked(eight_cells(cells, line + marked_end))) {
            marked_end += 8;
        }
        if (marked_end > i) {
            for (int32_t j = i; j < marked_end; ++j) {
                distances[j] += row;
            }
            changed = 1;
            i = marked_end;
            continue;
        }
        const int32_t end = std::min(i + 8, count);
        for (int32_t j = i; j < end; ++j) {
            const unsigned value = cells[line + j];
            unsigned char& target = cells[line + j + distances[j] + shared];
            changed |= value | target;
            target = static_cast<unsigned char>(value);
            distances[j] += is_marked(value) ? row : 0;
        }
        i = end;
    }
    return changed;
}

}  // namespace

// Row by row upwards from the group's lowest row, over the group's columns only; below that row
// and beside those columns every byte would only be copied onto itself. Each column keeps its
// drop distance in drop_distances; a row marked across all the group's columns adds to all of
// them at once. Above a column's tiles the zeros read land on the places its tiles left. The
// walk ends at the first row that changes nothing, which comes after every column's last
// write, as the place each column writes next still holds one of its old bytes until then.
void drop_columns(int32_t first_column, int32_t last_column, int32_t lowest_row) {
    unsigned char* cells = current_bytes();
    const int32_t row = stride();
    if (first_column == last_column) {
        drop_column(lowest_row * row + first_column, 0);
        return;
    }
    const int32_t count = last_column - first_column + 1;
    int32_t* distances = drop_distances + first_column;
    std::fill(distances, distances + count, 0);
    int32_t shared = 0;
    // The board's rows and the guard row above them.
    for (int32_t r = lowest_row; r >= -1; --r) {
        const int32_t line = r * row + first_column;
        if (all_cells_marked(cells, line, count)) {
            shared += row;
        } else if (drop_row(cells, line, distances, count, shared) == 0) {
            return;
        }
    }
    // Rows above the board would read as zeros: a column that fell m rows still owes zeros to
    // its rows 0 ... m - 2 (the guard row took the first). Those of a column that is done
    // already hold zeros, so every such row is cleared whole.
    const auto [shallowest, deepest] = std::minmax_element(distances, distances + count);
    for (int32_t q = 0; (q + 2) * int64_t{row} <= *deepest + shared; ++q) {
        unsigned char* line = cells + q * row + first_column;
        const int32_t owed = (q + 2) * row - shared;
        if (*shallowest >= owed) {
            std::memset(line, 0, static_cast<std::size_t>(count));
            continue;
        }
        for (int32_t i = 0; i < count; ++i) {
            line[i] = distances[i] >= owed ? 0 : line[i];
        }
    }
}

void drop_column(int32_t p, int32_t d) {
    unsigned char* cells = current_bytes();
    const int32_t row = stride();
    for (;;) {
        const unsigned char value = cells[p];
        if (value == 0) {
            if (d == 0) {
                return;
            }
            cells[p + d] = 0;
            d -= row;
        } else if (is_marked(value)) {
            p -= row;
            d += row;
        } else {
            cells[p + d] = value;
            p -= row;
        }
    }
}

void close_columns(int32_t p, int32_t k) {
    unsigned char* cells = current_bytes();
    while (p + k != last_position) {
        if (cells[p] != 0) {
            ++p;
            k = 1;
        } else if (cells[p + k] == 0) {
            ++k;
        } else {
            cells[p] = cells[p + k];
            cells[p + k] = 0;
            shift_column(p - stride(), k);
            ++p;
            k = 1;
        }
    }
}

void shift_column(int32_t p, int32_t k) {
    unsigned char* cells = current_bytes();
    const int32_t row = stride();
    while (cells[p + k] != 0) {
        cells[p] = cells[p + k];
        cells[p + k] = 0;
        p -= row;
    }
}
