// Hours of audio through the capture thread on the stand-in streams, paced
// by the output buffers instead of by time: each released buffer brings the
// next one's capture packets and sets the buffer event at once. The loopback
// clock runs TRIVANDEL_SOAK_PPM (default 200) ppm fast, wandering by 10 ppm
// over three hours, and shows every fault a loopback shows; every filtered
// buffer must be what a filter and resampler of our own, on the scalar path,
// make of the same packets. TRIVANDEL_SOAK_HOURS (default 1) and
// TRIVANDEL_SOAK_BUFFER_MS (default 0: the device's) set the run.
#include "tests/audio/audio_test_support.h"

#include <psapi.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

#include "engine/filter/playout.h"
#include "engine/kernels/kernel_dispatch.h"

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

struct Soak {
    double seconds = Setting("TRIVANDEL_SOAK_HOURS", 1) * 3600;
    double ppm = Setting("TRIVANDEL_SOAK_PPM", 200);
    double nan_at = 0.1 * seconds * kRate; // capture frame of the NaN burst
    CPlayout reference;                    // on the scalar path
    bool in_reference = false;             // its warnings are not the loop's
    uint32_t buffer = 0;                   // output frames per pass
    uint64_t passes = 0;                   // output buffers released after the pre-fill
    double capture_due = 0;                // loopback frames delivered or lost so far
    uint64_t capture_sent = 0;
    std::mt19937 rng{7};
    uint64_t glitches = 0; // an overflow, a run-dry outside the stops, a short store
    // The latency (frames held, in the resampler and not yet delivered), its
    // mean over the first minute after lock at the set point.
    double latency_ref = 0, latency_sum = 0, latency_min = 1e9, latency_max = -1e9, lock_at = -1;
    uint64_t latency_passes = 0;
    uint32_t set_point = 0;
    std::vector<double> ratio_errors; // the last minute's, one a pass
    double ratio_error_sum = 0;
    uint64_t copying_passes = 0, clock_events = 0;
    uint64_t mismatches = 0, filtered = 0;
    int peak = 0;
    size_t memory_after_first_quarter = 0, memory_at_end = 0;
    bool ended_by_device = false;

    double Now() const { return passes * buffer / kRate; }
    double Ppm(double t) const
    {
        return ppm == 0 ? 0 : ppm + 10 * std::sin(2 * 3.14159265358979 * t / 10800);
    }
    bool Late() const { return passes % 3000 == 1500; } // every five minutes
    bool Lost(double t) const { return std::fabs(t - 0.4 * seconds) < 0.05; }
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
// 10 ms each, one in fifty flagged silent, none while the loopback is idle,
// held back while they are late, 2400 frames lost once.
void QueueNextPackets()
{
    Soak& s = *soak;
    const double t = s.Now();
    s.capture_due += s.buffer * (1 + s.Ppm(t) * 1e-6);
    // A late pass misses its last 30 ms of packets; the next brings them.
    const double due = s.Late() ? s.capture_due - 0.3 * s.buffer : s.capture_due;
    std::uniform_int_distribution<uint32_t> size(432, 528), silent(0, 49);
    uint32_t lost = 0;
    if (s.Lost(t) && s.capture_sent + 2400 <= due) {
        lost = 2400;
        s.capture_sent += lost;
    }
    for (uint32_t frames = size(s.rng); s.capture_sent + frames <= due; frames = size(s.rng)) {
        s.capture_sent += frames;
        if (!s.InGap(t))
            simulated_devices::QueueCapturePackets(1, silent(s.rng) == 0, frames, lost);
        lost = 0;
    }
}

// After the reference's pass, as the loop's own controller sees it: `level`
// the frames held after the drain.
void Measure(bool playing, double level)
{
    Soak& s = *soak;
    const CDriftController& c = s.reference.Bridge().Controller();
    const double t = s.Now();
    const double latency =
        level + s.reference.Bridge().HeldFrames() + (s.capture_due - s.capture_sent);
    s.copying_passes += c.Mode() == kDriftCopy;
    // The stops empty the store; the first seconds after one refill it.
    if (!playing || s.InGap(t) || s.InGap(t - 1))
        return;
    if (level < s.buffer + kTaps - 1) {
        ++s.glitches;
        ADD_FAILURE() << level << " frames held at " << t << " s";
    }
    // The controller holds a second's measure of the level, not one pass's:
    // the latency that goes with a set point is its mean over a minute once
    // locked. After a stop or a loss the level walks back to the same set
    // point, and so must the latency.
    const bool settled = c.Settled();
    if (settled && c.SetPoint() != s.set_point) {
        s.set_point = c.SetPoint();
        s.latency_passes = 0;
        s.latency_sum = 0;
    }
    const double error = c.Ppm() - s.Ppm(t);
    s.ratio_errors.push_back(error);
    s.ratio_error_sum += error;
    const size_t minute = static_cast<size_t>(60 * kRate / s.buffer);
    if (s.ratio_errors.size() > minute) {
        s.ratio_error_sum -= s.ratio_errors[s.ratio_errors.size() - minute - 1];
        if (s.lock_at < 0 && std::fabs(s.ratio_error_sum / minute) < 5)
            s.lock_at = t;
    }
    if (s.lock_at < 0 || !settled)
        return;
    if (s.latency_passes < minute) {
        s.latency_sum += latency;
        if (++s.latency_passes == minute)
            s.latency_ref = s.latency_sum / minute;
    } else {
        s.latency_min = std::min(s.latency_min, latency - s.latency_ref);
        s.latency_max = std::max(s.latency_max, latency - s.latency_ref);
    }
}

void OnStream(simulated_devices::StreamEvent::Kind kind, const uint8_t* data, uint32_t frames,
              DWORD flags, const WaveFormat& format, void*)
{
    Soak& s = *soak;
    s.in_reference = true;
    if (kind == simulated_devices::StreamEvent::kCapture) {
        s.reference.WritePacket(frames, (flags & AUDCLNT_BUFFERFLAGS_SILENT) ? nullptr : data,
                                (flags & AUDCLNT_BUFFERFLAGS_DATA_DISCONTINUITY) != 0);
    } else if (s.buffer == 0) { // the silent pre-fill, before the loop
        s.buffer = frames;
        WaveFormat mix = FloatFormat(48000, 2);
        s.reference.Start(&mix, &format, frames);
        s.reference.Bridge().UsePath(kPathReference);
    } else {
        BandControls controls = {};
        controls.mute_high = LiveControls.mute_high;
        controls.divider_through = LiveControls.divider_through;
        std::vector<uint8_t> expected(static_cast<size_t>(frames) * format.block_align);
        const double level = s.reference.Held();
        const bool filtered = s.reference.Play(controls, expected.data()).filtered;
        Measure(filtered, level);
        // Silent buffers reach us as zeros, so one compare holds both.
        if (!filtered)
            std::fill(expected.begin(), expected.end(), uint8_t{0});
        s.mismatches +=
            filtered != (flags == 0) || std::memcmp(expected.data(), data, expected.size()) != 0;
        if (filtered) {
            ++s.filtered;
            const auto* samples = reinterpret_cast<const int16_t*>(data);
            for (size_t i = 0; i < expected.size() / 2; ++i)
                s.peak = std::max(s.peak, std::abs(static_cast<int>(samples[i])));
        }
        ++s.passes;
        if (s.memory_after_first_quarter == 0 && s.Now() >= s.seconds / 4)
            s.memory_after_first_quarter = PrivateBytes();
    }
    s.in_reference = false;
    if (kind == simulated_devices::StreamEvent::kCapture)
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
        simulated_devices::FailCall("IAudioRenderClient::GetBuffer", AUDCLNT_E_DEVICE_INVALIDATED,
                                    static_cast<int>(s.passes) + 2);
    }
    simulated_devices::SignalOutputEvent();
}

