// Stream set-up and the one teardown: the lines of a whole run, and every
// call of a whole run failing in turn.
#include <windows.h>

#include <avrt.h>

#include <algorithm>
#include <map>
#include <tuple>

#include "tests/audio/audio_test_support.h"

namespace {

const std::wstring kInitFailed = L"ERROR:Audio device initialization was failed.";
const std::wstring kNoDecision = L"ERROR:Couldn't decide a output device.";
const std::wstring kLoopError = L"ERROR:Error occurred during sound processing loop.";
const std::wstring kFinished = L">Finish the capturing.";

// A whole capture start and its parts, by line: the capture endpoint (0-2),
// the listing of endpoints 0 and 1 (3-11), the output (12-14), its format
// (15-22) and periods (23-24), the capture stream (25-33), the start (34).
Lines Part(size_t from, size_t to)
{
    const Lines& all = CaptureStartLines();
    to = std::min(to, all.size()); // a short file fails every comparison
    return Lines(all.begin() + std::min(from, to), all.begin() + to);
}
const Lines kGolden = Part(0, 35);
const Lines kUpToActivate = Part(0, 15);

// The platform calls that are not made on a COM object count in the run's
// log under their own names, and fail as the failure script's calls do.
std::vector<std::string> seamLog;
std::string seamToFail;
int seamOccurrence = 0;
bool SeamFails(const char* call)
{
    seamLog.emplace_back(call);
    return seamToFail == call && std::count(seamLog.begin(), seamLog.end(), call) == seamOccurrence;
}
void InstallLoggingSeams()
{
    seamLog.clear();
    SetMmThreadRegistrar([](LPCWSTR task, LPDWORD index) -> HANDLE {
        return SeamFails("AvSetMmThreadCharacteristicsW")
                   ? nullptr
                   : AvSetMmThreadCharacteristicsW(task, index);
    });
    SetComInitializer([](LPVOID reserved, DWORD model) -> HRESULT {
        return SeamFails("CoInitializeEx") ? RPC_E_CHANGED_MODE : CoInitializeEx(reserved, model);
    });
    SetDeviceEnumeratorFactory([](IMMDeviceEnumerator** enumerator) {
        return SeamFails("CoCreateInstance") ? REGDB_E_CLASSNOTREG
                                             : simulated_devices::CreateEnumerator(enumerator);
    });
    SetEventCreator([](LPSECURITY_ATTRIBUTES a, BOOL manual, BOOL initial, LPCWSTR name) -> HANDLE {
        return SeamFails("CreateEventW") ? nullptr : CreateEventW(a, manual, initial, name);
    });
}

class CaptureSetupTest : public CaptureThreadTest {
protected:
    // A fresh run on the usual endpoints with `call`'s `occurrence` failing.
    void RunFailing(const std::string& call, int occurrence, HRESULT result = E_FAIL)
    {
        ResetDevices();
        console_.Clear();
        InstallLoggingSeams();
        seamToFail = call;
        seamOccurrence = occurrence;
        simulated_devices::FailCall(call, result, occurrence);
        AddStandardEndpoints();
        RunStopped();
        seamToFail.clear();
    }
};

TEST_F(CaptureSetupTest, AWholeRunPrintsEverySetUpLineAndReleasesEverything)
{
    AddStandardEndpoints();
    RunStopped();
    ExpectEnded(kGolden + Lines{kFinished});
    std::vector<std::tuple<std::wstring, int, DWORD, int64_t, int64_t>> calls;
    for (const auto& c : simulated_devices::Initializations())
        calls.emplace_back(c.endpoint_id, c.share_mode, c.flags, c.duration, c.periodicity);
    EXPECT_EQ(calls, (decltype(calls){{kMultichannelId, AUDCLNT_SHAREMODE_EXCLUSIVE,
                                       AUDCLNT_STREAMFLAGS_EVENTCALLBACK, 990000, 990000},
                                      {kSpeakersId, AUDCLNT_SHAREMODE_SHARED,
                                       AUDCLNT_STREAMFLAGS_LOOPBACK, 1980000, 0}}));
}

// Every call a whole run makes, taken from its log, fails in turn. A failing
// set-up step prints the lines up to it, at most one line of its own (and
// the decision's line when no output is left), then the set-up's last line;
// it ends waiting for an endpoint only when none was found. Set-up lives
// through a failure only in the listing (an endpoint unreadable), leaving
// lines out and adding none; one in the loop ends it with the loop's line.
TEST_F(CaptureSetupTest, EveryFailingCallEndsWithItsLinesAndReleasesEverything)
{
    RunFailing("", 0); // nothing fails
    std::vector<std::string> calls = seamLog;
    const std::vector<std::string> log = simulated_devices::CallLog();
    calls.insert(calls.end(), log.begin(), log.end());
    ASSERT_GT(calls.size(), 40u);
    // The listing's calls: those before the chosen output is activated.
    const size_t listing_end =
        seamLog.size() + (std::find(log.begin(), log.end(), "IMMDevice::Activate") - log.begin());

    std::map<std::string, int> counts;
    for (size_t i = 0; i < calls.size(); ++i) {
        const std::string& call = calls[i];
        const int occurrence = ++counts[call];
        SCOPED_TRACE(call + " #" + std::to_string(occurrence));
        RunFailing(call, occurrence);
        Lines lines = console_.Lines();
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.back(), L">The capture thread has terminated.");
        lines.pop_back();
        EXPECT_EQ(simulated_devices::LiveObjects(), std::vector<std::string>());
        if (std::find(lines.begin(), lines.end(), kGolden.back()) == lines.end()) {
            ASSERT_FALSE(lines.empty());
            EXPECT_EQ(lines.back(), kInitFailed);
            const size_t same =
                std::mismatch(lines.begin(), lines.end() - 1, kGolden.begin(), kGolden.end())
                    .first -
                lines.begin();
            const bool undecided = std::count(lines.begin(), lines.end(), kNoDecision) == 1;
            EXPECT_LE(lines.size() - 1 - same, undecided ? 2u : 1u);
            const bool missing =
                undecided || call == "IMMDeviceEnumerator::GetDefaultAudioEndpoint";
            EXPECT_EQ(exit_code_, missing ? kEndpointMissing : kCaptureEnded);
        } else {
            // Only the listing may lose an endpoint and go on; later, a
            // failure ends set-up or the loop.
            const bool listing = i >= seamLog.size() && i < listing_end;
            EXPECT_EQ(lines.back(), listing ? kFinished : kLoopError);
            // All lines but the last are the whole run's, in order, some left out.
            size_t kept = 0;
            for (auto g = kGolden.begin(); kept + 1 < lines.size(); ++kept, ++g)
                if ((g = std::find(g, kGolden.end(), lines[kept])) == kGolden.end())
                    break;
            EXPECT_EQ(kept + 1, lines.size());
            EXPECT_EQ(exit_code_, kCaptureEnded);
        }
    }
}

