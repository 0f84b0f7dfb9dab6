#include "probe/probe.h"

#include <windows.h>

#include <audioclient.h>
#include <mmdeviceapi.h>
#include <objbase.h>

#include <cwchar>
#include <initializer_list>

#include "audio/com_ptr.h"
#include "audio/device_enumerator.h"
#include "audio/endpoints.h"
#include "audio/output_stream.h"
#include "audio/stream_format.h"
#include "base/console.h"

namespace {

const uint32_t kRates[] = {44100, 48000, 96000, 192000};

struct Sample {
    const wchar_t* name;
    int32_t output_bit; // as BuildOutputFormat takes it
    bool wide;          // 24 valid bits in 32-bit containers
};
const Sample kSamples[] = {{L"16 bits", 16, false},
                           {L"24 bits packed", 24, false},
                           {L"24 bits in 32", 24, true},
                           {L"32 bits", 32, false}};

const wchar_t* ResultName(HRESULT hr)
{
    switch (hr) {
    case AUDCLNT_E_UNSUPPORTED_FORMAT:
        return L"AUDCLNT_E_UNSUPPORTED_FORMAT: the format is refused";
    case AUDCLNT_E_EXCLUSIVE_MODE_NOT_ALLOWED:
        return L"AUDCLNT_E_EXCLUSIVE_MODE_NOT_ALLOWED: exclusive mode is not allowed";
    case AUDCLNT_E_DEVICE_IN_USE:
        return L"AUDCLNT_E_DEVICE_IN_USE: another application holds the device";
    case AUDCLNT_E_BUFFER_SIZE_NOT_ALIGNED:
        return L"AUDCLNT_E_BUFFER_SIZE_NOT_ALIGNED: the buffer size is refused";
    case AUDCLNT_E_INVALID_DEVICE_PERIOD:
        return L"AUDCLNT_E_INVALID_DEVICE_PERIOD: the period is outside the device's";
    case AUDCLNT_E_BUFFER_SIZE_ERROR:
        return L"AUDCLNT_E_BUFFER_SIZE_ERROR: the buffer is too large or too small";
    case AUDCLNT_E_DEVICE_INVALIDATED:
        return L"AUDCLNT_E_DEVICE_INVALIDATED: the endpoint is gone";
    default:
        return L"a failure";
    }
}

void PrintResult(const wchar_t* prefix, HRESULT hr)
{
    ConsolePrint(L"%ls0x%08lX, %ls\n", prefix, static_cast<unsigned long>(hr), ResultName(hr));
}

const wchar_t* StateName(DWORD state)
{
    switch (state) {
    case DEVICE_STATE_ACTIVE:
        return L"active";
    case DEVICE_STATE_UNPLUGGED:
        return L"unplugged (nothing in the jack, or the device is off)";
    case DEVICE_STATE_DISABLED:
        return L"disabled";
    case DEVICE_STATE_NOTPRESENT:
        return L"not present";
    default:
        return L"unknown";
    }
}

// The format trivandel.exe asks for with `sample` at `rate`.
WaveFormat SampleFormat(const WaveFormat& engine, uint32_t rate, const Sample& sample)
{
    WaveFormat format = engine;
    BuildOutputFormat(&format, rate, sample.output_bit);
    if (sample.wide)
        UseWideContainers(&format);
    return format;
}

// Formats at the engine's rate and at each rate of kRates, one row a width.
// False when not one is accepted; *common is then the answer all gave, or
// S_OK if they differ.
bool PrintFormatTable(IAudioClient* client, const WaveFormat& engine, HRESULT* common)
{
    wchar_t title[64];
    std::swprintf(title, 64, L"Exclusive mode, %d channels", engine.channels);
    ConsolePrint(L"  %-28ls engine", title);
    for (uint32_t rate : kRates)
        ConsolePrint(L" %6u", static_cast<unsigned>(rate));
    ConsolePrint(L"   (engine: %u Hz)\n", static_cast<unsigned>(engine.samples_per_sec));
    bool any = false;
    bool first = true;
    *common = S_OK;
    for (const Sample& sample : kSamples) {
        ConsolePrint(L"    %-26ls", sample.name);
        for (int i = -1; i < 4; ++i) {
            const uint32_t rate = i < 0 ? engine.samples_per_sec : kRates[i];
            WaveFormat format = SampleFormat(engine, rate, sample);
            HRESULT hr =
                client->IsFormatSupported(AUDCLNT_SHAREMODE_EXCLUSIVE,
                                          reinterpret_cast<const WAVEFORMATEX*>(&format), nullptr);
            any = any || hr == S_OK;
            *common = first ? hr : (*common == hr ? hr : S_OK);
            first = false;
            ConsolePrint(L" %6ls", hr == S_OK ? L"yes" : L"no");
        }
        ConsolePrint(L"\n");
    }
    return any;
}

// The buffer a stream of `format` gets for `duration` (the retry included).
void PrintBuffer(IMMDevice* endpoint, const WaveFormat& format, REFERENCE_TIME duration,
                 const wchar_t* what)
{
    ComPtr<IAudioClient> client;
    HRESULT hr = endpoint->Activate(IID_IAudioClient, CLSCTX_ALL, nullptr, client.PutVoid());
    const REFERENCE_TIME asked = duration;
    if (SUCCEEDED(hr))
        hr = InitializeExclusive(endpoint, client.Address(), &format, &duration);
    UINT32 frames = 0;
    if (SUCCEEDED(hr))
        hr = client->GetBufferSize(&frames);
    wchar_t prefix[160];
    std::swprintf(prefix, 160, L"      %ls, %lld: ", what, static_cast<long long>(asked));
    if (FAILED(hr)) {
        PrintResult(prefix, hr);
        return;
    }
    ConsolePrint(L"%ls%u frames (%.3f ms)%ls\n", prefix, static_cast<unsigned>(frames),
                 static_cast<double>(frames) * 1000.0 / format.samples_per_sec,
                 duration != asked ? L", after the aligned-buffer retry" : L"");
}

// How trivandel.exe would open the endpoint at the mix rate, for each
// -output_bit. Returns IsFormatSupported's answer for -output_bit 0.
HRESULT PrintProgramStreams(IMMDevice* endpoint, IAudioClient* client, const WaveFormat& engine,
                            uint32_t mix_rate, REFERENCE_TIME minimum_period)
{
    ConsolePrint(L"  As trivandel.exe would open it, at the mix rate %u:\n",
                 static_cast<unsigned>(mix_rate));
    HRESULT automatic = S_OK;
    for (int32_t output_bit : {0, 16, 24}) {
        WaveFormat format = engine;
        BuildOutputFormat(&format, mix_rate, output_bit);
        HRESULT hr = NegotiateOutputFormat(client, output_bit, &format);
        if (output_bit == 0)
            automatic = hr;
        ConsolePrint(L"    -output_bit %d: %d bits, %d valid: ", output_bit,
                     static_cast<int>(format.bits_per_sample),
                     static_cast<int>(format.valid_bits_per_sample));
        if (hr != S_OK) {
            PrintResult(L"refused, ", hr);
            continue;
        }
        WaveFormat used;
        WidenWaveFormat(&format, &used);
        if (!SameSubFormat(used.sub_format, kSubtypePcm) ||
            (used.valid_bits_per_sample != 16 && used.valid_bits_per_sample != 24 &&
             (used.valid_bits_per_sample != 32 || used.bits_per_sample != 32))) {
            ConsolePrint(L"accepted by the endpoint, not by trivandel.exe\n");
            continue;
        }
        ConsolePrint(L"accepted\n");
        PrintBuffer(endpoint, format, StreamDuration(0, minimum_period), L"default duration");
        PrintBuffer(endpoint, format, StreamDuration(10, minimum_period), L"-buffer_duration 10");
    }
    return automatic;
}

struct Choice {
    int number = -1;
    wchar_t name[kDeviceTextUnits] = {};
    HRESULT format = S_OK;
};

void ProbeEndpoint(IMMDevice* endpoint, int number, const wchar_t* capture_id, uint32_t mix_rate,
                   Choice* choice)
{
    ConsolePrint(L"\nNo:%d\n", number);
    DeviceInfo info;
    if (!GetDeviceInfo(endpoint, &info)) {
        ConsolePrint(
            L"  Its name or engine format cannot be read: trivandel.exe passes it over.\n");
        return;
    }
    PrintDeviceInfo(&info, true);
    DWORD state = 0;
    HRESULT hr = endpoint->GetState(&state);
    if (FAILED(hr))
        PrintResult(L"  State: unreadable, ", hr);
    else
        ConsolePrint(L"  State: %ls\n", StateName(state));

    const bool is_capture = _wcsicmp(info.EndpointID, capture_id) == 0;
    const AutomaticChoice why = AutomaticChoiceOf(endpoint, info, is_capture);
    const wchar_t* reason = L"a candidate, after an earlier one";
    if (why == AutomaticChoice::kCaptureEndpoint)
        reason = L"not a candidate: it is the default endpoint, whose sound is captured";
    else if (why == AutomaticChoice::kFewChannels)
        reason = L"not a candidate: fewer than six channels";
    else if (why == AutomaticChoice::kNotActive)
        reason = L"not a candidate: not active";
    else if (choice->number < 0)
        reason = L"the automatic choice: the first candidate";
    ConsolePrint(L"  Without -output_device: %ls\n", reason);

    if (state != DEVICE_STATE_ACTIVE)
        return;
    ComPtr<IAudioClient> client;
    hr = endpoint->Activate(IID_IAudioClient, CLSCTX_ALL, nullptr, client.PutVoid());
    REFERENCE_TIME default_period = 0, minimum_period = 0;
    if (SUCCEEDED(hr))
        hr = client->GetDevicePeriod(&default_period, &minimum_period);
    if (FAILED(hr)) {
        PrintResult(L"  No audio client: ", hr);
        return;
    }
    ConsolePrint(L"  Device periods: default %lld, minimum %lld (100-ns units)\n",
                 static_cast<long long>(default_period), static_cast<long long>(minimum_period));
    HRESULT common = S_OK;
    HRESULT automatic = AUDCLNT_E_UNSUPPORTED_FORMAT;
    if (PrintFormatTable(client.Get(), info.AudioEngine_DeviceFormat, &common)) {
        automatic = PrintProgramStreams(endpoint, client.Get(), info.AudioEngine_DeviceFormat,
                                        mix_rate, minimum_period);
    } else if (common == AUDCLNT_E_EXCLUSIVE_MODE_NOT_ALLOWED) {
        ConsolePrint(
            L"  Exclusive mode is not allowed on this endpoint (0x%08lX), so trivandel.exe "
            L"cannot play on it. On Windows: Sound settings, the device's Properties, "
            L"Advanced, \"Allow applications to take exclusive control of this "
            L"device\".\n",
            static_cast<unsigned long>(common));
        automatic = common;
    } else if (common != S_OK) {
        PrintResult(L"  No format is accepted in exclusive mode; every one answers ", common);
        automatic = common;
    } else {
        ConsolePrint(L"  No format is accepted in exclusive mode.\n");
    }
    if (why == AutomaticChoice::kCandidate && choice->number < 0) {
        choice->number = number;
        std::wcscpy(choice->name, info.Device_FriendlyName);
        choice->format = automatic;
    }
}

} // namespace

