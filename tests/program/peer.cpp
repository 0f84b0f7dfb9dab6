// peer.exe, started beside the program by the whole-program scenarios:
//   peer power EVENT        WM_POWERBROADCAST to its hidden window, as the
//                           system sends it (4 suspend, 18 resume)
//   peer window MODE        a priority application (copied under the name a
//                           test needs) until its standard input ends: a
//                           visible unowned top-level window (MODE visible,
//                           detected), a never-shown one (hidden) or a
//                           visible owned one (owned); prints "shown" once
//                           they exist
// Exit status 0; 1 when no window could be found or made.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

int SendPower(WPARAM event)
{
    // The program's window thread may still be creating its window.
    HWND window = nullptr;
    for (int attempt = 0; attempt < 50 && !(window = FindWindowW(L"trivandel_wnd_class", nullptr));
         ++attempt)
        Sleep(100);
    if (!window)
        return 1;
    // Returns once the window procedure has handled it, line printed.
    SendMessageW(window, WM_POWERBROADCAST, event, 0);
    return 0;
}

HWND MakeWindow(HWND owner)
{
    return CreateWindowExW(0, L"STATIC", L"priority window", WS_OVERLAPPEDWINDOW, 10, 10, 200, 100,
                           owner, nullptr, nullptr, nullptr);
}

int ShowWindows(const char* mode)
{
    HWND window = MakeWindow(nullptr);
    HWND shown = std::strcmp(mode, "owned") == 0 && window ? MakeWindow(window) : window;
    if (!shown)
        return 1;
    if (std::strcmp(mode, "hidden") != 0)
        ShowWindow(shown, SW_SHOWNOACTIVATE);
    std::printf("shown\n");
    std::fflush(stdout);
    while (std::getchar() != EOF) {
    }
    DestroyWindow(window);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "power") == 0)
        return SendPower(std::strtoul(argv[2], nullptr, 10));
    if (argc == 3 && std::strcmp(argv[1], "window") == 0)
        return ShowWindows(argv[2]);
    std::fprintf(stderr, "usage: peer power EVENT | peer window visible|hidden|owned\n");
    return 2;
}
