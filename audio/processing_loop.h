// The running state of the capture thread: one pass per output buffer
// event, and once a second the timing statistics of those passes.
#pragma once

#include <windows.h>

#include <audioclient.h>

#include <cstdint>

#include "audio/capture_end.h"
#include "audio/settings.h"
#include "engine/filter/playout.h"

constexpr int kLoopDurationEntries = 200;
// Lengths in ms of the passes of the current statistics window.
extern int32_t loopDurations[kLoopDurationEntries];

struct LoopStats {
    int32_t count;         // passes finished in the window
    uint32_t window_start; // clock (ms) at which the window began
    uint32_t last;         // clock at the end of the previous pass
    uint32_t min;          // never above 1000
    uint32_t max;
    int64_t index; // next free entry of loopDurations
};

// What set-up hands to the loop; all obtained and started.
struct LoopStreams {
    IAudioClient* output_client;
    IAudioRenderClient* render_client;
    HANDLE output_event;
    uint32_t output_frames;
    IAudioClient* capture_client;
    IAudioCaptureClient* capture_reader;
};

// Runs until stopEvent, a failing call or the time-out, prints the exit's
// own lines and returns why it ended; the caller then tears down.
CaptureEnd RunProcessingLoop(CPlayout* playout, const LoopStreams& streams,
                             const Settings* settings);
