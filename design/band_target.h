// What each band of a design should do: the zero-phase amplitude of its
// analog prototype (crossover edges, extra high- and low-passes) times the
// magnitude of its EQ, on a grid of frequencies. Gain, polarity and delay
// are applied by the designer.
#pragma once

#include <cstdint>
#include <vector>

#include "design/design_file.h"

// The amplitude at bins k * rate / grid, k = 0 .. grid / 2. Real and, but
// for a brickwall's ripple, positive. `grid` is a power of two.
std::vector<double> BandAmplitude(const Design& design, uint32_t band, uint32_t grid);

// One edge at one frequency, for the tests: an analog prototype's magnitude.
double EdgeMagnitude(const FilterEdge& edge, bool highpass, double hz);
// One EQ step's magnitude at a frequency (the usual second-order responses).
double EqMagnitude(const BandStep& step, double hz);
