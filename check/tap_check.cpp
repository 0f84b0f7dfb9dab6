#include "check/tap_check.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

constexpr double kFlatLimitDb = 1.0;
constexpr double kDcLimitDb = -40.0;
// Measured -6 dB points of good designs lie well within this of the design.
constexpr double kRoundTolerance = 0.001;

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

CheckReport CheckTaps(const BandTaps& taps, double rate, double attenuation)
{
    CheckReport r;
    r.rate = rate;
    r.attenuation = attenuation;
    double worst = 0.0;
    for (uint32_t band = 0; band < 3; ++band) {
        r.bands[band] = MeasureBand(taps[band], rate);
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

void NoteUnreadNumbers(const TapList lists[3], CheckReport* report)
{
    for (uint32_t band = 0; band < 3; ++band) {
        report->stop_line[band] = lists[band].stop_line;
        report->unread_numbers[band] = lists[band].unread_numbers;
        if (lists[band].unread_numbers > 0)
            report->warnings.push_back({kUnreadNumbers, band});
    }
}

int CheckExitStatus(const CheckReport& report)
{
    return report.warnings.empty() ? 0 : 1;
}
