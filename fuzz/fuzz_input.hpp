// Taking a fuzzer's bytes apart into the values a harness needs; past the end every value is 0.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>

struct FuzzInput {
    const uint8_t* data;
    std::size_t size;
    std::size_t at;
};

inline bool more(const FuzzInput& input) {
    return input.at < input.size;
}

inline uint8_t next_byte(FuzzInput& input) {
    return more(input) ? input.data[input.at++] : 0;
}

inline uint32_t next_word(FuzzInput& input) {
    uint32_t word = 0;
    for (int i = 0; i < 4; ++i) {
        word = (word << 8) | next_byte(input);
    }
    return word;
}

inline int32_t next_int32(FuzzInput& input) {
    const uint32_t word = next_word(input);
    return word <= INT32_MAX ? static_cast<int32_t>(word) : -static_cast<int32_t>(~word) - 1;
}

// Mostly values from low - 2 to low + spread + 1 (spread below 256), sometimes any 32-bit value.
inline int32_t next_near(FuzzInput& input, int32_t low, int32_t spread) {
    const uint8_t kind = next_byte(input);
    if (kind >= 0xF0) {
        return next_int32(input);
    }
    return static_cast<int32_t>(int64_t{low} - 2 + kind % (spread + 4));
}

// A failed check ends the run at once; libFuzzer keeps the input that did it.
inline void check(bool condition) {
    if (!condition) {
        std::abort();
    }
}
