// make-tile-art reproduces the committed source; quillop-art writes the tiles and boards as BMP
// and the icons as PNG, read back here with stb_image.
#define STBI_ONLY_PNG
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#include <gtest/gtest.h>
#include <stb_image.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/common/tool_runs.hpp"
#include "tests/tiles/tile_pixels.hpp"
#include "tiles/tiles.hpp"

namespace {

uint32_t u32_at(const std::vector<unsigned char>& b, size_t at) {
    return static_cast<uint32_t>(b[at]) | static_cast<uint32_t>(b[at + 1]) << 8 |
           static_cast<uint32_t>(b[at + 2]) << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

uint32_t u16_at(const std::vector<unsigned char>& b, size_t at) {
    return static_cast<uint32_t>(b[at]) | static_cast<uint32_t>(b[at + 1]) << 8;
}

struct Bmp {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<unsigned char> bytes;
    size_t row_bytes = 0;
};

// Checks the header of an uncompressed, bottom-up, 24-bit file and returns its geometry.
Bmp read_bmp(const std::string& path) {
    Bmp bmp;
    bmp.bytes = read_bytes(path);
    const std::vector<unsigned char>& b = bmp.bytes;
    EXPECT_GE(b.size(), 54u);
    if (b.size() < 54) {
        return bmp;
    }
    EXPECT_EQ(b[0], 'B');
    EXPECT_EQ(b[1], 'M');
    EXPECT_EQ(u32_at(b, 2), b.size());
    EXPECT_EQ(u32_at(b, 10), 54u);
    EXPECT_EQ(u32_at(b, 14), 40u);
    bmp.width = static_cast<int32_t>(u32_at(b, 18));
    bmp.height = static_cast<int32_t>(u32_at(b, 22));
    EXPECT_EQ(u16_at(b, 26), 1u);
    EXPECT_EQ(u16_at(b, 28), 24u);
    EXPECT_EQ(u32_at(b, 30), 0u);
    bmp.row_bytes = (static_cast<size_t>(bmp.width) * 3 + 3) / 4 * 4;
    EXPECT_EQ(b.size(), 54 + bmp.row_bytes * static_cast<size_t>(bmp.height));
    return bmp;
}

// Pixel (x, y), y from the top of the picture.
Rgb bmp_pixel(const Bmp& bmp, int32_t x, int32_t y) {
    const size_t at =
        54 + static_cast<size_t>(bmp.height - 1 - y) * bmp.row_bytes + static_cast<size_t>(x) * 3;
    return Rgb{bmp.bytes[at + 2], bmp.bytes[at + 1], bmp.bytes[at]};
}

struct Png {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<unsigned char> rgb;  // top row first
};

// A PNG file decoded to red-green-blue; width 0 when it is no PNG.
Png read_png(const std::string& path) {
    const std::vector<unsigned char> bytes = read_bytes(path);
    Png png;
    int width = 0;
    int height = 0;
    int channels = 0;
    unsigned char* pixels = stbi_load_from_memory(bytes.data(), static_cast<int>(bytes.size()),
                                                  &width, &height, &channels, 3);
    if (pixels != nullptr) {
        png.width = width;
        png.height = height;
        png.rgb.assign(pixels,
                       pixels + static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
        stbi_image_free(pixels);
    }
    return png;
}

Rgb png_pixel(const Png& png, int32_t x, int32_t y) {
    const unsigned char* p =
        png.rgb.data() +
        (static_cast<size_t>(y) * static_cast<size_t>(png.width) + static_cast<size_t>(x)) * 3;
    return Rgb{p[0], p[1], p[2]};
}

TEST(MakeTileArt, RegeneratesTheCommittedSourceByteForByte) {
    const TestFolder folder;
    ASSERT_TRUE(folder.made());
    const std::string out = folder.file("tile_art.cpp");
    ASSERT_EQ(run_status(std::string(MAKE_TILE_ART_TOOL) + " '" + out + "'"), 0);
    const std::vector<unsigned char> made = read_bytes(out);
    const std::vector<unsigned char> committed = read_bytes(TILE_ART_SOURCE);
    ASSERT_FALSE(committed.empty());
    EXPECT_TRUE(made == committed) << "regenerate tiles/tile_art.cpp (target regenerate-tile-art)";
    std::remove(out.c_str());
}

class QuillopArt : public ::testing::Test {
protected:
    void SetUp() override {
        build_tile_set();
        ASSERT_TRUE(folder.made());
    }
    void TearDown() override { release_tile_set(); }
    std::string temp_path(const std::string& name) const { return folder.file(name); }

    // Runs quillop-art --board on `input`; returns its exit status.
    int board(const std::string& input, const std::string& bmp) {
        const std::string in = temp_path("board_input.txt");
        write_text(in, input);
        return run_status(std::string(QUILLOP_ART_TOOL) + " --board '" + bmp + "' < '" + in +
                          "' 2> /dev/null");
    }

    const TestFolder folder;
};

TEST_F(QuillopArt, StripHoldsTheSixTilesUprightInOrder) {
    const std::string path = temp_path("strip.bmp");
    ASSERT_EQ(run_status(std::string(QUILLOP_ART_TOOL) + " '" + path + "'"), 0);
    const Bmp bmp = read_bmp(path);
    ASSERT_EQ(bmp.width, 384);
    ASSERT_EQ(bmp.height, 64);
    for (int32_t index = 0; index < tile_count; ++index) {
        for (int32_t y = 0; y < 64; ++y) {
            for (int32_t x = 0; x < 64; ++x) {
                ASSERT_EQ(bmp_pixel(bmp, index * 64 + x, y), image_pixel(tile_images[index], x, y))
                    << "tile " << index << " at " << x << ", " << y;
            }
        }
    }
    EXPECT_EQ(bmp_pixel(bmp, 64 + 1, 1), grey_of(164));  // light rim at the top left
    EXPECT_EQ(bmp_pixel(bmp, 64 + 62, 62), grey_of(113));
    std::remove(path.c_str());
}

TEST_F(QuillopArt, BoardIsDrawnAsTheWindowShowsIt) {
    const std::string path = temp_path("board.bmp");
    // As quillop-board prints it; -1 (no cell) and marked values leave the white background.
    ASSERT_EQ(board("0 -1 33\n2 16 1\n", path), 0);
    const Bmp bmp = read_bmp(path);
    ASSERT_EQ(bmp.width, 3 * 64 - 2);
    ASSERT_EQ(bmp.height, 2 * 64 - 2);
    EXPECT_EQ(bmp_pixel(bmp, 30, 30), grey_of(0));
    EXPECT_EQ(bmp_pixel(bmp, 64 + 30, 30), grey_of(255));
    EXPECT_EQ(bmp_pixel(bmp, 128 + 30, 30), grey_of(255));
    EXPECT_EQ(bmp_pixel(bmp, 32, 64 + 32), (Rgb{254, 254, 132}));
    EXPECT_EQ(bmp_pixel(bmp, 64 + 32, 64 + 32), (Rgb{254, 132, 71}));
    EXPECT_EQ(bmp_pixel(bmp, 64, 64), grey_of(164));
    for (int32_t y = 64; y < 126; y += 7) {
        for (int32_t x = 128; x < 190; x += 5) {
            ASSERT_EQ(bmp_pixel(bmp, x, y), image_pixel(tile_images[1], x - 128, y - 64));
        }
    }
    // A script's load line and comments are accepted too.
    ASSERT_EQ(board("# dealt\nload 2 2\n\n1 0\r\n1 8\n", path), 0);
    const Bmp small = read_bmp(path);
    EXPECT_EQ(small.width, 126);
    EXPECT_EQ(small.height, 126);
    EXPECT_EQ(bmp_pixel(small, 64 + 32, 64 + 32), (Rgb{132, 254, 132}));
    std::remove(path.c_str());
}

TEST_F(QuillopArt, RefusesBadInputAndArgumentsWithStatusTwo) {
    const std::string path = temp_path("refused.bmp");
    const char* bad_inputs[] = {
        "",                      // no rows
        "\n# only a comment\n",  // no rows
        "1 2\n4\n",              // ragged rows
        "1 x\n",                 // not a number
        "1 99999999999\n",       // beyond 32 bits
        "no board\n",            // what quillop-board prints without a board
        "load 3 2\n1 2\n4 8\n",  // rows do not match the load line
        "1 2\nload 2 1\n",       // load after the rows
    };
    for (const char* input : bad_inputs) {
        std::remove(path.c_str());
        EXPECT_EQ(board(input, path), 2) << "input: " << input;
        EXPECT_TRUE(read_bytes(path).empty()) << "no file for: " << input;
    }
    const std::string tool = QUILLOP_ART_TOOL;
    EXPECT_EQ(run_status(tool + " 2> /dev/null"), 2);
    EXPECT_EQ(run_status(tool + " a.bmp b.bmp 2> /dev/null"), 2);
    EXPECT_EQ(run_status(tool + " --board 2> /dev/null < /dev/null"), 2);
    EXPECT_EQ(run_status(tool + " --help > /dev/null"), 0);
    EXPECT_EQ(run_status(tool + " /nonexistent/dir/x.bmp 2> /dev/null"), 1);
    EXPECT_EQ(run_status(tool + " --board '" + path + "' 2> /dev/null < /"), 2);  // a directory
}

// Every pixel of each icon: the sunflower tile in square blocks, on white for the maskable one.
TEST_F(QuillopArt, IconsAreTheSunflowerTileInSquareBlocks) {
    const std::string path = temp_path("icon.png");
    const std::string tool = QUILLOP_ART_TOOL;
    for (const int32_t size : {64, 192, 512}) {
        ASSERT_EQ(run_status(tool + " --icon " + std::to_string(size) + " '" + path + "'"), 0);
        const Png png = read_png(path);
        ASSERT_EQ(png.width, size);
        ASSERT_EQ(png.height, size);
        const int32_t scale = size / 64;
        for (int32_t y = 0; y < size; ++y) {
            for (int32_t x = 0; x < size; ++x) {
                ASSERT_EQ(png_pixel(png, x, y), image_pixel(tile_images[1], x / scale, y / scale))
                    << size << " at " << x << ", " << y;
            }
        }
    }
    for (const int32_t size : {128, 512}) {
        ASSERT_EQ(run_status(tool + " --maskable-icon " + std::to_string(size) + " '" + path + "'"),
                  0);
        const Png png = read_png(path);
        ASSERT_EQ(png.width, size);
        ASSERT_EQ(png.height, size);
        const int32_t scale = size / 128;
        const int32_t left = size / 4;
        for (int32_t y = 0; y < size; ++y) {
            for (int32_t x = 0; x < size; ++x) {
                const bool tile = x >= left && x < 3 * left && y >= left && y < 3 * left;
                ASSERT_EQ(png_pixel(png, x, y),
                          tile ? image_pixel(tile_images[1], (x - left) / scale, (y - left) / scale)
                               : grey_of(255))
                    << "maskable " << size << " at " << x << ", " << y;
            }
        }
    }
    std::remove(path.c_str());
    // Each followed by the file name; the last two put a bad name in front of it.
    const char* refused[] = {
        "--icon 0",
        "--icon 63",
        "--icon 100",
        "--icon 1088",
        "--icon 64x",
        "--icon ''",
        "--icon -64",
        "--icon 99999999999999999999",
        "--maskable-icon 192",
        "--maskable-icon 64",
        "--icon 64 -x.png",
        "--icon 64 ''",
    };
    for (const char* arguments : refused) {
        EXPECT_EQ(run_status(tool + " " + arguments + " '" + path + "' 2> /dev/null"), 2)
            << arguments;
        EXPECT_TRUE(read_bytes(path).empty()) << "no file for: " << arguments;
    }
    EXPECT_EQ(run_status(tool + " --icon 64 -x.png 2> /dev/null"), 2);
    EXPECT_EQ(run_status(tool + " --icon 64 '' 2> /dev/null"), 2);
}

// Smaller than the tile: at 32 each pixel is the rounded mean of a 2 x 2 block; at 48, where
// tile pixels straddle icon pixels, the picture keeps the tile's mean colour.
TEST_F(QuillopArt, ShrunkIconsAverageTheSunflowerTile) {
    const std::string path = temp_path("icon.png");
    const std::string tool = QUILLOP_ART_TOOL;
    ASSERT_EQ(run_status(tool + " --shrunk-icon 32 '" + path + "'"), 0);
    Png png = read_png(path);
    ASSERT_EQ(png.width, 32);
    ASSERT_EQ(png.height, 32);
    for (int32_t y = 0; y < 32; ++y) {
        for (int32_t x = 0; x < 32; ++x) {
            Rgb sum{0, 0, 0};
            for (int32_t corner = 0; corner < 4; ++corner) {
                const Rgb c = image_pixel(tile_images[1], 2 * x + corner % 2, 2 * y + corner / 2);
                sum = Rgb{sum.red + c.red, sum.green + c.green, sum.blue + c.blue};
            }
            ASSERT_EQ(png_pixel(png, x, y),
                      (Rgb{(sum.red + 2) / 4, (sum.green + 2) / 4, (sum.blue + 2) / 4}))
                << x << ", " << y;
        }
    }
    ASSERT_EQ(run_status(tool + " --shrunk-icon 48 '" + path + "'"), 0);
    png = read_png(path);
    ASSERT_EQ(png.width, 48);
    ASSERT_EQ(png.height, 48);
    double tile_mean[3] = {0, 0, 0};
    double icon_mean[3] = {0, 0, 0};
    for (int32_t y = 0; y < 64; ++y) {
        for (int32_t x = 0; x < 64; ++x) {
            const Rgb c = image_pixel(tile_images[1], x, y);
            tile_mean[0] += c.red / 4096.0;
            tile_mean[1] += c.green / 4096.0;
            tile_mean[2] += c.blue / 4096.0;
        }
    }
    for (int32_t y = 0; y < 48; ++y) {
        for (int32_t x = 0; x < 48; ++x) {
            const Rgb c = png_pixel(png, x, y);
            icon_mean[0] += c.red / 2304.0;
            icon_mean[1] += c.green / 2304.0;
            icon_mean[2] += c.blue / 2304.0;
        }
    }
    for (int channel = 0; channel < 3; ++channel) {
        EXPECT_NEAR(icon_mean[channel], tile_mean[channel], 0.5) << "channel " << channel;
    }
    std::remove(path.c_str());
    for (const char* size : {"15", "64", "0", "48x", "''"}) {
        EXPECT_EQ(run_status(tool + " --shrunk-icon " + size + " '" + path + "' 2> /dev/null"), 2)
            << size;
        EXPECT_TRUE(read_bytes(path).empty()) << "no file for: " << size;
    }
}

TEST_F(QuillopArt, RefusesABoardTooLargeToDraw) {
    std::string row;
    for (int32_t i = 0; i < 200; ++i) {
        row += "1 ";
    }
    row += "\n";
    std::string input;
    for (int32_t i = 0; i < 100; ++i) {
        input += row;
    }
    EXPECT_EQ(board(input, temp_path("large.bmp")), 2);
}

// Both forms of quillop-art, each once over an existing file and once to a new name, on a
// 64 KB disk too small for any of the pictures: a tmpfs mounted in a private mount namespace
// where the system allows one, otherwise a file size limit, which fails the writes alike.
const char full_disk_script[] = R"(
out=$1; disk=$1/disk; tool=$2
mkdir "$disk" && printf '1 1 1\n2 2 2\n4 4 4\n' > "$out/position" || exit 99
scenario='
printf kept > "$disk/strip.bmp"; printf kept > "$disk/board.bmp"
for target in strip.bmp new-strip.bmp; do
    "$tool" "$disk/$target" 2>> "$out/err"; echo $? >> "$out/status"
done
for target in board.bmp new-board.bmp; do
    "$tool" --board "$disk/$target" < "$out/position" 2>> "$out/err"; echo $? >> "$out/status"
done
cat "$disk/strip.bmp" "$disk/board.bmp" > "$out/kept"
ls -A "$disk" > "$out/listing"'
export out disk tool scenario
if unshare -rm sh -c 'mount -t tmpfs -o size=64k quillop "$disk"' 2> /dev/null; then
    exec unshare -rm sh -c 'mount -t tmpfs -o size=64k quillop "$disk" && eval "$scenario"'
fi
trap '' XFSZ
ulimit -f 64
eval "$scenario"
)";

TEST(QuillopArtOnAFullDisk, LeavesNoFileBehindAndAnExistingOneAsItWas) {
    const TestFolder scratch;
    ASSERT_TRUE(scratch.made());
    const std::string& folder = scratch.path();
    write_text(folder + "/script", full_disk_script);
    ASSERT_EQ(
        run_status("bash '" + folder + "/script' '" + folder + "' '" + QUILLOP_ART_TOOL + "'"), 0);
    const auto text = [&](const char* name) {
        const std::vector<unsigned char> bytes = read_bytes(folder + "/" + name);
        return std::string(bytes.begin(), bytes.end());
    };
    EXPECT_EQ(text("status"), "1\n1\n1\n1\n") << text("err");
    EXPECT_EQ(text("kept"), "keptkept");
    EXPECT_EQ(text("listing"), "board.bmp\nstrip.bmp\n");
    const std::string err = text("err");
    size_t messages = 0;
    for (size_t at = err.find("quillop-art: cannot write "); at != std::string::npos;
         at = err.find("quillop-art: cannot write ", at + 1)) {
        ++messages;
    }
    EXPECT_EQ(messages, 4u) << err;
}

}  // namespace
