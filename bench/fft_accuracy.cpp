// The FFT engine's output against the exact convolution, at the lengths of
// the benchmarks: noise at -6 dBFS through random taps of unit gain, played
// through ReadData (32-bit output, so that the error shows far below 24
// bits) in buffers of 480 and 4752 frames; 1200 output frames per length
// compared, spread over six buffers and including each buffer's first and
// last frame, with the exact double-precision convolution of the windows
// the direct kernel weighs. Prints the error's rms and peak in dBFS, and
// the same for the direct kernel.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

#include "base/aligned_memory.h"
#include "engine/filter/fir_filter.h"

namespace {

struct Error {
    double rms_db, peak_db;
};

Error Measure(uint32_t taps, uint32_t buffer, uint8_t convolution)
{
    constexpr uint32_t kPasses = 6, kPerPass = 200;
    std::mt19937 rng(taps);
    std::uniform_real_distribution<float> value(-1.0f, 1.0f);
    CFIRFilter f;
    f.taps = static_cast<float*>(AlignedAlloc(4 * (size_t{taps} + 1) * sizeof(float)));
    std::memset(f.taps, 0, 4 * (size_t{taps} + 1) * sizeof(float));
    for (uint32_t j = 0; j < taps; ++j)
        for (int b = 0; b < 3; ++b)
            f.taps[4 * j + b] = value(rng) / std::sqrt(static_cast<float>(taps));
    const std::vector<float> table(f.taps, f.taps + 4 * size_t{taps});
    f.tap_count = taps;
    f.attenuation = 1.0f;
    f.mono_lfe = 0;
    f.convolution = convolution;
    f.buffer_msec = StoreMilliseconds(StoreFrames(buffer, taps), 48000);
    const WaveFormat capture = ExtensibleFormat(2, 48000, 32);
    const WaveFormat output = ExtensibleFormat(6, 48000, 32, kSubtypePcm);
    f.SetFormat(&capture);
    f.SetOutputFormat(&output);
    const size_t frames = size_t{taps} - 1 + size_t{buffer} * kPasses;
    std::vector<float> x(2 * frames);
    for (float& v : x)
        v = 0.5f * value(rng);
    f.WriteStereo(taps - 1, x.data());
    std::vector<int32_t> out(6 * size_t{buffer});
    static const uint32_t kBand[6] = {1, 1, 0, 0, 2, 2};
    double sum = 0, peak = 0;
    size_t count = 0;
    for (uint32_t pass = 0; pass < kPasses; ++pass) {
        f.WriteStereo(buffer, x.data() + 2 * (taps - 1 + size_t{pass} * buffer));
        f.ReadData(buffer, reinterpret_cast<uint8_t*>(out.data()));
        for (uint32_t n = 0; n < kPerPass; ++n) {
            const size_t i = n * (buffer - 1) / (kPerPass - 1);
            const size_t k = size_t{pass} * buffer + i;
            for (uint32_t ch = 0; ch < 6; ++ch) {
                double exact = 0;
                for (uint32_t j = 0; j < taps; ++j)
                    exact += double{table[4 * j + kBand[ch]]} * x[2 * (k + j) + ch % 2];
                const double d = out[6 * i + ch] / 2147483648.0 - exact;
                sum += d * d;
                peak = std::max(peak, std::abs(d));
                ++count;
            }
        }
    }
    return {10 * std::log10(sum / count), 20 * std::log10(peak)};
}

} // namespace

int main()
{
    std::printf("taps    buffer  fft rms  fft peak  direct rms  direct peak  (dBFS)\n");
    for (uint32_t taps : {1023u, 4095u, 16383u, 65535u, 65536u, 262143u})
        for (uint32_t buffer : {480u, 4752u}) {
            const Error fft = Measure(taps, buffer, kConvolutionFft);
            const Error direct = Measure(taps, buffer, kConvolutionDirect);
            std::printf("%6u  %6u  %7.1f  %8.1f  %10.1f  %11.1f\n", taps, buffer, fft.rms_db,
                        fft.peak_db, direct.rms_db, direct.peak_db);
        }
    return 0;
}
