#include "app/supervisor.h"

#include <windows.h>

#include <objbase.h>

#include <clocale>

#include "app/command_line.h"
#include "app/console_handler.h"
#include "app/hotkeys.h"
#include "app/power_window.h"
#include "app/priority_app.h"
#include "app/recovery.h"
#include "app/shared_state.h"
#include "app/timestamp.h"
#include "audio/capture_end.h"
#include "audio/capture_thread.h"
#include "audio/device_watch.h"
#include "base/console.h"

namespace {

// The window thread, waited for just before the process ends.
HANDLE windowThread = nullptr;
DWORD windowThreadId = 0;

enum class WatchOutcome {
    kCtrlC,
    kPowerEvent,
    kCaptureEnded,
    kPriorityApp,
    kDefaultChanged,
};

// The events and threads of the whole run. False when one could not be
// created; the caller then shuts down with what exists.
bool StartUp()
{
    ctrlEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (!ctrlEvent) {
        ConsolePrint(L"ERROR:Couldn't create the console event.\n");
        return false;
    }
    // Without the handler Ctrl+C ends the process by the default handling,
    // which is all the program could do about a failure here anyway.
    SetConsoleCtrlHandler(ConsoleCtrlHandler, TRUE);

    powerEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (!powerEvent) {
        ConsolePrint(L"ERROR:Couldn't create the power event.\n");
        return false;
    }
    windowThread = CreateThread(nullptr, 0, WindowThreadProc, nullptr, 0, &windowThreadId);
    if (!windowThread) {
        ConsolePrint(L"ERROR:Couldn't create the window thread.\n");
        return false;
    }
    return true;
}

// Paused while the detected priority application runs. False when Ctrl+C
// came instead: no capture thread exists, the program ends.
bool WaitForPriorityApp(const wchar_t* priority_app)
{
    ConsolePrint(L">The priority application was detected. The capturing will stop. (%ls)\n",
                 priority_app);
    // The process first: when both are signalled, its end wins.
    HANDLE handles[2] = {priorityProcess, ctrlEvent};
    DWORD result = WaitForMultipleObjects(2, handles, FALSE, INFINITE);
    CloseHandle(priorityProcess);
    priorityProcess = nullptr;
    // A suspend or resume during the pause says nothing about now.
    ResetEvent(powerEvent);

    if (result == WAIT_OBJECT_0 + 1)
        return false;
    if (result == WAIT_OBJECT_0)
        ConsolePrint(L">The priority application was terminated. (%ls)\n", priority_app);
    // A failed wait goes on to the capture start without a line.
    return true;
}

// Waits for the power event that follows the one that stopped the capture.
// Ctrl+C also ends the wait (false): a suspended machine may not resume for
// hours, and the user asked to quit now.
bool WaitForResume()
{
    ConsolePrint(L">Waiting a resume event. ");
    PrintTimestamp();
    // Ctrl+C first: when both are set, quit without starting a capture.
    HANDLE handles[2] = {ctrlEvent, powerEvent};
    DWORD result = WaitForMultipleObjects(2, handles, FALSE, INFINITE);
    // A failed wait goes on to the capture start, like the pause's.
    return result != WAIT_OBJECT_0;
}

bool StartCapture(const Settings& settings, const DeviceWatch* watch)
{
    stopEvent = CreateEventExW(nullptr, nullptr, 0, SYNCHRONIZE | EVENT_MODIFY_STATE);
    if (!stopEvent) {
        ConsolePrint(L"ERROR:Couldn't create the stop event.\n");
        return false;
    }
    if (!captureSettingsFilled) {
        captureSettings = settings;
        captureSettingsFilled = true;
    }
    // The new thread reads the default anew: an earlier change is no news.
    if (watch->default_changed != nullptr)
        ResetEvent(watch->default_changed);
    captureThread = CreateThread(nullptr, 0, CaptureThreadProc, &captureSettings, 0, nullptr);
    if (!captureThread) {
        ConsolePrint(L"ERROR:Couldn't create the capture thread.\n");
        CloseHandle(stopEvent);
        stopEvent = nullptr;
        return false;
    }
    return true;
}

// The one-second watch over a running capture thread.
WatchOutcome Watch(const wchar_t* priority_app, HotkeyState* hotkeys, const DeviceWatch* watch)
{
    for (;;) {
        // Listed in this order: when several are signalled, the first wins.
        HANDLE handles[4] = {ctrlEvent, powerEvent, captureThread, watch->default_changed};
        DWORD result =
            WaitForMultipleObjects(watch->default_changed != nullptr ? 4 : 3, handles, FALSE, 1000);
        if (result == WAIT_OBJECT_0)
            return WatchOutcome::kCtrlC;
        if (result == WAIT_OBJECT_0 + 1)
            return WatchOutcome::kPowerEvent;
        if (result == WAIT_OBJECT_0 + 2)
            return WatchOutcome::kCaptureEnded;
        if (result == WAIT_OBJECT_0 + 3)
            return WatchOutcome::kDefaultChanged;
        // Any other result counts as the time-out; a failing wait returns at
        // once, so keep the watch's pace instead of spinning.
        if (result == WAIT_FAILED)
            Sleep(1000);
        CheckPriorityApp(priority_app);
        if (priorityProcess)
            return WatchOutcome::kPriorityApp;
        PollHotkeys(hotkeys);
    }
}

// Returns the thread's CaptureEnd.
DWORD StopCapture()
{
    if (!stopEvent || !captureThread)
        return kCaptureEnded;
    SetEvent(stopEvent);
    // No time-out: the capture thread bounds its own waits (two seconds
    // without a buffer event ends it), and stopEvent must outlive it.
    WaitForSingleObject(captureThread, INFINITE);
    DWORD end = kCaptureEnded;
    if (!GetExitCodeThread(captureThread, &end))
        end = kCaptureEnded;
    CloseHandle(captureThread);
    captureThread = nullptr;
    CloseHandle(stopEvent);
    stopEvent = nullptr;
    return end;
}

// Runs the capture thread until Ctrl+C or its own end, pausing for the
// priority application and around suspend and resume.
void Supervise(const Settings& settings, const wchar_t* priority_app, const DeviceWatch* watch)
{
    HotkeyState hotkeys; // kept across capture restarts, like LiveControls
    Recovery recovery;

    CheckPriorityApp(priority_app);
    bool detected = priorityProcess != nullptr;
    bool waiting_for_resume = false;
    bool first_start = true;
    bool quit = false;
    while (!quit) {
        if (detected) {
            detected = false;
            if (!WaitForPriorityApp(priority_app))
                return;
        }
        if (waiting_for_resume) {
            waiting_for_resume = false;
            if (!WaitForResume())
                return;
        }
        if (recovery.waiting) {
            switch (WaitForEndpoints(settings, priority_app, watch, &recovery)) {
            case EndpointWait::kCtrlC:
                return;
            case EndpointWait::kPowerEvent:
                waiting_for_resume = true;
                continue;
            case EndpointWait::kPriorityApp:
                detected = true;
                continue;
            case EndpointWait::kReady:
                recovery.waiting = false;
            }
        }
        if (!StartCapture(settings, watch))
            return;
        recovery.started_at = GetTickCount64();
        WatchOutcome outcome = Watch(priority_app, &hotkeys, watch);
        switch (outcome) {
        case WatchOutcome::kCtrlC:
            quit = true;
            break;
        case WatchOutcome::kPowerEvent:
            waiting_for_resume = true;
            break;
        case WatchOutcome::kPriorityApp:
            detected = true;
            break;
        case WatchOutcome::kDefaultChanged:
            ConsolePrint(L">The default device was changed. The capturing will restart.\n");
            break;
        default: // kCaptureEnded
            break;
        }
        DWORD end = StopCapture();
        if (outcome == WatchOutcome::kCaptureEnded)
            quit = !BeginRecovery(end, first_start, settings, watch, &recovery);
        first_start = false;
    }
}

void Shutdown()
{
    if (ctrlEvent) {
        CloseHandle(ctrlEvent);
        ctrlEvent = nullptr;
    }
    if (powerEvent) {
        CloseHandle(powerEvent);
        powerEvent = nullptr;
    }
    // Only the thread that owns a window may destroy it: have the window
    // thread close it (the default handling of WM_CLOSE destroys it, and
    // WM_DESTROY ends that thread's message loop), waiting a bounded time.
    if (HWND window = hiddenWindow.exchange(nullptr)) {
        DWORD_PTR result = 0;
        SendMessageTimeoutW(window, WM_CLOSE, 0, 0, SMTO_NORMAL, 2000, &result);
    } else if (windowThread) {
        // No window (no display): its message loop ends on a quit message.
        PostThreadMessageW(windowThreadId, WM_QUIT, 0, 0);
    }
    ConsolePrint(L">The 'trivandel.exe' was terminated.\n");
    // Let the window thread finish tearing its window down before the
    // process ends: under Wine, a process that ends while that thread still
    // does so can die of a segmentation fault instead of exiting with 0.
    // Bounded: a thread that had no message queue yet when told to quit
    // ends only with the process; a failed post or wait ends in the same.
    if (windowThread) {
        WaitForSingleObject(windowThread, 2000);
        CloseHandle(windowThread);
        windowThread = nullptr;
    }
}

} // namespace

int RunTrivandel(int argc, wchar_t** argv)
{
    // Failure is ignored: the program runs under the locale it has.
    std::setlocale(LC_ALL, "japanese");

    Settings settings;
    wchar_t priority_app[kNameUnits];
    if (!ParseCommandLine(argc, argv, &settings, priority_app))
        return 0;

    if (StartUp()) {
        // The main thread's own COM, for the endpoint notifications and the
        // checks between capture runs. Without them no default change is
        // followed, and every wait for an endpoint ends in a capture start.
        DeviceWatch watch;
        const bool com = SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
        if (!com || !StartDeviceWatch(&watch))
            ConsolePrint(L"WARNING:Couldn't watch the audio devices.\n");
        Supervise(settings, priority_app, &watch);
        StopDeviceWatch(&watch);
        if (com)
            CoUninitialize();
    }
    Shutdown();
    return 0;
}
