#include "window_harness.hpp"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

int64_t milliseconds_since(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

void pause_briefly() {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

std::vector<char*> c_strings(const std::vector<std::string>& strings) {
    std::vector<char*> pointers;
    for (const std::string& text : strings) {
        pointers.push_back(const_cast<char*>(text.c_str()));
    }
    pointers.push_back(nullptr);
    return pointers;
}

std::vector<std::string> environment_without(const std::vector<std::string>& names) {
    std::vector<std::string> result;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        bool dropped = false;
        for (const std::string& name : names) {
            dropped = dropped || text.compare(0, name.size() + 1, name + "=") == 0;
        }
        if (!dropped) {
            result.push_back(text);
        }
    }
    return result;
}

// Starts argv with exactly `environment` and the given file actions, which it destroys.
// Returns posix_spawnp's result.
int spawn_with(const std::vector<std::string>& argv, const std::vector<std::string>& environment,
               posix_spawn_file_actions_t& actions, pid_t& pid) {
    std::vector<char*> arguments = c_strings(argv);
    std::vector<char*> variables = c_strings(environment);
    const int failure =
        posix_spawnp(&pid, arguments[0], &actions, nullptr, arguments.data(), variables.data());
    posix_spawn_file_actions_destroy(&actions);
    return failure;
}

ProcessEnd end_from_status(int status) {
    ProcessEnd end;
    end.ended = true;
    if (WIFEXITED(status)) {
        end.exited = true;
        end.exit_code = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        end.signal = WTERMSIG(status);
    }
    return end;
}

// Reads what is there on a pipe without blocking longer than wait_ms; false at its end.
bool read_available(int fd, std::string& text, int wait_ms) {
    pollfd request{fd, POLLIN, 0};
    if (poll(&request, 1, wait_ms) <= 0) {
        return true;
    }
    char chunk[4096];
    const ssize_t count = read(fd, chunk, sizeof chunk);
    if (count <= 0) {
        return count < 0 && errno == EINTR;
    }
    text.append(chunk, static_cast<size_t>(count));
    return true;
}

// A connection that is closed when it goes out of scope.
struct Connection {
    Display* display;
    explicit Connection(const std::string& name) : display(XOpenDisplay(name.c_str())) {}
    ~Connection() {
        if (display != nullptr) {
            XCloseDisplay(display);
        }
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
};

bool window_is_named(Display* display, Window window, const std::string& name) {
    char* plain_name = nullptr;
    bool named = false;
    if (XFetchName(display, window, &plain_name) != 0 && plain_name != nullptr) {
        named = name == plain_name;
        XFree(plain_name);
    }
    if (named) {
        return true;
    }
    // Programs that set only the UTF-8 name.
    const Atom net_wm_name = XInternAtom(display, "_NET_WM_NAME", False);
    const Atom utf8_string = XInternAtom(display, "UTF8_STRING", False);
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, window, net_wm_name, 0, 1024, False, utf8_string, &type,
                           &format, &count, &after, &data) == Success &&
        data != nullptr) {
        named = type == utf8_string && format == 8 &&
                name == std::string(reinterpret_cast<char*>(data), count);
        XFree(data);
    }
    return named;
}

bool window_is_viewable(Display* display, Window window) {
    XWindowAttributes attributes;
    return XGetWindowAttributes(display, window, &attributes) != 0 &&
           attributes.map_state == IsViewable;
}

// Depth first, so that a window reparented into a frame is found as well.
Window search_tree(Display* display, Window parent, const std::string& name) {
    Window root = 0;
    Window parent_of_parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    if (XQueryTree(display, parent, &root, &parent_of_parent, &children, &count) == 0) {
        return 0;
    }
    Window found = 0;
    for (unsigned int i = 0; i < count && found == 0; ++i) {
        if (window_is_named(display, children[i], name) &&
            window_is_viewable(display, children[i])) {
            found = children[i];
        } else {
            found = search_tree(display, children[i], name);
        }
    }
    if (children != nullptr) {
        XFree(children);
    }
    return found;
}

// X errors (a window that went away meanwhile) must not end the test program.
int ignore_x_error(Display*, XErrorEvent*) {
    return 0;
}

// One header field of a binary PPM: a decimal number after white space and comments.
bool read_ppm_number(std::FILE* file, int& value) {
    int c = std::fgetc(file);
    while (c == '#' || std::isspace(c) != 0) {
        if (c == '#') {
            while (c != '\n' && c != EOF) {
                c = std::fgetc(file);
            }
        }
        c = std::fgetc(file);
    }
    if (std::isdigit(c) == 0) {
        return false;
    }
    int64_t number = 0;
    while (std::isdigit(c) != 0 && number <= 1000000) {
        number = number * 10 + (c - '0');
        c = std::fgetc(file);
    }
    value = static_cast<int>(number);
    // Exactly one white-space byte ends the last field before the pixels.
    return std::isspace(c) != 0 && number <= 1000000;
}

