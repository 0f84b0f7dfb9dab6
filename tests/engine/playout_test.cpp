// The playout's pre-buffering: output buffers are silent until the store
// holds PrebufferFrames (two buffers, or whole windows and the late
// packets' margin), filtered from that pass on, and silent again after a
// pass that leaves the store dry. The live loop, the renders and the soak's
// reference all play through this object.
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "engine/filter/playout.h"
#include "tests/engine/test_support.h"

namespace {

TEST(Playout, PrebufferingCoversWholeWindowsAndTheStoreGrowsOnlyWhereThatWouldNotFit)
{
    EXPECT_EQ(PrebufferFrames(4752, 1023), 9504u);
    EXPECT_EQ(PrebufferFrames(480, 1023), 3551u);
    EXPECT_EQ(PrebufferFrames(0, 0), 0u);
    EXPECT_EQ(StoreMilliseconds(48000, 48000), 1000u);
    EXPECT_EQ(StoreMilliseconds(48001, 48000), 1001u);
    EXPECT_EQ(StoreMilliseconds(uint64_t{1} << 40, 48000), UINT32_MAX / 48000);
    EXPECT_EQ(StoreMilliseconds(1 << 20, 0), 1000u);
}

TEST(Playout, PlaysFilteredFromThePassThatHoldsThePrebufferAndRefillsAfterRunningDry)
{
    const struct {
        uint32_t buffer, taps;
    } cases[] = {{4752, 1023}, {480, 1023}, {144, 1023}, {480, 5}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.buffer << " frames, " << c.taps << " taps");
        TempDir dir;
        CPlayout playout;
        std::string text;
        for (uint32_t k = 0; k < c.taps; ++k)
            text += k == c.taps / 2 ? "1\n" : "0\n";
        for (const char* name : kTapFileNames)
            dir.WriteFile(name, text);
        const WorkingFolder in(dir.path);
        ASSERT_TRUE(playout.Filter().LoadTapFiles());
        playout.SetOptions(0.5f, 0);
        const WaveFormat capture = ExtensibleFormat(2, 48000, 32);
        const WaveFormat output = ExtensibleFormat(6, 48000, 16, kSubtypePcm);
        ASSERT_EQ(playout.TakesOutput(&output), kOutputTaken);
        ASSERT_TRUE(playout.Start(&capture, &output, c.buffer));
        const uint32_t prebuffer = static_cast<uint32_t>(playout.PrebufferFrames());
        std::vector<float> ones(2 * size_t{prebuffer}, 1.0f);
        std::vector<uint8_t> out(size_t{c.buffer} * 12);
        auto write = [&](uint32_t frames) {
            playout.WritePacket(frames, reinterpret_cast<const uint8_t*>(ones.data()), false);
        };
        ConsoleCapture console;
        // Twice: from the start, and after the store has run dry.
        for (int fill = 0; fill < 2; ++fill) {
            write(prebuffer - 1);
            EXPECT_FALSE(playout.Play({}, out.data()).filtered);
            EXPECT_EQ(playout.Held(), prebuffer - 1);
            write(1);
            ASSERT_TRUE(playout.Play({}, out.data()).filtered);
            // The last frame's window was whole: the centre tap's half of
            // full scale, truncated.
            const size_t last = size_t{c.buffer - 1} * 12;
            EXPECT_EQ(static_cast<int16_t>(out[last] | out[last + 1] << 8), 16383);
            uint32_t passes = 1; // at most 100: a store that never runs dry fails, not hangs
            while (passes < 100 && playout.Play({}, out.data()).filtered)
                ++passes;
            EXPECT_EQ(passes, (prebuffer + c.buffer - 1) / c.buffer);
            EXPECT_EQ(playout.Held(), 0u);
        }
        // A pass that finds fewer frames than a buffer says so.
        EXPECT_EQ(console.Text(), prebuffer % c.buffer == 0
                                      ? L""
                                      : L"WARNING:Buffer empty!\nWARNING:Buffer empty!\n");
    }
}

} // namespace
