// The drawing of the five coloured tile pictures: the shared grey frame, the four plain
// faces and the sunflower. Deterministic: the same bytes on every run.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct ArtColour {
    int32_t red;
    int32_t green;
    int32_t blue;
};

constexpr int32_t art_side = 64;
constexpr int32_t art_tiles = 5;
constexpr int32_t art_image_bytes = art_side * art_side * 3;

// The face box every picture differs in; the frame lies outside it.
constexpr int32_t face_left = 14;
constexpr int32_t face_right = 49;
constexpr int32_t face_top = 13;
constexpr int32_t face_bottom = 50;
constexpr int32_t face_width = face_right - face_left + 1;   // 36
constexpr int32_t face_height = face_bottom - face_top + 1;  // 38

// The frame's colour at picture pixel (x, y), y from the top; meaningless inside the face box.
ArtColour frame_colour(int32_t x, int32_t y);

// The sunflower face, face_width x face_height pixels, top row first.
std::vector<ArtColour> sunflower_face();

// Picture `tile` (0 ... 4, for the colours 1, 2, 4, 8, 16), top row first.
std::vector<ArtColour> tile_picture(int32_t tile);

// All five pictures in the stored form: bottom row first, blue-green-red, one after another.
std::vector<unsigned char> tile_art_bytes();

// The C++ source that defines tile_art with those bytes.
std::string tile_art_source();
