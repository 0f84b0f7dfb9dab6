// Listing and choice of the output endpoint, and the output format and
// duration arithmetic.
#include <cstring>

#include "audio_test_support.h"
#include "capture_buffer.h"
#include "endpoints.h"
#include "fake_audio.h"
#include "stream_format.h"

namespace {

using fake_audio::EndpointSpec;

EndpointSpec Endpoint(const wchar_t* id, const wchar_t* name, const WaveFormat& format)
{
    EndpointSpec spec;
    spec.id = id;
    spec.friendly_name = name;
    spec.engine_format = format;
    return spec;
}

std::wstring IdLine(const wchar_t* id)
{
    return std::wstring(L"  EndpointID               = ") + id;
}
std::wstring NameLine(const wchar_t* name)
{
    return std::wstring(L"  Device_FriendlyName      = \"") + name + L"\"";
}

class EndpointChoiceTest : public ::testing::Test {
protected:
    void SetUp() override { fake_audio::Reset(); }
    void TearDown() override { EXPECT_EQ(fake_audio::LiveObjects(), 0); }

    // Runs FindOutputDevice over the described endpoints; returns the
    // chosen id, or "" for none.
    std::wstring Choose(const wchar_t* name)
    {
        IMMDeviceEnumerator* enumerator = nullptr;
        fake_audio::CreateEnumerator(&enumerator);
        IMMDevice* capture = nullptr;
        EXPECT_EQ(enumerator->GetDefaultAudioEndpoint(eRender, eConsole, &capture), S_OK);
        IMMDevice* chosen = FindOutputDevice(enumerator, capture, name);
        std::wstring id;
        if (chosen != nullptr) {
            LPWSTR text = nullptr;
            chosen->GetId(&text);
            id = text;
            CoTaskMemFree(text);
            chosen->Release();
        }
        capture->Release();
        enumerator->Release();
        return id;
    }

