#include "check/band_response.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

constexpr double kFloorDb = -300.0;

struct Curve {
    std::vector<double> hz, db;
};

Curve Measure(const std::vector<double>& taps, double rate)
{
    Curve c;
    const double nyquist = rate / 2;
    c.hz.push_back(0.0);
    for (int i = 0; i < kGridPoints; ++i)
        c.hz.push_back(std::pow(nyquist, static_cast<double>(i) / (kGridPoints - 1)));
    for (double hz : c.hz)
        c.db.push_back(GainDb(taps, hz, rate));
    return c;
}

// Where the gain crosses `threshold` between a frequency above it and one
// below it, by bisection.
double Crossing(const std::vector<double>& taps, double rate, double above_hz, double below_hz,
                double threshold)
{
    for (int i = 0; i < 50; ++i) {
        const double mid = 0.5 * (above_hz + below_hz);
        (GainDb(taps, mid, rate) >= threshold ? above_hz : below_hz) = mid;
    }
    return 0.5 * (above_hz + below_hz);
}

} // namespace

std::complex<double> Response(const std::vector<double>& taps, double hz, double rate)
{
    const std::complex<double> step = std::polar(1.0, -2.0 * std::numbers::pi * hz / rate);
    std::complex<double> turn = 1.0, sum = 0.0;
    for (double t : taps) {
        sum += t * turn;
        turn *= step;
    }
    return sum;
}

double GainDb(const std::vector<double>& taps, double hz, double rate)
{
    const double magnitude = std::abs(Response(taps, hz, rate));
    return magnitude > 0 ? std::max(20.0 * std::log10(magnitude), kFloorDb) : kFloorDb;
}

size_t LargestAt(const std::vector<double>& taps)
{
    size_t at = 0;
    for (size_t k = 1; k < taps.size(); ++k) {
        if (std::abs(taps[k]) > std::abs(taps[at]))
            at = k;
    }
    return at;
}

double GroupDelay(const std::vector<double>& taps, double hz, double rate)
{
    const size_t n = taps.size();
    std::vector<double> weighted(n), reversed(n);
    for (size_t m = 0; m < n; ++m) {
        reversed[m] = taps[n - 1 - m];
        weighted[m] = static_cast<double>(m) * reversed[m];
    }
    return (Response(weighted, hz, rate) / Response(reversed, hz, rate)).real();
}

BandReport MeasureBand(const std::vector<double>& taps, double rate)
{
    BandReport b;
    const double nyquist = rate / 2, top = std::min(kAudibleHigh, nyquist);
    b.taps = static_cast<uint32_t>(taps.size());
    const size_t n = taps.size();
    const double largest = n > 0 ? std::abs(taps[LargestAt(taps)]) : 0.0;
    b.silent = largest == 0.0;
    for (double t : taps)
        b.worst_output += std::abs(t);
    b.symmetric = true;
    for (size_t k = 0; k < n / 2; ++k)
        b.symmetric &= std::abs(taps[k] - taps[n - 1 - k]) <= kTapTolerance * largest;

    const Curve c = Measure(taps, rate);
    const size_t peak = std::max_element(c.db.begin(), c.db.end()) - c.db.begin();
    b.peak_db = c.db[peak];
    b.peak_hz = c.hz[peak];
    b.dc_db = c.db.front();
    b.nyquist_db = c.db.back();
    for (int level = 0; level < 2 && !b.silent; ++level) {
        const double threshold = b.peak_db - (level == 0 ? 3.0 : 6.0);
        for (size_t i = peak; i-- > 0;) {
            if (c.db[i] < threshold) {
                b.lower_hz[level] = Crossing(taps, rate, c.hz[i + 1], c.hz[i], threshold);
                break;
            }
        }
        for (size_t i = peak + 1; i < c.hz.size(); ++i) {
            if (c.db[i] < threshold) {
                b.upper_hz[level] = Crossing(taps, rate, c.hz[i - 1], c.hz[i], threshold);
                break;
            }
        }
    }
    for (int octave = 0; octave < 2; ++octave) {
        const double factor = octave == 0 ? 2.0 : 4.0;
        b.below_db[octave] = b.lower_hz[1] > 0 ? GainDb(taps, b.lower_hz[1] / factor, rate) : NAN;
        b.above_db[octave] = b.upper_hz[1] > 0 && b.upper_hz[1] * factor <= nyquist
                                 ? GainDb(taps, b.upper_hz[1] * factor, rate)
                                 : NAN;
    }
    // The middle of the band's audible part on a logarithmic axis.
    const double low = b.lower_hz[1] > 0 ? b.lower_hz[1] : kAudibleLow;
    const double high = b.upper_hz[1] > 0 ? b.upper_hz[1] : top;
    b.centre_hz = std::clamp(std::sqrt(low * high), kAudibleLow, top);
    b.centre_db = GainDb(taps, b.centre_hz, rate);

    if (b.symmetric) {
        b.latency_frames = (static_cast<double>(n) - 1.0) / 2.0;
    } else if (std::abs(Response(taps, b.centre_hz, rate)) > 1e-6 * b.worst_output) {
        b.latency_frames = GroupDelay(taps, b.centre_hz, rate);
    } else {
        // No sound at the centre: the largest tap stands for the delay.
        b.latency_frames = static_cast<double>(n - 1 - LargestAt(taps));
    }

    // Grid points are evenly spread on the logarithmic axis: each weighs
    // its power alone.
    double power = 0.0, weighted = 0.0;
    for (size_t i = 0; i < c.hz.size(); ++i) {
        if (c.hz[i] < kAudibleLow || c.hz[i] > top)
            continue;
        const double p = std::pow(10.0, c.db[i] / 10.0);
        power += p;
        weighted += p * std::log(c.hz[i]);
    }
    b.energy_hz = power > 0 ? std::exp(weighted / power) : 0.0;
    return b;
}
