#include "check/thd_n.h"

#include <cmath>
#include <complex>
#include <numbers>
#include <vector>

#include "engine/fft/fft.h"

namespace {

using Complex = std::complex<double>;

// The DFT of any length by Bluestein's chirp: x[n] w[n], convolved with the
// conjugate chirp by power-of-two transforms, times w[k], w[n] = e^(-i pi n^2 / N).
std::vector<Complex> AnyLengthDft(const std::vector<double>& x)
{
    const size_t n = x.size();
    size_t m = 1;
    while (m < 2 * n)
        m <<= 1;
    CFft<double> fft;
    if (!fft.Setup(static_cast<uint32_t>(m)))
        return {};
    std::vector<Complex> a(m), b(m), chirp(n);
    for (size_t k = 0; k < n; ++k)
        chirp[k] = std::polar(1.0, -std::numbers::pi * static_cast<double>(k * k % (2 * n)) /
                                       static_cast<double>(n));
    for (size_t k = 0; k < n; ++k) {
        a[k] = x[k] * chirp[k];
        b[k] = b[(m - k) % m] = std::conj(chirp[k]);
    }
    fft.Forward(a.data());
    fft.Forward(b.data());
    for (size_t k = 0; k < m; ++k)
        a[k] *= b[k];
    fft.Inverse(a.data());
    std::vector<Complex> spectrum(n);
    for (size_t k = 0; k < n; ++k)
        spectrum[k] = a[k] * chirp[k] / static_cast<double>(m);
    return spectrum;
}

} // namespace

double ThdPlusNoiseDb(const float* samples, size_t stride, uint32_t rate, double tone_hz,
                      ThdWindow window)
{
    static const double kTerms4[] = {0.35875, -0.48829, 0.14128, -0.01168};
    static const double kTerms7[] = {0.27105140069342,  -0.43329793923448, 0.21812299954311,
                                     -0.06592544638803, 0.01081174209837,  -0.00077658482522,
                                     0.00001388721735};
    if (rate < 1000 || rate > (1u << 22))
        return 0;
    const double* terms = window == kWindow4Term ? kTerms4 : kTerms7;
    std::vector<double> x(rate);
    for (uint32_t i = 0; i < rate; ++i) {
        // cos(j a) by the recurrence 2 cos(a) cos((j - 1) a) - cos((j - 2) a).
        const double c1 = std::cos(2 * std::numbers::pi * i / rate);
        double previous = 1, current = c1, w = terms[0] + terms[1] * c1;
        for (uint32_t j = 2; j < window; ++j) {
            const double next = 2 * c1 * current - previous;
            previous = current;
            current = next;
            w += terms[j] * current;
        }
        x[i] = samples[i * stride] * w;
    }
    const std::vector<Complex> spectrum = AnyLengthDft(x);
    double tone = 0, rest = 0;
    for (uint32_t k = 0; k < spectrum.size() / 2; ++k) {
        if (std::fabs(k - tone_hz) <= 20)
            tone += std::norm(spectrum[k]);
        else if (k >= 20 && k <= 20000)
            rest += std::norm(spectrum[k]);
    }
    return rest > 0 ? 10 * std::log10(tone / rest) : 0;
}
