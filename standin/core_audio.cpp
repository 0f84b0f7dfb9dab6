#include "core_audio.h"

#include <functiondiscoverykeys_devpkey.h>
#include <propidl.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

namespace standin {
namespace {

struct Packet {
    uint32_t frames; // 0: the configured packet size
    bool silent;
};

struct Failure {
    std::string method;
    HRESULT result;
    int occurrence;
};

// Everything Reset forgets.
struct Data {
    std::vector<EndpointSpec> endpoints;
    size_t default_index = 0;
    std::vector<Failure> failures;
    std::map<std::string, int> call_counts;
    std::vector<std::string> log;
    CaptureConfig capture;
    std::deque<Packet> queued; // manual pacing
    OutputClock clock = OutputClock::kRealTime;
    StreamSink sink = nullptr;
    void* sink_context = nullptr;
    bool record = true;
    std::vector<StreamEvent> stream;
    size_t rendered = 0;
    std::vector<InitializeCall> initializations;
};

struct State {
    std::mutex mutex;
    std::condition_variable rendered_changed;
    Data d;
    HANDLE output_event = nullptr; // of the live output client
    std::map<const void*, std::string> live;
};

State& S()
{
    static State state;
    return state;
}

// Runs `f` on the state under its lock.
template <class F> auto Locked(F f)
{
    std::lock_guard<std::mutex> lock(S().mutex);
    return f(S());
}

// Logs the call and returns what it is to answer: an injected result or S_OK.
HRESULT Enter(const char* method)
{
    return Locked([method](State& s) {
        if (s.d.record)
            s.d.log.emplace_back(method);
        int n = ++s.d.call_counts[method];
        for (const Failure& f : s.d.failures) {
            if (f.method == method && f.occurrence == n)
                return f.result;
        }
        return S_OK;
    });
}

// Starts a method: an injected failure is returned at once, an injected
// success code (in `hr`) after the method's work.
#define ENTER(method)                                                                              \
    HRESULT hr = Enter(method);                                                                    \
    if (FAILED(hr))                                                                                \
    return hr

// Methods the program does not call: logged, not implemented.
#define UNUSED_METHOD(Interface, Method, ...)                                                      \
    HRESULT STDMETHODCALLTYPE Method(__VA_ARGS__) override                                         \
    {                                                                                              \
        return FAILED(Enter(#Interface "::" #Method)) ? E_FAIL : E_NOTIMPL;                        \
    }

double SecondsSince(LARGE_INTEGER start)
{
    LARGE_INTEGER frequency, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart - start.QuadPart) / frequency.QuadPart;
}

LPWSTR CopyString(const std::wstring& text)
{
    size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    auto* copy = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
    std::memcpy(copy, text.c_str(), bytes);
    return copy;
}

// IUnknown for one interface; registers the object as live while it lives.
template <class Interface> class Object : public Interface {
public:
    explicit Object(const char* name)
    {
        Locked([&](State& s) { s.live[this] = name; });
    }
    virtual ~Object()
    {
        Locked([&](State& s) { s.live.erase(this); });
    }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        *object = nullptr;
        if (iid != IID_IUnknown && iid != __uuidof(Interface))
            return E_NOINTERFACE;
        *object = static_cast<Interface*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        ULONG refs = --refs_;
        if (refs == 0)
            delete this;
        return refs;
    }

private:
    std::atomic<ULONG> refs_{1};
};

// Logs a released packet or buffer and hands it to the sink (outside the
// lock: the sink may call back in).
void Record(StreamEvent::Kind kind, uint32_t frames, DWORD flags, const std::vector<uint8_t>& data,
            size_t bytes, const WaveFormat& format)
{
    auto [sink, context] = Locked([&](State& s) {
        if (s.d.record)
            s.d.stream.push_back({kind, frames, flags, {data.begin(), data.begin() + bytes}});
        if (kind == StreamEvent::kRender)
            ++s.d.rendered;
        s.rendered_changed.notify_all();
        return std::make_pair(s.d.sink, s.d.sink_context);
    });
    if (sink != nullptr)
        sink(kind, data.data(), frames, flags, format, context);
}

class StandInPropertyStore : public Object<IPropertyStore> {
public:
    explicit StandInPropertyStore(const EndpointSpec& spec) : Object("IPropertyStore"), spec_(spec)
    {
    }
    HRESULT STDMETHODCALLTYPE GetValue(REFPROPERTYKEY key, PROPVARIANT* value) override
    {
        PropVariantInit(value);
        ENTER("IPropertyStore::GetValue");
        if (IsEqualPropertyKey(key, PKEY_Device_FriendlyName)) {
            value->vt = spec_.name_type;
            if (value->vt == VT_LPWSTR)
                value->pwszVal = CopyString(spec_.friendly_name);
        } else if (IsEqualPropertyKey(key, PKEY_AudioEngine_DeviceFormat)) {
            value->vt = spec_.format_type;
            if (value->vt == VT_BLOB) {
                ULONG bytes = std::min<ULONG>(spec_.format_blob_bytes, sizeof(WaveFormat));
                value->blob.cbSize = bytes;
                value->blob.pBlobData = static_cast<BYTE*>(CoTaskMemAlloc(bytes));
                std::memcpy(value->blob.pBlobData, &spec_.engine_format, bytes);
            }
        }
        return hr;
    }
    UNUSED_METHOD(IPropertyStore, GetCount, DWORD*);
    UNUSED_METHOD(IPropertyStore, GetAt, DWORD, PROPERTYKEY*);
    UNUSED_METHOD(IPropertyStore, SetValue, REFPROPERTYKEY, REFPROPVARIANT);
    UNUSED_METHOD(IPropertyStore, Commit);

private:
    EndpointSpec spec_;
};

class StandInAudioClient : public Object<IAudioClient> {
public:
    explicit StandInAudioClient(const EndpointSpec& spec) : Object("IAudioClient"), spec_(spec) {}
    ~StandInAudioClient() override
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
        ENTER("IAudioClient::Initialize");
        if (initialized_)
            return AUDCLNT_E_ALREADY_INITIALIZED;
        initialized_ = true;
        std::memcpy(&format_, format,
                    format->wFormatTag == WAVE_FORMAT_EXTENSIBLE ? sizeof(WaveFormat)
                                                                 : kWaveFormatPlainBytes);
        flags_ = flags;
        periodicity_ = periodicity;
        buffer_frames_ =
            static_cast<uint32_t>((duration * format_.samples_per_sec + 5000000) / 10000000);
        Locked([&](State& s) {
            s.d.initializations.push_back({spec_.id, mode, flags, duration, periodicity, format_});
        });
        return hr;
    }
    HRESULT STDMETHODCALLTYPE GetBufferSize(UINT32* frames) override
    {
        ENTER("IAudioClient::GetBufferSize");
        *frames = buffer_frames_;
        return initialized_ ? hr : AUDCLNT_E_NOT_INITIALIZED;
    }
    HRESULT STDMETHODCALLTYPE IsFormatSupported(AUDCLNT_SHAREMODE, const WAVEFORMATEX*,
                                                WAVEFORMATEX** closest) override
    {
        if (closest != nullptr)
            *closest = nullptr;
        return Enter("IAudioClient::IsFormatSupported");
    }
    HRESULT STDMETHODCALLTYPE GetMixFormat(WAVEFORMATEX** format) override
    {
        *format = nullptr;
        ENTER("IAudioClient::GetMixFormat");
        auto* mix = static_cast<WaveFormat*>(CoTaskMemAlloc(sizeof(WaveFormat)));
        *mix = spec_.mix_format.format_tag != 0 ? spec_.mix_format : spec_.engine_format;
        *format = reinterpret_cast<WAVEFORMATEX*>(mix);
        return hr;
    }
    HRESULT STDMETHODCALLTYPE GetDevicePeriod(REFERENCE_TIME* default_period,
                                              REFERENCE_TIME* minimum_period) override
    {
        ENTER("IAudioClient::GetDevicePeriod");
        *default_period = 100000;
        *minimum_period = 30000;
        return hr;
    }
    HRESULT STDMETHODCALLTYPE Start() override
    {
        ENTER("IAudioClient::Start");
        if (!initialized_ || started_)
            return initialized_ ? AUDCLNT_E_NOT_STOPPED : AUDCLNT_E_NOT_INITIALIZED;
        started_ = true;
        QueryPerformanceCounter(&start_time_);
        bool real_time = Locked([](State& s) { return s.d.clock == OutputClock::kRealTime; });
        if (event_ != nullptr && real_time) {
            timer_stop_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
            timer_ = std::thread(&StandInAudioClient::TimerLoop, this);
        }
        return hr;
    }
    HRESULT STDMETHODCALLTYPE Stop() override
    {
        ENTER("IAudioClient::Stop");
        if (!started_)
            return S_FALSE;
        started_ = false;
        StopTimer();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE SetEventHandle(HANDLE event) override
    {
        ENTER("IAudioClient::SetEventHandle");
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
    void TimerLoop()
    {
        double period = std::max(1e-3, static_cast<double>(periodicity_) / 1e7);
        for (uint64_t tick = 1;; ++tick) {
            double wait_ms = std::max(0.0, (tick * period - SecondsSince(start_time_)) * 1000);
            if (WaitForSingleObject(timer_stop_, static_cast<DWORD>(wait_ms + 0.5)) == 0)
                return;
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
    WaveFormat format_ = {};
    DWORD flags_ = 0;
    REFERENCE_TIME periodicity_ = 0;
    uint32_t buffer_frames_ = 0;
    bool initialized_ = false;
    bool started_ = false;
    LARGE_INTEGER start_time_ = {};
    HANDLE event_ = nullptr;
    HANDLE timer_stop_ = nullptr;
    std::thread timer_;
};

// Holds its audio client while it lives, as the platform's services do.
template <class Interface> class Service : public Object<Interface> {
public:
    Service(const char* name, StandInAudioClient* client) : Object<Interface>(name), client_(client)
    {
        client_->AddRef();
    }
    ~Service() override { client_->Release(); }

protected:
    StandInAudioClient* client_;
    std::vector<uint8_t> buffer_;
    uint32_t pending_ = 0; // frames handed out and not yet released
};

class StandInRenderClient : public Service<IAudioRenderClient> {
public:
    explicit StandInRenderClient(StandInAudioClient* client) : Service("IAudioRenderClient", client)
    {
    }
    HRESULT STDMETHODCALLTYPE GetBuffer(UINT32 frames, BYTE** data) override
    {
        *data = nullptr;
        ENTER("IAudioRenderClient::GetBuffer");
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
        ENTER("IAudioRenderClient::ReleaseBuffer");
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

class StandInCaptureClient : public Service<IAudioCaptureClient> {
public:
    explicit StandInCaptureClient(StandInAudioClient* client)
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
        ENTER("IAudioCaptureClient::GetNextPacketSize");
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
        ENTER("IAudioCaptureClient::GetBuffer");
        Packet packet;
        if (pending_ != 0)
            return AUDCLNT_E_OUT_OF_ORDER;
        if (!NextPacket(&packet))
            return AUDCLNT_S_BUFFER_EMPTY;
        const WaveFormat& format = client_->format();
        buffer_.assign(static_cast<size_t>(packet.frames) * format.block_align, 0x5A);
        if (!packet.silent && config_.source != nullptr && format.bits_per_sample == 32) {
            config_.source(reinterpret_cast<float*>(buffer_.data()), packet.frames, format.channels,
                           format.samples_per_sec, position_, config_.context);
        } else if (!packet.silent) {
            std::fill(buffer_.begin(), buffer_.end(), 0);
        }
        pending_ = packet.frames;
        pending_flags_ = packet.silent ? AUDCLNT_BUFFERFLAGS_SILENT : 0;
        *data = buffer_.data();
        *frames = pending_;
        *flags = pending_flags_;
        return hr;
    }
    HRESULT STDMETHODCALLTYPE ReleaseBuffer(UINT32 frames) override
    {
        ENTER("IAudioCaptureClient::ReleaseBuffer");
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
        *packet = {packet_frames_, false};
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

HRESULT StandInAudioClient::GetService(REFIID iid, void** service)
{
    *service = nullptr;
    ENTER("IAudioClient::GetService");
    // The render service on the output stream, the capture one on the loopback.
    if (!initialized_ || (iid == IID_IAudioRenderClient) == loopback())
        return AUDCLNT_E_WRONG_ENDPOINT_TYPE;
    if (iid == IID_IAudioRenderClient)
        *service = static_cast<IAudioRenderClient*>(new StandInRenderClient(this));
    else if (iid == IID_IAudioCaptureClient)
        *service = static_cast<IAudioCaptureClient*>(new StandInCaptureClient(this));
    return *service != nullptr ? hr : E_NOINTERFACE;
}

class StandInDevice : public Object<IMMDevice> {
public:
    explicit StandInDevice(const EndpointSpec& spec) : Object("IMMDevice"), spec_(spec) {}
    HRESULT STDMETHODCALLTYPE Activate(REFIID iid, DWORD, PROPVARIANT*, void** object) override
    {
        *object = nullptr;
        ENTER("IMMDevice::Activate");
        if (iid != IID_IAudioClient)
            return E_NOINTERFACE;
        *object = static_cast<IAudioClient*>(new StandInAudioClient(spec_));
        return hr;
    }
    HRESULT STDMETHODCALLTYPE OpenPropertyStore(DWORD access, IPropertyStore** store) override
    {
        *store = nullptr;
        ENTER("IMMDevice::OpenPropertyStore");
        if (access != STGM_READ)
            return E_ACCESSDENIED;
        *store = new StandInPropertyStore(spec_);
        return hr;
    }
    HRESULT STDMETHODCALLTYPE GetId(LPWSTR* id) override
    {
        *id = nullptr;
        ENTER("IMMDevice::GetId");
        *id = CopyString(spec_.id);
        return hr;
    }
    UNUSED_METHOD(IMMDevice, GetState, DWORD*);

private:
    EndpointSpec spec_;
};

class StandInCollection : public Object<IMMDeviceCollection> {
public:
    explicit StandInCollection(std::vector<EndpointSpec> endpoints)
        : Object("IMMDeviceCollection"), endpoints_(std::move(endpoints))
    {
    }
    HRESULT STDMETHODCALLTYPE GetCount(UINT* count) override
    {
        *count = 0;
        ENTER("IMMDeviceCollection::GetCount");
        *count = static_cast<UINT>(endpoints_.size());
        return hr;
    }
    HRESULT STDMETHODCALLTYPE Item(UINT index, IMMDevice** device) override
    {
        *device = nullptr;
        ENTER("IMMDeviceCollection::Item");
        if (index >= endpoints_.size())
            return E_INVALIDARG;
        *device = new StandInDevice(endpoints_[index]);
        return hr;
    }

private:
    std::vector<EndpointSpec> endpoints_;
};

class StandInEnumerator : public Object<IMMDeviceEnumerator> {
public:
    StandInEnumerator() : Object("IMMDeviceEnumerator") {}
    HRESULT STDMETHODCALLTYPE EnumAudioEndpoints(EDataFlow flow, DWORD mask,
                                                 IMMDeviceCollection** devices) override
    {
        *devices = nullptr;
        ENTER("IMMDeviceEnumerator::EnumAudioEndpoints");
        // Every described endpoint is an active render endpoint.
        bool wanted = (flow == eRender || flow == eAll) && (mask & DEVICE_STATE_ACTIVE) != 0;
        auto endpoints = Locked([](State& s) { return s.d.endpoints; });
        *devices = new StandInCollection(wanted ? endpoints : std::vector<EndpointSpec>());
        return hr;
    }
    HRESULT STDMETHODCALLTYPE GetDefaultAudioEndpoint(EDataFlow flow, ERole,
                                                      IMMDevice** endpoint) override
    {
        *endpoint = nullptr;
        ENTER("IMMDeviceEnumerator::GetDefaultAudioEndpoint");
        auto [endpoints, index] =
            Locked([](State& s) { return std::make_pair(s.d.endpoints, s.d.default_index); });
        if (flow != eRender || endpoints.empty())
            return HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
        *endpoint = new StandInDevice(endpoints[index]);
        return hr;
    }
    UNUSED_METHOD(IMMDeviceEnumerator, GetDevice, LPCWSTR, IMMDevice**);
    UNUSED_METHOD(IMMDeviceEnumerator, RegisterEndpointNotificationCallback,
                  IMMNotificationClient*);
    UNUSED_METHOD(IMMDeviceEnumerator, UnregisterEndpointNotificationCallback,
                  IMMNotificationClient*);
};

} // namespace

WaveFormat FloatFormat(uint32_t rate, uint16_t channels)
{
    WaveFormat format = PcmFormat(rate, channels, 32, 32);
    format.sub_format = kSubtypeFloat;
    return format;
}

WaveFormat PcmFormat(uint32_t rate, uint16_t channels, uint16_t bits, uint16_t valid_bits)
{
    // As engines describe themselves: speaker positions for stereo and 5.1.
    WaveFormat format = ExtensibleFormat(channels, rate, bits, kSubtypePcm);
    format.valid_bits_per_sample = valid_bits;
    format.channel_mask = channels == 2 ? 0x3u : channels == 6 ? 0x3Fu : 0u;
    return format;
}

void Reset()
{
    Locked([](State& s) { s.d = Data(); });
}

void AddEndpoint(const EndpointSpec& spec, bool is_default)
{
    Locked([&](State& s) {
        s.d.endpoints.push_back(spec);
        if (is_default)
            s.d.default_index = s.d.endpoints.size() - 1;
    });
}

HRESULT CreateEnumerator(IMMDeviceEnumerator** enumerator)
{
    *enumerator = new StandInEnumerator();
    return S_OK;
}

void FailCall(const std::string& method, HRESULT result, int occurrence)
{
    Locked([&](State& s) { s.d.failures.push_back({method, result, occurrence}); });
}

std::vector<std::string> CallLog()
{
    return Locked([](State& s) { return s.d.log; });
}

void SetCaptureConfig(const CaptureConfig& config)
{
    Locked([&](State& s) { s.d.capture = config; });
}

void QueueCapturePackets(uint32_t count, bool silent, uint32_t frames)
{
    Locked([&](State& s) { s.d.queued.insert(s.d.queued.end(), count, Packet{frames, silent}); });
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

} // namespace standin
