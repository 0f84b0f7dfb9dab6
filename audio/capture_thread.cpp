#include "capture_thread.h"

#include <avrt.h>
#include <audioclient.h>
#include <mmdeviceapi.h>
#include <objbase.h>

#include "console.h"
#include "device_enumerator.h"
#include "endpoints.h"
#include "fir_filter.h"
#include "platform_calls.h"
#include "processing_loop.h"
#include "settings.h"
#include "stream_format.h"

namespace {

// Everything the thread obtains; each is released at teardown only if held.
struct CaptureResources {
    HANDLE task = nullptr;
    DWORD task_index = 0;
    bool com_initialized = false;
    IMMDeviceEnumerator* enumerator = nullptr;
    IMMDevice* capture_endpoint = nullptr;
    IMMDevice* output_endpoint = nullptr;
    IAudioClient* output_client = nullptr;
    IAudioRenderClient* render_client = nullptr;
    HANDLE output_event = nullptr;
    IAudioClient* capture_client = nullptr;
    IAudioCaptureClient* capture_reader = nullptr;
    WAVEFORMATEX* mix_format = nullptr;
};

void PrintInitializationFailed()
{
    ConsolePrint(L"ERROR:Audio device initialization was failed.\n");
}

template <class Interface> void ReleaseInterface(Interface*& object)
{
    if (object == nullptr)
        return;
    object->Release();
    object = nullptr;
}

// The set-up steps in order, then the loop. Returns after a failing step
// (its lines printed) or when the loop has ended.
void SetUpAndRun(const Settings* settings, CFIRFilter* filter, CaptureResources* r)
{
    if (!filter->LoadTapFiles()) // its lines name every bad file
        return PrintInitializationFailed();
    filter->mono_lfe = settings->mono_lfe;
    filter->attenuation = settings->attenuation;

    r->task = RegisterMmThread(L"Pro Audio", &r->task_index);
    if (r->task == nullptr)
        return PrintInitializationFailed();
    if (FAILED(InitializeCom(nullptr, COINIT_MULTITHREADED)))
        return PrintInitializationFailed();
    r->com_initialized = true;
    if (FAILED(CreateDeviceEnumerator(&r->enumerator)))
        return PrintInitializationFailed();

    ConsolePrint(L">Get a capture device ----------------\n");
    if (FAILED(r->enumerator->GetDefaultAudioEndpoint(eRender, eConsole, &r->capture_endpoint))) {
        return PrintInitializationFailed();
    }
    DeviceInfo capture_info;
    if (!GetDeviceInfo(r->capture_endpoint, &capture_info))
        return PrintInitializationFailed();
    PrintDeviceInfo(&capture_info, false);

    ConsolePrint(L">Enumerate and decide a output device ----------------\n");
    const wchar_t* name = settings->output_device[0] != L'\0' ? settings->output_device : nullptr;
    r->output_endpoint = FindOutputDevice(r->enumerator, r->capture_endpoint, name);
    if (r->output_endpoint == nullptr) {
        ConsolePrint(L"ERROR:Couldn't decide a output device.\n");
        return PrintInitializationFailed();
    }

    ConsolePrint(L">Create a output device ----------------\n");
    DeviceInfo output_info;
    if (!GetDeviceInfo(r->output_endpoint, &output_info))
        return PrintInitializationFailed();
    PrintDeviceInfo(&output_info, false);
    if (FAILED(r->output_endpoint->Activate(IID_IAudioClient, CLSCTX_ALL, nullptr,
                                            reinterpret_cast<void**>(&r->output_client)))) {
        return PrintInitializationFailed();
    }

    WaveFormat* output_format = &output_info.AudioEngine_DeviceFormat;
    BuildOutputFormat(output_format, capture_info.AudioEngine_DeviceFormat.samples_per_sec,
                      settings->output_bit);
    PrintWaveFormat(output_format);
    HRESULT hr = r->output_client->IsFormatSupported(
        AUDCLNT_SHAREMODE_EXCLUSIVE, reinterpret_cast<const WAVEFORMATEX*>(output_format), nullptr);
    // Another success code (e.g. S_FALSE) is reported but tried anyway.
    if (hr != S_OK)
        ConsolePrint(L"ERROR:This format is not supported by endpoint device.\n");
    if (FAILED(hr))
        return PrintInitializationFailed();
    WidenWaveFormat(output_format, &filter->output_format);
    filter->sample_kind = ChooseSampleKind(filter->output_format);
    if (filter->sample_kind == kSampleKindNone) {
        ConsolePrint(L"ERROR:This format is not supported by program.\n");
        return PrintInitializationFailed();
    }
    // A gain of NaN or infinity, or one too large for this output's full
    // scale, would turn the scaled taps into full-scale noise or DC.
    if (!filter->CheckScaledTaps())
        return PrintInitializationFailed();

    REFERENCE_TIME default_period = 0;
    REFERENCE_TIME minimum_period = 0;
    if (FAILED(r->output_client->GetDevicePeriod(&default_period, &minimum_period))) {
        return PrintInitializationFailed();
    }
    ConsolePrint(L"  DefaultDevicePeriod = %lld\n", static_cast<long long>(default_period));
    ConsolePrint(L"  MinimumDevicePeriod = %lld\n", static_cast<long long>(minimum_period));
    REFERENCE_TIME duration = StreamDuration(settings->buffer_duration, minimum_period);

    // Exclusive event-driven streams take equal buffer duration and periodicity.
    if (FAILED(r->output_client->Initialize(
            AUDCLNT_SHAREMODE_EXCLUSIVE, AUDCLNT_STREAMFLAGS_EVENTCALLBACK, duration, duration,
            reinterpret_cast<const WAVEFORMATEX*>(output_format), nullptr))) {
        return PrintInitializationFailed();
    }
    UINT32 output_frames = 0;
    if (FAILED(r->output_client->GetBufferSize(&output_frames)))
        return PrintInitializationFailed();
    if (FAILED(r->output_client->GetService(IID_IAudioRenderClient,
                                            reinterpret_cast<void**>(&r->render_client)))) {
        return PrintInitializationFailed();
    }
    r->output_event = CreateEventHandle(nullptr, FALSE, FALSE, nullptr);
    if (FAILED(r->output_client->SetEventHandle(r->output_event)) || r->output_event == nullptr) {
        return PrintInitializationFailed();
    }

    ConsolePrint(L">Create a capture device ----------------\n");
    if (FAILED(r->capture_endpoint->Activate(IID_IAudioClient, CLSCTX_ALL, nullptr,
                                             reinterpret_cast<void**>(&r->capture_client)))) {
        return PrintInitializationFailed();
    }
    if (FAILED(r->capture_client->GetMixFormat(&r->mix_format)))
        return PrintInitializationFailed();
    const WaveFormat* mix_format = reinterpret_cast<const WaveFormat*>(r->mix_format);
    PrintWaveFormat(mix_format);
    // Room for the pre-buffered frames and one more capture packet (at most
    // the capture buffer, two output buffers), however long the filter.
    filter->buffer_msec = StoreMilliseconds(
        PrebufferFrames(output_frames, filter->GetTapCount()) + 2ull * output_frames,
        mix_format->samples_per_sec);
    if (!filter->SetFormat(mix_format)) {
        ConsolePrint(L"ERROR:This format is not supported by program.\n");
        return PrintInitializationFailed();
    }
    // Loopback streams have no event of their own: the output event paces
    // the reads, so the capture buffer holds two output periods.
    if (FAILED(r->capture_client->Initialize(AUDCLNT_SHAREMODE_SHARED, AUDCLNT_STREAMFLAGS_LOOPBACK,
                                             2 * duration, 0, r->mix_format, nullptr))) {
        return PrintInitializationFailed();
    }
    if (FAILED(r->capture_client->GetService(IID_IAudioCaptureClient,
                                             reinterpret_cast<void**>(&r->capture_reader)))) {
        return PrintInitializationFailed();
    }
    UINT32 capture_frames = 0;
    if (FAILED(r->capture_client->GetBufferSize(&capture_frames)))
        return PrintInitializationFailed();
    if (FAILED(r->capture_client->Start()))
        return PrintInitializationFailed();

    // An exclusive stream plays its first buffer at Start: hand it silence.
    BYTE* data = nullptr;
    if (FAILED(r->render_client->GetBuffer(output_frames, &data)) ||
        FAILED(r->render_client->ReleaseBuffer(output_frames, AUDCLNT_BUFFERFLAGS_SILENT))) {
        return PrintInitializationFailed();
    }
    if (FAILED(r->output_client->Start()))
        return PrintInitializationFailed();
    ConsolePrint(L">Start the captureing.\n");
    if (settings->verbose) {
        float capture_ms =
            static_cast<float>(capture_frames) * 1000.0f /
            static_cast<float>(capture_info.AudioEngine_DeviceFormat.samples_per_sec);
        float output_ms = static_cast<float>(output_frames) * 1000.0f /
                          static_cast<float>(output_format->samples_per_sec);
        ConsolePrint(L"  Capture Buffer Length : %.3f[msec] %d[frame]\n",
                     static_cast<double>(capture_ms), static_cast<int>(capture_frames));
        ConsolePrint(L"  Output Buffer Length : %.3f[msec] %d[frame]\n",
                     static_cast<double>(output_ms), static_cast<int>(output_frames));
    }

    LoopStreams streams = {r->output_client, r->render_client,  r->output_event,
                           output_frames,    r->capture_client, r->capture_reader};
    RunProcessingLoop(filter, streams, settings);
}

// The one teardown, in this order on every exit; no stream is stopped here.
void TearDown(CaptureResources* r)
{
    if (r->task != nullptr) {
        AvRevertMmThreadCharacteristics(r->task);
        r->task = nullptr;
    }
    if (r->mix_format != nullptr) {
        CoTaskMemFree(r->mix_format);
        r->mix_format = nullptr;
    }
    ReleaseInterface(r->enumerator);
    ReleaseInterface(r->capture_endpoint);
    ReleaseInterface(r->capture_client);
    ReleaseInterface(r->capture_reader);
    ReleaseInterface(r->render_client);
    ReleaseInterface(r->output_client);
    ReleaseInterface(r->output_endpoint);
    if (r->output_event != nullptr) {
        CloseHandle(r->output_event);
        r->output_event = nullptr;
    }
    if (r->com_initialized) {
        CoUninitialize();
        r->com_initialized = false;
    }
    ConsolePrint(L">The capture thread has terminated.\n");
}

} // namespace

DWORD WINAPI CaptureThreadProc(LPVOID parameter)
{
    const Settings* settings = static_cast<const Settings*>(parameter);
    CFIRFilter filter;
    CaptureResources resources;
    SetUpAndRun(settings, &filter, &resources);
    TearDown(&resources);
    return 0; // the filter is destroyed here, after the last line
}
