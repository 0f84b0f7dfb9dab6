// The crossover check on tap sets with known answers, and the offline
// render against the engine fed the same stream in one go.
#include <algorithm>
#include <cmath>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "check/render.h"
#include "check/tap_check.h"
#include "engine/filter/fir_filter.h"
#include "tests/engine/test_support.h"
#include "wav/wav_file.h"

namespace {

// A linear-phase three-way crossover like scripts/make_taps.py makes:
// Blackman-windowed sinc low-passes at f1 and f2, normalised to unity at DC.
BandTaps Crossover(double f1, double f2, double rate, size_t n)
{
    auto low_pass = [&](double cutoff) {
        std::vector<double> h(n);
        double sum = 0;
        for (size_t k = 0; k < n; ++k) {
            const double m = k - (n - 1) / 2.0, x = 2 * std::numbers::pi * k / (n - 1);
            const double window = 0.42 - 0.5 * std::cos(x) + 0.08 * std::cos(2 * x);
            h[k] = (m == 0 ? 2 * cutoff / rate
                           : std::sin(2 * std::numbers::pi * cutoff / rate * m) /
                                 (std::numbers::pi * m)) *
                   window;
            sum += h[k];
        }
        for (double& t : h)
            t /= sum;
        return h;
    };
    const std::vector<double> l1 = low_pass(f1), l2 = low_pass(f2);
    BandTaps bands{l1, l2, l2};
    for (size_t k = 0; k < n; ++k) {
        bands[1][k] -= l1[k];
        bands[2][k] = (k == (n - 1) / 2 ? 1.0 : 0.0) - l2[k];
    }
    return bands;
}

// A 500 Hz / 2 kHz crossover of `count` taps, written as tap files into
// `dir` and loaded into both filters: the render's, and the reference's,
// which is set up as the render's engine is for `s`.
void LoadCrossover(TempDir* dir, uint32_t rate, const RenderSettings& s, CFIRFilter* filter,
                   CFIRFilter* reference, uint32_t count = 63)
{
    const BandTaps taps = Crossover(500, 2000, rate, count);
    for (uint32_t band = 0; band < 3; ++band) {
        std::string text;
        for (double t : taps[band])
            text += std::to_string(t) + "\n";
        dir->WriteFile(kTapFileNames[band], text);
    }
    WorkingFolder here(dir->path);
    ASSERT_TRUE(filter->LoadTapFiles());
    ASSERT_TRUE(reference->LoadTapFiles());
    reference->attenuation = s.attenuation;
    reference->mono_lfe = s.mono_lfe;
    reference->buffer_msec = 2000;
    const WaveFormat capture = ExtensibleFormat(2, rate, 32);
    ASSERT_TRUE(reference->SetFormat(&capture));
    const WaveFormat format = ExtensibleFormat(6, rate, s.output_bit, kSubtypePcm);
    ASSERT_TRUE(reference->SetOutputFormat(&format));
}

TEST(Check, CrossoverPointsAndWarningsOfKnownTapSets)
{
    const struct {
        const char* name;
        double design_rate, rate;
        bool swap_low_and_high;
        double mid_gain;
        std::vector<CheckWarning> warnings;
        double fitting_rate = 0;
    } cases[] = {
        // clang-format off
        {"designed at the rate checked", 48000, 48000, false, 1.0, {}},
        {"low and high swapped", 48000, 48000, true, 1.0, {{kBandOutOfPlace, 0}, {kBandOutOfPlace, 2}, {kHighBandPassesDc, 2}}},
        {"44.1 kHz design checked at 48 kHz", 44100, 48000, false, 1.0, {{kOtherRate, 0}}, 44100},
        {"48 kHz design checked at 44.1 kHz", 48000, 44100, false, 1.0, {{kOtherRate, 0}}, 48000},
        {"mid band 6 dB up", 48000, 48000, false, 2.0, {{kSumNotFlat, 0}, {kSineCanClip, 1}}},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        BandTaps taps = Crossover(300, 3000, c.design_rate, 1023);
        if (c.swap_low_and_high)
            std::swap(taps[0], taps[2]);
        for (double& t : taps[1])
            t *= c.mid_gain;
        const CheckReport report = CheckTaps(taps, c.rate, 0.8);
        ASSERT_EQ(report.crossovers.size(), 2u);
        for (size_t i = 0; i < 2; ++i) {
            const double hz = (i == 0 ? 300 : 3000) * c.rate / c.design_rate;
            EXPECT_NEAR(report.crossovers[i], hz, 0.02 * hz);
        }
        EXPECT_EQ(report.warnings, c.warnings);
        EXPECT_EQ(report.fitting_rate, c.fitting_rate);
        EXPECT_EQ(CheckExitStatus(report), c.warnings.empty() ? 0 : 1);
    }
}

TEST(Render, WritesTheEngineOutputForTheFileBetweenSilences)
{
    // Blocks of 800 frames and an odd rest, after which the store compacts.
    constexpr uint32_t kRate = 8000, kFrames = 2399;
    const struct {
        const char* name;
        uint16_t channels, input_bits;
        RenderSettings settings;
        uint32_t taps = 63;
    } cases[] = {
        {"stereo 16-bit in, 24-bit out", 2, 16, {0.8f, 24, false}},
        {"mono 24-bit in, 16-bit out, mono LFE", 1, 24, {0.5f, 16, true}},
        // The silence after the file is longer than the store's room
        // beyond the windows and the blocks, without its filter's length.
        {"a filter six blocks long", 2, 16, {0.8f, 24, false}, 4801},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        CPlayout playout;
        CFIRFilter reference;
        LoadCrossover(&dir, kRate, c.settings, &playout.Filter(), &reference, c.taps);
        const uint32_t n = reference.tap_count;

        // Full-scale noise (clipped by the high band), and its float frames
        // as the engine sees them.
        std::mt19937 random(7);
        std::vector<uint8_t> bytes;
        std::vector<float> stream(2 * (n - 1)); // silence, the file, silence
        for (uint32_t i = 0; i < kFrames * c.channels; ++i) {
            const auto v = static_cast<int16_t>(random());
            const uint8_t b[3] = {0, static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)};
            bytes.insert(bytes.end(), b + (c.input_bits == 16), b + 3);
            for (uint16_t side = 0; side < 3 - c.channels; ++side)
                stream.push_back(v / 32768.0f);
        }
        stream.resize(stream.size() + 2 * (n - 1));
        {
            CWavWriter input;
            ASSERT_TRUE(input.Open(dir.path / "in.wav", kRate, c.channels, c.input_bits));
            ASSERT_TRUE(input.Append(bytes.data(), bytes.size()));
        }
        ConsoleCapture console;
        ASSERT_TRUE(RenderWav(&playout, dir.path / "in.wav", dir.path / "out.wav", c.settings));

        const uint32_t out_frames = kFrames + n - 1;
        std::vector<uint8_t> expected(out_frames * reference.output_format.block_align);
        reference.WriteData(static_cast<uint32_t>(stream.size() / 2),
                            reinterpret_cast<const uint8_t*>(stream.data()));
        ASSERT_EQ(reference.ReadData(out_frames, expected.data()), out_frames);

        CWavReader rendered; // the header read back
        std::string error;
        ASSERT_TRUE(rendered.Open(dir.path / "out.wav", &error)) << error;
        EXPECT_EQ(rendered.Channels(), 6);
        EXPECT_EQ(rendered.Frames(), out_frames);
        std::ifstream file(dir.path / "out.wav", std::ios::binary);
        const std::vector<uint8_t> written{std::istreambuf_iterator<char>(file), {}};
        ASSERT_EQ(written.size(), 68 + expected.size()); // extensible header
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), written.begin() + 68));
    }
}

