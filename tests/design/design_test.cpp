// trivandel-design: each filter's magnitude from the taps against its closed
// form, the Linkwitz-Riley sum, delay, gain and polarity measured back from
// the taps, and one round trip per import format.
#include <cmath>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <numbers>
#include <string>
#include <vector>

#include "check/band_response.h"
#include "design/band_design.h"
#include "design/band_target.h"
#include "design/importer.h"
#include "tests/engine/test_support.h"

namespace {

Design Crossover(FilterEdge low, FilterEdge high, bool minimum_phase = false)
{
    Design d;
    d.crossovers[0] = low;
    d.crossovers[1] = high;
    d.minimum_phase = minimum_phase;
    return d;
}

// A band's taps as written: the impulse reversed.
std::vector<double> FileTaps(const Design& d, uint32_t band)
{
    const BandDesign b = DesignBand(d, band, {}, DesignGrid(d, 0));
    return std::vector<double>(b.impulse.rbegin(), b.impulse.rend());
}

double Db(double v)
{
    return 20 * std::log10(v);
}

TEST(Design, EachFilterHasItsClosedFormMagnitude)
{
    const double lr24 = Db(1.0 / 17), bw18 = Db(1 / std::sqrt(65.0)); // an octave from 1 kHz
    const struct {
        const char* name;
        Design design;
        uint32_t band;
        double hz[3], db[3];
    } cases[] = {
        // clang-format off
        {"LR24 low-pass", Crossover({1000, kLinkwitzRiley, 24}, {5000, kLinkwitzRiley, 24}),
         0, {500, 1000, 2000}, {Db(16.0 / 17), Db(0.5), lr24}},
        {"LR12 high-pass", Crossover({200, kLinkwitzRiley, 24}, {1000, kLinkwitzRiley, 12}),
         2, {500, 1000, 2000}, {Db(0.2), Db(0.5), Db(0.8)}},
        {"BW18 low-pass", Crossover({1000, kButterworth, 18}, {5000, kLinkwitzRiley, 24}),
         0, {500, 1000, 2000}, {Db(1 / std::sqrt(1 + 1.0 / 64)), Db(std::sqrt(0.5)), bw18}},
        {"LR24 low-pass, minimum phase",
         Crossover({1000, kLinkwitzRiley, 24}, {5000, kLinkwitzRiley, 24}, true),
         0, {500, 1000, 2000}, {Db(16.0 / 17), Db(0.5), lr24}},
        {"brickwall low-pass", Crossover({1000, kBrickwall, 0}, {5000, kBrickwall, 0}),
         0, {100, 1000, 3000}, {0, Db(0.5), -150}},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<double> taps = FileTaps(c.design, c.band);
        for (int i = 0; i < 3; ++i)
            EXPECT_NEAR(std::max(GainDb(taps, c.hz[i], 48000), -150.0), c.db[i], 0.01) << c.hz[i];
    }
    // The peak through the taps; the shelves at their centre (half the
    // gain) and far ends (all or none of it).
    Design eq = Crossover({20, kLinkwitzRiley, 24}, {20000, kLinkwitzRiley, 24});
    eq.steps[1] = {{kPeak, 0, {}, 1000, -6, 2}};
    EXPECT_NEAR(GainDb(FileTaps(eq, 1), 1000, 48000), -6, 0.01);
    const BandStep low{kLowShelf, 0, {}, 100, 4, 0.7}, high{kHighShelf, 0, {}, 100, 4, 0.7};
    for (double hz : {1.0, 100.0, 10000.0}) {
        const double share = hz < 10 ? 1 : hz < 1000 ? 0.5 : 0;
        EXPECT_NEAR(Db(EqMagnitude(low, hz)), 4 * share, 0.01) << hz;
        EXPECT_NEAR(Db(EqMagnitude(high, hz)), 4 * (1 - share), 0.01) << hz;
    }
}

TEST(Design, LinkwitzRileyBandsSumFlatAndKeepTheirDelayGainAndPolarity)
{
    Design d = Crossover({300, kLinkwitzRiley, 24}, {3000, kLinkwitzRiley, 24});
    const std::vector<double> flat[3] = {FileTaps(d, 0), FileTaps(d, 1), FileTaps(d, 2)};
    for (double hz = 20; hz < 20000; hz *= 1.1) {
        std::vector<double> sum(flat[0].size());
        for (size_t k = 0; k < sum.size(); ++k)
            sum[k] = flat[0][k] + flat[1][k] + flat[2][k];
        EXPECT_NEAR(GainDb(sum, hz, 48000), 0, 0.01) << hz;
    }
    // Minimum phase: the latency of an analog crossover (about a
    // millisecond at 100 Hz), not the 2047 frames of linear phase.
    EXPECT_LT(
        GroupDelay(FileTaps(Crossover(d.crossovers[0], d.crossovers[1], true), 0), 100, 48000),
        100);
    d.steps[1] = {{kDelay, 0.1234, {}, 0, 0, 0}, {kGain, -2.5, {}, 0, 0, 0}};
    d.steps[2] = {{kPolarity, -1, {}, 0, 0, 0}, {kGain, 3, {}, 0, 0, 0}};
    for (uint32_t band : {1u, 2u}) {
        const std::vector<double> taps = FileTaps(d, band);
        const double hz = band == 1 ? 950 : 8000, gain = band == 1 ? -2.5 : 3;
        const double frames = 2047 + (band == 1 ? 0.1234e-3 * 48000 : 0);
        EXPECT_NEAR(GroupDelay(taps, hz, 48000) / 48, frames / 48, 1e-3); // ms, within 1 us
        EXPECT_NEAR(GainDb(taps, hz, 48000) - GainDb(flat[band], hz, 48000), gain, 0.05);
        // Delay undone, the response points the way of the polarity.
        const std::vector<double> reversed(taps.rbegin(), taps.rend());
        const double turned = (Response(reversed, hz, 48000) *
                               std::polar(1.0, 2 * std::numbers::pi * hz / 48000 * frames))
                                  .real();
        EXPECT_EQ(turned < 0, band == 2);
    }
}

TEST(Import, EachFormatGivesTheTapsBack)
{
    const std::vector<double> taps = {0.5, -0.25, 0.125, 0.0};
    const std::vector<float> left_right = {9, 0.5, 9, -0.25, 9, 0.125, 9, 0};
    const struct {
        const char* name;
        std::string content;
        double rate;
        bool comma;
        ImportChannel channel = kOnlyChannel;
    } cases[] = {
        // clang-format off
        {"r.txt", "* Impulse Response data saved by REW\n* Source: x\n"
                  "0.5 // Peak value before normalisation\n0 // Peak index\n4 // Response length\n"
                  "2.0833333333333333E-5 // Sample interval (seconds)\n0.0 // Start time (seconds)\n"
                  "0 // Data offset (dB)\n* Data start\n0.5\n-0.25\n1.25E-1\n0.0\n", 48000, false},
        {"c.txt", "rePhase\r\n\r\n0,5\r\n-0,25\r\n1,25E-1\r\n0\r\nend\r\n", 0, true},
        {"a.h", "// taps\nfloat h[4] = {\n  0.5f, -0.25f,\n  0.125f, 0.0f };\n", 0, false},
        {"x.dbl", BytesOf(taps), 0, false},
        {"x.bin", BytesOf(std::vector<float>(taps.begin(), taps.end())), 0, false},
        {"16.wav", WaveFile(1, 16, 1, BytesOf(std::vector<int16_t>{16384, -8192, 4096, 0})),
         48000, false},
        {"24.wav", WaveFile(1, 24, 1, std::string("\0\0\x40\0\0\xE0\0\0\x10\0\0\0", 12), true),
         48000, false},
        {"32.wav", WaveFile(1, 32, 1, BytesOf(std::vector<int32_t>{1 << 30, -(1 << 29), 1 << 28, 0})),
         48000, false},
        {"f32.wav", WaveFile(3, 32, 2, BytesOf(left_right), true), 48000, false, kRightChannel},
        {"f64.wav", WaveFile(3, 64, 1, BytesOf(taps)), 48000, false},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        ConsoleCapture console;
        ImportedFilter f;
        ASSERT_TRUE(ImportFilter(dir.WriteFile(c.name, c.content), c.channel, &f))
            << console.Text();
        EXPECT_EQ(f.impulse, taps);
        EXPECT_EQ(f.rate, c.rate);
        EXPECT_EQ(f.decimal_comma, c.comma);
    }
}

} // namespace
