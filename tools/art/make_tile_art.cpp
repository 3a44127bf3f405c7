// make-tile-art: writes the C++ source of the five stored tile pictures.
#include <cstdio>
#include <cstring>
#include <string>

#include "tools/art/tile_design.hpp"

namespace {

const char usage[] =
    "usage: make-tile-art [FILE]\n"
    "Writes the source that defines the stored tile pictures to FILE, or to standard output.\n";

}  // namespace

int main(int argc, char** argv) {
    if (argc > 2 ||
        (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0))) {
        std::fputs(usage, argc > 2 ? stderr : stdout);
        return argc > 2 ? 2 : 0;
    }
    const std::string source = tile_art_source();
    std::FILE* output = argc == 2 ? std::fopen(argv[1], "wb") : stdout;
    if (output == nullptr) {
        std::fprintf(stderr, "make-tile-art: cannot write %s\n", argv[1]);
        return 1;
    }
    const bool written = std::fwrite(source.data(), 1, source.size(), output) == source.size();
    const bool closed = output == stdout ? std::fflush(output) == 0 : std::fclose(output) == 0;
    if (!written || !closed) {
        std::fprintf(stderr, "make-tile-art: writing %s failed\n",
                     argc == 2 ? argv[1] : "the output");
        return 1;
    }
    return 0;
}
