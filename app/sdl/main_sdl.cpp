// The desktop program on SDL2: turns SDL's events into the portable handlers of app.hpp.
#include <SDL.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "app/app.hpp"
#include "tiles/tiles.hpp"

#ifdef QUILLOP_WITH_X11
#include <SDL_syswm.h>
#include <X11/Xlib.h>
#endif

namespace {

SDL_Window* main_window = nullptr;
// Where tiles are drawn when the window's own pixels are not in the tiles' byte order.
SDL_Surface* shadow_surface = nullptr;

std::string joined_arguments(int argc, char** argv) {
    std::string tail;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) {
            tail += ' ';
        }
        tail += argv[i];
    }
    return tail;
}

#ifdef QUILLOP_WITH_X11
XErrorHandler default_x_error_handler = nullptr;
Window main_x_window = 0;

// Once the window is gone, requests that still name it fail: SDL's own (input selection,
// pixels, its wakeup event, destroying it at the end) as well as ours. Xlib's default
// handler would end the program with 1 for them; the window's end is reported as an event.
int ignore_errors_about_a_gone_window(Display* display, XErrorEvent* error) {
    if (main_x_window != 0 && error->resourceid == main_x_window &&
        (error->error_code == BadWindow || error->error_code == BadDrawable)) {
        return 0;
    }
    return default_x_error_handler(display, error);
}

void keep_a_gone_window_harmless() {
    default_x_error_handler = XSetErrorHandler(ignore_errors_about_a_gone_window);
}

// Another client may destroy the window (xdotool windowclose, a window manager's kill):
// the program then ends as after a close. SDL passes X events on only as system events.
void watch_for_destruction() {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (SDL_GetWindowWMInfo(main_window, &info) == SDL_TRUE && info.subsystem == SDL_SYSWM_X11) {
        main_x_window = info.info.x11.window;
        SDL_EventState(SDL_SYSWMEVENT, SDL_ENABLE);
    }
}

bool is_destruction(const SDL_Event& event) {
    if (event.type != SDL_SYSWMEVENT || event.syswm.msg == nullptr ||
        event.syswm.msg->subsystem != SDL_SYSWM_X11) {
        return false;
    }
    const XEvent& x_event = event.syswm.msg->msg.x11.event;
    return x_event.type == DestroyNotify && x_event.xdestroywindow.window == main_x_window;
}
#else
void keep_a_gone_window_harmless() {}
void watch_for_destruction() {}
bool is_destruction(const SDL_Event&) {
    return false;
}
#endif

bool is_set(const char* variable) {
    const char* value = SDL_getenv(variable);
    return value != nullptr && value[0] != '\0';
}

// SDL falls back to its invisible offscreen driver when no window system answers, and a
// console driver would take over the whole screen: only real window systems count here.
bool is_window_system(const char* driver) {
    return std::strcmp(driver, "x11") == 0 || std::strcmp(driver, "wayland") == 0 ||
           std::strcmp(driver, "cocoa") == 0;
}

// Without these the Wayland library prints its own complaint before failing, which would
// make the one-line message two.
bool wayland_may_answer() {
    const char* name = SDL_getenv("WAYLAND_DISPLAY");
    return is_set("WAYLAND_SOCKET") || is_set("XDG_RUNTIME_DIR") ||
           (name != nullptr && name[0] == '/');
}

bool worth_trying(const char* driver) {
    return is_window_system(driver) &&
           (std::strcmp(driver, "wayland") != 0 || wayland_may_answer());
}

bool start_video() {
    if (is_set("SDL_VIDEODRIVER")) {  // the user's explicit choice
        return SDL_Init(SDL_INIT_VIDEO) == 0;
    }
    SDL_SetError("no window system to connect to");
    for (int i = 0; i < SDL_GetNumVideoDrivers(); ++i) {
        const char* driver = SDL_GetVideoDriver(i);
        if (driver == nullptr || !worth_trying(driver)) {
            continue;
        }
        SDL_SetHint(SDL_HINT_VIDEODRIVER, driver);
        if (SDL_Init(SDL_INIT_VIDEO) == 0) {
            return true;
        }
    }
    return false;
}

// Blue, green, red, unused in memory: the 4-byte layout draw_tile_pixels writes.
constexpr Uint32 blue_green_red_format = SDL_BYTEORDER == SDL_LIL_ENDIAN
                                             ? static_cast<Uint32>(SDL_PIXELFORMAT_XRGB8888)
                                             : static_cast<Uint32>(SDL_PIXELFORMAT_BGRX8888);

bool holds_blue_green_red_bytes(const SDL_Surface* surface) {
    return surface->format->format == blue_green_red_format;
}

