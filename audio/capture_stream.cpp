#include "audio/capture_stream.h"

#include "audio/endpoints.h"
#include "audio/platform_format.h"
#include "base/console.h"

bool OpenCaptureStream(const OutputStream& output, CPlayout* playout, CaptureResources* r,
                       uint32_t* capture_frames)
{
    ConsolePrint(L">Create a capture device ----------------\n");
    if (FAILED(r->capture_endpoint->Activate(IID_IAudioClient, CLSCTX_ALL, nullptr,
                                             reinterpret_cast<void**>(&r->capture_client)))) {
        return false;
    }
    if (FAILED(r->capture_client->GetMixFormat(&r->mix_format)))
        return false;
    const WaveFormat* mix_format = FromPlatformFormat(r->mix_format);
    PrintWaveFormat(mix_format);
    if (!playout->Start(mix_format, &output.format, output.frames)) {
        ConsolePrint(L"ERROR:This format is not supported by program.\n");
        return false;
    }
    // Loopback streams have no event of their own: the output event paces
    // the reads, so the capture buffer holds two output periods.
    if (FAILED(r->capture_client->Initialize(AUDCLNT_SHAREMODE_SHARED, AUDCLNT_STREAMFLAGS_LOOPBACK,
                                             2 * output.duration, 0, r->mix_format, nullptr))) {
        return false;
    }
    if (FAILED(r->capture_client->GetService(IID_IAudioCaptureClient,
                                             reinterpret_cast<void**>(&r->capture_reader)))) {
        return false;
    }
    UINT32 frames = 0;
    if (FAILED(r->capture_client->GetBufferSize(&frames)))
        return false;
    *capture_frames = frames;
    return true;
}
