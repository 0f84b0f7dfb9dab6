// A designed band measured back from its taps as written: its gain,
// polarity and delay beside the design's, and how far its magnitude strays
// from the target.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "design/band_design.h"

struct BandMeasure {
    double centre_hz = 0; // where gain, polarity and delay are measured
    double intended_gain_db = 0, gain_db = 0;
    bool intended_inverted = false, inverted = false;
    double intended_delay_ms = 0, delay_ms = 0;
    // The largest deviation of the magnitude from the target, 20 Hz to
    // 20 kHz, wherever the target is above -60 dB.
    double deviation_db = 0, deviation_hz = 0;
};

// `impulse` in time order (a tap file's order reversed).
double LargestDeviationDb(const std::vector<double>& impulse, const Spectrum& prototype,
                          double rate, uint32_t grid, double* at_hz);

// The same for the impulse's spectrum on the grid.
double SpectrumDeviationDb(const Spectrum& h, const Spectrum& prototype, double rate, uint32_t grid,
                           double* at_hz);

// `spectrum` is the impulse's on the grid.
BandMeasure MeasureDesignedBand(const std::vector<double>& impulse, const Spectrum& spectrum,
                                const BandDesign& band, const Design& design, uint32_t index,
                                double centre_hz, uint32_t grid);

// The three bands summed once each band's intended delay, gain and polarity
// are taken out: its largest deviation from flat, 20 Hz to 20 kHz.
// `spectra`: the bands' impulses on the grid.
double FlatSumDeviationDb(const std::array<Spectrum, 3>& spectra, const Design& design,
                          uint32_t grid, double* at_hz);
