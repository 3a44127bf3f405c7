// The script runner of quillop-board, apart from the program's entry so that it can also be
// driven from memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

extern const char* const quillop_board_usage;

// Plays the board commands read from `input` (called `input_name` in messages) and writes
// their answers to `answers`. Returns 0 at the end of the input; 2 after a bad line or a
// failed read, with a one-line reason in `failure` that may hold any byte of the input.
int run_board_script(std::FILE* input, const std::string& input_name, std::FILE* answers,
                     std::string& failure);

// Every solve of a run stops after this many positions when it is above 0, whatever it asked
// for; a fuzzer keeps its runs short with it.
extern int64_t solve_node_cap;
// The size of the search table, allocated on the first solve and kept for the next ones;
// the command `table MIB` sets it. Above 0, solve_table_cap bounds what `table` may ask for
// (a fuzzer keeps its memory small with it).
extern std::size_t solve_table_bytes;
extern std::size_t solve_table_cap;
void release_solve_table();
