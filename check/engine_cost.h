// What each convolution engine costs on this PC for long filters: a short
// timed run of each, for the check's report.
#pragma once

#include "engine/filter/fir_filter.h"

// From kEngineCostTaps taps on: prints each engine's share of one core at
// `rate` (10 ms buffers, 24-bit, six channels; CPU time), and suggests
// TRIVANDEL_CONVOLUTION=fft where the FFT engine costs less. `filter` holds
// the taps as loaded; they are not changed.
constexpr uint32_t kEngineCostTaps = 8192;
void PrintEngineCosts(const CFIRFilter* filter, double rate, float attenuation);
