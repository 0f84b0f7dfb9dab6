#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <iterator>
#include <numbers>
#include <random>
#include <vector>

#include "engine/clock/resampler.h"
#include "engine/kernels/kernel_dispatch.h"
#include "tests/engine/test_support.h"

namespace {

const float* Table()
{
    static const AlignedFloats table(MakeResamplerTable());
    return table.get();
}

// Noise around -0.0, a denormal and a large value, so that the order of
// additions shows in the bits.
TEST(Resampler, EveryPathGivesTheReferenceBits)
{
    constexpr uint32_t kCount = 300;
    std::vector<float> left(kCount * 2 + 64), right(left.size()), want(2 * kCount), got(2 * kCount);
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> value(-1.0f, 1.0f);
    for (size_t i = 0; i < left.size(); ++i) {
        left[i] = value(rng);
        right[i] = i % 7 == 0 ? -0.0f : i % 11 == 0 ? 1e-39f : i % 13 == 0 ? 3e5f : value(rng);
    }
    for (double ppm : {-1000.0, -0.25, 200.0, 1000.0}) {
        const uint64_t pos = uint64_t{0x9E3779B9u}; // a fraction of every bit
        ResampleReference(want.data(), left.data(), right.data(), pos, StepOf(ppm), kCount,
                          Table());
        for (uint32_t path = kPathSse; path < kPathCount; ++path) {
            if (!PathAvailable(path))
                continue;
            kKernelPaths[path].resample(got.data(), left.data(), right.data(), pos, StepOf(ppm),
                                        kCount, Table());
            EXPECT_EQ(std::memcmp(got.data(), want.data(), got.size() * sizeof(float)), 0)
                << kKernelPaths[path].name << " at " << ppm << " ppm";
        }
    }
}

// Sines against their exact values at the output positions; the residual
// after a least-squares fit of gain and phase is the resampler's THD+N.
TEST(Resampler, SinesComeOutCleanAtEveryRatio)
{
    struct Case {
        double hz, ppm, least_db;
    } cases[] = {{1000, 200, 140}, {1000, -1000, 140}, {20000, -200, 128}, {20000, 1000, 128}};
    constexpr uint32_t kCount = 20000;
    for (const Case& c : cases) {
        const double w = 2 * std::numbers::pi * c.hz / 48000;
        std::vector<float> x(kCount + 128), out(2 * kCount);
        for (size_t i = 0; i < x.size(); ++i)
            x[i] = static_cast<float>(0.9 * std::sin(w * static_cast<double>(i)));
        const uint64_t step = StepOf(c.ppm);
        kKernelPaths[ActivePath()].resample(out.data(), x.data(), x.data(), 0, step, kCount,
                                            Table());
        double ss = 0, sc = 0, cc = 0, ys = 0, yc = 0;
        std::vector<double> s(kCount), co(kCount);
        for (uint32_t k = 0; k < kCount; ++k) {
            const double t = static_cast<double>(k * step) / 4294967296.0 + kResamplerHistory;
            s[k] = std::sin(w * t);
            co[k] = std::cos(w * t);
            ss += s[k] * s[k], sc += s[k] * co[k], cc += co[k] * co[k];
            ys += out[2 * k] * s[k], yc += out[2 * k] * co[k];
        }
        const double det = ss * cc - sc * sc;
        const double a = (ys * cc - yc * sc) / det, b = (yc * ss - ys * sc) / det;
        double signal = 0, noise = 0;
        for (uint32_t k = 0; k < kCount; ++k) {
            const double fit = a * s[k] + b * co[k];
            signal += fit * fit;
            noise += (out[2 * k] - fit) * (out[2 * k] - fit);
        }
        EXPECT_GE(10 * std::log10(signal / noise), c.least_db) << c.hz << " Hz, " << c.ppm;
        EXPECT_NEAR(std::hypot(a, b), 0.9, 1e-5) << c.hz << " Hz, " << c.ppm;
    }
}

// A stream through the store in packets: copying, tracking from the frame a
// copy would store next, and back to copying by landing. At a ratio of
// exactly 1 the store holds every frame as it came, bit for bit; after a
// landing the frames are copies again; every path stores the reference's
// bits. Packets of 10 ms at 192 kHz, longer than the resampler takes in at
// a time, store what packets of 480 frames store.
TEST(Resampler, CopyTrackAndLandWithoutAStep)
{
    struct Case {
        double ppm;
        bool land;
        uint32_t packet;
    } cases[] = {{0, true, 480},     {0, false, 480},   {300, true, 480},
                 {-700, false, 480}, {300, true, 1920}, {-700, false, 1920}};
    // Tracking from 0.2 s, landing from 1 s, in 13 s of stream.
    constexpr uint32_t kFrames = 624000;
    std::vector<float> input(2 * kFrames);
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> value(-1.0f, 1.0f);
    for (float& v : input)
        v = value(rng);
    std::vector<float> references[std::size(cases)];
    for (const Case& c : cases) {
        const uint32_t packet = c.packet, packets = kFrames / packet;
        std::vector<float>& reference = references[&c - cases];
        for (const Case& twin : cases)
            if (&twin < &c && twin.ppm == c.ppm && twin.land == c.land)
                reference = references[&twin - cases];
        for (uint32_t path = kPathReference; path < kPathCount; ++path) {
            if (!PathAvailable(path))
                continue;
            CCaptureBuffer store;
            const WaveFormat format = ExtensibleFormat(2, 48000, 32);
            ASSERT_TRUE(store.SetFormat(&format));
            CResampler resampler;
            ASSERT_TRUE(resampler.Setup());
            std::vector<float> output;
            resampler.UsePath(path);
            for (uint32_t p = 0; p < packets; ++p) {
                if (p == 9600 / packet)
                    resampler.StartTracking(StepOf(c.ppm));
                if (p == 48000 / packet && c.land)
                    resampler.Land();
                resampler.Write(&store, packet,
                                reinterpret_cast<const uint8_t*>(input.data() + 2 * packet * p));
                const float* frames = reinterpret_cast<const float*>(store.storage);
                output.insert(output.end(), frames + 2 * store.read_pos,
                              frames + 2 * store.write_pos);
                store.read_pos = store.write_pos;
            }
            const size_t floats = output.size();
            if (reference.empty())
                reference = output;
            EXPECT_TRUE(output == reference)
                << kKernelPaths[path].name << " at " << c.ppm << " ppm, packets of " << packet;
            EXPECT_EQ(resampler.Tracking(), !c.land) << c.ppm;
            // The last 0.4 s: copies after a landing, and at a ratio of 1
            // every frame is the one that came, in its place.
            const size_t tail = 2 * 19200;
            const size_t from = c.ppm == 0 ? 0 : floats - tail;
            const size_t offset = c.land ? 2 * packet * packets - floats : 0;
            if (c.land || c.ppm == 0) {
                EXPECT_EQ(std::memcmp(output.data() + from, input.data() + from + offset,
                                      (floats - from) * sizeof(float)),
                          0)
                    << c.ppm;
            }
        }
    }
}

} // namespace
