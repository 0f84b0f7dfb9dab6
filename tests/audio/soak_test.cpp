// Hours of audio through the capture thread on the stand-in streams, paced
// by the output buffers themselves instead of by time: each released buffer
// brings the next one's capture packets and sets the buffer event at once.
// The loopback clock runs TRIVANDEL_SOAK_PPM (default 200) ppm fast for the
// first half and as much slow for the second, so the store overflows and
// runs dry; packets jitter around 10 ms, some are flagged silent, the
// loopback stops for a few seconds twice and sends a burst of NaN once; at
// the end the output device goes away mid-stream. Every filtered buffer must
// be what a filter of our own makes of the same packets, every overflow and
// run-dry must come where the drift puts it, memory must not grow and every
// stand-in object must be released. The hotkeys mute a band and bypass the
// divider now and then. TRIVANDEL_SOAK_HOURS (default 6) sets the length.
#include "tests/audio/audio_test_support.h"

#include <psapi.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

#include "audio/stream_format.h"

namespace {

constexpr double kRate = 48000;
constexpr uint32_t kTaps = 15;
constexpr double kAmplitude = 0.5;
constexpr double kGapSeconds = 5;

double Setting(const char* name, double fallback)
{
    const char* value = std::getenv(name);
    return value != nullptr ? std::atof(value) : fallback;
}

struct Event {
    double seconds;
    bool dropped; // the store overflowed; else it ran dry
};

struct Soak {
    double seconds = Setting("TRIVANDEL_SOAK_HOURS", 6) * 3600;
    double ppm = Setting("TRIVANDEL_SOAK_PPM", 200);
    double nan_at = 0.1 * seconds * kRate; // capture frame of the NaN burst
    CFIRFilter reference;
    bool in_reference = false; // its warnings are not the loop's
    uint32_t buffer = 0;       // output frames per pass
    uint64_t passes = 0;       // output buffers released after the pre-fill
    double capture_due = 0;    // loopback frames delivered or lost so far
    uint64_t capture_sent = 0;
    std::mt19937 rng{7};
    std::vector<Event> events;
    uint64_t mismatches = 0, filtered = 0;
    int peak = 0;
    size_t memory_after_first_hour = 0, memory_at_end = 0;
    bool ended_by_device = false;

