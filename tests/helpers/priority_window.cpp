// priority_window.exe visible|hidden|owned MILLISECONDS
// Stands in for a priority application: shows a top-level window for the
// given time and exits. Copied under the name the test needs (for example
// foobar2000.exe), since the program matches the executable's name.
//   visible  a visible, unowned top-level window (is detected)
//   hidden   an unowned top-level window that is never shown (is not)
//   owned    a visible window owned by a hidden one (is not)
// Prints "shown" once its windows exist. Exit status 0, 2 on bad usage,
// 1 when a window cannot be created.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

LRESULT CALLBACK HelperWndProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wparam, lparam);
}

HWND MakeWindow(const wchar_t* title, HWND owner)
{
    return CreateWindowExW(0, L"priority_window_class", title, WS_OVERLAPPEDWINDOW, 10, 10, 200,
                           100, owner, nullptr, GetModuleHandleW(nullptr), nullptr);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: priority_window visible|hidden|owned MILLISECONDS\n");
        return 2;
    }
    const char* mode = argv[1];
    const UINT milliseconds = static_cast<UINT>(std::strtoul(argv[2], nullptr, 10));

    WNDCLASSEXW window_class = {};
    window_class.cbSize = sizeof(window_class);
    window_class.lpfnWndProc = HelperWndProc;
    window_class.hInstance = GetModuleHandleW(nullptr);
    window_class.lpszClassName = L"priority_window_class";
    if (!RegisterClassExW(&window_class)) {
        std::fprintf(stderr, "priority_window: RegisterClassExW failed\n");
        return 1;
    }

    HWND main_window = nullptr;
    if (std::strcmp(mode, "visible") == 0) {
        main_window = MakeWindow(L"priority window", nullptr);
        if (main_window)
            ShowWindow(main_window, SW_SHOWNOACTIVATE);
    } else if (std::strcmp(mode, "hidden") == 0) {
        main_window = MakeWindow(L"priority window", nullptr);
    } else if (std::strcmp(mode, "owned") == 0) {
        main_window = MakeWindow(L"priority owner", nullptr);
        HWND owned = main_window ? MakeWindow(L"priority owned", main_window) : nullptr;
        if (!owned)
            main_window = nullptr;
        else
            ShowWindow(owned, SW_SHOWNOACTIVATE);
    } else {
        std::fprintf(stderr, "priority_window: unknown mode %s\n", mode);
        return 2;
    }
    if (!main_window) {
        std::fprintf(stderr, "priority_window: CreateWindowExW failed (no display?)\n");
        return 1;
    }
    std::printf("shown\n");
    std::fflush(stdout);

    // Leave by destroying the window, which ends the message loop.
    if (!SetTimer(main_window, 1, milliseconds, nullptr)) {
        std::fprintf(stderr, "priority_window: SetTimer failed\n");
        return 1;
    }
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (message.message == WM_TIMER && message.hwnd == main_window) {
            DestroyWindow(main_window);
            continue;
        }
        DispatchMessageW(&message);
    }
    return 0;
}
