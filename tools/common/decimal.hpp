// Reading the decimal numbers of the command-line tools' input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// A decimal number with an optional sign and nothing else, within [low, high]; low and high
// lie within +-2^33, so no step of the reading can overflow.
inline bool parse_decimal(const std::string& word, int64_t low, int64_t high, int64_t& value) {
    std::size_t at = 0;
    bool negative = false;
    if (at < word.size() && (word[at] == '+' || word[at] == '-')) {
        negative = word[at] == '-';
        ++at;
    }
    if (at == word.size()) {
        return false;
    }
    int64_t magnitude = 0;
    for (; at < word.size(); ++at) {
        if (word[at] < '0' || word[at] > '9') {
            return false;
        }
        magnitude = magnitude * 10 + (word[at] - '0');
        if (magnitude > int64_t{1} << 33) {
            return false;
        }
    }
    value = negative ? -magnitude : magnitude;
    return value >= low && value <= high;
}
