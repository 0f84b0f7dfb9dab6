// The parsed command line, which the capture thread is started with. Never
// changed after parsing; the capture thread reads a process-lifetime copy of
// it, captureSettings, that the supervisor keeps.
#pragma once

#include <cstdint>

#include "base/wide_text.h"

constexpr int kNameUnits = kWideTextUnits;

struct Settings {
    wchar_t output_device[kNameUnits]; // empty: choose the output automatically
    float attenuation;
    uint8_t mute_mixer; // accepted, read by nothing
    uint8_t verbose;
    uint8_t mono_lfe;
    int32_t output_bit;      // 0: keep the endpoint's own sample width
    int32_t buffer_duration; // ms; 0: derive from the device period
};
