#include "design/band_design.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <numbers>

#include "design/band_target.h"
#include "engine/fft/fft.h"

namespace {

using Complex = std::complex<double>;

// One transform per grid size, set up once: its tables cost as much as a
// transform. The designer runs on one thread.
const CFft<double>& Transform(uint32_t grid)
{
    static std::map<uint32_t, CFft<double>> transforms;
    CFft<double>& fft = transforms[grid];
    if (fft.Size() != grid)
        fft.Setup(grid);
    return fft;
}

// exp(-j w frames) at bin k of the grid: a delay of `frames`, fractions too.
Complex Delay(uint32_t k, uint32_t grid, double frames)
{
    return std::polar(1.0, -2.0 * std::numbers::pi * k / grid * frames);
}

// The minimum-phase spectrum of a magnitude: log magnitude, its real
// cepstrum folded onto positive quefrencies, exponentiated.
Spectrum MinimumPhase(const std::vector<double>& magnitude, uint32_t grid)
{
    const CFft<double>& fft = Transform(grid);
    std::vector<Complex> c(grid);
    const double floor = 1e-15; // -300 dB: the log of a deep stop band stays finite
    for (uint32_t k = 0; k <= grid / 2; ++k) {
        c[k] = std::log(std::max(std::abs(magnitude[k]), floor));
        if (k > 0 && k < grid / 2)
            c[grid - k] = c[k];
    }
    fft.Inverse(c.data());
    for (uint32_t n = 0; n < grid; ++n) {
        const double fold = n == 0 || n == grid / 2 ? 1.0 : n < grid / 2 ? 2.0 : 0.0;
        c[n] = fold * c[n].real() / grid;
    }
    fft.Forward(c.data());
    Spectrum h(grid / 2 + 1);
    for (uint32_t k = 0; k <= grid / 2; ++k)
        h[k] = std::exp(c[k]);
    return h;
}

// The real impulse of a spectrum given at bins 0 .. grid / 2, first `taps` values.
std::vector<double> Impulse(const Spectrum& h, uint32_t grid, uint32_t taps)
{
    std::vector<Complex> x(grid);
    for (uint32_t k = 0; k <= grid / 2; ++k) {
        x[k] = h[k];
        if (k > 0 && k < grid / 2)
            x[grid - k] = std::conj(h[k]);
    }
    x[grid / 2] = h[grid / 2].real(); // Nyquist of a real impulse is real
    Transform(grid).Inverse(x.data());
    std::vector<double> impulse(taps);
    for (uint32_t n = 0; n < taps; ++n)
        impulse[n] = x[n].real() / grid;
    return impulse;
}

uint32_t PowerOfTwo(double at_least)
{
    uint32_t n = 1;
    while (n < at_least && n < (1u << 26))
        n *= 2;
    return n;
}

} // namespace

uint32_t DesignGrid(const Design& d, size_t correction_taps)
{
    const double linear = std::max({16.0 * d.taps, 4.0 * correction_taps, 65536.0});
    return PowerOfTwo(d.minimum_phase ? std::max(linear, std::min(64.0 * d.taps, 4194304.0))
                                      : linear);
}

Spectrum CorrectionSpectrum(const std::vector<double>& impulse, uint32_t grid)
{
    size_t peak = 0;
    for (size_t n = 0; n < impulse.size(); ++n)
        peak = std::abs(impulse[n]) > std::abs(impulse[peak]) ? n : peak;
    Spectrum c = ImpulseSpectrum(impulse, grid);
    for (uint32_t k = 0; k < c.size(); ++k)
        c[k] *= Delay(k, grid, -static_cast<double>(peak));
    return c;
}

Spectrum ImpulseSpectrum(const std::vector<double>& impulse, uint32_t grid)
{
    std::vector<Complex> x(grid);
    for (size_t n = 0; n < impulse.size() && n < grid; ++n)
        x[n] = impulse[n];
    Transform(grid).Forward(x.data());
    return Spectrum(x.begin(), x.begin() + grid / 2 + 1);
}

BandDesign DesignBand(const Design& d, uint32_t band, const Spectrum& correction, uint32_t grid)
{
    const std::vector<double> a = BandAmplitude(d, band, grid);
    const double scale = BandScale(d, band);
    const double delay = BandDelayMs(d, band) * d.rate / 1000.0;
    BandDesign b;
    b.prototype = d.minimum_phase ? MinimumPhase(a, grid) : Spectrum(a.begin(), a.end());
    const double centre = d.minimum_phase ? 0.0 : (d.taps - 1) / 2.0;
    Spectrum h(grid / 2 + 1);
    for (uint32_t k = 0; k <= grid / 2; ++k) {
        b.prototype[k] *= scale * Delay(k, grid, centre);
        if (!correction.empty())
            b.prototype[k] *= correction[k];
        h[k] = b.prototype[k] * Delay(k, grid, delay);
    }
    b.impulse = Impulse(h, grid, d.taps);
    return b;
}
