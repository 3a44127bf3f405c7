// quillop-art --board's position reader on any bytes: a position it accepts is a full
// rectangle within the drawing limits; a refusal comes with a reason that, escaped as the
// program prints it, holds no control byte.
#include <cstdint>
#include <cstdio>
#include <string>

#include "fuzz/fuzz_input.hpp"
#include "tools/art/cell_rows.hpp"
#include "tools/common/text_input.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    std::FILE* file = fmemopen(const_cast<uint8_t*>(data), size, "r");
    check(file != nullptr);
    CellRows position{0, 0, {}};
    std::string failure;
    const bool read = read_cell_rows(file, "the input", position, failure);
    std::fclose(file);
    if (read) {
        check(position.width >= 1 && position.width <= max_board_side);
        check(position.height >= 1 && position.height <= max_board_side);
        check(position.width * position.height <= max_board_cells);
        check(static_cast<int64_t>(position.cells.size()) == position.width * position.height);
        return 0;
    }
    check(!failure.empty());
    for (const char c : escaped(failure)) {
        const auto byte = static_cast<unsigned char>(c);
        check(byte >= 0x20 && byte != 0x7F);
    }
    return 0;
}
