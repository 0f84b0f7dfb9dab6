// Listing and choice of the output endpoint, and the output format and
// duration arithmetic.
#include <cstring>

#include "audio/endpoints.h"
#include "audio/stream_format.h"
#include "tests/audio/audio_test_support.h"

namespace {

const WaveFormat kStereoFloat = FloatFormat(48000, 2);
const WaveFormat kSixPcm = PcmFormat(48000, 6, 16, 16);
const WaveFormat kEightFloat = FloatFormat(48000, 8);

Lines Listed(int number, const std::wstring& name, const std::wstring& id, const wchar_t* format)
{
    return {L"No:" + std::to_wstring(number), L"  Device_FriendlyName      = \"" + name + L"\"",
            L"  EndpointID               = " + id,
            L"  AudioEngine_DeviceFormat = " + std::wstring(format)};
}

class EndpointChoiceTest : public ::testing::Test {
protected:
    void SetUp() override { simulated_devices::Reset(); }
    void TearDown() override
    {
        EXPECT_EQ(simulated_devices::LiveObjects(), std::vector<std::string>());
    }

    // FindOutputDevice over the described endpoints: the chosen id, or "".
    std::wstring Choose(const wchar_t* name)
    {
        IMMDeviceEnumerator* enumerator = nullptr;
        simulated_devices::CreateEnumerator(&enumerator);
        IMMDevice* capture = nullptr;
        EXPECT_EQ(enumerator->GetDefaultAudioEndpoint(eRender, eConsole, &capture), S_OK);
        IMMDevice* chosen = FindOutputDevice(enumerator, capture, name);
        DeviceInfo info = {};
        if (chosen != nullptr) {
            EXPECT_TRUE(GetDeviceInfo(chosen, &info));
            chosen->Release();
        }
        capture->Release();
        enumerator->Release();
        return info.EndpointID;
    }

    ConsoleCapture console_;
};

TEST_F(EndpointChoiceTest, TheNamedEndpointOrElseTheFirstPluggedInOfSixChannelsNeverTheCaptureOne)
{
    const Lines speakers = Listed(0, L"Speakers", L"a", L"48.0kHz 32bit Float(32bit) 2ch");
    const Lines listing = speakers + Listed(1, L"Six", L"b", L"48.0kHz 16bit PCM(16bit) 6ch") +
                          Listed(2, L"Eight", L"{C}", L"48.0kHz 32bit Float(32bit) 8ch");
    const struct {
        size_t default_index;
        const wchar_t* name;
        const wchar_t* chosen;
        Lines printed;
        size_t unplugged = 3; // none
    } cases[] = {
        {0, nullptr, L"b", listing},
        {0, nullptr, L"{C}", listing, 1},
        {0, L"Six", L"b", listing, 1},
        {2, nullptr, L"b", listing},
        {1, nullptr, L"{C}", listing},
        {2, L"speakers", L"a", listing},
        {1, L"{c}", L"{C}", listing},
        {0, L"Nothing", L"", listing},
        {0, L"SPEAKERS", L"",
         speakers +
             Lines{L"ERROR:Specified output device is same as capture device.(-output_device "
                   L"option)"} +
             Lines(listing.begin() + 4, listing.end())},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.default_index << " " << (c.name ? c.name : L"-"));
        simulated_devices::Reset();
        console_.Clear();
        simulated_devices::EndpointSpec endpoints[3] = {Endpoint(L"a", L"Speakers", kStereoFloat),
                                                        Endpoint(L"b", L"Six", kSixPcm),
                                                        Endpoint(L"{C}", L"Eight", kEightFloat)};
        if (c.unplugged < 3)
            endpoints[c.unplugged].state = DEVICE_STATE_UNPLUGGED;
        for (size_t i = 0; i < 3; ++i)
            simulated_devices::AddEndpoint(endpoints[i], c.default_index == i);
        EXPECT_EQ(Choose(c.name), c.chosen);
        EXPECT_EQ(console_.Lines(), c.printed);
    }
}

