// A small harness for end-to-end window tests on X11: a private Xvfb server, processes
// started with a given environment, xdotool input, closing a window, and screenshots.
// Every call is bounded by a timeout; nothing here waits forever.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

// ---- The X server ----

struct XServer {
    pid_t pid = -1;
    std::string display;  // e.g. ":3"
};

// Starts Xvfb on a free display (chosen by the server itself) with one screen of
// width x height at 24 bits. The server also dies with the process that started it.
// Returns false, with the reason in *error, when it does not come up within timeout_ms.
bool start_xserver(XServer& server, int width, int height, int timeout_ms, std::string* error);
// Kills the server and reaps it; safe to call twice or on a server never started.
void stop_xserver(XServer& server);

// ---- Processes ----

// The current environment with DISPLAY set to `display` and WAYLAND_DISPLAY removed.
std::vector<std::string> environment_with_display(const std::string& display);
// The current environment without DISPLAY and WAYLAND_DISPLAY.
std::vector<std::string> environment_without_display();

// Starts argv[0] (searched in PATH when it has no slash) with exactly `environment`.
// Standard output and error go to `output_path` when it is not empty, else they are
// inherited. Returns the process id, or -1 when it could not be started.
pid_t launch_process(const std::vector<std::string>& argv,
                     const std::vector<std::string>& environment,
                     const std::string& output_path = "");

struct ProcessEnd {
    bool ended = false;   // false: still running when the timeout passed
    bool exited = false;  // ended through exit(); exit_code is valid
    int exit_code = -1;
    int signal = 0;  // the killing signal when it ended through one
};

// Waits up to timeout_ms for the process to end and reaps it. A process that has not
// ended is left running (use kill_process).
ProcessEnd wait_for_process(pid_t pid, int timeout_ms);
// SIGKILL and reap; harmless for a process that has already been reaped.
void kill_process(pid_t pid);
// "exit code 3", "killed by signal 11", "still running": for failure messages.
std::string describe(const ProcessEnd& end);

struct CommandResult {
    ProcessEnd end;
    std::string output;  // standard output and error together
};

// Runs a command to its end, collecting its output; killed when it outlasts timeout_ms.
CommandResult run_command(const std::vector<std::string>& argv,
                          const std::vector<std::string>& environment, int timeout_ms);

// ---- Windows and input (all on the given display) ----

// The first viewable top-level window whose name is exactly `name`, polled until
// timeout_ms passes; 0 when there is none.
unsigned long find_window(const std::string& display, const std::string& name, int timeout_ms);

struct WindowGeometry {
    int x = 0;  // top-left of the window's inside, in root coordinates
    int y = 0;
    int width = 0;
    int height = 0;
};
bool window_geometry(const std::string& display, unsigned long window, WindowGeometry& geometry);

// Moves the pointer to root (x, y) and presses and releases `button` (1 left, 3 right).
bool click_at(const std::string& display, int x, int y, int button);
// Several clicks in one go: each entry is {x, y, button}.
struct Click {
    int x;
    int y;
    int button;
};
bool click_all(const std::string& display, const std::vector<Click>& clicks, int timeout_ms);
// Types keys (xdotool key names, e.g. "alt+F4") into the window.
bool send_keys(const std::string& display, unsigned long window, const std::string& keys);
// Asks the window to close the way a window manager's close box does (WM_DELETE_WINDOW).
// No window manager runs on the private server, so the message is sent from here.
bool close_window(const std::string& display, unsigned long window);

// ---- Screenshots ----

struct Rgb {
    uint8_t red;
    uint8_t green;
    uint8_t blue;
};
inline bool operator==(Rgb a, Rgb b) {
    return a.red == b.red && a.green == b.green && a.blue == b.blue;
}
inline bool operator!=(Rgb a, Rgb b) {
    return !(a == b);
}

struct Screenshot {
    int width = 0;
    int height = 0;
    std::vector<Rgb> pixels;  // rows top-down
};

// The whole root window as RGB pixels, shot with ImageMagick's import. False when the
// server or import is not there.
bool take_screenshot(const std::string& display, Screenshot& shot);
// A pixel of the shot; black for coordinates outside it.
Rgb pixel_at(const Screenshot& shot, int x, int y);
