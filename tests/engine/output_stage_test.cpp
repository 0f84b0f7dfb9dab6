#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

#include "convolve.h"
#include "fir_filter.h"
#include "test_support.h"

namespace {

using Entry = std::array<float, 3>; // LPF, BPF, HPF of one tap
using Bytes = std::vector<uint8_t>;
using Floats = std::vector<float>;

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

std::vector<float> Ramp(uint32_t frames, float step)
{
    std::vector<float> lr;
    for (uint32_t k = 1; k <= frames; ++k) {
        lr.push_back(step * static_cast<float>(k));
        lr.push_back(-0.5f * step * static_cast<float>(k));
    }
    return lr;
}

Bytes Read(CFIRFilter* f, uint32_t frames)
{
    Bytes out(static_cast<size_t>(frames) * f->output_format.block_align, 0xCD);
    f->ReadData(frames, out.data());
    return out;
}

// Sample `ch` of `frame` of a 16-bit output of `channels` channels.
int32_t Sample16(const Bytes& out, uint32_t frame, uint32_t ch, uint32_t channels = 6)
{
    int16_t s;
    std::memcpy(&s, &out[2 * (frame * channels + ch)], 2);
    return s;
}

Bytes Slice(const Bytes& out, size_t offset, size_t n)
{
    return Bytes(out.begin() + offset, out.begin() + offset + n);
}

// What the divider computes for one tap: its scaled value times the sample.
int32_t OneTap16(float tap, float sample)
{
    return static_cast<int32_t>(std::trunc((tap * 32767.0f) * sample));
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
        EXPECT_EQ(std::vector<float>(ClampLimits.upper, ClampLimits.upper + 4), Floats(4, full));
        EXPECT_EQ(std::vector<float>(ClampLimits.lower, ClampLimits.lower + 4), Floats(4, -full));
        const float g = 0.8f * full;
        EXPECT_EQ(Floats(f->taps, f->taps + 12),
                  (Floats{1.0f * g, -0.5f * g, 0.25f * g, 0, 0.125f * g, 2.0f * g, -1.0f * g, 0, 0,
                          0, 0, 0}));
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
    const float k16 = 1.0f / 32767.0f, k24 = 1.0f / 2147483648.0f;
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
        {kSampleKindPcm24, 1.0f, {0xFF, 0xFF, 0x7F}, true},
        {kSampleKindPcm24, -1.0f, {0x00, 0x00, 0x80}, true},
        {kSampleKindPcm24, 255.9f * k24, {0x00, 0x00, 0x00}, true}, // low byte dropped
        {kSampleKindPcm24, -1.5f * k24, {0xFF, 0xFF, 0xFF}, true},  // toward zero
        // A NaN sample is silence, never a full-scale sample.
        {kSampleKindPcm16, std::nanf(""), {0x00, 0x00}, true},
        {kSampleKindPcm24, std::nanf(""), {0x00, 0x00, 0x00}, true},
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

TEST(Underrun, MissingFramesAreSilentAndWarnedAfterTheClipLineOfTheCall)
{
    auto f = MakeFilter({{0.0f, 1.0f, 0.0f}}, kSampleKindPcm16);
    std::vector<float> lr = Ramp(100, 0.001f);
    lr[2 * 50] = 1.25f;
    lr[2 * 60 + 1] = -1.5f;
    Store(f.get(), lr);
    ConsoleCapture console;
    Bytes out(480 * 12, 0xCD);
    EXPECT_EQ(f->ReadData(480, out.data()), 100u);
    EXPECT_EQ(console.Text(), L"WARNING:Clip signal! 1.500\nWARNING:Buffer empty!\n");
    for (uint32_t i = 0; i < 100; ++i)
        EXPECT_EQ(Sample16(out, i, 0), i == 50 ? 32767 : OneTap16(1.0f, lr[2 * i]));
    EXPECT_EQ(Sample16(out, 60, 1), -32767);
    EXPECT_EQ(Slice(out, 100 * 12, 380 * 12), Bytes(380 * 12, 0));

    console.Text().clear();
    std::fill(out.begin(), out.end(), 0xCD);
    EXPECT_EQ(f->ReadData(480, out.data()), 0u);
    EXPECT_EQ(out, Bytes(480 * 12, 0));
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
    const std::vector<float> lr = Ramp(2000, 1.0f / 2048.0f);
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
            ConsoleCapture console;
            Read(f.get(), 3);
            out[run] = Read(f.get(), 5);
            EXPECT_EQ(console.Text(), L"");
        }
        EXPECT_EQ(out[0], out[1]) << n << " taps";
        for (uint32_t i = 0; i < 5; ++i)
            for (uint32_t ch = 0; ch < 6; ++ch)
                EXPECT_EQ(
                    Sample16(out[2], i, ch),
                    static_cast<int32_t>((32767.0f * lr[2 * (3 + i + n / 2) + ch % 2]) * 0.8f))
                    << n << " taps, frame " << i << " ch " << ch;
    }
}

