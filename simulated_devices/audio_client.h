// The simulated audio client, with its clock, and the base of the render
// and capture services it hands out. Internal to this library.
#pragma once

#include <windows.h>

#include <audioclient.h>

#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "simulated_devices/device_state.h"

namespace simulated_devices {

class SimulatedAudioClient : public Object<IAudioClient> {
public:
    explicit SimulatedAudioClient(const EndpointSpec& spec)
        : Object("IAudioClient"), spec_(spec), serial_(NewClientSerial())
    {
    }
    ~SimulatedAudioClient() override;

    HRESULT STDMETHODCALLTYPE Initialize(AUDCLNT_SHAREMODE mode, DWORD flags,
                                         REFERENCE_TIME duration, REFERENCE_TIME periodicity,
                                         const WAVEFORMATEX* format, LPCGUID) override;
    HRESULT STDMETHODCALLTYPE GetBufferSize(UINT32* frames) override;
    HRESULT STDMETHODCALLTYPE IsFormatSupported(AUDCLNT_SHAREMODE mode, const WAVEFORMATEX* format,
                                                WAVEFORMATEX** closest) override;
    HRESULT STDMETHODCALLTYPE GetMixFormat(WAVEFORMATEX** format) override;
    HRESULT STDMETHODCALLTYPE GetDevicePeriod(REFERENCE_TIME* default_period,
                                              REFERENCE_TIME* minimum_period) override;
    HRESULT STDMETHODCALLTYPE Start() override;
    HRESULT STDMETHODCALLTYPE Stop() override;
    HRESULT STDMETHODCALLTYPE SetEventHandle(HANDLE event) override;
    HRESULT STDMETHODCALLTYPE GetService(REFIID iid, void** service) override;
    UNUSED_METHOD(IAudioClient, GetStreamLatency, REFERENCE_TIME*);
    UNUSED_METHOD(IAudioClient, GetCurrentPadding, UINT32*);
    UNUSED_METHOD(IAudioClient, Reset);

    bool loopback() const { return (flags_ & AUDCLNT_STREAMFLAGS_LOOPBACK) != 0; }
    const std::wstring& endpoint_id() const { return spec_.id; }
    HRESULT Lost() const { return ClientLost(spec_.id, serial_, loopback()); }
    const WaveFormat& format() const { return format_; }
    uint32_t buffer_frames() const { return buffer_frames_; }
    // Frames played since Start, none while stopped.
    uint64_t ElapsedFrames() const
    {
        return started_ ? static_cast<uint64_t>(SecondsSince(start_time_) * format_.samples_per_sec)
                        : 0;
    }

private:
    // Sets the event every period, without drift, until StopTimer.
    void TimerLoop();
    void StopTimer();

    EndpointSpec spec_;
    uint64_t serial_;
    WaveFormat format_ = {};
    DWORD flags_ = 0;
    REFERENCE_TIME periodicity_ = 0;
    uint32_t buffer_frames_ = 0;
    bool initialized_ = false;
    bool failed_ = false; // Initialize refused: no further use
    bool started_ = false;
    LARGE_INTEGER start_time_ = {};
    HANDLE event_ = nullptr;
    HANDLE timer_stop_ = nullptr;
    std::thread timer_;
};

// Holds its audio client while it lives, as the platform's services do.
template <class Interface> class Service : public Object<Interface> {
public:
    Service(const char* name, SimulatedAudioClient* client)
        : Object<Interface>(name), client_(client)
    {
        client_->AddRef();
    }
    ~Service() override { client_->Release(); }

protected:
    SimulatedAudioClient* client_;
    std::vector<uint8_t> buffer_;
    uint32_t pending_ = 0; // frames handed out and not yet released
};

// The services of an initialised client (render_client.cpp, capture_client.cpp).
IAudioRenderClient* NewRenderClient(SimulatedAudioClient* client);
IAudioCaptureClient* NewCaptureClient(SimulatedAudioClient* client);

} // namespace simulated_devices