TEST_F(EndpointChoiceTest, NoEndpointsIsReportedNarrow)
{
    IMMDeviceEnumerator* enumerator = nullptr;
    simulated_devices::CreateEnumerator(&enumerator);
    simulated_devices::AddEndpoint(Endpoint(L"a", L"Speakers", kStereoFloat), true);
    IMMDevice* capture = nullptr;
    enumerator->GetDefaultAudioEndpoint(eRender, eConsole, &capture);
    simulated_devices::Reset(); // the enumeration now finds nothing
    EXPECT_EQ(FindOutputDevice(enumerator, capture, nullptr), nullptr);
    EXPECT_EQ(console_.Lines(), (Lines{L">No endpoints found."}));
    capture->Release();
    enumerator->Release();
}

TEST_F(EndpointChoiceTest, UnreadableEndpointsAreListedByNumberAndLongTextsCut)
{
    simulated_devices::AddEndpoint(Endpoint(L"a", L"Speakers", kStereoFloat), true);
    simulated_devices::EndpointSpec unreadable[4];
    unreadable[0].name_type = VT_EMPTY;
    unreadable[1].format_blob_bytes = 39;
    unreadable[2].format_type = VT_LPWSTR;
    unreadable[3].format_type = VT_EMPTY;
    for (simulated_devices::EndpointSpec& spec : unreadable) {
        spec.id = L"x";
        spec.engine_format = kSixPcm;
        simulated_devices::AddEndpoint(spec);
    }
    simulated_devices::AddEndpoint(
        Endpoint(std::wstring(300, L'i'), std::wstring(400, L'n'), kSixPcm));
    EXPECT_EQ(Choose(nullptr), std::wstring(259, L'i'));
    EXPECT_EQ(console_.Lines(), Listed(0, L"Speakers", L"a", L"48.0kHz 32bit Float(32bit) 2ch") +
                                    Lines({L"No:1", L"No:2", L"No:3", L"No:4"}) +
                                    Listed(5, std::wstring(259, L'n'), std::wstring(259, L'i'),
                                           L"48.0kHz 16bit PCM(16bit) 6ch"));
}

TEST_F(EndpointChoiceTest, FormatLinesForPlainFormatsAndOtherKinds)
{
    DeviceInfo info = {};
    info.AudioEngine_DeviceFormat = {1, 2, 44100, 176400, 4, 16, 0, 0, 0, {}};
    PrintDeviceInfo(&info, true);
    PrintWaveFormat(&info.AudioEngine_DeviceFormat);
    const Lines lines = console_.Lines();
    EXPECT_EQ(Lines(lines.begin() + 2, lines.end()),
              (Lines{L"  AudioEngine_DeviceFormat = 44.1kHz 16bit (unknown)(0bit) 2ch",
                     L"WAVEFORMATEX", L"  nChannels           = 2",
                     L"  nSamplesPerSec      = 44100", L"  nAvgBytesPerSec     = 176400",
                     L"  nBlockAlign         = 4", L"  wBitsPerSample      = 16"}));
}

TEST(StreamFormat, DurationIsTheLargestMultipleOfTheMinimumPeriodBelow100ms)
{
    EXPECT_EQ(StreamDuration(0, 30000), 990000);
    EXPECT_EQ(StreamDuration(0, 20000), 980000);
    EXPECT_EQ(StreamDuration(0, 26667), 986679);
    EXPECT_EQ(StreamDuration(0, 500000), 500000);
    EXPECT_EQ(StreamDuration(0, 1200000), 1200000);
    EXPECT_EQ(StreamDuration(10, 30000), 100000);
    EXPECT_EQ(StreamDuration(429496, 30000), 4294960000LL);
    EXPECT_EQ(StreamDuration(0, 0), 0); // no endless loop on a device without a period
}

} // namespace
