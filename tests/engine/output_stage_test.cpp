#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

#include "convolve.h"
#include "fir_filter.h"
#include "test_support.h"

namespace {

using Entry = std::array<float, 3>; // LPF, BPF, HPF of one tap
using Bytes = std::vector<uint8_t>;

// A filter with the given (unscaled) taps, a stereo float store of 48 000
// frames and an output of `channels` channels of `kind`, in containers of
// `container_bits` (0: as narrow as the kind). Attenuation 1, mono LFE off.
std::unique_ptr<CFIRFilter> MakeFilter(const std::vector<Entry>& taps, int32_t kind,
                                       uint16_t channels = 6, uint16_t container_bits = 0)
{
    auto f = std::make_unique<CFIRFilter>();
    f->taps = MakeAlignedFloats(4 * (taps.size() + 1)).release();
    for (size_t k = 0; k < taps.size(); ++k)
        std::memcpy(f->taps + 4 * k, taps[k].data(), sizeof(Entry));
    f->tap_count = static_cast<uint32_t>(taps.size());
    WaveFormat capture = Format(2, 48000, 32);
    EXPECT_TRUE(f->SetFormat(&capture));
    const uint16_t bits = kind == kSampleKindPcm24 ? 24 : 16;
    f->output_format = Format(channels, 48000, container_bits ? container_bits : bits, kSubtypePcm);
    f->output_format.valid_bits_per_sample = bits;
    f->sample_kind = kind;
    f->attenuation = 1.0f;
    f->mono_lfe = 0;
    return f;
}

// Stores stereo frames given as (left, right) pairs.
void Store(CFIRFilter* f, const std::vector<float>& lr)
{
    ASSERT_TRUE(f->WriteData(static_cast<uint32_t>(lr.size() / 2),
                             reinterpret_cast<const uint8_t*>(lr.data())));
}

Bytes Read(CFIRFilter* f, uint32_t frames)
{
    Bytes out(static_cast<size_t>(frames) * f->output_format.block_align, 0xCD);
    f->ReadData(frames, out.data());
    return out;
}

// The 16-bit samples of an output, frame after frame.
std::vector<int16_t> Samples16(const Bytes& out)
{
    std::vector<int16_t> samples(out.size() / 2);
    std::memcpy(samples.data(), out.data(), out.size());
    return samples;
}

TEST(Rescale, FirstCallScalesTheTapsOnceAndSetsTheClampLimits)
{
    for (int32_t kind : {kSampleKindPcm16, kSampleKindPcm24}) {
        const float full = kind == kSampleKindPcm16 ? 32767.0f : 2147483648.0f;
        SCOPED_TRACE(full);
        auto f = MakeFilter({{1.0f, -0.5f, 0.25f}, {0.125f, 2.0f, -1.0f}}, kind);
        f->attenuation = 0.8f;
        Bytes out(36, 0xCD);
        EXPECT_EQ(f->ReadData(0, out.data()), 0u);
        EXPECT_EQ(f->ReadData(0, out.data()), 0u);
        EXPECT_EQ(f->full_scale, full);
        for (int lane = 0; lane < 4; ++lane) {
            EXPECT_EQ(ClampLimits.upper[lane], full);
            EXPECT_EQ(ClampLimits.lower[lane], -full);
        }
        const float g = 0.8f * full;
        EXPECT_EQ(std::vector<float>(f->taps, f->taps + 12),
                  (std::vector<float>{1.0f * g, -0.5f * g, 0.25f * g, 0, 0.125f * g, 2.0f * g,
                                      -1.0f * g, 0, 0, 0, 0, 0}));
    }
}

TEST(Rescale, AGainThatWouldMakeTheScaledTapsNotFiniteIsDetected)
{
    const float nan = std::nanf(""), inf = INFINITY;
    const struct {
        float attenuation;
        int32_t kind;
        float tap;
        bool finite;
    } cases[] = {
        {0.8f, kSampleKindPcm16, 1.0f, true},   {nan, kSampleKindPcm16, 1.0f, false},
        {inf, kSampleKindPcm16, 1.0f, false},   {1e30f, kSampleKindPcm16, 1.0f, true},
        {1e30f, kSampleKindPcm24, 1.0f, false}, {1e28f, kSampleKindPcm24, 1000.0f, false},
    };
    for (const auto& c : cases) {
        auto f = MakeFilter({{0.5f, -c.tap, 0.0f}}, c.kind);
        f->attenuation = c.attenuation;
        EXPECT_EQ(f->ScaledTapsAreFinite(), c.finite) << c.attenuation << ", kind " << c.kind;
    }
}

TEST(Conversion, SamplesHaveTheirExactBytesInBypassAndThroughTheDivider)
{
    const float k16 = 1.0f / 32767.0f, k24 = 1.0f / 2147483648.0f, nan = std::nanf("");
    const struct {
        int32_t kind;
        float sample; // stored sample, a fraction of full scale
        Bytes bytes;  // the sample on channels 0 and 1
        bool divider; // also reachable through the (clamping) divider
    } cases[] = {
        {kSampleKindPcm16, 1.0f, {0xFF, 0x7F}, true},
        {kSampleKindPcm16, -1.0f, {0x01, 0x80}, true},
        {kSampleKindPcm16, 1.9f * k16, {0x01, 0x00}, true},  // truncated
        {kSampleKindPcm16, -0.9f * k16, {0x00, 0x00}, true}, // toward zero
        // Over full scale in bypass: saturated, not wrapped round to -25536.
        {kSampleKindPcm16, 40000.0f * k16, {0xFF, 0x7F}, false},
        {kSampleKindPcm16, -40000.0f * k16, {0x00, 0x80}, false},
        // A NaN sample is silence, never a full-scale sample.
        {kSampleKindPcm16, nan, {0x00, 0x00}, true},
        {kSampleKindPcm24, nan, {0x00, 0x00, 0x00}, true},
        {kSampleKindPcm24, 1.0f, {0xFF, 0xFF, 0x7F}, true},
        {kSampleKindPcm24, -1.0f, {0x00, 0x00, 0x80}, true},
        {kSampleKindPcm24, 255.9f * k24, {0x00, 0x00, 0x00}, true}, // low byte dropped
        {kSampleKindPcm24, -1.5f * k24, {0xFF, 0xFF, 0xFF}, true},  // toward zero
        {kSampleKindPcm24, 1.5f, {0xFF, 0xFF, 0x7F}, false},
        {kSampleKindPcm24, -1.5f, {0x00, 0x00, 0x80}, false},
    };
    for (const auto& c : cases) {
        for (bool divider : {false, true}) {
            if (divider && !c.divider)
                continue;
            SCOPED_TRACE(testing::Message() << c.bytes.size() * 8 << "-bit " << c.sample
                                            << (divider ? " through the divider" : " in bypass"));
            // One tap of 1.0: the divider's value is the scaled sample itself.
            auto f = MakeFilter({{1.0f, 1.0f, 1.0f}}, c.kind, 2);
            f->divider_through = !divider;
            Store(f.get(), {c.sample, c.sample});
            ConsoleCapture console;
            Bytes both = c.bytes;
            both.insert(both.end(), c.bytes.begin(), c.bytes.end());
            EXPECT_EQ(Read(f.get(), 1), both);
            // Exactly full scale is no clip; bypassed frames are never clips.
            EXPECT_EQ(console.Text(), L"");
        }
    }
}

TEST(ChannelMap, BandsMutesMonoLfeAndBypassReachTheirChannelsOnly)
{
    // One tap per band on the frame (0.5, -0.25) at 16 bits: low (4095,
    // -2047), band (8191, -4095), high (12287, -6143); bypassed (16383,
    // -8191). A band-pass tap of 3 clips (peak 1.5) even where it is muted.
    const struct {
        const char* name;
        uint16_t channels;
        uint8_t mute_lfe, mute_low, mute_high, mono, through;
        float bpf;
        std::vector<int16_t> samples;
    } cases[] = {
        {"six channels", 6, 0, 0, 0, 0, 0, 0.5f, {8191, -4095, 4095, -2047, 12287, -6143}},
        {"eight", 8, 0, 0, 0, 0, 0, 0.5f, {8191, -4095, 4095, -2047, 12287, -6143, 0, 0}},
        {"four", 4, 0, 0, 0, 0, 0, 0.5f, {8191, -4095, 0, 0}},
        {"two", 2, 0, 0, 0, 0, 0, 0.5f, {8191, -4095}},
        {"one", 1, 0, 0, 0, 0, 0, 0.5f, {8191}},
        {"LFE muted", 6, 1, 0, 0, 0, 0, 0.5f, {8191, -4095, 0, 0, 12287, -6143}},
        {"low muted, clipping", 6, 0, 1, 0, 0, 0, 3.0f, {0, 0, 4095, -2047, 12287, -6143}},
        {"high muted", 6, 0, 0, 1, 0, 0, 0.5f, {8191, -4095, 4095, -2047, 0, 0}},
        {"mono LFE", 6, 0, 0, 0, 1, 0, 0.5f, {8191, -4095, 1023, 1023, 12287, -6143}},
        {"mono LFE muted", 6, 1, 0, 0, 1, 0, 0.5f, {8191, -4095, 0, 0, 12287, -6143}},
        {"bypass", 6, 0, 0, 0, 0, 1, 0.5f, {16383, -8191, 16383, -8191, 16383, -8191}},
        {"bypass, mono LFE", 6, 0, 0, 0, 1, 1, 0.5f, {16383, -8191, 4095, 4095, 16383, -8191}},
        {"bypass, high muted", 8, 0, 0, 1, 0, 1, 3.0f, {16383, -8191, 16383, -8191, 0, 0, 0, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto f = MakeFilter({{0.25f, c.bpf, 0.75f}}, kSampleKindPcm16, c.channels);
        f->mute_lfe = c.mute_lfe;
        f->mute_low = c.mute_low;
        f->mute_high = c.mute_high;
        f->mono_lfe = c.mono;
        f->divider_through = c.through;
        Store(f.get(), {0.5f, -0.25f});
        ConsoleCapture console;
        EXPECT_EQ(Samples16(Read(f.get(), 1)), c.samples);
        EXPECT_EQ(console.Text(),
                  c.bpf > 1.0f && !c.through ? L"WARNING:Clip signal! 1.500\n" : L"");
    }
}

TEST(Containers, SamplesSitAtTheTopOfWiderContainersAndNothingPastTheBlockIsWritten)
{
    const float x24 = 305419904.0f / 2147483648.0f; // 0x12345680
    const struct {
        int32_t kind;
        uint16_t channels, container_bits, block_align;
        float sample;
        Bytes frame; // channels 0 and 1 (-sample), then 0 bytes to the block's end
    } cases[] = {
        {kSampleKindPcm24, 8, 32, 32, x24, {0x00, 0x56, 0x34, 0x12, 0x00, 0xA9, 0xCB, 0xED}},
        {kSampleKindPcm16, 6, 32, 24, 1.0f, {0x00, 0x00, 0xFF, 0x7F, 0x00, 0x00, 0x01, 0x80}},
        // Six channels announced, room for two: the two are all that is written.
        {kSampleKindPcm24, 6, 24, 6, 1.0f, {0xFF, 0xFF, 0x7F, 0x00, 0x00, 0x80}},
    };
    for (const auto& c : cases) {
        // No tap but the high-pass one: channels 0..3 carry bypassed samples only.
        auto f = MakeFilter({{1.0f, 1.0f, 0.0f}}, c.kind, c.channels, c.container_bits);
        f->output_format.block_align = c.block_align;
        Store(f.get(), {c.sample, -c.sample, c.sample, -c.sample});
        for (uint8_t through : {0, 1}) {
            SCOPED_TRACE(testing::Message() << c.channels << " channels, through " << +through);
            f->divider_through = through;
            // The low-pass pair repeats the band-pass one, and so does the
            // high-pass pair in bypass, where the block has room for them.
            Bytes expected = c.frame;
            expected.resize(c.block_align, 0);
            for (size_t pair = 1; pair <= (through ? 2u : 1u) && 8 * pair < c.block_align; ++pair)
                std::copy(c.frame.begin(), c.frame.end(), expected.begin() + 8 * pair);
            EXPECT_EQ(Read(f.get(), 1), expected);
        }
    }
}

TEST(Underrun, MissingFramesAreSilentAndWarnedAfterTheClipLineOfTheCall)
{
    auto f = MakeFilter({{0.0f, 1.0f, 0.0f}}, kSampleKindPcm16);
    std::vector<float> lr(200, 0.25f);
    lr[2 * 50] = 1.25f;
    lr[2 * 60 + 1] = -1.5f;
    Store(f.get(), lr);
    ConsoleCapture console;
    std::vector<int16_t> out = Samples16(Read(f.get(), 480));
    EXPECT_EQ(console.Text(), L"WARNING:Clip signal! 1.500\nWARNING:Buffer empty!\n");
    EXPECT_EQ(out[6 * 50], 32767);
    EXPECT_EQ(out[6 * 60 + 1], -32767);
    EXPECT_EQ(out[6 * 99], 8191);
    EXPECT_EQ(std::count(out.begin() + 6 * 100, out.end(), 0), 6 * 380);

    console.Clear();
    Bytes out2(480 * 12, 0xCD);
    EXPECT_EQ(f->ReadData(480, out2.data()), 0u);
    EXPECT_EQ(out2, Bytes(480 * 12, 0));
    EXPECT_EQ(console.Text(), L"WARNING:Buffer empty!\n");
}

TEST(LookAhead, FramesNotYetCapturedReadAsSilenceFromTheCallThatReachesThem)
{
    // Eight taps all 1: each output is the sum of its window, n/64 of 2^31.
    auto f = MakeFilter(std::vector<Entry>(8, Entry{1.0f, 1.0f, 1.0f}), kSampleKindPcm24);
    auto frames = [&](uint32_t first, uint32_t last) {
        return Bytes(f->storage + 8 * first, f->storage + 8 * last);
    };
    // Not-a-number patterns where nothing was captured yet.
    std::memset(f->storage, 0xFF, 40 * 8);
    Store(f.get(), std::vector<float>(2 * 4, 1.0f / 64.0f));
    ConsoleCapture console;
    // A call for no frames writes and prints nothing, but clears up to the
    // end of the next window and no further.
    Bytes out(18, 0xCD);
    EXPECT_EQ(f->ReadData(0, out.data()), 0u);
    EXPECT_EQ(out, Bytes(18, 0xCD));
    EXPECT_EQ(frames(4, 8), Bytes(4 * 8, 0));
    EXPECT_EQ(frames(8, 12), Bytes(4 * 8, 0xFF));

    Store(f.get(), std::vector<float>(2 * 16, 1.0f / 64.0f)); // 20 frames
    out = Read(f.get(), 12); // windows up to frame 19: nothing cleared
    EXPECT_EQ(frames(20, 28), Bytes(8 * 8, 0xFF));
    Bytes tail = Read(f.get(), 8);
    EXPECT_EQ(frames(20, 28), Bytes(8 * 8, 0));
    EXPECT_EQ(frames(28, 29), Bytes(8, 0xFF));
    out.insert(out.end(), tail.begin(), tail.end());
    for (uint32_t i = 0; i < 20; ++i) {
        const int32_t sample = out[18 * i] << 8 | out[18 * i + 1] << 16 | out[18 * i + 2] << 24;
        EXPECT_EQ(sample, static_cast<int32_t>(std::min(8u, 20 - i)) << 25) << "frame " << i;
    }
    EXPECT_EQ(console.Text(), L"");
}

TEST(Bypass, PlaysTheCentreFrameOfTheWindowScaledInStepWithTheDivider)
{
    std::vector<float> lr;
    for (int k = 1; k <= 2000; ++k) {
        lr.push_back(k / 2048.0f);
        lr.push_back(-k / 4096.0f);
    }
    for (uint32_t n : {1023u, 1024u}) {
        // An impulse at the centre of the window: the divider passes the same frame.
        std::vector<Entry> taps(n, Entry{0.0f, 0.0f, 0.0f});
        taps[n / 2] = Entry{1.0f, 1.0f, 1.0f};
        Bytes out[3]; // divider, bypass, bypass with attenuation 0.8
        for (int run = 0; run < 3; ++run) {
            auto f = MakeFilter(taps, kSampleKindPcm16);
            f->divider_through = run > 0;
            f->attenuation = run == 2 ? 0.8f : 1.0f;
            Store(f.get(), lr);
            Read(f.get(), 3);
            out[run] = Read(f.get(), 5);
        }
        EXPECT_EQ(out[0], out[1]) << n << " taps";
        const std::vector<int16_t> attenuated = Samples16(out[2]);
        for (uint32_t i = 0; i < 30; ++i)
            EXPECT_EQ(attenuated[i],
                      static_cast<int16_t>((32767.0f * lr[2 * (3 + i / 6 + n / 2) + i % 2]) * 0.8f))
                << n << " taps, sample " << i;
    }
}

TEST(Silence, FramesThatCannotBeFilteredAreConsumedAsSilence)
{
    for (int c = 0; c < 3; ++c) {
        SCOPED_TRACE(c);
        auto f = MakeFilter(std::vector<Entry>(64, Entry{1.0f, 1.0f, 1.0f}), kSampleKindPcm16);
        WaveFormat capture = Format(2, 48000, 32, c == 1 ? kSubtypePcm : kSubtypeFloat);
        if (c == 0) {
            f->sample_kind = kSampleKindNone;
        } else if (c == 1) {
            EXPECT_FALSE(f->SetFormat(&capture)); // the capture is not float
        } else {
            // Taps loaded after the store was sized: it has no spare frames
            // for a window of 64, and nothing past it is read or cleared.
            f->buffer_msec = 1; // 48 frames
            f->tap_count = 0;
            EXPECT_TRUE(f->SetFormat(&capture));
            f->tap_count = 64;
        }
        Store(f.get(), std::vector<float>(96, 0.5f));
        Bytes out(48 * 12, 0xCD);
        EXPECT_EQ(f->ReadData(48, out.data()), 48u);
        EXPECT_EQ(out, Bytes(48 * 12, 0));
        EXPECT_EQ(f->read_pos, 48u);
    }
}

} // namespace
