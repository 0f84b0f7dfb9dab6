// The shared state of the simulated devices and what every simulated COM
// object is built from. Internal to this library.
#pragma once

#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "simulated_devices/simulated_devices.h"

namespace simulated_devices {

struct Packet {
    uint32_t frames; // 0: the configured packet size
    bool silent;
    uint32_t lost; // frames the loopback lost just before it
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
    std::map<std::string, int, std::less<>> call_counts; // found without a copy of the name
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

State& S();

// Runs `f` on the state under its lock.
template <class F> auto Locked(F f)
{
    std::lock_guard<std::mutex> lock(S().mutex);
    return f(S());
}

// Logs the call and returns what it is to answer: an injected result or
// S_OK. A method returns an injected failure at once, and an injected
// success code after its normal work.
HRESULT Enter(const char* method);

// Methods the program does not call: logged, not implemented.
#define UNUSED_METHOD(Interface, Method, ...)                                                      \
    HRESULT STDMETHODCALLTYPE Method(__VA_ARGS__) override                                         \
    {                                                                                              \
        return FAILED(Enter(#Interface "::" #Method)) ? E_FAIL : E_NOTIMPL;                        \
    }

double SecondsSince(LARGE_INTEGER start);
// A CoTaskMemAlloc'd copy, as the platform hands out strings.
LPWSTR CopyString(const std::wstring& text);

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
            size_t bytes, const WaveFormat& format);

// Scripted events (device_events.cpp). Clients are numbered as they are
// made, so that an event touches only the clients that exist at its time.
uint64_t NewClientSerial();
// AUDCLNT_E_DEVICE_INVALIDATED for a client whose endpoint (or, for a
// loopback client, whose loopback) was lost after it was made; else S_OK.
HRESULT ClientLost(const std::wstring& id, uint64_t serial, bool loopback);
bool ClientSilenced(const std::wstring& id, uint64_t serial);
bool EndpointPresent(const std::wstring& id);
bool IsDefaultEndpoint(const std::wstring& id);
void OutputStarted(); // starts a waiting script's clock, the first time
HRESULT RegisterClient(IMMNotificationClient* client);
HRESULT UnregisterClient(IMMNotificationClient* client);
size_t RegisteredClients();
void ResetEvents();

// A new audio client on the endpoint (audio_client.cpp), for IMMDevice::Activate.
IAudioClient* NewAudioClient(const EndpointSpec& spec);

} // namespace simulated_devices
