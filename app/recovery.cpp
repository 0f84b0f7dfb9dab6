#include "app/recovery.h"

#include <algorithm>

#include "app/priority_app.h"
#include "app/shared_state.h"
#include "audio/capture_end.h"
#include "base/console.h"

namespace {

constexpr DWORD kLongestRetryMs = 5000;
// A capture that ran this long ended by a new event: its wait starts afresh.
constexpr ULONGLONG kSteadyRunMs = 10000;

void SayOutputIsDefault(Recovery* recovery)
{
    if (recovery->said_default)
        return;
    ConsolePrint(L"WARNING:The output device is the default device now. Waiting for another "
                 L"default device.\n");
    recovery->said_default = true;
}

} // namespace

bool BeginRecovery(DWORD end, bool first_start, const Settings& settings, const DeviceWatch* watch,
                   Recovery* recovery)
{
    if (GetTickCount64() - recovery->started_at >= kSteadyRunMs)
        recovery->retry_ms = kFirstRetryMs;
    recovery->said_default = false;
    switch (end) {
    case kOutputLost:
        ConsolePrint(L"WARNING:The output device was lost. Waiting for it to come back.\n");
        break;
    case kOutputStalled:
        ConsolePrint(L"WARNING:The output device stopped asking for data. Restarting the "
                     L"capturing.\n");
        break;
    case kLoopbackLost:
        ConsolePrint(L"WARNING:The capture device was disconnected. Restarting the capturing.\n");
        break;
    case kEndpointMissing:
        if (first_start)
            return false;
        if (watch->enumerator.Get() != nullptr &&
            CheckEndpoints(watch->enumerator.Get(), &settings) == EndpointCheck::kOutputIsDefault) {
            SayOutputIsDefault(recovery);
        } else {
            ConsolePrint(L"WARNING:An audio device is missing. Waiting for it.\n");
        }
        break;
    default:
        return false;
    }
    recovery->waiting = true;
    return true;
}

EndpointWait WaitForEndpoints(const Settings& settings, const wchar_t* priority_app,
                              const DeviceWatch* watch, Recovery* recovery)
{
    for (;;) {
        HANDLE handles[4] = {ctrlEvent, powerEvent, watch->default_changed, watch->devices_changed};
        DWORD count = watch->enumerator.Get() != nullptr ? 4 : 2;
        DWORD result = WaitForMultipleObjects(count, handles, FALSE, recovery->retry_ms);
        if (result == WAIT_OBJECT_0)
            return EndpointWait::kCtrlC;
        if (result == WAIT_OBJECT_0 + 1)
            return EndpointWait::kPowerEvent;
        // A failing wait returns at once: keep the pace instead of spinning.
        if (result == WAIT_FAILED)
            Sleep(recovery->retry_ms);
        if (result == WAIT_TIMEOUT || result == WAIT_FAILED)
            recovery->retry_ms = std::min(2 * recovery->retry_ms, kLongestRetryMs);
        CheckPriorityApp(priority_app);
        if (priorityProcess)
            return EndpointWait::kPriorityApp;
        // Without notifications the capture start itself is the check.
        if (watch->enumerator.Get() == nullptr)
            return EndpointWait::kReady;
        EndpointCheck check = CheckEndpoints(watch->enumerator.Get(), &settings);
        if (check == EndpointCheck::kPresent)
            return EndpointWait::kReady;
        if (check == EndpointCheck::kOutputIsDefault)
            SayOutputIsDefault(recovery);
    }
}
