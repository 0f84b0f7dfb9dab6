// Scripted events: endpoints that go away and come back, output events that
// stop, loopbacks disconnected, new defaults for some roles or all, the audio
// service restarting, and the endpoint notifications that tell registered
// clients of them.
#include "simulated_devices/device_state.h"

#include <algorithm>
#include <initializer_list>
#include <map>
#include <thread>

namespace simulated_devices {
namespace {

// What happened to one endpoint. Each event touches the clients made before
// it: those numbered below its mark.
struct EndpointEvents {
    bool absent = false;
    uint64_t lost_below = 0;
    uint64_t loopback_lost_below = 0;
    uint64_t silent_below = 0;
};

// Kept under the state's lock.
struct Events {
    std::map<std::wstring, EndpointEvents> endpoints;
    uint64_t next_serial = 1;
    uint64_t service_restarted_below = 0;        // clients of the service before its restart
    std::vector<IMMNotificationClient*> clients; // one reference each
    bool output_started = false;
    LARGE_INTEGER started_at = {};
    HANDLE script_start = nullptr; // set at the first output start
};

Events& E()
{
    static Events events;
    return events;
}

// Calls `notify` on every registered client, outside the lock: a client
// may call back in.
template <class F> void Notify(F notify)
{
    auto clients = Locked([](State&) {
        for (IMMNotificationClient* client : E().clients)
            client->AddRef();
        return E().clients;
    });
    for (IMMNotificationClient* client : clients) {
        notify(client);
        client->Release();
    }
}

} // namespace

uint64_t NewClientSerial()
{
    return Locked([](State&) { return E().next_serial++; });
}

HRESULT ClientLost(const std::wstring& id, uint64_t serial, bool loopback)
{
    return Locked([&](State&) {
        const EndpointEvents& e = E().endpoints[id];
        if (serial < E().service_restarted_below)
            return AUDCLNT_E_SERVICE_NOT_RUNNING;
        bool lost = serial < e.lost_below || (loopback && serial < e.loopback_lost_below);
        return lost ? AUDCLNT_E_DEVICE_INVALIDATED : S_OK;
    });
}

bool ClientSilenced(const std::wstring& id, uint64_t serial)
{
    return Locked([&](State&) { return serial < E().endpoints[id].silent_below; });
}

bool EndpointPresent(const std::wstring& id)
{
    return Locked([&](State&) { return !E().endpoints[id].absent; });
}

bool IsDefaultEndpoint(const std::wstring& id)
{
    return Locked([&](State& s) {
        return s.d.default_index < s.d.endpoints.size() &&
               s.d.endpoints[s.d.default_index].id == id;
    });
}

void OutputStarted()
{
    Locked([](State&) {
        if (E().output_started)
            return;
        E().output_started = true;
        QueryPerformanceCounter(&E().started_at);
        if (E().script_start != nullptr)
            SetEvent(E().script_start);
    });
}

HRESULT RegisterClient(IMMNotificationClient* client)
{
    if (client == nullptr)
        return E_POINTER;
    client->AddRef();
    Locked([&](State&) { E().clients.push_back(client); });
    return S_OK;
}

HRESULT UnregisterClient(IMMNotificationClient* client)
{
    bool found = Locked([&](State&) {
        auto& clients = E().clients;
        for (auto it = clients.begin(); it != clients.end(); ++it) {
            if (*it == client) {
                clients.erase(it);
                return true;
            }
        }
        return false;
    });
    if (!found)
        return HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
    client->Release();
    return S_OK;
}

size_t RegisteredClients()
{
    return Locked([](State&) { return E().clients.size(); });
}

// Registrations stay: they belong to whoever registered.
void ResetEvents()
{
    Locked([](State&) {
        E().endpoints.clear();
        E().service_restarted_below = 0;
        E().output_started = false;
    });
}

void LoseEndpoint(const std::wstring& id)
{
    Locked([&](State&) {
        EndpointEvents& e = E().endpoints[id];
        e.absent = true;
        e.lost_below = E().next_serial;
    });
    Notify([&](IMMNotificationClient* c) {
        c->OnDeviceStateChanged(id.c_str(), DEVICE_STATE_NOTPRESENT);
    });
}

void RestoreEndpoint(const std::wstring& id, const std::wstring& new_id)
{
    const std::wstring now = new_id.empty() ? id : new_id;
    Locked([&](State& s) {
        for (EndpointSpec& spec : s.d.endpoints) {
            if (spec.id == id)
                spec.id = now;
        }
        E().endpoints[now].absent = false;
    });
    Notify([&](IMMNotificationClient* c) {
        if (now != id)
            c->OnDeviceAdded(now.c_str());
        c->OnDeviceStateChanged(now.c_str(), DEVICE_STATE_ACTIVE);
    });
}

void SilenceEndpoint(const std::wstring& id)
{
    Locked([&](State&) { E().endpoints[id].silent_below = E().next_serial; });
}

void DisconnectLoopback(const std::wstring& id)
{
    Locked([&](State&) { E().endpoints[id].loopback_lost_below = E().next_serial; });
}

namespace {

// `id` becomes the default of `flow` for `roles`: a render endpoint comes
// back if it was away, and takes the capture's default with eConsole.
void SetDefault(const std::wstring& id, EDataFlow flow, std::initializer_list<ERole> roles)
{
    bool was_absent = false;
    if (flow == eRender) {
        was_absent = Locked([&](State& s) {
            for (size_t i = 0; i < s.d.endpoints.size(); ++i) {
                if (s.d.endpoints[i].id == id &&
                    std::find(roles.begin(), roles.end(), eConsole) != roles.end())
                    s.d.default_index = i;
            }
            EndpointEvents& e = E().endpoints[id];
            const bool absent = e.absent;
            e.absent = false;
            return absent;
        });
    }
    // As Windows does: the state first, then each role's default.
    Notify([&](IMMNotificationClient* c) {
        if (was_absent)
            c->OnDeviceStateChanged(id.c_str(), DEVICE_STATE_ACTIVE);
        for (ERole role : roles)
            c->OnDefaultDeviceChanged(flow, role, id.c_str());
    });
}

} // namespace

void SetDefaultEndpoint(const std::wstring& id)
{
    SetDefault(id, eRender, {eConsole, eMultimedia, eCommunications});
}

void SetDefaultCommunicationsEndpoint(const std::wstring& id)
{
    SetDefault(id, eRender, {eCommunications});
}

void SetDefaultMicrophone(const std::wstring& id)
{
    SetDefault(id, eCapture, {eConsole, eMultimedia, eCommunications});
}

void RestartAudioService()
{
    Locked([](State&) { E().service_restarted_below = E().next_serial; });
}

void RunScript(std::vector<ScriptedEvent> script)
{
    // Never closed: the thread may outlive every other object.
    HANDLE start = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (start == nullptr)
        return;
    Locked([&](State&) {
        E().script_start = start;
        if (E().output_started)
            SetEvent(start);
    });
    std::thread([start, script = std::move(script)] {
        WaitForSingleObject(start, INFINITE);
        const LARGE_INTEGER origin = Locked([](State&) { return E().started_at; });
        for (const ScriptedEvent& event : script) {
            const double wait = event.seconds - SecondsSince(origin);
            if (wait > 0)
                Sleep(static_cast<DWORD>(wait * 1000 + 0.5));
            event.action();
        }
    }).detach();
}

} // namespace simulated_devices
