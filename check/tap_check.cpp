#include "check/tap_check.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

constexpr int kGridPoints = 2000; // log-spaced from 1 Hz to Nyquist, after DC
constexpr double kAudibleLow = 20.0, kAudibleHigh = 20000.0;
constexpr double kFloorDb = -300.0;
// Taps come from text with about nine digits and are held as floats: pairs
// or sums closer than this (of the largest tap) count as equal.
constexpr double kTapTolerance = 1e-5;
constexpr double kFlatLimitDb = 1.0;
constexpr double kDcLimitDb = -40.0;
// Measured -6 dB points of good designs lie well within this of the design.
constexpr double kRoundTolerance = 0.001;

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

// Group delay in frames at `hz` of the taps as a conventional impulse
// response (newest frame first), which is the file's order reversed.
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

// Index of the tap of the largest magnitude (0 for no taps).
size_t LargestAt(const std::vector<double>& taps)
{
    size_t at = 0;
    for (size_t k = 1; k < taps.size(); ++k) {
        if (std::abs(taps[k]) > std::abs(taps[at]))
            at = k;
    }
    return at;
}

BandReport CheckBand(const std::vector<double>& taps, double rate)
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

// Round: two significant digits, or a third-octave centre with three
// (125, 315, 1250, 3150 ...), within kRoundTolerance.
bool IsRound(double hz)
{
    if (!(hz > 0))
        return false;
    const double mantissa = hz / std::pow(10.0, std::floor(std::log10(hz)));
    for (double m : {std::round(mantissa * 10.0) / 10.0, 1.25, 3.15}) {
        if (std::abs(mantissa / m - 1.0) <= kRoundTolerance)
            return true;
    }
    return false;
}

bool AllRound(const std::vector<double>& points, double factor)
{
    if (points.empty())
        return false;
    for (double hz : points) {
        if (!IsRound(hz * factor))
            return false;
    }
    return true;
}

} // namespace

std::vector<double> SummedTaps(const BandTaps& taps)
{
    std::vector<double> sum(taps[0].size());
    for (size_t k = 0; k < sum.size(); ++k)
        sum[k] = taps[0][k] + taps[1][k] + taps[2][k];
    return sum;
}

BandTaps ToBandTaps(const TapList lists[3])
{
    BandTaps taps;
    for (uint32_t band = 0; band < 3; ++band)
        taps[band].assign(lists[band].values, lists[band].values + lists[band].count);
    return taps;
}

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

CheckReport CheckTaps(const BandTaps& taps, double rate, double attenuation)
{
    CheckReport r;
    r.rate = rate;
    r.attenuation = attenuation;
    double worst = 0.0;
    for (uint32_t band = 0; band < 3; ++band) {
        r.bands[band] = CheckBand(taps[band], rate);
        worst = std::max(worst, r.bands[band].worst_output);
    }
    r.safe_attenuation = worst > 0 ? 1.0 / worst : INFINITY;

    // Each sounding band takes, in the order of its energy's centre, the
    // places the sounding bands have in file order.
    std::vector<uint32_t> sounding;
    for (uint32_t band = 0; band < 3; ++band) {
        r.bands[band].role = band;
        if (!r.bands[band].silent)
            sounding.push_back(band);
    }
    std::vector<uint32_t> by_energy = sounding;
    std::stable_sort(by_energy.begin(), by_energy.end(), [&](uint32_t a, uint32_t b) {
        return r.bands[a].energy_hz < r.bands[b].energy_hz;
    });
    for (size_t i = 0; i < sounding.size(); ++i)
        r.bands[by_energy[i]].role = sounding[i];
    for (uint32_t band = 0; band < 3; ++band) {
        if (r.bands[band].role != band)
            r.warnings.push_back({kBandOutOfPlace, band});
    }
    if (!r.bands[2].silent && r.bands[2].dc_db > kDcLimitDb)
        r.warnings.push_back({kHighBandPassesDc, 2});

    const std::vector<double> sum = SummedTaps(taps);
    r.sum_top_hz = std::min(kAudibleHigh, rate / 2);
    r.sum_min_db = INFINITY;
    r.sum_max_db = -INFINITY;
    for (int i = 0; i < kGridPoints; ++i) {
        const double hz = kAudibleLow * std::pow(r.sum_top_hz / kAudibleLow,
                                                 static_cast<double>(i) / (kGridPoints - 1));
        const double db = GainDb(sum, hz, rate);
        r.sum_min_db = std::min(r.sum_min_db, db);
        r.sum_max_db = std::max(r.sum_max_db, db);
        if (std::abs(db) > std::abs(r.sum_worst_db) || i == 0) {
            r.sum_worst_db = db;
            r.sum_worst_hz = hz;
        }
    }
    if (std::abs(r.sum_worst_db) > kFlatLimitDb)
        r.warnings.push_back({kSumNotFlat, 0});
    const size_t centre = LargestAt(sum);
    const double peak = sum.empty() ? 0.0 : std::abs(sum[centre]);
    r.sum_is_impulse = peak > 0;
    for (size_t k = 0; k < sum.size(); ++k)
        r.sum_is_impulse &= k == centre || std::abs(sum[k]) <= kTapTolerance * peak;
    if (r.sum_is_impulse) {
        r.sum_delay_frames = static_cast<double>(sum.size() - 1 - centre);
        r.sum_impulse_db = 20.0 * std::log10(peak);
    }

    // The crossover points: the -6 dB (and -3 dB) points of the bands.
    std::vector<double> points[2];
    for (const BandReport& b : r.bands) {
        for (int level = 0; level < 2; ++level) {
            for (double hz : {b.lower_hz[level], b.upper_hz[level]}) {
                if (hz > 0)
                    points[level].push_back(hz);
            }
        }
    }
    for (std::vector<double>& p : points)
        std::sort(p.begin(), p.end());
    for (double hz : points[1]) {
        if (r.crossovers.empty() || hz > r.crossovers.back() * 1.01)
            r.crossovers.push_back(hz);
    }
    r.round_here = AllRound(points[1], 1.0) || AllRound(points[0], 1.0);
    for (double design : kDesignRates) {
        const double factor = design / rate;
        if (!r.round_here && r.fitting_rate == 0 && design != rate &&
            (AllRound(points[1], factor) || AllRound(points[0], factor)))
            r.fitting_rate = design;
    }
    if (r.fitting_rate > 0)
        r.warnings.push_back({kOtherRate, 0});

    for (uint32_t band = 0; band < 3; ++band) {
        if (std::pow(10.0, r.bands[band].peak_db / 20.0) * attenuation > 1.0)
            r.warnings.push_back({kSineCanClip, band});
    }
    return r;
}

int CheckExitStatus(const CheckReport& report)
{
    return report.warnings.empty() ? 0 : 1;
}
