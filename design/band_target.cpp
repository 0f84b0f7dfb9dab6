#include "design/band_target.h"

#include <cmath>
#include <complex>
#include <numbers>

#include "engine/fft/fft.h"

namespace {

// A brickwall edge is the example taps' kind: a Blackman-windowed sinc of
// the design's length, normalised to 1 at DC, its complement for the
// high-pass. Its amplitude on the grid through one transform.
std::vector<double> BrickwallLowpass(double hz, double rate, uint32_t taps, uint32_t grid)
{
    std::vector<std::complex<double>> h(grid);
    const int half = static_cast<int>((taps - 1) / 2); // odd length, centred
    double sum = 0;
    for (int m = -half; m <= half; ++m) {
        const double x = 2.0 * std::numbers::pi * (m + half) / (2.0 * half);
        const double window = 0.42 - 0.5 * std::cos(x) + 0.08 * std::cos(2.0 * x);
        const double ideal =
            m == 0 ? 2.0 * hz / rate
                   : std::sin(2.0 * std::numbers::pi * hz / rate * m) / (std::numbers::pi * m);
        h[(m + grid) % grid] = ideal * window;
        sum += ideal * window;
    }
    CFft<double> fft;
    fft.Setup(grid);
    fft.Forward(h.data());
    std::vector<double> a(grid / 2 + 1);
    for (size_t k = 0; k < a.size(); ++k)
        a[k] = h[k].real() / sum;
    return a;
}

} // namespace

double EdgeMagnitude(const FilterEdge& edge, bool highpass, double hz)
{
    const double x = hz / edge.hz;
    if (edge.type == kLinkwitzRiley) {
        // A Butterworth of half the order, squared: LP + HP = 1.
        const double p = std::pow(x, edge.slope / 6.0);
        return highpass ? p / (1.0 + p) : 1.0 / (1.0 + p);
    }
    const double p = std::pow(x, edge.slope / 6.0); // x^m, m = order
    return (highpass ? p : 1.0) / std::sqrt(1.0 + p * p);
}

double EqMagnitude(const BandStep& s, double hz)
{
    const std::complex<double> j(0, 1), z = j * hz / s.hz;
    const double a = std::pow(10.0, s.db / 40.0), r = std::sqrt(a) / s.q;
    std::complex<double> h;
    if (s.kind == kPeak)
        h = (z * z + z * (a / s.q) + 1.0) / (z * z + z / (a * s.q) + 1.0);
    else if (s.kind == kLowShelf)
        h = a * (z * z + r * z + a) / (a * z * z + r * z + 1.0);
    else
        h = a * (a * z * z + r * z + 1.0) / (z * z + r * z + a);
    return std::abs(h);
}

std::vector<double> BandAmplitude(const Design& d, uint32_t band, uint32_t grid)
{
    std::vector<double> a(grid / 2 + 1, 1.0);
    auto apply = [&](const FilterEdge& edge, bool highpass) {
        if (edge.type == kBrickwall) {
            const std::vector<double> low = BrickwallLowpass(edge.hz, d.rate, d.taps, grid);
            for (size_t k = 0; k < a.size(); ++k)
                a[k] *= highpass ? 1.0 - low[k] : low[k];
            return;
        }
        for (size_t k = 0; k < a.size(); ++k)
            a[k] *= EdgeMagnitude(edge, highpass, k * d.rate / grid);
    };
    if (band > 0)
        apply(d.crossovers[band - 1], true);
    if (band < 2)
        apply(d.crossovers[band], false);
    for (const BandStep& s : d.steps[band]) {
        if (s.kind == kHighpass || s.kind == kLowpass) {
            apply(s.edge, s.kind == kHighpass);
        } else if (s.kind == kPeak || s.kind == kLowShelf || s.kind == kHighShelf) {
            for (size_t k = 0; k < a.size(); ++k)
                a[k] *= EqMagnitude(s, k * d.rate / grid);
        }
    }
    return a;
}
