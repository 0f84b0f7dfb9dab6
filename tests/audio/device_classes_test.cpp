// Every modelled device class at each output width, rate and buffer
// duration: streaming starts with a format and a buffer the class takes,
// or, where no format can work, set-up ends with the refused format's lines.
#include <algorithm>
#include <map>

#include "probe/probe.h"
#include "tests/audio/audio_test_support.h"

namespace {

struct Played {
    int bits, valid; // 0: no format is accepted
};
struct ClassExpectation {
    Played played[3]; // -output_bit 0, 16, 24
    uint32_t top_rate;
    int minimum_period;
};
const std::map<std::string, ClassExpectation> kClasses = {
    {"hda", {{{32, 24}, {16, 16}, {32, 24}}, 192000, 30000}},
    {"hdmi", {{{32, 24}, {16, 16}, {32, 24}}, 192000, 30000}},
    {"usb-4byte", {{{32, 32}, {16, 16}, {32, 24}}, 192000, 20000}},
    {"usb-3byte", {{{24, 24}, {16, 16}, {24, 24}}, 192000, 20000}},
    {"usb1", {{{16, 16}, {16, 16}, {0, 0}}, 48000, 30000}},
};

struct Row {
    std::string device;
    int32_t output_bit;
    uint32_t rate;
    int32_t buffer_duration;
    std::string failing_call; // "Interface::Method#occurrence", or none
    HRESULT result;
};

void PrintTo(const Row& row, std::ostream* out)
{
    *out << row.device << " -output_bit " << row.output_bit << " at " << row.rate
         << " -buffer_duration " << row.buffer_duration << " " << row.failing_call;
}

std::vector<Row> Rows()
{
    std::vector<Row> rows;
    for (const auto& [device, expectation] : kClasses)
        for (int32_t bit : {0, 16, 24})
            for (uint32_t rate : {44100u, 48000u, 96000u})
                for (int32_t duration : {0, 10})
                    rows.push_back({device, bit, rate, duration, "", S_OK});
    // 4752 frames of 12 bytes are refused by HD Audio: the retry's own calls
    // fail set-up, and it is made only once.
    for (const char* call :
         {"IAudioClient::GetBufferSize#1", "IMMDevice::Activate#2", "IAudioClient::Initialize#2"})
        rows.push_back({"hda", 16, 48000, 0, call, AUDCLNT_E_BUFFER_SIZE_NOT_ALIGNED});
    return rows;
}

class DeviceClassTest : public CaptureThreadTest, public ::testing::WithParamInterface<Row> {};

TEST_P(DeviceClassTest, StartsWithAFormatAndBufferTheClassTakesOrPrintsTheRefusal)
{
    const Row& row = GetParam();
    const ClassExpectation& expected = kClasses.at(row.device);
    simulated_devices::AddEndpoint(Endpoint(kSpeakersId, L"Speakers", FloatFormat(row.rate, 2)),
                                   true);
    simulated_devices::EndpointSpec output = Endpoint(kMultichannelId, L"Multichannel", {});
    ASSERT_TRUE(simulated_devices::DescribeDeviceClass(row.device, &output));
    simulated_devices::AddEndpoint(output);
    if (!row.failing_call.empty()) {
        size_t hash = row.failing_call.find('#');
        simulated_devices::FailCall(row.failing_call.substr(0, hash), row.result,
                                    std::stoi(row.failing_call.substr(hash + 1)));
    }
    settings_.output_bit = row.output_bit;
    settings_.buffer_duration = row.buffer_duration;
    RunStopped();

    const int channels = output.engine_format.channels;
    const auto format = [&](int bits, int valid) {
        const int align = bits / 8 * channels;
        return Format(channels, row.rate, align * row.rate, align, bits, L"PCM", valid);
    };
    const Lines periods = {L"  DefaultDevicePeriod = 100000",
                           L"  MinimumDevicePeriod = " + std::to_wstring(expected.minimum_period)};
    const Lines failed = {L"ERROR:Audio device initialization was failed."};
    Played played = expected.played[row.output_bit == 0 ? 0 : row.output_bit == 16 ? 1 : 2];
    if (row.rate > expected.top_rate)
        played = {0, 0};
    if (played.bits == 0) {
        // The first format asked for is the one the refusal names.
        const Played first =
            row.output_bit == 0 ? expected.played[0] : Played{row.output_bit, row.output_bit};
        ExpectEnded(format(first.bits, first.valid) +
                        Lines{L"ERROR:This format is not supported by endpoint device."} + failed,
                    true);
    } else if (!row.failing_call.empty()) {
        ExpectEnded(format(played.bits, played.valid) + periods + failed, true);
    } else {
        ExpectEnded(format(played.bits, played.valid) + periods +
                        Lines{L">Create a capture device ----------------"} +
                        Format(2, row.rate, 8 * row.rate, 8, 32, L"IEEE_FLOAT", 32) +
                        Lines{L">Start the captureing.", L">Finish the capturing."},
                    true);
    }
}

INSTANTIATE_TEST_SUITE_P(EveryClass, DeviceClassTest, ::testing::ValuesIn(Rows()));

// trivandel-probe on an HD Audio endpoint: what it takes, the buffers
// (16 bits needs the retry at 48 kHz) and the automatic choice.
TEST(Probe, ReportsAnHdAudioEndpoint)
{
    simulated_devices::Reset();
    simulated_devices::AddEndpoint(Endpoint(kSpeakersId, L"Speakers", FloatFormat(48000, 2)), true);
    simulated_devices::EndpointSpec hda = Endpoint(kMultichannelId, L"Multichannel", {});
    ASSERT_TRUE(simulated_devices::DescribeDeviceClass("hda", &hda));
    simulated_devices::AddEndpoint(hda);
    SetDeviceEnumeratorFactory(simulated_devices::CreateEnumerator);
    ConsoleCapture console;
    EXPECT_EQ(RunProbe(), 0);
    SetDeviceEnumeratorFactory(nullptr);
    Lines lines = console.Lines();
    const auto no1 = std::find(lines.begin(), lines.end(), L"No:1");
    ASSERT_NE(no1, lines.end());
    const std::wstring buffers = L"      -buffer_duration 10, 100000: 480 frames (10.000 ms)";
    EXPECT_EQ(
        Lines(no1 + 4, lines.end()),
        (Lines{L"  State: active",
               L"  Without -output_device: the automatic choice: the first "
               L"candidate",
               L"  Device periods: default 100000, minimum 30000 (100-ns units)",
               L"  Exclusive mode, 6 channels   engine  44100  48000  96000 192000   (engine: "
               L"48000 Hz)",
               L"    16 bits                       yes    yes    yes    yes    yes",
               L"    24 bits packed                 no     no     no     no     no",
               L"    24 bits in 32                 yes    yes    yes    yes    yes",
               L"    32 bits                        no     no     no     no     no",
               L"  As trivandel.exe would open it, at the mix rate 48000:",
               L"    -output_bit 0: 32 bits, 24 valid: accepted",
               L"      default duration, 990000: 4752 frames (99.000 ms)",
               buffers,
               L"    -output_bit 16: 16 bits, 16 valid: accepted",
               L"      default duration, 990000: 4768 frames (99.333 ms), after the aligned-buffer "
               L"retry",
               buffers,
               L"    -output_bit 24: 32 bits, 24 valid: accepted",
               L"      default duration, 990000: 4752 frames (99.000 ms)",
               buffers,
               L"",
               L"trivandel.exe without options chooses No:1 \"Multichannel\" and plays."}));
    EXPECT_EQ(simulated_devices::LiveObjects(), std::vector<std::string>());
}

} // namespace
