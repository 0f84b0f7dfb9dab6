// The output stage's gain check, its sample conversion exact to the byte,
// where each band goes with the mutes, mono LFE and the bypass, and the
// windows that reach past the last stored frame.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

#include "engine/filter/fir_filter.h"
#include "engine/kernels/convolve.h"
#include "tests/engine/test_support.h"

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
    WaveFormat capture = ExtensibleFormat(2, 48000, 32);
    EXPECT_TRUE(f->SetFormat(&capture));
    const uint16_t bits = kind == kSampleKindPcm32 ? 32 : kind == kSampleKindPcm24 ? 24 : 16;
    WaveFormat output =
        ExtensibleFormat(channels, 48000, container_bits ? container_bits : bits, kSubtypePcm);
    output.valid_bits_per_sample = bits;
    EXPECT_TRUE(f->SetOutputFormat(&output));
    f->attenuation = 1.0f;
    f->mono_lfe = 0;
    return f;
}

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
        ConsoleCapture console;
        EXPECT_EQ(f->CheckScaledTaps(c.kind), c.finite) << c.attenuation << ", kind " << c.kind;
        EXPECT_EQ(console.Text().empty(), c.finite) << c.attenuation << ", kind " << c.kind;
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
        {kSampleKindPcm32, 1.0f, {0xFF, 0xFF, 0xFF, 0x7F}, true},
        {kSampleKindPcm32, 255.9f * k24, {0xFF, 0x00, 0x00, 0x00}, true}, // low byte kept
        {kSampleKindPcm32, -1.5f * k24, {0xFF, 0xFF, 0xFF, 0xFF}, true},
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

// Where each band goes: channels 0/1 the band-pass, 2/3 the low-pass (or
// its mono sum), 4/5 the high-pass, the rest silent; each muted pair
// silent; the bypass plays the window's centre frame on every pair; with
// fewer than six channels only the first pair plays.
TEST(Channels, EachBandOnItsPairWithTheMutesMonoLfeAndBypass)
{
    // Three taps, each band a gain on the centre frame: 0.25, 0.5, 0.125.
    const std::vector<Entry> taps = {{0, 0, 0}, {0.25f, 0.5f, 0.125f}, {0, 0, 0}};
    const std::vector<float> lr = {0.1f, -0.2f, 0.3f, 0.4f, -0.5f, 0.6f};
    const struct {
        uint16_t channels;
        uint8_t mute_lfe, mute_low, mute_high, mono_lfe, through;
    } cases[] = {
        {8, 0, 0, 0, 0, 0}, {6, 1, 0, 0, 0, 0}, {6, 0, 1, 0, 0, 0}, {6, 0, 0, 1, 0, 0},
        {6, 0, 0, 0, 1, 0}, {6, 0, 0, 0, 0, 1}, {6, 1, 1, 1, 1, 1}, {2, 0, 0, 0, 1, 0},
    };
    for (const auto& c : cases) {
        for (int32_t kind : {kSampleKindPcm16, kSampleKindPcm24}) {
            SCOPED_TRACE(testing::Message() << "case " << &c - cases << ", kind " << kind);
            auto f = MakeFilter(taps, kind, c.channels);
            f->mute_lfe = c.mute_lfe, f->mute_low = c.mute_low, f->mute_high = c.mute_high;
            f->mono_lfe = c.mono_lfe, f->divider_through = c.through;
            Store(f.get(), lr);
            // The centre frame is the second one stored.
            const float x[2] = {lr[2], lr[3]};
            const float gain[3] = {c.through ? 1.0f : 0.5f, c.through ? 1.0f : 0.25f,
                                   c.through ? 1.0f : 0.125f}; // mid, low, high
            const bool six = c.channels >= 6;
            const bool on[3] = {!c.mute_low, six && !c.mute_lfe, six && !c.mute_high};
            const float scale = kind == kSampleKindPcm16 ? 32767.0f : 2147483648.0f;
            const int shift = kind == kSampleKindPcm16 ? 0 : 8; // the top 24 bits
            Bytes expected;
            for (uint16_t ch = 0; ch < c.channels; ++ch) {
                float v = ch < 6 ? scale * gain[ch / 2] * x[ch % 2] : 0.0f;
                if (ch / 2 == 1 && c.mono_lfe && six)
                    v = (scale * gain[1] * x[0] + scale * gain[1] * x[1]) * 0.5f;
                const int32_t sample = ch < 6 && on[ch / 2] ? static_cast<int32_t>(v) >> shift : 0;
                for (int byte = 0; byte < (kind == kSampleKindPcm16 ? 2 : 3); ++byte)
                    expected.push_back(static_cast<uint8_t>(sample >> (8 * byte)));
            }
            EXPECT_EQ(Read(f.get(), 1), expected);
        }
    }
}

// The windows of the last frames reach past the last frame stored: what is
// there reads as silence, whatever the store's block held before.
TEST(Channels, WindowsPastTheLastStoredFrameReadSilence)
{
    const std::vector<Entry> taps(5, Entry{0.25f, 0.5f, 0.125f});
    const std::vector<float> lr = {0.1f, -0.2f, 0.3f, 0.4f};
    auto clean = MakeFilter(taps, kSampleKindPcm24);
    auto stale = MakeFilter(taps, kSampleKindPcm24);
    std::memset(stale->storage, 0x3F, size_t{stale->capacity + stale->spare_frames} * 8);
    Store(clean.get(), lr);
    Store(stale.get(), lr);
    EXPECT_EQ(Read(stale.get(), 2), Read(clean.get(), 2));
}

} // namespace
