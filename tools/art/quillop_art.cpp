// quillop-art: writes the tile set, or a board as the window shows it, as a 24-bit BMP file;
// or the sunflower tile as an app icon in PNG.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "tiles/tiles.hpp"
#include "tools/art/cell_rows.hpp"
#include "tools/art/png_bytes.hpp"
#include "tools/common/text_input.hpp"

namespace {

const char usage[] =
    "usage: quillop-art FILE.bmp\n"
    "       quillop-art --board FILE.bmp < POSITION\n"
    "       quillop-art --icon SIZE FILE.png\n"
    "       quillop-art --maskable-icon SIZE FILE.png\n"
    "       quillop-art --shrunk-icon SIZE FILE.png\n"
    "The first form writes the six tiles side by side, index 0 at the left, as one\n"
    "384 x 64 BMP. The second reads a position as quillop-board prints it (rows of cell\n"
    "values, top row first; an optional 'load WIDTH HEIGHT' line before them, blank lines\n"
    "and lines starting with # skipped) and writes the board as the window shows it: a\n"
    "(WIDTH * 64 - 2) x (HEIGHT * 64 - 2) picture on white, cells without a tile left white.\n"
    "The icon forms write the sunflower tile as a SIZE x SIZE PNG, each tile pixel a square\n"
    "block: --icon fills the picture with it (SIZE a multiple of 64); --maskable-icon puts it\n"
    "at half the side in the middle of white, well inside the circle any launcher's mask\n"
    "keeps (SIZE a multiple of 128). SIZE is at most 1024. --shrunk-icon draws it smaller\n"
    "than the tile (SIZE 16 to 63), each pixel the average of the tile pixels it covers.\n"
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

// Uncompressed, 24 bits, bottom-up rows padded to four bytes, written row by row: a large
// board's picture is never held twice. False when a write fails.
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

// The same pixels red-green-blue, as PNG.
std::vector<unsigned char> png_of(const Picture& picture) {
    std::vector<unsigned char> rgb(picture.pixels);
    for (size_t at = 0; at + 2 < rgb.size(); at += 3) {
        std::swap(rgb[at], rgb[at + 2]);
    }
    return png_bytes(rgb, picture.width, picture.height);
}

// The permissions a file made with fopen would get. Compiled for node (the web build's
// icons), umask is emscripten's own, which starts at 0777 and says nothing of the machine's.
mode_t ordinary_file_mode() {
#ifdef __EMSCRIPTEN__
    return 0644;
#else
    const mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
#endif
}

// Writes the file with `write_contents` under a temporary name in the target's folder and
// renames it over the target only once every byte is on disk: a full disk or any other
// failure leaves no file behind and an existing target as it was. False with the reason in
// `failure`.
bool write_file(const std::string& path, const std::function<bool(std::FILE*)>& write_contents,
                std::string& failure) {
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
    bool ok = fchmod(descriptor, ordinary_file_mode()) == 0 && write_contents(file) &&
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

// The sunflower tile at its own size, which every icon is drawn from.
Picture sunflower_tile() {
    Picture tile = make_picture(tile_side, tile_side, 0xFF);
    draw_tile_pixels(buffer_of(tile), tile_for_cell(icon_cell), 0, 0);
    return tile;
}

// The sunflower tile drawn `scale` times its size, its top-left corner at (left, top).
void draw_scaled_sunflower(Picture& picture, int32_t scale, int32_t left, int32_t top) {
    const Picture tile = sunflower_tile();
    for (int32_t y = 0; y < tile_side * scale; ++y) {
        for (int32_t x = 0; x < tile_side * scale; ++x) {
            const size_t from =
                (static_cast<size_t>(y / scale) * tile_side + static_cast<size_t>(x / scale)) * 3;
            const size_t to = (static_cast<size_t>(top + y) * static_cast<size_t>(picture.width) +
                               static_cast<size_t>(left + x)) *
                              3;
            std::copy_n(tile.pixels.begin() + static_cast<std::ptrdiff_t>(from), 3,
                        picture.pixels.begin() + static_cast<std::ptrdiff_t>(to));
        }
    }
}

// How much of icon pixel `icon` tile pixel `tile` covers along one axis, in 1/64 of an icon
// pixel: the icon pixel spans [icon * 64, icon * 64 + 64) and the tile pixel
// [tile * size, tile * size + size) in units of 1/size of a tile pixel.
int32_t coverage(int32_t icon, int32_t tile, int32_t size) {
    const int32_t low = std::max(icon * tile_side, tile * size);
    const int32_t high = std::min((icon + 1) * tile_side, (tile + 1) * size);
    return std::max(high - low, 0);
}

// The sunflower tile shrunk to size x size (below 64), by the area each tile pixel covers.
Picture shrunk_icon_picture(int32_t size) {
    const Picture tile = sunflower_tile();
    Picture picture = make_picture(size, size, 0xFF);
    for (int32_t y = 0; y < size; ++y) {
        for (int32_t x = 0; x < size; ++x) {
            uint32_t sums[3] = {0, 0, 0};
            for (int32_t ty = y * tile_side / size; ty <= ((y + 1) * tile_side - 1) / size; ++ty) {
                for (int32_t tx = x * tile_side / size; tx <= ((x + 1) * tile_side - 1) / size;
                     ++tx) {
                    const auto weight =
                        static_cast<uint32_t>(coverage(y, ty, size) * coverage(x, tx, size));
                    const size_t from =
                        (static_cast<size_t>(ty) * tile_side + static_cast<size_t>(tx)) * 3;
                    for (size_t channel = 0; channel < 3; ++channel) {
                        sums[channel] += weight * tile.pixels[from + channel];
                    }
                }
            }
            // The weights of one icon pixel add up to 64 * 64.
            const size_t to =
                (static_cast<size_t>(y) * static_cast<size_t>(size) + static_cast<size_t>(x)) * 3;
            for (size_t channel = 0; channel < 3; ++channel) {
                picture.pixels[to + channel] =
                    static_cast<unsigned char>((sums[channel] + 2048) / 4096);
            }
        }
    }
    return picture;
}

Picture icon_picture(int32_t size, bool maskable) {
    Picture picture = make_picture(size, size, 0xFF);
    if (maskable) {
        draw_scaled_sunflower(picture, size / 128, size / 4, size / 4);
    } else {
        draw_scaled_sunflower(picture, size / 64, 0, 0);
    }
    return picture;
}

// The icon's side from its argument: a whole multiple of `step` up to 1024, else 0.
int32_t icon_size(const char* text, int32_t step) {
    char* end = nullptr;
    errno = 0;
    const long size = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || size < step || size > 1024 ||
        size % step != 0) {
        return 0;
    }
    return static_cast<int32_t>(size);
}

int write_or_report(const char* path, const std::function<bool(std::FILE*)>& write_contents) {
    std::string failure;
    if (!write_file(path, write_contents, failure)) {
        std::fprintf(stderr, "quillop-art: cannot write %s: %s\n", escaped(path).c_str(),
                     failure.c_str());
        return 1;
    }
    return 0;
}

int write_picture(const char* path, const Picture& picture) {
    return write_or_report(path, [&](std::FILE* file) { return write_bmp(file, picture); });
}

int write_png(const char* path, const std::vector<unsigned char>& bytes) {
    if (bytes.empty()) {
        std::fprintf(stderr, "quillop-art: cannot encode %s\n", escaped(path).c_str());
        return 1;
    }
    return write_or_report(path, [&](std::FILE* file) {
        return std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    });
}

int fail_usage() {
    std::fputs(usage, stderr);
    return 2;
}

// A file name, not an empty argument or an option.
bool is_file_argument(const char* path) {
    return path[0] != '\0' && (path[0] != '-' || path[1] == '\0');
}

// quillop-art --shrunk-icon SIZE FILE.png: SIZE 16 to 63.
int write_shrunk_icon(const char* size_text, const char* path) {
    const int32_t size = icon_size(size_text, 1);
    if (size < 16 || size >= tile_side || !is_file_argument(path)) {
        return fail_usage();
    }
    build_tile_set();
    const int status = write_png(path, png_of(shrunk_icon_picture(size)));
    release_tile_set();
    return status;
}

// quillop-art --icon SIZE FILE.png, or --maskable-icon.
int write_icon(const char* size_text, const char* path, bool maskable) {
    const int32_t size = icon_size(size_text, maskable ? 128 : 64);
    if (size == 0 || !is_file_argument(path)) {
        return fail_usage();
    }
    build_tile_set();
    const int status = write_png(path, png_of(icon_picture(size, maskable)));
    release_tile_set();
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(usage, stdout);
        return 0;
    }
    if (argc == 4 && std::strcmp(argv[1], "--icon") == 0) {
        return write_icon(argv[2], argv[3], false);
    }
    if (argc == 4 && std::strcmp(argv[1], "--maskable-icon") == 0) {
        return write_icon(argv[2], argv[3], true);
    }
    if (argc == 4 && std::strcmp(argv[1], "--shrunk-icon") == 0) {
        return write_shrunk_icon(argv[2], argv[3]);
    }
    const bool board = argc == 3 && std::strcmp(argv[1], "--board") == 0;
    if (!board && argc != 2) {
        return fail_usage();
    }
    const char* path = argv[argc - 1];
    if (!is_file_argument(path)) {
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