void OnConsole(const wchar_t* text)
{
    if (soak->in_reference)
        return;
    const double t = soak->Now();
    const bool dropped = std::wcscmp(text, L"WARNING:Buffer full!\n") == 0;
    if (dropped || std::wcscmp(text, L"WARNING:Buffer empty!\n") == 0) {
        const bool glitch = dropped || !(soak->InGap(t) || soak->InGap(t - 1));
        soak->glitches += glitch;
        EXPECT_FALSE(glitch) << (dropped ? "overflow" : "run-dry") << " at " << t;
    } else if (std::wcsncmp(text, L"WARNING:", 8) == 0)
        ADD_FAILURE() << "unexpected warning at " << t << " s";
    soak->clock_events +=
        std::wcscmp(text, L">The clocks differ: following the output device's clock.\n") == 0;
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
    ASSERT_TRUE(s.reference.Filter().LoadTapFiles());
    s.reference.SetOptions(settings_.attenuation, 0);
    simulated_devices::CaptureConfig capture;
    capture.real_time = false;
    capture.source = Signal;
    simulated_devices::SetCaptureConfig(capture);
    simulated_devices::SetRecording(false);
    simulated_devices::SetStreamSink(OnStream, nullptr);
    AddStandardEndpoints(PcmFormat(48000, 6, 16, 16));
    settings_.buffer_duration = static_cast<int32_t>(Setting("TRIVANDEL_SOAK_BUFFER_MS", 0));
    SetConsoleSink(OnConsole);

    const auto began = std::chrono::steady_clock::now();
    Start();
    const bool ended = WaitForSingleObject(thread_, INFINITE) == WAIT_OBJECT_0;
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    SetConsoleSink(nullptr);
    LiveControls.divider_through = 0;
    ASSERT_TRUE(ended && Join());
    EXPECT_EQ(simulated_devices::LiveObjects(), std::vector<std::string>());
    EXPECT_TRUE(s.ended_by_device);
    EXPECT_EQ(exit_code_, kOutputLost); // which the supervisor rides out
    EXPECT_EQ(s.mismatches, 0u) << "of " << s.filtered << " filtered buffers";
    // The loudest a band can be: the amplitude times its absolute taps (the
    // high-pass, 1.8125) times 0.8 of full scale. A NaN must not break it.
    EXPECT_LE(s.peak, kAmplitude * 1.8125 * 0.8 * 32767 + 1);
    EXPECT_LT(s.memory_at_end, s.memory_after_first_quarter + (1 << 20)) << "memory grew";
    std::printf("%.0f s of wall time\n", wall);
    std::printf("soak: %g h at %g ppm, buffers of %u frames: %llu glitches, latency min %.0f "
                "max %.0f frames from the set point, lock after %.0f s\n",
                s.seconds / 3600, s.ppm, static_cast<unsigned>(s.buffer),
                static_cast<unsigned long long>(s.glitches), s.latency_min, s.latency_max,
                s.lock_at);
    EXPECT_EQ(s.glitches, 0u);
    EXPECT_EQ(s.clock_events, s.ppm == 0 ? 0u : 1u);
    if (s.ppm == 0) {
        EXPECT_EQ(s.copying_passes, s.passes) << "the resampler left the copy";
    } else {
        EXPECT_GE(s.lock_at, 0);
        EXPECT_LE(s.lock_at, 900);
        EXPECT_GE(s.latency_min, -50);
        EXPECT_LE(s.latency_max, 50);
    }
}

} // namespace
