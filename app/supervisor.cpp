#include "supervisor.h"

#include <windows.h>

#include <clocale>

#include "capture_thread.h"
#include "command_line.h"
#include "console.h"
#include "shared_state.h"

// Interim supervisor: runs one capture thread until it ends by itself.
int RunTrivandel(int argc, wchar_t** argv)
{
    std::setlocale(LC_ALL, "japanese");

    Settings settings;
    wchar_t priority_app[kNameUnits];
    if (!ParseCommandLine(argc, argv, &settings, priority_app))
        return 0;

    stopEvent = CreateEventExW(nullptr, nullptr, 0, SYNCHRONIZE | EVENT_MODIFY_STATE);
    if (stopEvent) {
        captureSettings = settings;
        captureSettingsFilled = true;
        captureThread = CreateThread(nullptr, 0, CaptureThreadProc, &captureSettings, 0, nullptr);
        if (captureThread) {
            WaitForSingleObject(captureThread, INFINITE);
            CloseHandle(captureThread);
            captureThread = nullptr;
        }
        CloseHandle(stopEvent);
        stopEvent = nullptr;
    }
    ConsolePrint(L">The 'trivandel.exe' was terminated.\n");
    return 0;
}
