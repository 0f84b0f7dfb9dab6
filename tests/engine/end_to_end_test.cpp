// The whole engine on a real crossover: a stereo float capture of a 100 Hz,
// a 1 kHz and a 10 kHz tone, written in packets of uneven sizes, drained as 16-bit
// six-channel output by the example 1023-tap, 300 Hz / 3 kHz taps.
#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <numbers>
#include <string>
#include <vector>

#include "fir_filter.h"
#include "test_support.h"

namespace {

constexpr uint32_t kRate = 48000;
constexpr uint32_t kBufferFrames = 480;
constexpr uint32_t kOutputBuffers = 40; // 0.4 s
constexpr float kToneAmplitude = 0.3f;

std::vector<float> TwoTones(uint32_t frames)
{
    std::vector<float> lr;
    for (uint32_t k = 0; k < frames; ++k) {
        const double t = static_cast<double>(k) / kRate;
        double v = 0.0;
        for (double hz : {100.0, 1000.0, 10000.0})
            v += kToneAmplitude * std::sin(2 * std::numbers::pi * hz * t);
        lr.push_back(static_cast<float>(v));
        lr.push_back(static_cast<float>(-v));
    }
    return lr;
}

// Feeds the tones in packets cycling through `packet_sizes` and drains a
// 480-frame buffer whenever the store holds it plus a whole window, so no
// output frame ever sees the silence past the last captured frame.
std::vector<int16_t> RunEngine(const std::vector<uint32_t>& packet_sizes)
{
    CFIRFilter f;
    const std::string dir = TRIVANDEL_TAPS_DIR;
    for (uint32_t band = 0; band < 3; ++band)
        EXPECT_TRUE(f.LoadTaps((dir + "/" + kTapFileNames[band]).c_str(), band));
    EXPECT_EQ(f.GetTapCount(), 1023u);
    f.attenuation = 0.8f;
    f.mono_lfe = 0;
    // 9600 frames: the store compacts many times over the run.
    f.buffer_msec = 200;
    WaveFormat capture = ExtensibleFormat(2, kRate, 32, kSubtypeFloat);
    EXPECT_TRUE(f.SetFormat(&capture));
    f.output_format = ExtensibleFormat(6, kRate, 16, kSubtypePcm);
    f.sample_kind = kSampleKindPcm16;

    const uint32_t total = kBufferFrames * kOutputBuffers + f.tap_count + 2000;
    const std::vector<float> input = TwoTones(total);
    std::vector<int16_t> output;
    uint32_t written = 0;
    size_t next_size = 0;
    ConsoleCapture console;
    while (output.size() < size_t{kBufferFrames} * kOutputBuffers * 6) {
        uint32_t n = std::min(packet_sizes[next_size++ % packet_sizes.size()], total - written);
        EXPECT_GT(n, 0u);
        f.WriteData(n, reinterpret_cast<const uint8_t*>(input.data() + 2 * written));
        written += n;
        while (f.write_pos - f.read_pos >= kBufferFrames + f.tap_count &&
               output.size() < size_t{kBufferFrames} * kOutputBuffers * 6) {
            std::vector<int16_t> buffer(kBufferFrames * 6);
            EXPECT_EQ(f.ReadData(kBufferFrames, reinterpret_cast<uint8_t*>(buffer.data())),
                      kBufferFrames);
            output.insert(output.end(), buffer.begin(), buffer.end());
        }
    }
    EXPECT_EQ(console.Text(), L"");
    return output;
}

// Amplitude of one frequency in channel `ch`, over whole periods of both
// tones (4800 frames: 10 periods of 100 Hz), skipping the first window.
double ToneLevel(const std::vector<int16_t>& out, uint32_t ch, double hz)
{
    const uint32_t first = 2048, count = 4800 * 3;
    double re = 0.0, im = 0.0;
    for (uint32_t k = first; k < first + count; ++k) {
        const double phase = 2 * std::numbers::pi * hz * k / kRate;
        re += out[6 * k + ch] * std::cos(phase);
        im += out[6 * k + ch] * std::sin(phase);
    }
    return 2.0 * std::hypot(re, im) / count;
}

double Decibels(double level, double reference)
{
    return 20.0 * std::log10(level / reference);
}

TEST(EndToEnd, EachToneLeavesOnTheChannelsOfItsBand)
{
    const std::vector<int16_t> out = RunEngine({441, 480, 17, 1000, 3, 256});
    // The passband level: attenuation 0.8 of 16-bit full scale.
    const double pass = kToneAmplitude * 0.8 * 32767.0;
    for (uint32_t ch = 0; ch < 6; ++ch) {
        const double low = ToneLevel(out, ch, 100.0);
        const double mid = ToneLevel(out, ch, 1000.0);
        const double high = ToneLevel(out, ch, 10000.0);
        std::string trace = "channel " + std::to_string(ch);
        trace += ": 100 Hz " + std::to_string(Decibels(low, pass));
        trace += " dB, 1 kHz " + std::to_string(Decibels(mid, pass));
        trace += " dB, 10 kHz " + std::to_string(Decibels(high, pass)) + " dB";
        SCOPED_TRACE(trace);
        // The band's own tone at the pass level, the others 60 dB down.
        const double levels[3] = {low, mid, high};
        const int own = ch < 2 ? 1 : ch < 4 ? 0 : 2; // band-pass, low-pass, high-pass
        for (int tone = 0; tone < 3; ++tone) {
            if (tone == own)
                EXPECT_NEAR(Decibels(levels[tone], pass), 0.0, 0.1) << "tone " << tone;
            else
                EXPECT_LT(Decibels(levels[tone], pass), -60.0) << "tone " << tone;
        }
    }
    // Right is the negated left on every pair.
    for (size_t k = 2048; k < out.size() / 6; k += 97)
        for (uint32_t ch = 0; ch < 6; ch += 2)
            EXPECT_NEAR(out[6 * k + ch], -out[6 * k + ch + 1], 1) << "frame " << k;
}

TEST(EndToEnd, OutputDoesNotDependOnHowCaptureIsSplitIntoPackets)
{
    const std::vector<int16_t> a = RunEngine({441, 480, 17, 1000, 3, 256});
    const std::vector<int16_t> b = RunEngine({4800});
    const std::vector<int16_t> c = RunEngine({1, 2, 5, 7, 11, 13, 127, 331});
    ASSERT_EQ(a.size(), b.size());
    EXPECT_TRUE(a == b);
    EXPECT_TRUE(a == c);
}

} // namespace
