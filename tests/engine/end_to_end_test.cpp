// The whole engine on a real crossover: a stereo float capture of a 100 Hz,
// a 1 kHz and a 10 kHz tone, written in packets of uneven sizes, drained as
// 16-bit six-channel output by the example 1023-tap, 300 Hz / 3 kHz taps.
#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <numbers>
#include <string>
#include <vector>

#include "fir_filter.h"
#include "test_support.h"

namespace {

constexpr double kRate = 48000, kAmplitude = 0.3, kTones[3] = {100, 1000, 10000};
constexpr uint32_t kBuffer = 480, kOutputFrames = 40 * kBuffer; // 0.4 s

// Feeds the tones in packets cycling through `packet_sizes` and drains a
// 480-frame buffer whenever the store holds it plus a whole window, so no
// output frame ever sees the silence past the last captured frame.
std::vector<int16_t> RunEngine(const std::vector<uint32_t>& packet_sizes)
{
    CFIRFilter f;
    for (uint32_t band = 0; band < 3; ++band)
        EXPECT_TRUE(f.LoadTaps(
            (std::string(TRIVANDEL_TAPS_DIR) + "/" + kTapFileNames[band]).c_str(), band));
    EXPECT_EQ(f.GetTapCount(), 1023u);
    f.mono_lfe = 0;
    f.buffer_msec = 200; // 9600 frames: the store compacts many times over the run
    WaveFormat capture = Format(2, 48000, 32);
    EXPECT_TRUE(f.SetFormat(&capture));
    f.output_format = Format(6, 48000, 16, kSubtypePcm);
    f.sample_kind = kSampleKindPcm16;

    std::vector<float> input;
    for (uint32_t k = 0; k < kOutputFrames + f.tap_count + 2000; ++k) {
        double v = 0.0;
        for (double hz : kTones)
            v += kAmplitude * std::sin(2 * std::numbers::pi * hz * k / kRate);
        input.push_back(static_cast<float>(v));
        input.push_back(static_cast<float>(-v));
    }
    std::vector<int16_t> output(6 * kOutputFrames);
    uint32_t written = 0, read = 0;
    ConsoleCapture console;
    for (size_t p = 0; read < kOutputFrames; ++p) {
        const uint32_t n = std::min(packet_sizes[p % packet_sizes.size()],
                                    static_cast<uint32_t>(input.size() / 2) - written);
        if (n == 0) {
            ADD_FAILURE() << "ran out of input";
            break;
        }
        f.WriteData(n, reinterpret_cast<const uint8_t*>(&input[2 * written]));
        written += n;
        for (; f.write_pos - f.read_pos >= kBuffer + f.tap_count && read < kOutputFrames;
             read += kBuffer)
            EXPECT_EQ(f.ReadData(kBuffer, reinterpret_cast<uint8_t*>(&output[6 * read])), kBuffer);
    }
    EXPECT_EQ(console.Text(), L"");
    return output;
}

// Amplitude of one frequency in channel `ch`, over whole periods of all
// tones (4800 frames: 10 periods of 100 Hz), skipping the first window.
double ToneLevel(const std::vector<int16_t>& out, uint32_t ch, double hz)
{
    const uint32_t first = 2048, count = 4800 * 3;
    double re = 0.0, im = 0.0;
    for (uint32_t k = first; k < first + count; ++k) {
        re += out[6 * k + ch] * std::cos(2 * std::numbers::pi * hz * k / kRate);
        im += out[6 * k + ch] * std::sin(2 * std::numbers::pi * hz * k / kRate);
    }
    return 2.0 * std::hypot(re, im) / count;
}

TEST(EndToEnd, EachToneLeavesOnItsBandsChannelsWhateverThePacketSizes)
{
    const std::vector<int16_t> out = RunEngine({441, 480, 17, 1000, 3, 256});
    // The band's own tone at the pass level (the default attenuation, 0.8 of
    // 16-bit full scale), the others 60 dB down.
    const double pass = kAmplitude * 0.8 * 32767.0;
    for (uint32_t ch = 0; ch < 6; ++ch) {
        const int own = ch < 2 ? 1 : ch < 4 ? 0 : 2; // band-pass, low-pass, high-pass
        for (int tone = 0; tone < 3; ++tone) {
            const double db = 20.0 * std::log10(ToneLevel(out, ch, kTones[tone]) / pass);
            if (tone == own)
                EXPECT_NEAR(db, 0.0, 0.1) << "channel " << ch << ", " << kTones[tone] << " Hz";
            else
                EXPECT_LT(db, -60.0) << "channel " << ch << ", " << kTones[tone] << " Hz";
        }
    }
    // Right is the negated left on every pair.
    for (size_t k = 2048; k < kOutputFrames; k += 97)
        for (uint32_t ch = 0; ch < 6; ch += 2)
            EXPECT_NEAR(out[6 * k + ch], -out[6 * k + ch + 1], 1) << "frame " << k;

    EXPECT_TRUE(out == RunEngine({4800}));
    EXPECT_TRUE(out == RunEngine({1, 2, 5, 7, 11, 13, 127, 331}));
}

} // namespace
