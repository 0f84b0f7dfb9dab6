// The processing loop on stand-in streams, paced by hand: pre-buffering,
// filtered output identical to the engine's, refill after the store runs
// dry, the stop and time-out exits, and the per-second statistics.
#include <atomic>
#include <cmath>
#include <mutex>

#include "audio_test_support.h"
#include "fake_audio.h"
#include "fir_filter.h"
#include "platform_calls.h"
#include "processing_loop.h"
#include "shared_state.h"

namespace {

constexpr DWORD kSilent = AUDCLNT_BUFFERFLAGS_SILENT;

void Tones(float* out, uint32_t frames, uint32_t channels, uint32_t rate, uint64_t first_frame,
           void*)
{
    for (uint32_t i = 0; i < frames; ++i) {
        double t = static_cast<double>(first_frame + i) / rate;
        for (uint32_t c = 0; c < channels; ++c) {
            out[i * channels + c] =
                static_cast<float>(0.4 * std::sin(2 * 3.14159265 * (200.0 + 900.0 * c) * t) +
                                   0.1 * std::sin(2 * 3.14159265 * 7000.0 * t));
        }
    }
}

std::atomic<DWORD> clockNow;
DWORD clockStep = 0;
DWORD SteppedClock()
{
    return clockNow.fetch_add(clockStep);
}

std::mutex debugMutex;
std::vector<std::wstring> debugLines;
void CollectDebugOutput(LPCWSTR text)
{
    std::lock_guard<std::mutex> lock(debugMutex);
    debugLines.emplace_back(text);
}

HANDLE CreateSignalledEvent(LPSECURITY_ATTRIBUTES attributes, BOOL manual_reset, BOOL, LPCWSTR name)
{
    return CreateEventW(attributes, manual_reset, TRUE, name);
}

class ProcessingLoopTest : public CaptureThreadTest {
protected:
    void SetUp() override
    {
        CaptureThreadTest::SetUp();
        AddStandardEndpoints();
        fake_audio::CaptureConfig capture;
        capture.real_time = false;
        capture.packet_frames = 240;
        capture.source = Tones;
        fake_audio::SetCaptureConfig(capture);
        settings_.buffer_duration = 10; // 480 output frames at 48 kHz
        std::lock_guard<std::mutex> lock(debugMutex);
        debugLines.clear();
    }
    // Lets one pass run with `packets` capture packets waiting.
    void Pass(uint32_t packets, bool silent = false)
    {
        fake_audio::QueueCapturePackets(packets, silent);
        size_t rendered = fake_audio::RenderedCount();
        fake_audio::SignalOutputEvent();
        ASSERT_TRUE(fake_audio::WaitForRendered(rendered + 1, 5000));
    }
    std::vector<DWORD> RenderFlags()
    {
        std::vector<DWORD> flags;
        for (const auto& event : fake_audio::StreamLog()) {
            if (event.kind == fake_audio::StreamEvent::kRender)
                flags.push_back(event.flags);
        }
        return flags;
    }
    Lines Tail(size_t count)
    {
        Lines lines = console_.Get();
        if (lines.size() < count)
            return lines;
        return Lines(lines.end() - count, lines.end());
    }
};

TEST_F(ProcessingLoopTest, PlaysSilenceUntilTwoBuffersAreHeldThenTheEnginesOutput)
{
    LiveControls.mute_high = 1; // set while pre-buffering: applies from the first filtered buffer
    Start(settings_);
    ASSERT_TRUE(fake_audio::WaitForRendered(1, 5000)); // the pre-fill
    Pass(2);                                           // 480 held: silent
    fake_audio::QueueCapturePackets(1);
    Pass(1, true);       // 960 held, one packet flagged silent: filtered
    Pass(0);             // 480 held: filtered, store empty afterwards
    Pass(2);             // pre-buffering again: 480 held, silent
    Pass(2);             // 960: filtered
    SetEvent(stopEvent); // the last pass: 480 held, filtered
    ASSERT_TRUE(Join());

    EXPECT_EQ(RenderFlags(), (std::vector<DWORD>{kSilent, kSilent, 0, 0, kSilent, 0, 0}));
    EXPECT_EQ(Tail(2), (Lines{L">Finish the capturing.", L">The capture thread has terminated."}));
    EXPECT_EQ(exit_code_, 0u);
    EXPECT_EQ(fake_audio::LiveObjects(), 0);

    // The same packets through a filter of our own, read at the same points.
    CFIRFilter reference;
    for (uint32_t band = 0; band < 3; ++band)
        ASSERT_TRUE(reference.LoadTaps(kTapFileNames[band], band));
    reference.attenuation = settings_.attenuation;
    reference.mono_lfe = settings_.mono_lfe;
    WaveFormat output = fake_audio::Initializations().at(0).format;
    WidenWaveFormat(&output, &reference.output_format);
    reference.sample_kind = kSampleKindPcm16;
    WaveFormat mix = fake_audio::FloatFormat(48000, 2);
    ASSERT_TRUE(reference.SetFormat(&mix));
    reference.mute_high = 1;
    int filtered = 0;
    bool audible = false;
    for (const auto& event : fake_audio::StreamLog()) {
        if (event.kind == fake_audio::StreamEvent::kCapture) {
            reference.WriteData(event.frames,
                                (event.flags & kSilent) ? nullptr : event.data.data());
        } else if (event.flags == 0) {
            std::vector<uint8_t> expected(event.data.size());
            reference.ReadData(event.frames, expected.data());
            EXPECT_EQ(event.data, expected) << "filtered buffer " << filtered;
            ++filtered;
            for (size_t frame = 0; frame < event.frames; ++frame) {
                const auto* samples =
                    reinterpret_cast<const int16_t*>(event.data.data() + frame * 12);
                EXPECT_EQ(samples[4], 0);
                EXPECT_EQ(samples[5], 0);
                audible = audible || samples[0] != 0 || samples[2] != 0;
            }
        }
    }
    EXPECT_EQ(filtered, 4);
    EXPECT_TRUE(audible);
}

TEST_F(ProcessingLoopTest, AnOutputEventWithTheStopRunsOneNormalPassFirst)
{
    SetEventCreator(
        CreateSignalledEvent); // output event and stopEvent both set before the first wait
    fake_audio::QueueCapturePackets(4);
    RunStopped(settings_);
    // The pre-fill, the pass the output event started, the pass the stop started.
    EXPECT_EQ(RenderFlags(), (std::vector<DWORD>{kSilent, 0, 0}));
    EXPECT_EQ(Tail(2), (Lines{L">Finish the capturing.", L">The capture thread has terminated."}));
}

TEST_F(ProcessingLoopTest, ADeviceThatStopsSignallingEndsTheLoopAfterTwoSeconds)
{
    Start(settings_);
    ASSERT_TRUE(Join(10000));
    EXPECT_EQ(Tail(3), (Lines{L"ERROR:The output buffer event was timeout.",
                              L"ERROR:Error occurred during sound processing loop.",
                              L">The capture thread has terminated."}));
    std::vector<std::string> log = fake_audio::CallLog();
    EXPECT_EQ(std::count(log.begin(), log.end(), "IAudioClient::Stop"), 2);
    EXPECT_EQ(exit_code_, 0u);
    EXPECT_EQ(fake_audio::LiveObjects(), 0);
}

TEST_F(ProcessingLoopTest, VerboseStatisticsOfAOnePassWindow)
{
    clockNow = 5000;
    clockStep = 1500; // the loop starts at 5000, its first pass ends at 6500
    SetMillisecondClock(SteppedClock);
    SetDebugOutput(CollectDebugOutput);
    settings_.verbose = 1;
    fake_audio::QueueCapturePackets(1);
    RunStopped(settings_);
    EXPECT_EQ(
        Tail(7),
        (Lines{L">Start the captureing.", L"  Capture Buffer Length : 20.000[msec] 960[frame]",
               L"  Output Buffer Length : 10.000[msec] 480[frame]",
               L"Loop count=1. Ave=1500.000[ms] Min=1000[ms] Max=1500[ms] PerLoop. Buffering "
               L"frames=240.",
               L"1500 ", L">Finish the capturing.", L">The capture thread has terminated."}));
    std::lock_guard<std::mutex> lock(debugMutex);
    EXPECT_EQ(debugLines,
              (std::vector<std::wstring>{L"Loop count=1. Ave=1500.000[ms] Min=1000[ms] "
                                         L"Max=1500[ms] PerLoop. Buffering frames=240.\n",
                                         L"1500 \n"}));
}

TEST_F(ProcessingLoopTest, AWindowOfManyPassesKeepsTheListWithinItsBuffers)
{
    clockNow = 0;
    clockStep = 4; // 250 passes of 4 ms close the window
    SetMillisecondClock(SteppedClock);
    SetDebugOutput(CollectDebugOutput);
    settings_.verbose = 1;
    Start(settings_);
    ASSERT_TRUE(fake_audio::WaitForRendered(1, 5000));
    for (int i = 0; i < 250; ++i)
        Pass(0);
    SetEvent(stopEvent);
    ASSERT_TRUE(Join());

    // 200 durations are kept; the line holds the entries that fit whole
    // beside the closing "\n" and the zero in 256 units: 127 of "4 ".
    std::wstring list;
    for (int i = 0; i < 127; ++i)
        list += L"4 ";
    EXPECT_EQ(
        Tail(4),
        (Lines{L"Loop count=250. Ave=4.000[ms] Min=4[ms] Max=4[ms] PerLoop. Buffering frames=0.",
               list, L">Finish the capturing.", L">The capture thread has terminated."}));
    for (int i = 0; i < kLoopDurationEntries; ++i)
        EXPECT_EQ(loopDurations[i], 4) << i;
    std::lock_guard<std::mutex> lock(debugMutex);
    ASSERT_EQ(debugLines.size(), 2u);
    EXPECT_EQ(debugLines[1], list + L"\n");
}

TEST_F(ProcessingLoopTest, WithoutVerboseNothingIsPrintedOnceASecond)
{
    clockNow = 0;
    clockStep = 600;
    SetMillisecondClock(SteppedClock);
    SetDebugOutput(CollectDebugOutput);
    Start(settings_);
    ASSERT_TRUE(fake_audio::WaitForRendered(1, 5000));
    for (int i = 0; i < 4; ++i)
        Pass(0);
    SetEvent(stopEvent);
    ASSERT_TRUE(Join());
    EXPECT_EQ(Tail(3), (Lines{L">Start the captureing.", L">Finish the capturing.",
                              L">The capture thread has terminated."}));
    std::lock_guard<std::mutex> lock(debugMutex);
    EXPECT_TRUE(debugLines.empty());
}

} // namespace
