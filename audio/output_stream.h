// Opening the output: the endpoint chosen, its format negotiated, the
// exclusive event-driven stream initialised with its render service and
// buffer event. Not started.
#pragma once

#include <cstdint>

#include "audio/capture_resources.h"
#include "audio/endpoints.h"
#include "audio/settings.h"
#include "engine/filter/playout.h"

struct OutputStream {
    WaveFormat format = {};      // as negotiated and taken by the playout
    uint32_t frames = 0;         // the output buffer, in frames
    REFERENCE_TIME duration = 0; // its duration and periodicity
    uint32_t rate = 0;
};

// Asks the endpoint whether it takes `format` in exclusive mode. When the
// packed 24-bit samples of `output_bit` 24 are refused, asks for 24 bits in
// 32-bit containers too and, if those are taken, leaves them in `format`.
// Returns the answer for the format left in `format`.
HRESULT NegotiateOutputFormat(IAudioClient* client, int32_t output_bit, WaveFormat* format);

// Initializes `*client` exclusive and event-driven with `*duration` as
// buffer duration and periodicity. A buffer size the endpoint refuses as
// not aligned (HD Audio) is retried once as Microsoft documents it: the
// aligned size from the failed client, which is released, and a new client
// from `endpoint` initialized with that size's duration, left in `*client`
// and `*duration` (`*client` is null if that activation failed).
HRESULT InitializeExclusive(IMMDevice* endpoint, IAudioClient** client, const WaveFormat* format,
                            REFERENCE_TIME* duration);

// Fills the output items of `r` and `stream`, with a format the playout
// takes. False after printing the failing step's own line, if it has one.
bool OpenOutputStream(const Settings* settings, const DeviceInfo& capture_info,
                      const CPlayout& playout, CaptureResources* r, OutputStream* stream);
