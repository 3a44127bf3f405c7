// quillop-board: plays a script of board commands, one a line, and prints each answer.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "board/board.hpp"
#include "tools/common/board_position.hpp"
#include "tools/common/decimal.hpp"

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
    "The board is left as it was by a solve; its click lines, played after the same position,\n"
    "leave LEFT tiles.\n"
    "Cell values: 0 empty, 1 2 4 8 16 the colours, -1 no cell.\n"
    "Exit status: 0, or 2 after a bad line (reported on standard error).\n";

struct Script {
    std::FILE* input;
    int64_t line_number;
    std::string failure;  // set when the run must end
};

bool read_line(Script& script, std::string& line) {
    line.clear();
    int c = 0;
    bool any = false;
    while ((c = std::fgetc(script.input)) != EOF) {
        any = true;
        if (c == '\n') {
            break;
        }
        line.push_back(static_cast<char>(c));
    }
    if (!any) {
        return false;
    }
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    ++script.line_number;
    return true;
}

bool is_blank(char c) {
    return c == ' ' || c == '\t';
}

std::vector<std::string> split_words(const std::string& line) {
    std::vector<std::string> words;
    std::size_t at = 0;
    while (at < line.size()) {
        while (at < line.size() && is_blank(line[at])) {
            ++at;
        }
        std::size_t end = at;
        while (end < line.size() && !is_blank(line[end])) {
            ++end;
        }
        if (end > at) {
            words.push_back(line.substr(at, end - at));
        }
        at = end;
    }
    return words;
}

bool is_skipped(const std::vector<std::string>& words) {
    return words.empty() || words[0][0] == '#';
}

bool fail(Script& script, const std::string& what) {
    script.failure = what;
    return false;
}

// Reads the numbers after the command word; the count must match exactly.
bool parse_arguments(Script& script, const std::vector<std::string>& words, std::size_t least,
                     std::size_t most, std::vector<int64_t>& values) {
    const std::size_t count = words.size() - 1;
    if (count < least || count > most) {
        std::string expected = std::to_string(least);
        if (most > least) {
            expected += " or " + std::to_string(most);
        }
        return fail(script,
                    words[0] + ": expected " + expected + " numbers, got " + std::to_string(count));
    }
    values.clear();
    for (std::size_t i = 1; i < words.size(); ++i) {
        const bool seed = words[0] == "deal" && i == 4;
        const int64_t low = seed ? 0 : INT32_MIN;
        const int64_t high = seed ? int64_t{UINT32_MAX} : INT32_MAX;
        int64_t value = 0;
        if (!parse_decimal(words[i], low, high, value)) {
            return fail(script, words[0] + ": '" + words[i] + "' is not " +
                                    (seed ? "a seed from 0 to 4294967295"
                                          : "a signed 32-bit decimal number"));
        }
        values.push_back(value);
    }
    return true;
}

void answer(int64_t value) {
    std::printf("%lld\n", static_cast<long long>(value));
}

int32_t narrow(int64_t value) {
    return static_cast<int32_t>(value);
}

void print_board() {
    if (current_origin == nullptr) {
        std::puts("no board");
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
        std::puts(text.c_str());
    }
}

bool run_load(Script& script, int32_t width, int32_t height) {
    if (width < 2 || height < 2) {
        return fail(script, "load: width and height must be at least 2");
    }
    std::vector<Cell> cells;
    std::string line;
    for (int32_t row = 0; row < height;) {
        if (!read_line(script, line)) {
            return fail(script, "load: the input ends after " + std::to_string(row) + " of " +
                                    std::to_string(height) + " rows");
        }
        const std::vector<std::string> words = split_words(line);
        if (is_skipped(words)) {
            continue;
        }
        if (words.size() != static_cast<std::size_t>(width)) {
            return fail(script, "load: row " + std::to_string(row) + " has " +
                                    std::to_string(words.size()) + " values, expected " +
                                    std::to_string(width));
        }
        for (const std::string& word : words) {
            int64_t value = 0;
            if (!parse_decimal(word, INT32_MIN, INT32_MAX, value) ||
                (value != 0 && value != 1 && value != 2 && value != 4 && value != 8 &&
                 value != 16)) {
                return fail(script, "load: '" + word + "' is not a cell value (0 1 2 4 8 16)");
            }
            cells.push_back(static_cast<Cell>(value));
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
        std::puts("no board");
        return true;
    }
    if (!current_position(position, failure) || !solver_table(table, failure)) {
        return fail(script, command + ": " + failure);
    }
    SolveLimits limits;
    limits.seconds = nodes ? 0 : static_cast<double>(amount);
    limits.nodes = nodes ? amount : 0;
    Solution solution;
    if (!solve_position(position, limits, table, solution, failure)) {
        return fail(script, command + ": " + failure);
    }
    print_solution(solution);
    return true;
}

// Runs one command line; false ends the run with script.failure.
bool run_command(Script& script, const std::vector<std::string>& words) {
    const std::string& command = words[0];
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
            return fail(script, command + ": '" + words[1] + "' is not a count from 1 to " +
                                    std::to_string(INT32_MAX));
        }
        return run_solve(script, command, v.empty() ? 10 : v[0], nodes);
    } else if (command == "print") {
        if (!parse_arguments(script, words, 0, 0, v)) {
            return false;
        }
        print_board();
    } else {
        return fail(script, "unknown command '" + command + "'");
    }
    return true;
}

int run_script(std::FILE* input) {
    Script script{input, 0, {}};
    std::string line;
    while (read_line(script, line)) {
        const std::vector<std::string> words = split_words(line);
        if (is_skipped(words)) {
            continue;
        }
        if (!run_command(script, words)) {
            std::fflush(stdout);
            std::fprintf(stderr, "quillop-board: line %lld: %s\n",
                         static_cast<long long>(script.line_number), script.failure.c_str());
            return 2;
        }
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 2) {
        std::fputs(usage, stderr);
        return 2;
    }
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(usage, stdout);
        return 0;
    }
    std::FILE* input = stdin;
    if (argc == 2 && std::strcmp(argv[1], "-") != 0) {
        input = std::fopen(argv[1], "r");
        if (input == nullptr) {
            std::fprintf(stderr, "quillop-board: cannot open %s: %s\n", argv[1],
                         std::strerror(errno));
            return 2;
        }
    }
    const int status = run_script(input);
    if (input != stdin) {
        std::fclose(input);
    }
    release_board();
    release_table(table);
    return status;
}
