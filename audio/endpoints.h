// Endpoint inventory: describing render endpoints on the console and
// choosing the one the three bands are played on.
#pragma once

#include <windows.h>

#include <mmdeviceapi.h>

#include "base/wave_format.h"
#include "base/wide_text.h"

constexpr int kDeviceTextUnits = kWideTextUnits;

struct DeviceInfo {
    wchar_t EndpointID[kDeviceTextUnits];
    wchar_t Device_FriendlyName[kDeviceTextUnits];
    WaveFormat AudioEngine_DeviceFormat;
};

// Prints a plain or extensible format; only the plain part of a plain one is read.
void PrintWaveFormat(const WaveFormat* format);

// Reads id, friendly name and engine format. False when a call fails, the
// last property read answers other than S_OK, or a property is absent or
// malformed (not a string, or a blob shorter than a whole format record);
// `info` is then not to be used. Longer texts are cut to 259 code units.
bool GetDeviceInfo(IMMDevice* endpoint, DeviceInfo* info);

void PrintDeviceInfo(const DeviceInfo* info, bool with_format);

// Whether the endpoint can stream: active, not unplugged, disabled or gone;
// a state that cannot be read counts as not active.
bool IsActive(IMMDevice* endpoint);

// Whether an endpoint, described by `info`, may be chosen without a name:
// not the capture endpoint, six or more channels, and active (plugged in;
// a state that cannot be read counts as not active).
enum class AutomaticChoice { kCandidate, kCaptureEndpoint, kFewChannels, kNotActive };
AutomaticChoice AutomaticChoiceOf(IMMDevice* endpoint, const DeviceInfo& info, bool is_capture);

// Whether `name` (as -output_device gives it) is the endpoint's id or its
// friendly name, in any letter case.
bool IsNamed(const DeviceInfo& info, const wchar_t* name);

// Lists one endpoint and tells whether it may be the output: with a
// `name`, the endpoint whose id or friendly name it is; without one, an
// automatic candidate (above). Never the capture endpoint.
bool IsOutputCandidate(IMMDevice* endpoint, IMMDevice* capture_endpoint, const wchar_t* name);

// Lists every render endpoint and returns the first candidate with one
// reference the caller releases, or nullptr.
IMMDevice* FindOutputDevice(IMMDeviceEnumerator* enumerator, IMMDevice* capture_endpoint,
                            const wchar_t* name);
