// Reading the command-line tools' text input a word at a time. No line is ever held whole,
// so a line of any length costs no more memory than the first bytes of one word, and
// numbers are read as their digits arrive.
#pragma once

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

struct TextInput {
    std::FILE* file = nullptr;
    int64_t line_number = 0;
    bool at_line_end = true;  // nothing more to read on the current line
    int read_error = 0;       // errno of the read that failed; 0 while none has
};

// A word keeps this many bytes for comparisons and messages; every command and every
// number that can be in range is shorter.
constexpr std::size_t kept_word_bytes = 64;
// Beyond this a number is out of every range the tools accept, and reading stops adding
// digits, so no step can overflow.
constexpr int64_t largest_magnitude = int64_t{1} << 33;

struct Word {
    std::string text;  // the first kept_word_bytes bytes
    int64_t length = 0;
    bool decimal = true;  // one optional sign, then digits only (so far)
    bool has_digits = false;
    bool negative = false;
    int64_t magnitude = 0;  // stops growing past largest_magnitude
};

inline void note_read_error(TextInput& input) {
    if (input.read_error == 0 && std::ferror(input.file)) {
        input.read_error = errno != 0 ? errno : EIO;
    }
}

// The next byte of the current line, or EOF at its end. A carriage return just before the
// line feed (or the end of the input) is part of the line ending, so CRLF scripts read alike.
inline int next_line_byte(TextInput& input) {
    if (input.at_line_end) {
        return EOF;
    }
    int c = std::fgetc(input.file);
    if (c == '\r') {
        const int after = std::fgetc(input.file);
        if (after == '\n' || after == EOF) {
            c = after;
        } else {
            std::ungetc(after, input.file);
        }
    }
    if (c == '\n' || c == EOF) {
        input.at_line_end = true;
        note_read_error(input);
        return EOF;
    }
    return c;
}

// Moves to the start of the next line, skipping the rest of the current one. False at the
// end of the input, and after a failed read (read_error then says why).
inline bool next_line(TextInput& input) {
    while (next_line_byte(input) != EOF) {
    }
    if (input.read_error != 0) {
        return false;
    }
    const int c = std::fgetc(input.file);
    if (c == EOF) {
        note_read_error(input);
        return false;
    }
    std::ungetc(c, input.file);
    input.at_line_end = false;
    ++input.line_number;
    return true;
}

inline bool is_blank(int c) {
    return c == ' ' || c == '\t';
}

inline void add_to_word(Word& word, char c) {
    if (word.text.size() < kept_word_bytes) {
        word.text.push_back(c);
    }
    const bool sign = word.length == 0 && (c == '+' || c == '-');
    ++word.length;
    if (sign) {
        word.negative = c == '-';
    } else if (c < '0' || c > '9') {
        word.decimal = false;
    } else {
        word.has_digits = true;
        if (word.magnitude <= largest_magnitude) {
            word.magnitude = word.magnitude * 10 + (c - '0');
        }
    }
}

// The next word of the current line (bytes between blanks and tabs); false when the line
// has no more.
inline bool next_word(TextInput& input, Word& word) {
    int c = next_line_byte(input);
    while (is_blank(c)) {
        c = next_line_byte(input);
    }
    if (c == EOF) {
        return false;
    }
    word.text.clear();
    word.length = 0;
    word.decimal = true;
    word.has_digits = false;
    word.negative = false;
    word.magnitude = 0;
    for (; c != EOF && !is_blank(c); c = next_line_byte(input)) {
        add_to_word(word, static_cast<char>(c));
    }
    return true;
}

// A whole string as one word, such as a command-line argument.
inline Word word_of(const std::string& text) {
    Word word;
    for (const char c : text) {
        add_to_word(word, c);
    }
    return word;
}

// The word as a decimal number with an optional sign and nothing else, within [low, high]
// (both within +-2^33).
inline bool word_value(const Word& word, int64_t low, int64_t high, int64_t& value) {
    if (!word.decimal || !word.has_digits || word.magnitude > largest_magnitude) {
        return false;
    }
    value = word.negative ? -word.magnitude : word.magnitude;
    return value >= low && value <= high;
}

// The word for a message: its kept bytes, with "..." when it was longer.
inline std::string shown(const Word& word) {
    return static_cast<int64_t>(word.text.size()) < word.length ? word.text + "..." : word.text;
}

// Text fit for a terminal line: control bytes and the backslash written as escapes, so that
// a NUL cannot cut a message short and a carriage return cannot overwrite it.
inline std::string escaped(const std::string& text) {
    static const char hex[] = "0123456789abcdef";
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\\') {
            out += "\\\\";
        } else if (c == '\0') {
            out += "\\0";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (byte < 0x20 || byte == 0x7F) {
            out += "\\x";
            out.push_back(hex[byte >> 4]);
            out.push_back(hex[byte & 0xF]);
        } else {
            out.push_back(c);
        }
    }
    return out;
}
