// Opening the output: the endpoint chosen, its format negotiated, the
// exclusive event-driven stream initialised with its render service and
// buffer event. Not started.
#pragma once

#include <cstdint>

#include "audio/capture_resources.h"
#include "audio/endpoints.h"
#include "audio/settings.h"
#include "engine/fir_filter.h"

struct OutputStream {
    uint32_t frames = 0;         // the output buffer, in frames
    REFERENCE_TIME duration = 0; // its duration and periodicity
    uint32_t rate = 0;
};

// Fills the output items of `r` and sets the filter up for the output's
// format. False after printing the failing step's own line, if it has one.
bool OpenOutputStream(const Settings* settings, const DeviceInfo& capture_info, CFIRFilter* filter,
                      CaptureResources* r, OutputStream* stream);
