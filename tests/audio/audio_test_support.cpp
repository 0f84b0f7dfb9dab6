#include "audio_test_support.h"

#include <cstdio>
#include <mutex>

#include "capture_thread.h"
#include "console.h"
#include "device_enumerator.h"
#include "fake_audio.h"
#include "platform_calls.h"
#include "shared_state.h"

const wchar_t* const kSpeakersId = L"{0.0.0.00000000}.{speakers}";
const wchar_t* const kMultichannelId = L"{0.0.0.00000000}.{multichannel}";

namespace {

std::mutex consoleMutex;
std::wstring consoleText;

void CollectConsole(const wchar_t* text)
{
    std::lock_guard<std::mutex> lock(consoleMutex);
    consoleText += text;
}

} // namespace

ConsoleLines::ConsoleLines()
{
    consoleText.clear();
    SetConsoleSink(CollectConsole);
}

ConsoleLines::~ConsoleLines()
{
    SetConsoleSink(nullptr);
}

Lines ConsoleLines::Get() const
{
    std::lock_guard<std::mutex> lock(consoleMutex);
    Lines lines;
    size_t start = 0;
    for (size_t end; (end = consoleText.find(L'\n', start)) != std::wstring::npos;
         start = end + 1) {
        lines.push_back(consoleText.substr(start, end - start));
    }
    if (start < consoleText.size())
        lines.push_back(consoleText.substr(start));
    return lines;
}

TapFolder::TapFolder()
{
    wchar_t buffer[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, buffer);
    previous_ = buffer;
    GetTempPathW(MAX_PATH, buffer);
    static int serial = 0;
    path_ = std::wstring(buffer) + L"trivandel_audio_" + std::to_wstring(GetCurrentProcessId()) +
            L"_" + std::to_wstring(++serial);
    CreateDirectoryW(path_.c_str(), nullptr);
    SetCurrentDirectoryW(path_.c_str());
    Write(L"FIR_LPF.txt", kLowTaps);
    Write(L"FIR_BPF.txt", kMidTaps);
    Write(L"FIR_HPF.txt", kHighTaps);
}

TapFolder::~TapFolder()
{
    SetCurrentDirectoryW(previous_.c_str());
    for (const wchar_t* name : {L"FIR_LPF.txt", L"FIR_BPF.txt", L"FIR_HPF.txt"}) {
        DeleteFileW((path_ + L"\\" + name).c_str());
    }
    RemoveDirectoryW(path_.c_str());
}

void TapFolder::Write(const wchar_t* name, const std::string& content) const
{
    FILE* file = _wfopen((path_ + L"\\" + name).c_str(), L"wb");
    ASSERT_NE(file, nullptr);
    fwrite(content.data(), 1, content.size(), file);
    fclose(file);
}

void TapFolder::Remove(const wchar_t* name) const
{
    DeleteFileW((path_ + L"\\" + name).c_str());
}

Settings DefaultSettings()
{
    Settings settings = {};
    settings.attenuation = 0.8f;
    return settings;
}

void AddStandardEndpoints()
{
    fake_audio::EndpointSpec speakers;
    speakers.id = kSpeakersId;
    speakers.friendly_name = L"Speakers";
    speakers.engine_format = fake_audio::FloatFormat(48000, 2);
    fake_audio::AddEndpoint(speakers, true);
    fake_audio::EndpointSpec six;
    six.id = kMultichannelId;
    six.friendly_name = L"Multichannel";
    six.engine_format = fake_audio::PcmFormat(48000, 6, 16, 16);
    fake_audio::AddEndpoint(six);
}

Lines Concat(std::initializer_list<Lines> parts)
{
    Lines all;
    for (const Lines& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

void CaptureThreadTest::SetUp()
{
    fake_audio::Reset();
    fake_audio::SetOutputClock(fake_audio::OutputClock::kManual);
    fake_audio::CaptureConfig capture;
    capture.real_time = false;
    capture.packet_frames = 240;
    fake_audio::SetCaptureConfig(capture);
    SetDeviceEnumeratorFactory(fake_audio::CreateEnumerator);
    LiveControls.divider_through = 0;
    LiveControls.mute_lfe = 0;
    LiveControls.mute_low = 0;
    LiveControls.mute_high = 0;
    stopEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    settings_ = DefaultSettings();
}

void CaptureThreadTest::TearDown()
{
    if (thread_ != nullptr) {
        SetEvent(stopEvent);
        if (WaitForSingleObject(thread_, 10000) != WAIT_OBJECT_0)
            ADD_FAILURE() << "capture thread did not end";
        CloseHandle(thread_);
        thread_ = nullptr;
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
}

void CaptureThreadTest::Start(const Settings& settings)
{
    settings_ = settings;
    thread_ = CreateThread(nullptr, 0, CaptureThreadProc, &settings_, 0, nullptr);
    ASSERT_NE(thread_, nullptr);
}

bool CaptureThreadTest::Join(DWORD timeout_ms)
{
    if (WaitForSingleObject(thread_, timeout_ms) != WAIT_OBJECT_0)
        return false;
    GetExitCodeThread(thread_, &exit_code_);
    CloseHandle(thread_);
    thread_ = nullptr;
    return true;
}

void CaptureThreadTest::RunStopped(const Settings& settings)
{
    SetEvent(stopEvent);
    Start(settings);
    ASSERT_TRUE(Join());
}