// A handful of steps, line for line.
TEST_F(CaptureSetupTest, AFewFailingStepsPrintExactlyTheirLines)
{
    const struct {
        const char* call;
        int occurrence;
        HRESULT result;
        Lines expected; // without the teardown's last line
        DWORD end;
    } steps[] = {
        // No default endpoint, or no output: waited for.
        {"IMMDeviceEnumerator::GetDefaultAudioEndpoint", 1, E_FAIL, Part(0, 1) + Lines{kInitFailed},
         kEndpointMissing},
        {"IMMDeviceCollection::Item", 1, E_FAIL,
         Part(0, 4) + Lines{L"Error!", kNoDecision, kInitFailed}, kEndpointMissing},
        // Endpoint 0 unreadable: listed by number, the run goes on.
        {"IPropertyStore::GetValue", 3, E_FAIL,
         Part(0, 4) + Lines{L"No:0"} + Part(8, 35) + Lines{kFinished}, kCaptureEnded},
        // Another success code is reported, and the format tried anyway.
        {"IAudioClient::IsFormatSupported", 1, S_FALSE,
         Part(0, 23) + Lines{L"ERROR:This format is not supported by endpoint device."} +
             Part(23, 35) + Lines{kFinished},
         kCaptureEnded},
        // A device gone in the loop is waited for; which side tells the line.
        {"IAudioCaptureClient::GetBuffer", 1, AUDCLNT_E_DEVICE_INVALIDATED,
         kGolden + Lines{kLoopError}, kLoopbackLost},
        {"IAudioRenderClient::ReleaseBuffer", 2, AUDCLNT_E_DEVICE_INVALIDATED,
         kGolden + Lines{kLoopError}, kOutputLost},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.call);
        RunFailing(step.call, step.occurrence, step.result);
        ExpectEnded(step.expected, false, step.end);
    }
}

