// quillop-board run as a program on good and bad scripts.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "tests/common/tool_runs.hpp"

namespace {

class ToolTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(folder.made()); }

    // Runs the tool with the script as its file argument (or on standard input).
    ToolRun run(const std::string& script, bool from_stdin = false) {
        write_text(folder.file("script"), script);
        return run_command((from_stdin ? "< '" : "'") + folder.file("script") + "'");
    }

    ToolRun run_command(const std::string& arguments) {
        return run_tool(folder, std::string("'") + QUILLOP_BOARD_TOOL + "' " + arguments);
    }

    // A bad script: status 2, nothing but the one message on standard error.
    void expect_error(const std::string& script, int line, const std::string& printed_before) {
        const ToolRun result = run(script);
        EXPECT_EQ(result.status, 2) << script;
        EXPECT_EQ(result.out, printed_before) << script;
        const std::string prefix = "quillop-board: line " + std::to_string(line) + ": ";
        EXPECT_EQ(result.err.rfind(prefix, 0), 0u) << script << "\n" << result.err;
        EXPECT_EQ(result.err.back(), '\n');
        EXPECT_EQ(result.err.find('\n'), result.err.size() - 1) << result.err;
    }

    // The peak resident memory in kilobytes of a run of the tool on the script, measured in a
    // child process of its own so that no earlier run counts. The shell between inherits the
    // figure of this process, so compare with a run on an empty script.
    long peak_kilobytes(const std::string& script) {
        write_text(folder.file("script"), script);
        const pid_t child = fork();
        if (child == 0) {
            run_command("'" + folder.file("script") + "'");
            rusage usage{};
            getrusage(RUSAGE_CHILDREN, &usage);
            std::ofstream(folder.file("peak")) << usage.ru_maxrss;
            _exit(0);
        }
        int status = 0;
        waitpid(child, &status, 0);
        long peak = -1;
        std::ifstream(folder.file("peak")) >> peak;
        return peak;
    }

    const TestFolder folder;
};

TEST_F(ToolTest, DealsPlaysAndPrintsFromAScriptFile) {
    const ToolRun result =
        run("# seed 1000 gives the known board\n"
            "deal 5 3 2 1000\n"
            "\n"
            "print\n"
            "cell 0 0\n"
            "cell 2 1\n"
            "cell 3 0\n"
            "cell -2147483648 2147483647\n"
            "click 2 0\n"
            "click 0 1\n"
            "print\n"
            "click 0 1\n"
            "restore\n"
            "print\n");
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.out,
              "1\n4 1 2\n1 1 4\n4\n4\n-1\n-1\n0\n1\n0 2 0\n4 4 0\n1\n"
              "1\n4 1 2\n1 1 4\n");
}

TEST_F(ToolTest, LoadsAndPlaysTheWorkedExamplesFromStandardInput) {
    const ToolRun result =
        run("load 5 3\n"
            "2 1 4 1 4\n"
            "# rows may be interleaved with comments\n"
            "  4   1\t2 1 2\n"
            "2 1 1 1 4\r\n"
            "click 1 0\n"
            "print\n"
            "load 3 3\n"
            "1 2 1\n1 4 1\n1 1 1\n"
            "click 2 2\n"
            "print\n"
            "cell 0 2\n",
            true);
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out,
              "1\n1\n2 0 4 0 0\n4 4 2 0 0\n2 2 4 0 0\n"
              "1\n1\n0 0 0\n2 0 0\n4 0 0\n4\n");
}

TEST_F(ToolTest, WithoutABoardEverythingIsRefused) {
    const ToolRun result =
        run("print\nclick 0 0\nrestore\ncell 0 0\n"
            "deal 5 65536 65536 1\nprint\nclick 0 0\n"
            "deal 2 2 2147483647 0\nrestore\n"
            "deal 0 0 0 4294967295\nprint\n");
    EXPECT_EQ(result.status, 0) << result.err;
    const std::string refusals = "no board\n0\n0\n-1\n0\nno board\n0\n0\n0\n1\n";
    ASSERT_EQ(result.out.rfind(refusals, 0), 0u) << result.out;
    // Then the 2 x 2 board of the last deal, two lines of two values.
    const std::string board = result.out.substr(refusals.size());
    EXPECT_EQ(board.size(), 8u) << board;
}

TEST_F(ToolTest, NumbersTakeSignsAndTheirFullRange) {
    const ToolRun result =
        run("deal +5 +3 +2 +1000\nprint\n"
            "deal -2147483648 -0 2 1000\nprint\n"
            "cell +2147483647 -2147483648\n");
    EXPECT_EQ(result.status, 0) << result.err;
    // Width -0 clamps to 2; two colours from seed 1000: 14062, 5795, 15161, 15600 mod 2.
    EXPECT_EQ(result.out, "1\n4 1 2\n1 1 4\n1\n1 2\n2 1\n-1\n");
}

