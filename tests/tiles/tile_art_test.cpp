// The stored pictures: the shared frame, the plain faces and the sunflower.
#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <tuple>
#include <vector>

#include "tests/tiles/tile_pixels.hpp"
#include "tiles/tiles.hpp"

namespace {

struct Sample {
    int32_t x;
    int32_t y;
    int32_t grey;
    const char* element;
};

// Points well inside each frame element, away from the mitre lines.
const Sample frame_samples[] = {
    {32, 0, 164, "rim light, top"},     {20, 2, 164, "rim light, top"},
    {0, 32, 164, "rim light, left"},    {2, 50, 164, "rim light, left"},
    {32, 63, 113, "rim dark, bottom"},  {40, 61, 113, "rim dark, bottom"},
    {63, 32, 113, "rim dark, right"},   {61, 12, 113, "rim dark, right"},
    {32, 3, 176, "line, top"},          {3, 32, 177, "line, left"},
    {60, 32, 141, "line, right"},       {32, 60, 139, "line, bottom"},
    {32, 4, 188, "band, top"},          {32, 9, 188, "band, top"},
    {4, 32, 190, "band, left"},         {10, 32, 190, "band, left"},
    {53, 32, 169, "band, right"},       {59, 32, 169, "band, right"},
    {32, 54, 165, "band, bottom"},      {32, 59, 165, "band, bottom"},
    {32, 10, 92, "recess lip, top"},    {32, 11, 60, "recess, top"},
    {32, 12, 60, "recess, top"},        {11, 32, 90, "recess lip, left"},
    {12, 32, 57, "recess, left"},       {13, 32, 57, "recess, left"},
    {50, 32, 123, "recess, right"},     {51, 32, 123, "recess, right"},
    {52, 32, 146, "recess lip, right"}, {32, 51, 125, "recess, bottom"},
    {32, 52, 125, "recess, bottom"},    {32, 53, 145, "recess lip, bottom"},
};

TEST(Frame, EveryElementHasItsColourInAllFiveTiles) {
    for (int32_t tile = 1; tile <= 5; ++tile) {
        for (const Sample& s : frame_samples) {
            EXPECT_EQ(art_pixel(tile, s.x, s.y), grey_of(s.grey))
                << s.element << " at " << s.x << ", " << s.y << " of tile " << tile;
        }
    }
}

TEST(Frame, RimSeamsBlendOnTheTopRightAndBottomLeftDiagonals) {
    for (int32_t tile = 1; tile <= 5; ++tile) {
        for (int32_t i = 0; i < 3; ++i) {
            // Top-right: the light top rows meet the dark right columns.
            EXPECT_EQ(art_pixel(tile, 63 - i, i), grey_of(151)) << i;
            EXPECT_EQ(art_pixel(tile, 63 - i, i + 1), grey_of(126)) << i;
            EXPECT_EQ(art_pixel(tile, 62 - i, i), grey_of(164)) << i;
            // Bottom-left: the light left columns meet the dark bottom rows.
            EXPECT_EQ(art_pixel(tile, i, 63 - i), grey_of(151)) << i;
            EXPECT_EQ(art_pixel(tile, i + 1, 63 - i), grey_of(126)) << i;
            EXPECT_EQ(art_pixel(tile, i, 62 - i), grey_of(164)) << i;
        }
        // Outside the seams the corners are plain.
        EXPECT_EQ(art_pixel(tile, 0, 0), grey_of(164));
        EXPECT_EQ(art_pixel(tile, 2, 2), grey_of(164));
        EXPECT_EQ(art_pixel(tile, 63, 63), grey_of(113));
        EXPECT_EQ(art_pixel(tile, 61, 61), grey_of(113));
        EXPECT_EQ(art_pixel(tile, 63, 2), grey_of(113));
        EXPECT_EQ(art_pixel(tile, 2, 63), grey_of(113));
    }
}

bool strictly_between(int32_t value, int32_t a, int32_t b) {
    return (value > a && value < b) || (value > b && value < a);
}

TEST(Frame, BandsMeetInMitresWithABlendOnTheDiagonal) {
    struct Corner {
        int32_t x0, y0, dx, dy;    // the band's outer corner and the direction inwards
        int32_t along_x, along_y;  // the greys of the band running across and down
    };
    const Corner corners[] = {{4, 4, 1, 1, 188, 190},
                              {59, 4, -1, 1, 188, 169},
                              {4, 59, 1, -1, 165, 190},
                              {59, 59, -1, -1, 165, 169}};
    for (int32_t tile = 1; tile <= 5; ++tile) {
        for (const Corner& c : corners) {
            for (int32_t i = 0; i < 6; ++i) {
                const int32_t x = c.x0 + i * c.dx;
                const int32_t y = c.y0 + i * c.dy;
                const Rgb mitre = art_pixel(tile, x, y);
                EXPECT_TRUE(mitre.red == mitre.green && mitre.green == mitre.blue);
                EXPECT_TRUE(strictly_between(mitre.red, c.along_x, c.along_y))
                    << "mitre at " << x << ", " << y << ": " << mitre;
                // One step off the diagonal, each band has its own grey.
                EXPECT_EQ(art_pixel(tile, x + c.dx, y), grey_of(c.along_x)) << x << ", " << y;
                EXPECT_EQ(art_pixel(tile, x, y + c.dy), grey_of(c.along_y)) << x << ", " << y;
            }
        }
    }
}

TEST(Frame, IsGreyAndTheSameInAllFiveTiles) {
    for (int32_t y = 0; y < 64; ++y) {
        for (int32_t x = 0; x < 64; ++x) {
            if (in_face_box(x, y)) {
                continue;
            }
            const Rgb first = art_pixel(1, x, y);
            ASSERT_TRUE(first.red == first.green && first.green == first.blue) << x << ", " << y;
            for (int32_t tile = 2; tile <= 5; ++tile) {
                ASSERT_EQ(art_pixel(tile, x, y), first) << x << ", " << y << " of tile " << tile;
            }
        }
    }
}

TEST(StoredBytes, FirstPixelOfEveryArrayAndTheYellowFace) {
    for (int32_t tile = 0; tile < 5; ++tile) {
        const unsigned char* first = tile_art + tile * tile_image_bytes;
        EXPECT_EQ(first[0], 151);
        EXPECT_EQ(first[1], 151);
        EXPECT_EQ(first[2], 151);
    }
    // Picture pixel (32, 32) lies in stored row 31.
    const unsigned char* yellow = tile_art + tile_image_bytes + 31 * tile_row_bytes + 32 * 3;
    EXPECT_EQ(yellow[0], 0x84);
    EXPECT_EQ(yellow[1], 0xFE);
    EXPECT_EQ(yellow[2], 0xFE);
}

TEST(PlainFaces, SolidInsideWithBlendedEdges) {
    const Rgb faces[] = {{254, 254, 132}, {132, 254, 254}, {132, 254, 132}, {254, 132, 71}};
    // Each edge holds about 5/8 (left, right) or 1/2 (top, bottom) of the face colour, the rest
    // the recess grey beside it: within one of that in every channel.
    auto near_blend = [](Rgb got, Rgb face, int32_t recess, double share) {
        auto near = [&](int32_t g, int32_t f) {
            const double want = f * share + recess * (1 - share);
            return g >= want - 1 && g <= want + 1;
        };
        return near(got.red, face.red) && near(got.green, face.green) && near(got.blue, face.blue);
    };
    for (int32_t k = 0; k < 4; ++k) {
        const int32_t tile = k + 2;
        for (int32_t y = 14; y <= 49; ++y) {
            for (int32_t x = 15; x <= 48; ++x) {
                ASSERT_EQ(art_pixel(tile, x, y), faces[k]) << x << ", " << y << " of " << tile;
            }
        }
        for (int32_t i = 20; i <= 44; i += 8) {
            EXPECT_TRUE(near_blend(art_pixel(tile, 14, i), faces[k], 57, 0.625)) << tile;
            EXPECT_TRUE(near_blend(art_pixel(tile, 49, i), faces[k], 123, 0.625)) << tile;
            EXPECT_TRUE(near_blend(art_pixel(tile, i, 13), faces[k], 60, 0.5)) << tile;
            EXPECT_TRUE(near_blend(art_pixel(tile, i, 50), faces[k], 125, 0.5)) << tile;
        }
    }
    // The yellow tile's edges exactly.
    EXPECT_EQ(art_pixel(2, 14, 30), (Rgb{180, 180, 104}));
    EXPECT_EQ(art_pixel(2, 49, 30), (Rgb{205, 205, 129}));
    EXPECT_EQ(art_pixel(2, 30, 13), (Rgb{157, 157, 96}));
    EXPECT_EQ(art_pixel(2, 30, 50), (Rgb{190, 190, 129}));
}

// ---- The sunflower ----

Rgb sun(int32_t fx, int32_t fy) {  // face-box coordinates
    return art_pixel(1, 14 + fx, 13 + fy);
}

bool is_sky_blue(const Rgb& c) {
    return c.blue >= 120 && c.blue > c.red + 40 && c.blue > c.green + 15;
}

bool is_bright_yellow(const Rgb& c) {
    return c.red >= 190 && c.green >= 140 && c.blue <= 90 && c.red >= c.green;
}

TEST(Sunflower, HasManyColoursAndTheRightAverage) {
    std::set<std::tuple<int32_t, int32_t, int32_t>> colours;
    double sum[3] = {0, 0, 0};
    for (int32_t fy = 0; fy < 38; ++fy) {
        for (int32_t fx = 0; fx < 36; ++fx) {
            const Rgb c = sun(fx, fy);
            colours.insert({c.red, c.green, c.blue});
            sum[0] += c.red;
            sum[1] += c.green;
            sum[2] += c.blue;
        }
    }
    EXPECT_GE(colours.size(), 800u);
    const double count = 36 * 38;
    EXPECT_NEAR(sum[0] / count, 137, 12);
    EXPECT_NEAR(sum[1] / count, 112, 12);
    EXPECT_NEAR(sum[2] / count, 46, 12);
}

TEST(Sunflower, SkyShowsAlongTheLeftRightAndBottomEdges) {
    int32_t left = 0;
    int32_t right = 0;
    int32_t bottom = 0;
    for (int32_t i = 0; i < 38; ++i) {
        left += is_sky_blue(sun(0, i)) + is_sky_blue(sun(1, i));
        right += is_sky_blue(sun(34, i)) + is_sky_blue(sun(35, i));
    }
    for (int32_t i = 0; i < 36; ++i) {
        bottom += is_sky_blue(sun(i, 36)) + is_sky_blue(sun(i, 37));
    }
    EXPECT_GE(left, 6);
    EXPECT_GE(right, 6);
    EXPECT_GE(bottom, 12);
}

TEST(Sunflower, DarkCentreInTheUpperHalfInsideAnOrangeBrownDisc) {
    // The darkest 3 x 3 patch.
    int32_t best = 1 << 30;
    int32_t cx = 0;
    int32_t cy = 0;
    for (int32_t fy = 1; fy < 37; ++fy) {
        for (int32_t fx = 1; fx < 35; ++fx) {
            int32_t total = 0;
            for (int32_t dy = -1; dy <= 1; ++dy) {
                for (int32_t dx = -1; dx <= 1; ++dx) {
                    const Rgb c = sun(fx + dx, fy + dy);
                    total += c.red + c.green + c.blue;
                }
            }
            if (total < best) {
                best = total, cx = fx, cy = fy;
            }
        }
    }
    EXPECT_LT(cy, 19) << "the centre is in the upper half";
    EXPECT_GE(cx, 12);
    EXPECT_LE(cx, 24);
    EXPECT_LT(best / 27, 70) << "the centre is dark";
    // Around it, a ring of brown to orange: red over green over blue.
    int32_t brown = 0;
    for (int32_t k = 0; k < 8; ++k) {
        const int32_t offsets[8][2] = {{6, 0}, {-6, 0}, {0, 6},  {0, -6},
                                       {4, 4}, {-4, 4}, {4, -4}, {-4, -4}};
        const Rgb c = sun(cx + offsets[k][0], cy + offsets[k][1]);
        brown += c.red > c.green + 20 && c.green > c.blue && c.red >= 70;
    }
    EXPECT_GE(brown, 7);
    // Bright yellow petals on every side beyond the disc.
    const int32_t directions[4][2] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}};
    for (const auto& d : directions) {
        int32_t yellow = 0;
        for (int32_t r = 9; r <= 18; ++r) {
            const int32_t fx = cx + d[0] * r;
            const int32_t fy = cy + d[1] * r;
            if (fx >= 0 && fx < 36 && fy >= 0 && fy < 38) {
                for (int32_t side = -2; side <= 2; ++side) {
                    yellow += is_bright_yellow(sun(fx + d[1] * side, fy + d[0] * side));
                }
            }
        }
        EXPECT_GE(yellow, 4) << "towards " << d[0] << ", " << d[1];
    }
}

TEST(Sunflower, TouchOfGreenAtTheBottomLeft) {
    int32_t green_bottom_left = 0;
    int32_t green_elsewhere = 0;
    for (int32_t fy = 0; fy < 38; ++fy) {
        for (int32_t fx = 0; fx < 36; ++fx) {
            const Rgb c = sun(fx, fy);
            const bool green = c.green > c.red + 20 && c.green > c.blue + 20;
            (fx < 12 && fy >= 26 ? green_bottom_left : green_elsewhere) += green;
        }
    }
    EXPECT_GE(green_bottom_left, 10);
    EXPECT_LT(green_elsewhere, green_bottom_left);
}

}  // namespace
