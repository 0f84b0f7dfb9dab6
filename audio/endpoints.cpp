#include "audio/endpoints.h"

#include <functiondiscoverykeys_devpkey.h>
#include <propidl.h>

#include <cstring>
#include <cwchar>

#include "audio/com_ptr.h"
#include "base/console.h"
#include "base/wide_text.h"

namespace {

bool IsExtensible(const WaveFormat* format)
{
    return format->format_tag == kWaveFormatExtensible;
}

} // namespace

void PrintWaveFormat(const WaveFormat* format)
{
    ConsolePrint(IsExtensible(format) ? L"WAVEFORMATEXTENSIBLE\n" : L"WAVEFORMATEX\n");
    ConsolePrint(
        L"  nChannels           = %d\n  nSamplesPerSec      = %d\n  nAvgBytesPerSec     = %d\n"
        L"  nBlockAlign         = %d\n  wBitsPerSample      = %d\n",
        static_cast<int>(format->channels), static_cast<int>(format->samples_per_sec),
        static_cast<int>(format->avg_bytes_per_sec), static_cast<int>(format->block_align),
        static_cast<int>(format->bits_per_sample));
    if (!IsExtensible(format))
        return;
    if (SameSubFormat(format->sub_format, kSubtypePcm)) {
        ConsolePrint(L"  SubFormat           = KSDATAFORMAT_SUBTYPE_PCM\n");
    } else if (SameSubFormat(format->sub_format, kSubtypeFloat)) {
        ConsolePrint(L"  SubFormat           = KSDATAFORMAT_SUBTYPE_IEEE_FLOAT\n");
    } else {
        ConsolePrint(L"  SubFormat           = %p (unknown)\n",
                     static_cast<const void*>(&format->sub_format));
    }
    ConsolePrint(L"  wValidBitsPerSample = %d\n", static_cast<int>(format->valid_bits_per_sample));
}

bool GetDeviceInfo(IMMDevice* endpoint, DeviceInfo* info)
{
    LPWSTR id = nullptr;
    if (FAILED(endpoint->GetId(&id)))
        return false;
    CopyWideText(info->EndpointID, id != nullptr ? id : L"");
    CoTaskMemFree(id);

    ComPtr<IPropertyStore> store;
    if (FAILED(endpoint->OpenPropertyStore(STGM_READ, store.Put())))
        return false;

    PROPVARIANT value;
    PropVariantInit(&value);
    HRESULT hr = store->GetValue(PKEY_Device_FriendlyName, &value);
    // An absent property comes back as VT_EMPTY with S_OK: unreadable.
    bool readable = SUCCEEDED(hr) && value.vt == VT_LPWSTR && value.pwszVal != nullptr;
    if (readable)
        CopyWideText(info->Device_FriendlyName, value.pwszVal);
    PropVariantClear(&value);
    if (!readable)
        return false;

    hr = store->GetValue(PKEY_AudioEngine_DeviceFormat, &value);
    // Never read past the blob: a short one is as unreadable as none.
    readable = SUCCEEDED(hr) && value.vt == VT_BLOB && value.blob.pBlobData != nullptr &&
               value.blob.cbSize >= sizeof(WaveFormat);
    if (readable)
        std::memcpy(&info->AudioEngine_DeviceFormat, value.blob.pBlobData, sizeof(WaveFormat));
    PropVariantClear(&value);
    return readable && hr == S_OK;
}