TEST_F(ToolTest, MalformedLinesEndTheRunWithTheirLineNumber) {
    expect_error("deal 5 3 2 1\nshuffle\nprint\n", 2, "1\n");
    expect_error("click 1\n", 1, "");
    expect_error("click 1 2 3\n", 1, "");
    expect_error("click 1 x\n", 1, "");
    expect_error("click 1 2x\n", 1, "");
    expect_error("click 1 +\n", 1, "");
    expect_error("cell 2147483648 0\n", 1, "");
    expect_error("cell 0 -2147483649\n", 1, "");
    expect_error("cell 0 99999999999999999999999\n", 1, "");
    expect_error("deal 5 3\n", 1, "");
    expect_error("deal 5 3 2 1 7\n", 1, "");
    expect_error("deal 5 3 2 -1\n", 1, "");
    expect_error("deal 5 3 2 4294967296\n", 1, "");
    expect_error("\n# fine\nrestore now\n", 3, "");
    expect_error("print all\n", 1, "");
    expect_error("Print\n", 1, "");
    expect_error("deal 5 3 2 1\ncell -1 0\n   click 0 0 0\n", 3, "1\n-1\n");
}

TEST_F(ToolTest, BadLoadsEndTheRun) {
    expect_error("load 1 3\n", 1, "");
    expect_error("load 2 -2\n", 1, "");
    expect_error("load 2 2\n1 2\n1 3\n", 3, "");      // not a cell value
    expect_error("load 2 2\n1 2\n1 32\n", 3, "");     // the mark
    expect_error("load 2 2\n1 2\n1 -1\n", 3, "");     // negative
    expect_error("load 2 2\n1 2\n1 2 4\n", 3, "");    // too many values
    expect_error("load 2 2\n1 2\n1\n", 3, "");        // too few values
    expect_error("load 2 2\n1 2\n", 2, "");           // input ends
    expect_error("load 2 2\n1 0\n0 1\n", 3, "");      // hole under a tile
    expect_error("load 3 2\n0 0 1\n1 0 1\n", 3, "");  // gap between columns
    expect_error("load 2 2\n1 1\n1 one\n", 3, "");
    expect_error("deal 2 2 2 9\nload 2\n", 2, "1\n");
}

TEST_F(ToolTest, ControlBytesShowEscapedAndCrlfScriptsRunAsTheyDoWithLf) {
    const std::string lf = "deal 5 3 2 1000\nprint\nclick 2 0\nprint\n";
    std::string crlf;
    for (const char c : lf) {
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    }
    const ToolRun windows = run(crlf);
    EXPECT_EQ(windows.status, 0) << windows.err;
    EXPECT_EQ(windows.out, run(lf).out);

    EXPECT_EQ(run(std::string("deal 5 3 2 1\r\r\n")).err,
              "quillop-board: line 1: deal: '1\\r' is not a seed from 0 to 4294967295\n");
    EXPECT_EQ(run(std::string("cell 0 1\0"
                              "2\n",
                              11))
                  .err,
              "quillop-board: line 1: cell: '1\\02' is not a signed 32-bit decimal number\n");
    EXPECT_EQ(run("go\x1b[2J\\\n").err,
              "quillop-board: line 1: unknown command 'go\\x1b[2J\\\\'\n");
}

TEST_F(ToolTest, ADirectoryAsTheScriptIsAReadError) {
    for (const bool from_stdin : {false, true}) {
        const ToolRun result = run_command((from_stdin ? "< '" : "'") + folder.path() + "'");
        EXPECT_EQ(result.status, 2);
        EXPECT_EQ(result.out, "");
        const std::string name = from_stdin ? "standard input" : folder.path();
        EXPECT_EQ(result.err, "quillop-board: cannot read " + name + ": Is a directory\n");
    }
}

TEST_F(ToolTest, LinesOfMillionsOfNumbersAreRefusedInLittleMemory) {
    std::string numbers;
    for (int i = 0; i < 5000000; ++i) {
        numbers += " 1";
    }
    // Splitting such a line into words took close to 300 MB.
    const long empty_script = peak_kilobytes("");
    expect_error("deal" + numbers + "\n", 1, "");
    EXPECT_LT(peak_kilobytes("deal" + numbers + "\n"), empty_script + 100000);
    expect_error("load 2 2\n" + numbers + "\n", 2, "");
    EXPECT_LT(peak_kilobytes("load 2 2\n" + numbers + "\n"), empty_script + 100000);
}

TEST_F(ToolTest, HelpAndCommandLineProblems) {
    const ToolRun help = run_command("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("usage: quillop-board"), std::string::npos);
    EXPECT_NE(help.out.find("click COLUMN ROW"), std::string::npos);
    EXPECT_EQ(help.err, "");

    const ToolRun missing = run_command("'" + folder.file("no such script") + "'");
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(missing.err.find("quillop-board: cannot open"), std::string::npos);

    const ToolRun extra = run_command("a b");
    EXPECT_EQ(extra.status, 2);
    EXPECT_NE(extra.err.find("usage"), std::string::npos);

    const ToolRun empty = run("");
    EXPECT_EQ(empty.status, 0);
    EXPECT_EQ(empty.out, "");
}

}  // namespace
