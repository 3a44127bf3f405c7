// The Windows program: start-up, the main window and its procedure. Everything the game does
// is in the portable handlers; this file only connects Windows' messages to them.
#include <windows.h>

#include <cstdint>

#include "app/app.hpp"
#include "tiles/tiles.hpp"

namespace {

constexpr const char* class_name = "nm_quillop";
constexpr DWORD main_window_style = WS_VISIBLE | WS_CAPTION | WS_SYSMENU;  // 0x10C80000

// One tile, 1:1 and opaque, at client pixel (x, y): the scan lines drawn, 0 when nothing was.
int draw_tile(HDC context, int32_t index, int32_t x, int32_t y) {
    const unsigned char* pixels = tile_images[index];
    if (pixels == nullptr) {  // an image that could not be allocated is simply not drawn
        return 0;
    }
    return StretchDIBits(context, x, y, tile_side, tile_side, 0, 0, tile_side, tile_side, pixels,
                         &tile_bitmap_info, DIB_RGB_COLORS, SRCCOPY);
}

// The paint loop's way to draw; it has no use for the result.
void draw_cell(void* context, int32_t index, int32_t x, int32_t y) {
    draw_tile(static_cast<HDC>(context), index, x, y);
}

void paint(HWND window) {
    PAINTSTRUCT paint_info;
    const HDC context = BeginPaint(window, &paint_info);
    if (context != nullptr) {
        const RECT& area = paint_info.rcPaint;
        handle_paint(area.left, area.top, area.right, area.bottom, draw_cell, context);
    }
    EndPaint(window, &paint_info);
}

LRESULT CALLBACK main_window_proc(HWND window, UINT message, WPARAM w_param, LPARAM l_param) {
    switch (message) {
        case WM_CREATE:
            handle_create();
            return 0;
        case WM_PAINT:
            paint(window);
            return 0;
        case WM_LBUTTONDOWN:
            handle_left_button(static_cast<uint32_t>(l_param));
            InvalidateRect(window, nullptr, TRUE);
            return 0;
        case WM_RBUTTONDOWN:
            handle_right_button();
            InvalidateRect(window, nullptr, TRUE);
            return 0;
        case WM_DESTROY:
            handle_destroy();
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcA(window, message, w_param, l_param);
    }
}

bool register_main_class(HINSTANCE instance) {
    WNDCLASSA window_class{};
    window_class.style = CS_HREDRAW | CS_VREDRAW;
    window_class.lpfnWndProc = main_window_proc;
    window_class.hInstance = instance;
    window_class.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    window_class.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    window_class.lpszClassName = class_name;
    return RegisterClassA(&window_class) != 0;
}

// The requested client area with a sizable window's frame around it; the window gets the
// thinner fixed frame, so its real client area comes out one frame difference larger a side.
RECT main_window_rect() {
    const ClientRect client = requested_client_rect();
    RECT rect{client.left, client.top, client.right, client.bottom};
    AdjustWindowRect(&rect, WS_OVERLAPPEDWINDOW, FALSE);
    return rect;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous_instance, LPSTR, int show_command) {
    // The runtime's own tail skips the program's name by rules of its own; taking the tail
    // from the full command line reads the numbers the same way on every runtime.
    read_parameters(command_tail(GetCommandLineA()));
    if (previous_instance == nullptr && !register_main_class(instance)) {
        return 0;
    }
    const RECT rect = main_window_rect();
    const HWND window = CreateWindowExA(0, class_name, "Quillop", main_window_style, rect.left,
                                        rect.top, rect.right - rect.left, rect.bottom - rect.top,
                                        nullptr, nullptr, instance, nullptr);
    if (window == nullptr) {  // no window: nothing would ever end the message loop
        return 0;
    }
    ShowWindow(window, show_command);
    UpdateWindow(window);

    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return static_cast<int>(message.wParam);
}
