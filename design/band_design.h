// One band's taps from its target, on a frequency grid much finer than the
// taps, in double: linear phase (the target's amplitude with zero phase,
// then the band's delay as a linear phase, so fractional delays are exact)
// or minimum phase (from the real cepstrum of the target's magnitude). The
// correction, if any, is multiplied in before the impulse is cut to length.
#pragma once

#include <complex>
#include <cstdint>
#include <vector>

#include "design/design_file.h"

using Spectrum = std::vector<std::complex<double>>; // bins 0 .. grid / 2

// A power of two much longer than the taps and the correction: the designed
// impulse must not wrap around, and a minimum-phase one needs a long grid to
// keep the cepstrum from aliasing.
uint32_t DesignGrid(const Design& design, size_t correction_taps);

// The correction impulse (time order) on the grid, shifted so its largest
// value lands on the band's own time reference.
Spectrum CorrectionSpectrum(const std::vector<double>& impulse, uint32_t grid);

struct BandDesign {
    std::vector<double> impulse; // time order, design.taps long
    // What the band should do before its delay: gain, polarity, target
    // and correction, with the phase of the phase type (for linear phase,
    // its centre (taps - 1) / 2 included).
    Spectrum prototype;
};

BandDesign DesignBand(const Design& design, uint32_t band, const Spectrum& correction,
                      uint32_t grid);

// The spectrum of an impulse (time order) on the grid.
Spectrum ImpulseSpectrum(const std::vector<double>& impulse, uint32_t grid);
