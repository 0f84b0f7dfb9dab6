// Why a capture thread ended: its exit code. The supervisor ends the
// program on kCaptureEnded and rides out the rest, which say that a device
// went away or stalled rather than that something must be fixed.
#pragma once

#include <windows.h>

#include <audioclient.h>

enum CaptureEnd : DWORD {
    kCaptureEnded = 0,    // stopped, or a failure that a retry cannot mend
    kOutputLost = 1,      // the output endpoint was invalidated or removed
    kOutputStalled = 2,   // the output event stopped coming
    kLoopbackLost = 3,    // the loopback stream was disconnected
    kEndpointMissing = 4, // set-up found no default endpoint or no output
};

// Results that say an endpoint went away, not that a call was wrong.
inline bool IsDeviceGone(HRESULT hr)
{
    return hr == AUDCLNT_E_DEVICE_INVALIDATED || hr == AUDCLNT_E_SERVICE_NOT_RUNNING ||
           hr == HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
}
