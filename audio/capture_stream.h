// Opening the capture stream: shared-mode loopback of the default render
// endpoint in its mix format, sized to the output stream. Not started.
#pragma once

#include <cstdint>

#include "audio/capture_resources.h"
#include "audio/output_stream.h"
#include "engine/filter/fir_filter.h"

// Fills the capture items of `r` and sizes the filter's store for the mix
// format. False after printing the failing step's own line, if it has one.
bool OpenCaptureStream(const OutputStream& output, CFIRFilter* filter, CaptureResources* r,
                       uint32_t* capture_frames);
