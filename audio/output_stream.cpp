#include "audio/output_stream.h"

#include "audio/platform_calls.h"
#include "audio/platform_format.h"
#include "audio/stream_format.h"
#include "base/console.h"

HRESULT NegotiateOutputFormat(IAudioClient* client, int32_t output_bit, WaveFormat* format)
{
    HRESULT hr =
        client->IsFormatSupported(AUDCLNT_SHAREMODE_EXCLUSIVE, ToPlatformFormat(format), nullptr);
    if (hr == S_OK || output_bit != 24)
        return hr;
    WaveFormat wide = *format;
    UseWideContainers(&wide);
    if (client->IsFormatSupported(AUDCLNT_SHAREMODE_EXCLUSIVE, ToPlatformFormat(&wide), nullptr) !=
        S_OK) {
        return hr;
    }
    *format = wide;
    return S_OK;
}

HRESULT InitializeExclusive(IMMDevice* endpoint, IAudioClient** client, const WaveFormat* format,
                            REFERENCE_TIME* duration)
{
    const WAVEFORMATEX* wave = ToPlatformFormat(format);
    // Exclusive event-driven streams take equal buffer duration and periodicity.
    HRESULT hr =
        (*client)->Initialize(AUDCLNT_SHAREMODE_EXCLUSIVE, AUDCLNT_STREAMFLAGS_EVENTCALLBACK,
                              *duration, *duration, wave, nullptr);
    if (hr != AUDCLNT_E_BUFFER_SIZE_NOT_ALIGNED)
        return hr;
    UINT32 frames = 0;
    hr = (*client)->GetBufferSize(&frames);
    if (FAILED(hr))
        return hr;
    // A client whose Initialize failed is not to be used again.
    (*client)->Release();
    *client = nullptr;
    hr =
        endpoint->Activate(IID_IAudioClient, CLSCTX_ALL, nullptr, reinterpret_cast<void**>(client));
    if (FAILED(hr))
        return hr;
    *duration = AlignedDuration(format->samples_per_sec, frames);
    return (*client)->Initialize(AUDCLNT_SHAREMODE_EXCLUSIVE, AUDCLNT_STREAMFLAGS_EVENTCALLBACK,
                                 *duration, *duration, wave, nullptr);
}

bool OpenOutputStream(const Settings* settings, const DeviceInfo& capture_info,
                      const CPlayout& playout, CaptureResources* r, OutputStream* stream)
{
    ConsolePrint(L">Enumerate and decide a output device ----------------\n");
    const wchar_t* name = settings->output_device[0] != L'\0' ? settings->output_device : nullptr;
    r->output_endpoint = FindOutputDevice(r->enumerator, r->capture_endpoint, name);
    if (r->output_endpoint == nullptr) {
        ConsolePrint(L"ERROR:Couldn't decide a output device.\n");
        return false;
    }

    ConsolePrint(L">Create a output device ----------------\n");
    DeviceInfo output_info;
    if (!GetDeviceInfo(r->output_endpoint, &output_info))
        return false;
    PrintDeviceInfo(&output_info, false);
    if (FAILED(r->output_endpoint->Activate(IID_IAudioClient, CLSCTX_ALL, nullptr,
                                            reinterpret_cast<void**>(&r->output_client)))) {
        return false;
    }

    WaveFormat* output_format = &output_info.AudioEngine_DeviceFormat;
    BuildOutputFormat(output_format, capture_info.AudioEngine_DeviceFormat.samples_per_sec,
                      settings->output_bit);
    HRESULT hr = NegotiateOutputFormat(r->output_client, settings->output_bit, output_format);
    // The format printed is the one used, or else the first one asked for.
    PrintWaveFormat(output_format);
    // Another success code (e.g. S_FALSE) is reported but tried anyway.
    if (hr != S_OK)
        ConsolePrint(L"ERROR:This format is not supported by endpoint device.\n");
    if (FAILED(hr))
        return false;
    const OutputRefusal refusal = playout.TakesOutput(output_format);
    if (refusal == kOutputFormatRefused)
        ConsolePrint(L"ERROR:This format is not supported by program.\n");
    if (refusal != kOutputTaken)
        return false;
    stream->format = *output_format;

    REFERENCE_TIME default_period = 0;
    REFERENCE_TIME minimum_period = 0;
    if (FAILED(r->output_client->GetDevicePeriod(&default_period, &minimum_period)))
        return false;
    ConsolePrint(L"  DefaultDevicePeriod = %lld\n", static_cast<long long>(default_period));
    ConsolePrint(L"  MinimumDevicePeriod = %lld\n", static_cast<long long>(minimum_period));
    stream->duration = StreamDuration(settings->buffer_duration, minimum_period);
    stream->rate = output_format->samples_per_sec;

    if (FAILED(InitializeExclusive(r->output_endpoint, &r->output_client, output_format,
                                   &stream->duration))) {
        return false;
    }
    UINT32 frames = 0;
    if (FAILED(r->output_client->GetBufferSize(&frames)))
        return false;
    stream->frames = frames;
    if (FAILED(r->output_client->GetService(IID_IAudioRenderClient,
                                            reinterpret_cast<void**>(&r->render_client)))) {
        return false;
    }
    r->output_event = CreateEventHandle(nullptr, FALSE, FALSE, nullptr);
    return SUCCEEDED(r->output_client->SetEventHandle(r->output_event)) &&
           r->output_event != nullptr;
}
