// The desktop program for real: each case starts it on a private X server, drives it with
// xdotool and checks screenshots pixel by pixel against the tile images and the engine.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

#include "board/board.hpp"
#include "screen_board.hpp"
#include "tiles/tiles.hpp"
#include "window_harness.hpp"

// Last: its macros (None, Bool, Status) would break the test framework's headers.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

// The build's program, or another copy of it named by QUILLOP_PROGRAM: the package test runs
// the one unpacked from the .deb.
const std::string program =
    std::getenv("QUILLOP_PROGRAM") != nullptr ? std::getenv("QUILLOP_PROGRAM") : QUILLOP_SDL_EXE;
const std::string suppressions = VALGRIND_SUPPRESSIONS;
constexpr int screen_width = 1024;
constexpr int screen_height = 768;

// One program on its own X server; whatever is left running is ended with the case.
struct Session {
    XServer server;
    pid_t pid = -1;
    unsigned long window = 0;
    WindowGeometry client;
    std::string output_path;
    std::vector<std::string> other_files;  // removed with the session as well

    Session() = default;
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
    ~Session() {
        kill_process(pid);
        stop_xserver(server);
        other_files.push_back(output_path);
        for (const std::string& path : other_files) {
            if (!path.empty()) {
                unlink(path.c_str());
            }
        }
        release_board();
    }
};

std::string temporary_path(const std::string& stem) {
    std::string path = "/tmp/" + stem + "-XXXXXX";
    const int fd = mkstemp(path.data());
    if (fd >= 0) {
        close(fd);
    }
    return path;
}

