// The offline render: a WAVE file played through the divider into a
// six-channel WAVE file, sample for sample what trivandel.exe plays for
// that stream. The file is taken as a stream that starts and ends in
// silence: the output is the engine's output for tap_count - 1 silent
// frames, the file and tap_count - 1 silent frames again, which is the
// file's length plus tap_count - 1 frames, so the filters' whole response
// is heard.
#pragma once

#include <cstdint>
#include <filesystem>

#include "engine/filter/playout.h"

// trivandel.exe's options of the same names.
struct RenderSettings {
    float attenuation = 0.8f;
    int32_t output_bit = 24; // 16 or 24
    bool mono_lfe = false;
    // Render as the live loop plays, the loopback's clock this many ppm
    // fast (negative: slow) against the output's; see RenderWav.
    bool clocked = false;
    double clock_ppm = 0;
};

// With `clocked`, the file is played instead as the live loop plays it:
// 10 ms packets paced by output buffers of 99 ms on a loopback clock
// clock_ppm fast, through the same pre-buffering, store, resampler and
// controller, the silent buffers of the pre-buffering included, and then
// silence until the store has played out.
// `playout`'s filter holds the taps and nothing else yet. Mono or stereo
// 8/16/24/32-bit PCM or 32-bit float input at any rate; mono plays on both
// sides, as the audio engine's mix does. Prints its own lines; false when
// nothing usable was written.
bool RenderWav(CPlayout* playout, const std::filesystem::path& input,
               const std::filesystem::path& output, const RenderSettings& settings);
