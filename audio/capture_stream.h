// Opening the capture stream: shared-mode loopback of the default render
// endpoint in its mix format, sized to the output stream. Not started.
#pragma once

#include <cstdint>

#include "audio/capture_resources.h"
#include "audio/output_stream.h"
#include "engine/filter/playout.h"

// Fills the capture items of `r` and starts the playout for the mix format
// and the output. False after printing the failing step's own line, if it
// has one.
bool OpenCaptureStream(const OutputStream& output, CPlayout* playout, CaptureResources* r,
                       uint32_t* capture_frames);
