// The crossover check: what the three bands of taps do at a sample rate,
// worked out from their frequency responses, and what a user must be
// warned about before the taps reach the speakers. Printing is separate
// (check_print.h), so tests read the report itself.
#pragma once

#include <array>
#include <complex>
#include <cstdint>
#include <vector>

#include "engine/filter/tap_file.h"

// The three bands' taps in file order (band 0 low, 1 mid, 2 high), all of
// one length: entry 0 multiplies the oldest frame of the window.
using BandTaps = std::array<std::vector<double>, 3>;

// The taps of the three bands added up: what plays when all three do.
std::vector<double> SummedTaps(const BandTaps& taps);

// The three tap files' values as read.
BandTaps ToBandTaps(const TapList lists[3]);

// The response of one band at `hz`. The tap order does not change the
// magnitude; the phase is that of the taps as written.
std::complex<double> Response(const std::vector<double>& taps, double hz, double rate);
double GainDb(const std::vector<double>& taps, double hz, double rate);

struct BandReport {
    uint32_t taps = 0;
    bool silent = false; // no tap differs from 0
    double dc_db = 0, centre_hz = 0, centre_db = 0, nyquist_db = 0;
    double peak_db = 0, peak_hz = 0;
    // Where the gain has fallen 3 and 6 dB below the band's peak, below and
    // above it; 0 where the band reaches down to DC or up to Nyquist.
    double lower_hz[2] = {}, upper_hz[2] = {}; // [0] -3 dB, [1] -6 dB
    // Gain one and two octaves outside the -6 dB points (NaN past Nyquist).
    double below_db[2] = {}, above_db[2] = {};
    bool symmetric = false;
    double latency_frames = 0;
    // The largest output for a full-scale input: the sum of |taps|.
    double worst_output = 0;
    // Centre of the band's energy on a logarithmic axis, 20 Hz to 20 kHz.
    double energy_hz = 0;
    uint32_t role = 0; // the band it sounds like, by energy_hz among the bands
};

enum WarningKind {
    kBandOutOfPlace,   // by energy_hz, the file holds another band than its name says
    kHighBandPassesDc, // the high band's gain at 0 Hz is above -40 dB
    kSumNotFlat,       // the sum strays more than 1 dB from 0 dB, the bypass's level
    kOtherRate,        // the crossover points fit a design at another rate
    kSineCanClip,      // a full-scale sine at the band's peak clips at the attenuation
};

struct CheckWarning {
    WarningKind kind;
    uint32_t band; // for the band warnings, else 0
    bool operator==(const CheckWarning&) const = default;
};

struct CheckReport {
    double rate = 0;
    double attenuation = 0;
    BandReport bands[3];
    // The sum of the three bands, 20 Hz to 20 kHz (below Nyquist).
    double sum_top_hz = 0;
    double sum_min_db = 0, sum_max_db = 0;
    double sum_worst_db = 0, sum_worst_hz = 0; // largest deviation from 0 dB
    bool sum_is_impulse = false;
    double sum_delay_frames = 0, sum_impulse_db = 0;
    // The -6 dB crossover points, low to high. They are round here when all
    // of them, or all -3 dB points, lie within 0.1% of a round frequency
    // (two significant digits, or a third-octave centre such as 315 or
    // 1250). A design for another rate played at this one moves every point
    // by the ratio of the rates: when they are not round here, fitting_rate
    // is the first of kDesignRates at which they all would be (0 if none).
    std::vector<double> crossovers;
    bool round_here = false;
    double fitting_rate = 0;
    double safe_attenuation = 0; // nothing can clip at or below it
    std::vector<CheckWarning> warnings;
};

// The standard rates a design may have been made for.
constexpr double kDesignRates[] = {44100, 48000, 88200, 96000, 176400, 192000};

CheckReport CheckTaps(const BandTaps& taps, double rate, double attenuation);

// 0 when nothing is wrong, 1 when the report holds a warning.
int CheckExitStatus(const CheckReport& report);
