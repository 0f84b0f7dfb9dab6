// The crossover check: what the three bands of taps do together at a
// sample rate, from each band's measured response (band_response.h), and
// what a user must be warned about before the taps reach the speakers.
// Printing is separate (check_print.h), so tests read the report itself.
#pragma once

#include <array>
#include <complex>
#include <cstdint>
#include <vector>

#include "check/band_response.h"
#include "engine/filter/tap_file.h"

// The three bands' taps in file order (band 0 low, 1 mid, 2 high), all of
// one length: entry 0 multiplies the oldest frame of the window.
using BandTaps = std::array<std::vector<double>, 3>;

// The taps of the three bands added up: what plays when all three do.
std::vector<double> SummedTaps(const BandTaps& taps);

// The three tap files' values as read.
BandTaps ToBandTaps(const TapList lists[3]);

enum WarningKind {
    kBandOutOfPlace,   // by energy_hz, the file holds another band than its name says
    kHighBandPassesDc, // the high band's gain at 0 Hz is above -40 dB
    kSumNotFlat,       // the sum strays more than 1 dB from 0 dB, the bypass's level
    kOtherRate,        // the crossover points fit a design at another rate
    kSineCanClip,      // a full-scale sine at the band's peak clips at the attenuation
    kUnreadNumbers,    // reading stopped at a line after which numbers follow
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
    // Per band: the line where reading stopped, and the numbers after it.
    unsigned stop_line[3] = {};
    size_t unread_numbers[3] = {};
    std::vector<CheckWarning> warnings;
};

// The standard rates a design may have been made for.
constexpr double kDesignRates[] = {44100, 48000, 88200, 96000, 176400, 192000};

CheckReport CheckTaps(const BandTaps& taps, double rate, double attenuation);

// Adds a warning for each file whose reading stopped before numbers that
// were then not read (a blank line in the middle, a comment between taps).
void NoteUnreadNumbers(const TapList lists[3], CheckReport* report);

// 0 when nothing is wrong, 1 when the report holds a warning.
int CheckExitStatus(const CheckReport& report);
