#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "capture_buffer.h"
#include "fir_filter.h"
#include "test_support.h"

namespace {

// The stored frames [0, count) as floats, left and right interleaved.
std::vector<float> Stored(const CCaptureBuffer& b, uint32_t count)
{
    std::vector<float> v(count * 2);
    std::memcpy(v.data(), b.storage, v.size() * sizeof(float));
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

TEST(FrameStore, KeepsTheFirstTwoSamplesOfEachFrameAndNeverReadsPastOne)
{
    struct Case {
        const char* name;
        uint16_t channels;
        uint16_t block_align;
        std::vector<float> packet; // empty: a silent packet
        uint32_t frames;
        std::vector<float> stored;
    } cases[] = {
        {"two channels", 2, 8, {1, -1, 2, -2}, 2, {1, -1, 2, -2}},
        {"six channels", 6, 24, {0, 1, 2, 3, 4, 5, 10, 11, 12, 13, 14, 15}, 2, {0, 1, 10, 11}},
        {"one channel", 1, 4, {1, -2, 3}, 3, {1, 1, -2, -2, 3, 3}},
        {"frames of one sample", 2, 4, {1, -2}, 2, {1, 1, -2, -2}},
        {"frames shorter than a sample", 2, 2, {1.0f}, 2, {0, 0, 0, 0}},
        {"silent packet", 2, 8, {}, 3, {0, 0, 0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CCaptureBuffer b;
        WaveFormat f = Format(c.channels, 48000, 32);
        f.block_align = c.block_align;
        b.SetFormat(&f);
        std::memset(b.storage, 0x7F, 8 * 8);
        // Exactly the packet's size on the heap: a read past it is an ASan error.
        std::vector<float> packet = c.packet;
        ConsoleCapture console;
        EXPECT_TRUE(b.WriteData(
            c.frames, packet.empty() ? nullptr : reinterpret_cast<const uint8_t*>(packet.data())));
        EXPECT_EQ(b.write_pos, c.frames);
        EXPECT_EQ(Stored(b, c.frames), c.stored);
        EXPECT_EQ(console.Text(), L"");
    }
}

TEST(FrameStore, UnreadFramesMoveToTheStartOnlyWhenThePacketThenFits)
{
    // A store of 10 frames holding `first` frames (1, 2, ...) of which
    // `read` are read, given a second packet of `second` frames.
    struct Case {
        const char* name;
        uint32_t first, read, second;
        float second_base;
        const wchar_t* console;
        uint32_t write_pos;
        float stored_base;
    } cases[] = {
        // 4..8 move from [3, 8) to [0, 5): the ranges overlap (ASan
        // reports a plain copy) and 9..12 follow them.
        {"fits after compaction", 8, 3, 4, 9, L"", 9, 4},
        {"does not fit", 7, 2, 6, 20, L"WARNING:Buffer full!\n", 6, 20},
        {"oversized", 0, 0, 11, 1,
         L"WARNING:CCaptureBuffer::WriteData() frames is too big for buffer!\n", 10, 1},
        {"positions out of order", 4, 6, 7, 50,
         L"ERROR:CCaptureBuffer::WriteData() internal error.\nWARNING:Buffer full!\n", 7, 50},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CCaptureBuffer b;
        b.buffer_msec = 10;
        WaveFormat f = Format(2, 1000, 32);
        ASSERT_TRUE(b.SetFormat(&f));
        std::vector<float> first = StereoPacket(c.first, 1);
        std::vector<float> second = StereoPacket(c.second, c.second_base);
        b.WriteData(c.first, reinterpret_cast<const uint8_t*>(first.data()));
        b.read_pos = c.read;
        ConsoleCapture console;
        EXPECT_TRUE(b.WriteData(c.second, reinterpret_cast<const uint8_t*>(second.data())));
        EXPECT_EQ(console.Text(), c.console);
        EXPECT_EQ(b.read_pos, 0u);
        EXPECT_EQ(b.write_pos, c.write_pos);
        EXPECT_EQ(Stored(b, c.write_pos), StereoPacket(c.write_pos, c.stored_base));
    }
}

} // namespace
