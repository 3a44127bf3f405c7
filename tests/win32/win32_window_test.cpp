// quillop.exe for real: started under Wine on a private X server, driven with xdotool and
// checked pixel by pixel from screenshots against the tile images and the engine.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <set>
#include <sstream>
#include <thread>

#include "board/board.hpp"
#include "screen_board.hpp"
#include "window_harness.hpp"

namespace {

// The shipped 32-bit program, and the same sources built for x86-64 for machines that cannot
// run 32-bit programs at all.
const std::string win32_program = QUILLOP_WIN32_EXE;
const std::string win64_program = QUILLOP_WIN64_EXE;
constexpr int screen_width = 1280;
constexpr int screen_height = 1024;

struct WineSession {
    std::string program;  // the build under test
    std::string loader;   // Wine's loader for it
    XServer server;
    std::string folder;  // holds the prefix and the programs' output
    std::vector<std::string> environment;
    std::string error;  // empty when the session is ready
};
WineSession session;

void set_variable(std::vector<std::string>& environment, const std::string& name,
                  const std::string& value) {
    for (auto it = environment.begin(); it != environment.end();) {
        it = it->rfind(name + "=", 0) == 0 ? environment.erase(it) : it + 1;
    }
    environment.push_back(name + "=" + value);
}

bool file_exists(const std::string& path) {
    return std::ifstream(path).good();
}

// Whether this machine runs 32-bit programs: Wine's 32-bit loader is one.
bool runs_32_bit_programs() {
    const CommandResult probe =
        run_command({"/usr/lib/wine/wine", "--version"}, environment_without_display(), 60000);
    return probe.end.exited && probe.end.exit_code == 0;
}

// Picks the build to run and says which and why; an error when none can run.
std::string choose_build() {
    const char* forced = std::getenv("QUILLOP_WINDOWS_BUILD");
    const bool can_run_32_bit = runs_32_bit_programs();
    std::string build;
    std::string why;
    if (forced != nullptr && *forced != '\0') {
        build = forced;
        why = "chosen by QUILLOP_WINDOWS_BUILD";
        if (build != "win32" && build != "win64") {
            return "QUILLOP_WINDOWS_BUILD is '" + build + "'; it takes win32 or win64";
        }
    } else if (can_run_32_bit) {
        build = "win32";
        why = "this machine runs 32-bit programs";
    } else {
        build = "win64";
        why = "this machine cannot run 32-bit programs";
    }
    if (build == "win32") {
        session.program = win32_program;
        session.loader = "/usr/lib/wine/wine";
    } else {
        session.program = win64_program;
        session.loader = "/usr/lib/wine/wine64";
    }
    std::printf("Windows program under test: %s build (%s)\n",
                build == "win32" ? "32-bit" : "x86-64", why.c_str());
    std::fflush(stdout);
    if (!file_exists(session.program)) {
        return session.program + " is missing: build the " + build + " preset first";
    }
    if (!file_exists(session.loader)) {
        return "Wine's loader " + session.loader + " is missing";
    }
    if (build == "win32" && !can_run_32_bit) {
        return "the 32-bit build was asked for, but this machine cannot run 32-bit programs";
    }
    return "";
}

std::string start_session() {
    const std::string chosen = choose_build();
    if (!chosen.empty()) {
        return chosen;
    }
    std::string error;
    if (!start_xserver(session.server, screen_width, screen_height, 30000, &error)) {
        return "no X server: " + error;
    }
    char folder[] = "/tmp/quillop-wine-XXXXXX";
    if (mkdtemp(folder) == nullptr) {
        return "cannot make a folder for the Wine prefix";
    }
    session.folder = folder;
    session.environment = environment_with_display(session.server.display);
    set_variable(session.environment, "WINEPREFIX", session.folder + "/prefix");
    set_variable(session.environment, "WINEDEBUG", "-all");
    set_variable(session.environment, "WINELOADER", session.loader);
    if (session.loader.find("wine64") != std::string::npos) {
        set_variable(session.environment, "WINEARCH", "win64");
    }
    // No offers to install Mono or Gecko: their dialogs would wait for an answer.
    set_variable(session.environment, "WINEDLLOVERRIDES", "mscoree,mshtml=");
    const CommandResult boot = run_command({session.loader, "wineboot", "-i"}, session.environment, 300000);
    if (!boot.end.exited || boot.end.exit_code != 0) {
        return "wineboot failed (" + describe(boot.end) + "): " + boot.output;
    }
    // A server that stays up between the cases makes each start quick.
    run_command({"wineserver", "-p"}, session.environment, 30000);
    return "";
}

void end_session() {
    if (!session.folder.empty()) {
        run_command({"wineserver", "-k"}, session.environment, 30000);
        run_command({"wineserver", "-w"}, session.environment, 30000);
        run_command({"rm", "-rf", session.folder}, session.environment, 60000);
        session.folder.clear();
    }
    stop_xserver(session.server);
}

struct Quillop {
    pid_t pid = -1;
    unsigned long window = 0;
    WindowGeometry client;  // the window's client area in root coordinates
};

class WineWindow : public ::testing::Test {
protected:
    static void SetUpTestSuite() { session.error = start_session(); }
    static void TearDownTestSuite() { end_session(); }

