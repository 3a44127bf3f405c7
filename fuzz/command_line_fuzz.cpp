// The command line as the program gets it: the tail after the program's name, the three
// numbers read from it (compared with the C library's sscanf), the client rectangle made
// from them and the clamped client extent.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "app/app.hpp"
#include "fuzz/fuzz_input.hpp"

namespace {

bool is_blank_or_tab(char c) {
    return c == ' ' || c == '\t';
}

// The tail lies inside the line, starts at no blank or tab, and what it skipped is blanks and
// tabs, one name (in quotes without a quote or tab, or else without blanks and tabs) and
// blanks and tabs again.
void check_tail(const char* line, const char* tail) {
    const std::size_t length = std::strlen(line);
    check(tail >= line && tail <= line + length);
    check(!is_blank_or_tab(*tail));
    const char* at = line;
    while (is_blank_or_tab(*at)) {
        ++at;
    }
    const bool quoted = *at == '"';
    if (quoted) {
        ++at;
    }
    const char* name_end = tail;
    while (name_end > at && is_blank_or_tab(name_end[-1])) {
        --name_end;
    }
    if (quoted && name_end > at && name_end[-1] == '"') {
        --name_end;
    }
    for (const char* c = at; c < name_end; ++c) {
        check(quoted ? *c != '"' && *c != '\t' : !is_blank_or_tab(*c));
    }
}

// sscanf's %d is undefined beyond int, so the reference reads 64 bits: where that value fits
// 32 bits it must be read exactly, beyond it modulo 2^32.
void check_numbers(const char* tail) {
    long long read[3] = {0, 0, 0};
    const int items = std::sscanf(tail, "%lld %lld %lld", &read[0], &read[1], &read[2]);
    colour_count = requested_width = requested_height = 0;  // as at start-up
    read_parameters(tail);
    const int32_t got[3] = {colour_count, requested_width, requested_height};
    for (int i = 0; i < 3; ++i) {
        if (i >= items) {
            check(got[i] == 0);
            continue;
        }
        const long long value = read[i];
        if (value >= INT32_MIN && value <= INT32_MAX) {
            check(got[i] == value);
        } else if (value > -(1LL << 62) && value < (1LL << 62)) {
            check(static_cast<uint32_t>(got[i]) == static_cast<uint32_t>(value));
        }
    }
}

int64_t clamp(int64_t value, int64_t low, int64_t high) {
    return value < low ? low : (value > high ? high : value);
}

// Exact where the value fits, and room for a frame around it whatever was asked.
void check_geometry(int32_t limit) {
    const ClientRect rect = requested_client_rect();
    // 4096 pixels at both ends of the 32-bit range are kept for the frame.
    constexpr int64_t rect_high = int64_t{INT32_MAX} - 4096;
    constexpr int64_t rect_low = int64_t{INT32_MIN} + 4096;
    check(rect.left == 50 && rect.top == 50);
    check(rect.right == clamp(int64_t{requested_width} * 64 + 48, rect_low, rect_high));
    check(rect.bottom == clamp(int64_t{requested_height} * 64 + 48, rect_low, rect_high));
    for (const int32_t cells : {requested_width, requested_height}) {
        const int32_t extent = client_extent(cells, limit);
        const int64_t high = limit < 1 ? 1 : limit;
        check(extent >= 1 && extent <= high);
        check(extent == clamp(int64_t{cells} * 64, 1, high));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size < 4) {
        return 0;
    }
    FuzzInput input{data, size, 0};
    const int32_t limit = next_int32(input);
    // Up to the first NUL, as a command line arrives.
    const std::string line(reinterpret_cast<const char*>(data) + 4, size - 4);
    const char* text = line.c_str();
    const char* tail = command_tail(text);
    check_tail(text, tail);
    check_numbers(tail);
    check_geometry(limit);
    return 0;
}
