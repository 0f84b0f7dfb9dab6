#include <algorithm>
#include <cmath>
#include <functional>
#include <gtest/gtest.h>
#include <numbers>
#include <utility>
#include <vector>

#include "check/thd_n.h"
#include "engine/clock/clock_bridge.h"
#include "engine/kernels/kernel_dispatch.h"
#include "tests/engine/test_support.h"

namespace {

// The bridge as the live loop drives it: a loopback clock `ppm` fast sends
// packets of `packet` frames of input(n) on both sides, paced by output
// buffers of 99 ms, each read whole once pre-buffering is over; the left
// channel of what is read is kept, zeros while pre-buffering.
struct BridgeRig {
    BridgeRig(uint32_t rate, uint32_t packet, std::function<float(uint64_t)> input)
        : played(rate * 99 / 1000), buffer(rate * 99 / 1000), packet_(packet),
          input_(std::move(input)), frames_(2 * packet)
    {
        const WaveFormat format = ExtensibleFormat(2, rate, 32);
        ready = store_.SetFormat(&format) && bridge.Start(&store_, buffer);
    }

    // One pass; `lost` frames of the loopback go missing first, unflagged.
    BridgeEvent Pass(double ppm, uint32_t lost = 0)
    {
        due_ += buffer * (1 + ppm * 1e-6);
        sent_ += lost;
        next_ += lost;
        for (; sent_ + packet_ <= due_; sent_ += packet_) {
            for (uint32_t i = 0; i < packet_; ++i)
                frames_[2 * i] = frames_[2 * i + 1] = input_(next_++);
            bridge.WritePacket(packet_, reinterpret_cast<const uint8_t*>(frames_.data()), false);
        }
        level = store_.Held();
        if (prebuffering_)
            prebuffering_ = level < 2 * buffer;
        const BridgeEvent event = bridge.EndDrain(!prebuffering_);
        const float* stored = reinterpret_cast<const float*>(store_.storage) + 2 * store_.read_pos;
        for (uint32_t i = 0; i < buffer; ++i)
            played[i] = prebuffering_ || i >= level ? 0.0f : stored[2 * i];
        if (!prebuffering_) {
            store_.read_pos += std::min(level, buffer);
            prebuffering_ = store_.read_pos == store_.write_pos;
        }
        return event;
    }

    // The left channel of the buffer the last pass read.
    std::vector<float> played;
    CClockBridge bridge;
    bool ready = false;
    uint32_t buffer;
    uint32_t level = 0; // the frames held after the last drain

    uint32_t packet_;
    std::function<float(uint64_t)> input_;
    std::vector<float> frames_;
    CCaptureBuffer store_;
    bool prebuffering_ = true;
    double due_ = 0, sent_ = 0;
    uint64_t next_ = 0;
};

// A tone through the bridge, from the first whole second after it starts
// tracking: each second as clean as the resampler at a held ratio, by the
// analyser's measure. The ratio moves every pass; those moves must not
// reach the position as steps that put sidebands beside the tone.
TEST(ClockBridge, AToneComesOutAsCleanAsAtAHeldRatio)
{
    constexpr uint32_t kRate = 48000;
    auto tone = [](uint64_t n) {
        return static_cast<float>(
            0.5 * std::sin(2 * std::numbers::pi * 1000 * static_cast<double>(n) / kRate));
    };
    for (double ppm : {700.0, -300.0}) {
        BridgeRig rig(kRate, 480, tone);
        ASSERT_TRUE(rig.ready);
        std::vector<float> out;
        auto play = [&] {
            const BridgeEvent event = rig.Pass(ppm);
            out.insert(out.end(), rig.played.begin(), rig.played.end());
            return event;
        };
        for (uint32_t pass = 0; pass < 3000 && play() != kBridgeStartedTracking; ++pass) {
        }
        ASSERT_EQ(rig.bridge.Mode(), kDriftTrack) << ppm;
        const size_t first = out.size() / kRate + 1;
        while (out.size() < (first + 5) * kRate)
            play();
        // The same resampler at the ratio the bridge ended on, held.
        std::vector<float> x(kRate + 1024), held(2 * kRate);
        for (size_t n = 0; n < x.size(); ++n)
            x[n] = tone(n);
        const double hz = 1000 * (1 + ppm * 1e-6);
        const AlignedFloats table(MakeResamplerTable());
        kKernelPaths[ActivePath()].resample(held.data(), x.data(), x.data(), 0,
                                            StepOf(rig.bridge.RatioPpm()), kRate, table.get());
        const double floor = ThdPlusNoiseDb(held.data(), 2, kRate, hz);
        for (size_t s = first; s < first + 5; ++s)
            EXPECT_GE(ThdPlusNoiseDb(out.data() + s * kRate, 1, kRate, hz), floor - 3)
                << ppm << " ppm, second " << s - first << " after tracking started";
    }
}

// Through a landing and on to a later drift: an unflagged loss on a shared
// clock starts tracking; the bridge lands and then copies every frame as it
// came; a drift later on is followed again from the level's slope since the
// landing, and the level held.
TEST(ClockBridge, LandsAndFollowsALaterDrift)
{
    // Each frame differs from its 8191 neighbours, so that a copy shows.
    auto count = [](uint64_t n) { return static_cast<float>(n % 8192) / 8192.0f - 0.5f; };
    BridgeRig rig(48000, 480, count);
    ASSERT_TRUE(rig.ready);
    uint32_t pass = 0, tracked = 0, landed = 0, again = 0, breaks = 0;
    int64_t last = -1;
    for (; pass < 15000 && again == 0; ++pass) {
        const bool drifting = landed > 0 && pass > landed + 100;
        const BridgeEvent event = rig.Pass(drifting ? -300 : 0, pass == 300 ? 800 : 0);
        if (event == kBridgeStartedTracking)
            (tracked == 0 ? tracked : again) = pass;
        if (event == kBridgeCopying && landed == 0)
            landed = pass;
        // From when the store holds only frames stored after the landing.
        for (size_t i = 0; landed > 0 && pass > landed + 4 && !drifting && i < rig.buffer; ++i) {
            const int64_t k = std::lround((rig.played[i] + 0.5f) * 8192.0f);
            breaks += last >= 0 && k != (last + 1) % 8192;
            last = k;
        }
    }
    EXPECT_GT(tracked, 300u);
    EXPECT_GT(landed, tracked);
    EXPECT_GT(again, landed + 100);
    EXPECT_EQ(breaks, 0u);
    EXPECT_NEAR(rig.bridge.RatioPpm(), -300, 100);
    const uint32_t set_point = rig.bridge.SetPoint();
    for (uint32_t end = pass + 1200; pass < end; ++pass) {
        rig.Pass(-300);
        EXPECT_NEAR(rig.level, set_point, 1024.0) << pass - again << " passes after tracking";
    }
}

} // namespace