// A failing call on an endpoint that has just gone away is no error of the
// call: the supervisor waits for the endpoint instead of ending.
TEST_F(CaptureSetupTest, AnOutputLostDuringSetUpEndsAsLost)
{
    AddStandardEndpoints();
    // The output goes with the pre-fill, and its Start fails with an error
    // that does not tell the loss.
    simulated_devices::FailCall("IAudioClient::Start", E_FAIL, 2);
    simulated_devices::SetStreamSink(
        [](simulated_devices::StreamEvent::Kind, const uint8_t*, uint32_t, DWORD, const WaveFormat&,
           void*) { simulated_devices::LoseEndpoint(kMultichannelId); },
        nullptr);
    RunStopped();
    ExpectEnded(Part(0, 34) + Lines{kInitFailed}, false, kOutputLost);
}

// Tap files, TRIVANDEL_CONVOLUTION, formats and gains the program cannot
// use end set-up with their own lines, wrong settings before any device is
// touched. The cases run in order: the tap files stay as a case leaves them.
TEST_F(CaptureSetupTest, WhatCannotWorkEndsSetUpWithItsLines)
{
    const Lines kRefused = {L"ERROR:This format is not supported by program.", kInitFailed};
    const struct {
        const char* convolution;
        const char* lpf; // the new FIR_LPF.txt, if any
        const char* hpf; // the new FIR_HPF.txt, if any; "" deletes it
        int32_t output_bit;
        float attenuation;
        bool integer_mix;
        Lines expected;
    } cases[] = {
        {"fft", nullptr, nullptr, 0, 0.8f, false,
         kGolden +
             Lines{L"  Convolution : partitioned FFT (TRIVANDEL_CONVOLUTION=fft)", kFinished}},
        {"fast", nullptr, nullptr, 0, 0.8f, false,
         Lines{L"ERROR:TRIVANDEL_CONVOLUTION must be direct or fft, not \"fast\".", kInitFailed}},
        {"", nullptr, nullptr, 20, 0.8f, false,
         kUpToActivate + Format(6, 48000, 864000, 18, 24, L"PCM", 20) + kRefused},
        {"", nullptr, nullptr, 0, 0.8f, true,
         Part(0, 26) + Format(2, 48000, 192000, 4, 16, L"PCM", 16) + kRefused},
        // Fine at 16 bits, it overflows the 2^31 full scale of 24 bits.
        {"", nullptr, nullptr, 24, 1e30f, false,
         kUpToActivate + Format(6, 48000, 864000, 18, 24, L"PCM", 24) +
             Lines{L"ERROR:The attenuation makes the filter taps infinite or NaN. "
                   L"(-attenuation 1000000015047466219876688855040.000000)",
                   kInitFailed}},
        {"", nullptr, "", 0, 0.8f, false,
         Lines{L"ERROR:failed to open file. FIR_HPF.txt", kInitFailed}},
        {"", "* Impulse Response data saved by REW\n", "0,5\n", 0, 0.8f, false,
         Lines{L"ERROR:No filter tap in FIR_LPF.txt: its first line is not a number: \"* "
               L"Impulse Response data saved by REW\"",
               L"ERROR:Filter tap written with a decimal comma. FIR_HPF.txt line 1; "
               L"trivandel-design -import converts such files.",
               kInitFailed}},
    };
    SetMillisecondClock([]() -> DWORD { return 0; }); // no statistics window closes
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "case " << &c - cases);
        ResetDevices();
        console_.Clear();
        ASSERT_EQ(_putenv_s("TRIVANDEL_CONVOLUTION", c.convolution), 0); // "" removes it
        if (c.lpf != nullptr)
            std::ofstream(kTapFileNames[0], std::ios::binary) << c.lpf;
        if (c.hpf != nullptr && *c.hpf == 0)
            DeleteFileA(kTapFileNames[2]);
        else if (c.hpf != nullptr)
            std::ofstream(kTapFileNames[2], std::ios::binary) << c.hpf;
        settings_.output_bit = c.output_bit;
        settings_.attenuation = c.attenuation;
        AddStandardEndpoints(PcmFormat(48000, 6, 24, 24),
                             c.integer_mix ? PcmFormat(48000, 2, 16, 16) : WaveFormat{});
        RunStopped();
        ExpectEnded(c.expected);
        // A run that prints nothing of the start touches no device.
        EXPECT_EQ(simulated_devices::CallLog().empty(), c.expected[0] != kGolden[0]);
    }
    ASSERT_EQ(_putenv_s("TRIVANDEL_CONVOLUTION", ""), 0);
}

} // namespace