    ConsoleLines console_;
};

const WaveFormat kStereoFloat = fake_audio::FloatFormat(48000, 2);
const WaveFormat kSixPcm = fake_audio::PcmFormat(48000, 6, 16, 16);
const WaveFormat kEightFloat = fake_audio::FloatFormat(48000, 8);

TEST_F(EndpointChoiceTest, TheFirstEndpointOfSixOrMoreChannelsWinsAndAllAreListed)
{
    fake_audio::AddEndpoint(Endpoint(L"a", L"Speakers", kStereoFloat), true);
    fake_audio::AddEndpoint(Endpoint(L"b", L"Six", kSixPcm));
    fake_audio::AddEndpoint(Endpoint(L"c", L"Eight", kEightFloat));
    EXPECT_EQ(Choose(nullptr), L"b");
    EXPECT_EQ(console_.Get(),
              (Lines{L"No:0", NameLine(L"Speakers"), IdLine(L"a"),
                     L"  AudioEngine_DeviceFormat = 48.0kHz 32bit Float(32bit) 2ch", L"No:1",
                     NameLine(L"Six"), IdLine(L"b"),
                     L"  AudioEngine_DeviceFormat = 48.0kHz 16bit PCM(16bit) 6ch", L"No:2",
                     NameLine(L"Eight"), IdLine(L"c"),
                     L"  AudioEngine_DeviceFormat = 48.0kHz 32bit Float(32bit) 8ch"}));
}

TEST_F(EndpointChoiceTest, TheDefaultEndpointIsNeverChosen)
{
    fake_audio::AddEndpoint(Endpoint(L"a", L"Speakers", kStereoFloat));
    fake_audio::AddEndpoint(Endpoint(L"b", L"Eight", kEightFloat), true);
    EXPECT_EQ(Choose(nullptr), L"");
    Lines lines = console_.Get();
    EXPECT_EQ(lines.size(), 8u);
}

TEST_F(EndpointChoiceTest, ANameMatchesFriendlyNameOrIdInAnyLetterCase)
{
    fake_audio::AddEndpoint(Endpoint(L"{0.0.0.00000000}.{AAA}", L"Speakers", kStereoFloat), true);
    fake_audio::AddEndpoint(Endpoint(L"{0.0.0.00000000}.{BBB}", L"Headphones", kStereoFloat));
    fake_audio::AddEndpoint(Endpoint(L"{0.0.0.00000000}.{CCC}", L"Multichannel", kSixPcm));
    EXPECT_EQ(Choose(L"HEADphones"),
              L"{0.0.0.00000000}.{BBB}"); // fewer than six channels, but named
    EXPECT_EQ(Choose(L"{0.0.0.00000000}.{ccc}"), L"{0.0.0.00000000}.{CCC}");
    EXPECT_EQ(Choose(L"Nothing"), L"");
}

TEST_F(EndpointChoiceTest, NamingTheCaptureEndpointIsRefused)
{
    fake_audio::AddEndpoint(Endpoint(L"a", L"Speakers", kStereoFloat), true);
    fake_audio::AddEndpoint(Endpoint(L"b", L"Six", kSixPcm));
    EXPECT_EQ(Choose(L"speakers"), L"");
    Lines lines = console_.Get();
    ASSERT_EQ(lines.size(), 9u);
    EXPECT_EQ(lines[4],
              L"ERROR:Specified output device is same as capture device.(-output_device option)");
}

TEST_F(EndpointChoiceTest, NoEndpointsIsReportedNarrow)
{
    IMMDeviceEnumerator* enumerator = nullptr;
    fake_audio::CreateEnumerator(&enumerator);
    fake_audio::AddEndpoint(Endpoint(L"a", L"Speakers", kStereoFloat), true);
    IMMDevice* capture = nullptr;
    enumerator->GetDefaultAudioEndpoint(eRender, eConsole, &capture);
    fake_audio::Reset(); // the enumeration now finds nothing
    EXPECT_EQ(FindOutputDevice(enumerator, capture, nullptr), nullptr);
    EXPECT_EQ(console_.Get(), (Lines{L">No endpoints found."}));
    capture->Release();
    enumerator->Release();
}

TEST_F(EndpointChoiceTest, UnreadableEndpointsAreListedByNumberOnly)
{
    fake_audio::AddEndpoint(Endpoint(L"a", L"Speakers", kStereoFloat), true);
    EndpointSpec no_name = Endpoint(L"b", L"NoName", kSixPcm);
    no_name.name_type = VT_EMPTY;
    EndpointSpec short_blob = Endpoint(L"c", L"Short", kSixPcm);
    short_blob.format_blob_bytes = 39;
    EndpointSpec wrong_type = Endpoint(L"d", L"Wrong", kSixPcm);
    wrong_type.format_type = VT_LPWSTR;
    EndpointSpec no_format = Endpoint(L"e", L"NoFormat", kSixPcm);
    no_format.format_type = VT_EMPTY;
    for (const EndpointSpec& spec : {no_name, short_blob, wrong_type, no_format})
        fake_audio::AddEndpoint(spec);
    EXPECT_EQ(Choose(nullptr), L"");
    Lines lines = console_.Get();
    EXPECT_EQ(Lines(lines.begin() + 4, lines.end()), (Lines{L"No:1", L"No:2", L"No:3", L"No:4"}));
}

TEST_F(EndpointChoiceTest, LongIdsAndNamesAreCutTo259Units)
{
    std::wstring long_id(300, L'i');
    std::wstring long_name(400, L'n');
    fake_audio::AddEndpoint(Endpoint(L"a", L"Speakers", kStereoFloat), true);
    fake_audio::AddEndpoint(Endpoint(long_id.c_str(), long_name.c_str(), kSixPcm));
    IMMDeviceEnumerator* enumerator = nullptr;
    fake_audio::CreateEnumerator(&enumerator);
    IMMDeviceCollection* collection = nullptr;
    enumerator->EnumAudioEndpoints(eRender, DEVICE_STATE_ACTIVE, &collection);
    IMMDevice* device = nullptr;
    collection->Item(1, &device);
    DeviceInfo info;
    std::memset(&info, 0xAB, sizeof(info));
    ASSERT_TRUE(GetDeviceInfo(device, &info));
    EXPECT_EQ(std::wstring(info.EndpointID), long_id.substr(0, 259));
    EXPECT_EQ(std::wstring(info.Device_FriendlyName), long_name.substr(0, 259));
    EXPECT_EQ(std::memcmp(&info.AudioEngine_DeviceFormat, &kSixPcm, sizeof(WaveFormat)), 0);
    device->Release();
    collection->Release();
    enumerator->Release();
}

TEST_F(EndpointChoiceTest, FormatLinesForPcmFloatAndPlainFormats)
{
    DeviceInfo info = {};
    wcscpy(info.EndpointID, L"x");
    wcscpy(info.Device_FriendlyName, L"X");
    info.AudioEngine_DeviceFormat = fake_audio::PcmFormat(44100, 8, 32, 24);
    PrintDeviceInfo(&info, true);
    WaveFormat plain = {1, 2, 44100, 176400, 4, 16, 0, 0, 0, {}};
    info.AudioEngine_DeviceFormat = plain;
    PrintDeviceInfo(&info, true);
    PrintWaveFormat(&plain);
    WaveFormat odd = fake_audio::PcmFormat(48000, 2, 16, 16);
    odd.sub_format.data1 = 0x55;
    PrintWaveFormat(&odd);
    Lines lines = console_.Get();
    ASSERT_EQ(lines.size(), 20u);
    EXPECT_EQ(lines[2], L"  AudioEngine_DeviceFormat = 44.1kHz 32bit PCM(24bit) 8ch");
    EXPECT_EQ(lines[5], L"  AudioEngine_DeviceFormat = 44.1kHz 16bit (unknown)(0bit) 2ch");
    EXPECT_EQ(Lines(lines.begin() + 6, lines.begin() + 12),
              (Lines{L"WAVEFORMATEX", L"  nChannels           = 2",
                     L"  nSamplesPerSec      = 44100", L"  nAvgBytesPerSec     = 176400",
                     L"  nBlockAlign         = 4", L"  wBitsPerSample      = 16"}));
    EXPECT_EQ(lines[12], L"WAVEFORMATEXTENSIBLE");
    EXPECT_EQ(lines[18].rfind(L"  SubFormat           = ", 0), 0u);
    EXPECT_EQ(lines[18].substr(lines[18].size() - 10), L" (unknown)");
    EXPECT_EQ(lines[19], L"  wValidBitsPerSample = 16");
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

TEST(StreamFormat, OutputBitsSetContainerAlignmentAndValidBits)
{
    struct Case {
        int32_t output_bit;
        uint16_t bits, block_align, valid_bits;
        int32_t kind;
    } cases[] = {{24, 24, 18, 24, kSampleKindPcm24},
                 {16, 16, 12, 16, kSampleKindPcm16},
                 {20, 24, 18, 20, kSampleKindNone},
                 {0, 32, 24, 24, kSampleKindPcm24}};
    for (const Case& c : cases) {
        WaveFormat format = fake_audio::PcmFormat(48000, 6, 32, 24);
        format.sub_format = kSubtypeFloat;
        BuildOutputFormat(&format, 44100, c.output_bit);
        EXPECT_TRUE(SameSubFormat(format.sub_format, kSubtypePcm)) << c.output_bit;
        EXPECT_EQ(format.samples_per_sec, 44100u) << c.output_bit;
        EXPECT_EQ(format.bits_per_sample, c.bits) << c.output_bit;
        EXPECT_EQ(format.block_align, c.block_align) << c.output_bit;
        EXPECT_EQ(format.valid_bits_per_sample, c.valid_bits) << c.output_bit;
        EXPECT_EQ(format.avg_bytes_per_sec, c.block_align * 44100u) << c.output_bit;
        EXPECT_EQ(format.channels, 6) << c.output_bit;
        EXPECT_EQ(ChooseSampleKind(format), c.kind) << c.output_bit;
    }
    // An engine running 32-bit float keeps 32 valid bits: no usable kind.
    WaveFormat float_engine = fake_audio::FloatFormat(48000, 6);
    BuildOutputFormat(&float_engine, 48000, 0);
    EXPECT_EQ(ChooseSampleKind(float_engine), kSampleKindNone);
}

} // namespace