void paint_into(SDL_Surface* surface) {
    SDL_FillRect(surface, nullptr, SDL_MapRGB(surface->format, 255, 255, 255));
    if (SDL_MUSTLOCK(surface) && SDL_LockSurface(surface) != 0) {
        return;
    }
    handle_paint_pixels(PixelBuffer{static_cast<unsigned char*>(surface->pixels), surface->w,
                                    surface->h, surface->pitch, 4});
    if (SDL_MUSTLOCK(surface)) {
        SDL_UnlockSurface(surface);
    }
}

void repaint() {
    SDL_Surface* window_surface = SDL_GetWindowSurface(main_window);
    if (window_surface == nullptr) {
        return;
    }
    if (holds_blue_green_red_bytes(window_surface)) {
        paint_into(window_surface);
    } else {
        if (shadow_surface == nullptr || shadow_surface->w != window_surface->w ||
            shadow_surface->h != window_surface->h) {
            SDL_FreeSurface(shadow_surface);
            shadow_surface = SDL_CreateRGBSurfaceWithFormat(0, window_surface->w, window_surface->h,
                                                            32, blue_green_red_format);
        }
        if (shadow_surface == nullptr) {
            return;
        }
        paint_into(shadow_surface);
        SDL_BlitSurface(shadow_surface, nullptr, window_surface, nullptr);
    }
    SDL_UpdateWindowSurface(main_window);
}

// The sunflower tile, which quillop-art also draws as the installed icons, straight from the
// tile set: no file to find at run time.
void show_icon() {
    SDL_Surface* icon =
        SDL_CreateRGBSurfaceWithFormat(0, tile_side, tile_side, 32, blue_green_red_format);
    if (icon == nullptr) {
        return;
    }
    draw_tile_pixels(
        PixelBuffer{static_cast<unsigned char*>(icon->pixels), icon->w, icon->h, icon->pitch, 4},
        tile_for_cell(icon_cell), 0, 0);
    SDL_SetWindowIcon(main_window, icon);
    SDL_FreeSurface(icon);
}

// The client area for the requested board, kept inside the display's usable area so that
// huge numbers still give a window.
SDL_Rect client_area() {
    SDL_Rect usable{0, 0, 0, 0};
    if (SDL_GetDisplayUsableBounds(0, &usable) != 0 && SDL_GetDisplayBounds(0, &usable) != 0) {
        usable = SDL_Rect{0, 0, 4096, 4096};
    }
    return SDL_Rect{50, 50, client_extent(requested_width, usable.w),
                    client_extent(requested_height, usable.h)};
}

int fail_to_open() {
    std::fprintf(stderr, "quillop: cannot open a window: %s\n", SDL_GetError());
    SDL_Quit();
    return 1;
}

bool is_close_request(const SDL_Event& event) {
    return event.type == SDL_QUIT ||
           (event.type == SDL_WINDOWEVENT && event.window.event == SDL_WINDOWEVENT_CLOSE) ||
           is_destruction(event);
}

void handle_event(const SDL_Event& event) {
    if (event.type == SDL_WINDOWEVENT && event.window.event == SDL_WINDOWEVENT_EXPOSED) {
        repaint();
    } else if (event.type == SDL_MOUSEBUTTONDOWN && event.button.button == SDL_BUTTON_LEFT) {
        handle_left_button(pack_client_point(event.button.x, event.button.y));
        repaint();
    } else if (event.type == SDL_MOUSEBUTTONDOWN && event.button.button == SDL_BUTTON_RIGHT) {
        handle_right_button();
        repaint();
    }
}

}  // namespace

int main(int argc, char** argv) {
    const std::string tail = joined_arguments(argc, argv);
    read_parameters(tail.c_str());

    // A press that also focuses the window is still a move, as on Windows.
    SDL_SetHint(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "1");
    keep_a_gone_window_harmless();
    if (!start_video()) {
        return fail_to_open();
    }
    // On X11 the window's own pixels, not a GL texture, for which SDL would recreate the
    // window behind our back. Other systems have no such pixels and need the texture.
    if (std::strcmp(SDL_GetCurrentVideoDriver(), "x11") == 0) {
        SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    }
    const SDL_Rect area = client_area();
    main_window = SDL_CreateWindow("Quillop", area.x, area.y, area.w, area.h, SDL_WINDOW_HIDDEN);
    if (main_window == nullptr) {
        return fail_to_open();
    }
    watch_for_destruction();
    // Built and dealt before the window first shows, as in the window's creation.
    handle_create();
    show_icon();
    SDL_ShowWindow(main_window);
    repaint();

    SDL_Event event;
    while (SDL_WaitEvent(&event) != 0 && !is_close_request(event)) {
        handle_event(event);
    }
    handle_destroy();
    SDL_FreeSurface(shadow_surface);
    SDL_DestroyWindow(main_window);
    SDL_Quit();
    return 0;
}
