// End-to-end latency through the capture thread on the simulated devices,
// in ms, the filter's delay (1023 taps, linear phase: 10.6 ms) counted apart.
// The loopback clicks once a second; a pass's buffer plays one buffer after
// it, and the drain finds the 10 ms packets the loopback, `ppm` fast, has
// finished by then. On one clock the phase of the packets against the passes
// matters (the latency is set where pre-buffering ends); at +-200 ppm the
// latency is read once the controller has locked.
#include "tests/audio/audio_test_support.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

constexpr uint32_t kRate = 48000, kTaps = 1023, kPacket = 480;
constexpr uint64_t kClickEvery = kRate, kClickAt = kRate / 2;
constexpr double kFilterMs = (kTaps - 1) / 2 * 1000.0 / kRate;

struct Latency {
    int32_t buffer_duration;
    double ppm;
    uint32_t phase;    // frames of its first packet the loopback had played at the start
    uint32_t settle_s; // seconds before the latency is measured
};

struct ClickRun {
    Latency c;
    uint64_t renders = 0, frames_out = 0, packets = 0;
    bool stopping = false;
    int64_t click_from = -1, peak_at = 0; // the click being read in the output
    int peak = 0;
    std::vector<double> ms; // each click's path latency, without the filter's delay
    double last_click = -1; // loopback frame of the click found last
    uint64_t lost = 0;      // clicks that never reached the output after the first
};
ClickRun* run = nullptr;

void Clicks(float* out, uint32_t frames, uint32_t channels, uint32_t, uint64_t first, void*)
{
    for (uint32_t i = 0; i < frames * channels; ++i)
        out[i] = (first + i / channels) % kClickEvery == kClickAt ? 0.5f : 0.0f;
}

void OnStream(simulated_devices::StreamEvent::Kind kind, const uint8_t* data, uint32_t frames,
              DWORD, const WaveFormat& format, void*)
{
    ClickRun& r = *run;
    if (kind == simulated_devices::StreamEvent::kCapture || r.stopping)
        return;
    // The peak of each click on channel 0, whatever the resampler made of it.
    const auto* samples = reinterpret_cast<const int16_t*>(data);
    for (uint32_t i = 0; i < frames; ++i) {
        const int64_t at = static_cast<int64_t>(r.frames_out + i);
        const int v = std::abs(samples[size_t{i} * format.channels]);
        if (r.click_from < 0 && v > 2000) {
            r.click_from = at;
            r.peak = 0;
        }
        if (r.click_from >= 0 && v > r.peak) {
            r.peak = v;
            r.peak_at = at;
        }
        if (r.click_from < 0 || at - r.click_from <= kPacket)
            continue;
        // The click is the latest one the loopback played before its peak plays.
        const double rate = kRate * (1 + r.c.ppm * 1e-6);
        const double played = static_cast<double>(r.peak_at) / kRate * rate + r.c.phase;
        const double click = std::floor((played - kClickAt) / kClickEvery) * kClickEvery + kClickAt;
        if (r.last_click >= 0 && click > r.last_click + kClickEvery)
            r.lost += static_cast<uint64_t>((click - r.last_click) / kClickEvery) - 1;
        r.last_click = click;
        r.ms.push_back(1000.0 * (r.peak_at / double{kRate} - (click - r.c.phase) / rate) -
                       kFilterMs);
        r.click_from = -1;
    }
    r.frames_out += frames;
    // Pass p fills the buffer after the one playing from p buffers on.
    const double pass = static_cast<double>(r.renders++) * frames;
    if (pass >= (r.c.settle_s + 20.0) * kRate) {
        r.stopping = true;
        SetEvent(stopEvent);
        return;
    }
    const double played = pass * (1 + r.c.ppm * 1e-6) + r.c.phase;
    uint32_t due = 0;
    for (; (r.packets + due + 1) * kPacket <= played; ++due) {
    }
    r.packets += due;
    if (due > 0)
        simulated_devices::QueueCapturePackets(due, false, kPacket);
    simulated_devices::SignalOutputEvent();
}

class LatencyTest : public CaptureThreadTest, public ::testing::WithParamInterface<Latency> {};

TEST_P(LatencyTest, HoldsFromTheLoopbackToTheOutput)
{
    ClickRun r;
    r.c = GetParam();
    run = &r;
    for (uint32_t band = 0; band < 3; ++band) {
        std::string taps;
        for (uint32_t k = 0; k < kTaps; ++k)
            taps += k == kTaps / 2 ? "1\n" : "0\n";
        std::ofstream(kTapFileNames[band], std::ios::binary) << taps;
    }
    settings_.buffer_duration = r.c.buffer_duration;
    simulated_devices::CaptureConfig capture;
    capture.real_time = false;
    capture.source = Clicks;
    simulated_devices::SetCaptureConfig(capture);
    simulated_devices::SetRecording(false);
    simulated_devices::SetStreamSink(OnStream, nullptr);
    AddStandardEndpoints(PcmFormat(kRate, 6, 16, 16));
    Start();
    ASSERT_TRUE(WaitForSingleObject(thread_, 600000) == WAIT_OBJECT_0 && Join());

    // Every click heard; over the last 20 s at one latency within 1 ms.
    EXPECT_EQ(r.lost, 0u) << "clicks lost: the output dropped out";
    ASSERT_GE(r.ms.size(), r.c.settle_s + 18u);
    const auto last = r.ms.end() - 18;
    const auto [low, high] = std::minmax_element(last, r.ms.end());
    std::printf("latency: -buffer_duration %d at %+.0f ppm, phase %u: %.1f to %.1f ms, the "
                "filter's %.1f ms apart\n",
                r.c.buffer_duration, r.c.ppm, r.c.phase, *low, *high, kFilterMs);
    EXPECT_LT(*high - *low, 1.0);
    // What the read-me advises for video: short buffers keep the sound
    // within what viewers can detect (125 ms, ITU-R BT.1359).
    if (r.c.buffer_duration != 0) {
        EXPECT_LT(*high + kFilterMs, 125.0);
    }
}

INSTANTIATE_TEST_SUITE_P(OneClock, LatencyTest,
                         ::testing::Values(Latency{0, 0, 0, 2}, Latency{0, 0, 120, 2},
                                           Latency{0, 0, 240, 2}, Latency{0, 0, 360, 2},
                                           Latency{10, 0, 0, 2}, Latency{10, 0, 120, 2},
                                           Latency{10, 0, 240, 2}, Latency{10, 0, 360, 2},
                                           Latency{3, 0, 0, 2}, Latency{3, 0, 120, 2},
                                           Latency{3, 0, 240, 2}, Latency{3, 0, 360, 2}));
INSTANTIATE_TEST_SUITE_P(TwoClocks, LatencyTest,
                         ::testing::Values(Latency{0, 200, 0, 300}, Latency{0, -200, 0, 300},
                                           Latency{10, 200, 0, 300}, Latency{10, -200, 0, 300},
                                           Latency{3, 200, 0, 300}, Latency{3, -200, 0, 300}));

} // namespace
