// What one band of taps does at a sample rate: its response, gains,
// crossover points, latency and loudest output, measured from the taps.
#pragma once

#include <complex>
#include <cstdint>
#include <vector>

constexpr int kGridPoints = 2000; // log-spaced from 1 Hz to Nyquist, after DC
constexpr double kAudibleLow = 20.0, kAudibleHigh = 20000.0;
// Taps come from text with about nine digits and are held as floats: pairs
// or sums closer than this (of the largest tap) count as equal.
constexpr double kTapTolerance = 1e-5;

// Index of the tap of the largest magnitude (0 for no taps).
size_t LargestAt(const std::vector<double>& taps);

// The response of one band at `hz`. The tap order does not change the
// magnitude; the phase is that of the taps as written.
std::complex<double> Response(const std::vector<double>& taps, double hz, double rate);
double GainDb(const std::vector<double>& taps, double hz, double rate);

// Group delay in frames at `hz` of the taps as a conventional impulse
// response (newest frame first), which is the file's order reversed.
double GroupDelay(const std::vector<double>& taps, double hz, double rate);

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

BandReport MeasureBand(const std::vector<double>& taps, double rate);
