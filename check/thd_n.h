// THD+N of one tone, as an analyser measures it: one second of samples
// through a Blackman-Harris window, a discrete Fourier transform of exactly
// that second (bins 1 Hz apart), the tone's +-20 Hz notched out and
// everything else from 20 Hz to 20 kHz summed.
#pragma once

#include <cstddef>
#include <cstdint>

// The window's cosine terms: 7 (side lobes under -180 dB: enough range for
// a tone anywhere between bins) or 4 (the common minimum 4-term window,
// side lobes at -92 dB: its leakage alone puts a tone that falls between
// bins about 103 to 118 dB down).
enum ThdWindow : uint32_t { kWindow4Term = 4, kWindow7Term = 7 };

// `rate` samples from `samples`, `stride` floats apart. Returns the tone's
// power over the rest's, in dB (the higher, the cleaner); 0 for a rate
// outside 1 kHz to 2^22.
double ThdPlusNoiseDb(const float* samples, size_t stride, uint32_t rate, double tone_hz,
                      ThdWindow window = kWindow7Term);
