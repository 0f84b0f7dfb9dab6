// Stand-in Core Audio objects for tests and for the stand-in build of the
// program: a device enumerator over described render endpoints, their
// property stores, and audio clients whose capture side plays a signal and
// whose output side records what it is given. Wine has no loopback capture
// and no exclusive mode, so streaming can only be exercised on these.
//
// Use: Reset(); AddEndpoint(...) for each endpoint; optionally
// SetCaptureSource / SetOutputClock / FailCall; then hand CreateEnumerator to
// SetDeviceEnumeratorFactory (audio/device_enumerator.h) and start the
// capture thread. Describe everything before the thread starts; the
// observation functions may be called from any thread at any time.
//
// The objects implement the real interfaces from <mmdeviceapi.h> and
// <audioclient.h>. Strings and formats they hand out are CoTaskMemAlloc'd,
// property values are PROPVARIANTs to be freed with PropVariantClear, as
// the platform's are.
#pragma once

#include <windows.h>

#include <audioclient.h>
#include <mmdeviceapi.h>

#include <cstdint>
#include <string>
#include <vector>

#include "wave_format.h"

namespace fake_audio {

// Extensible 32-bit float (the usual engine and mix format).
WaveFormat FloatFormat(uint32_t rate, uint16_t channels);
// Extensible integer PCM with `bits` per container and `valid_bits`.
WaveFormat PcmFormat(uint32_t rate, uint16_t channels, uint16_t bits, uint16_t valid_bits);

struct EndpointSpec {
    std::wstring id;
    std::wstring friendly_name;
    WaveFormat engine_format = FloatFormat(48000, 2); // PKEY_AudioEngine_DeviceFormat
    // Shape of the two properties, to describe unreadable endpoints:
    // VT_EMPTY = absent, any other VARTYPE is served with no payload.
    VARTYPE name_type = VT_LPWSTR;
    VARTYPE format_type = VT_BLOB;
    uint32_t format_blob_bytes = 40; // the blob holds this many bytes of engine_format (max 40)
    // IAudioClient of this endpoint:
    bool has_mix_format = false; // GetMixFormat: mix_format, else engine_format
    WaveFormat mix_format = {};
    REFERENCE_TIME default_period = 100000;
    REFERENCE_TIME minimum_period = 30000;
    HRESULT exclusive_support = S_OK; // result of IsFormatSupported(EXCLUSIVE, ...)
    uint32_t buffer_frames = 0;       // GetBufferSize; 0: the Initialize duration in frames
};

// Forgets endpoints, failures, logs and sources; stops nothing (end the
// capture thread first). Objects still alive keep working on old data.
void Reset();
// Endpoints are enumerated in the order added. The default one (eRender,
// eConsole) is the capture side; the first added is default unless another
// is marked.
void AddEndpoint(const EndpointSpec& spec, bool is_default = false);

// DeviceEnumeratorFactory: a new stand-in IMMDeviceEnumerator.
HRESULT CreateEnumerator(IMMDeviceEnumerator** enumerator);

// ---- failure injection -------------------------------------------------
// Methods are named "Interface::Method", e.g. "IAudioClient::Initialize",
// "IMMDevice::GetId", "IPropertyStore::GetValue",
// "IMMDeviceEnumerator::EnumAudioEndpoints", "IAudioRenderClient::GetBuffer".
// The `occurrence`-th call (1-based, counted per name since Reset) returns
// `result`; occurrence 0 means every call. A failure code makes the method
// do nothing else (out pointers cleared); a success code other than S_OK is
// returned after the method has done its normal work.
void FailCall(const std::string& method, HRESULT result, int occurrence = 0);
// Every call made on any stand-in object since Reset, in order, by name
// (AddRef, Release and QueryInterface are not logged).
std::vector<std::string> CallLog();

// ---- capture side (the loopback stream of the default endpoint) ---------
// Fills `frames` interleaved float frames of `channels` channels at `rate`;
// `first_frame` counts frames served since the stream started.
using SignalSource = void (*)(float* out, uint32_t frames, uint32_t channels, uint32_t rate,
                              uint64_t first_frame, void* context);
struct CaptureConfig {
    SignalSource source = nullptr; // nullptr: silence (zeros, not flagged)
    void* context = nullptr;
    uint32_t packet_frames = 0; // 0: 10 ms at the mix rate
    bool real_time = true;      // packets appear as time passes after Start;
                                // false: only those queued by QueueCapturePackets
    uint32_t silent_every = 0;  // n > 0: every n-th packet is flagged AUDCLNT_BUFFERFLAGS_SILENT
};
void SetCaptureConfig(const CaptureConfig& config);
// Manual pacing: makes `count` more packets available. A silent packet is
// flagged AUDCLNT_BUFFERFLAGS_SILENT and its data is garbage (non-zero).
void QueueCapturePackets(uint32_t count, bool silent = false);

// ---- output side (the exclusive event-driven stream) --------------------
enum class OutputClock {
    kRealTime, // after Start, a timer thread sets the buffer event every periodicity
    kManual,   // only SignalOutputEvent sets it
};
void SetOutputClock(OutputClock clock);
void SignalOutputEvent();
// While held, the real-time timer signals nothing (provokes the 2 s time-out).
void HoldOutputEvents(bool hold);

// Receives every released output buffer (from the thread that released it),
// silent ones included (their data is then all zero).
using RenderSink = void (*)(const uint8_t* data, uint32_t frames, DWORD flags,
                            const WaveFormat& format, void* context);
void SetRenderSink(RenderSink sink, void* context);
// Keep copies of every packet and buffer in StreamLog (default true; turn
// off for long runs).
void SetRecordStreams(bool record);

// One entry per released capture packet or output buffer, in the order of
// release. Capture data is what GetBuffer handed out (garbage for silent).
struct StreamEvent {
    enum Kind { kCapture, kRender } kind;
    uint32_t frames;
    DWORD flags;
    std::vector<uint8_t> data;
};
std::vector<StreamEvent> StreamLog();
// Output buffers released so far (the silent pre-fill included).
size_t RenderedCount();
// Waits until at least `count` output buffers were released; false on time-out.
bool WaitForRendered(size_t count, DWORD timeout_ms);

// ---- observations --------------------------------------------------------
struct InitializeCall {
    std::wstring endpoint_id;
    AUDCLNT_SHAREMODE share_mode;
    DWORD flags;
    REFERENCE_TIME duration;
    REFERENCE_TIME periodicity;
    WaveFormat format; // first 40 bytes (18 for a plain format, rest zero)
};
std::vector<InitializeCall> Initializations();
// Formats passed to IsFormatSupported, in order.
std::vector<WaveFormat> FormatQueries();
// Stand-in objects created and not yet destroyed (reference count > 0).
long LiveObjects();
// Their kinds, e.g. "IAudioClient(id)", for failure messages.
std::vector<std::string> LiveObjectNames();

} // namespace fake_audio