    void SetUp() override { ASSERT_EQ(session.error, "") << "the Wine session did not start"; }
    void TearDown() override {
        if (game.pid > 0) {
            kill_process(game.pid);
        }
        release_board();
    }

    const std::string& display() const { return session.server.display; }

    // Starts the program with `arguments` and waits for its window.
    void start(const std::vector<std::string>& arguments) { start(arguments, session.program); }
    void start(const std::vector<std::string>& arguments, const std::string& path) {
        std::vector<std::string> argv = {session.loader, path};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        game.pid = launch_process(argv, session.environment, session.folder + "/output.txt");
        ASSERT_GT(game.pid, 0);
        game.window = find_window(display(), "Quillop", 60000);
        ASSERT_NE(game.window, 0u) << "no window \"Quillop\" appeared";
        ASSERT_TRUE(window_geometry(display(), game.window, game.client));
    }

    Screenshot shot() const {
        Screenshot taken;
        EXPECT_TRUE(take_screenshot(display(), taken));
        return taken;
    }

    ScreenBoard screen(int columns, int rows) const {
        return read_screen_board(shot(), game.client.x, game.client.y, columns, rows);
    }

    // The first paint of a dealt board of columns x rows: every cell a tile. Until the window
    // is painted it may show anything, black included.
    ScreenBoard dealt_screen(int columns, int rows) {
        ScreenBoard seen;
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        do {
            seen = screen(columns, rows);
            if (every_cell_shows_one_of(seen, 1, 5)) {
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        } while (std::chrono::steady_clock::now() < end);
        return seen;
    }

    bool client_is_white() const {
        // Only the part of the client area on the screen can be seen.
        const int right = std::min(game.client.x + game.client.width, screen_width);
        const int bottom = std::min(game.client.y + game.client.height, screen_height);
        return area_is_white(shot(), game.client.x, game.client.y, right - game.client.x,
                             bottom - game.client.y);
    }

    void click(int x, int y, int button) {
        ASSERT_TRUE(click_at(display(), game.client.x + x, game.client.y + y, button));
    }
    void click_cell(int column, int row) { click(column * 64 + 32, row * 64 + 32, 1); }

    // Lets a click that should change nothing be handled before the screen is looked at.
    static void settle() { std::this_thread::sleep_for(std::chrono::milliseconds(1500)); }

    void expect_screen(const ScreenBoard& expected, const char* what) {
        ScreenBoard seen;
        EXPECT_TRUE(wait_for_screen(display(), game.client.x, game.client.y, expected, 15000, seen))
            << what << ": expected" << describe(expected) << "\nseen" << describe(seen);
    }

    void close_with_alt_f4() {
        ASSERT_TRUE(send_keys(display(), game.window, "alt+F4"));
        const ProcessEnd end = wait_for_process(game.pid, 30000);
        EXPECT_TRUE(end.exited && end.exit_code == 0) << describe(end);
        if (end.ended) {
            game.pid = -1;
        }
    }

    Quillop game;
};

TEST(WindowsProgram, IsA32BitGuiProgramNeedingOnlyWindowsOwnLibraries) {
    const CommandResult dump = run_command({"i686-w64-mingw32-objdump", "-p", win32_program},
                                           environment_without_display(), 60000);
    ASSERT_EQ(dump.end.exit_code, 0) << dump.output;
    EXPECT_NE(dump.output.find("file format pei-i386"), std::string::npos);
    EXPECT_NE(dump.output.find("(Windows GUI)"), std::string::npos);
    const std::set<std::string> allowed = {"KERNEL32.dll", "USER32.dll", "GDI32.dll", "msvcrt.dll"};
    std::istringstream lines(dump.output);
    int libraries = 0;
    for (std::string line; std::getline(lines, line);) {
        const size_t at = line.find("DLL Name: ");
        if (at != std::string::npos) {
            ++libraries;
            EXPECT_EQ(allowed.count(line.substr(at + 10)), 1u) << line;
        }
    }
    EXPECT_GT(libraries, 0);
}

TEST_F(WineWindow, PlaysAsTheEngineSaysAndRestoresTheDeal) {
    start({"3", "10", "8"});
    EXPECT_EQ(game.client.width, 640);
    EXPECT_EQ(game.client.height, 512);
    const ScreenBoard dealt = dealt_screen(10, 8);
    ASSERT_TRUE(every_cell_shows_one_of(dealt, 1, 3)) << describe(dealt);

    // The pixels of a pale yellow tile, wherever the deal put one.
    const Screenshot first = shot();
    bool yellow_seen = false;
    for (int cell = 0; cell < 80 && !yellow_seen; ++cell) {
        if (dealt.tiles[static_cast<size_t>(cell)] == 2) {
            yellow_seen = true;
            const int x = game.client.x + cell % 10 * 64;
            const int y = game.client.y + cell / 10 * 64;
            EXPECT_EQ(pixel_at(first, x + 32, y + 32), (Rgb{254, 254, 132}));
            EXPECT_EQ(pixel_at(first, x, y), (Rgb{164, 164, 164}));
            EXPECT_EQ(pixel_at(first, x + 63, y + 63), (Rgb{113, 113, 113}));
        }
    }
    EXPECT_TRUE(yellow_seen);

    ScreenBoard now = dealt;
    for (int move = 0; move < 8; ++move) {
        int column = 0;
        int row = 0;
        if (!find_group(now, column, row)) {
            break;
        }
        ASSERT_TRUE(load_screen_board(now));
        ASSERT_EQ(play_move(column, row), 1);
        const ScreenBoard expected = engine_screen_board(10, 8);
        click_cell(column, row);
        expect_screen(expected, "a move");
        now = expected;
    }

    int column = 0;
    int row = 0;
    if (find_lone_tile(now, column, row)) {
        click_cell(column, row);
        settle();
        EXPECT_EQ(screen(10, 8), now) << "a lone tile was removed at " << column << ", " << row;
    }
    if (now.tiles[0] == 0) {  // top-left is empty once a move has been made in column 0
        click_cell(0, 0);
        settle();
        EXPECT_EQ(screen(10, 8), now) << "a click on an empty cell changed the board";
    }

    click(320, 256, 3);
    expect_screen(dealt, "right click");

    // Moves go on from the restored deal.
    ASSERT_TRUE(find_group(dealt, column, row));
    ASSERT_TRUE(load_screen_board(dealt));
    ASSERT_EQ(play_move(column, row), 1);
    click_cell(column, row);
    expect_screen(engine_screen_board(10, 8), "a move after the right click");

    close_with_alt_f4();
}

TEST_F(WineWindow, ClickStormEndsOnTheBoardTheEnginePlaysTo) {
    start({"3", "10", "8"});
    const ScreenBoard dealt = dealt_screen(10, 8);
    ASSERT_TRUE(every_cell_shows_one_of(dealt, 1, 3)) << describe(dealt);
    ASSERT_TRUE(load_screen_board(dealt));

    const std::vector<Click> clicks =
        random_clicks_played(1208, 1000, 5, game.client.x, game.client.y);
    for (size_t at = 0; at < clicks.size(); at += 100) {
        const std::vector<Click> batch(clicks.begin() + static_cast<long>(at),
                                       clicks.begin() + static_cast<long>(at + 100));
        ASSERT_TRUE(click_all(display(), batch, 120000));
    }
    const ScreenBoard expected = engine_screen_board(10, 8);
    expect_screen(expected, "after 1000 clicks");
    EXPECT_TRUE(screen_board_is_settled(screen(10, 8)));
    EXPECT_FALSE(wait_for_process(game.pid, 0).ended) << "the program ended during the clicks";
    close_with_alt_f4();
}

TEST_F(WineWindow, AProgramPathWithBlanksIsSkippedWhole) {
    const std::string folder = session.folder + "/Quillop game";
    const std::string path = folder + "/quillop copy.exe";
    ASSERT_EQ(run_command({"mkdir", "-p", folder}, session.environment, 10000).end.exit_code, 0);
    ASSERT_EQ(run_command({"cp", session.program, path}, session.environment, 10000).end.exit_code, 0);
    start({"3", "10", "8"}, path);
    EXPECT_EQ(game.client.width, 640);
    EXPECT_EQ(game.client.height, 512);
    const ScreenBoard dealt = dealt_screen(10, 8);
    EXPECT_TRUE(every_cell_shows_one_of(dealt, 1, 3)) << describe(dealt);
    close_with_alt_f4();
}

// Too few numbers, or numbers the reading stops at, leave a window that shows no cell;
// clicks on it change nothing and it closes as usual.
TEST_F(WineWindow, MissingOrUnreadableNumbersShowNoCell) {
    const std::vector<std::vector<std::string>> cases = {{}, {"3,10,8"}, {"4", "12"}};
    for (const auto& arguments : cases) {
        SCOPED_TRACE(arguments.empty() ? std::string("no arguments") : arguments[0]);
        start(arguments);
        if (arguments.size() == 2) {  // width 12, height 0
            EXPECT_EQ(game.client.width, 12 * 64);
        } else {
            EXPECT_LT(game.client.width, 200);
        }
        EXPECT_LT(game.client.height, 10);
        settle();
        EXPECT_TRUE(client_is_white());
        click(0, 0, 1);
        click(0, 0, 3);
        settle();
        EXPECT_TRUE(client_is_white());
        close_with_alt_f4();
    }
}

TEST_F(WineWindow, ABoardOneColumnWideShowsOnlyItsFirstColumn) {
    start({"3", "1", "5"});
    EXPECT_EQ(game.client.height, 5 * 64);
    ASSERT_GE(game.client.width, 64);
    const ScreenBoard first = dealt_screen(1, 5);
    EXPECT_TRUE(every_cell_shows_one_of(first, 1, 3)) << describe(first);
    const Screenshot taken = shot();
    EXPECT_TRUE(area_is_white(taken, game.client.x + 64, game.client.y, game.client.width - 64,
                              game.client.height));

    // Clicks anywhere, the hidden column's strip included, leave column 0 settled.
    std::mt19937 random(5);
    std::vector<Click> clicks;
    for (int i = 0; i < 200; ++i) {
        clicks.push_back(Click{
            game.client.x + static_cast<int>(random() % static_cast<unsigned>(game.client.width)),
            game.client.y + static_cast<int>(random() % 320), 1});
    }
    ASSERT_TRUE(click_all(display(), clicks, 60000));
    settle();
    EXPECT_TRUE(screen_board_is_settled(screen(1, 5))) << describe(screen(1, 5));
    click(10, 10, 3);
    expect_screen(first, "right click");
    close_with_alt_f4();
}

// 100000 x 100000 cells cannot be dealt: the window still opens, shows nothing, ignores
// clicks and closes as usual.
TEST_F(WineWindow, ABoardTooLargeToDealShowsNothingAndIgnoresClicks) {
    start({"3", "100000", "100000"});
    settle();
    EXPECT_TRUE(client_is_white());
    for (int i = 0; i < 20; ++i) {
        click(10 + i * 40, 10 + i * 30, i % 3 == 0 ? 3 : 1);
    }
    settle();
    EXPECT_TRUE(client_is_white());
    EXPECT_FALSE(wait_for_process(game.pid, 0).ended);
    close_with_alt_f4();
}

}  // namespace
