// The design section of trivandel-design's report: for each band the
// intended gain, delay and polarity beside those measured from the written
// taps, the largest deviation from the target, the flat sum, which of the
// check's warnings the design explains, and the design's own warnings.
#pragma once

#include <array>
#include <filesystem>
#include <vector>

#include "check/tap_check.h"
#include "design/design_measure.h"

struct DesignResult {
    uint32_t grid = 0;
    std::array<BandDesign, 3> bands;
    std::array<std::vector<double>, 3> written; // the taps read back, time order
    std::array<Spectrum, 3> spectra;            // theirs, on the grid
    std::array<BandMeasure, 3> measured;
};

// Prints the section; returns the number of design warnings. `correction`
// is the correction's impulse (empty: none).
unsigned PrintDesignSection(const std::filesystem::path& path, const Design& design,
                            const std::vector<double>& correction, const DesignResult& result,
                            const CheckReport& check);
