// The harness itself: a broken harness would let the window tests pass or fail for nothing.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>

#include "window_harness.hpp"

// Last: its macros (None, Bool, Status) would break the test framework's headers.
#include <X11/Xlib.h>

namespace {

TEST(Processes, ExitCodeOutputAndTimeout) {
    const std::vector<std::string> environment = environment_without_display();
    const CommandResult shown = run_command({"sh", "-c", "echo seen; exit 7"}, environment, 10000);
    EXPECT_TRUE(shown.end.exited);
    EXPECT_EQ(shown.end.exit_code, 7);
    EXPECT_EQ(shown.output, "seen\n");

    // A command that outlasts its time is killed, not waited for.
    const CommandResult stuck = run_command({"sleep", "30"}, environment, 300);
    EXPECT_FALSE(stuck.end.ended);

    const pid_t sleeper = launch_process({"sleep", "30"}, environment);
    ASSERT_GT(sleeper, 0);
    EXPECT_FALSE(wait_for_process(sleeper, 100).ended);
    kill_process(sleeper);
    EXPECT_NE(kill(sleeper, 0), 0);

    const pid_t missing = launch_process({"/nonexistent/program"}, environment);
    if (missing > 0) {  // some C libraries report a failed exec through the exit status
        EXPECT_EQ(wait_for_process(missing, 5000).exit_code, 127);
    }
}

TEST(Processes, EnvironmentDropsTheDisplay) {
    for (const std::string& entry : environment_without_display()) {
        EXPECT_NE(entry.rfind("DISPLAY=", 0), 0u);
        EXPECT_NE(entry.rfind("WAYLAND_DISPLAY=", 0), 0u);
    }
    const std::vector<std::string> with = environment_with_display(":42");
    EXPECT_EQ(std::count(with.begin(), with.end(), std::string("DISPLAY=:42")), 1);
}

TEST(XServer, TwoServersScreenshotsAndNoStrayWindow) {
    XServer first;
    XServer second;
    std::string error;
    ASSERT_TRUE(start_xserver(first, 320, 200, 20000, &error)) << error;
    ASSERT_TRUE(start_xserver(second, 160, 100, 20000, &error)) << error;
    EXPECT_NE(first.display, second.display);

    Screenshot shot;
    ASSERT_TRUE(take_screenshot(first.display, shot));
    EXPECT_EQ(shot.width, 320);
    EXPECT_EQ(shot.height, 200);
    EXPECT_EQ(shot.pixels.size(), 320u * 200u);
    ASSERT_TRUE(take_screenshot(second.display, shot));
    EXPECT_EQ(shot.width, 160);
    EXPECT_EQ(pixel_at(shot, -1, 0), (Rgb{0, 0, 0}));
    EXPECT_EQ(pixel_at(shot, 160, 0), (Rgb{0, 0, 0}));

    EXPECT_EQ(find_window(first.display, "no such window", 200), 0u);

    const pid_t server_pid = first.pid;
    const std::string stopped_display = first.display;
    stop_xserver(first);
    EXPECT_NE(kill(server_pid, 0), 0);
    EXPECT_FALSE(take_screenshot(stopped_display, shot));
    stop_xserver(first);  // twice is harmless
    stop_xserver(second);
}

// Known colours drawn straight onto the root must come back in place and channel order.
TEST(XServer, ScreenshotKeepsPositionsAndChannels) {
    XServer server;
    std::string error;
    ASSERT_TRUE(start_xserver(server, 64, 48, 20000, &error)) << error;
    Display* x = XOpenDisplay(server.display.c_str());
    ASSERT_NE(x, nullptr);
    const Window root = DefaultRootWindow(x);
    GC gc = XCreateGC(x, root, 0, nullptr);
    const struct {
        unsigned long pixel;
        int left;
        Rgb colour;
    } squares[] = {{0xFF0000, 0, Rgb{255, 0, 0}},
                   {0x00FF00, 10, Rgb{0, 255, 0}},
                   {0x0000FF, 20, Rgb{0, 0, 255}},
                   {0x123456, 30, Rgb{0x12, 0x34, 0x56}}};
    for (const auto& square : squares) {
        XSetForeground(x, gc, square.pixel);
        XFillRectangle(x, root, gc, square.left, 5, 10, 3);
    }
    XSync(x, False);

    Screenshot shot;
    EXPECT_TRUE(take_screenshot(server.display, shot));
    XFreeGC(x, gc);
    XCloseDisplay(x);
    stop_xserver(server);
    ASSERT_EQ(shot.width, 64);
    ASSERT_EQ(shot.height, 48);
    for (const auto& square : squares) {
        EXPECT_EQ(pixel_at(shot, square.left, 5), square.colour) << square.left;
        EXPECT_EQ(pixel_at(shot, square.left + 9, 7), square.colour) << square.left;
        EXPECT_NE(pixel_at(shot, square.left + 9, 8), square.colour) << square.left;
        EXPECT_NE(pixel_at(shot, square.left, 4), square.colour) << square.left;
    }
}

}  // namespace
