// quillop-board: plays a script of board commands, one a line, and prints each answer.
#include "tools/board/quillop_board.hpp"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "board/board.hpp"
#include "tools/board/quillop_board.hpp"
#include "tools/common/solving.hpp"
#include "tools/common/text_input.hpp"

int64_t solve_node_cap = 0;
std::size_t solve_table_bytes = default_table_bytes;
std::size_t solve_table_cap = 0;

namespace {

const char usage[] =
    "usage: quillop-board [SCRIPT]\n"
    "Reads board commands from SCRIPT, or from standard input, one a line.\n"
    "Blank lines and lines starting with # are skipped.\n"
    "  deal COLOURS WIDTH HEIGHT [SEED]  deal a board (SEED replaces the clock); prints 1 or 0\n"
    "  load WIDTH HEIGHT                 then HEIGHT lines of WIDTH cell values, top row\n"
    "                                    first: a settled position to play; prints 1\n"
    "  click COLUMN ROW                  play a move; prints 1 or 0\n"
    "  restore                           back to the dealt position; prints 1 or 0\n"
    "  cell COLUMN ROW                   prints the cell's value\n"
    "  print                             prints the current position, top row first\n"
    "  solve [SECONDS]                   searches SECONDS (10) for the moves that leave the\n"
    "                                    fewest tiles: prints 'solution LEFT MOVES optimal'\n"
    "                                    (proven) or '... best', then MOVES 'click C R' lines\n"
    "  solve-nodes NODES                 the same within NODES positions: always one answer\n"
    "  solution LEFT MOVES optimal|best  a solve's first line: checked, then passed over\n"
    "  table MIB                         the solves' search table: MIB MiB (256) from now on;\n"
    "                                    prints 1, or fails when the memory cannot be had\n"
    "The board is left as it was by a solve; its answer, played after the same position,\n"
    "leaves LEFT tiles.\n"
    "Cell values: 0 empty, 1 2 4 8 16 the colours, -1 no cell.\n"
    "Exit status: 0, or 2 after a bad line or a failed read (reported on standard error).\n";

struct Script {
    TextInput input;
    std::string failure;  // set when the run must end
};

// The commands' answers; standard output for the program.
std::FILE* answers = stdout;

bool fail(Script& script, const std::string& what) {
    script.failure = what;
    return false;
}

// The words of a command line. Any command takes at most a few numbers, so the words after
// the first few are only counted: a line of millions of numbers is refused in little memory.
constexpr std::size_t kept_words = 16;

struct Words {
    std::vector<Word> kept;  // the command, then its first arguments
    int64_t count = 0;       // all words of the line, the command included
};

void read_words(Script& script, Words& words) {
    words.count = 1;
    Word word;
    while (next_word(script.input, word)) {
        if (words.kept.size() < kept_words) {
            words.kept.push_back(word);
        }
        ++words.count;
    }
}

// Reads the numbers after the command word; the count must match exactly.
bool parse_arguments(Script& script, const Words& words, std::size_t least, std::size_t most,
                     std::vector<int64_t>& values) {
    const std::string& command = words.kept[0].text;
    const int64_t count = words.count - 1;
    if (count < static_cast<int64_t>(least) || count > static_cast<int64_t>(most)) {
        std::string expected = std::to_string(least);
        if (most > least) {
            expected += " or " + std::to_string(most);
        }
        return fail(script,
                    command + ": expected " + expected + " numbers, got " + std::to_string(count));
    }
    values.clear();
    for (std::size_t i = 1; i <= most && i < words.kept.size(); ++i) {
        const bool seed = command == "deal" && i == 4;
        const int64_t low = seed ? 0 : INT32_MIN;
        const int64_t high = seed ? int64_t{UINT32_MAX} : INT32_MAX;
        int64_t value = 0;
        if (!word_value(words.kept[i], low, high, value)) {
            return fail(script, command + ": '" + shown(words.kept[i]) + "' is not " +
                                    (seed ? "a seed from 0 to 4294967295"
                                          : "a signed 32-bit decimal number"));
        }
        values.push_back(value);
    }
    return true;
}

void answer(int64_t value) {
    std::fprintf(answers, "%lld\n", static_cast<long long>(value));
}

int32_t narrow(int64_t value) {
    return static_cast<int32_t>(value);
}

void print_board() {
    if (current_origin == nullptr) {
        std::fputs("no board\n", answers);
        return;
    }
    std::string text;
    for (int32_t row = 0; row < board_height; ++row) {
        text.clear();
        for (int32_t column = 0; column < board_width; ++column) {
            if (column > 0) {
                text.push_back(' ');
            }
            text += std::to_string(board_cell(column, row));
        }
        text.push_back('\n');
        std::fputs(text.c_str(), answers);
    }
}

// One row of a load, read value by value; a row is refused at its first surplus value.
bool read_load_row(Script& script, int32_t width, int32_t row, Word& word,
                   std::vector<Cell>& cells) {
    int64_t count = 0;
    do {
        int64_t value = 0;
        if (!word_value(word, INT32_MIN, INT32_MAX, value) || !is_cell_value(value)) {
            return fail(script, "load: '" + shown(word) + "' is not a cell value (0 1 2 4 8 16)");
        }
        if (++count > width) {
            return fail(script, "load: row " + std::to_string(row) + " has more than " +
                                    std::to_string(width) + " values");
        }
        cells.push_back(static_cast<Cell>(value));
    } while (next_word(script.input, word));
    if (count < width) {
        return fail(script, "load: row " + std::to_string(row) + " has " + std::to_string(count) +
                                " values, expected " + std::to_string(width));
    }
    return true;
}

bool run_load(Script& script, int32_t width, int32_t height) {
    if (width < 2 || height < 2) {
        return fail(script, "load: width and height must be at least 2");
    }
    std::vector<Cell> cells;
    Word word;
    for (int32_t row = 0; row < height;) {
        if (!next_line(script.input)) {
            return fail(script, "load: the input ends after " + std::to_string(row) + " of " +
                                    std::to_string(height) + " rows");
        }
        if (!next_word(script.input, word) || word.text[0] == '#') {
            continue;
        }
        if (!read_load_row(script, width, row, word, cells)) {
            return false;
        }
        ++row;
    }
    if (position_is_settled(width, height, cells.data()) == 0) {
        return fail(script, "load: the position is not settled");
    }
    answer(load_board(width, height, cells.data()));
    return true;
}

TranspositionTable table;

bool run_solve(Script& script, const std::string& command, int64_t amount, bool nodes) {
    Position position;
    std::string failure;
    if (current_origin == nullptr) {
        std::fputs("no board\n", answers);
        return true;
    }
    if (!current_position(position, failure) || !solver_table(table, solve_table_bytes, failure)) {
        return fail(script, command + ": " + failure);
    }
    SolveLimits limits;
    limits.seconds = nodes ? 0 : static_cast<double>(amount);
    limits.nodes = nodes ? amount : 0;
    if (solve_node_cap > 0 && (limits.nodes == 0 || limits.nodes > solve_node_cap)) {
        limits.nodes = solve_node_cap;
    }
    Solution solution;
    if (!solve_position(position, limits, table, solution, failure)) {
        return fail(script, command + ": " + failure);
    }
    print_solution(solution, answers);
    return true;
}

// A new search table of MIB MiB, made at once so that a size the machine cannot give is
// reported here, before any solve.
bool run_table(Script& script, int64_t mib) {
    if (static_cast<uint64_t>(mib) > (std::numeric_limits<std::size_t>::max() >> 20)) {
        return fail(script,
                    "table: cannot allocate the " + std::to_string(mib) + " MiB search table");
    }
    solve_table_bytes = static_cast<std::size_t>(mib) << 20;
    if (solve_table_cap > 0 && solve_table_bytes > solve_table_cap) {
        solve_table_bytes = solve_table_cap;
    }
    release_table(table);
    std::string failure;
    if (!solver_table(table, solve_table_bytes, failure)) {
        solve_table_bytes = default_table_bytes;
        return fail(script, "table: " + failure);
    }
    answer(1);
    return true;
}

// The first line of a solve's answer, so that the whole answer plays as a script: only its
// form is checked.
bool run_solution_line(Script& script, const Words& words) {
    int64_t value = 0;
    const bool good = words.count == 4 && word_value(words.kept[1], 0, INT32_MAX, value) &&
                      word_value(words.kept[2], 0, INT32_MAX, value) &&
                      (words.kept[3].text == "optimal" || words.kept[3].text == "best");
    if (!good) {
        return fail(script, "solution: expected LEFT MOVES, then optimal or best");
    }
    return true;
}

// Runs one command line; false ends the run with script.failure.
bool run_command(Script& script, const Words& words) {
    const std::string& command = words.kept[0].text;
    std::vector<int64_t> v;
    if (command == "deal") {
        if (!parse_arguments(script, words, 3, 4, v)) {
            return false;
        }
        if (v.size() == 4) {
            answer(deal_board_seeded(narrow(v[0]), narrow(v[1]), narrow(v[2]),
                                     static_cast<uint32_t>(v[3])));
        } else {
            answer(deal_board(narrow(v[0]), narrow(v[1]), narrow(v[2])));
        }
    } else if (command == "load") {
        if (!parse_arguments(script, words, 2, 2, v)) {
            return false;
        }
        return run_load(script, narrow(v[0]), narrow(v[1]));
    } else if (command == "click") {
        if (!parse_arguments(script, words, 2, 2, v)) {
            return false;
        }
        answer(play_move(narrow(v[0]), narrow(v[1])));
    } else if (command == "restore") {
        if (!parse_arguments(script, words, 0, 0, v)) {
            return false;
        }
        answer(restore_board());
    } else if (command == "cell") {
        if (!parse_arguments(script, words, 2, 2, v)) {
            return false;
        }
        answer(board_cell(narrow(v[0]), narrow(v[1])));
    } else if (command == "solve" || command == "solve-nodes") {
        const bool nodes = command == "solve-nodes";
        if (!parse_arguments(script, words, nodes ? 1 : 0, 1, v)) {
            return false;
        }
        if (!v.empty() && v[0] < 1) {
            return fail(script, command + ": '" + shown(words.kept[1]) +
                                    "' is not a count from 1 to " + std::to_string(INT32_MAX));
        }
        return run_solve(script, command, v.empty() ? 10 : v[0], nodes);
    } else if (command == "table") {
        if (!parse_arguments(script, words, 1, 1, v)) {
            return false;
        }
        if (v[0] < 1 || v[0] > int64_t{1} << 30) {
            return fail(script, "table: '" + shown(words.kept[1]) +
                                    "' is not a size in MiB from 1 to 1073741824");
        }
        return run_table(script, v[0]);
    } else if (command == "solution") {
        return run_solution_line(script, words);
    } else if (command == "print") {
        if (!parse_arguments(script, words, 0, 0, v)) {
            return false;
        }
        print_board();
    } else {
        return fail(script, "unknown command '" + shown(words.kept[0]) + "'");
    }
    return true;
}

}  // namespace

const char* const quillop_board_usage = usage;

void release_solve_table() {
    release_table(table);
}

int run_board_script(std::FILE* input, const std::string& input_name, std::FILE* output,
                     std::string& failure) {
    answers = output;
    Script script{TextInput{input}, {}};
    Words words;
    bool ok = true;
    while (ok && next_line(script.input)) {
        words.kept.resize(1);
        if (!next_word(script.input, words.kept[0]) || words.kept[0].text[0] == '#') {
            continue;
        }
        read_words(script, words);
        ok = run_command(script, words);
    }
    std::fflush(answers);
    // A failed read ends the run whatever was being read, even a load's rows.
    if (script.input.read_error != 0) {
        failure = "cannot read " + input_name + ": " + std::strerror(script.input.read_error);
        return 2;
    }
    if (!ok) {
        failure = "line " + std::to_string(script.input.line_number) + ": " + script.failure;
        return 2;
    }
    return 0;
}
