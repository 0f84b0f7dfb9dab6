#include "audio/device_watch.h"

#include <atomic>
#include <cwchar>

#include "audio/device_enumerator.h"
#include "audio/endpoints.h"

namespace {

// Called on the system's threads: it only sets the watch's events, which
// outlive its registration.
class EndpointNotifications final : public IMMNotificationClient {
public:
    EndpointNotifications(HANDLE default_changed, HANDLE devices_changed)
        : default_changed_(default_changed), devices_changed_(devices_changed)
    {
    }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        *object = nullptr;
        if (iid != IID_IUnknown && iid != __uuidof(IMMNotificationClient))
            return E_NOINTERFACE;
        *object = static_cast<IMMNotificationClient*>(this);
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
    HRESULT STDMETHODCALLTYPE OnDefaultDeviceChanged(EDataFlow flow, ERole role, LPCWSTR) override
    {
        // The loopback follows the endpoint that GetDefaultAudioEndpoint
        // gives the capture thread; the other roles change with it or not.
        if (flow == eRender && role == eConsole)
            SetEvent(default_changed_);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnDeviceAdded(LPCWSTR) override { return Changed(); }
    HRESULT STDMETHODCALLTYPE OnDeviceRemoved(LPCWSTR) override { return Changed(); }
    HRESULT STDMETHODCALLTYPE OnDeviceStateChanged(LPCWSTR, DWORD) override { return Changed(); }
    // Volume and format properties change often and say nothing of presence.
    HRESULT STDMETHODCALLTYPE OnPropertyValueChanged(LPCWSTR, const PROPERTYKEY) override
    {
        return S_OK;
    }

private:
    HRESULT Changed()
    {
        SetEvent(devices_changed_);
        return S_OK;
    }

    std::atomic<ULONG> refs_{1};
    HANDLE default_changed_;
    HANDLE devices_changed_;
};

} // namespace

bool StartDeviceWatch(DeviceWatch* watch)
{
    watch->default_changed = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    watch->devices_changed = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (watch->default_changed == nullptr || watch->devices_changed == nullptr ||
        FAILED(CreateDeviceEnumerator(watch->enumerator.Put()))) {
        StopDeviceWatch(watch);
        return false;
    }
    watch->client.Attach(new EndpointNotifications(watch->default_changed, watch->devices_changed));
    if (FAILED(watch->enumerator->RegisterEndpointNotificationCallback(watch->client.Get()))) {
        watch->client.Reset(); // not registered: nothing to unregister
        StopDeviceWatch(watch);
        return false;
    }
    return true;
}

void StopDeviceWatch(DeviceWatch* watch)
{
    // Unregistered before either is released: the enumerator may still
    // call the client until then.
    if (watch->client.Get() != nullptr)
        watch->enumerator->UnregisterEndpointNotificationCallback(watch->client.Get());
    watch->client.Reset();
    watch->enumerator.Reset();
    for (HANDLE* event : {&watch->default_changed, &watch->devices_changed}) {
        if (*event != nullptr) {
            CloseHandle(*event);
            *event = nullptr;
        }
    }
}

EndpointCheck CheckEndpoints(IMMDeviceEnumerator* enumerator, const Settings* settings)
{
    ComPtr<IMMDevice> default_endpoint;
    DeviceInfo default_info;
    ComPtr<IMMDeviceCollection> collection;
    UINT count = 0;
    if (FAILED(enumerator->GetDefaultAudioEndpoint(eRender, eConsole, default_endpoint.Put())) ||
        !GetDeviceInfo(default_endpoint.Get(), &default_info) ||
        FAILED(enumerator->EnumAudioEndpoints(eRender, DEVICE_STATE_ACTIVE | DEVICE_STATE_UNPLUGGED,
                                              collection.Put())) ||
        FAILED(collection->GetCount(&count))) {
        return EndpointCheck::kMissing;
    }

    const wchar_t* name = settings->output_device[0] != L'\0' ? settings->output_device : nullptr;
    EndpointCheck check = EndpointCheck::kMissing;
    for (UINT i = 0; i < count && check != EndpointCheck::kPresent; ++i) {
        ComPtr<IMMDevice> endpoint;
        DeviceInfo info;
        // The output choice's own rule, the default endpoint not excluded:
        // finding it chosen is what this check reports.
        bool chosen = SUCCEEDED(collection->Item(i, endpoint.Put())) &&
                      GetDeviceInfo(endpoint.Get(), &info) &&
                      (name != nullptr ? IsNamed(info, name)
                                       : AutomaticChoiceOf(endpoint.Get(), info, false) ==
                                             AutomaticChoice::kCandidate);
        if (chosen)
            check = _wcsicmp(info.EndpointID, default_info.EndpointID) == 0
                        ? EndpointCheck::kOutputIsDefault
                        : EndpointCheck::kPresent;
    }
    return check;
}
