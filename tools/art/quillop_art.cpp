// quillop-art: writes the tile set, or a board as the window shows it, as a 24-bit BMP file.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tiles/tiles.hpp"
#include "tools/art/cell_rows.hpp"
#include "tools/common/text_input.hpp"

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

// Uncompressed, 24 bits, bottom-up rows padded to four bytes. False when a write fails.
bool write_bmp(std::FILE* file, const Picture& picture) {
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
    const unsigned char padding[3] = {0, 0, 0};
    bool ok = std::fwrite(header.data(), 1, header.size(), file) == header.size();
    for (int32_t y = picture.height - 1; ok && y >= 0; --y) {
        const unsigned char* row = picture.pixels.data() + static_cast<size_t>(y) * row_bytes;
        ok = std::fwrite(row, 1, row_bytes, file) == row_bytes &&
             std::fwrite(padding, 1, padded_row - row_bytes, file) == padded_row - row_bytes;
    }
    return ok;
}

// The permissions a file made with fopen would get.
mode_t ordinary_file_mode() {
    const mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

// Writes the picture under a temporary name in the target's folder and renames it over the
// target only once every byte is on disk: a full disk or any other failure leaves no file
// behind and an existing target as it was. False with the reason in `failure`.
bool write_bmp_file(const std::string& path, const Picture& picture, std::string& failure) {
    std::string temporary = path + ".XXXXXX";
    const int descriptor = mkstemp(temporary.data());
    if (descriptor < 0) {
        failure = std::strerror(errno);
        return false;
    }
    std::FILE* file = fdopen(descriptor, "wb");
    if (file == nullptr) {
        failure = std::strerror(errno);
        close(descriptor);
        unlink(temporary.c_str());
        return false;
    }
    errno = 0;
    bool ok = fchmod(descriptor, ordinary_file_mode()) == 0 && write_bmp(file, picture) &&
              std::fflush(file) == 0 && fsync(descriptor) == 0;
    int error = errno;
    if (std::fclose(file) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (ok && std::rename(temporary.c_str(), path.c_str()) != 0) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        failure = std::strerror(error != 0 ? error : EIO);
        unlink(temporary.c_str());
    }
    return ok;
}

Picture tile_strip() {
    Picture picture = make_picture(tile_count * tile_side, tile_side, 0xFF);
    const PixelBuffer buffer = buffer_of(picture);
    for (int32_t index = 0; index < tile_count; ++index) {
        draw_tile_pixels(buffer, index, index * tile_side, 0);
    }
    return picture;
}

// The window's client area is two pixels short of the board on the right and at the bottom.
Picture board_picture(const CellRows& position) {
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
    std::string failure;
    if (!write_bmp_file(path, picture, failure)) {
        std::fprintf(stderr, "quillop-art: cannot write %s: %s\n", escaped(path).c_str(),
                     failure.c_str());
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
        CellRows position;
        std::string failure;
        if (read_cell_rows(stdin, "standard input", position, failure)) {
            status = write_picture(path, board_picture(position));
        } else {
            std::fprintf(stderr, "quillop-art: %s\n", escaped(failure).c_str());
            status = 2;
        }
    } else {
        status = write_picture(path, tile_strip());
    }
    release_tile_set();
    return status;
}
