// The processing loop on stand-in streams, paced by hand: pre-buffering
// until whole windows are held, the stop and time-out exits, and the
// once-a-second statistics. (tests/audio/soak_test.cpp runs it for hours.)
#include <atomic>
#include <cmath>
#include <fstream>
#include <iterator>

#include "engine/filter/capture_buffer.h"
#include "tests/audio/audio_test_support.h"

namespace {

constexpr DWORD kSilent = AUDCLNT_BUFFERFLAGS_SILENT;
const Lines kFinished = {L">Finish the capturing."};

void Tones(float* out, uint32_t frames, uint32_t channels, uint32_t, uint64_t first, void*)
{
    for (uint32_t i = 0; i < frames * channels; ++i)
        out[i] =
            static_cast<float>(0.4 * std::sin(0.03 * (1 + i % channels) * (first + i / channels)));
}

// A clock that advances by `clockStep` ms at every reading.
std::atomic<DWORD> clockNow;
DWORD clockStep = 0;
std::mutex debugMutex;
std::vector<std::wstring> debugLines;

class ProcessingLoopTest : public CaptureThreadTest {
protected:
    void SetUp() override
    {
        CaptureThreadTest::SetUp();
        AddStandardEndpoints();
        simulated_devices::CaptureConfig capture;
        capture.real_time = false;
        capture.packet_frames = 240;
        capture.source = Tones;
        simulated_devices::SetCaptureConfig(capture);
        settings_.buffer_duration = 10; // 480 output frames at 48 kHz
        debugLines.clear();
    }
    void SteppedClock(DWORD start, DWORD step, bool verbose)
    {
        clockNow = start;
        clockStep = step;
        SetMillisecondClock([] { return clockNow.fetch_add(clockStep); });
        SetDebugOutput([](LPCWSTR text) {
            std::lock_guard<std::mutex> lock(debugMutex);
            debugLines.emplace_back(text);
        });
        settings_.verbose = verbose;
    }
    void Pass(uint32_t packets)
    {
        simulated_devices::QueueCapturePackets(packets);
        size_t rendered = simulated_devices::RenderedCount();
        simulated_devices::SignalOutputEvent();
        ASSERT_TRUE(simulated_devices::WaitForRendered(rendered + 1, 5000));
    }
    // Starts the thread, waits for the pre-fill, runs `passes` empty passes
    // and then the last one the stop brings.
    void RunPasses(int passes)
    {
        Start();
        ASSERT_TRUE(simulated_devices::WaitForRendered(1, 5000));
        for (int i = 0; i < passes; ++i)
            Pass(0);
        SetEvent(stopEvent);
        ASSERT_TRUE(Join());
    }
    static std::vector<DWORD> RenderFlags()
    {
        std::vector<DWORD> flags;
        for (const auto& event : simulated_devices::StreamLog())
            if (event.kind == simulated_devices::StreamEvent::kRender)
                flags.push_back(event.flags);
        return flags;
    }
};

// A filter longer than an output buffer: once the store has filled, every
// window of every buffer is complete, as if the whole stream were stored.
// The example crossover (0 taps here) and filters of our own; 60000 taps
// need a store longer than a second.
struct LongFilter {
    uint32_t taps;
    int32_t buffer_duration;
};
class LongFilterTest : public ProcessingLoopTest,
                       public ::testing::WithParamInterface<LongFilter> {};

TEST_P(LongFilterTest, HearsWholeWindowsOnceTheStoreHasFilled)
{
    settings_.buffer_duration = GetParam().buffer_duration;
    for (uint32_t band = 0; band < 3; ++band) {
        std::string taps;
        if (GetParam().taps == 0) {
            std::ifstream in(std::string(TRIVANDEL_TAPS_DIR) + "/" + kTapFileNames[band]);
            taps.assign(std::istreambuf_iterator<char>(in), {});
        }
        for (uint32_t k = 0; k < GetParam().taps; ++k)
            taps += std::to_string(((k * 7919 + band) % 200) / 20000.0 - 0.005) + "\n";
        std::ofstream(kTapFileNames[band], std::ios::binary) << taps;
    }
    Start();
    ASSERT_TRUE(simulated_devices::WaitForRendered(1, 5000));
    int passes = 0;
    for (std::vector<DWORD> flags; std::count(flags.begin(), flags.end(), 0u) < 3 && passes < 200;
         flags = RenderFlags(), ++passes)
        Pass(settings_.buffer_duration ? 2 : 20); // at least a buffer's worth a pass
    SetEvent(stopEvent);
    ASSERT_TRUE(Join());

    // A filter of our own holding every packet before its first read.
    CFIRFilter reference;
    ASSERT_TRUE(reference.LoadTapFiles());
    reference.SetOutputFormat(&simulated_devices::Initializations().at(0).format);
    reference.mono_lfe = settings_.mono_lfe;
    reference.buffer_msec = 20000;
    WaveFormat mix = FloatFormat(48000, 2);
    ASSERT_TRUE(reference.SetFormat(&mix));
    const std::vector<simulated_devices::StreamEvent> log = simulated_devices::StreamLog();
    for (const auto& event : log)
        if (event.kind == simulated_devices::StreamEvent::kCapture)
            reference.WriteData(event.frames, event.data.data());
    int filtered = 0;
    for (const auto& event : log) {
        if (event.kind == simulated_devices::StreamEvent::kRender && event.flags == 0) {
            std::vector<uint8_t> expected(event.data.size());
            reference.ReadData(event.frames, expected.data());
            EXPECT_TRUE(event.data == expected) << "filtered buffer " << filtered;
            ++filtered;
        }
    }
    EXPECT_EQ(filtered, 4); // three, and the one of the pass that saw the stop
}

INSTANTIATE_TEST_SUITE_P(Lengths, LongFilterTest,
                         ::testing::Values(LongFilter{0, 10}, LongFilter{16383, 0},
                                           LongFilter{60000, 10}));

TEST_F(ProcessingLoopTest, AnOutputEventWithTheStopRunsOneNormalPassFirst)
{
    // The output event and stopEvent are both set before the first wait.
    SetEventCreator([](LPSECURITY_ATTRIBUTES attributes, BOOL manual_reset, BOOL, LPCWSTR name) {
        return CreateEventW(attributes, manual_reset, TRUE, name);
    });
    // Packets of 240 frames enough to end pre-buffering for the 5-tap filter.
    simulated_devices::QueueCapturePackets(static_cast<uint32_t>(PrebufferFrames(480, 5) + 239) /
                                           240);
    RunStopped();
    // The pre-fill, the pass the output event started, the pass the stop started.
    EXPECT_EQ(RenderFlags(), (std::vector<DWORD>{kSilent, 0, 0}));
    ExpectEnded(kFinished, true);
}

TEST_F(ProcessingLoopTest, ADeviceThatStopsSignallingEndsTheLoopAfterTwoSeconds)
{
    Start();
    ASSERT_TRUE(Join());
    ExpectEnded({L"ERROR:The output buffer event was timeout.",
                 L"ERROR:Error occurred during sound processing loop."},
                true, kOutputStalled);
    std::vector<std::string> log = simulated_devices::CallLog();
    EXPECT_EQ(std::count(log.begin(), log.end(), "IAudioClient::Stop"), 2);
}

TEST_F(ProcessingLoopTest, VerboseStatisticsOfAOnePassWindow)
{
    SteppedClock(5000, 1500, true); // the loop starts at 5000, its first pass ends at 6500
    RunStopped();
    const std::wstring stats =
        L"Loop count=1. Ave=1500.000[ms] Min=1000[ms] Max=1500[ms] PerLoop. Buffering frames=240.";
    ExpectEnded({L">Start the captureing.", L"  Capture Buffer Length : 20.000[msec] 960[frame]",
                 L"  Output Buffer Length : 10.000[msec] 480[frame]", stats, L"1500 ",
                 L">Finish the capturing."},
                true);
    EXPECT_EQ(debugLines, (std::vector<std::wstring>{stats + L"\n", L"1500 \n"}));
}

TEST_F(ProcessingLoopTest, AWindowOfManyPassesKeepsTheListWithinItsBuffers)
{
    SteppedClock(0, 4, true); // 250 passes of 4 ms close the window
    RunPasses(249);
    // 200 durations are kept; the line holds the entries that fit whole
    // beside the closing "\n" and the zero in 256 units: 127 of "4 ".
    std::wstring list;
    for (int i = 0; i < 127; ++i)
        list += L"4 ";
    ExpectEnded({L"Loop count=250. Ave=4.000[ms] Min=4[ms] Max=4[ms] PerLoop. Buffering frames=0.",
                 list, L">Finish the capturing."},
                true);
    ASSERT_EQ(debugLines.size(), 2u);
    EXPECT_EQ(debugLines[1], list + L"\n");
}

TEST_F(ProcessingLoopTest, WithoutVerboseNothingIsPrintedOnceASecond)
{
    SteppedClock(0, 600, false);
    RunPasses(4);
    ExpectEnded({L">Start the captureing.", L">Finish the capturing."}, true);
    EXPECT_TRUE(debugLines.empty());
}

} // namespace
