// The whole engine on the example crossover (1023 taps, 300 Hz / 3 kHz): a
// stereo float capture of a 100 Hz, a 1 kHz and a 10 kHz tone, written in
// packets of uneven sizes, drained as 16-bit six-channel output. Each tone
// must leave on its band's channels only.
#include <cmath>
#include <gtest/gtest.h>
#include <numbers>
#include <string>
#include <vector>

#include "fir_filter.h"
#include "test_support.h"

namespace {

constexpr double kRate = 48000, kAmplitude = 0.3, kTones[3] = {100, 1000, 10000};

TEST(EndToEnd, EachToneLeavesOnItsBandsChannels)
{
    CFIRFilter f;
    for (uint32_t band = 0; band < 3; ++band)
        ASSERT_TRUE(f.LoadTaps((std::string(TRIVANDEL_TAPS_DIR) + "/" + kTapFileNames[band]).c_str(),
                               band));
    f.mono_lfe = 0;
    f.buffer_msec = 200; // the store compacts many times over the run
    WaveFormat capture = Format(2, 48000, 32);
    ASSERT_TRUE(f.SetFormat(&capture));
    f.output_format = Format(6, 48000, 16, kSubtypePcm);
    f.sample_kind = kSampleKindPcm16;

    // 480-frame buffers, read whenever the store holds one and a whole window.
    constexpr uint32_t kBuffer = 480, kFrames = 40 * kBuffer;
    std::vector<int16_t> out(6 * kFrames);
    const uint32_t sizes[] = {441, 480, 17, 1000, 3, 256};
    ConsoleCapture console;
    for (uint32_t written = 0, read = 0, p = 0; read < kFrames; ++p) {
        std::vector<float> packet;
        for (uint32_t k = written; k < written + sizes[p % 6]; ++k) {
            double v = 0.0;
            for (double hz : kTones)
                v += kAmplitude * std::sin(2 * std::numbers::pi * hz * k / kRate);
            packet.insert(packet.end(), {static_cast<float>(v), static_cast<float>(-v)});
        }
        f.WriteData(sizes[p % 6], reinterpret_cast<const uint8_t*>(packet.data()));
        written += sizes[p % 6];
        for (; f.write_pos - f.read_pos >= kBuffer + f.tap_count && read < kFrames; read += kBuffer)
            f.ReadData(kBuffer, reinterpret_cast<uint8_t*>(&out[6 * read]));
    }
    EXPECT_EQ(console.Text(), L"");

    // Each tone's level over whole periods of all three, after the first
    // window; the band's own at the pass level (0.8 of full scale), the
    // others 60 dB down.
    const double pass = kAmplitude * 0.8 * 32767.0;
    for (uint32_t ch = 0; ch < 6; ++ch) {
        const int own = ch < 2 ? 1 : ch < 4 ? 0 : 2; // band-pass, low-pass, high-pass
        for (int tone = 0; tone < 3; ++tone) {
            double re = 0.0, im = 0.0;
            for (uint32_t k = 2048; k < 2048 + 3 * 4800; ++k) {
                re += out[6 * k + ch] * std::cos(2 * std::numbers::pi * kTones[tone] * k / kRate);
                im += out[6 * k + ch] * std::sin(2 * std::numbers::pi * kTones[tone] * k / kRate);
            }
            const double db = 20.0 * std::log10(2.0 * std::hypot(re, im) / (3 * 4800) / pass);
            if (tone == own)
                EXPECT_NEAR(db, 0.0, 0.1) << "channel " << ch << ", " << kTones[tone] << " Hz";
            else
                EXPECT_LT(db, -60.0) << "channel " << ch << ", " << kTones[tone] << " Hz";
        }
    }
}

} // namespace
