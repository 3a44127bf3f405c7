// The pixels a paint draws into, apart from the tiles so that the portable program's header
// needs no platform header.
#pragma once

#include <cstdint>

// A plain pixel buffer: rows top-down, `stride` bytes apart (at least width * bytes_per_pixel),
// pixels blue-green-red (3 bytes) or blue-green-red-alpha (4 bytes; a drawn pixel gets 255).
struct PixelBuffer {
    unsigned char* pixels;
    int32_t width;
    int32_t height;
    int32_t stride;
    int32_t bytes_per_pixel;
};
