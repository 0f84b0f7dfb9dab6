#include <cstring>
#include <gtest/gtest.h>
#include <ostream>
#include <vector>

#include "capture_buffer.h"
#include "fir_filter.h"
#include "test_support.h"

namespace {

// The stored frames [first, last) as floats, left and right interleaved.
std::vector<float> Stored(const CCaptureBuffer& b, uint32_t first, uint32_t last)
{
    std::vector<float> v((last - first) * 2);
    std::memcpy(v.data(), b.storage + first * 8u, v.size() * sizeof(float));
    return v;
}

// A stereo float packet whose frame k holds (base + k, -(base + k)).
std::vector<float> StereoPacket(uint32_t frames, float base)
{
    std::vector<float> v;
    for (uint32_t k = 0; k < frames; ++k) {
        v.push_back(base + static_cast<float>(k));
        v.push_back(-(base + static_cast<float>(k)));
    }
    return v;
}

// A stereo float store of `capacity` frames (buffer_msec at 1000 Hz).
void SetSmallStore(CCaptureBuffer* b, uint32_t capacity)
{
    b->buffer_msec = capacity;
    WaveFormat f = ExtensibleFormat(2, 1000, 32, kSubtypeFloat);
    ASSERT_TRUE(b->SetFormat(&f));
    ASSERT_EQ(b->capacity, capacity);
}

bool Write(CCaptureBuffer* b, const std::vector<float>& packet)
{
    return b->WriteData(static_cast<uint32_t>(packet.size() / 2),
                        reinterpret_cast<const uint8_t*>(packet.data()));
}

TEST(FrameStore, StereoFloatIsSizedForOneSecondPlusTheFilterWindow)
{
    CCaptureBuffer b;
    EXPECT_EQ(b.buffer_msec, 1000u);
    EXPECT_EQ(b.GetTapCount(), 0u);
    b.tap_count = 1023;
    WaveFormat f = ExtensibleFormat(2, 48000, 32, kSubtypeFloat);
    EXPECT_TRUE(b.SetFormat(&f));
    EXPECT_EQ(b.capacity, 48000u);
    EXPECT_EQ(b.frame_bytes, 8u);
    EXPECT_EQ(b.spare_frames, 1023u);
    ASSERT_NE(b.storage, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(b.storage) % 32, 0u);
    EXPECT_EQ(std::memcmp(&b.capture_format, &f, sizeof(f)), 0);
    // The whole block is writable: ASan reports it otherwise.
    std::memset(b.storage, 0, (48000 + 1023) * 8);
}

struct FormatCase {
    const char* name;
    WaveFormat format;
    bool usable;
    uint32_t frame_bytes;
    WaveFormatGuid sub_format;
};

// Failure lines name the case instead of dumping its bytes.
void PrintTo(const FormatCase& c, std::ostream* os)
{
    *os << c.name;
}

class FloatTest : public ::testing::TestWithParam<FormatCase> {};

TEST_P(FloatTest, OnlyThirtyTwoBitFloatIsUsableButEveryFormatIsSized)
{
    const FormatCase& c = GetParam();
    CCaptureBuffer b;
    EXPECT_EQ(b.SetFormat(&c.format), c.usable);
    EXPECT_EQ(b.capacity, 44100u);
    EXPECT_EQ(b.frame_bytes, c.frame_bytes);
    EXPECT_NE(b.storage, nullptr);
    EXPECT_TRUE(SameSubFormat(b.capture_format.sub_format, c.sub_format));
}

const FormatCase kFormatCases[] = {
    {"ExtensibleFloat32", ExtensibleFormat(2, 44100, 32, kSubtypeFloat), true, 8, kSubtypeFloat},
    {"ExtensibleFloat32SixChannels", ExtensibleFormat(6, 44100, 32, kSubtypeFloat), true, 8,
     kSubtypeFloat},
    {"ExtensiblePcm32", ExtensibleFormat(2, 44100, 32, kSubtypePcm), false, 8, kSubtypePcm},
    {"ExtensibleFloat64", ExtensibleFormat(2, 44100, 64, kSubtypeFloat), false, 16, kSubtypeFloat},
    {"PlainPcm16", PlainFormat(1, 2, 44100, 16), false, 4, kSubtypePcm},
    // A plain float format is widened as PCM like every plain format.
    {"PlainFloat32", PlainFormat(3, 2, 44100, 32), false, 8, kSubtypePcm},
};

INSTANTIATE_TEST_SUITE_P(Formats, FloatTest, ::testing::ValuesIn(kFormatCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FrameStore, PlainFormatIsWidened)
{
    CCaptureBuffer b;
    WaveFormat f = PlainFormat(1, 2, 48000, 16);
    EXPECT_FALSE(b.SetFormat(&f));
    EXPECT_EQ(b.capture_format.format_tag, 1);
    EXPECT_EQ(b.capture_format.block_align, 4);
    EXPECT_EQ(b.capture_format.extra_size, 0);
    EXPECT_EQ(b.capture_format.valid_bits_per_sample, 16);
    EXPECT_EQ(b.capture_format.channel_mask, 0u);
    EXPECT_TRUE(SameSubFormat(b.capture_format.sub_format, kSubtypePcm));
}

TEST(FrameStore, UnallocatableStoreIsEmptyAndStaysInBounds)
{
    CFIRFilter f;
    // 4 000 000 frames of 2 x 1024 bytes: more than 32 bits can size.
    WaveFormat format = ExtensibleFormat(2, 4000000, 8192, kSubtypeFloat);
    ConsoleCapture console;
    EXPECT_FALSE(f.SetFormat(&format));
    EXPECT_EQ(f.capacity, 0u);
    EXPECT_EQ(f.storage, nullptr);

    std::vector<uint8_t> packet(64);
    EXPECT_TRUE(f.WriteData(2, packet.data()));
    EXPECT_EQ(f.write_pos, 0u);
    EXPECT_EQ(console.Text(),
              L"WARNING:CCaptureBuffer::WriteData() frames is too big for buffer!\n");

    console.Clear();
    f.sample_kind = kSampleKindPcm16;
    f.output_format = ExtensibleFormat(2, 48000, 16, kSubtypePcm);
    std::vector<uint8_t> out(16, 0xCD);
    EXPECT_EQ(f.ReadData(4, out.data()), 0u);
    EXPECT_EQ(out, std::vector<uint8_t>(16, 0));
    EXPECT_EQ(console.Text(), L"WARNING:Buffer empty!\n");
}

TEST(FrameStore, TwoChannelPacketsAreCopiedWhole)
{
    CCaptureBuffer b;
    SetSmallStore(&b, 10);
    auto packet = StereoPacket(4, 1.0f);
    EXPECT_TRUE(Write(&b, packet));
    EXPECT_EQ(b.write_pos, 4u);
    EXPECT_EQ(b.read_pos, 0u);
    EXPECT_EQ(Stored(b, 0, 4), packet);
}

TEST(FrameStore, SixChannelFramesKeepChannelsZeroAndOne)
{
    CCaptureBuffer b;
    WaveFormat f = ExtensibleFormat(6, 48000, 32, kSubtypeFloat);
    ASSERT_TRUE(b.SetFormat(&f));
    EXPECT_EQ(b.frame_bytes, 8u);
    std::vector<float> packet;
    for (int frame = 0; frame < 3; ++frame)
        for (int ch = 0; ch < 6; ++ch)
            packet.push_back(static_cast<float>(10 * frame + ch));
    ASSERT_TRUE(b.WriteData(3, reinterpret_cast<const uint8_t*>(packet.data())));
    EXPECT_EQ(Stored(b, 0, 3), (std::vector<float>{0, 1, 10, 11, 20, 21}));
}

TEST(FrameStore, OneChannelSamplePlaysOnBothSides)
{
    CCaptureBuffer b;
    WaveFormat f = ExtensibleFormat(1, 48000, 32, kSubtypeFloat);
    ASSERT_TRUE(b.SetFormat(&f));
    // Exactly the packet's size on the heap: a read past it is an ASan error.
    std::vector<float> packet = {0.5f, -0.25f, 0.125f};
    ASSERT_TRUE(b.WriteData(3, reinterpret_cast<const uint8_t*>(packet.data())));
    EXPECT_EQ(Stored(b, 0, 3), (std::vector<float>{0.5f, 0.5f, -0.25f, -0.25f, 0.125f, 0.125f}));
}

TEST(FrameStore, FramesShorterThanTwoSamplesAreNeverReadPast)
{
    CCaptureBuffer b;
    WaveFormat f = ExtensibleFormat(2, 48000, 32, kSubtypeFloat);
    f.block_align = 4; // malformed: one sample per frame
    b.SetFormat(&f);
    std::vector<float> packet = {0.5f, -0.25f};
    ASSERT_TRUE(b.WriteData(2, reinterpret_cast<const uint8_t*>(packet.data())));
    EXPECT_EQ(Stored(b, 0, 2), (std::vector<float>{0.5f, 0.5f, -0.25f, -0.25f}));

    f.block_align = 2; // not even one sample: nothing can be taken
    b.SetFormat(&f);
    std::vector<uint8_t> tiny = {1, 2, 3, 4};
    ASSERT_TRUE(b.WriteData(2, tiny.data()));
    EXPECT_EQ(Stored(b, 0, 2), (std::vector<float>{0, 0, 0, 0}));
}

TEST(FrameStore, SilentPacketAppendsZeroFrames)
{
    CCaptureBuffer b;
    SetSmallStore(&b, 10);
    std::memset(b.storage, 0x7F, 10 * 8);
    ASSERT_TRUE(Write(&b, StereoPacket(2, 1.0f)));
    ConsoleCapture console;
    EXPECT_TRUE(b.WriteData(3, nullptr));
    EXPECT_EQ(b.write_pos, 5u);
    EXPECT_EQ(Stored(b, 0, 5), (std::vector<float>{1, -1, 2, -2, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(console.Text(), L"");
}

TEST(FrameStore, PacketThatFitsAfterCompactionFollowsTheUnreadFrames)
{
    CCaptureBuffer b;
    SetSmallStore(&b, 10);
    ASSERT_TRUE(Write(&b, StereoPacket(8, 1.0f))); // frames 1..8
    b.read_pos = 3;                                // 4..8 unread, at [3, 8)
    ConsoleCapture console;
    // They move to [0, 5): the ranges overlap (ASan reports a plain copy).
    ASSERT_TRUE(Write(&b, StereoPacket(4, 9.0f))); // 9..12
    EXPECT_EQ(b.read_pos, 0u);
    EXPECT_EQ(b.write_pos, 9u);
    EXPECT_EQ(Stored(b, 0, 9), StereoPacket(9, 4.0f));
    EXPECT_EQ(console.Text(), L"");
}

TEST(FrameStore, PacketThatDoesNotFitEmptiesTheStore)
{
    CCaptureBuffer b;
    SetSmallStore(&b, 10);
    ASSERT_TRUE(Write(&b, StereoPacket(7, 1.0f)));
    b.read_pos = 2; // 5 unread frames
    ConsoleCapture console;
    auto packet = StereoPacket(6, 20.0f);
    ASSERT_TRUE(Write(&b, packet));
    EXPECT_EQ(console.Text(), L"WARNING:Buffer full!\n");
    EXPECT_EQ(b.read_pos, 0u);
    EXPECT_EQ(b.write_pos, 6u);
    EXPECT_EQ(Stored(b, 0, 6), packet);
}

TEST(FrameStore, OversizedPacketIsCutToCapacity)
{
    CCaptureBuffer b;
    SetSmallStore(&b, 10);
    ConsoleCapture console;
    auto packet = StereoPacket(11, 1.0f);
    ASSERT_TRUE(Write(&b, packet));
    EXPECT_EQ(console.Text(),
              L"WARNING:CCaptureBuffer::WriteData() frames is too big for buffer!\n");
    EXPECT_EQ(b.write_pos, 10u);
    EXPECT_EQ(Stored(b, 0, 10), StereoPacket(10, 1.0f));
}

TEST(FrameStore, PositionsOutOfOrderAreReportedAndNotCompacted)
{
    CCaptureBuffer b;
    SetSmallStore(&b, 10);
    ASSERT_TRUE(Write(&b, StereoPacket(4, 1.0f)));
    b.read_pos = 6;
    ConsoleCapture console;
    ASSERT_TRUE(Write(&b, StereoPacket(7, 50.0f)));
    EXPECT_EQ(console.Text(),
              L"ERROR:CCaptureBuffer::WriteData() internal error.\nWARNING:Buffer full!\n");
    EXPECT_EQ(b.read_pos, 0u);
    EXPECT_EQ(b.write_pos, 7u);
}

TEST(FrameStore, SetFormatResetsAndReplacesTheStorage)
{
    CCaptureBuffer b;
    SetSmallStore(&b, 10);
    ASSERT_TRUE(Write(&b, StereoPacket(4, 1.0f)));
    b.read_pos = 1;
    WaveFormat f = ExtensibleFormat(2, 2000, 32, kSubtypeFloat);
    EXPECT_TRUE(b.SetFormat(&f));
    EXPECT_EQ(b.capacity, 20u);
    EXPECT_EQ(b.write_pos, 0u);
    EXPECT_EQ(b.read_pos, 0u);
}

} // namespace
