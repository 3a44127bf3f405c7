#include "tests/common/reference_move.hpp"

#include <cstdint>
#include <vector>

#include "board/board.hpp"

namespace {

constexpr unsigned char marked = 0x20;

unsigned char* cells() {
    return reinterpret_cast<unsigned char*>(current_origin);
}

int32_t row_step() {
    return board_width + 1;
}

// Left, above, right, below: a tile with a neighbour of its colour.
bool refused(int32_t p) {
    const unsigned char v = cells()[p];
    const int32_t neighbours[] = {p - 1, p - row_step(), p + 1, p + row_step()};
    for (const int32_t n : neighbours) {
        if ((v & cells()[n]) != 0) {
            return false;
        }
    }
    return true;
}

// Marks p, then each neighbour whose byte ANDs with p's. A list of positions still to visit
// stands in for the recursion, which a large group would take too deep.
void mark_group(int32_t position) {
    std::vector<int32_t> to_visit{position};
    while (!to_visit.empty()) {
        const int32_t p = to_visit.back();
        to_visit.pop_back();
        if ((cells()[p] & marked) != 0) {
            continue;
        }
        cells()[p] = static_cast<unsigned char>(cells()[p] | marked);
        for (const int32_t n : {p + 1, p + row_step(), p - 1, p - row_step()}) {
            if ((cells()[n] & cells()[p]) != 0) {
                to_visit.push_back(n);
            }
        }
    }
}

// Continue with (p, d - row) after a 0, (p - row, d + row) after a marked byte, and
// (p - row, d) after a tile that was copied down by d.
void drop_column(int32_t p, int32_t d) {
    while (cells()[p] != 0 || d != 0) {
        if (cells()[p] == 0) {
            cells()[p + d] = 0;
            d -= row_step();
            continue;
        }
        if ((cells()[p] & marked) == 0) {
            cells()[p + d] = cells()[p];
        } else {
            d += row_step();
        }
        p -= row_step();
    }
}

// Each moved column starts the search for the next source again from offset 1.
void close_columns(int32_t p, int32_t k) {
    while (p + k != last_position) {
        if (cells()[p] != 0) {
            p += 1;
            k = 1;
        } else if (cells()[p + k] == 0) {
            k += 1;
        } else {
            for (int32_t q = p; cells()[q + k] != 0; q -= row_step()) {
                cells()[q] = cells()[q + k];
                cells()[q + k] = 0;
            }
            p += 1;
            k = 1;
        }
    }
}

}  // namespace

int32_t reference_play_move(int32_t column, int32_t row) {
    if (current_origin == nullptr || column < 0 || column >= board_width || row < 0 ||
        row >= board_height) {
        return 0;
    }
    const int32_t p = row * row_step() + column;
    if (refused(p)) {
        return 0;
    }
    mark_group(p);
    const int32_t q0 = last_position - board_width;
    for (int32_t q = q0; cells()[q] != 0; ++q) {
        drop_column(q, 0);
    }
    close_columns(q0, 1);
    return 1;
}
