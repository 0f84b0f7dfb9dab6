// send_power.exe 4|18|other
// Sends WM_POWERBROADCAST to trivandel's hidden window, as the system does
// on a suspend (PBT_APMSUSPEND, 4) or an automatic resume
// (PBT_APMRESUMEAUTOMATIC, 18). "other" sends PBT_APMRESUMESUSPEND (7),
// which the program must ignore; any other number is sent as it is.
// Exit status: 0 sent, 1 no window found within 5 s, 2 bad usage.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: send_power 4|18|other|NUMBER\n");
        return 2;
    }
    WPARAM event = PBT_APMRESUMESUSPEND;
    if (std::strcmp(argv[1], "other") != 0) {
        char* end = nullptr;
        event = std::strtoul(argv[1], &end, 10);
        if (end == argv[1] || *end != '\0') {
            std::fprintf(stderr, "send_power: not a number: %s\n", argv[1]);
            return 2;
        }
    }

    // The program's window thread may still be creating its window.
    HWND window = nullptr;
    for (int attempt = 0; attempt < 50 && !window; ++attempt) {
        window = FindWindowW(L"trivandel_wnd_class", nullptr);
        if (!window)
            Sleep(100);
    }
    if (!window) {
        std::fprintf(stderr, "send_power: no trivandel_wnd_class window\n");
        return 1;
    }
    // SendMessage returns once the window procedure has handled it, so the
    // program's line is printed when this program ends.
    SendMessageW(window, WM_POWERBROADCAST, event, 0);
    return 0;
}