    double Now() const { return passes * buffer / kRate; }
    bool InGap(double t) const
    {
        return std::fabs(t - 0.25 * seconds) < kGapSeconds / 2 ||
               std::fabs(t - 0.75 * seconds) < kGapSeconds / 2;
    }
};
Soak* soak = nullptr;

size_t PrivateBytes()
{
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    K32GetProcessMemoryInfo(GetCurrentProcess(),
                            reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                            sizeof(counters));
    return counters.PrivateUsage;
}

void Signal(float* out, uint32_t frames, uint32_t channels, uint32_t, uint64_t first, void*)
{
    for (uint32_t i = 0; i < frames; ++i) {
        const double n = static_cast<double>(first + i);
        const bool nan = n >= soak->nan_at && n < soak->nan_at + 64;
        for (uint32_t c = 0; c < channels; ++c)
            out[i * channels + c] =
                nan ? NAN
                    : static_cast<float>(kAmplitude *
                                         std::sin(0.1309 * (c + 1) * std::fmod(n, 1e6)));
    }
}

// The capture packets that come due during the next output buffer: about
// 10 ms each, one in fifty flagged silent, none while the loopback is idle.
void QueueNextPackets()
{
    const double t = soak->Now();
    soak->capture_due += soak->buffer * (1 + (t < soak->seconds / 2 ? 1 : -1) * soak->ppm * 1e-6);
    std::uniform_int_distribution<uint32_t> size(432, 528), silent(0, 49);
    for (uint32_t frames = size(soak->rng); soak->capture_sent + frames <= soak->capture_due;
         frames = size(soak->rng)) {
        soak->capture_sent += frames;
        if (!soak->InGap(t))
            standin::QueueCapturePackets(1, silent(soak->rng) == 0, frames);
    }
}

void OnStream(standin::StreamEvent::Kind kind, const uint8_t* data, uint32_t frames, DWORD flags,
              const WaveFormat& format, void*)
{
    Soak& s = *soak;
    s.in_reference = true;
    if (kind == standin::StreamEvent::kCapture) {
        s.reference.WriteData(frames, (flags & AUDCLNT_BUFFERFLAGS_SILENT) ? nullptr : data);
    } else if (s.buffer == 0) { // the silent pre-fill, before the loop
        s.buffer = frames;
        s.reference.SetOutputFormat(&format);
        WaveFormat mix = FloatFormat(48000, 2);
        s.reference.SetFormat(&mix);
    } else {
        if (flags == 0) {
            s.reference.mute_high = LiveControls.mute_high;
            s.reference.divider_through = LiveControls.divider_through;
            std::vector<uint8_t> expected(static_cast<size_t>(frames) * format.block_align);
            s.reference.ReadData(frames, expected.data());
            s.mismatches += std::memcmp(expected.data(), data, expected.size()) != 0;
            ++s.filtered;
            const auto* samples = reinterpret_cast<const int16_t*>(data);
            for (size_t i = 0; i < expected.size() / 2; ++i)
                s.peak = std::max(s.peak, std::abs(static_cast<int>(samples[i])));
        }
        ++s.passes;
        if (s.memory_after_first_hour == 0 && s.Now() >= 3600)
            s.memory_after_first_hour = PrivateBytes();
    }
    s.in_reference = false;
    if (kind == standin::StreamEvent::kCapture)
        return;
    if (s.Now() < s.seconds) {
        // The hotkeys: the high band muted in the second quarter of every
        // hour, the divider bypassed in the last.
        const int quarter = static_cast<int>(s.Now() / 900) % 4;
        LiveControls.mute_high = quarter == 1;
        LiveControls.divider_through = quarter == 3;
        QueueNextPackets();
    } else if (!s.ended_by_device) {
        s.memory_at_end = PrivateBytes();
        s.ended_by_device = true;
        // The device goes away: the next pass's GetBuffer, after the
        // pre-fill's and one a pass so far, fails.
        standin::FailCall("IAudioRenderClient::GetBuffer", AUDCLNT_E_DEVICE_INVALIDATED,
                          static_cast<int>(s.passes) + 2);
    }
    standin::SignalOutputEvent();
}

void OnConsole(const wchar_t* text)
{
    if (soak->in_reference)
        return;
    const bool dropped = std::wcscmp(text, L"WARNING:Buffer full!\n") == 0;
    if (dropped || std::wcscmp(text, L"WARNING:Buffer empty!\n") == 0)
        soak->events.push_back({soak->Now(), dropped});
    else if (std::wcsncmp(text, L"WARNING:", 8) == 0)
        ADD_FAILURE() << "unexpected warning at " << soak->Now() << " s";
}

class SoakTest : public CaptureThreadTest {};

TEST_F(SoakTest, HoursOfDriftingJitteryCaptureComeOutAsTheEngineMakesThem)
{
    Soak s;
    soak = &s;
    std::string taps[3];
    for (uint32_t k = 0; k < kTaps; ++k) {
        taps[0] += "0.0625\n";                                // a moving average
        taps[1] += k == kTaps / 2 ? "0.5\n" : "0\n";          // half the signal
        taps[2] += k == kTaps / 2 ? "0.9375\n" : "-0.0625\n"; // the rest
    }
    for (uint32_t band = 0; band < 3; ++band)
        std::ofstream(kTapFileNames[band], std::ios::binary) << taps[band];
    ASSERT_TRUE(s.reference.LoadTapFiles());
    s.reference.attenuation = settings_.attenuation;
    s.reference.mono_lfe = 0;
    standin::CaptureConfig capture;
    capture.real_time = false;
    capture.source = Signal;
    standin::SetCaptureConfig(capture);
    standin::SetRecording(false);
    standin::SetStreamSink(OnStream, nullptr);
    AddStandardEndpoints();
    SetConsoleSink(OnConsole);

    const auto began = std::chrono::steady_clock::now();
    Start();
    const bool ended = WaitForSingleObject(thread_, INFINITE) == WAIT_OBJECT_0;
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    SetConsoleSink(nullptr);
    LiveControls.divider_through = 0;
    ASSERT_TRUE(ended && Join());
    EXPECT_EQ(standin::LiveObjects(), std::vector<std::string>());
    EXPECT_TRUE(s.ended_by_device);
    EXPECT_EQ(exit_code_, kOutputLost); // which the supervisor rides out
    EXPECT_EQ(s.mismatches, 0u) << "of " << s.filtered << " filtered buffers";
    // The loudest a band can be: the amplitude times its absolute taps (the
    // high-pass, 1.8125) times 0.8 of full scale. A NaN must not break it.
    EXPECT_LE(s.peak, kAmplitude * 1.8125 * 0.8 * 32767 + 1);
    EXPECT_LT(s.memory_at_end, s.memory_after_first_hour + (1 << 20)) << "memory grew";

    // Between two events of one half, away from the gaps, the store's level
    // moves by the drift alone: from a refill (at least the pre-buffered
    // frames, at most a buffer and two packets more) to an overflow (a
    // packet short of the store) when fast, to less than a buffer when slow.
    const double rate = kRate * s.ppm * 1e-6; // frames a second
    const double prebuffered = static_cast<double>(PrebufferFrames(s.buffer, kTaps));
    const double capacity = kRate, packet = 528;
    const double fast[2] = {(capacity - prebuffered - s.buffer - 2 * packet) / rate,
                            (capacity - prebuffered) / rate + 1};
    const double slow[2] = {(prebuffered - s.buffer - 2 * packet) / rate,
                            (prebuffered + 2 * packet) / rate + 1};
    std::printf("%.1f h of audio at +-%.0f ppm in %.0f s; per hour, overflows and run-dries:\n",
                s.seconds / 3600, s.ppm, wall);
    for (int hour = 0; hour < s.seconds / 3600; ++hour) {
        int counts[2] = {0, 0};
        for (const Event& e : s.events)
            counts[e.dropped] += static_cast<int>(e.seconds / 3600) == hour;
        std::printf("  hour %d: %d overflows, %d run-dries\n", hour + 1, counts[1], counts[0]);
    }
    double last = -1; // the previous event; -1 before the first
    bool last_dropped = false;
    for (const Event& e : s.events) {
        const bool fast_half = e.seconds < s.seconds / 2;
        const bool after_drop = last_dropped && !e.dropped && e.seconds - last < 1;
        if (!s.InGap(e.seconds)) {
            EXPECT_TRUE(fast_half ? e.dropped || after_drop : !e.dropped) << "at " << e.seconds;
        }
        const bool gap_between = (last < 0.25 * s.seconds && 0.25 * s.seconds < e.seconds) ||
                                 (last < 0.75 * s.seconds && 0.75 * s.seconds < e.seconds);
        if (last >= 0 && (last < s.seconds / 2) == fast_half && !after_drop && !gap_between &&
            !s.InGap(last) && !s.InGap(e.seconds)) {
            const double* bounds = fast_half ? fast : slow;
            EXPECT_GE(e.seconds - last, bounds[0]) << "at " << e.seconds << " s";
            EXPECT_LE(e.seconds - last, bounds[1]) << "at " << e.seconds << " s";
        }
        last = e.seconds;
        last_dropped = e.dropped;
    }
}

} // namespace
