// What the supervisor learns of the audio endpoints while no capture thread
// could use them, or while one runs: the system's endpoint notifications,
// turned into two events, and a quiet check that a capture start would find
// its endpoints. Used on the main thread, with COM initialised there.
#pragma once

#include <windows.h>

#include <mmdeviceapi.h>

#include "audio/com_ptr.h"
#include "audio/settings.h"

struct DeviceWatch {
    ComPtr<IMMDeviceEnumerator> enumerator;
    ComPtr<IMMNotificationClient> client;
    HANDLE default_changed = nullptr; // auto-reset: a new default render endpoint (eConsole)
    HANDLE devices_changed = nullptr; // auto-reset: an endpoint came, went or changed state
};

// Registers for endpoint notifications. False, with nothing held, when an
// object cannot be made or registered.
bool StartDeviceWatch(DeviceWatch* watch);
// Unregisters and releases; safe after a failed or no start.
void StopDeviceWatch(DeviceWatch* watch);

enum class EndpointCheck {
    kPresent,        // a default endpoint and, apart from it, an output to choose
    kMissing,        // either is missing, or the endpoints cannot be read
    kOutputIsDefault // the only output the choice would take is the default itself
};
// The output choice's rule (audio/endpoints.h) applied without a line
// printed: an endpoint named by `output_device`, or else one of six or more
// channels, other than the default render endpoint.
EndpointCheck CheckEndpoints(IMMDeviceEnumerator* enumerator, const Settings* settings);