void PrintDeviceInfo(const DeviceInfo* info, bool with_format)
{
    ConsolePrint(L"  Device_FriendlyName      = \"%ls\"\n", info->Device_FriendlyName);
    ConsolePrint(L"  EndpointID               = %ls\n", info->EndpointID);
    if (!with_format)
        return;
    const WaveFormat* format = &info->AudioEngine_DeviceFormat;
    const wchar_t* kind = L"(unknown)";
    int valid_bits = 0;
    if (IsExtensible(format) && SameSubFormat(format->sub_format, kSubtypePcm)) {
        kind = L"PCM";
        valid_bits = format->valid_bits_per_sample;
    } else if (IsExtensible(format) && SameSubFormat(format->sub_format, kSubtypeFloat)) {
        kind = L"Float";
        valid_bits = format->valid_bits_per_sample;
    }
    float khz = static_cast<float>(format->samples_per_sec) / 1000.0f;
    ConsolePrint(L"  AudioEngine_DeviceFormat = %.1fkHz %dbit %ls(%dbit) %dch\n",
                 static_cast<double>(khz), static_cast<int>(format->bits_per_sample), kind,
                 valid_bits, static_cast<int>(format->channels));
}

bool IsActive(IMMDevice* endpoint)
{
    DWORD state = 0;
    return SUCCEEDED(endpoint->GetState(&state)) && state == DEVICE_STATE_ACTIVE;
}

AutomaticChoice AutomaticChoiceOf(IMMDevice* endpoint, const DeviceInfo& info, bool is_capture)
{
    if (is_capture)
        return AutomaticChoice::kCaptureEndpoint;
    if (info.AudioEngine_DeviceFormat.channels < 6)
        return AutomaticChoice::kFewChannels;
    // The listing includes unplugged endpoints (an empty jack), which cannot stream.
    return IsActive(endpoint) ? AutomaticChoice::kCandidate : AutomaticChoice::kNotActive;
}

bool IsNamed(const DeviceInfo& info, const wchar_t* name)
{
    return _wcsicmp(info.EndpointID, name) == 0 || _wcsicmp(info.Device_FriendlyName, name) == 0;
}

bool IsOutputCandidate(IMMDevice* endpoint, IMMDevice* capture_endpoint, const wchar_t* name)
{
    DeviceInfo info;
    if (!GetDeviceInfo(endpoint, &info))
        return false;
    PrintDeviceInfo(&info, true);

    LPWSTR capture_id = nullptr;
    if (FAILED(capture_endpoint->GetId(&capture_id)))
        return false;
    bool is_capture = capture_id != nullptr && _wcsicmp(info.EndpointID, capture_id) == 0;
    CoTaskMemFree(capture_id);

    if (name != nullptr) {
        bool matches = IsNamed(info, name);
        if (matches && is_capture) {
            ConsolePrint(L"ERROR:Specified output device is same as capture device.(-output_device "
                         L"option)\n");
            return false;
        }
        return matches;
    }
    return AutomaticChoiceOf(endpoint, info, is_capture) == AutomaticChoice::kCandidate;
}

IMMDevice* FindOutputDevice(IMMDeviceEnumerator* enumerator, IMMDevice* capture_endpoint,
                            const wchar_t* name)
{
    ComPtr<IMMDeviceCollection> collection;
    UINT count = 0;
    if (FAILED(enumerator->EnumAudioEndpoints(eRender, DEVICE_STATE_ACTIVE | DEVICE_STATE_UNPLUGGED,
                                              collection.Put())) ||
        FAILED(collection->GetCount(&count))) {
        ConsolePrintNarrow("Error!\n");
        return nullptr;
    }
    if (count == 0) {
        ConsolePrintNarrow(">No endpoints found.\n");
        return nullptr;
    }

    ComPtr<IMMDevice> choice;
    for (UINT i = 0; i < count; ++i) {
        ComPtr<IMMDevice> endpoint;
        if (FAILED(collection->Item(i, endpoint.Put()))) {
            ConsolePrintNarrow("Error!\n");
            return nullptr;
        }
        ConsolePrint(L"No:%d\n", static_cast<int>(i));
        // Every endpoint is listed; the first candidate in enumeration order wins.
        if (IsOutputCandidate(endpoint.Get(), capture_endpoint, name) && choice.Get() == nullptr)
            choice.Attach(endpoint.Detach());
    }
    return choice.Detach();
}