int RunProbe()
{
    if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {
        ConsolePrint(L"COM cannot be initialised.\n");
        return 1;
    }
    ComPtr<IMMDeviceEnumerator> enumerator;
    ComPtr<IMMDevice> capture;
    ComPtr<IMMDeviceCollection> collection;
    int status = 1;
    UINT count = 0;
    LPWSTR capture_id = nullptr;
    DeviceInfo capture_info;
    HRESULT hr = CreateDeviceEnumerator(enumerator.Put());
    if (FAILED(hr)) {
        PrintResult(L"No device enumerator: ", hr);
    } else if (FAILED(hr = enumerator->GetDefaultAudioEndpoint(eRender, eConsole, capture.Put())) ||
               FAILED(hr = capture->GetId(&capture_id)) ||
               !GetDeviceInfo(capture.Get(), &capture_info)) {
        PrintResult(L"No default render endpoint to capture: ", hr);
    } else if (FAILED(
                   hr = enumerator->EnumAudioEndpoints(
                       eRender, DEVICE_STATE_ACTIVE | DEVICE_STATE_UNPLUGGED, collection.Put())) ||
               FAILED(hr = collection->GetCount(&count))) {
        PrintResult(L"The render endpoints cannot be listed: ", hr);
    } else {
        status = 0;
        // The loopback runs at the engine rate of the default endpoint, and
        // so does the output.
        const uint32_t mix_rate = capture_info.AudioEngine_DeviceFormat.samples_per_sec;
        ConsolePrint(L"Default render endpoint, captured by loopback:\n");
        PrintDeviceInfo(&capture_info, true);
        Choice choice;
        for (UINT i = 0; i < count; ++i) {
            ComPtr<IMMDevice> endpoint;
            hr = collection->Item(i, endpoint.Put());
            if (FAILED(hr)) {
                PrintResult(L"\nAn endpoint cannot be had: ", hr);
                continue;
            }
            ProbeEndpoint(endpoint.Get(), static_cast<int>(i), capture_id, mix_rate, &choice);
        }
        ConsolePrint(L"\n");
        if (choice.number < 0) {
            ConsolePrint(L"trivandel.exe without options finds no output: no other active "
                         L"endpoint has six or more channels. Name one with -output_device.\n");
        } else if (choice.format != S_OK) {
            const wchar_t* why =
                choice.format == AUDCLNT_E_EXCLUSIVE_MODE_NOT_ALLOWED
                    ? L"exclusive mode is not allowed on it."
                    : L"its format is refused. Try -output_bit 16 or 24, or another rate for "
                      L"the default device.";
            ConsolePrint(L"trivandel.exe without options chooses No:%d \"%ls\", and stops: %ls\n",
                         choice.number, choice.name, why);
        } else {
            ConsolePrint(L"trivandel.exe without options chooses No:%d \"%ls\" and plays.\n",
                         choice.number, choice.name);
        }
    }
    CoTaskMemFree(capture_id);
    // Every interface goes before COM does.
    collection.Reset();
    capture.Reset();
    enumerator.Reset();
    CoUninitialize();
    return status;
}
