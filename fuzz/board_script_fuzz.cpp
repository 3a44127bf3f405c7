// quillop-board's script runner on any bytes: it ends with 0, or with 2 and a one-line
// reason that, escaped as the program prints it, holds no control byte.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "board/board.hpp"
#include "fuzz/fuzz_input.hpp"
#include "tools/board/quillop_board.hpp"
#include "tools/common/text_input.hpp"

namespace {

// Boards of a few thousand cells at most keep a script of many prints quick.
std::size_t largest_board_bytes = 1u << 14;
void* small_allocate(std::size_t bytes) {
    return bytes > largest_board_bytes ? nullptr : std::malloc(bytes);
}

std::size_t occurrences(const uint8_t* data, std::size_t size, const std::string& word) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::size_t count = 0;
    for (std::size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) {
        ++count;
    }
    return count;
}

void check_message(const std::string& failure) {
    check(!failure.empty());
    for (const char c : escaped(failure)) {
        const auto byte = static_cast<unsigned char>(c);
        check(byte >= 0x20 && byte != 0x7F);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    static std::FILE* answers = std::fopen("/dev/null", "w");
    check(answers != nullptr);
    if (size == 0) {
        return 0;
    }
    // A solve costs far more than any other command: a script that solves gets a few of
    // them, on boards of a few hundred cells, each within a small budget and a small table
    // (kept from input to input).
    const std::size_t solves = occurrences(data, size, "solve");
    if (solves > 4) {
        return 0;
    }
    largest_board_bytes = solves > 0 ? 1u << 10 : 1u << 14;
    board_allocate = small_allocate;
    solve_node_cap = 200;
    solve_table_bytes = std::size_t{1} << 16;
    solve_table_cap = std::size_t{1} << 16;
    std::FILE* script = fmemopen(const_cast<uint8_t*>(data), size, "r");
    check(script != nullptr);
    std::string failure;
    const int status = run_board_script(script, "the script", answers, failure);
    std::fclose(script);
    release_board();
    check(status == 0 || status == 2);
    if (status == 2) {
        check_message(failure);
    } else {
        check(failure.empty());
    }
    return 0;
}
