// The one place that holds stb_image_write's code; only its memory writer is used.
#define STBI_WRITE_NO_STDIO
#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include "tools/art/png_bytes.hpp"

#include <stb_image_write.h>

namespace {

void append_bytes(void* context, void* data, int size) {
    auto* out = static_cast<std::vector<unsigned char>*>(context);
    const auto* bytes = static_cast<const unsigned char*>(data);
    out->insert(out->end(), bytes, bytes + size);
}

}  // namespace

std::vector<unsigned char> png_bytes(const std::vector<unsigned char>& rgb, int32_t width,
                                     int32_t height) {
    std::vector<unsigned char> out;
    if (width < 1 || height < 1 ||
        rgb.size() != static_cast<size_t>(width) * static_cast<size_t>(height) * 3) {
        return out;
    }
    if (stbi_write_png_to_func(append_bytes, &out, width, height, 3, rgb.data(), width * 3) == 0) {
        out.clear();
    }
    return out;
}
