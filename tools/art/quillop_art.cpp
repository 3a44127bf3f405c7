// quillop-art: writes the tile set, or a board as the window shows it, as a 24-bit BMP file.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tiles/tiles.hpp"
#include "tools/common/decimal.hpp"

namespace {

const char usage[] =
    "usage: quillop-art FILE.bmp\n"
    "       quillop-art --board FILE.bmp < POSITION\n"
    "The first form writes the six tiles side by side, index 0 at the left, as one\n"
    "384 x 64 BMP. The second reads a position as quillop-board prints it (rows of cell\n"
    "values, top row first; an optional 'load WIDTH HEIGHT' line before them, blank lines\n"
    "and lines starting with # skipped) and writes the board as the window shows it: a\n"
    "(WIDTH * 64 - 2) x (HEIGHT * 64 - 2) picture on white, cells without a tile left white.\n"
    "Exit status: 0, 1 when the file cannot be written, 2 for bad arguments or input.\n";

// Keeps a board picture to a few hundred megabytes at most.
constexpr int64_t max_board_side = 1024;
constexpr int64_t max_board_cells = 16384;

struct Picture {
    int32_t width;
    int32_t height;
    std::vector<unsigned char> pixels;  // top row first, blue-green-red
};

Picture make_picture(int32_t width, int32_t height, unsigned char fill) {
    return Picture{width, height,
                   std::vector<unsigned char>(
                       static_cast<size_t>(width) * static_cast<size_t>(height) * 3, fill)};
}

PixelBuffer buffer_of(Picture& picture) {
    return PixelBuffer{picture.pixels.data(), picture.width, picture.height, picture.width * 3, 3};
}

void put_u16(std::vector<unsigned char>& out, uint32_t value) {
    out.push_back(static_cast<unsigned char>(value & 0xFFu));
    out.push_back(static_cast<unsigned char>((value >> 8) & 0xFFu));
}

void put_u32(std::vector<unsigned char>& out, uint32_t value) {
    put_u16(out, value & 0xFFFFu);
    put_u16(out, value >> 16);
}

// Uncompressed, 24 bits, bottom-up rows padded to four bytes.
bool write_bmp(const char* path, const Picture& picture) {
    const uint32_t row_bytes = static_cast<uint32_t>(picture.width) * 3;
    const uint32_t padded_row = (row_bytes + 3) & ~3u;
    const uint32_t image_bytes = padded_row * static_cast<uint32_t>(picture.height);
    std::vector<unsigned char> header;
    header.push_back('B');
    header.push_back('M');
    put_u32(header, 54 + image_bytes);
    put_u32(header, 0);
    put_u32(header, 54);
    put_u32(header, 40);
    put_u32(header, static_cast<uint32_t>(picture.width));
    put_u32(header, static_cast<uint32_t>(picture.height));
    put_u16(header, 1);
    put_u16(header, 24);
    put_u32(header, 0);  // BI_RGB
    put_u32(header, image_bytes);
    put_u32(header, 2835);  // 72 dots an inch
    put_u32(header, 2835);
    put_u32(header, 0);
    put_u32(header, 0);
    std::FILE* file = std::fopen(path, "wb");
    if (file == nullptr) {
        return false;
    }
    bool ok = std::fwrite(header.data(), 1, header.size(), file) == header.size();
    const unsigned char padding[3] = {0, 0, 0};
    for (int32_t y = picture.height - 1; ok && y >= 0; --y) {
        const unsigned char* row = picture.pixels.data() + static_cast<size_t>(y) * row_bytes;
        ok = std::fwrite(row, 1, row_bytes, file) == row_bytes &&
             std::fwrite(padding, 1, padded_row - row_bytes, file) == padded_row - row_bytes;
    }
    const bool closed = std::fclose(file) == 0;
    return ok && closed;
}

Picture tile_strip() {
    Picture picture = make_picture(tile_count * tile_side, tile_side, 0xFF);
    const PixelBuffer buffer = buffer_of(picture);
    for (int32_t index = 0; index < tile_count; ++index) {
        draw_tile_pixels(buffer, index, index * tile_side, 0);
    }
    return picture;
}

struct Position {
    int64_t width;
    int64_t height;
    std::vector<int32_t> cells;  // top row first
};

bool read_line(std::FILE* input, std::string& line) {
    line.clear();
    int c = 0;
    bool any = false;
    while ((c = std::fgetc(input)) != EOF) {
        any = true;
        if (c == '\n') {
            break;
        }
        line.push_back(static_cast<char>(c));
    }
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return any;
}

std::vector<std::string> split_words(const std::string& line) {
    std::vector<std::string> words;
    std::string word;
    for (char c : line) {
        if (c == ' ' || c == '\t') {
            if (!word.empty()) {
                words.push_back(word);
                word.clear();
            }
        } else {
            word.push_back(c);
        }
    }
    if (!word.empty()) {
        words.push_back(word);
    }
    return words;
}

// A decimal integer with an optional sign that fits 32 bits.
bool parse_int32(const std::string& word, int32_t& value) {
    int64_t wide = 0;
    if (!parse_decimal(word, INT32_MIN, INT32_MAX, wide)) {
        return false;
    }
    value = static_cast<int32_t>(wide);
    return true;
}

bool read_position(std::FILE* input, Position& position, std::string& failure) {
    position = Position{0, 0, {}};
    int64_t expected_width = -1;
    int64_t expected_height = -1;
    int64_t line_number = 0;
    std::string line;
    while (read_line(input, line)) {
        ++line_number;
        const std::vector<std::string> words = split_words(line);
        if (words.empty() || words[0][0] == '#') {
            continue;
        }
        const std::string where = "line " + std::to_string(line_number) + ": ";
        if (words[0] == "no" && words.size() == 2 && words[1] == "board") {
            failure = where + "the input holds no board";
            return false;
        }
        if (words[0] == "load") {
            int32_t w = 0;
            int32_t h = 0;
            if (position.height > 0 || expected_width >= 0 || words.size() != 3 ||
                !parse_int32(words[1], w) || !parse_int32(words[2], h) || w < 1 || h < 1) {
                failure = where + "expected 'load WIDTH HEIGHT' once, before the rows";
                return false;
            }
            expected_width = w;
            expected_height = h;
            continue;
        }
        if (position.height == 0) {
            position.width = static_cast<int64_t>(words.size());
            if (position.width > max_board_side) {
                failure = where + "more than " + std::to_string(max_board_side) + " columns";
                return false;
            }
        } else if (static_cast<int64_t>(words.size()) != position.width) {
            failure = where + "a row of " + std::to_string(words.size()) +
                      " cells where the first had " + std::to_string(position.width);
            return false;
        }
        for (const std::string& word : words) {
            int32_t value = 0;
            if (!parse_int32(word, value)) {
                failure = where + "'" + word + "' is not a cell value";
                return false;
            }
            position.cells.push_back(value);
        }
        ++position.height;
        if (position.height > max_board_side ||
            position.height * position.width > max_board_cells) {
            failure = where + "the board is too large to draw";
            return false;
        }
    }
    if (std::ferror(input)) {
        failure = "reading the input failed";
        return false;
    }
    if (position.height == 0) {
        failure = "the input holds no rows of cells";
        return false;
    }
    if (expected_width >= 0 &&
        (expected_width != position.width || expected_height != position.height)) {
        failure = "the rows do not make the " + std::to_string(expected_width) + " x " +
                  std::to_string(expected_height) + " board that 'load' names";
        return false;
    }
    return true;
}

// The window's client area is two pixels short of the board on the right and at the bottom.
Picture board_picture(const Position& position) {
    const int32_t columns = static_cast<int32_t>(position.width);
    const int32_t rows = static_cast<int32_t>(position.height);
    Picture picture = make_picture(columns * tile_side - 2, rows * tile_side - 2, 0xFF);
    const PixelBuffer buffer = buffer_of(picture);
    for (int32_t row = 0; row < rows; ++row) {
        for (int32_t column = 0; column < columns; ++column) {
            const int32_t cell = position.cells[static_cast<size_t>(row * columns + column)];
            draw_tile_pixels(buffer, tile_for_cell(cell), column * tile_side, row * tile_side);
        }
    }
    return picture;
}

int write_picture(const char* path, const Picture& picture) {
    if (!write_bmp(path, picture)) {
        std::fprintf(stderr, "quillop-art: cannot write %s\n", path);
        return 1;
    }
    return 0;
}

int fail_usage() {
    std::fputs(usage, stderr);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(usage, stdout);
        return 0;
    }
    const bool board = argc == 3 && std::strcmp(argv[1], "--board") == 0;
    if (!board && argc != 2) {
        return fail_usage();
    }
    const char* path = argv[argc - 1];
    if (path[0] == '\0' || (path[0] == '-' && path[1] != '\0')) {
        return fail_usage();
    }
    build_tile_set();
    int status = 0;
    if (board) {
        Position position;
        std::string failure;
        if (read_position(stdin, position, failure)) {
            status = write_picture(path, board_picture(position));
        } else {
            std::fprintf(stderr, "quillop-art: %s\n", failure.c_str());
            status = 2;
        }
    } else {
        status = write_picture(path, tile_strip());
    }
    release_tile_set();
    return status;
}
