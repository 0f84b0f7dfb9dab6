#include "design/design_measure.h"

#include <cmath>
#include <numbers>

#include "check/band_response.h"

namespace {

// Bins from 20 Hz to 20 kHz (below Nyquist).
void AudibleBins(double rate, uint32_t grid, uint32_t* first, uint32_t* last)
{
    *first = static_cast<uint32_t>(std::ceil(kAudibleLow * grid / rate));
    *last = static_cast<uint32_t>(std::floor(std::min(kAudibleHigh, rate / 2) * grid / rate));
}

std::complex<double> Undelay(uint32_t k, uint32_t grid, double frames)
{
    return std::polar(1.0, 2.0 * std::numbers::pi * k / grid * frames);
}

double Db(double magnitude)
{
    return 20.0 * std::log10(std::max(magnitude, 1e-15));
}

} // namespace

double LargestDeviationDb(const std::vector<double>& impulse, const Spectrum& prototype,
                          double rate, uint32_t grid, double* at_hz)
{
    return SpectrumDeviationDb(ImpulseSpectrum(impulse, grid), prototype, rate, grid, at_hz);
}

double SpectrumDeviationDb(const Spectrum& h, const Spectrum& prototype, double rate, uint32_t grid,
                           double* at_hz)
{
    uint32_t first, last;
    AudibleBins(rate, grid, &first, &last);
    double worst = 0;
    *at_hz = 0;
    for (uint32_t k = first; k <= last; ++k) {
        const double target = std::abs(prototype[k]);
        if (Db(target) <= -60.0)
            continue;
        const double deviation = Db(std::abs(h[k])) - Db(target);
        if (std::abs(deviation) > std::abs(worst)) {
            worst = deviation;
            *at_hz = k * rate / grid;
        }
    }
    return worst;
}

BandMeasure MeasureDesignedBand(const std::vector<double>& impulse, const Spectrum& spectrum,
                                const BandDesign& band, const Design& d, uint32_t index,
                                double centre_hz, uint32_t grid)
{
    BandMeasure m;
    const double scale = BandScale(d, index);
    const double delay = BandDelayMs(d, index) * d.rate / 1000.0;
    m.intended_gain_db = Db(std::abs(scale));
    m.intended_inverted = scale < 0;
    m.intended_delay_ms = BandDelayMs(d, index);
    m.deviation_db = SpectrumDeviationDb(spectrum, band.prototype, d.rate, grid, &m.deviation_hz);

    // At a bin near the band's centre: the taps' response with the delay
    // and the prototype's phase taken out leaves the gain with its sign.
    const uint32_t k = std::max<uint32_t>(1, std::lround(centre_hz * grid / d.rate));
    m.centre_hz = k * d.rate / grid;
    const std::complex<double> h = spectrum[k];
    const std::complex<double> r = h * Undelay(k, grid, delay) * scale / band.prototype[k];
    m.gain_db = Db(std::abs(r));
    m.inverted = r.real() < 0;
    // Group delays: the taps' own, less the prototype's (its centre, or a
    // minimum-phase band's own delay), from the phase of the neighbour bins.
    const double turn = std::arg(band.prototype[k + 1] / band.prototype[k - 1]);
    const double prototype_frames = -turn / (2.0 * 2.0 * std::numbers::pi / grid);
    const std::vector<double> file(impulse.rbegin(), impulse.rend());
    m.delay_ms = (GroupDelay(file, m.centre_hz, d.rate) - prototype_frames) * 1000.0 / d.rate;
    return m;
}

double FlatSumDeviationDb(const std::array<Spectrum, 3>& spectra, const Design& d, uint32_t grid,
                          double* at_hz)
{
    Spectrum sum(grid / 2 + 1);
    for (uint32_t band = 0; band < 3; ++band) {
        const Spectrum& h = spectra[band];
        const double frames = BandDelayMs(d, band) * d.rate / 1000.0 + (d.taps - 1) / 2.0;
        const double scale = BandScale(d, band);
        for (uint32_t k = 0; k < sum.size(); ++k)
            sum[k] += h[k] * Undelay(k, grid, frames) / scale;
    }
    uint32_t first, last;
    AudibleBins(d.rate, grid, &first, &last);
    double worst = 0;
    *at_hz = 0;
    for (uint32_t k = first; k <= last; ++k) {
        if (std::abs(Db(std::abs(sum[k]))) > std::abs(worst)) {
            worst = Db(std::abs(sum[k]));
            *at_hz = k * d.rate / grid;
        }
    }
    return worst;
}
