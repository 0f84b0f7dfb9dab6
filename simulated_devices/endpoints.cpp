// The simulated endpoints: the enumerator, its collections, the devices and
// their property stores.
#include "simulated_devices/device_state.h"

#include <functiondiscoverykeys_devpkey.h>
#include <propidl.h>

#include <algorithm>
#include <cstring>

namespace simulated_devices {
namespace {

class SimulatedPropertyStore : public Object<IPropertyStore> {
public:
    explicit SimulatedPropertyStore(const EndpointSpec& spec)
        : Object("IPropertyStore"), spec_(spec)
    {
    }
    HRESULT STDMETHODCALLTYPE GetValue(REFPROPERTYKEY key, PROPVARIANT* value) override
    {
        PropVariantInit(value);
        HRESULT hr = Enter("IPropertyStore::GetValue");
        if (FAILED(hr))
            return hr;
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

class SimulatedDevice : public Object<IMMDevice> {
public:
    explicit SimulatedDevice(const EndpointSpec& spec) : Object("IMMDevice"), spec_(spec) {}
    HRESULT STDMETHODCALLTYPE Activate(REFIID iid, DWORD, PROPVARIANT*, void** object) override
    {
        *object = nullptr;
        HRESULT hr = Enter("IMMDevice::Activate");
        if (FAILED(hr))
            return hr;
        if (!EndpointPresent(spec_.id))
            return AUDCLNT_E_DEVICE_INVALIDATED;
        if (iid != IID_IAudioClient)
            return E_NOINTERFACE;
        *object = NewAudioClient(spec_);
        return hr;
    }
    HRESULT STDMETHODCALLTYPE OpenPropertyStore(DWORD access, IPropertyStore** store) override
    {
        *store = nullptr;
        HRESULT hr = Enter("IMMDevice::OpenPropertyStore");
        if (FAILED(hr))
            return hr;
        if (access != STGM_READ)
            return E_ACCESSDENIED;
        *store = new SimulatedPropertyStore(spec_);
        return hr;
    }
    HRESULT STDMETHODCALLTYPE GetId(LPWSTR* id) override
    {
        *id = nullptr;
        HRESULT hr = Enter("IMMDevice::GetId");
        if (FAILED(hr))
            return hr;
        *id = CopyString(spec_.id);
        return hr;
    }
    HRESULT STDMETHODCALLTYPE GetState(DWORD* state) override
    {
        *state = 0;
        HRESULT hr = Enter("IMMDevice::GetState");
        if (SUCCEEDED(hr))
            *state = EndpointPresent(spec_.id) ? spec_.state : DEVICE_STATE_NOTPRESENT;
        return hr;
    }

private:
    EndpointSpec spec_;
};

class SimulatedCollection : public Object<IMMDeviceCollection> {
public:
    explicit SimulatedCollection(std::vector<EndpointSpec> endpoints)
        : Object("IMMDeviceCollection"), endpoints_(std::move(endpoints))
    {
    }
    HRESULT STDMETHODCALLTYPE GetCount(UINT* count) override
    {
        *count = 0;
        HRESULT hr = Enter("IMMDeviceCollection::GetCount");
        if (FAILED(hr))
            return hr;
        *count = static_cast<UINT>(endpoints_.size());
        return hr;
    }
    HRESULT STDMETHODCALLTYPE Item(UINT index, IMMDevice** device) override
    {
        *device = nullptr;
        HRESULT hr = Enter("IMMDeviceCollection::Item");
        if (FAILED(hr))
            return hr;
        if (index >= endpoints_.size())
            return E_INVALIDARG;
        *device = new SimulatedDevice(endpoints_[index]);
        return hr;
    }

private:
    std::vector<EndpointSpec> endpoints_;
};

class SimulatedEnumerator : public Object<IMMDeviceEnumerator> {
public:
    SimulatedEnumerator() : Object("IMMDeviceEnumerator") {}
    HRESULT STDMETHODCALLTYPE EnumAudioEndpoints(EDataFlow flow, DWORD mask,
                                                 IMMDeviceCollection** devices) override
    {
        *devices = nullptr;
        HRESULT hr = Enter("IMMDeviceEnumerator::EnumAudioEndpoints");
        if (FAILED(hr))
            return hr;
        // Every described endpoint is a render endpoint; one taken away is
        // not present.
        std::vector<EndpointSpec> endpoints;
        for (const EndpointSpec& spec : Locked([](State& s) { return s.d.endpoints; })) {
            const DWORD state = EndpointPresent(spec.id) ? spec.state : DEVICE_STATE_NOTPRESENT;
            if ((flow == eRender || flow == eAll) && (mask & state) != 0)
                endpoints.push_back(spec);
        }
        *devices = new SimulatedCollection(endpoints);
        return hr;
    }
    HRESULT STDMETHODCALLTYPE GetDefaultAudioEndpoint(EDataFlow flow, ERole,
                                                      IMMDevice** endpoint) override
    {
        *endpoint = nullptr;
        HRESULT hr = Enter("IMMDeviceEnumerator::GetDefaultAudioEndpoint");
        if (FAILED(hr))
            return hr;
        auto [endpoints, index] =
            Locked([](State& s) { return std::make_pair(s.d.endpoints, s.d.default_index); });
        if (flow != eRender || endpoints.empty())
            return HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
        *endpoint = new SimulatedDevice(endpoints[index]);
        return hr;
    }
    UNUSED_METHOD(IMMDeviceEnumerator, GetDevice, LPCWSTR, IMMDevice**);
    HRESULT STDMETHODCALLTYPE
    RegisterEndpointNotificationCallback(IMMNotificationClient* client) override
    {
        HRESULT hr = Enter("IMMDeviceEnumerator::RegisterEndpointNotificationCallback");
        return FAILED(hr) ? hr : RegisterClient(client);
    }
    HRESULT STDMETHODCALLTYPE
    UnregisterEndpointNotificationCallback(IMMNotificationClient* client) override
    {
        HRESULT hr = Enter("IMMDeviceEnumerator::UnregisterEndpointNotificationCallback");
        return FAILED(hr) ? hr : UnregisterClient(client);
    }
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
    ResetEvents();
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
    *enumerator = new SimulatedEnumerator();
    return S_OK;
}

} // namespace simulated_devices
