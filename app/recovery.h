// The supervisor's side of riding out a device that went away or stalled:
// the line for the capture thread's end, and a wait for the endpoints at
// growing intervals before the next capture start.
#pragma once

#include <windows.h>

#include "audio/device_watch.h"
#include "audio/settings.h"

// A device wait's first check comes within a second, later ones at growing
// intervals up to kLongestRetryMs.
constexpr DWORD kFirstRetryMs = 500;

// Where the riding out stands between capture runs.
struct Recovery {
    bool waiting = false;           // no capture start until the endpoints are there
    bool said_default = false;      // this wait's "is the default" line is out
    DWORD retry_ms = kFirstRetryMs; // the wait's next interval
    ULONGLONG started_at = 0;       // tick count of the last capture start
};

// The line for a capture thread that ended by itself, when a wait for the
// endpoints can mend its end; false when the program is to end. Missing
// endpoints at the first start are the user's to fix.
bool BeginRecovery(DWORD end, bool first_start, const Settings& settings, const DeviceWatch* watch,
                   Recovery* recovery);

// How a wait for the endpoints ended.
enum class EndpointWait { kCtrlC, kPowerEvent, kPriorityApp, kReady };

// Waits until a capture start would find its endpoints: checked after the
// first interval, on every endpoint notification and at growing intervals,
// while Ctrl+C, power events and the priority application are heard.
EndpointWait WaitForEndpoints(const Settings& settings, const wchar_t* priority_app,
                              const DeviceWatch* watch, Recovery* recovery);
