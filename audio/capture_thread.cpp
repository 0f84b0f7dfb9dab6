#include "audio/capture_thread.h"

#include <avrt.h>
#include <cstdlib>
#include <objbase.h>

#include "audio/capture_end.h"
#include "audio/capture_resources.h"
#include "audio/capture_stream.h"
#include "audio/device_enumerator.h"
#include "audio/endpoints.h"
#include "audio/output_stream.h"
#include "audio/platform_calls.h"
#include "audio/processing_loop.h"
#include "audio/settings.h"
#include "base/console.h"
#include "engine/filter/playout.h"

namespace {

template <class Interface> void ReleaseInterface(Interface*& object)
{
    if (object == nullptr)
        return;
    object->Release();
    object = nullptr;
}

// An endpoint that no longer answers, or is no longer active, has gone
// away: the failure of a call on it says nothing about the call.
bool IsGone(IMMDevice* endpoint)
{
    return endpoint != nullptr && !IsActive(endpoint);
}

// Why set-up failed once the endpoints were in hand: one of them went away
// meanwhile, or the failure is for good.
CaptureEnd SetUpEnd(const CaptureResources& r)
{
    if (IsGone(r.output_endpoint))
        return kOutputLost;
    return IsGone(r.capture_endpoint) ? kLoopbackLost : kCaptureEnded;
}

// Starts both streams, the output with a silent first buffer (an exclusive
// stream plays it at Start). A start that fails because its stream is gone
// (the audio service restarting leaves the endpoints in place) ends as that
// side's loss, as in the loop.
bool StartStreams(const OutputStream& output, CaptureResources* r, CaptureEnd* end)
{
    BYTE* data = nullptr;
    HRESULT hr = r->capture_client->Start();
    const CaptureEnd gone = FAILED(hr) ? kLoopbackLost : kOutputLost;
    if (SUCCEEDED(hr))
        hr = r->render_client->GetBuffer(output.frames, &data);
    if (SUCCEEDED(hr))
        hr = r->render_client->ReleaseBuffer(output.frames, AUDCLNT_BUFFERFLAGS_SILENT);
    if (SUCCEEDED(hr))
        hr = r->output_client->Start();
    if (FAILED(hr)) {
        *end = SetUpEnd(*r);
        if (*end == kCaptureEnded && IsDeviceGone(hr))
            *end = gone;
        return false;
    }
    return true;
}

// Taps, scheduler, COM and the capture endpoint, then both streams opened
// and started. False after a failing step has printed its own line, if any;
// `end` then says whether a missing or lost endpoint was the cause.
bool SetUp(const Settings* settings, CPlayout* playout, CaptureResources* r, OutputStream* output,
           CaptureEnd* end)
{
    if (!playout->Filter().LoadTapFiles()) // its lines name every bad file
        return false;
    if (!ChooseConvolution(std::getenv("TRIVANDEL_CONVOLUTION"), &playout->Filter().convolution))
        return false;
    playout->SetOptions(settings->attenuation, settings->mono_lfe);

    r->task = RegisterMmThread(L"Pro Audio", &r->task_index);
    if (r->task == nullptr)
        return false;
    if (FAILED(InitializeCom(nullptr, COINIT_MULTITHREADED)))
        return false;
    r->com_initialized = true;
    if (FAILED(CreateDeviceEnumerator(&r->enumerator)))
        return false;

    ConsolePrint(L">Get a capture device ----------------\n");
    if (FAILED(r->enumerator->GetDefaultAudioEndpoint(eRender, eConsole, &r->capture_endpoint))) {
        *end = kEndpointMissing;
        return false;
    }
    DeviceInfo capture_info;
    if (!GetDeviceInfo(r->capture_endpoint, &capture_info)) {
        *end = SetUpEnd(*r);
        return false;
    }
    PrintDeviceInfo(&capture_info, false);

    const bool output_opened = OpenOutputStream(settings, capture_info, *playout, r, output);
    if (!output_opened && r->output_endpoint == nullptr) {
        *end = kEndpointMissing; // none listed, or only the default itself
        return false;
    }
    uint32_t capture_frames = 0;
    if (!output_opened || !OpenCaptureStream(*output, playout, r, &capture_frames)) {
        *end = SetUpEnd(*r);
        return false;
    }
    if (!StartStreams(*output, r, end))
        return false;

    ConsolePrint(L">Start the captureing.\n");
    if (playout->Filter().convolution == kConvolutionFft)
        ConsolePrint(L"  Convolution : partitioned FFT (TRIVANDEL_CONVOLUTION=fft)\n");
    if (settings->verbose) {
        const float rate = static_cast<float>(output->rate);
        float capture_ms = static_cast<float>(capture_frames) * 1000.0f / rate;
        float output_ms = static_cast<float>(output->frames) * 1000.0f / rate;
        ConsolePrint(L"  Capture Buffer Length : %.3f[msec] %d[frame]\n",
                     static_cast<double>(capture_ms), static_cast<int>(capture_frames));
        ConsolePrint(L"  Output Buffer Length : %.3f[msec] %d[frame]\n",
                     static_cast<double>(output_ms), static_cast<int>(output->frames));
    }
    return true;
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
    CPlayout playout;
    CaptureResources resources;
    OutputStream output;
    CaptureEnd end = kCaptureEnded;
    if (SetUp(settings, &playout, &resources, &output, &end)) {
        LoopStreams streams = {resources.output_client,  resources.render_client,
                               resources.output_event,   output.frames,
                               resources.capture_client, resources.capture_reader};
        end = RunProcessingLoop(&playout, streams, settings);
    } else {
        ConsolePrint(L"ERROR:Audio device initialization was failed.\n");
    }
    TearDown(&resources);
    return end; // the playout is destroyed here, after the last line
}
