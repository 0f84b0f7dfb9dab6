// The simulated audio client: the exclusive-mode rules of its endpoint's
// class at Initialize, and after Start a clock that sets the output's buffer
// event every period.
#include "simulated_devices/audio_client.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "simulated_devices/device_classes.h"

// Kernel32 has it (Windows 10 1607 and Wine), MinGW-w64 10's headers not.
extern "C" __declspec(dllimport) HRESULT WINAPI
    SetThreadDescription(HANDLE thread, PCWSTR description);

namespace simulated_devices {
namespace {

// What bench/wine_program_cost.py looks for in /proc/PID/task/*/comm
// (Wine gives the name to the Linux thread too).
const wchar_t* const kClockThreadName = L"standin-clock";

// A plain format's 18 bytes or an extensible one whole.
WaveFormat Copy(const WAVEFORMATEX* format)
{
    WaveFormat copy = {};
    std::memcpy(&copy, format,
                format->wFormatTag == WAVE_FORMAT_EXTENSIBLE ? sizeof(WaveFormat)
                                                             : kWaveFormatPlainBytes);
    return copy;
}

} // namespace

SimulatedAudioClient::~SimulatedAudioClient()
{
    StopTimer();
    Locked([&](State& s) {
        if (event_ != nullptr && s.output_event == event_)
            s.output_event = nullptr;
    });
}

HRESULT SimulatedAudioClient::Initialize(AUDCLNT_SHAREMODE mode, DWORD flags,
                                         REFERENCE_TIME duration, REFERENCE_TIME periodicity,
                                         const WAVEFORMATEX* format, LPCGUID)
{
    HRESULT hr = Enter("IAudioClient::Initialize");
    if (initialized_ || failed_)
        return FAILED(hr) ? hr : AUDCLNT_E_ALREADY_INITIALIZED;
    format_ = Copy(format);
    flags_ = flags;
    periodicity_ = periodicity;
    HRESULT refused = S_OK;
    if (mode == AUDCLNT_SHAREMODE_EXCLUSIVE) {
        refused = ExclusiveBuffer(spec_, format_, duration, periodicity, &buffer_frames_);
    } else {
        buffer_frames_ =
            static_cast<uint32_t>((duration * format_.samples_per_sec + 5000000) / 10000000);
    }
    // A refused client answers GetBufferSize, with the buffer it would have
    // had, and nothing else; an injected refusal leaves it so too.
    refused = FAILED(hr) ? hr : refused;
    failed_ = FAILED(refused);
    if (failed_)
        return refused;
    initialized_ = true;
    Locked([&](State& s) {
        s.d.initializations.push_back({spec_.id, mode, flags, duration, periodicity, format_});
    });
    return hr;
}

HRESULT SimulatedAudioClient::GetBufferSize(UINT32* frames)
{
    HRESULT hr = Enter("IAudioClient::GetBufferSize");
    if (FAILED(hr))
        return hr;
    *frames = buffer_frames_;
    return initialized_ || failed_ ? hr : AUDCLNT_E_NOT_INITIALIZED;
}

HRESULT SimulatedAudioClient::IsFormatSupported(AUDCLNT_SHAREMODE mode, const WAVEFORMATEX* format,
                                                WAVEFORMATEX** closest)
{
    if (closest != nullptr)
        *closest = nullptr;
    HRESULT hr = Enter("IAudioClient::IsFormatSupported");
    if (FAILED(hr) || failed_)
        return FAILED(hr) ? hr : AUDCLNT_E_NOT_INITIALIZED;
    HRESULT supported =
        mode == AUDCLNT_SHAREMODE_EXCLUSIVE ? ExclusiveFormatSupport(spec_, Copy(format)) : S_OK;
    return FAILED(supported) ? supported : hr;
}

HRESULT SimulatedAudioClient::GetMixFormat(WAVEFORMATEX** format)
{
    *format = nullptr;
    HRESULT hr = Enter("IAudioClient::GetMixFormat");
    if (FAILED(hr))
        return hr;
    auto* mix = static_cast<WaveFormat*>(CoTaskMemAlloc(sizeof(WaveFormat)));
    *mix = spec_.mix_format.format_tag != 0 ? spec_.mix_format : spec_.engine_format;
    *format = reinterpret_cast<WAVEFORMATEX*>(mix);
    return hr;
}

HRESULT SimulatedAudioClient::GetDevicePeriod(REFERENCE_TIME* default_period,
                                              REFERENCE_TIME* minimum_period)
{
    HRESULT hr = Enter("IAudioClient::GetDevicePeriod");
    if (FAILED(hr))
        return hr;
    if (failed_)
        return AUDCLNT_E_NOT_INITIALIZED;
    DevicePeriods(spec_, default_period, minimum_period);
    return hr;
}

HRESULT SimulatedAudioClient::Start()
{
    HRESULT hr = Enter("IAudioClient::Start");
    if (FAILED(hr) || FAILED(hr = Lost()))
        return hr;
    if (!initialized_ || started_)
        return initialized_ ? AUDCLNT_E_NOT_STOPPED : AUDCLNT_E_NOT_INITIALIZED;
    started_ = true;
    QueryPerformanceCounter(&start_time_);
    bool real_time = Locked([](State& s) { return s.d.clock == OutputClock::kRealTime; });
    if (event_ != nullptr && real_time) {
        timer_stop_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        timer_ = std::thread(&SimulatedAudioClient::TimerLoop, this);
    }
    if (!loopback())
        OutputStarted();
    return hr;
}

HRESULT SimulatedAudioClient::Stop()
{
    HRESULT hr = Enter("IAudioClient::Stop");
    if (FAILED(hr))
        return hr;
    if (!started_)
        return S_FALSE;
    started_ = false;
    StopTimer();
    return hr;
}

HRESULT SimulatedAudioClient::SetEventHandle(HANDLE event)
{
    HRESULT hr = Enter("IAudioClient::SetEventHandle");
    if (FAILED(hr))
        return hr;
    if (event == nullptr || !initialized_ || (flags_ & AUDCLNT_STREAMFLAGS_EVENTCALLBACK) == 0) {
        return E_INVALIDARG;
    }
    event_ = event;
    Locked([&](State& s) { s.output_event = event; });
    return hr;
}

void SimulatedAudioClient::TimerLoop()
{
    // Named so that profiles and the cost benchmark can tell the device's
    // clock from the program's threads; unnamed, it works the same.
    if (FAILED(SetThreadDescription(GetCurrentThread(), kClockThreadName)))
        std::fprintf(stderr, "standin: the device clock thread has no name\n");
    double period = std::max(1e-3, static_cast<double>(periodicity_) / 1e7);
    bool signal = false;
    for (uint64_t tick = 1;; ++tick) {
        double wait_ms = std::max(0.0, (tick * period - SecondsSince(start_time_)) * 1000);
        const DWORD timeout = static_cast<DWORD>(wait_ms + 0.5);
        // Setting the event and waiting for the next tick in one call: one
        // request to Wine's server a period instead of two.
        const DWORD waited = signal ? SignalObjectAndWait(event_, timer_stop_, timeout, FALSE)
                                    : WaitForSingleObject(timer_stop_, timeout);
        if (waited == WAIT_OBJECT_0)
            return;
        signal = !ClientSilenced(spec_.id, serial_);
    }
}

void SimulatedAudioClient::StopTimer()
{
    if (!timer_.joinable())
        return;
    SetEvent(timer_stop_);
    timer_.join();
    CloseHandle(timer_stop_);
}

HRESULT SimulatedAudioClient::GetService(REFIID iid, void** service)
{
    *service = nullptr;
    HRESULT hr = Enter("IAudioClient::GetService");
    if (FAILED(hr))
        return hr;
    // The render service on the output stream, the capture one on the loopback.
    if (!initialized_ || (iid == IID_IAudioRenderClient) == loopback())
        return AUDCLNT_E_WRONG_ENDPOINT_TYPE;
    if (iid == IID_IAudioRenderClient)
        *service = NewRenderClient(this);
    else if (iid == IID_IAudioCaptureClient)
        *service = NewCaptureClient(this);
    return *service != nullptr ? hr : E_NOINTERFACE;
}

IAudioClient* NewAudioClient(const EndpointSpec& spec)
{
    return new SimulatedAudioClient(spec);
}

} // namespace simulated_devices