// A binary PPM of 8-bit samples, as ImageMagick writes it.
bool read_ppm(const char* path, Screenshot& shot) {
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) {
        return false;
    }
    int width = 0;
    int height = 0;
    int maximum = 0;
    bool read = std::fgetc(file) == 'P' && std::fgetc(file) == '6' &&
                read_ppm_number(file, width) && read_ppm_number(file, height) &&
                read_ppm_number(file, maximum) && maximum == 255 && width > 0 && height > 0;
    std::vector<uint8_t> bytes;
    if (read) {
        bytes.resize(static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
        read = std::fread(bytes.data(), 1, bytes.size(), file) == bytes.size();
    }
    std::fclose(file);
    if (!read) {
        return false;
    }
    shot.width = width;
    shot.height = height;
    shot.pixels.resize(bytes.size() / 3);
    for (size_t i = 0; i < shot.pixels.size(); ++i) {
        shot.pixels[i] = Rgb{bytes[i * 3], bytes[i * 3 + 1], bytes[i * 3 + 2]};
    }
    return true;
}

}  // namespace

bool start_xserver(XServer& server, int width, int height, int timeout_ms, std::string* error) {
    stop_xserver(server);
    int ready[2];
    if (pipe(ready) != 0) {
        *error = std::string("pipe: ") + std::strerror(errno);
        return false;
    }
    fcntl(ready[0], F_SETFD, FD_CLOEXEC);
    const std::vector<std::string> arguments = {
        "Xvfb",      "-displayfd", std::to_string(ready[1]),
        "-screen",   "0",          std::to_string(width) + "x" + std::to_string(height) + "x24",
        "-nolisten", "tcp",        "-noreset"};
    std::vector<char*> argv = c_strings(arguments);
    const pid_t parent = getpid();
    // fork rather than posix_spawn: the server is told to die with this process, so that a
    // crashed test leaves no server behind.
    const pid_t pid = fork();
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent) {
            _exit(127);
        }
        const int null_fd = open("/dev/null", O_WRONLY);
        if (null_fd >= 0) {
            dup2(null_fd, STDOUT_FILENO);
            dup2(null_fd, STDERR_FILENO);
        }
        execvp(argv[0], argv.data());
        _exit(127);
    }
    close(ready[1]);
    if (pid < 0) {
        close(ready[0]);
        *error = std::string("fork: ") + std::strerror(errno);
        return false;
    }
    server.pid = pid;
    // The server writes its display number when it accepts connections.
    std::string number;
    const Clock::time_point start = Clock::now();
    while (number.find('\n') == std::string::npos && milliseconds_since(start) < timeout_ms) {
        if (!read_available(ready[0], number, 50)) {
            break;
        }
    }
    close(ready[0]);
    if (number.find('\n') == std::string::npos) {
        stop_xserver(server);
        *error = "Xvfb did not report a display within " + std::to_string(timeout_ms) + " ms";
        return false;
    }
    server.display = ":" + number.substr(0, number.find('\n'));
    return true;
}

void stop_xserver(XServer& server) {
    if (server.pid > 0) {
        kill_process(server.pid);
    }
    server.pid = -1;
    server.display.clear();
}

std::vector<std::string> environment_with_display(const std::string& display) {
    std::vector<std::string> result = environment_without({"DISPLAY", "WAYLAND_DISPLAY"});
    result.push_back("DISPLAY=" + display);
    return result;
}

std::vector<std::string> environment_without_display() {
    return environment_without({"DISPLAY", "WAYLAND_DISPLAY"});
}

pid_t launch_process(const std::vector<std::string>& argv,
                     const std::vector<std::string>& environment, const std::string& output_path) {
    if (argv.empty()) {
        return -1;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!output_path.empty()) {
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output_path.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    }
    pid_t pid = -1;
    const int failure = spawn_with(argv, environment, actions, pid);
    return failure == 0 ? pid : -1;
}

ProcessEnd wait_for_process(pid_t pid, int timeout_ms) {
    const Clock::time_point start = Clock::now();
    for (;;) {
        int status = 0;
        const pid_t result = waitpid(pid, &status, WNOHANG);
        if (result == pid) {
            return end_from_status(status);
        }
        if (result < 0 && errno != EINTR) {
            return ProcessEnd{};  // not ours or already reaped
        }
        if (milliseconds_since(start) >= timeout_ms) {
            return ProcessEnd{};
        }
        pause_briefly();
    }
}

void kill_process(pid_t pid) {
    if (pid <= 0) {
        return;
    }
    if (kill(pid, SIGKILL) == 0) {
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }
}

std::string describe(const ProcessEnd& end) {
    if (!end.ended) {
        return "still running";
    }
    if (end.exited) {
        return "exit code " + std::to_string(end.exit_code);
    }
    return "killed by signal " + std::to_string(end.signal);
}