// On one clock the live loop's render is the engine's output of the file,
// after the silent buffers of the pre-buffering, and then silence.
TEST(Render, OnOneClockPlaysTheFileAsTheLoopDoes)
{
    constexpr uint32_t kRate = 8000, kFrames = 4000, kBuffer = 792; // 99 ms
    TempDir dir;
    CPlayout playout;
    CFIRFilter reference;
    RenderSettings settings;
    settings.clocked = true;
    LoadCrossover(&dir, kRate, settings, &playout.Filter(), &reference);
    std::vector<int16_t> samples(2 * kFrames);
    std::vector<float> stream;
    std::mt19937 random(3);
    for (int16_t& v : samples) {
        v = static_cast<int16_t>(static_cast<int32_t>(random() % 32768) - 16384);
        stream.push_back(v / 32768.0f);
    }
    {
        CWavWriter input;
        ASSERT_TRUE(input.Open(dir.path / "in.wav", kRate, 2, 16));
        ASSERT_TRUE(
            input.Append(reinterpret_cast<const uint8_t*>(samples.data()), 2 * samples.size()));
    }
    ConsoleCapture console;
    ASSERT_TRUE(RenderWav(&playout, dir.path / "in.wav", dir.path / "out.wav", settings));
    // Three silent buffers while the store fills to the windows and the late
    // packets' margin, then the file and what the store holds after it.
    EXPECT_EQ(console.Text(), Wide("  The output copied the loopback's frames throughout.\n"
                                   "Rendered " +
                                   (dir.path / "in.wav").string() + " (8000 Hz) into " +
                                   (dir.path / "out.wav").string() +
                                   ": 8712 frames of six 24-bit channels, as played live "
                                   "with the loopback's clock +0.0 ppm off the output's.\n"));

    stream.resize(2 * 8 * kBuffer);
    reference.WriteData(8 * kBuffer, reinterpret_cast<const uint8_t*>(stream.data()));
    std::vector<uint8_t> expected(11 * kBuffer * 18u);
    reference.ReadData(7 * kBuffer, expected.data() + 3 * kBuffer * 18);
    std::ifstream file(dir.path / "out.wav", std::ios::binary);
    const std::vector<uint8_t> written{std::istreambuf_iterator<char>(file), {}};
    ASSERT_EQ(written.size(), 68 + expected.size());
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), written.begin() + 68));
}

} // namespace
