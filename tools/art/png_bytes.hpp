// A picture as the bytes of a PNG file, encoded by stb_image_write (Debian's libstb-dev).
#pragma once

#include <cstdint>
#include <vector>

// `rgb` is width x height pixels, red-green-blue, top row first. Empty when encoding fails.
std::vector<unsigned char> png_bytes(const std::vector<unsigned char>& rgb, int32_t width,
                                     int32_t height);
