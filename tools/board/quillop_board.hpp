// The script runner of quillop-board, apart from the program's entry so that it can also be
// driven from memory.
#pragma once

#include <cstdio>
#include <string>

extern const char* const quillop_board_usage;

// Plays the board commands read from `input` (called `input_name` in messages) and writes
// their answers to `answers`. Returns 0 at the end of the input; 2 after a bad line or a
// failed read, with a one-line reason in `failure` that may hold any byte of the input.
int run_board_script(std::FILE* input, const std::string& input_name, std::FILE* answers,
                     std::string& failure);
