// quillop-board's entry: picks the script and reports what ends a run.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "board/board.hpp"
#include "solver/solver.hpp"
#include "tools/board/quillop_board.hpp"
#include "tools/common/large_pages.hpp"
#include "tools/common/text_input.hpp"

namespace {

int report(const std::string& failure) {
    std::fprintf(stderr, "quillop-board: %s\n", escaped(failure).c_str());
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 2) {
        std::fputs(quillop_board_usage, stderr);
        return 2;
    }
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(quillop_board_usage, stdout);
        return 0;
    }
    std::FILE* input = stdin;
    std::string input_name = "standard input";
    if (argc == 2 && std::strcmp(argv[1], "-") != 0) {
        input_name = argv[1];
        input = std::fopen(argv[1], "r");
        if (input == nullptr) {
            return report("cannot open " + input_name + ": " + std::strerror(errno));
        }
    }
    solver_allocate = zeroed_on_large_pages;
    std::string failure;
    int status = run_board_script(input, input_name, stdout, failure);
    if (input != stdin) {
        std::fclose(input);
    }
    release_board();
    release_solve_table();
    if (status != 0) {
        report(failure);
    }
    return status;
}
