// The simulated streams: audio clients whose loopback side plays a signal
// and whose output side records what it is given, with their render and
// capture services, and what the tests observe of them.
#include "simulated_devices/device_classes.h"
#include "simulated_devices/device_state.h"

#include <algorithm>
#include <cstring>
#include <thread>

namespace simulated_devices {
namespace {

class SimulatedAudioClient : public Object<IAudioClient> {
public:
    explicit SimulatedAudioClient(const EndpointSpec& spec)
        : Object("IAudioClient"), spec_(spec), serial_(NewClientSerial())
    {
    }
    ~SimulatedAudioClient() override
    {
        StopTimer();
        Locked([&](State& s) {
            if (event_ != nullptr && s.output_event == event_)
                s.output_event = nullptr;
        });
    }

    HRESULT STDMETHODCALLTYPE Initialize(AUDCLNT_SHAREMODE mode, DWORD flags,
                                         REFERENCE_TIME duration, REFERENCE_TIME periodicity,
                                         const WAVEFORMATEX* format, LPCGUID) override
    {
        HRESULT hr = Enter("IAudioClient::Initialize");
        if (FAILED(hr))
            return hr;
        if (initialized_ || failed_)
            return AUDCLNT_E_ALREADY_INITIALIZED;
        format_ = Copy(format);
        flags_ = flags;
        periodicity_ = periodicity;
        if (mode == AUDCLNT_SHAREMODE_EXCLUSIVE) {
            // A refused client answers GetBufferSize and nothing else.
            HRESULT refused =
                ExclusiveBuffer(spec_, format_, duration, periodicity, &buffer_frames_);
            failed_ = FAILED(refused);
            if (failed_)
                return refused;
        } else {
            buffer_frames_ =
                static_cast<uint32_t>((duration * format_.samples_per_sec + 5000000) / 10000000);
        }
        initialized_ = true;
        Locked([&](State& s) {
            s.d.initializations.push_back({spec_.id, mode, flags, duration, periodicity, format_});
        });
        return hr;
    }
    HRESULT STDMETHODCALLTYPE GetBufferSize(UINT32* frames) override
    {
        HRESULT hr = Enter("IAudioClient::GetBufferSize");
        if (FAILED(hr))
            return hr;
        *frames = buffer_frames_;
        return initialized_ || failed_ ? hr : AUDCLNT_E_NOT_INITIALIZED;
    }
    HRESULT STDMETHODCALLTYPE IsFormatSupported(AUDCLNT_SHAREMODE mode, const WAVEFORMATEX* format,
                                                WAVEFORMATEX** closest) override
    {
        if (closest != nullptr)
            *closest = nullptr;
        HRESULT hr = Enter("IAudioClient::IsFormatSupported");
        if (FAILED(hr) || failed_)
            return FAILED(hr) ? hr : AUDCLNT_E_NOT_INITIALIZED;
        HRESULT supported = mode == AUDCLNT_SHAREMODE_EXCLUSIVE
                                ? ExclusiveFormatSupport(spec_, Copy(format))
                                : S_OK;
        return FAILED(supported) ? supported : hr;
    }
    HRESULT STDMETHODCALLTYPE GetMixFormat(WAVEFORMATEX** format) override
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
    HRESULT STDMETHODCALLTYPE GetDevicePeriod(REFERENCE_TIME* default_period,
                                              REFERENCE_TIME* minimum_period) override
    {
        HRESULT hr = Enter("IAudioClient::GetDevicePeriod");
        if (FAILED(hr))
            return hr;
        if (failed_)
            return AUDCLNT_E_NOT_INITIALIZED;
        DevicePeriods(spec_, default_period, minimum_period);
        return hr;
    }
    HRESULT STDMETHODCALLTYPE Start() override
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
    HRESULT STDMETHODCALLTYPE Stop() override
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
    HRESULT STDMETHODCALLTYPE SetEventHandle(HANDLE event) override
    {
        HRESULT hr = Enter("IAudioClient::SetEventHandle");
        if (FAILED(hr))
            return hr;
        if (event == nullptr || !initialized_ ||
            (flags_ & AUDCLNT_STREAMFLAGS_EVENTCALLBACK) == 0) {
            return E_INVALIDARG;
        }
        event_ = event;
        Locked([&](State& s) { s.output_event = event; });
        return hr;
    }
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
    // A plain format's 18 bytes or an extensible one whole.
    static WaveFormat Copy(const WAVEFORMATEX* format)
    {
        WaveFormat copy = {};
        std::memcpy(&copy, format,
                    format->wFormatTag == WAVE_FORMAT_EXTENSIBLE ? sizeof(WaveFormat)
                                                                 : kWaveFormatPlainBytes);
        return copy;
    }
    // Sets the event every period, without drift, until StopTimer.
    void TimerLoop()
    {
        double period = std::max(1e-3, static_cast<double>(periodicity_) / 1e7);
        for (uint64_t tick = 1;; ++tick) {
            double wait_ms = std::max(0.0, (tick * period - SecondsSince(start_time_)) * 1000);
            if (WaitForSingleObject(timer_stop_, static_cast<DWORD>(wait_ms + 0.5)) == 0)
                return;
            if (!ClientSilenced(spec_.id, serial_))
                SetEvent(event_);
        }
    }
    void StopTimer()
    {
        if (!timer_.joinable())
            return;
        SetEvent(timer_stop_);
        timer_.join();
        CloseHandle(timer_stop_);
    }

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

class SimulatedRenderClient : public Service<IAudioRenderClient> {
public:
    explicit SimulatedRenderClient(SimulatedAudioClient* client)
        : Service("IAudioRenderClient", client)
    {
    }
    HRESULT STDMETHODCALLTYPE GetBuffer(UINT32 frames, BYTE** data) override
    {
        *data = nullptr;
        HRESULT hr = Enter("IAudioRenderClient::GetBuffer");
        if (FAILED(hr) || FAILED(hr = client_->Lost()))
            return hr;
        if (pending_ != 0)
            return AUDCLNT_E_OUT_OF_ORDER;
        if (frames > client_->buffer_frames())
            return AUDCLNT_E_BUFFER_TOO_LARGE;
        // Stale bytes, as a device buffer has: a buffer released silent
        // without being written must not pass for data.
        buffer_.assign(static_cast<size_t>(frames) * client_->format().block_align, 0xCD);
        pending_ = frames;
        *data = buffer_.data();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE ReleaseBuffer(UINT32 frames, DWORD flags) override
    {
        HRESULT hr = Enter("IAudioRenderClient::ReleaseBuffer");
        if (FAILED(hr) || FAILED(hr = client_->Lost()))
            return hr;
        if (frames > pending_)
            return AUDCLNT_E_INVALID_SIZE;
        pending_ = 0;
        size_t bytes = static_cast<size_t>(frames) * client_->format().block_align;
        if (flags & AUDCLNT_BUFFERFLAGS_SILENT)
            std::fill(buffer_.begin(), buffer_.begin() + bytes, 0);
        Record(StreamEvent::kRender, frames, flags, buffer_, bytes, client_->format());
        return hr;
    }
};

class SimulatedCaptureClient : public Service<IAudioCaptureClient> {
public:
    explicit SimulatedCaptureClient(SimulatedAudioClient* client)
        : Service("IAudioCaptureClient", client),
          config_(Locked([](State& s) { return s.d.capture; }))
    {
        packet_frames_ = config_.packet_frames != 0
                             ? config_.packet_frames
                             : std::max<uint32_t>(1, client->format().samples_per_sec / 100);
    }
    HRESULT STDMETHODCALLTYPE GetNextPacketSize(UINT32* frames) override
    {
        *frames = 0;
        HRESULT hr = Enter("IAudioCaptureClient::GetNextPacketSize");
        if (FAILED(hr) || FAILED(hr = client_->Lost()))
            return hr;
        Packet packet;
        if (pending_ == 0 && NextPacket(&packet))
            *frames = packet.frames;
        return hr;
    }
    HRESULT STDMETHODCALLTYPE GetBuffer(BYTE** data, UINT32* frames, DWORD* flags, UINT64*,
                                        UINT64*) override
    {
        *data = nullptr;
        *frames = 0;
        *flags = 0;
        HRESULT hr = Enter("IAudioCaptureClient::GetBuffer");
        if (FAILED(hr) || FAILED(hr = client_->Lost()))
            return hr;
        Packet packet;
        if (pending_ != 0)
            return AUDCLNT_E_OUT_OF_ORDER;
        if (!NextPacket(&packet))
            return AUDCLNT_S_BUFFER_EMPTY;
        const WaveFormat& format = client_->format();
        position_ += packet.lost;
        buffer_.assign(static_cast<size_t>(packet.frames) * format.block_align, 0x5A);
        if (!packet.silent && config_.source != nullptr && format.bits_per_sample == 32) {
            config_.source(reinterpret_cast<float*>(buffer_.data()), packet.frames, format.channels,
                           format.samples_per_sec, position_, config_.context);
        } else if (!packet.silent) {
            std::fill(buffer_.begin(), buffer_.end(), 0);
        }
        pending_ = packet.frames;
        pending_flags_ = (packet.silent ? AUDCLNT_BUFFERFLAGS_SILENT : 0) |
                         (packet.lost != 0 ? AUDCLNT_BUFFERFLAGS_DATA_DISCONTINUITY : 0);
        *data = buffer_.data();
        *frames = pending_;
        *flags = pending_flags_;
        return hr;
    }
    HRESULT STDMETHODCALLTYPE ReleaseBuffer(UINT32 frames) override
    {
        HRESULT hr = Enter("IAudioCaptureClient::ReleaseBuffer");
        if (FAILED(hr))
            return hr;
        if (frames != 0 && frames != pending_)
            return AUDCLNT_E_INVALID_SIZE;
        if (frames != 0) {
            Record(StreamEvent::kCapture, frames, pending_flags_, buffer_, buffer_.size(),
                   client_->format());
            ++served_;
            position_ += frames;
            Locked([&](State& s) {
                if (!config_.real_time && !s.d.queued.empty())
                    s.d.queued.pop_front();
            });
        }
        pending_ = 0;
        return hr;
    }

private:
    // The packet due now, if any.
    bool NextPacket(Packet* packet)
    {
        if (!config_.real_time) {
            return Locked([&](State& s) {
                if (s.d.queued.empty())
                    return false;
                *packet = s.d.queued.front();
                if (packet->frames == 0)
                    packet->frames = packet_frames_;
                return true;
            });
        }
        *packet = {packet_frames_, false, 0};
        // The engine mixes only into the default endpoint's loopback.
        if (!IsDefaultEndpoint(client_->endpoint_id()))
            return false;
        uint64_t due = client_->ElapsedFrames() / packet_frames_;
        // A reader more than a buffer behind loses the oldest packets, as
        // the engine overwrites them.
        uint64_t held = std::max<uint64_t>(1, client_->buffer_frames() / packet_frames_);
        served_ = std::max(served_, due > held ? due - held : 0);
        position_ = served_ * packet_frames_;
        return served_ < due;
    }