TEST(Controls, MutesSilenceTheirPairOnlyAndTheClipLineStillSeesIt)
{
    for (int muted = 0; muted < 3; ++muted) { // LFE, low, high
        SCOPED_TRACE(muted);
        // Band-pass at 1.5 full scale: clipped and reported even when muted.
        auto f = MakeFilter({{0.25f, 1.5f, 0.5f}}, kSampleKindPcm16);
        f->mute_lfe = muted == 0;
        f->mute_low = muted == 1;
        f->mute_high = muted == 2;
        Store(f.get(), {1.0f, -1.0f});
        ConsoleCapture console;
        Bytes out = Read(f.get(), 1);
        EXPECT_EQ(console.Text(), L"WARNING:Clip signal! 1.500\n");
        const int32_t band = f->mute_low ? 0 : 32767;
        const int32_t low = f->mute_lfe ? 0 : OneTap16(0.25f, 1.0f);
        const int32_t high = f->mute_high ? 0 : OneTap16(0.5f, 1.0f);
        const int32_t expected[6] = {band, -band, low, -low, high, -high};
        for (uint32_t ch = 0; ch < 6; ++ch)
            EXPECT_EQ(Sample16(out, 0, ch), expected[ch]) << "ch " << ch;
    }
}

TEST(Controls, MonoLfeGivesBothLowChannelsTheMeanAfterTheMute)
{
    for (uint8_t through : {0, 1}) {
        SCOPED_TRACE(through ? "bypass" : "divider");
        auto f = MakeFilter({{1.0f, 1.0f, 1.0f}}, kSampleKindPcm16);
        f->mono_lfe = 1;
        f->divider_through = through;
        Store(f.get(), {0.5f, 0.25f, 0.5f, 0.25f});
        Bytes out = Read(f.get(), 1);
        const float left = 32767.0f * 0.5f, right = 32767.0f * 0.25f;
        const int32_t mono = static_cast<int32_t>((right + left) * 0.5f);
        EXPECT_EQ(Sample16(out, 0, 2), mono);
        EXPECT_EQ(Sample16(out, 0, 3), mono);
        EXPECT_EQ(Sample16(out, 0, 0), static_cast<int32_t>(left));
        EXPECT_EQ(Sample16(out, 0, 5), static_cast<int32_t>(right));
        f->mute_lfe = 1;
        out = Read(f.get(), 1);
        EXPECT_EQ(Sample16(out, 0, 2), 0);
        EXPECT_EQ(Sample16(out, 0, 3), 0);
    }
}

TEST(Channels, BandsGoToTheirChannelsAndTheRestIsSilent)
{
    for (uint16_t channels : {1, 2, 4, 6, 8}) {
        SCOPED_TRACE(channels);
        auto f = MakeFilter({{0.25f, 0.5f, 0.75f}}, kSampleKindPcm16, channels);
        Store(f.get(), {0.5f, -0.5f, 0.25f, -0.25f});
        Bytes out = Read(f.get(), 2);
        ASSERT_EQ(out.size(), 2u * 2 * channels);
        const float gains[8] = {0.5f, 0.5f, 0.25f, 0.25f, 0.75f, 0.75f, 0.0f, 0.0f};
        for (uint32_t i = 0; i < 2; ++i) {
            for (uint32_t ch = 0; ch < channels; ++ch) {
                const float x = (i ? 0.25f : 0.5f) * (ch % 2 ? -1.0f : 1.0f);
                EXPECT_EQ(Sample16(out, i, ch, channels),
                          ch < 2 || channels >= 6 ? OneTap16(gains[ch], x) : 0)
                    << "frame " << i << " ch " << ch;
            }
        }
    }
}

TEST(Containers, SamplesSitAtTheTopOfWiderContainers)
{
    const float x24 = 305419904.0f / 2147483648.0f; // 0x12345680, negated 0xEDCBA980
    const struct {
        int32_t kind;
        uint16_t channels;
        float sample;
        Bytes positive, negative;
    } cases[] = {
        {kSampleKindPcm24, 8, x24, {0x00, 0x56, 0x34, 0x12}, {0x00, 0xA9, 0xCB, 0xED}},
        {kSampleKindPcm16, 6, 1.0f, {0x00, 0x00, 0xFF, 0x7F}, {0x00, 0x00, 0x01, 0x80}},
    };
    for (const auto& c : cases) {
        auto f = MakeFilter({{1.0f, 1.0f, 1.0f}}, c.kind, c.channels, 32);
        Store(f.get(), {c.sample, -c.sample, c.sample, -c.sample});
        for (uint8_t through : {0, 1}) {
            SCOPED_TRACE(testing::Message() << c.channels << " channels, through " << +through);
            f->divider_through = through;
            Bytes out = Read(f.get(), 1);
            ASSERT_EQ(out.size(), 4u * c.channels);
            for (uint32_t ch = 0; ch < c.channels; ++ch)
                EXPECT_EQ(Slice(out, 4 * ch, 4), ch >= 6  ? Bytes(4, 0)
                                                 : ch % 2 ? c.negative
                                                          : c.positive)
                    << "ch " << ch;
        }
    }
}

TEST(Containers, ChannelsBeyondTheBlockAlignmentAreNotWritten)
{
    // Six channels announced, room for two: the buffer (exactly frames x
    // block alignment on the heap) is never written past.
    auto f = MakeFilter({{0.25f, 0.5f, 0.75f}}, kSampleKindPcm24, 6);
    f->output_format.block_align = 6;
    Store(f.get(), {1.0f, -1.0f, 1.0f, -1.0f});
    Bytes out = Read(f.get(), 2);
    ASSERT_EQ(out.size(), 12u);
    EXPECT_EQ(out, Bytes({0x00, 0x00, 0x40, 0x00, 0x00, 0xC0, 0x00, 0x00, 0x40, 0x00, 0x00, 0xC0}));
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
        Store(f.get(), Ramp(48, 0.01f));
        Bytes out(48 * 12, 0xCD);
        EXPECT_EQ(f->ReadData(48, out.data()), 48u);
        EXPECT_EQ(out, Bytes(48 * 12, 0));
        EXPECT_EQ(f->read_pos, 48u);
    }
}

} // namespace
