// Running the command-line tools from tests: a folder of the test's own for their files, and
// what a run printed.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

// A folder made fresh for one test and removed with everything in it, so that tests running
// side by side never share a path.
class TestFolder {
public:
    TestFolder() {
        std::string pattern = ::testing::TempDir() + "quillop-XXXXXX";
        if (mkdtemp(pattern.data()) != nullptr) {
            path_ = pattern;
        }
    }
    ~TestFolder() {
        if (!path_.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(path_, ignored);
        }
    }
    TestFolder(const TestFolder&) = delete;
    TestFolder& operator=(const TestFolder&) = delete;

    bool made() const { return !path_.empty(); }
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

inline std::string read_text(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

inline std::vector<unsigned char> read_bytes(const std::string& path) {
    const std::string text = read_text(path);
    return std::vector<unsigned char>(text.begin(), text.end());
}

inline void write_text(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

struct ToolRun {
    int status = -1;  // the exit status, or -1 when the command did not exit normally
    std::string out;
    std::string err;
};

// Runs a shell command; its exit status, or -1 when it did not exit normally.
inline int run_status(const std::string& command) {
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Runs a shell command with its standard output and error kept in the folder.
inline ToolRun run_tool(const TestFolder& folder, const std::string& command) {
    ToolRun result;
    result.status =
        run_status(command + " > '" + folder.file("out") + "' 2> '" + folder.file("err") + "'");
    result.out = read_text(folder.file("out"));
    result.err = read_text(folder.file("err"));
    return result;
}
