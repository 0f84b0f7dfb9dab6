// Helpers of the capture-thread tests: a working folder with tap files, the
// usual stand-in endpoints and a fixture that runs the thread.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "audio/capture_end.h"
#include "audio/capture_thread.h"
#include "audio/device_enumerator.h"
#include "audio/live_controls.h"
#include "audio/platform_calls.h"
#include "audio/settings.h"
#include "engine/filter/fir_filter.h"
#include "simulated_devices/simulated_devices.h"
#include "tests/console_capture.h"

using Lines = std::vector<std::wstring>;
using simulated_devices::FloatFormat;
using simulated_devices::PcmFormat;

inline Lines operator+(Lines a, const Lines& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// The lines of PrintWaveFormat for an extensible format.
inline Lines Format(int channels, int rate, int avg, int align, int bits, const wchar_t* sub,
                    int valid)
{
    auto n = [](int value) { return std::to_wstring(value); };
    return {L"WAVEFORMATEXTENSIBLE",
            L"  nChannels           = " + n(channels),
            L"  nSamplesPerSec      = " + n(rate),
            L"  nAvgBytesPerSec     = " + n(avg),
            L"  nBlockAlign         = " + n(align),
            L"  wBitsPerSample      = " + n(bits),
            L"  SubFormat           = KSDATAFORMAT_SUBTYPE_" + std::wstring(sub),
            L"  wValidBitsPerSample = " + n(valid)};
}

inline const wchar_t* const kSpeakersId =
    L"{0.0.0.00000000}.{5ea1d7a0-0001-4000-8000-000000000001}";
inline const wchar_t* const kMultichannelId =
    L"{0.0.0.00000000}.{5ea1d7a0-0001-4000-8000-000000000006}";

inline simulated_devices::EndpointSpec Endpoint(const std::wstring& id, const std::wstring& name,
                                                const WaveFormat& format)
{
    return {id, name, format, {}, {}};
}

// The usual machine, the demo program's: the default "Speakers (stand-in)"
// and "Multichannel (stand-in)", in that order.
inline void AddStandardEndpoints(WaveFormat multichannel = PcmFormat(48000, 6, 24, 24),
                                 WaveFormat mix = {})
{
    simulated_devices::AddEndpoint(
        {kSpeakersId, L"Speakers (stand-in)", FloatFormat(48000, 2), mix, {}}, true);
    simulated_devices::AddEndpoint(
        Endpoint(kMultichannelId, L"Multichannel (stand-in)", multichannel));
}

// What a capture start prints on the usual machine, up to its loop: the
// lines tests/capture_start.txt holds for the whole-program tests as well.
inline const Lines& CaptureStartLines()
{
    static const Lines lines = [] {
        Lines read;
        std::ifstream file(TRIVANDEL_TESTS_DIR "/capture_start.txt");
        for (std::string line; std::getline(file, line);)
            read.emplace_back(line.begin(), line.end()); // ASCII
        return read;
    }();
    return lines;
}

// A working folder with three short tap files, stand-in endpoints paced by
// hand, a fresh stopEvent; the platform seams restored afterwards.
class CaptureThreadTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        previous_ = std::filesystem::current_path();
        std::filesystem::create_directories(folder_);
        std::filesystem::current_path(folder_);
        const char* const taps[3] = {"0.5\n0.25\n-0.125\n0.0625\n0.03125\n",
                                     "0.1\n-0.3\n0.7\n-0.3\n0.1\n",
                                     "-0.05\n-0.2\n0.9\n-0.2\n-0.05\n"};
        for (int band = 0; band < 3; ++band)
            std::ofstream(kTapFileNames[band], std::ios::binary) << taps[band];
        ResetDevices();
        stopEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        settings_.attenuation = 0.8f;
    }
    static void ResetDevices()
    {
        simulated_devices::Reset();
        simulated_devices::SetOutputClock(simulated_devices::OutputClock::kManual);
        simulated_devices::CaptureConfig capture;
        capture.real_time = false;
        capture.packet_frames = 240;
        simulated_devices::SetCaptureConfig(capture);
        SetDeviceEnumeratorFactory(simulated_devices::CreateEnumerator);
    }
    void TearDown() override
    {
        if (thread_ != nullptr) {
            SetEvent(stopEvent);
            EXPECT_TRUE(Join()) << "the capture thread did not end";
        }
        CloseHandle(stopEvent);
        stopEvent = nullptr;
        SetDeviceEnumeratorFactory(nullptr);
        SetMmThreadRegistrar(nullptr);
        SetComInitializer(nullptr);
        SetEventCreator(nullptr);
        SetMillisecondClock(nullptr);
        SetDebugOutput(nullptr);
        LiveControls.mute_high = 0;
        std::filesystem::current_path(previous_);
        std::filesystem::remove_all(folder_);
    }
    void Start()
    {
        thread_ = CreateThread(nullptr, 0, CaptureThreadProc, &settings_, 0, nullptr);
        ASSERT_NE(thread_, nullptr);
    }
    bool Join()
    {
        if (WaitForSingleObject(thread_, 10000) != WAIT_OBJECT_0)
            return false;
        GetExitCodeThread(thread_, &exit_code_);
        CloseHandle(thread_);
        thread_ = nullptr;
        return true;
    }
    // Runs to the end with one capture packet waiting and stopEvent already
    // set: set-up, one pass, the end.
    void RunStopped()
    {
        simulated_devices::QueueCapturePackets(1);
        SetEvent(stopEvent);
        Start();
        ASSERT_TRUE(Join());
    }
    // All lines (or the last ones) before the teardown's, the exit code (the
    // CaptureEnd) and the releases.
    void ExpectEnded(const Lines& expected, bool last_only = false, DWORD end = kCaptureEnded)
    {
        Lines lines = console_.Lines();
        if (last_only && lines.size() > expected.size() + 1)
            lines.erase(lines.begin(), lines.end() - expected.size() - 1);
        EXPECT_EQ(lines, expected + Lines{L">The capture thread has terminated."});
        EXPECT_EQ(exit_code_, end);
        EXPECT_EQ(simulated_devices::LiveObjects(), std::vector<std::string>());
    }

    const std::filesystem::path folder_ =
        std::filesystem::temp_directory_path() /
        ("trivandel_audio_" + std::to_string(GetCurrentProcessId()));
    std::filesystem::path previous_;
    ConsoleCapture console_;
    Settings settings_ = {};
    HANDLE thread_ = nullptr;
    DWORD exit_code_ = 0xFFFFFFFF;
};
