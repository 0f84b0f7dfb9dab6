// Stand-in Core Audio objects for the audio tests and the stand-in build of
// the program: an enumerator over described render endpoints, their property
// stores, and audio clients whose loopback side plays a signal and whose
// output side records what it is given (Wine has neither loopback capture nor
// exclusive mode). Describe everything before the capture thread starts; the
// observations may be read from any thread. Strings, formats and property
// values are CoTaskMemAlloc'd, as the platform's are.
#pragma once

#include <windows.h>

#include <audioclient.h>
#include <mmdeviceapi.h>

#include <cstdint>
#include <string>
#include <vector>

#include "base/wave_format.h"

namespace standin {

WaveFormat FloatFormat(uint32_t rate, uint16_t channels); // extensible 32-bit float
WaveFormat PcmFormat(uint32_t rate, uint16_t channels, uint16_t bits, uint16_t valid_bits);

// Every endpoint reports a default period of 100000 and a minimum of 30000.
struct EndpointSpec {
    std::wstring id;
    std::wstring friendly_name;
    WaveFormat engine_format = FloatFormat(48000, 2); // PKEY_AudioEngine_DeviceFormat
    WaveFormat mix_format = {};                       // GetMixFormat; format_tag 0: engine_format
    // Unreadable endpoints: VT_EMPTY is an absent property, another type is
    // served without payload; the blob holds format_blob_bytes of the format.
    VARTYPE name_type = VT_LPWSTR;
    VARTYPE format_type = VT_BLOB;
    uint32_t format_blob_bytes = 40;
};

// Forgets endpoints, failures, logs and settings (end the capture thread first).
void Reset();
// Enumerated in the order added; the default (capture) endpoint is the first
// one unless another is marked.
void AddEndpoint(const EndpointSpec& spec, bool is_default = false);
// A DeviceEnumeratorFactory (audio/device_enumerator.h).
HRESULT CreateEnumerator(IMMDeviceEnumerator** enumerator);

// The `occurrence`-th call (1-based, counted since Reset) of a method named
// "Interface::Method" returns `result`. A failure does nothing else (out
// pointers cleared); a success code is returned after the normal work.
void FailCall(const std::string& method, HRESULT result, int occurrence);
// Every call since Reset, in order (AddRef, Release, QueryInterface aside).
std::vector<std::string> CallLog();

// ---- capture side: the loopback stream of the default endpoint ----------
using SignalSource = void (*)(float* out, uint32_t frames, uint32_t channels, uint32_t rate,
                              uint64_t first_frame, void* context);
struct CaptureConfig {
    SignalSource source = nullptr; // nullptr: zeros
    void* context = nullptr;
    uint32_t packet_frames = 0; // 0: 10 ms
    bool real_time = true;      // packets come due as time passes after Start;
                                // false: only those queued by QueueCapturePackets
};
void SetCaptureConfig(const CaptureConfig& config);
// Manual pacing: `count` more packets of `frames` (0: packet_frames); silent
// ones are flagged AUDCLNT_BUFFERFLAGS_SILENT and hold garbage. With `lost`,
// the signal skips that many frames before the first of them, which is
// flagged AUDCLNT_BUFFERFLAGS_DATA_DISCONTINUITY.
void QueueCapturePackets(uint32_t count, bool silent = false, uint32_t frames = 0,
                         uint32_t lost = 0);

// ---- output side: the exclusive event-driven stream --------------------
enum class OutputClock {
    kRealTime, // after Start, a timer sets the buffer event every period
    kManual,   // only SignalOutputEvent sets it
};
void SetOutputClock(OutputClock clock);
void SignalOutputEvent();

// ---- observations ---------------------------------------------------------
// One entry per released capture packet or output buffer, in order.
struct StreamEvent {
    enum Kind { kCapture, kRender } kind;
    uint32_t frames;
    DWORD flags;
    std::vector<uint8_t> data;
};

// Receives every released capture packet and output buffer (silent output
// buffers all zero), on the thread that released it, in the stream's format.
using StreamSink = void (*)(StreamEvent::Kind kind, const uint8_t* data, uint32_t frames,
                            DWORD flags, const WaveFormat& format, void* context);
void SetStreamSink(StreamSink sink, void* context);
// Keep every call in CallLog and every packet and buffer in StreamLog
// (default true; off for long runs).
void SetRecording(bool record);

std::vector<StreamEvent> StreamLog();
size_t RenderedCount(); // output buffers released, the silent pre-fill included
bool WaitForRendered(size_t count, DWORD timeout_ms); // false on time-out

struct InitializeCall {
    std::wstring endpoint_id;
    AUDCLNT_SHAREMODE share_mode;
    DWORD flags;
    REFERENCE_TIME duration;
    REFERENCE_TIME periodicity;
    WaveFormat format; // 18 bytes of a plain format, the rest zero
};
std::vector<InitializeCall> Initializations();
// The interfaces of the objects still alive (reference count above 0).
std::vector<std::string> LiveObjects();

} // namespace standin
