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
#include <functional>
#include <string>
#include <vector>

#include "base/wave_format.h"

namespace simulated_devices {

WaveFormat FloatFormat(uint32_t rate, uint16_t channels); // extensible 32-bit float
WaveFormat PcmFormat(uint32_t rate, uint16_t channels, uint16_t bits, uint16_t valid_bits);

// Every endpoint reports a default period of 100000, and a minimum period
// of its own, of its class or else 30000.
struct EndpointSpec {
    std::wstring id;
    std::wstring friendly_name;
    WaveFormat engine_format = FloatFormat(48000, 2); // PKEY_AudioEngine_DeviceFormat
    WaveFormat mix_format = {};                       // GetMixFormat; format_tag 0: engine_format
    // The exclusive-mode rules of a real kind of device (DeviceClassNames);
    // "" takes any format and any buffer size.
    std::string device_class;
    DWORD state = DEVICE_STATE_ACTIVE;
    REFERENCE_TIME minimum_period = 0; // 0: the class's
    // Unreadable endpoints: VT_EMPTY is an absent property, another type is
    // served without payload; the blob holds format_blob_bytes of the format.
    VARTYPE name_type = VT_LPWSTR;
    VARTYPE format_type = VT_BLOB;
    uint32_t format_blob_bytes = 40;
};

// The device classes an endpoint may follow, in exclusive mode:
//   hda        HD Audio, 6 channels at 44.1/48/96/192 kHz, 16 bits or 16/20/24
//              valid bits in 32-bit containers, buffers of whole 128-byte
//              blocks (else AUDCLNT_E_BUFFER_SIZE_NOT_ALIGNED and a client
//              that is of no further use), minimum period 30000; engine
//              format 24 in 32 bits at 48 kHz
//   hdmi       the same with 8 channels (a receiver)
//   usb-4byte  USB Audio 2, 6 channels, 16, 24 in 32 and 32 bits, any size,
//              minimum period 20000; engine format 32 bits
//   usb-3byte  USB Audio 2, 6 channels, 16 and packed 24 bits; engine 24
//   usb1       USB Audio 1, 8 channels, 16 bits at 44.1 and 48 kHz only
const std::vector<std::string>& DeviceClassNames();
// Makes `spec` an endpoint of the class with the class's engine format;
// false for an unknown name.
bool DescribeDeviceClass(const std::string& name, EndpointSpec* spec);

// Forgets endpoints, failures, logs and settings (end the capture thread first).
void Reset();
// Enumerated in the order added; the default (capture) endpoint is the first
// one unless another is marked.
void AddEndpoint(const EndpointSpec& spec, bool is_default = false);
// A DeviceEnumeratorFactory (audio/device_enumerator.h).
HRESULT CreateEnumerator(IMMDeviceEnumerator** enumerator);

// The `occurrence`-th call (1-based, counted since Reset) of a method named
// "Interface::Method" returns `result`. A failure does nothing else (out
// pointers cleared), except that a refused Initialize leaves its client of
// no further use but GetBufferSize, as a real refusal does; a success code
// is returned after the normal work.
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

// ---- events: what a day of Windows does to the endpoints ----------------
// Registered IMMNotificationClients hear of each, on the calling thread.
// The endpoint goes away: the calls of its existing clients fail with
// AUDCLNT_E_DEVICE_INVALIDATED, its devices report DEVICE_STATE_NOTPRESENT,
// and it is left out of the enumeration until RestoreEndpoint.
void LoseEndpoint(const std::wstring& id);
// It is back, under `new_id` when that is not empty (as HDMI sinks come back).
void RestoreEndpoint(const std::wstring& id, const std::wstring& new_id = L"");
// The output events of its existing clients stop; their calls still succeed.
void SilenceEndpoint(const std::wstring& id);
// Its existing loopback clients are disconnected (a format change, another
// program taking it exclusively): their calls fail as a lost endpoint's do.
void DisconnectLoopback(const std::wstring& id);
// The endpoint (back, if it was away) becomes the default render endpoint
// for every role. Loopback clients deliver packets only on the default.
void SetDefaultEndpoint(const std::wstring& id);
// It (back, if it was away) becomes the default communications render
// endpoint only; the default for the other roles, which the capture
// follows, stays.
void SetDefaultCommunicationsEndpoint(const std::wstring& id);
// A microphone `id` (no render endpoint) becomes the default capture
// endpoint for every role: only the notifications tell of it.
void SetDefaultMicrophone(const std::wstring& id);
// The Windows Audio service restarts: every call of the audio clients made
// before it that the stream's loop makes fails with
// AUDCLNT_E_SERVICE_NOT_RUNNING; endpoints stay, and new clients work.
void RestartAudioService();

// Runs each action at its time, in seconds from the first start of an
// output stream since Reset, on a thread of its own that nothing waits for.
struct ScriptedEvent {
    double seconds;
    std::function<void()> action;
};
void RunScript(std::vector<ScriptedEvent> script);

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
// The interfaces of the objects still alive (reference count above 0), and
// the notification clients still registered.
std::vector<std::string> LiveObjects();

} // namespace simulated_devices
