// Everything the capture thread obtains while it sets up its streams. Each
// item is released by the thread's one teardown, only if it was obtained.
#pragma once

#include <windows.h>

#include <audioclient.h>
#include <mmdeviceapi.h>

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
