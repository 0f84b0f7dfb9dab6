#include "fake_audio.h"

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

namespace fake_audio {
namespace {

struct Failure {
    std::string method;
    HRESULT result;
    int occurrence;
};

struct State {
    std::mutex mutex;
    std::condition_variable rendered_changed;
    std::vector<EndpointSpec> endpoints;
    size_t default_index = 0;
    std::vector<Failure> failures;
    std::map<std::string, int> call_counts;
    std::vector<std::string> log;
    CaptureConfig capture;
    std::deque<bool> queued_packets; // manual pacing: silent flag per packet
    std::atomic<OutputClock> clock{OutputClock::kRealTime};
    std::atomic<bool> hold{false};
    HANDLE output_event = nullptr;
    RenderSink sink = nullptr;
    void* sink_context = nullptr;
    bool record = true;
    std::vector<StreamEvent> stream;
    size_t rendered = 0;
    std::vector<InitializeCall> initializations;
    std::vector<WaveFormat> queries;
    std::map<const void*, std::string> live;
};

State& S()
{
    static State state;
    return state;
}

// Logs the call and returns what the method is to answer: an injected
// result, or S_OK.
HRESULT Enter(const char* method)
{
    State& s = S();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.log.emplace_back(method);
    int n = ++s.call_counts[method];
    for (const Failure& f : s.failures) {
        if (f.method == method && (f.occurrence == 0 || f.occurrence == n))
            return f.result;
    }
    return S_OK;
}

std::string Narrow(const std::wstring& text)
{
    std::string out;
    for (wchar_t c : text)
        out.push_back(c < 128 ? static_cast<char>(c) : '?');
    return out;
}

WaveFormat CopyFormat(const WAVEFORMATEX* format)
{
    WaveFormat out = {};
    if (format == nullptr)
        return out;
    size_t bytes =
        format->wFormatTag == WAVE_FORMAT_EXTENSIBLE ? sizeof(WaveFormat) : kWaveFormatPlainBytes;
    std::memcpy(&out, format, bytes);
    return out;
}

template <class Interface> class Object : public Interface {
public:
    explicit Object(std::string name)
    {
        std::lock_guard<std::mutex> lock(S().mutex);
        S().live[this] = std::move(name);
    }
    virtual ~Object()
    {
        std::lock_guard<std::mutex> lock(S().mutex);
        S().live.erase(this);
    }
    Object(const Object&) = delete;
    Object& operator=(const Object&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (object == nullptr)
            return E_POINTER;
        if (iid == IID_IUnknown || iid == __uuidof(Interface)) {
            *object = static_cast<Interface*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
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

// ---- property store ----------------------------------------------------

class FakePropertyStore : public Object<IPropertyStore> {
public:
    explicit FakePropertyStore(const EndpointSpec& spec)
        : Object("IPropertyStore(" + Narrow(spec.id) + ")"), spec_(spec)
    {
    }

    HRESULT STDMETHODCALLTYPE GetCount(DWORD* count) override
    {
        HRESULT hr = Enter("IPropertyStore::GetCount");
        if (FAILED(hr))
            return hr;
        *count = 2;
        return hr;
    }
    HRESULT STDMETHODCALLTYPE GetAt(DWORD, PROPERTYKEY*) override
    {
        Enter("IPropertyStore::GetAt");
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetValue(REFPROPERTYKEY key, PROPVARIANT* value) override
    {
        HRESULT hr = Enter("IPropertyStore::GetValue");
        if (value == nullptr)
            return E_POINTER;
        PropVariantInit(value);
        if (FAILED(hr))
            return hr;
        if (IsEqualPropertyKey(key, PKEY_Device_FriendlyName)) {
            value->vt = spec_.name_type;
            if (spec_.name_type == VT_LPWSTR) {
                size_t bytes = (spec_.friendly_name.size() + 1) * sizeof(wchar_t);
                value->pwszVal = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
                if (value->pwszVal == nullptr)
                    return E_OUTOFMEMORY;
                std::memcpy(value->pwszVal, spec_.friendly_name.c_str(), bytes);
            }
        } else if (IsEqualPropertyKey(key, PKEY_AudioEngine_DeviceFormat)) {
            value->vt = spec_.format_type;
            if (spec_.format_type == VT_BLOB) {
                ULONG bytes = std::min<ULONG>(spec_.format_blob_bytes, sizeof(WaveFormat));
                value->blob.cbSize = bytes;
                value->blob.pBlobData = static_cast<BYTE*>(CoTaskMemAlloc(bytes == 0 ? 1 : bytes));
                if (value->blob.pBlobData == nullptr)
                    return E_OUTOFMEMORY;
                std::memcpy(value->blob.pBlobData, &spec_.engine_format, bytes);
            }
        }
        return hr;
    }
    HRESULT STDMETHODCALLTYPE SetValue(REFPROPERTYKEY, REFPROPVARIANT) override
    {
        Enter("IPropertyStore::SetValue");
        return STG_E_ACCESSDENIED;
    }
    HRESULT STDMETHODCALLTYPE Commit() override
    {
        Enter("IPropertyStore::Commit");
        return STG_E_ACCESSDENIED;
    }

private:
    EndpointSpec spec_;
};

// ---- audio client and its services --------------------------------------

class FakeAudioClient;

class FakeRenderClient : public Object<IAudioRenderClient> {
public:
    explicit FakeRenderClient(FakeAudioClient* client);
    ~FakeRenderClient() override;
    HRESULT STDMETHODCALLTYPE GetBuffer(UINT32 frames, BYTE** data) override;
    HRESULT STDMETHODCALLTYPE ReleaseBuffer(UINT32 frames, DWORD flags) override;

private:
    FakeAudioClient* client_;
    std::vector<uint8_t> buffer_;
    uint32_t pending_ = 0;
};

class FakeCaptureClient : public Object<IAudioCaptureClient> {
public:
    explicit FakeCaptureClient(FakeAudioClient* client);
    ~FakeCaptureClient() override;
    HRESULT STDMETHODCALLTYPE GetBuffer(BYTE** data, UINT32* frames, DWORD* flags,
                                        UINT64* device_position, UINT64* qpc_position) override;
    HRESULT STDMETHODCALLTYPE ReleaseBuffer(UINT32 frames) override;
    HRESULT STDMETHODCALLTYPE GetNextPacketSize(UINT32* frames) override;

private:
    // Whether a packet is due now, and whether it is flagged silent.
    bool NextPacket(bool* silent);
    uint32_t PacketFrames() const;

    FakeAudioClient* client_;
    std::vector<uint8_t> packet_;
    uint32_t pending_ = 0; // frames handed out by GetBuffer and not yet released
    DWORD pending_flags_ = 0;
    uint64_t served_packets_ = 0;
    uint64_t skipped_frames_ = 0;
};

class FakeAudioClient : public Object<IAudioClient> {
public:
    explicit FakeAudioClient(const EndpointSpec& spec)
        : Object("IAudioClient(" + Narrow(spec.id) + ")"), spec_(spec)
    {
    }
    ~FakeAudioClient() override
    {
        StopTimer();
        std::lock_guard<std::mutex> lock(S().mutex);
        if (event_ != nullptr && S().output_event == event_)
            S().output_event = nullptr;
    }

    HRESULT STDMETHODCALLTYPE Initialize(AUDCLNT_SHAREMODE mode, DWORD flags,
                                         REFERENCE_TIME duration, REFERENCE_TIME periodicity,
                                         const WAVEFORMATEX* format, LPCGUID) override
    {
        HRESULT hr = Enter("IAudioClient::Initialize");
        if (FAILED(hr))
            return hr;
        if (format == nullptr)
            return E_POINTER;
        if (initialized_)
            return AUDCLNT_E_ALREADY_INITIALIZED;
        format_ = CopyFormat(format);
        mode_ = mode;
        flags_ = flags;
        periodicity_ = periodicity;
        buffer_frames_ = spec_.buffer_frames;
        if (buffer_frames_ == 0) {
            buffer_frames_ = static_cast<uint32_t>(
                (duration * static_cast<int64_t>(format_.samples_per_sec) + 5000000) / 10000000);
        }
        initialized_ = true;
        std::lock_guard<std::mutex> lock(S().mutex);
        S().initializations.push_back({spec_.id, mode, flags, duration, periodicity, format_});
        return hr;
    }
    HRESULT STDMETHODCALLTYPE GetBufferSize(UINT32* frames) override
    {
        HRESULT hr = Enter("IAudioClient::GetBufferSize");
        if (FAILED(hr))
            return hr;
        if (!initialized_)
            return AUDCLNT_E_NOT_INITIALIZED;
        *frames = buffer_frames_;
        return hr;
    }
    HRESULT STDMETHODCALLTYPE GetStreamLatency(REFERENCE_TIME* latency) override
    {
        HRESULT hr = Enter("IAudioClient::GetStreamLatency");
        if (FAILED(hr))
            return hr;
        *latency = periodicity_;
        return hr;
    }
    HRESULT STDMETHODCALLTYPE GetCurrentPadding(UINT32* frames) override
    {
        HRESULT hr = Enter("IAudioClient::GetCurrentPadding");
        if (FAILED(hr))
            return hr;
        *frames = 0;
        return hr;
    }
    HRESULT STDMETHODCALLTYPE IsFormatSupported(AUDCLNT_SHAREMODE mode, const WAVEFORMATEX* format,
                                                WAVEFORMATEX** closest) override
    {
        HRESULT hr = Enter("IAudioClient::IsFormatSupported");
        if (closest != nullptr)
            *closest = nullptr;
        {
            std::lock_guard<std::mutex> lock(S().mutex);
            S().queries.push_back(CopyFormat(format));
        }
        if (hr != S_OK)
            return hr;
        return mode == AUDCLNT_SHAREMODE_EXCLUSIVE ? spec_.exclusive_support : S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetMixFormat(WAVEFORMATEX** format) override
    {
        HRESULT hr = Enter("IAudioClient::GetMixFormat");
        if (format == nullptr)
            return E_POINTER;
        *format = nullptr;
        if (FAILED(hr))
            return hr;
        auto* out = static_cast<WaveFormat*>(CoTaskMemAlloc(sizeof(WaveFormat)));
        if (out == nullptr)
            return E_OUTOFMEMORY;
        *out = spec_.has_mix_format ? spec_.mix_format : spec_.engine_format;
        *format = reinterpret_cast<WAVEFORMATEX*>(out);
        return hr;
    }
    HRESULT STDMETHODCALLTYPE GetDevicePeriod(REFERENCE_TIME* default_period,
                                              REFERENCE_TIME* minimum_period) override
    {
        HRESULT hr = Enter("IAudioClient::GetDevicePeriod");
        if (FAILED(hr))
            return hr;
        if (default_period != nullptr)
            *default_period = spec_.default_period;
        if (minimum_period != nullptr)
            *minimum_period = spec_.minimum_period;
        return hr;
    }
    HRESULT STDMETHODCALLTYPE Start() override
    {
        HRESULT hr = Enter("IAudioClient::Start");
        if (FAILED(hr))
            return hr;
        if (!initialized_)
            return AUDCLNT_E_NOT_INITIALIZED;
        if (started_)
            return AUDCLNT_E_NOT_STOPPED;
        started_ = true;
        QueryPerformanceCounter(&start_time_);
        if (IsOutput())
            StartTimer();
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
    HRESULT STDMETHODCALLTYPE Reset() override
    {
        HRESULT hr = Enter("IAudioClient::Reset");
        return hr;
    }
    HRESULT STDMETHODCALLTYPE SetEventHandle(HANDLE event) override
    {
        HRESULT hr = Enter("IAudioClient::SetEventHandle");
        if (FAILED(hr))
            return hr;
        if (event == nullptr || event == INVALID_HANDLE_VALUE)
            return E_INVALIDARG;
        if (!initialized_)
            return AUDCLNT_E_NOT_INITIALIZED;
        if ((flags_ & AUDCLNT_STREAMFLAGS_EVENTCALLBACK) == 0)
            return AUDCLNT_E_EVENTHANDLE_NOT_EXPECTED;
        event_ = event;
        std::lock_guard<std::mutex> lock(S().mutex);
        S().output_event = event;
        return hr;
    }
    HRESULT STDMETHODCALLTYPE GetService(REFIID iid, void** service) override
    {
        HRESULT hr = Enter("IAudioClient::GetService");
        if (service == nullptr)
            return E_POINTER;
        *service = nullptr;
        if (FAILED(hr))
            return hr;
        if (!initialized_)
            return AUDCLNT_E_NOT_INITIALIZED;
        if (iid == IID_IAudioRenderClient) {
            if (!IsOutput())
                return AUDCLNT_E_WRONG_ENDPOINT_TYPE;
            *service = static_cast<IAudioRenderClient*>(new FakeRenderClient(this));
            return hr;
        }
        if (iid == IID_IAudioCaptureClient) {
            if ((flags_ & AUDCLNT_STREAMFLAGS_LOOPBACK) == 0)
                return AUDCLNT_E_WRONG_ENDPOINT_TYPE;
            *service = static_cast<IAudioCaptureClient*>(new FakeCaptureClient(this));
            return hr;
        }
        return E_NOINTERFACE;
    }

    bool IsOutput() const { return (flags_ & AUDCLNT_STREAMFLAGS_LOOPBACK) == 0; }
    const WaveFormat& format() const { return format_; }
    uint32_t buffer_frames() const { return buffer_frames_; }
    bool started() const { return started_; }
    LARGE_INTEGER start_time() const { return start_time_; }

private:
    static void TimerLoop(FakeAudioClient* self)
    {
        LARGE_INTEGER frequency, start, now;
        QueryPerformanceFrequency(&frequency);
        QueryPerformanceCounter(&start);
        double period_s = static_cast<double>(self->periodicity_) / 1e7;
        if (period_s <= 0.0)
            period_s = 0.01;
        for (uint64_t tick = 1;; ++tick) {
            QueryPerformanceCounter(&now);
            double elapsed = static_cast<double>(now.QuadPart - start.QuadPart) /
                             static_cast<double>(frequency.QuadPart);
            double wait_s = tick * period_s - elapsed;
            DWORD wait_ms = wait_s > 0.0 ? static_cast<DWORD>(wait_s * 1000.0 + 0.5) : 0;
            if (WaitForSingleObject(self->timer_stop_, wait_ms) == WAIT_OBJECT_0)
                return;
            if (S().clock.load() == OutputClock::kRealTime && !S().hold.load())
                SetEvent(self->event_);
        }
    }
    void StartTimer()
    {
        if (event_ == nullptr)
            return;
        timer_stop_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        timer_ = std::thread(TimerLoop, this);
    }
    void StopTimer()
    {
        if (!timer_.joinable())
            return;
        SetEvent(timer_stop_);
        timer_.join();
        CloseHandle(timer_stop_);
        timer_stop_ = nullptr;
    }

    EndpointSpec spec_;
    WaveFormat format_ = {};
    AUDCLNT_SHAREMODE mode_ = AUDCLNT_SHAREMODE_SHARED;
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

void Record(StreamEvent::Kind kind, uint32_t frames, DWORD flags, const uint8_t* data, size_t bytes)
{
    State& s = S();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.record)
        s.stream.push_back({kind, frames, flags, std::vector<uint8_t>(data, data + bytes)});
    if (kind == StreamEvent::kRender) {
        ++s.rendered;
        s.rendered_changed.notify_all();
    }
}

FakeRenderClient::FakeRenderClient(FakeAudioClient* client)
    : Object("IAudioRenderClient"), client_(client)
{
    client_->AddRef();
}
FakeRenderClient::~FakeRenderClient()
{
    client_->Release();
}

HRESULT FakeRenderClient::GetBuffer(UINT32 frames, BYTE** data)
{
    HRESULT hr = Enter("IAudioRenderClient::GetBuffer");
    if (data == nullptr)
        return E_POINTER;
    *data = nullptr;
    if (FAILED(hr))
        return hr;
    if (pending_ != 0)
        return AUDCLNT_E_OUT_OF_ORDER;
    if (frames > client_->buffer_frames())
        return AUDCLNT_E_BUFFER_TOO_LARGE;
    // Stale bytes, as a real device buffer has: a buffer released silent
    // without being written must not pass for data.
    buffer_.assign(static_cast<size_t>(frames) * client_->format().block_align, 0xCD);
    pending_ = frames;
    *data = buffer_.data();
    return hr;
}

HRESULT FakeRenderClient::ReleaseBuffer(UINT32 frames, DWORD flags)
{
    HRESULT hr = Enter("IAudioRenderClient::ReleaseBuffer");
    if (FAILED(hr))
        return hr;
    if (frames > pending_)
        return AUDCLNT_E_INVALID_SIZE;
    pending_ = 0;
    size_t bytes = static_cast<size_t>(frames) * client_->format().block_align;
    if (flags & AUDCLNT_BUFFERFLAGS_SILENT)
        std::fill(buffer_.begin(), buffer_.begin() + bytes, 0);
    Record(StreamEvent::kRender, frames, flags, buffer_.data(), bytes);
    RenderSink sink;
    void* context;
    {
        std::lock_guard<std::mutex> lock(S().mutex);
        sink = S().sink;
        context = S().sink_context;
    }
    if (sink != nullptr)
        sink(buffer_.data(), frames, flags, client_->format(), context);
    return hr;
}

FakeCaptureClient::FakeCaptureClient(FakeAudioClient* client)
    : Object("IAudioCaptureClient"), client_(client)
{
    client_->AddRef();
}
FakeCaptureClient::~FakeCaptureClient()
{
    client_->Release();
}

bool FakeCaptureClient::NextPacket(bool* silent)
{
    State& s = S();
    std::lock_guard<std::mutex> lock(s.mutex);
    const CaptureConfig& config = s.capture;
    if (!config.real_time) {
        if (s.queued_packets.empty())
            return false;
        *silent = s.queued_packets.front();
        return true;
    }
    if (!client_->started())
        return false;
    uint32_t rate = client_->format().samples_per_sec;
    uint32_t packet =
        config.packet_frames != 0 ? config.packet_frames : std::max<uint32_t>(1, rate / 100);
    LARGE_INTEGER frequency, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    uint64_t elapsed_frames =
        static_cast<uint64_t>(static_cast<double>(now.QuadPart - client_->start_time().QuadPart) /
                              static_cast<double>(frequency.QuadPart) * rate);
    uint64_t due = elapsed_frames / packet;
    if (served_packets_ >= due)
        return false;
    // A reader that falls behind by more than the buffer loses the oldest
    // packets, as the engine overwrites them.
    uint64_t held = client_->buffer_frames() / packet;
    if (held == 0)
        held = 1;
    if (due - served_packets_ > held) {
        skipped_frames_ += (due - held - served_packets_) * packet;
        served_packets_ = due - held;
    }
    *silent = config.silent_every != 0 && (served_packets_ + 1) % config.silent_every == 0;
    return true;
}

HRESULT FakeCaptureClient::GetNextPacketSize(UINT32* frames)
{
    HRESULT hr = Enter("IAudioCaptureClient::GetNextPacketSize");
    if (frames == nullptr)
        return E_POINTER;
    *frames = 0;
    if (FAILED(hr))
        return hr;
    bool silent;
    if (pending_ == 0 && NextPacket(&silent))
        *frames = PacketFrames();
    return hr;
}

uint32_t FakeCaptureClient::PacketFrames() const
{
    uint32_t frames;
    {
        std::lock_guard<std::mutex> lock(S().mutex);
        frames = S().capture.packet_frames;
    }
    return frames != 0 ? frames : std::max<uint32_t>(1, client_->format().samples_per_sec / 100);
}

HRESULT FakeCaptureClient::GetBuffer(BYTE** data, UINT32* frames, DWORD* flags,
                                     UINT64* device_position, UINT64* qpc_position)
{
    HRESULT hr = Enter("IAudioCaptureClient::GetBuffer");
    if (data == nullptr || frames == nullptr || flags == nullptr)
        return E_POINTER;
    *data = nullptr;
    *frames = 0;
    *flags = 0;
    if (FAILED(hr))
        return hr;
    if (pending_ != 0)
        return AUDCLNT_E_OUT_OF_ORDER;
    bool silent = false;
    if (!NextPacket(&silent))
        return AUDCLNT_S_BUFFER_EMPTY;
    const WaveFormat& format = client_->format();
    uint32_t count = PacketFrames();
    packet_.assign(static_cast<size_t>(count) * format.block_align, 0x5A);
    if (!silent) {
        SignalSource source;
        void* context;
        {
            std::lock_guard<std::mutex> lock(S().mutex);
            source = S().capture.source;
            context = S().capture.context;
        }
        if (source != nullptr && format.bits_per_sample == 32) {
            source(reinterpret_cast<float*>(packet_.data()), count, format.channels,
                   format.samples_per_sec, served_packets_ * count + skipped_frames_, context);
        } else {
            std::fill(packet_.begin(), packet_.end(), 0);
        }
    }
    pending_ = count;
    pending_flags_ = silent ? AUDCLNT_BUFFERFLAGS_SILENT : 0;
    *data = packet_.data();
    *frames = count;
    *flags = pending_flags_;
    if (device_position != nullptr)
        *device_position = served_packets_ * count + skipped_frames_;
    if (qpc_position != nullptr)
        *qpc_position = 0;
    return hr;
}

HRESULT FakeCaptureClient::ReleaseBuffer(UINT32 frames)
{
    HRESULT hr = Enter("IAudioCaptureClient::ReleaseBuffer");
    if (FAILED(hr))
        return hr;
    if (frames != 0 && frames != pending_)
        return AUDCLNT_E_INVALID_SIZE;
    if (frames != 0) {
        Record(StreamEvent::kCapture, frames, pending_flags_, packet_.data(),
               static_cast<size_t>(frames) * client_->format().block_align);
        ++served_packets_;
        std::lock_guard<std::mutex> lock(S().mutex);
        if (!S().capture.real_time && !S().queued_packets.empty())
            S().queued_packets.pop_front();
    }
    pending_ = 0;
    return hr;
}

// ---- endpoints -----------------------------------------------------------

class FakeDevice : public Object<IMMDevice> {
public:
    explicit FakeDevice(const EndpointSpec& spec)
        : Object("IMMDevice(" + Narrow(spec.id) + ")"), spec_(spec)
    {
    }

    HRESULT STDMETHODCALLTYPE Activate(REFIID iid, DWORD, PROPVARIANT*, void** object) override
    {
        HRESULT hr = Enter("IMMDevice::Activate");
        if (object == nullptr)
            return E_POINTER;
        *object = nullptr;
        if (FAILED(hr))
            return hr;
        if (iid != IID_IAudioClient)
            return E_NOINTERFACE;
        *object = static_cast<IAudioClient*>(new FakeAudioClient(spec_));
        return hr;
    }
    HRESULT STDMETHODCALLTYPE OpenPropertyStore(DWORD access, IPropertyStore** store) override
    {
        HRESULT hr = Enter("IMMDevice::OpenPropertyStore");
        if (store == nullptr)
            return E_POINTER;
        *store = nullptr;
        if (FAILED(hr))
            return hr;
        if (access != STGM_READ)
            return E_ACCESSDENIED;
        *store = new FakePropertyStore(spec_);
        return hr;
    }
    HRESULT STDMETHODCALLTYPE GetId(LPWSTR* id) override
    {
        HRESULT hr = Enter("IMMDevice::GetId");
        if (id == nullptr)
            return E_POINTER;
        *id = nullptr;
        if (FAILED(hr))
            return hr;
        size_t bytes = (spec_.id.size() + 1) * sizeof(wchar_t);
        *id = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
        if (*id == nullptr)
            return E_OUTOFMEMORY;
        std::memcpy(*id, spec_.id.c_str(), bytes);
        return hr;
    }
    HRESULT STDMETHODCALLTYPE GetState(DWORD* state) override
    {
        HRESULT hr = Enter("IMMDevice::GetState");
        if (FAILED(hr))
            return hr;
        *state = DEVICE_STATE_ACTIVE;
        return hr;
    }

private:
    EndpointSpec spec_;
};

class FakeCollection : public Object<IMMDeviceCollection> {
public:
    explicit FakeCollection(std::vector<EndpointSpec> endpoints)
        : Object("IMMDeviceCollection"), endpoints_(std::move(endpoints))
    {
    }

    HRESULT STDMETHODCALLTYPE GetCount(UINT* count) override
    {
        HRESULT hr = Enter("IMMDeviceCollection::GetCount");
        if (count == nullptr)
            return E_POINTER;
        *count = 0;
        if (FAILED(hr))
            return hr;
        *count = static_cast<UINT>(endpoints_.size());
        return hr;
    }
    HRESULT STDMETHODCALLTYPE Item(UINT index, IMMDevice** device) override
    {
        HRESULT hr = Enter("IMMDeviceCollection::Item");
        if (device == nullptr)
            return E_POINTER;
        *device = nullptr;
        if (FAILED(hr))
            return hr;
        if (index >= endpoints_.size())
            return E_INVALIDARG;
        *device = new FakeDevice(endpoints_[index]);
        return hr;
    }

private:
    std::vector<EndpointSpec> endpoints_;
};

class FakeEnumerator : public Object<IMMDeviceEnumerator> {
public:
    FakeEnumerator() : Object("IMMDeviceEnumerator") {}

    HRESULT STDMETHODCALLTYPE EnumAudioEndpoints(EDataFlow flow, DWORD mask,
                                                 IMMDeviceCollection** devices) override
    {
        HRESULT hr = Enter("IMMDeviceEnumerator::EnumAudioEndpoints");
        if (devices == nullptr)
            return E_POINTER;
        *devices = nullptr;
        if (FAILED(hr))
            return hr;
        std::vector<EndpointSpec> endpoints;
        {
            std::lock_guard<std::mutex> lock(S().mutex);
            // Every described endpoint is an active render endpoint.
            if ((flow == eRender || flow == eAll) && (mask & DEVICE_STATE_ACTIVE) != 0)
                endpoints = S().endpoints;
        }
        *devices = new FakeCollection(std::move(endpoints));
        return hr;
    }
    HRESULT STDMETHODCALLTYPE GetDefaultAudioEndpoint(EDataFlow flow, ERole,
                                                      IMMDevice** endpoint) override
    {
        HRESULT hr = Enter("IMMDeviceEnumerator::GetDefaultAudioEndpoint");
        if (endpoint == nullptr)
            return E_POINTER;
        *endpoint = nullptr;
        if (FAILED(hr))
            return hr;
        EndpointSpec spec;
        {
            std::lock_guard<std::mutex> lock(S().mutex);
            if (flow != eRender || S().endpoints.empty())
                return HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
            spec = S().endpoints[S().default_index];
        }
        *endpoint = new FakeDevice(spec);
        return hr;
    }
    HRESULT STDMETHODCALLTYPE GetDevice(LPCWSTR, IMMDevice**) override
    {
        Enter("IMMDeviceEnumerator::GetDevice");
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE RegisterEndpointNotificationCallback(IMMNotificationClient*) override
    {
        Enter("IMMDeviceEnumerator::RegisterEndpointNotificationCallback");
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE
    UnregisterEndpointNotificationCallback(IMMNotificationClient*) override
    {
        Enter("IMMDeviceEnumerator::UnregisterEndpointNotificationCallback");
        return E_NOTIMPL;
    }
};

} // namespace

// ---- public functions ------------------------------------------------------

WaveFormat FloatFormat(uint32_t rate, uint16_t channels)
{
    WaveFormat format = PcmFormat(rate, channels, 32, 32);
    format.sub_format = kSubtypeFloat;
    return format;
}

WaveFormat PcmFormat(uint32_t rate, uint16_t channels, uint16_t bits, uint16_t valid_bits)
{
    WaveFormat format = {};
    format.format_tag = kWaveFormatExtensible;
    format.channels = channels;
    format.samples_per_sec = rate;
    format.block_align = static_cast<uint16_t>(bits / 8 * channels);
    format.avg_bytes_per_sec = format.block_align * rate;
    format.bits_per_sample = bits;
    format.extra_size = 22;
    format.valid_bits_per_sample = valid_bits;
    format.channel_mask = channels == 2 ? 0x3u : channels == 6 ? 0x3Fu : 0u;
    format.sub_format = kSubtypePcm;
    return format;
}

void Reset()
{
    State& s = S();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.endpoints.clear();
    s.default_index = 0;
    s.failures.clear();
    s.call_counts.clear();
    s.log.clear();
    s.capture = CaptureConfig();
    s.queued_packets.clear();
    s.clock = OutputClock::kRealTime;
    s.hold = false;
    s.sink = nullptr;
    s.sink_context = nullptr;
    s.record = true;
    s.stream.clear();
    s.rendered = 0;
    s.initializations.clear();
    s.queries.clear();
}

void AddEndpoint(const EndpointSpec& spec, bool is_default)
{
    std::lock_guard<std::mutex> lock(S().mutex);
    S().endpoints.push_back(spec);
    if (is_default)
        S().default_index = S().endpoints.size() - 1;
}

HRESULT CreateEnumerator(IMMDeviceEnumerator** enumerator)
{
    if (enumerator == nullptr)
        return E_POINTER;
    *enumerator = new FakeEnumerator();
    return S_OK;
}

void FailCall(const std::string& method, HRESULT result, int occurrence)
{
    std::lock_guard<std::mutex> lock(S().mutex);
    S().failures.push_back({method, result, occurrence});
}

std::vector<std::string> CallLog()
{
    std::lock_guard<std::mutex> lock(S().mutex);
    return S().log;
}

void SetCaptureConfig(const CaptureConfig& config)
{
    std::lock_guard<std::mutex> lock(S().mutex);
    S().capture = config;
}

void QueueCapturePackets(uint32_t count, bool silent)
{
    std::lock_guard<std::mutex> lock(S().mutex);
    for (uint32_t i = 0; i < count; ++i)
        S().queued_packets.push_back(silent);
}

void SetOutputClock(OutputClock clock)
{
    S().clock = clock;
}

void SignalOutputEvent()
{
    std::lock_guard<std::mutex> lock(S().mutex);
    if (S().output_event != nullptr)
        SetEvent(S().output_event);
}

void HoldOutputEvents(bool hold)
{
    S().hold = hold;
}

void SetRenderSink(RenderSink sink, void* context)
{
    std::lock_guard<std::mutex> lock(S().mutex);
    S().sink = sink;
    S().sink_context = context;
}

void SetRecordStreams(bool record)
{
    std::lock_guard<std::mutex> lock(S().mutex);
    S().record = record;
}

std::vector<StreamEvent> StreamLog()
{
    std::lock_guard<std::mutex> lock(S().mutex);
    return S().stream;
}

size_t RenderedCount()
{
    std::lock_guard<std::mutex> lock(S().mutex);
    return S().rendered;
}

bool WaitForRendered(size_t count, DWORD timeout_ms)
{
    std::unique_lock<std::mutex> lock(S().mutex);
    return S().rendered_changed.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                                         [count] { return S().rendered >= count; });
}

std::vector<InitializeCall> Initializations()
{
    std::lock_guard<std::mutex> lock(S().mutex);
    return S().initializations;
}

std::vector<WaveFormat> FormatQueries()
{
    std::lock_guard<std::mutex> lock(S().mutex);
    return S().queries;
}

long LiveObjects()
{
    std::lock_guard<std::mutex> lock(S().mutex);
    return static_cast<long>(S().live.size());
}

std::vector<std::string> LiveObjectNames()
{
    std::lock_guard<std::mutex> lock(S().mutex);
    std::vector<std::string> names;
    for (const auto& entry : S().live)
        names.push_back(entry.second);
    return names;
}

} // namespace fake_audio
