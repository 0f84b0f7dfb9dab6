// The output stream's format and duration, worked out from the endpoints'
// engine formats, the device period and the command line.
#pragma once

#include <cstdint>

#include "base/wave_format.h"

// Turns the output endpoint's engine format, in place, into the format the
// output stream asks for: integer PCM at the capture engine's rate, with
// the sample width of `output_bit` (0 keeps the engine's width).
void BuildOutputFormat(WaveFormat* format, uint32_t capture_rate, int32_t output_bit);

// 24 valid bits in 32-bit containers, for endpoints that take no packed
// 3-byte samples (HD Audio, many USB interfaces).
void UseWideContainers(WaveFormat* format);

// The duration of `frames` at `rate`, in 100-ns units, as Microsoft's
// documentation of the aligned-buffer retry computes it.
int64_t AlignedDuration(uint32_t rate, uint32_t frames);

// Buffer duration and periodicity of the exclusive stream, in 100-ns units:
// `buffer_duration` ms, or else the largest multiple of the minimum device
// period below 100 ms (at least one period).
int64_t StreamDuration(int32_t buffer_duration, int64_t minimum_period);