    CaptureConfig config_;
    uint32_t packet_frames_;
    DWORD pending_flags_ = 0;
    uint64_t served_ = 0;   // real time: packets, the lost ones included
    uint64_t position_ = 0; // frames of the signal served so far
};

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
        *service = static_cast<IAudioRenderClient*>(new SimulatedRenderClient(this));
    else if (iid == IID_IAudioCaptureClient)
        *service = static_cast<IAudioCaptureClient*>(new SimulatedCaptureClient(this));
    return *service != nullptr ? hr : E_NOINTERFACE;
}

} // namespace

IAudioClient* NewAudioClient(const EndpointSpec& spec)
{
    return new SimulatedAudioClient(spec);
}

void SetCaptureConfig(const CaptureConfig& config)
{
    Locked([&](State& s) { s.d.capture = config; });
}

void QueueCapturePackets(uint32_t count, bool silent, uint32_t frames, uint32_t lost)
{
    Locked([&](State& s) {
        for (uint32_t i = 0; i < count; ++i)
            s.d.queued.push_back(Packet{frames, silent, i == 0 ? lost : 0});
    });
}

void SetOutputClock(OutputClock clock)
{
    Locked([&](State& s) { s.d.clock = clock; });
}

void SignalOutputEvent()
{
    Locked([](State& s) {
        if (s.output_event != nullptr)
            SetEvent(s.output_event);
    });
}

void SetStreamSink(StreamSink sink, void* context)
{
    Locked([&](State& s) {
        s.d.sink = sink;
        s.d.sink_context = context;
    });
}

void SetRecording(bool record)
{
    Locked([&](State& s) { s.d.record = record; });
}

std::vector<StreamEvent> StreamLog()
{
    return Locked([](State& s) { return s.d.stream; });
}

size_t RenderedCount()
{
    return Locked([](State& s) { return s.d.rendered; });
}

bool WaitForRendered(size_t count, DWORD timeout_ms)
{
    std::unique_lock<std::mutex> lock(S().mutex);
    return S().rendered_changed.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                                         [count] { return S().d.rendered >= count; });
}

std::vector<InitializeCall> Initializations()
{
    return Locked([](State& s) { return s.d.initializations; });
}

std::vector<std::string> LiveObjects()
{
    std::vector<std::string> names;
    for (const auto& entry : Locked([](State& s) { return s.live; }))
        names.push_back(entry.second);
    return names;
}

} // namespace simulated_devices
