// Stream set-up and the one teardown: the lines of a whole run, and every
// call the thread makes failing in turn.
#include <algorithm>
#include <map>
#include <set>
#include <sstream>
#include <tuple>

#include "tests/audio/audio_test_support.h"

namespace {

const Lines kInitFailed = {L"ERROR:Audio device initialization was failed."};
const Lines kNoDecision = Lines{L"ERROR:Couldn't decide a output device."} + kInitFailed;
const Lines kUnsupported = {L"ERROR:This format is not supported by endpoint device."};
const Lines kFinished = {L">Finish the capturing."};

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
const Lines kCaptureHeader = Part(0, 1);
const Lines kUpToEnumerate = Part(0, 4);
const Lines kListed0 = Part(4, 8);
const Lines kListed1 = Part(8, 12);
const Lines kListed = Part(0, 12);
const Lines kCreateOutput = Part(12, 13);
const Lines kUpToActivate = Part(0, 15);
const Lines kOutputFormat = Part(15, 23);
const Lines kPeriods = Part(23, 25);
const Lines kCreateCapture = Part(25, 26);
const Lines kUpToCapture = Part(0, 26);
const Lines kMixFormat = Part(26, 34);
const Lines kStarted = Part(34, 35);

// The calls that are not made on a COM object go through the seams.
const char* const kRegistrar = "AvSetMmThreadCharacteristicsW";
const char* const kComInit = "CoInitializeEx";
const char* const kFactory = "CoCreateInstance";
const char* const kEventCreator = "CreateEventW";

struct FailureRow {
    std::string call;
    int occurrence;
    HRESULT result;
    Lines expected; // without the teardown's last line
    DWORD end;
};

void PrintTo(const FailureRow& row, std::ostream* out)
{
    *out << row.call << " #" << row.occurrence << " -> " << std::hex << row.result;
}

const std::vector<FailureRow> kFailureRows = [] {
    std::vector<FailureRow> rows;
    // Calls "Interface::Method#occurrence", the first without "#1".
    auto add = [&rows](const Lines& expected, const char* calls, HRESULT result = E_FAIL,
                       DWORD end = kCaptureEnded) {
        std::istringstream in(calls);
        for (std::string call; in >> call;) {
            size_t hash = call.find('#');
            int occurrence = hash == std::string::npos ? 1 : std::stoi(call.substr(hash + 1));
            rows.push_back({call.substr(0, hash), occurrence, result, expected, end});
        }
    };
    add(kInitFailed, "AvSetMmThreadCharacteristicsW CoInitializeEx CoCreateInstance");
    // The capture endpoint and its GetDeviceInfo; a missing endpoint (or
    // output choice, below) is waited for, unlike a failing call.
    add(kCaptureHeader + kInitFailed, "IMMDeviceEnumerator::GetDefaultAudioEndpoint", E_FAIL,
        kEndpointMissing);
    add(kCaptureHeader + kInitFailed,
        "IMMDevice::GetId IMMDevice::OpenPropertyStore IPropertyStore::GetValue "
        "IPropertyStore::GetValue#2");
    add(kCaptureHeader + kInitFailed, "IPropertyStore::GetValue#2", S_FALSE);
    // The listing.
    add(kUpToEnumerate + Lines{L"Error!"} + kNoDecision,
        "IMMDeviceEnumerator::EnumAudioEndpoints IMMDeviceCollection::GetCount "
        "IMMDeviceCollection::Item",
        E_FAIL, kEndpointMissing);
    add(kUpToEnumerate + kListed0 + Lines{L"Error!"} + kNoDecision, "IMMDeviceCollection::Item#2",
        E_FAIL, kEndpointMissing);
    // Endpoint 0 unreadable: listed by number, the run goes on.
    add(kUpToEnumerate + Lines{L"No:0"} + kListed1 +
            Lines(kGolden.begin() + kListed.size(), kGolden.end()) + kFinished,
        "IMMDevice::GetId#2 IMMDevice::OpenPropertyStore#2 IPropertyStore::GetValue#3 "
        "IPropertyStore::GetValue#4");
    // The capture id beside endpoint 0, which is no candidate anyway.
    add(kGolden + kFinished, "IMMDevice::GetId#3");
    // Endpoint 1, the only candidate, unreadable or not comparable.
    add(kUpToEnumerate + kListed0 + Lines{L"No:1"} + kNoDecision,
        "IMMDevice::GetId#4 IMMDevice::OpenPropertyStore#3 IPropertyStore::GetValue#5 "
        "IPropertyStore::GetValue#6",
        E_FAIL, kEndpointMissing);
    add(kListed + kNoDecision, "IMMDevice::GetId#5 IMMDevice::GetState", E_FAIL, kEndpointMissing);
    // The output endpoint's GetDeviceInfo, then its stream.
    add(kListed + kCreateOutput + kInitFailed,
        "IMMDevice::GetId#6 IMMDevice::OpenPropertyStore#4 IPropertyStore::GetValue#7 "
        "IPropertyStore::GetValue#8");
    add(kUpToActivate + kInitFailed, "IMMDevice::Activate");
    add(kUpToActivate + kOutputFormat + kUnsupported + kInitFailed,
        "IAudioClient::IsFormatSupported");
    // Another success code is reported, and the format tried anyway.
    add(kUpToActivate + kOutputFormat + kUnsupported + kPeriods + kCreateCapture + kMixFormat +
            kStarted + kFinished,
        "IAudioClient::IsFormatSupported", S_FALSE);
    add(kUpToActivate + kOutputFormat + kInitFailed, "IAudioClient::GetDevicePeriod");
    add(kUpToActivate + kOutputFormat + kPeriods + kInitFailed,
        "IAudioClient::Initialize IAudioClient::GetBufferSize IAudioClient::GetService "
        "CreateEventW IAudioClient::SetEventHandle");
    // The capture stream, the silent pre-fill and the output start.
    add(kUpToCapture + kInitFailed, "IMMDevice::Activate#2 IAudioClient::GetMixFormat");
    add(kUpToCapture + kMixFormat + kInitFailed,
        "IAudioClient::Initialize#2 IAudioClient::GetService#2 IAudioClient::GetBufferSize#2 "
        "IAudioClient::Start IAudioRenderClient::GetBuffer IAudioRenderClient::ReleaseBuffer "
        "IAudioClient::Start#2");
    // The loop's one pass after the stop.
    add(kGolden + Lines{L"ERROR:Error occurred during sound processing loop."},
        "IAudioCaptureClient::GetNextPacketSize IAudioCaptureClient::GetBuffer "
        "IAudioCaptureClient::ReleaseBuffer IAudioCaptureClient::GetNextPacketSize#2 "
        "IAudioRenderClient::GetBuffer#2 IAudioRenderClient::ReleaseBuffer#2 IAudioClient::Stop "
        "IAudioClient::Stop#2");
    // A device gone in the loop is waited for; which side tells the line.
    add(kGolden + Lines{L"ERROR:Error occurred during sound processing loop."},
        "IAudioCaptureClient::GetBuffer", AUDCLNT_E_DEVICE_INVALIDATED, kLoopbackLost);
    add(kGolden + Lines{L"ERROR:Error occurred during sound processing loop."},
        "IAudioRenderClient::ReleaseBuffer#2", AUDCLNT_E_DEVICE_INVALIDATED, kOutputLost);
    return rows;
}();

class CaptureSetupTest : public CaptureThreadTest {
protected:
    static std::vector<std::tuple<std::wstring, int, DWORD, int64_t, int64_t>> Initializations()
    {
        std::vector<std::tuple<std::wstring, int, DWORD, int64_t, int64_t>> calls;
        for (const auto& c : simulated_devices::Initializations())
            calls.emplace_back(c.endpoint_id, c.share_mode, c.flags, c.duration, c.periodicity);
        return calls;
    }
};

TEST_F(CaptureSetupTest, AWholeRunPrintsEverySetUpLineAndReleasesEverything)
{
    AddStandardEndpoints();
    RunStopped();
    ExpectEnded(kGolden + kFinished);
    EXPECT_EQ(
        Initializations(),
        (std::vector<std::tuple<std::wstring, int, DWORD, int64_t, int64_t>>{
            {kMultichannelId, AUDCLNT_SHAREMODE_EXCLUSIVE, AUDCLNT_STREAMFLAGS_EVENTCALLBACK,
             990000, 990000},
            {kSpeakersId, AUDCLNT_SHAREMODE_SHARED, AUDCLNT_STREAMFLAGS_LOOPBACK, 1980000, 0}}));
    // The pre-fill and the one pass are both silent (4752 frames is 99 ms).
    std::vector<std::tuple<int, uint32_t, DWORD>> stream;
    for (const auto& event : simulated_devices::StreamLog())
        stream.emplace_back(event.kind, event.frames, event.flags);
    EXPECT_EQ(stream,
              (std::vector<std::tuple<int, uint32_t, DWORD>>{
                  {simulated_devices::StreamEvent::kRender, 4752, AUDCLNT_BUFFERFLAGS_SILENT},
                  {simulated_devices::StreamEvent::kCapture, 240, 0},
                  {simulated_devices::StreamEvent::kRender, 4752, AUDCLNT_BUFFERFLAGS_SILENT}}));
}

TEST_F(CaptureSetupTest, VerboseAddsTheBufferLengthLines)
{
    AddStandardEndpoints();
    settings_.verbose = 1;
    settings_.buffer_duration = 10;
    SetMillisecondClock([]() -> DWORD { return 0; }); // no statistics window closes
    RunStopped();
    ExpectEnded({L">Start the captureing.", L"  Capture Buffer Length : 20.000[msec] 960[frame]",
                 L"  Output Buffer Length : 10.000[msec] 480[frame]", L">Finish the capturing."},
                true);
    EXPECT_EQ(std::get<3>(Initializations().at(0)), 100000);
    EXPECT_EQ(std::get<3>(Initializations().at(1)), 200000);
}

class CaptureStepFailureTest : public CaptureSetupTest,
                               public ::testing::WithParamInterface<FailureRow> {};

TEST_P(CaptureStepFailureTest, PrintsTheStepsLinesAndUnwinds)
{
    const FailureRow& row = GetParam();
    if (row.call == kRegistrar)
        SetMmThreadRegistrar([](LPCWSTR, LPDWORD) -> HANDLE { return nullptr; });
    else if (row.call == kComInit)
        SetComInitializer([](LPVOID, DWORD) -> HRESULT { return RPC_E_CHANGED_MODE; });
    else if (row.call == kFactory)
        SetDeviceEnumeratorFactory([](IMMDeviceEnumerator**) { return REGDB_E_CLASSNOTREG; });
    else if (row.call == kEventCreator)
        SetEventCreator(
            [](LPSECURITY_ATTRIBUTES, BOOL, BOOL, LPCWSTR) -> HANDLE { return nullptr; });
    else
        simulated_devices::FailCall(row.call, row.result, row.occurrence);
    AddStandardEndpoints();
    RunStopped();
    ExpectEnded(row.expected, false, row.end);
}

INSTANTIATE_TEST_SUITE_P(EveryCall, CaptureStepFailureTest, ::testing::ValuesIn(kFailureRows));

// The table above must fail every call a whole run makes.
TEST_F(CaptureSetupTest, TheFailureTableCoversEveryCallOfAWholeRun)
{
    AddStandardEndpoints();
    RunStopped();
    std::set<std::pair<std::string, int>> covered;
    for (const FailureRow& row : kFailureRows) {
        if (FAILED(row.result))
            covered.insert({row.call, row.occurrence});
    }
    std::map<std::string, int> counts;
    for (const std::string& call : simulated_devices::CallLog()) {
        int n = ++counts[call];
        EXPECT_TRUE(covered.count({call, n})) << call << " #" << n << " is never failed";
    }
}

// A failing call on an endpoint that has just gone away is no error of the
// call: the supervisor waits for the endpoint instead of ending.
TEST_F(CaptureSetupTest, AnOutputLostDuringSetUpEndsAsLost)
{
    AddStandardEndpoints();
    // The output goes with the pre-fill, and its Start fails.
    simulated_devices::SetStreamSink(
        [](simulated_devices::StreamEvent::Kind, const uint8_t*, uint32_t, DWORD, const WaveFormat&,
           void*) { simulated_devices::LoseEndpoint(kMultichannelId); },
        nullptr);
    RunStopped();
    ExpectEnded(kUpToCapture + kMixFormat + kInitFailed, false, kOutputLost);
}

TEST_F(CaptureSetupTest, AMissingTapFileEndsBeforeAnyDeviceIsTouched)
{
    AddStandardEndpoints();
    DeleteFileA(kTapFileNames[2]);
    RunStopped();
    ExpectEnded(Lines{L"ERROR:failed to open file. FIR_HPF.txt"} + kInitFailed);
    EXPECT_TRUE(simulated_devices::CallLog().empty());
}

TEST_F(CaptureSetupTest, TapFilesThatWouldPlayWrongEndBeforeAnyDeviceIsTouched)
{
    AddStandardEndpoints();
    std::ofstream(kTapFileNames[0], std::ios::binary) << "* Impulse Response data saved by REW\n";
    std::ofstream(kTapFileNames[2], std::ios::binary) << "0,5\n";
    RunStopped();
    ExpectEnded(Lines{L"ERROR:No filter tap in FIR_LPF.txt: its first line is not a number: \"* "
                      L"Impulse Response data saved by REW\"",
                      L"ERROR:Filter tap written with a decimal comma. FIR_HPF.txt line 1; "
                      L"trivandel-design -import converts such files."} +
                kInitFailed);
    EXPECT_TRUE(simulated_devices::CallLog().empty());
}

// Formats and gains the program cannot use end set-up with their own line.
struct Refusal {
    int32_t output_bit;
    float attenuation;
    bool integer_mix;
    Lines expected;
};
class RefusalTest : public CaptureSetupTest, public ::testing::WithParamInterface<Refusal> {};

TEST_P(RefusalTest, EndsSetUpWithItsLine)
{
    settings_.output_bit = GetParam().output_bit;
    settings_.attenuation = GetParam().attenuation;
    AddStandardEndpoints(PcmFormat(48000, 6, 24, 24),
                         GetParam().integer_mix ? PcmFormat(48000, 2, 16, 16) : WaveFormat{});
    RunStopped();
    ExpectEnded(GetParam().expected + kInitFailed);
}

const Lines kNotByProgram = {L"ERROR:This format is not supported by program."};
INSTANTIATE_TEST_SUITE_P(
    FormatsAndGains, RefusalTest,
    ::testing::Values(
        Refusal{20, 0.8f, false,
                kUpToActivate + Format(6, 48000, 864000, 18, 24, L"PCM", 20) + kNotByProgram},
        Refusal{0, 0.8f, true,
                kUpToCapture + Format(2, 48000, 192000, 4, 16, L"PCM", 16) + kNotByProgram},
        // Fine at 16 bits, it overflows the 2^31 full scale of 24 bits.
        Refusal{24, 1e30f, false,
                kUpToActivate + Format(6, 48000, 864000, 18, 24, L"PCM", 24) +
                    Lines{L"ERROR:The attenuation makes the filter taps infinite or NaN. "
                          L"(-attenuation 1000000015047466219876688855040.000000)"}}));

} // namespace