CommandResult run_command(const std::vector<std::string>& argv,
                          const std::vector<std::string>& environment, int timeout_ms) {
    CommandResult result;
    int output[2];
    if (argv.empty() || pipe(output) != 0) {
        return result;
    }
    fcntl(output[0], F_SETFD, FD_CLOEXEC);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, output[1], STDERR_FILENO);
    posix_spawn_file_actions_addclose(&actions, output[1]);
    pid_t pid = -1;
    const int failure = spawn_with(argv, environment, actions, pid);
    close(output[1]);
    if (failure != 0) {
        close(output[0]);
        result.output = argv[0] + ": " + std::strerror(failure);
        return result;
    }
    const Clock::time_point start = Clock::now();
    bool open = true;
    while (open && milliseconds_since(start) < timeout_ms) {
        open = read_available(output[0], result.output, 50);
    }
    close(output[0]);
    const int64_t left = timeout_ms - milliseconds_since(start);
    result.end = wait_for_process(pid, left > 0 ? static_cast<int>(left) : 0);
    if (!result.end.ended) {
        kill_process(pid);
    }
    return result;
}

unsigned long find_window(const std::string& display, const std::string& name, int timeout_ms) {
    const Clock::time_point start = Clock::now();
    XErrorHandler previous = XSetErrorHandler(ignore_x_error);
    Window found = 0;
    for (;;) {
        {
            Connection connection(display);
            if (connection.display != nullptr) {
                found =
                    search_tree(connection.display, DefaultRootWindow(connection.display), name);
            }
        }
        if (found != 0 || milliseconds_since(start) >= timeout_ms) {
            break;
        }
        pause_briefly();
    }
    XSetErrorHandler(previous);
    return found;
}

bool window_geometry(const std::string& display, unsigned long window, WindowGeometry& geometry) {
    Connection connection(display);
    if (connection.display == nullptr) {
        return false;
    }
    XErrorHandler previous = XSetErrorHandler(ignore_x_error);
    XWindowAttributes attributes;
    bool known = XGetWindowAttributes(connection.display, window, &attributes) != 0;
    Window child = 0;
    int x = 0;
    int y = 0;
    known = known &&
            XTranslateCoordinates(connection.display, window, DefaultRootWindow(connection.display),
                                  0, 0, &x, &y, &child) != 0;
    XSetErrorHandler(previous);
    if (known) {
        geometry = WindowGeometry{x, y, attributes.width, attributes.height};
    }
    return known;
}

bool click_at(const std::string& display, int x, int y, int button) {
    return click_all(display, {Click{x, y, button}}, 10000);
}

bool click_all(const std::string& display, const std::vector<Click>& clicks, int timeout_ms) {
    std::vector<std::string> argv = {"xdotool"};
    for (const Click& click : clicks) {
        argv.insert(argv.end(), {"mousemove", std::to_string(click.x), std::to_string(click.y),
                                 "click", std::to_string(click.button)});
    }
    const CommandResult result = run_command(argv, environment_with_display(display), timeout_ms);
    return result.end.exited && result.end.exit_code == 0;
}

bool send_keys(const std::string& display, unsigned long window, const std::string& keys) {
    const CommandResult result =
        run_command({"xdotool", "windowfocus", std::to_string(window), "key", keys},
                    environment_with_display(display), 10000);
    return result.end.exited && result.end.exit_code == 0;
}

bool close_window(const std::string& display, unsigned long window) {
    Connection connection(display);
    if (connection.display == nullptr) {
        return false;
    }
    XErrorHandler previous = XSetErrorHandler(ignore_x_error);
    XEvent event;
    std::memset(&event, 0, sizeof event);
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(connection.display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] =
        static_cast<long>(XInternAtom(connection.display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    const bool sent = XSendEvent(connection.display, window, False, NoEventMask, &event) != 0;
    XSync(connection.display, False);
    XSetErrorHandler(previous);
    return sent;
}

bool take_screenshot(const std::string& display, Screenshot& shot) {
    char path[] = "/tmp/quillop-shot-XXXXXX";
    const int fd = mkstemp(path);
    if (fd < 0) {
        return false;
    }
    close(fd);
    const CommandResult result = run_command(
        {"import", "-silent", "-window", "root", "-depth", "8", std::string("ppm:") + path},
        environment_with_display(display), 60000);
    const bool taken = result.end.exited && result.end.exit_code == 0 && read_ppm(path, shot);
    unlink(path);
    return taken;
}

Rgb pixel_at(const Screenshot& shot, int x, int y) {
    if (x < 0 || y < 0 || x >= shot.width || y >= shot.height) {
        return Rgb{0, 0, 0};
    }
    return shot
        .pixels[static_cast<size_t>(y) * static_cast<size_t>(shot.width) + static_cast<size_t>(x)];
}
