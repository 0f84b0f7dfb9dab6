// Stream set-up and the one teardown: the lines of a whole run, and every
// call the thread makes failing in turn.
#include <set>
#include <utility>

#include "audio_test_support.h"
#include "capture_thread.h"
#include "device_enumerator.h"
#include "fake_audio.h"
#include "platform_calls.h"
#include "shared_state.h"

namespace {

const std::wstring kSpeakersIdLine = std::wstring(L"  EndpointID               = ") + kSpeakersId;
const std::wstring kMultichannelIdLine =
    std::wstring(L"  EndpointID               = ") + kMultichannelId;

Lines GetCapture()
{
    return {L">Get a capture device ----------------"};
}
Lines CaptureInfo()
{
    return {L"  Device_FriendlyName      = \"Speakers\"", kSpeakersIdLine};
}
Lines EnumerateHeader()
{
    return {L">Enumerate and decide a output device ----------------"};
}
Lines Listed0()
{
    return {L"No:0", L"  Device_FriendlyName      = \"Speakers\"", kSpeakersIdLine,
            L"  AudioEngine_DeviceFormat = 48.0kHz 32bit Float(32bit) 2ch"};
}
Lines Listed1()
{
    return {L"No:1", L"  Device_FriendlyName      = \"Multichannel\"", kMultichannelIdLine,
            L"  AudioEngine_DeviceFormat = 48.0kHz 16bit PCM(16bit) 6ch"};
}
Lines CreateOutput()
{
    return {L">Create a output device ----------------"};
}
Lines OutputInfo()
{
    return {L"  Device_FriendlyName      = \"Multichannel\"", kMultichannelIdLine};
}
Lines OutputFormat()
{
    return {L"WAVEFORMATEXTENSIBLE",
            L"  nChannels           = 6",
            L"  nSamplesPerSec      = 48000",
            L"  nAvgBytesPerSec     = 576000",
            L"  nBlockAlign         = 12",
            L"  wBitsPerSample      = 16",
            L"  SubFormat           = KSDATAFORMAT_SUBTYPE_PCM",
            L"  wValidBitsPerSample = 16"};
}
Lines Periods()
{
    return {L"  DefaultDevicePeriod = 100000", L"  MinimumDevicePeriod = 30000"};
}
Lines CreateCapture()
{
    return {L">Create a capture device ----------------"};
}
Lines MixFormat()
{
    return {L"WAVEFORMATEXTENSIBLE",
            L"  nChannels           = 2",
            L"  nSamplesPerSec      = 48000",
            L"  nAvgBytesPerSec     = 384000",
            L"  nBlockAlign         = 8",
            L"  wBitsPerSample      = 32",
            L"  SubFormat           = KSDATAFORMAT_SUBTYPE_IEEE_FLOAT",
            L"  wValidBitsPerSample = 32"};
}
Lines Started()
{
    return {L">Start the captureing."};
}
Lines Finished()
{
    return {L">Finish the capturing."};
}
Lines InitFailed()
{
    return {L"ERROR:Audio device initialization was failed."};
}
Lines NoDecision()
{
    return {L"ERROR:Couldn't decide a output device.",
            L"ERROR:Audio device initialization was failed."};
}
Lines LoopError()
{
    return {L"ERROR:Error occurred during sound processing loop."};
}
Lines Unsupported()
{
    return {L"ERROR:This format is not supported by endpoint device."};
}
Lines EnumError()
{
    return {L"Error!"};
}

Lines UpToEnumerate()
{
    return Concat({GetCapture(), CaptureInfo(), EnumerateHeader()});
}
Lines UpToActivate()
{
    return Concat({UpToEnumerate(), Listed0(), Listed1(), CreateOutput(), OutputInfo()});
}
Lines UpToCaptureHeader()
{
    return Concat({UpToActivate(), OutputFormat(), Periods(), CreateCapture()});
}
Lines Golden()
{
    return Concat({UpToCaptureHeader(), MixFormat(), Started()});
}
Lines AfterListing()
{
    return Concat({CreateOutput(), OutputInfo(), OutputFormat(), Periods(), CreateCapture(),
                   MixFormat(), Started(), Finished()});
}

// The calls that are not made on a COM object go through the seams.
const char* const kRegistrar = "AvSetMmThreadCharacteristicsW";
const char* const kComInit = "CoInitializeEx";
const char* const kFactory = "CoCreateInstance";
const char* const kEventCreator = "CreateEventW";

HANDLE FailRegistrar(LPCWSTR, LPDWORD)
{
    return nullptr;
}
HRESULT FailComInit(LPVOID, DWORD)
{
    return RPC_E_CHANGED_MODE;
}
HRESULT FailFactory(IMMDeviceEnumerator** enumerator)
{
    *enumerator = nullptr;
    return REGDB_E_CLASSNOTREG;
}
HANDLE FailEventCreator(LPSECURITY_ATTRIBUTES, BOOL, BOOL, LPCWSTR)
{
    return nullptr;
}

struct FailureRow {
    const char* call;
    int occurrence;
    HRESULT result;
    Lines (*expected)(); // without the teardown's last line
};

void PrintTo(const FailureRow& row, std::ostream* out)
{
    *out << row.call << " #" << row.occurrence << " -> 0x" << std::hex
         << static_cast<unsigned long>(row.result);
}

const FailureRow kFailureRows[] = {
    {kRegistrar, 1, E_FAIL, [] { return InitFailed(); }},
    {kComInit, 1, E_FAIL, [] { return InitFailed(); }},
    {kFactory, 1, E_FAIL, [] { return InitFailed(); }},
    {"IMMDeviceEnumerator::GetDefaultAudioEndpoint", 1, E_NOTFOUND,
     [] {
         return Concat({GetCapture(), InitFailed()});
     }},
    // The capture endpoint's GetDeviceInfo.
    {"IMMDevice::GetId", 1, E_OUTOFMEMORY,
     [] {
         return Concat({GetCapture(), InitFailed()});
     }},
    {"IMMDevice::OpenPropertyStore", 1, E_FAIL,
     [] {
         return Concat({GetCapture(), InitFailed()});
     }},
    {"IPropertyStore::GetValue", 1, E_FAIL,
     [] {
         return Concat({GetCapture(), InitFailed()});
     }},
    {"IPropertyStore::GetValue", 2, E_FAIL,
     [] {
         return Concat({GetCapture(), InitFailed()});
     }},
    {"IPropertyStore::GetValue", 2, S_FALSE,
     [] {
         return Concat({GetCapture(), InitFailed()});
     }},
    // The listing.
    {"IMMDeviceEnumerator::EnumAudioEndpoints", 1, E_FAIL,
     [] {
         return Concat({UpToEnumerate(), EnumError(), NoDecision()});
     }},
    {"IMMDeviceCollection::GetCount", 1, E_FAIL,
     [] {
         return Concat({UpToEnumerate(), EnumError(), NoDecision()});
     }},
    {"IMMDeviceCollection::Item", 1, E_FAIL,
     [] {
         return Concat({UpToEnumerate(), EnumError(), NoDecision()});
     }},
    {"IMMDeviceCollection::Item", 2, E_FAIL,
     [] {
         return Concat({UpToEnumerate(), Listed0(), EnumError(), NoDecision()});
     }},
    // Endpoint 0 unreadable: listed by number, the run goes on.
    {"IMMDevice::GetId", 2, E_FAIL,
     [] {
         return Concat({UpToEnumerate(), {L"No:0"}, Listed1(), AfterListing()});
     }},
    {"IMMDevice::OpenPropertyStore", 2, E_FAIL,
     [] {
         return Concat({UpToEnumerate(), {L"No:0"}, Listed1(), AfterListing()});
     }},
    {"IPropertyStore::GetValue", 3, E_FAIL,
     [] {
         return Concat({UpToEnumerate(), {L"No:0"}, Listed1(), AfterListing()});
     }},
    {"IPropertyStore::GetValue", 4, E_FAIL,
     [] {
         return Concat({UpToEnumerate(), {L"No:0"}, Listed1(), AfterListing()});
     }},
    // The capture id for endpoint 0: listed, not a candidate (it was not one anyway).
    {"IMMDevice::GetId", 3, E_FAIL,
     [] {
         return Concat({Golden(), Finished()});
     }},
    // Endpoint 1, the only candidate, unreadable or not comparable.
    {"IMMDevice::GetId", 4, E_FAIL,
     [] {
         return Concat({UpToEnumerate(), Listed0(), {L"No:1"}, NoDecision()});
     }},
    {"IMMDevice::OpenPropertyStore", 3, E_FAIL,
     [] {
         return Concat({UpToEnumerate(), Listed0(), {L"No:1"}, NoDecision()});
     }},
    {"IPropertyStore::GetValue", 5, E_FAIL,
     [] {
         return Concat({UpToEnumerate(), Listed0(), {L"No:1"}, NoDecision()});
     }},
    {"IPropertyStore::GetValue", 6, E_FAIL,
     [] {
         return Concat({UpToEnumerate(), Listed0(), {L"No:1"}, NoDecision()});
     }},
    {"IMMDevice::GetId", 5, E_FAIL,
     [] {
         return Concat({UpToEnumerate(), Listed0(), Listed1(), NoDecision()});
     }},
    // The output endpoint's GetDeviceInfo.
    {"IMMDevice::GetId", 6, E_FAIL,
     [] {
         return Concat({UpToEnumerate(), Listed0(), Listed1(), CreateOutput(), InitFailed()});
     }},
    {"IMMDevice::OpenPropertyStore", 4, E_FAIL,
     [] {
         return Concat({UpToEnumerate(), Listed0(), Listed1(), CreateOutput(), InitFailed()});
     }},
    {"IPropertyStore::GetValue", 7, E_FAIL,
     [] {
         return Concat({UpToEnumerate(), Listed0(), Listed1(), CreateOutput(), InitFailed()});
     }},
    {"IPropertyStore::GetValue", 8, E_FAIL,
     [] {
         return Concat({UpToEnumerate(), Listed0(), Listed1(), CreateOutput(), InitFailed()});
     }},
    // The output stream.
    {"IMMDevice::Activate", 1, E_FAIL,
     [] {
         return Concat({UpToActivate(), InitFailed()});
     }},
    {"IAudioClient::IsFormatSupported", 1, AUDCLNT_E_UNSUPPORTED_FORMAT,
     [] {
         return Concat({UpToActivate(), OutputFormat(), Unsupported(), InitFailed()});
     }},
    {"IAudioClient::IsFormatSupported", 1, S_FALSE,
     [] {
         return Concat({UpToActivate(), OutputFormat(), Unsupported(), Periods(), CreateCapture(),
                        MixFormat(), Started(), Finished()});
     }},
    {"IAudioClient::GetDevicePeriod", 1, E_FAIL,
     [] {
         return Concat({UpToActivate(), OutputFormat(), InitFailed()});
     }},
    {"IAudioClient::Initialize", 1, AUDCLNT_E_EXCLUSIVE_MODE_NOT_ALLOWED,
     [] {
         return Concat({UpToActivate(), OutputFormat(), Periods(), InitFailed()});
     }},
    {"IAudioClient::GetBufferSize", 1, E_FAIL,
     [] {
         return Concat({UpToActivate(), OutputFormat(), Periods(), InitFailed()});
     }},
    {"IAudioClient::GetService", 1, E_FAIL,
     [] {
         return Concat({UpToActivate(), OutputFormat(), Periods(), InitFailed()});
     }},
    {kEventCreator, 1, E_FAIL,
     [] {
         return Concat({UpToActivate(), OutputFormat(), Periods(), InitFailed()});
     }},
    {"IAudioClient::SetEventHandle", 1, E_FAIL,
     [] {
         return Concat({UpToActivate(), OutputFormat(), Periods(), InitFailed()});
     }},
    // The capture stream.
    {"IMMDevice::Activate", 2, E_FAIL,
     [] {
         return Concat({UpToCaptureHeader(), InitFailed()});
     }},
    {"IAudioClient::GetMixFormat", 1, E_FAIL,
     [] {
         return Concat({UpToCaptureHeader(), InitFailed()});
     }},
    {"IAudioClient::Initialize", 2, E_FAIL,
     [] {
         return Concat({UpToCaptureHeader(), MixFormat(), InitFailed()});
     }},
    {"IAudioClient::GetService", 2, AUDCLNT_E_WRONG_ENDPOINT_TYPE,
     [] {
         return Concat({UpToCaptureHeader(), MixFormat(), InitFailed()});
     }},
    {"IAudioClient::GetBufferSize", 2, E_FAIL,
     [] {
         return Concat({UpToCaptureHeader(), MixFormat(), InitFailed()});
     }},
    {"IAudioClient::Start", 1, E_FAIL,
     [] {
         return Concat({UpToCaptureHeader(), MixFormat(), InitFailed()});
     }},
    // The silent pre-fill and the output start.
    {"IAudioRenderClient::GetBuffer", 1, E_FAIL,
     [] {
         return Concat({UpToCaptureHeader(), MixFormat(), InitFailed()});
     }},
    {"IAudioRenderClient::ReleaseBuffer", 1, E_FAIL,
     [] {
         return Concat({UpToCaptureHeader(), MixFormat(), InitFailed()});
     }},
    {"IAudioClient::Start", 2, E_FAIL,
     [] {
         return Concat({UpToCaptureHeader(), MixFormat(), InitFailed()});
     }},
    // The loop's one pass after the stop.
    {"IAudioCaptureClient::GetNextPacketSize", 1, E_FAIL,
     [] {
         return Concat({Golden(), LoopError()});
     }},
    {"IAudioCaptureClient::GetBuffer", 1, E_FAIL,
     [] {
         return Concat({Golden(), LoopError()});
     }},
    {"IAudioCaptureClient::ReleaseBuffer", 1, E_FAIL,
     [] {
         return Concat({Golden(), LoopError()});
     }},
    {"IAudioCaptureClient::GetNextPacketSize", 2, E_FAIL,
     [] {
         return Concat({Golden(), LoopError()});
     }},
    {"IAudioRenderClient::GetBuffer", 2, AUDCLNT_E_DEVICE_INVALIDATED,
     [] {
         return Concat({Golden(), LoopError()});
     }},
    {"IAudioRenderClient::ReleaseBuffer", 2, E_FAIL,
     [] {
         return Concat({Golden(), LoopError()});
     }},
    {"IAudioClient::Stop", 1, E_FAIL,
     [] {
         return Concat({Golden(), LoopError()});
     }},
    {"IAudioClient::Stop", 2, E_FAIL,
     [] {
         return Concat({Golden(), LoopError()});
     }},
};

class CaptureSetupTest : public CaptureThreadTest {
protected:
    // The standard machine, one capture packet waiting, stopEvent set: the
    // thread sets up, runs one pass and ends.
    void RunStandard(const Settings& settings)
    {
        AddStandardEndpoints();
        fake_audio::QueueCapturePackets(1);
        RunStopped(settings);
    }
    void ExpectEnded(const Lines& expected)
    {
        Lines lines = console_.Get();
        EXPECT_EQ(lines, Concat({expected, {L">The capture thread has terminated."}}));
        EXPECT_EQ(exit_code_, 0u);
        EXPECT_EQ(fake_audio::LiveObjects(), 0)
            << ::testing::PrintToString(fake_audio::LiveObjectNames());
    }
};

TEST_F(CaptureSetupTest, AWholeRunPrintsEverySetUpLineAndReleasesEverything)
{
    RunStandard(DefaultSettings());
    ExpectEnded(Concat({Golden(), Finished()}));

    auto inits = fake_audio::Initializations();
    ASSERT_EQ(inits.size(), 2u);
    EXPECT_EQ(inits[0].endpoint_id, kMultichannelId);
    EXPECT_EQ(inits[0].share_mode, AUDCLNT_SHAREMODE_EXCLUSIVE);
    EXPECT_EQ(inits[0].flags, static_cast<DWORD>(AUDCLNT_STREAMFLAGS_EVENTCALLBACK));
    EXPECT_EQ(inits[0].duration, 990000);
    EXPECT_EQ(inits[0].periodicity, 990000);
    EXPECT_EQ(inits[1].endpoint_id, kSpeakersId);
    EXPECT_EQ(inits[1].share_mode, AUDCLNT_SHAREMODE_SHARED);
    EXPECT_EQ(inits[1].flags, static_cast<DWORD>(AUDCLNT_STREAMFLAGS_LOOPBACK));
    EXPECT_EQ(inits[1].duration, 1980000);
    EXPECT_EQ(inits[1].periodicity, 0);

    // The pre-fill and the one pass are both silent (4752 frames is 99 ms).
    std::vector<fake_audio::StreamEvent> stream = fake_audio::StreamLog();
    ASSERT_EQ(stream.size(), 3u);
    EXPECT_EQ(stream[0].kind, fake_audio::StreamEvent::kRender);
    EXPECT_EQ(stream[0].frames, 4752u);
    EXPECT_EQ(stream[0].flags, static_cast<DWORD>(AUDCLNT_BUFFERFLAGS_SILENT));
    EXPECT_EQ(stream[1].kind, fake_audio::StreamEvent::kCapture);
    EXPECT_EQ(stream[2].kind, fake_audio::StreamEvent::kRender);
    EXPECT_EQ(stream[2].flags, static_cast<DWORD>(AUDCLNT_BUFFERFLAGS_SILENT));
}

TEST_F(CaptureSetupTest, VerboseAddsTheBufferLengthLines)
{
    Settings settings = DefaultSettings();
    settings.verbose = 1;
    settings.buffer_duration = 10;
    RunStandard(settings);
    Lines lines = console_.Get();
    Lines periods = Periods();
    auto started = std::find(lines.begin(), lines.end(), L">Start the captureing.");
    ASSERT_NE(started, lines.end());
    ASSERT_GE(lines.end() - started, 3);
    EXPECT_EQ(started[1], L"  Capture Buffer Length : 20.000[msec] 960[frame]");
    EXPECT_EQ(started[2], L"  Output Buffer Length : 10.000[msec] 480[frame]");
    auto inits = fake_audio::Initializations();
    ASSERT_EQ(inits.size(), 2u);
    EXPECT_EQ(inits[0].duration, 100000);
    EXPECT_EQ(inits[1].duration, 200000);
}

class CaptureStepFailureTest : public CaptureSetupTest,
                               public ::testing::WithParamInterface<FailureRow> {};

TEST_P(CaptureStepFailureTest, PrintsTheStepsLinesAndUnwinds)
{
    const FailureRow& row = GetParam();
    std::string call = row.call;
    if (call == kRegistrar)
        SetMmThreadRegistrar(FailRegistrar);
    else if (call == kComInit)
        SetComInitializer(FailComInit);
    else if (call == kFactory)
        SetDeviceEnumeratorFactory(FailFactory);
    else if (call == kEventCreator)
        SetEventCreator(FailEventCreator);
    else
        fake_audio::FailCall(call, row.result, row.occurrence);
    RunStandard(DefaultSettings());
    ExpectEnded(row.expected());
}

INSTANTIATE_TEST_SUITE_P(EveryCall, CaptureStepFailureTest, ::testing::ValuesIn(kFailureRows));

// The table above must name every call a whole run makes.
TEST_F(CaptureSetupTest, TheFailureTableCoversEveryCallOfAWholeRun)
{
    RunStandard(DefaultSettings());
    std::set<std::pair<std::string, int>> covered;
    for (const FailureRow& row : kFailureRows) {
        if (FAILED(row.result))
            covered.insert({row.call, row.occurrence});
    }
    std::map<std::string, int> counts;
    for (const std::string& call : fake_audio::CallLog()) {
        int n = ++counts[call];
        EXPECT_TRUE(covered.count({call, n})) << call << " #" << n << " is never failed";
    }
}

TEST_F(CaptureSetupTest, AMissingTapFileEndsBeforeAnyDeviceIsTouched)
{
    taps_.Remove(L"FIR_HPF.txt");
    RunStandard(DefaultSettings());
    ExpectEnded({L"ERROR:failed to open file. FIR_HPF.txt",
                 L"ERROR:Audio device initialization was failed."});
    EXPECT_TRUE(fake_audio::CallLog().empty());
}

TEST_F(CaptureSetupTest, TwentyBitOutputIsRefusedByTheProgram)
{
    Settings settings = DefaultSettings();
    settings.output_bit = 20;
    RunStandard(settings);
    Lines format = {L"WAVEFORMATEXTENSIBLE",
                    L"  nChannels           = 6",
                    L"  nSamplesPerSec      = 48000",
                    L"  nAvgBytesPerSec     = 864000",
                    L"  nBlockAlign         = 18",
                    L"  wBitsPerSample      = 24",
                    L"  SubFormat           = KSDATAFORMAT_SUBTYPE_PCM",
                    L"  wValidBitsPerSample = 20"};
    ExpectEnded(Concat({UpToActivate(),
                        format,
                        {L"ERROR:This format is not supported by program."},
                        InitFailed()}));
}

TEST_F(CaptureSetupTest, AnIntegerMixFormatIsRefusedByTheProgram)
{
    fake_audio::EndpointSpec speakers;
    speakers.id = kSpeakersId;
    speakers.friendly_name = L"Speakers";
    speakers.engine_format = fake_audio::FloatFormat(48000, 2);
    speakers.has_mix_format = true;
    speakers.mix_format = fake_audio::PcmFormat(48000, 2, 16, 16);
    fake_audio::AddEndpoint(speakers, true);
    fake_audio::EndpointSpec six;
    six.id = kMultichannelId;
    six.friendly_name = L"Multichannel";
    six.engine_format = fake_audio::PcmFormat(48000, 6, 16, 16);
    fake_audio::AddEndpoint(six);
    RunStopped(DefaultSettings());
    Lines mix = {L"WAVEFORMATEXTENSIBLE",
                 L"  nChannels           = 2",
                 L"  nSamplesPerSec      = 48000",
                 L"  nAvgBytesPerSec     = 192000",
                 L"  nBlockAlign         = 4",
                 L"  wBitsPerSample      = 16",
                 L"  SubFormat           = KSDATAFORMAT_SUBTYPE_PCM",
                 L"  wValidBitsPerSample = 16"};
    ExpectEnded(Concat({UpToCaptureHeader(),
                        mix,
                        {L"ERROR:This format is not supported by program."},
                        InitFailed()}));
}

TEST_F(CaptureSetupTest, TheOutputRunsAtTheCaptureEnginesRate)
{
    fake_audio::EndpointSpec speakers;
    speakers.id = kSpeakersId;
    speakers.friendly_name = L"Speakers";
    speakers.engine_format = fake_audio::FloatFormat(44100, 2);
    fake_audio::AddEndpoint(speakers, true);
    fake_audio::EndpointSpec eight;
    eight.id = kMultichannelId;
    eight.friendly_name = L"Multichannel";
    eight.engine_format = fake_audio::PcmFormat(48000, 8, 32, 24);
    fake_audio::AddEndpoint(eight);
    Settings settings = DefaultSettings();
    settings.output_bit = 24;
    RunStopped(settings);
    auto queries = fake_audio::FormatQueries();
    ASSERT_EQ(queries.size(), 1u);
    EXPECT_EQ(queries[0].samples_per_sec, 44100u);
    EXPECT_EQ(queries[0].bits_per_sample, 24);
    EXPECT_EQ(queries[0].block_align, 24);
    EXPECT_EQ(queries[0].avg_bytes_per_sec, 24u * 44100u);
    EXPECT_EQ(queries[0].valid_bits_per_sample, 24);
    EXPECT_EQ(console_.Get().back(), L">The capture thread has terminated.");
    EXPECT_EQ(fake_audio::LiveObjects(), 0);
}

} // namespace