std::string file_text(const std::string& path) {
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

// Starts `prefix` + the program + `arguments` and waits for its window.
void start(Session& run, const std::vector<std::string>& arguments,
           const std::vector<std::string>& prefix = {}, int window_timeout_ms = 20000) {
    std::string error;
    ASSERT_TRUE(start_xserver(run.server, screen_width, screen_height, 30000, &error)) << error;
    run.output_path = temporary_path("quillop-output");
    std::vector<std::string> argv = prefix;
    argv.push_back(program);
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    run.pid = launch_process(argv, environment_with_display(run.server.display), run.output_path);
    ASSERT_GT(run.pid, 0);
    run.window = find_window(run.server.display, "Quillop", window_timeout_ms);
    ASSERT_NE(run.window, 0u) << "no window \"Quillop\"; output: " << file_text(run.output_path);
    ASSERT_TRUE(window_geometry(run.server.display, run.window, run.client));
}

// Closes the window as its close box does; the program must end by itself with 0.
void close_and_expect_exit_zero(Session& run, int timeout_ms = 10000) {
    ASSERT_TRUE(close_window(run.server.display, run.window));
    const ProcessEnd end = wait_for_process(run.pid, timeout_ms);
    if (end.ended) {
        run.pid = -1;
    }
    EXPECT_TRUE(end.exited && end.exit_code == 0)
        << describe(end) << "; output: " << file_text(run.output_path);
}

Screenshot shot(const Session& run) {
    Screenshot taken;
    EXPECT_TRUE(take_screenshot(run.server.display, taken));
    return taken;
}

ScreenBoard screen(const Session& run, int columns, int rows) {
    return read_screen_board(shot(run), run.client.x, run.client.y, columns, rows);
}

// The first paint of a fresh deal; before it the window may show anything.
ScreenBoard dealt_screen(const Session& run, int columns, int rows, int timeout_ms = 20000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    ScreenBoard seen;
    do {
        seen = screen(run, columns, rows);
        if (every_cell_shows_one_of(seen, 1, 5)) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    } while (std::chrono::steady_clock::now() < end);
    return seen;
}

// Screenshots until the board shown differs from `before`: each press repaints exactly once,
// so the first changed screen is the one the press made.
ScreenBoard changed_screen(const Session& run, const ScreenBoard& before, int timeout_ms = 10000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    ScreenBoard seen = before;
    while (seen == before && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        seen = screen(run, before.columns, before.rows);
    }
    return seen;
}

// The visible part of the client area, all white.
bool client_is_white(const Session& run) {
    const int right = std::min(run.client.x + run.client.width, screen_width);
    const int bottom = std::min(run.client.y + run.client.height, screen_height);
    return area_is_white(shot(run), run.client.x, run.client.y, right - run.client.x,
                         bottom - run.client.y);
}

bool wait_until_white(const Session& run, int timeout_ms = 10000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (!client_is_white(run)) {
        if (std::chrono::steady_clock::now() >= end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return true;
}

void click(const Session& run, int x, int y, int button) {
    ASSERT_TRUE(click_at(run.server.display, run.client.x + x, run.client.y + y, button));
}

// The window manager's view of the window: fixed size hints mean no resizing.
bool has_fixed_size(const Session& run) {
    Display* x = XOpenDisplay(run.server.display.c_str());
    if (x == nullptr) {
        return false;
    }
    XSizeHints hints{};
    long supplied = 0;
    const bool fixed = XGetWMNormalHints(x, run.window, &hints, &supplied) != 0 &&
                       (hints.flags & PMinSize) != 0 && (hints.flags & PMaxSize) != 0 &&
                       hints.min_width == hints.max_width && hints.min_height == hints.max_height &&
                       hints.min_width == run.client.width && hints.min_height == run.client.height;
    XCloseDisplay(x);
    return fixed;
}

// The window's icon as a window manager reads it (_NET_WM_ICON: width, height, then ARGB
// pixels top row first) against the sunflower tile, opaque. Empty when it matches.
std::string icon_mismatch(const Session& run) {
    Display* x = XOpenDisplay(run.server.display.c_str());
    if (x == nullptr) {
        return "no connection to " + run.server.display;
    }
    Atom type = 0;
    int format = 0;
    unsigned long count = 0;
    unsigned long left = 0;
    unsigned char* data = nullptr;
    const int status =
        XGetWindowProperty(x, run.window, XInternAtom(x, "_NET_WM_ICON", False), 0, 1 << 20, False,
                           AnyPropertyType, &type, &format, &count, &left, &data);
    std::string mismatch;
    const auto* values = reinterpret_cast<const unsigned long*>(data);
    if (status != Success || data == nullptr || format != 32 || count < 2) {
        mismatch = "no _NET_WM_ICON";
    } else if (values[0] != 64 || values[1] != 64 || count < 2 + 64 * 64) {
        mismatch = "an icon of " + std::to_string(values[0]) + " x " + std::to_string(values[1]);
    } else {
        build_tile_set();
        const unsigned char* tile = tile_images[tile_for_cell(icon_cell)];
        if (tile == nullptr) {
            mismatch = "no sunflower tile to compare with";
        }
        for (int y = 0; y < 64 && mismatch.empty(); ++y) {
            for (int column = 0; column < 64 && mismatch.empty(); ++column) {
                const unsigned char* bgr = tile + (63 - y) * tile_row_bytes + column * 3;
                const unsigned long expected = 0xFF000000ul |
                                               (static_cast<unsigned long>(bgr[2]) << 16) |
                                               (static_cast<unsigned long>(bgr[1]) << 8) | bgr[0];
                if ((values[2 + y * 64 + column] & 0xFFFFFFFFul) != expected) {
                    mismatch = "icon pixel (" + std::to_string(column) + ", " + std::to_string(y) +
                               ") is not the sunflower's";
                }
            }
        }
        release_tile_set();
    }
    if (data != nullptr) {
        XFree(data);
    }
    XCloseDisplay(x);
    return mismatch;
}

// Maps a magenta window over part of the program's window, shoots it, and takes it away
// again: what it covered is lost (no backing store) and only a repaint brings it back.
Screenshot shot_while_covered(const Session& run, int x, int y, int width, int height) {
    Screenshot covered;
    Display* display = XOpenDisplay(run.server.display.c_str());
    if (display == nullptr) {
        ADD_FAILURE() << "no connection to " << run.server.display;
        return covered;
    }
    XSetWindowAttributes attributes{};
    attributes.override_redirect = True;
    attributes.background_pixel = 0xFF00FF;
    const Window cover = XCreateWindow(
        display, DefaultRootWindow(display), run.client.x + x, run.client.y + y,
        static_cast<unsigned>(width), static_cast<unsigned>(height), 0, CopyFromParent, InputOutput,
        CopyFromParent, CWOverrideRedirect | CWBackPixel, &attributes);
    XMapRaised(display, cover);
    XSync(display, False);
    EXPECT_TRUE(take_screenshot(run.server.display, covered));
    XDestroyWindow(display, cover);
    XSync(display, False);
    XCloseDisplay(display);
    return covered;
}

TEST(DesktopProgram, OpensAFixedQuillopWindowOf640By512AtFiftyFiftyWithItsIconAndEveryCellATile) {
    Session run;
    ASSERT_NO_FATAL_FAILURE(start(run, {"3", "10", "8"}));
    EXPECT_EQ(run.client.x, 50);
    EXPECT_EQ(run.client.y, 50);
    EXPECT_EQ(run.client.width, 640);
    EXPECT_EQ(run.client.height, 512);
    EXPECT_TRUE(has_fixed_size(run));
    EXPECT_EQ(icon_mismatch(run), "");

    // Three colours: tiles 1 to 3 only, and a settled position the engine accepts.
    const ScreenBoard dealt = dealt_screen(run, 10, 8);
    EXPECT_TRUE(every_cell_shows_one_of(dealt, 1, 3)) << describe(dealt);
    EXPECT_TRUE(load_screen_board(dealt)) << describe(dealt);

    // Covered and uncovered, the window paints the same board again.
    const Screenshot covered = shot_while_covered(run, 100, 70, 300, 200);
    EXPECT_EQ(pixel_at(covered, run.client.x + 250, run.client.y + 170), (Rgb{255, 0, 255}));
    ScreenBoard seen;
    EXPECT_TRUE(wait_for_screen(run.server.display, run.client.x, run.client.y, dealt, 10000, seen))
        << "after an exposure:" << describe(seen);

    close_and_expect_exit_zero(run);
    EXPECT_EQ(file_text(run.output_path), "");
    EXPECT_EQ(find_window(run.server.display, "Quillop", 0), 0u);
}

// Another client destroying the window (as xdotool windowclose does) ends the program as a
// close does, without Xlib's complaints about requests that still name the window.
TEST(DesktopProgram, EndsWithZeroWhenAnotherClientDestroysItsWindow) {
    Session run;
    ASSERT_NO_FATAL_FAILURE(start(run, {"3", "10", "8"}));
    dealt_screen(run, 10, 8);
    Display* display = XOpenDisplay(run.server.display.c_str());
    ASSERT_NE(display, nullptr);
    XDestroyWindow(display, run.window);
    XSync(display, False);
    XCloseDisplay(display);
    const ProcessEnd end = wait_for_process(run.pid, 10000);
    if (end.ended) {
        run.pid = -1;
    }
    EXPECT_TRUE(end.exited && end.exit_code == 0)
        << describe(end) << "; output: " << file_text(run.output_path);
    EXPECT_EQ(file_text(run.output_path), "");
}

TEST(DesktopProgram, PlaysAsTheEngineSaysRefusesLoneTilesAndRestoresTheDeal) {
    Session run;
    ASSERT_NO_FATAL_FAILURE(start(run, {"3", "10", "8"}));
    const ScreenBoard dealt = dealt_screen(run, 10, 8);
    ASSERT_TRUE(every_cell_shows_one_of(dealt, 1, 3)) << describe(dealt);

    // A lone tile first. Its click must change nothing: the next move's screen is then
    // predicted from the dealt position, which a removed lone tile would spoil.
    int column = 0;
    int row = 0;
    ASSERT_TRUE(find_lone_tile(dealt, column, row)) << describe(dealt);
    ASSERT_TRUE(load_screen_board(dealt));
    ASSERT_EQ(play_move(column, row), 0);
    ASSERT_NO_FATAL_FAILURE(click(run, column * 64 + 20, row * 64 + 40, 1));

    // Presses at a cell's corners and middle: x / 64 and y / 64 name the cell.
    const int offsets[][2] = {{0, 0}, {63, 63}, {63, 0}, {0, 63}, {32, 32}, {1, 62}};
    ScreenBoard now = dealt;
    for (const auto& offset : offsets) {
        if (!find_group(now, column, row)) {
            break;
        }
        ASSERT_TRUE(load_screen_board(now)) << describe(now);
        ASSERT_EQ(play_move(column, row), 1);
        const ScreenBoard expected = engine_screen_board(10, 8);
        ASSERT_NO_FATAL_FAILURE(click(run, column * 64 + offset[0], row * 64 + offset[1], 1));
        const ScreenBoard seen = changed_screen(run, now);
        ASSERT_TRUE(seen == expected)
            << "click on " << column << ", " << row << " of" << describe(now) << "\nexpected"
            << describe(expected) << "\nseen" << describe(seen);
        now = seen;
    }
    ASSERT_FALSE(now == dealt) << "no move was made";
    EXPECT_TRUE(screen_board_is_settled(now));

    // An empty cell refuses too (the top left is empty once column 0 lost a tile); the right
    // click after it must bring back exactly the deal.
    if (now.tiles[0] == 0) {
        ASSERT_NO_FATAL_FAILURE(click(run, 10, 10, 1));
    }
    ASSERT_NO_FATAL_FAILURE(click(run, 320, 256, 3));
    const ScreenBoard restored = changed_screen(run, now);
    EXPECT_TRUE(restored == dealt)
        << "after a right click:" << describe(restored) << "\ndealt" << describe(dealt);

    // Moves go on from the restored deal.
    ASSERT_TRUE(find_group(dealt, column, row));
    ASSERT_TRUE(load_screen_board(dealt));
    ASSERT_EQ(play_move(column, row), 1);
    const ScreenBoard expected = engine_screen_board(10, 8);
    ASSERT_NO_FATAL_FAILURE(click(run, column * 64 + 32, row * 64 + 32, 1));
    const ScreenBoard seen = changed_screen(run, dealt);
    EXPECT_TRUE(seen == expected) << "expected" << describe(expected) << "\nseen" << describe(seen);

    close_and_expect_exit_zero(run);
}

TEST(DesktopProgram, AStormOfClicksEndsOnTheBoardTheEnginePlaysTo) {
    Session run;
    ASSERT_NO_FATAL_FAILURE(start(run, {"3", "10", "8"}));
    const ScreenBoard dealt = dealt_screen(run, 10, 8);
    ASSERT_TRUE(every_cell_shows_one_of(dealt, 1, 3)) << describe(dealt);
    ASSERT_TRUE(load_screen_board(dealt));

    const std::vector<Click> clicks =
        random_clicks_played(1208, 300, 7, run.client.x, run.client.y);
    ASSERT_TRUE(click_all(run.server.display, clicks, 120000));
    const ScreenBoard expected = engine_screen_board(10, 8);
    ScreenBoard seen;
    EXPECT_TRUE(
        wait_for_screen(run.server.display, run.client.x, run.client.y, expected, 15000, seen))
        << "expected" << describe(expected) << "\nseen" << describe(seen);
    close_and_expect_exit_zero(run);
}

// Sizes that give no cell, or a board too large to deal: the window still opens at least
// 1 x 1 and at most the screen, stays white whatever is clicked, and closes with 0.
TEST(DesktopProgram, SizesWithoutACellOrBeyondTheScreenShowWhiteAndIgnoreClicks) {
    const struct {
        std::vector<std::string> arguments;
        int width;
        int height;
    } cases[] = {{{"3", "100000", "100000"}, screen_width, screen_height},
                 {{}, 1, 1},
                 {{"4", "12"}, 12 * 64, 1},
                 {{"3", "-5", "2"}, 1, 128}};
    for (const auto& size : cases) {
        std::string name;
        for (const std::string& argument : size.arguments) {
            name += argument + " ";
        }
        SCOPED_TRACE("arguments: " + name);
        Session run;
        ASSERT_NO_FATAL_FAILURE(start(run, size.arguments));
        EXPECT_EQ(run.client.width, size.width);
        EXPECT_EQ(run.client.height, size.height);
        EXPECT_TRUE(wait_until_white(run));
        std::vector<Click> clicks;
        for (int i = 0; i < 20; ++i) {
            clicks.push_back(Click{run.client.x + std::min(i * 45, run.client.width - 1),
                                   run.client.y + std::min(i * 35, run.client.height - 1),
                                   i % 3 == 0 ? 3 : 1});
        }
        ASSERT_TRUE(click_all(run.server.display, clicks, 30000));
        EXPECT_TRUE(client_is_white(run));
        EXPECT_FALSE(wait_for_process(run.pid, 0).ended) << "the program ended on the clicks";
        close_and_expect_exit_zero(run);
    }
}

// The environment of a session that has no window system at all.
std::vector<std::string> environment_without_window_system() {
    std::vector<std::string> environment = environment_without_display();
    const std::vector<std::string> names = {
        "XDG_RUNTIME_DIR=", "WAYLAND_SOCKET=", "SDL_VIDEODRIVER="};
    environment.erase(std::remove_if(environment.begin(), environment.end(),
                                     [&](const std::string& entry) {
                                         return std::any_of(names.begin(), names.end(),
                                                            [&](const std::string& name) {
                                                                return entry.rfind(name, 0) == 0;
                                                            });
                                     }),
                      environment.end());
    return environment;
}

void expect_one_line_refusal(const CommandResult& result) {
    EXPECT_TRUE(result.end.exited && result.end.exit_code == 1) << describe(result.end);
    const std::string start = "quillop: cannot open a window: ";
    EXPECT_EQ(result.output.rfind(start, 0), 0u) << result.output;
    EXPECT_GT(result.output.size(), start.size() + 1) << "no reason given: " << result.output;
    EXPECT_EQ(std::count(result.output.begin(), result.output.end(), '\n'), 1) << result.output;
    EXPECT_EQ(result.output.back(), '\n');
}

TEST(DesktopProgram, WithoutADisplayPrintsOneLineAndExitsWithOne) {
    const std::vector<std::string> none = environment_without_window_system();
    expect_one_line_refusal(run_command({program, "3", "10", "8"}, none, 20000));

    // A display that nobody serves (private servers count up from 0).
    std::vector<std::string> unserved = none;
    unserved.push_back("DISPLAY=:65000");
    expect_one_line_refusal(run_command({program, "3", "10", "8"}, unserved, 20000));
}

TEST(DesktopProgram, LeaksNothingAndTouchesNoBadMemoryOverAHundredClicks) {
    Session run;
    const std::string log_path = temporary_path("quillop-valgrind");
    run.other_files.push_back(log_path);
    const std::vector<std::string> valgrind = {"valgrind",
                                               "--leak-check=full",
                                               "--show-leak-kinds=all",
                                               "--errors-for-leak-kinds=definite,indirect,possible",
                                               "--error-exitcode=99",
                                               "--num-callers=40",
                                               "--child-silent-after-fork=yes",
                                               "--suppressions=" + suppressions,
                                               "--log-file=" + log_path};
    ASSERT_NO_FATAL_FAILURE(start(run, {"3", "10", "8"}, valgrind, 180000));
    const ScreenBoard dealt = dealt_screen(run, 10, 8, 120000);
    ASSERT_TRUE(every_cell_shows_one_of(dealt, 1, 3)) << describe(dealt);

    std::mt19937 random(100);
    std::vector<Click> clicks;
    for (int i = 0; i < 100; ++i) {
        clicks.push_back(Click{run.client.x + static_cast<int>(random() % 640),
                               run.client.y + static_cast<int>(random() % 512),
                               i % 10 == 9 ? 3 : 1});
    }
    ASSERT_TRUE(click_all(run.server.display, clicks, 180000));
    close_and_expect_exit_zero(run, 300000);
    const std::string log = file_text(log_path);
    // Blocks still reachable at the end are no error to valgrind, but the board and the
    // tiles must have been released when the window closed.
    const bool released = log.find("deal_board") == std::string::npos &&
                          log.find("build_tile_set") == std::string::npos;
    EXPECT_TRUE(log.find("ERROR SUMMARY: 0 errors") != std::string::npos && released)
        << (released ? "" : "the board or the tiles were not released\n") << log;
}

}  // namespace
