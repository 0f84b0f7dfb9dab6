#include "app/power_window.h"

#include "app/shared_state.h"
#include "app/timestamp.h"
#include "base/console.h"

const wchar_t kPowerWindowClass[] = L"trivandel_wnd_class";

LRESULT CALLBACK WndProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    switch (message) {
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    case WM_POWERBROADCAST:
        if (wparam == PBT_APMSUSPEND) {
            ConsolePrint(L">Received the suspend power state message! ");
            PrintTimestamp();
            SetEvent(powerEvent);
        } else if (wparam == PBT_APMRESUMEAUTOMATIC) {
            ConsolePrint(L">Received the resume power state message! ");
            PrintTimestamp();
            SetEvent(powerEvent);
        }
        // Every other broadcast (the resume after user input, power status
        // changes) is dropped, so one suspend and resume cycle gives exactly
        // two power events.
        return 0;
    default:
        return DefWindowProcW(window, message, wparam, lparam);
    }
}

DWORD WINAPI WindowThreadProc(LPVOID)
{
    HINSTANCE instance = GetModuleHandleW(nullptr);
    HICON icon = LoadIconW(nullptr, IDI_APPLICATION);

    WNDCLASSEXW window_class = {};
    window_class.cbSize = sizeof(window_class);
    window_class.style = CS_HREDRAW | CS_VREDRAW;
    window_class.lpfnWndProc = WndProc;
    window_class.hInstance = instance;
    window_class.hIcon = icon;
    window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    window_class.lpszClassName = kPowerWindowClass;
    window_class.hIconSm = icon;
    // A failed registration shows as a failed creation just below.
    RegisterClassExW(&window_class);

    // An ordinary top-level window, not a message-only one: only top-level
    // windows receive broadcasts. Without it (no display under Wine, for
    // one) no power event is reported and the rest of the program runs on.
    HWND window = CreateWindowExW(0, kPowerWindowClass, kPowerWindowClass, 0, 0, 0, 0, 0, nullptr,
                                  nullptr, nullptr, nullptr);
    if (window) {
        hiddenWindow.store(window);
        ShowWindow(window, SW_HIDE);
    }

    // GetMessageW returns -1 on an error: stop rather than spin on it.
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0)
        DispatchMessageW(&message);
    return 0;
}
