#include <array>
#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <ostream>
#include <memory>
#include <string>
#include <vector>

#include "aligned_memory.h"
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
    const size_t bytes = (taps.size() + 1) * 4 * sizeof(float);
    f->taps = static_cast<float*>(AlignedAlloc(bytes));
    std::memset(f->taps, 0, bytes);
    for (size_t k = 0; k < taps.size(); ++k)
        std::memcpy(f->taps + 4 * k, taps[k].data(), 3 * sizeof(float));
    f->tap_count = static_cast<uint32_t>(taps.size());
    WaveFormat capture = ExtensibleFormat(2, 48000, 32, kSubtypeFloat);
    EXPECT_TRUE(f->SetFormat(&capture));
    if (container_bits == 0)
        container_bits = kind == kSampleKindPcm24 ? 24 : 16;
    f->output_format = ExtensibleFormat(channels, 48000, container_bits, kSubtypePcm);
    f->output_format.valid_bits_per_sample = kind == kSampleKindPcm24 ? 24 : 16;
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
    for (uint32_t k = 0; k < frames; ++k) {
        lr.push_back(step * static_cast<float>(k + 1));
        lr.push_back(-0.5f * step * static_cast<float>(k + 1));
    }
    return lr;
}

Bytes Read(CFIRFilter* f, uint32_t frames)
{
    Bytes out(static_cast<size_t>(frames) * f->output_format.block_align, 0xCD);
    f->ReadData(frames, out.data());
    return out;
}

