// The FFT against a double-precision DFT, every vector path bit for bit
// against the scalar one, and the FFT engine through ReadData against a
// double-precision convolution of the windows the direct kernel weighs.
#include <algorithm>
#include <cmath>
#include <complex>
#include <cstring>
#include <gtest/gtest.h>
#include <random>
#include <vector>

#include "engine/fft/fft.h"
#include "engine/fft/fft_paths.h"
#include "engine/filter/fir_filter.h"
#include "engine/kernels/kernel_dispatch.h"
#include "tests/engine/test_support.h"

namespace {

constexpr double kTwoPi = 6.283185307179586476925;

template <class T> void CheckTransform(uint32_t size, double tolerance)
{
    SCOPED_TRACE(testing::Message() << "size " << size << ", " << sizeof(T) * 8 << "-bit");
    std::mt19937 rng(size);
    std::uniform_real_distribution<double> value(-1.0, 1.0);
    std::vector<std::complex<T>> x(size);
    for (auto& v : x)
        v = std::complex<T>(static_cast<T>(value(rng)), static_cast<T>(value(rng)));
    CFft<T> fft;
    ASSERT_TRUE(fft.Setup(size));
    std::vector<std::complex<T>> y = x;
    fft.Forward(y.data());
    double error = 0, norm = 0;
    for (uint32_t k = 0; k < size; ++k) {
        std::complex<double> exact = 0;
        for (uint32_t n = 0; n < size; ++n)
            exact +=
                std::complex<double>(x[n]) *
                std::polar(1.0, -kTwoPi * static_cast<double>((uint64_t{n} * k) % size) / size);
        error += std::norm(std::complex<double>(y[k]) - exact);
        norm += std::norm(exact);
    }
    EXPECT_LE(std::sqrt(error / norm), tolerance);
    // The inverse, unscaled, brings back size times the input.
    fft.Inverse(y.data());
    double back = 0;
    for (uint32_t n = 0; n < size; ++n)
        back += std::norm(std::complex<double>(y[n]) / double(size) - std::complex<double>(x[n]));
    EXPECT_LE(std::sqrt(back / size), tolerance);
    // Every vector path gives the scalar path's bits.
    std::vector<T> ref(4 * size);
    for (uint32_t n = 0; n < size; ++n) {
        ref[n] = x[n].real();
        ref[size + n] = x[n].imag();
    }
    std::vector<T> path_out = ref;
    fft.ForwardSplitOn(kPathReference, ref.data(), ref.data() + size, ref.data() + 2 * size);
    for (uint32_t path = kPathSse; path < kPathCount; ++path) {
        if (!PathAvailable(path))
            continue;
        std::vector<T> v = path_out;
        fft.ForwardSplitOn(path, v.data(), v.data() + size, v.data() + 2 * size);
        EXPECT_EQ(0, std::memcmp(v.data(), ref.data(), 2 * size * sizeof(T))) << "path " << path;
    }
}

TEST(Fft, MatchesTheDoublePrecisionDftOnEveryPath)
{
    for (uint32_t size = 1; size <= 4096; size *= 2) {
        CheckTransform<float>(size, 3e-7 * std::log2(2.0 * size));
        CheckTransform<double>(size, 1e-15 * std::log2(2.0 * size));
    }
    // The spectral multiply-add too, for every size class of loop.
    for (uint32_t size : {1u, 8u, 64u}) {
        std::vector<float> h(6 * size), x(2 * size), ref(6 * size, 0.5f);
        std::mt19937 rng(size);
        std::uniform_real_distribution<float> value(-1.0f, 1.0f);
        for (std::vector<float>* v : {&h, &x})
            std::generate(v->begin(), v->end(), [&] { return value(rng); });
        kFftPaths[kPathReference].multiply_add(ref.data(), h.data(), x.data(), size, 3, 0, size);
        for (uint32_t path = kPathSse; path < kPathCount; ++path) {
            std::vector<float> acc(6 * size, 0.5f);
            if (PathAvailable(path))
                kFftPaths[path].multiply_add(acc.data(), h.data(), x.data(), size, 3, 0, size);
            EXPECT_TRUE(!PathAvailable(path) || acc == ref) << "path " << path << ", " << size;
        }
    }
}

// The windows ReadData weighs, in double: channel pairs (BPF, LPF, HPF) of
// output frame k from input frames k .. k + taps - 1, at 32-bit full scale.
// Input frames from `captured` on are not captured yet: silence.
double Exact(const std::vector<float>& x, const std::vector<float>& taps, uint32_t count, size_t k,
             uint32_t channel, size_t captured)
{
    static const uint32_t kBand[6] = {1, 1, 0, 0, 2, 2};
    double sum = 0;
    for (uint32_t j = 0; j < count && k + j < captured; ++j)
        sum += double(taps[4 * j + kBand[channel]]) * x[2 * (k + j) + channel % 2];
    return sum * 2147483648.0;
}

TEST(FftEngine, OutputIsTheDirectWindowsConvolvedWithinTheAccuracyTarget)
{
    const struct {
        uint32_t taps, buffer, passes;
        int band;             // the only band with taps, or -1 for all three
        bool sines;           // else noise
        int restart;          // the pass before which the capture restarts, or -1
        float level = 0.5f;   // of the input; 8 clips every band, which mono LFE then sums
        uint32_t lacking = 0; // frames of pass 1's windows captured only after it
        bool warm = false;    // the engine works on the first windows as they arrive
    } cases[] = {
        {3, 441, 3, -1, false, -1, 8},
        {4, 480, 3, 0, true, 1},
        {255, 480, 4, 1, false, -1},
        {1000, 441, 5, 2, true, -1, 0.5f, 3},
        {4096, 4752, 3, -1, false, 2, 0.5f, 4700},
        {8191, 480, 30, -1, true, -1, 0.5f, 100, true},
        {16384, 4768, 3, -1, false, -1, 0.5f, 3000},
        {65535, 480, 6, -1, false, -1, 0.5f, 400, true},
        {65536, 4768, 2, 1, true, -1, 0.5f, 0, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.taps << " taps, buffers of " << c.buffer);
        std::mt19937 rng(c.taps);
        std::uniform_real_distribution<float> value(-1.0f, 1.0f);
        // Taps of unit gain in every band, or one band alone.
        std::vector<float> taps(4 * (size_t{c.taps} + 1), 0.0f);
        for (uint32_t j = 0; j < c.taps; ++j)
            for (int b = 0; b < 3; ++b)
                if (c.band < 0 || c.band == b)
                    taps[4 * j + b] = value(rng) / std::sqrt(float(c.taps));
        const size_t frames = size_t{c.taps} - 1 + size_t{c.buffer} * c.passes;
        std::vector<float> x(2 * frames);
        for (size_t i = 0; i < frames; ++i)
            for (int ch = 0; ch < 2; ++ch)
                x[2 * i + ch] = c.level * (c.sines ? std::sin(0.01f * (ch + 1) * i) : value(rng));
        CFIRFilter f;
        f.taps = MakeAlignedFloats(taps.size()).release();
        std::copy(taps.begin(), taps.end(), f.taps);
        f.tap_count = c.taps;
        f.attenuation = 1.0f;
        f.mono_lfe = c.level > 1;
        f.convolution = kConvolutionFft;
        const WaveFormat capture = ExtensibleFormat(2, 48000, 32);
        const WaveFormat output = ExtensibleFormat(6, 48000, 32, kSubtypePcm);
        f.buffer_msec = StoreMilliseconds(StoreFrames(c.buffer, c.taps), 48000);
        ASSERT_TRUE(f.SetOutputFormat(&output));
        std::vector<int32_t> out(6 * size_t{c.buffer});
        // Frames compared: at the edges of every pass and 64 more between.
        const size_t stride = std::max<size_t>(1, size_t{c.buffer} / 64);
        double error = 0, peak = 0;
        size_t compared = 0;
        ConsoleCapture console;
        for (uint32_t pass = 0; pass < c.passes; ++pass) {
            const size_t first = size_t{pass} * c.buffer;
            if (pass == 0 || int(pass) == c.restart) {
                ASSERT_TRUE(f.SetFormat(&capture));
                if (c.warm)
                    f.PrepareFft(c.buffer);
                for (uint32_t at = 0; at < c.taps - 1; at += c.buffer) {
                    f.WriteStereo(std::min(c.buffer, c.taps - 1 - at), x.data() + 2 * (first + at));
                    if (c.warm)
                        f.WarmFft(c.buffer);
                }
            }
            const uint32_t lacking = pass == 1 ? c.lacking : 0;
            const size_t captured = first + c.taps - 1 + c.buffer - lacking;
            f.WriteStereo(c.buffer - lacking, x.data() + 2 * (first + c.taps - 1));
            f.ReadData(c.buffer, reinterpret_cast<uint8_t*>(out.data()));
            f.WriteStereo(lacking, x.data() + 2 * captured);
            for (size_t i = 0; i < c.buffer; ++i) {
                if (i % stride != 0 && i + 1 != c.buffer)
                    continue;
                double exact[6];
                for (uint32_t ch = 0; ch < 6; ++ch)
                    exact[ch] = std::clamp(Exact(x, taps, c.taps, first + i, ch, captured), -0x1p31,
                                           0x1p31);
                if (f.mono_lfe)
                    exact[2] = exact[3] = (exact[2] + exact[3]) / 2;
                for (uint32_t ch = 0; ch < 6; ++ch) {
                    const double d = out[6 * i + ch] - std::min(exact[ch], 0x1p31 - 1);
                    error += d * d;
                    peak = std::max(peak, std::abs(d));
                    ++compared;
                }
            }
        }
        EXPECT_LE(10 * std::log10(error / compared / 0x1p62), -120.0); // rms, dB full scale
        EXPECT_LE(20 * std::log10(peak / 0x1p31), -110.0);
        EXPECT_EQ(console.Text().find(L"WARNING:Clip signal!") != std::wstring::npos, c.level > 1);
    }
}

} // namespace