int32_t Sample16(const Bytes& out, size_t block, uint32_t frame, uint32_t ch)
{
    int16_t s;
    std::memcpy(&s, &out[frame * block + 2 * ch], 2);
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

TEST(Rescale, FirstCallFor16BitScalesTheTapsOnce)
{
    auto f = MakeFilter({{1.0f, -0.5f, 0.25f}, {0.125f, 2.0f, -1.0f}}, kSampleKindPcm16);
    f->attenuation = 0.8f;
    Bytes out(12);
    EXPECT_EQ(f->ReadData(0, out.data()), 0u);
    const float g = 0.8f * 32767.0f;
    EXPECT_EQ(f->full_scale, 32767.0f);
    EXPECT_EQ(f->taps_dirty, 0);
    const float expected[] = {1.0f * g,  -0.5f * g, 0.25f * g, 0.0f, 0.125f * g, 2.0f * g,
                              -1.0f * g, 0.0f,      0,         0,    0,          0};
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(f->taps[i], expected[i]) << "float " << i;
    for (int lane = 0; lane < 4; ++lane) {
        EXPECT_EQ(ClampLimits.upper[lane], 32767.0f);
        EXPECT_EQ(ClampLimits.lower[lane], -32767.0f);
    }
    EXPECT_EQ(f->ReadData(0, out.data()), 0u);
    EXPECT_EQ(f->taps[0], g);
}

TEST(Rescale, FirstCallFor24BitUsesTwoToThe31)
{
    auto f = MakeFilter({{1.0f, 1.0f, 1.0f}}, kSampleKindPcm24);
    Read(f.get(), 0);
    EXPECT_EQ(f->full_scale, 2147483648.0f);
    EXPECT_EQ(ClampLimits.upper[3], 2147483648.0f);
    EXPECT_EQ(ClampLimits.lower[0], -2147483648.0f);
    EXPECT_EQ(f->taps[0], 2147483648.0f);
}

TEST(Rescale, UnknownSampleKindKeepsFullScaleAndWritesSilence)
{
    auto f = MakeFilter({{1.0f, 1.0f, 1.0f}}, kSampleKindNone);
    f->output_format = ExtensibleFormat(6, 48000, 16, kSubtypePcm);
    Store(f.get(), Ramp(10, 0.01f));
    Bytes out(10 * 12, 0xCD);
    EXPECT_EQ(f->ReadData(10, out.data()), 10u);
    EXPECT_EQ(f->full_scale, 1.0f);
    EXPECT_EQ(out, Bytes(10 * 12, 0));
    EXPECT_EQ(f->read_pos, 10u);
}

struct ConversionCase {
    const char* name;
    int32_t kind;
    float sample; // stored sample, a fraction of full scale
    Bytes bytes;  // the sample on channel 0
    bool divider; // also reachable through the (clamping) divider
};

// Failure lines name the case instead of dumping its bytes.
void PrintTo(const ConversionCase& c, std::ostream* os)
{
    *os << c.name;
}

class Conversion : public ::testing::TestWithParam<ConversionCase> {};

TEST_P(Conversion, SampleBytesInBypassAndThroughTheDivider)
{
    const ConversionCase& c = GetParam();
    const size_t width = c.bytes.size();
    for (bool divider : {false, true}) {
        if (divider && !c.divider)
            continue;
        // One tap of 1.0: the divider's value is the scaled sample itself.
        auto f = MakeFilter({{1.0f, 1.0f, 1.0f}}, c.kind, 2);
        f->divider_through = divider ? 0 : 1;
        Store(f.get(), {c.sample, c.sample});
        ConsoleCapture console;
        Bytes out = Read(f.get(), 1);
        EXPECT_EQ(Slice(out, 0, width), c.bytes) << (divider ? "divider" : "bypass");
        EXPECT_EQ(Slice(out, width, width), c.bytes) << (divider ? "divider" : "bypass");
        // Bypassed frames are never clamped, so they never count as clips.
        if (!divider) {
            EXPECT_EQ(console.Text(), L"");
        }
    }
}

const ConversionCase kConversionCases[] = {
    {"Pcm16FullScale", kSampleKindPcm16, 1.0f, {0xFF, 0x7F}, true},
    {"Pcm16MinusFullScale", kSampleKindPcm16, -1.0f, {0x01, 0x80}, true},
    {"Pcm16TruncatesUp", kSampleKindPcm16, 1.9f / 32767.0f, {0x01, 0x00}, true},
    {"Pcm16TruncatesTowardZero", kSampleKindPcm16, -0.9f / 32767.0f, {0x00, 0x00}, true},
    // Over full scale in bypass: saturated, not wrapped round to -25536.
    {"Pcm16SaturatesHigh", kSampleKindPcm16, 40000.0f / 32767.0f, {0xFF, 0x7F}, false},
    {"Pcm16SaturatesLow", kSampleKindPcm16, -40000.0f / 32767.0f, {0x00, 0x80}, false},
    {"Pcm24FullScale", kSampleKindPcm24, 1.0f, {0xFF, 0xFF, 0x7F}, true},
    {"Pcm24MinusFullScale", kSampleKindPcm24, -1.0f, {0x00, 0x00, 0x80}, true},
    {"Pcm24Half", kSampleKindPcm24, 0.5f, {0x00, 0x00, 0x40}, true},
    {"Pcm24DropsTheLowByte", kSampleKindPcm24, 255.9f / 2147483648.0f, {0x00, 0x00, 0x00}, true},
    {"Pcm24TruncatesTowardZero", kSampleKindPcm24, -1.5f / 2147483648.0f, {0xFF, 0xFF, 0xFF}, true},
    {"Pcm24SaturatesHigh", kSampleKindPcm24, 1.5f, {0xFF, 0xFF, 0x7F}, false},
    {"Pcm24SaturatesLow", kSampleKindPcm24, -1.5f, {0x00, 0x00, 0x80}, false},
};

INSTANTIATE_TEST_SUITE_P(Examples, Conversion, ::testing::ValuesIn(kConversionCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Underrun, ShortStorePadsWithSilenceAndWarns)
{
    auto f = MakeFilter({{0.0f, 1.0f, 0.0f}}, kSampleKindPcm16);
    Store(f.get(), Ramp(100, 0.001f));
    ConsoleCapture console;
    Bytes out = Read(f.get(), 480);
    EXPECT_EQ(console.Text(), L"WARNING:Buffer empty!\n");
    EXPECT_EQ(f->read_pos, f->write_pos);
    for (uint32_t i = 0; i < 100; ++i)
        EXPECT_EQ(Sample16(out, 12, i, 0), OneTap16(1.0f, 0.001f * static_cast<float>(i + 1)));
    EXPECT_EQ(Slice(out, 100 * 12, 380 * 12), Bytes(380 * 12, 0));
}

TEST(Underrun, EmptyStoreGivesASilentBuffer)
{
    auto f = MakeFilter({{1.0f, 1.0f, 1.0f}}, kSampleKindPcm24);
    ConsoleCapture console;
    Bytes out(480 * 18, 0xCD);
    EXPECT_EQ(f->ReadData(480, out.data()), 0u);
    EXPECT_EQ(out, Bytes(480 * 18, 0));
    EXPECT_EQ(console.Text(), L"WARNING:Buffer empty!\n");
}

TEST(Underrun, CallForNoFramesWritesAndPrintsNothingButPreparesTheStore)
{
    auto f = MakeFilter(std::vector<Entry>(8, Entry{1.0f, 1.0f, 1.0f}), kSampleKindPcm16);
    Store(f.get(), Ramp(4, 0.01f));
    std::memset(f->storage + 4 * 8, 0xFF, 8 * 8);
    ConsoleCapture console;
    Bytes out(12, 0xCD);
    EXPECT_EQ(f->ReadData(0, out.data()), 0u);
    EXPECT_EQ(out, Bytes(12, 0xCD));
    EXPECT_EQ(console.Text(), L"");
    EXPECT_EQ(f->taps_dirty, 0);
    // Frames 4 .. read_pos + tap_count - 1 are zero now.
    EXPECT_EQ(Bytes(f->storage + 4 * 8, f->storage + 8 * 8), Bytes(4 * 8, 0));
    EXPECT_EQ(Bytes(f->storage + 8 * 8, f->storage + 12 * 8), Bytes(4 * 8, 0xFF));
}

TEST(LookAhead, FramesNotYetCapturedReadAsSilence)
{
    // Eight taps all 1: each output is the sum of its window.
    auto f = MakeFilter(std::vector<Entry>(8, Entry{1.0f, 1.0f, 1.0f}), kSampleKindPcm24);
    std::vector<float> lr(2 * 20, 1.0f / 64.0f);
    Store(f.get(), lr);
    // Not-a-number patterns where nothing was captured yet.
    std::memset(f->storage + 20 * 8, 0xFF, 8 * 8);
    ConsoleCapture console;
    Bytes out = Read(f.get(), 20);
    EXPECT_EQ(console.Text(), L"");
    EXPECT_EQ(Bytes(f->storage + 20 * 8, f->storage + 28 * 8), Bytes(8 * 8, 0));
    for (uint32_t i = 0; i < 20; ++i) {
        const uint32_t frames_in_window = std::min(8u, 20 - i);
        int32_t expected = static_cast<int32_t>(frames_in_window) << 25; // n/64 of 2^31
        EXPECT_EQ(Slice(out, 18 * i, 3),
                  Bytes({static_cast<uint8_t>(expected >> 8), static_cast<uint8_t>(expected >> 16),
                         static_cast<uint8_t>(expected >> 24)}))
            << "frame " << i;
    }
}

TEST(LookAhead, NothingIsClearedWhileTheWindowsLieInCapturedFrames)
{
    auto f = MakeFilter(std::vector<Entry>(8, Entry{1.0f, 1.0f, 1.0f}), kSampleKindPcm16);
    Store(f.get(), Ramp(40, 0.001f));
    std::memset(f->storage + 40 * 8, 0xEE, 8 * 8);
    Read(f.get(), 10);
    EXPECT_EQ(Bytes(f->storage + 40 * 8, f->storage + 48 * 8), Bytes(8 * 8, 0xEE));
}

TEST(Bypass, PlaysTheCentreFrameOfTheWindowScaledOnEveryPair)
{
    auto f = MakeFilter(std::vector<Entry>(1024, Entry{0.0f, 0.0f, 0.0f}), kSampleKindPcm16);
    f->attenuation = 0.8f;
    f->divider_through = 1;
    std::vector<float> lr = Ramp(2000, 1.0f / 2048.0f);
    Store(f.get(), lr);
    ConsoleCapture console;
    Read(f.get(), 3);
    Bytes out = Read(f.get(), 5);
    for (uint32_t i = 0; i < 5; ++i) {
        const size_t frame = 3 + i + 512;
        for (uint32_t ch = 0; ch < 6; ++ch) {
            const float x = lr[2 * frame + ch % 2];
            EXPECT_EQ(Sample16(out, 12, i, ch), static_cast<int32_t>((32767.0f * x) * 0.8f))
                << "frame " << i << " ch " << ch;
        }
    }
    EXPECT_EQ(console.Text(), L"");
}

TEST(Bypass, SwitchingItDoesNotMoveTheSignalInTime)
{
    // A centre impulse of an odd length: the divider passes the same frame.
    std::vector<Entry> taps(1023, Entry{0.0f, 0.0f, 0.0f});
    taps[511] = Entry{1.0f, 1.0f, 1.0f};
    std::vector<float> lr = Ramp(3000, 1.0f / 4096.0f);
    Bytes outputs[2];
    for (int through = 0; through < 2; ++through) {
        auto f = MakeFilter(taps, kSampleKindPcm24);
        f->divider_through = static_cast<uint8_t>(through);
        Store(f.get(), lr);
        Read(f.get(), 7);
        outputs[through] = Read(f.get(), 480);
    }
    EXPECT_EQ(outputs[0], outputs[1]);
}

TEST(Bypass, NoTapsPlayTheFrameItselfAndTheDividerIsSilent)
{
    auto f = MakeFilter({}, kSampleKindPcm16);
    Store(f.get(), Ramp(10, 0.01f));
    Bytes divided = Read(f.get(), 5);
    EXPECT_EQ(divided, Bytes(5 * 12, 0));
    f->divider_through = 1;
    Bytes through = Read(f.get(), 5);
    EXPECT_EQ(Sample16(through, 12, 0, 0), static_cast<int32_t>(32767.0f * (0.01f * 6.0f)));
}

struct MuteCase {
    const char* name;
    uint8_t mute_lfe, mute_low, mute_high;
};

// Failure lines name the case instead of dumping its bytes.
void PrintTo(const MuteCase& c, std::ostream* os)
{
    *os << c.name;
}

class Mutes : public ::testing::TestWithParam<MuteCase> {};

TEST_P(Mutes, SilenceTheirPairOnlyAndTheClipLineStillSeesIt)
{
    const MuteCase& c = GetParam();
    // Band-pass at 1.5 full scale: clipped and reported even when muted.
    auto f = MakeFilter({{0.25f, 1.5f, 0.5f}}, kSampleKindPcm16);
    f->mute_lfe = c.mute_lfe;
    f->mute_low = c.mute_low;
    f->mute_high = c.mute_high;
    Store(f.get(), {1.0f, -1.0f});
    ConsoleCapture console;
    Bytes out = Read(f.get(), 1);
    EXPECT_EQ(console.Text(), L"WARNING:Clip signal! 1.500\n");
    const int32_t band = c.mute_low ? 0 : 32767;
    const int32_t low = c.mute_lfe ? 0 : OneTap16(0.25f, 1.0f);
    const int32_t high = c.mute_high ? 0 : OneTap16(0.5f, 1.0f);
    const int32_t expected[6] = {band, -band, low, -low, high, -high};
    for (uint32_t ch = 0; ch < 6; ++ch)
        EXPECT_EQ(Sample16(out, 12, 0, ch), expected[ch]) << "ch " << ch;
}

const MuteCase kMuteCases[] = {
    {"None", 0, 0, 0}, {"Lfe", 1, 0, 0}, {"Low", 0, 1, 0}, {"High", 0, 0, 1}, {"All", 1, 1, 1},
};

INSTANTIATE_TEST_SUITE_P(Controls, Mutes, ::testing::ValuesIn(kMuteCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(MonoLfe, BothLowChannelsCarryTheMeanAfterTheMute)
{
    for (uint8_t through : {0, 1}) {
        auto f = MakeFilter({{1.0f, 1.0f, 1.0f}}, kSampleKindPcm16);
        f->mono_lfe = 1;
        f->divider_through = through;
        Store(f.get(), {0.5f, 0.25f, 0.5f, 0.25f});
        Bytes out = Read(f.get(), 1);
        const float left = 32767.0f * 0.5f, right = 32767.0f * 0.25f;
        const int32_t mono = static_cast<int32_t>((right + left) * 0.5f);
        EXPECT_EQ(Sample16(out, 12, 0, 2), mono) << "through " << int(through);
        EXPECT_EQ(Sample16(out, 12, 0, 3), mono) << "through " << int(through);
        EXPECT_EQ(Sample16(out, 12, 0, 0), static_cast<int32_t>(left));
        EXPECT_EQ(Sample16(out, 12, 0, 5), static_cast<int32_t>(right));
        f->mute_lfe = 1;
        out = Read(f.get(), 1);
        EXPECT_EQ(Sample16(out, 12, 0, 2), 0);
        EXPECT_EQ(Sample16(out, 12, 0, 3), 0);
    }
}

class ChannelCount : public ::testing::TestWithParam<uint16_t> {};

TEST_P(ChannelCount, BandsGoToTheirChannelsAndTheRestIsSilent)
{
    const uint16_t channels = GetParam();
    auto f = MakeFilter({{0.25f, 0.5f, 0.75f}}, kSampleKindPcm16, channels);
    Store(f.get(), {0.5f, -0.5f, 0.25f, -0.25f, 0.125f, -0.125f});
    Bytes out = Read(f.get(), 3);
    ASSERT_EQ(out.size(), 3u * 2 * channels);
    const float inputs[3] = {0.5f, 0.25f, 0.125f};
    for (uint32_t i = 0; i < 3; ++i) {
        const float x = inputs[i];
        const bool six = channels >= 6;
        const int32_t expected[8] = {OneTap16(0.5f, x),
                                     OneTap16(0.5f, -x),
                                     six ? OneTap16(0.25f, x) : 0,
                                     six ? OneTap16(0.25f, -x) : 0,
                                     six ? OneTap16(0.75f, x) : 0,
                                     six ? OneTap16(0.75f, -x) : 0,
                                     0,
                                     0};
        for (uint32_t ch = 0; ch < channels; ++ch)
            EXPECT_EQ(Sample16(out, 2u * channels, i, ch), expected[ch])
                << "frame " << i << " ch " << ch;
    }
}

INSTANTIATE_TEST_SUITE_P(Outputs, ChannelCount, ::testing::Values(1, 2, 4, 6, 8));

TEST(ClipWarning, ExactlyFullScaleIsNotAClip)
{
    auto f = MakeFilter({{1.0f, 1.0f, 1.0f}}, kSampleKindPcm16);
    Store(f.get(), {1.0f, -1.0f});
    ConsoleCapture console;
    Read(f.get(), 1);
    EXPECT_EQ(console.Text(), L"");
}

TEST(ClipWarning, WorstFrameOfTheCallComesBeforeTheUnderrun)
{
    auto f = MakeFilter({{1.0f, 1.0f, 1.0f}}, kSampleKindPcm24);
    Store(f.get(), {1.25f, 0.0f, 0.0f, -1.5f});
    ConsoleCapture console;
    Bytes out = Read(f.get(), 4);
    EXPECT_EQ(console.Text(), L"WARNING:Clip signal! 1.500\nWARNING:Buffer empty!\n");
    EXPECT_EQ(Slice(out, 0, 3), Bytes({0xFF, 0xFF, 0x7F}));
    EXPECT_EQ(Slice(out, 18 + 3, 3), Bytes({0x00, 0x00, 0x80}));
}

TEST(WideContainers, TwentyFourBitsSitAtTheTopOfThirtyTwo)
{
    auto f = MakeFilter({{1.0f, 1.0f, 1.0f}}, kSampleKindPcm24, 8, 32);
    ASSERT_EQ(f->output_format.block_align, 32);
    // 0x12345680 in units of 2^31, and its negative.
    const float x = 305419904.0f / 2147483648.0f;
    Store(f.get(), {x, -x, x, -x});
    for (uint8_t through : {0, 1}) {
        f->divider_through = through;
        Bytes out = Read(f.get(), 1);
        const Bytes pos = {0x00, 0x56, 0x34, 0x12};
        const Bytes neg = {0x00, 0xA9, 0xCB, 0xED}; // -0x12345680 = 0xEDCBA980
        for (uint32_t ch = 0; ch < 6; ++ch)
            EXPECT_EQ(Slice(out, 4 * ch, 4), ch % 2 ? neg : pos) << "ch " << ch;
        EXPECT_EQ(Slice(out, 24, 8), Bytes(8, 0));
    }
}

TEST(WideContainers, SixteenBitsSitAtTheTopOfThirtyTwo)
{
    auto f = MakeFilter({{1.0f, 1.0f, 1.0f}}, kSampleKindPcm16, 6, 32);
    Store(f.get(), {1.0f, -1.0f, 0.5f, 0.5f});
    Bytes out = Read(f.get(), 2);
    ASSERT_EQ(out.size(), 48u);
    EXPECT_EQ(Slice(out, 0, 8), Bytes({0x00, 0x00, 0xFF, 0x7F, 0x00, 0x00, 0x01, 0x80}));
    EXPECT_EQ(Slice(out, 24, 4), Bytes({0x00, 0x00, 0xFF, 0x3F})); // 16383
}

TEST(WideContainers, ChannelsBeyondTheBlockAlignmentAreNotWritten)
{
    // Six channels announced, room for two: the buffer (exactly frames x
    // block alignment on the heap) is never written past.
    auto f = MakeFilter({{0.25f, 0.5f, 0.75f}}, kSampleKindPcm24, 6);
    f->output_format.block_align = 6;
    Store(f.get(), {1.0f, -1.0f, 1.0f, -1.0f});
    Bytes out = Read(f.get(), 2);
    ASSERT_EQ(out.size(), 12u);
    for (uint32_t i = 0; i < 2; ++i) {
        EXPECT_EQ(Slice(out, 6 * i, 3), Bytes({0x00, 0x00, 0x40})) << "frame " << i;
        EXPECT_EQ(Slice(out, 6 * i + 3, 3), Bytes({0x00, 0x00, 0xC0})) << "frame " << i;
    }
}

TEST(CaptureFormat, TapsLoadedAfterTheStoreWasSizedGiveSilenceInBounds)
{
    // The store has no spare frames for a window of 64: nothing past it is
    // read or cleared, and the frames are still consumed.
    auto f = MakeFilter({}, kSampleKindPcm16);
    const size_t bytes = 65 * 4 * sizeof(float);
    AlignedFree(f->taps);
    f->taps = static_cast<float*>(AlignedAlloc(bytes));
    std::memset(f->taps, 0, bytes);
    f->taps[0] = 1.0f;
    f->buffer_msec = 1; // 48 frames, no spare
    WaveFormat capture = ExtensibleFormat(2, 48000, 32, kSubtypeFloat);
    f->tap_count = 0;
    ASSERT_TRUE(f->SetFormat(&capture));
    f->tap_count = 64;
    Store(f.get(), Ramp(48, 0.01f));
    Bytes out = Read(f.get(), 48);
    EXPECT_EQ(out, Bytes(48 * 12, 0));
    EXPECT_EQ(f->read_pos, 48u);
}

TEST(CaptureFormat, NonFloatStoreGivesSilenceButConsumesFrames)
{
    auto f = MakeFilter({{1.0f, 1.0f, 1.0f}}, kSampleKindPcm16);
    WaveFormat pcm = ExtensibleFormat(2, 48000, 32, kSubtypePcm);
    EXPECT_FALSE(f->SetFormat(&pcm));
    Store(f.get(), {1.0f, 1.0f, 1.0f, 1.0f});
    Bytes out = Read(f.get(), 2);
    EXPECT_EQ(out, Bytes(24, 0));
    EXPECT_EQ(f->read_pos, 2u);
}

} // namespace
