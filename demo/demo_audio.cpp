#include "demo/demo_audio.h"

#include <windows.h>

#include <cmath>
#include <cstdio>
#include <cwchar>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "audio/device_enumerator.h"
#include "simulated_devices/simulated_devices.h"
#include "wav/wav_file.h"

namespace {

constexpr uint32_t kToneRate = 48000;
constexpr double kToneHz[3] = {100.0, 1000.0, 8000.0};
constexpr double kToneAmplitude = 0.25;
constexpr double kTwoPi = 6.283185307179586;

enum class InputKind { kTones, kSilence, kWav };

const wchar_t* const kSpeakersId = L"{0.0.0.00000000}.{5ea1d7a0-0001-4000-8000-000000000001}";
const wchar_t* const kHeadphonesId = L"{0.0.0.00000000}.{5ea1d7a0-0001-4000-8000-000000000002}";
const wchar_t* const kOutputIdStem = L"{0.0.0.00000000}.{5ea1d7a0-0001-4000-8000-00000000000";
const wchar_t* const kMicrophoneId = L"{0.0.1.00000000}.{5ea1d7a0-0001-4000-8000-000000000009}";

struct DemoDevices {
    InputKind input = InputKind::kTones;
    std::vector<float> tones; // one period of the tones' sum
    WavSignal wav;
    std::wstring output_path;
    std::mutex output_mutex; // one capture thread at a time, but be safe
    CWavWriter writer;
    bool output_failed = false;
    // The multichannel endpoint's id now, and the digit of its next new one.
    std::wstring output_id = std::wstring(kOutputIdStem) + L"6}";
    wchar_t next_output_digit = L'7';
    std::wstring default_id = kSpeakersId;
};

DemoDevices& State()
{
    static DemoDevices state;
    return state;
}

std::wstring Environment(const wchar_t* name)
{
    wchar_t value[MAX_PATH * 2];
    DWORD n = GetEnvironmentVariableW(name, value, MAX_PATH * 2);
    if (n == 0 || n >= MAX_PATH * 2)
        return std::wstring();
    return std::wstring(value, n);
}

// A decimal number within [low, high].
bool ReadNumber(const std::wstring& text, uint32_t low, uint32_t high, uint32_t* value)
{
    wchar_t* end = nullptr;
    const unsigned long long n = std::wcstoull(text.c_str(), &end, 10);
    if (end == text.c_str() || *end != L'\0' || n < low || n > high)
        return false;
    *value = static_cast<uint32_t>(n);
    return true;
}

// The tones repeat every rate / gcd(rate, 100) frames: one period is
// computed once, so that serving them costs no sine per sample (MinGW's sine
// is the slow x87 one, and the demo's cost under Wine is measured).
std::vector<float> TonePeriod(uint32_t rate)
{
    uint32_t a = rate, b = 100;
    while (b != 0)
        a = std::exchange(b, a % b);
    std::vector<float> period(rate / a);
    for (uint64_t n = 0; n < period.size(); ++n) {
        double sum = 0.0;
        for (double hz : kToneHz) {
            // The phase from the frame count, reduced exactly.
            const uint64_t cycle = static_cast<uint64_t>(hz) * n % rate;
            sum += kToneAmplitude * std::sin(kTwoPi * static_cast<double>(cycle) / rate);
        }
        period[n] = static_cast<float>(sum);
    }
    return period;
}

void ServeTones(const std::vector<float>& tones, float* out, uint32_t frames, uint32_t channels,
                uint64_t first)
{
    size_t n = first % tones.size();
    for (uint32_t i = 0; i < frames; ++i) {
        const float sample = tones[n];
        n = n + 1 == tones.size() ? 0 : n + 1;
        for (uint32_t c = 0; c < channels; ++c)
            out[i * channels + c] = c < 2 ? sample : 0.0f;
    }
}

void ServeWav(const WavSignal& wav, float* out, uint32_t frames, uint32_t channels, uint64_t first)
{
    const size_t length = wav.samples.size() / wav.channels;
    for (uint32_t i = 0; i < frames; ++i) {
        const float* frame = wav.samples.data() + ((first + i) % length) * wav.channels;
        for (uint32_t c = 0; c < channels; ++c) {
            // A mono file feeds both channels; extra stream channels get zero.
            const uint32_t source = wav.channels == 1 ? 0 : c;
            out[i * channels + c] = source < wav.channels && c < 2 ? frame[source] : 0.0f;
        }
    }
}

void ServeSignal(float* out, uint32_t frames, uint32_t channels, uint32_t, uint64_t first,
                 void* context)
{
    const DemoDevices& state = *static_cast<const DemoDevices*>(context);
    switch (state.input) {
    case InputKind::kTones:
        ServeTones(state.tones, out, frames, channels, first);
        break;
    case InputKind::kWav:
        ServeWav(state.wav, out, frames, channels, first);
        break;
    case InputKind::kSilence:
        for (uint32_t i = 0; i < frames * channels; ++i)
            out[i] = 0.0f;
        break;
    }
}

void RecordOutput(simulated_devices::StreamEvent::Kind kind, const uint8_t* data, uint32_t frames,
                  DWORD, const WaveFormat& format, void* context)
{
    if (kind != simulated_devices::StreamEvent::kRender)
        return;
    DemoDevices& state = *static_cast<DemoDevices*>(context);
    std::lock_guard<std::mutex> lock(state.output_mutex);
    if (state.output_failed)
        return;
    const uint32_t rate = format.samples_per_sec;
    const uint16_t channels = format.channels;
    const uint16_t bits = format.bits_per_sample;
    if (!state.writer.IsOpen()) {
        if (!state.writer.Open(state.output_path, rate, channels, bits)) {
            std::fwprintf(stderr, L"standin: cannot write %ls\n", state.output_path.c_str());
            state.output_failed = true;
            return;
        }
    } else if (!state.writer.Matches(rate, channels, bits)) {
        // One file holds one format; a restart with another is not recorded.
        std::fwprintf(stderr, L"standin: output format changed, not recorded\n");
        return;
    }
    if (!state.writer.Append(data, static_cast<size_t>(frames) * format.block_align)) {
        std::fwprintf(stderr, L"standin: writing %ls failed\n", state.output_path.c_str());
        state.output_failed = true;
    }
}

// The events of TRIVANDEL_STANDIN_EVENTS, on the script's thread.
void ApplyEvent(const std::wstring& name)
{
    DemoDevices& state = State();
    if (name == L"output-lost") {
        simulated_devices::LoseEndpoint(state.output_id);
    } else if (name == L"output-back") {
        simulated_devices::RestoreEndpoint(state.output_id);
    } else if (name == L"output-back-new-id") {
        // As an HDMI sink can come back after sleep: a new device.
        const std::wstring old_id = state.output_id;
        state.output_id = std::wstring(kOutputIdStem) + state.next_output_digit++ + L"}";
        simulated_devices::RestoreEndpoint(old_id, state.output_id);
    } else if (name == L"output-silent") {
        simulated_devices::SilenceEndpoint(state.output_id);
    } else if (name == L"default-change") {
        // A headset plugged in and made the default, or taken out again;
        // both carry the same signal.
        state.default_id = state.default_id == kHeadphonesId ? kSpeakersId : kHeadphonesId;
        simulated_devices::SetDefaultEndpoint(state.default_id);
    } else if (name == L"default-output") {
        state.default_id = state.output_id;
        simulated_devices::SetDefaultEndpoint(state.default_id);
    } else if (name == L"loopback-lost") {
        simulated_devices::DisconnectLoopback(state.default_id);
    } else if (name == L"default-communications") {
        simulated_devices::SetDefaultCommunicationsEndpoint(kHeadphonesId);
    } else if (name == L"default-microphone") {
        simulated_devices::SetDefaultMicrophone(kMicrophoneId);
    } else if (name == L"service-restart") {
        simulated_devices::RestartAudioService();
    }
    // For whoever waits on the event rather than on the clock.
    std::fwprintf(stderr, L"standin: event %ls\n", name.c_str());
    std::fflush(stderr);
}

const wchar_t* const kEventNames[] = {
    L"output-lost",        L"output-back",    L"output-back-new-id", L"output-silent",
    L"default-change",     L"default-output", L"loopback-lost",      L"default-communications",
    L"default-microphone", L"service-restart"};

// "SECONDS:EVENT[,SECONDS:EVENT...]" into the stand-in's script.
bool ParseEvents(const std::wstring& text, std::vector<simulated_devices::ScriptedEvent>* script)
{
    size_t begin = 0;
    while (begin < text.size()) {
        size_t end = text.find(L',', begin);
        const std::wstring item = text.substr(begin, end - begin);
        begin = end == std::wstring::npos ? text.size() : end + 1;
        const size_t colon = item.find(L':');
        wchar_t* number_end = nullptr;
        const double seconds = std::wcstod(item.c_str(), &number_end);
        const std::wstring name = colon == std::wstring::npos ? L"" : item.substr(colon + 1);
        bool known = false;
        for (const wchar_t* known_name : kEventNames)
            known = known || name == known_name;
        if (colon == 0 || number_end != item.c_str() + colon || !(seconds >= 0) || !known) {
            std::fwprintf(stderr, L"standin: bad event \"%ls\" in TRIVANDEL_STANDIN_EVENTS\n",
                          item.c_str());
            return false;
        }
        script->push_back({seconds, [name] { ApplyEvent(name); }});
    }
    return true;
}

// TRIVANDEL_STANDIN_INPUT into the state; `rate` becomes a WAVE file's.
bool ReadInput(DemoDevices* state, uint32_t* rate)
{
    const std::wstring input = Environment(L"TRIVANDEL_STANDIN_INPUT");
    if (input.empty() || input == L"tones") {
        state->input = InputKind::kTones;
        return true;
    }
    if (input == L"silence") {
        state->input = InputKind::kSilence;
        return true;
    }
    std::string error;
    if (!ReadWav(input, &state->wav, &error)) {
        std::fprintf(stderr, "standin: %s\n", error.c_str());
        return false;
    }
    if (state->wav.samples.empty()) {
        std::fwprintf(stderr, L"standin: %ls holds no frames\n", input.c_str());
        return false;
    }
    state->input = InputKind::kWav;
    *rate = state->wav.rate;
    return true;
}

// The speakers (the default, captured), the multichannel endpoint of
// `device_class` ("": any format and buffer) and the headset, absent.
bool AddEndpoints(const DemoDevices& state, uint32_t rate, uint32_t period,
                  const std::wstring& device_class)
{
    // The machine's default device: the loopback side, float stereo like a
    // usual engine mix.
    simulated_devices::EndpointSpec speakers;
    speakers.id = kSpeakersId;
    speakers.friendly_name = L"Speakers (stand-in)";
    speakers.engine_format = simulated_devices::FloatFormat(rate, 2);
    simulated_devices::AddEndpoint(speakers, true);
    // The multichannel device the divider plays on: six channels of 24-bit
    // PCM, any format and buffer accepted, or else a real kind of device.
    simulated_devices::EndpointSpec six;
    six.id = state.output_id;
    six.friendly_name = L"Multichannel (stand-in)";
    six.engine_format = simulated_devices::PcmFormat(rate, 6, 24, 24);
    six.minimum_period = period;
    if (!device_class.empty() && !simulated_devices::DescribeDeviceClass(
                                     std::string(device_class.begin(), device_class.end()), &six)) {
        std::fwprintf(stderr,
                      L"standin: no device class %ls (hda, hdmi, usb-4byte, usb-3byte, "
                      L"usb1)\n",
                      device_class.c_str());
        return false;
    }
    simulated_devices::AddEndpoint(six);
    // A headset that the script may plug in: absent until then.
    simulated_devices::EndpointSpec headphones;
    headphones.id = kHeadphonesId;
    headphones.friendly_name = L"Headphones (stand-in)";
    headphones.engine_format = simulated_devices::FloatFormat(rate, 2);
    simulated_devices::AddEndpoint(headphones);
    simulated_devices::LoseEndpoint(kHeadphonesId);
    return true;
}

} // namespace

bool InstallSimulatedAudio()
{
    DemoDevices& state = State();
    uint32_t rate = kToneRate;
    if (!ReadInput(&state, &rate))
        return false;
    state.output_path = Environment(L"TRIVANDEL_STANDIN_OUTPUT");
    const std::wstring rate_text = Environment(L"TRIVANDEL_STANDIN_RATE");
    if (!rate_text.empty() && !ReadNumber(rate_text, 1000, 768000, &rate)) {
        std::fwprintf(stderr, L"standin: TRIVANDEL_STANDIN_RATE %ls is no rate\n",
                      rate_text.c_str());
        return false;
    }
    uint32_t period = 0;
    const std::wstring period_text = Environment(L"TRIVANDEL_STANDIN_PERIOD");
    if (!period_text.empty() && !ReadNumber(period_text, 1, 50000000, &period)) {
        std::fwprintf(stderr, L"standin: TRIVANDEL_STANDIN_PERIOD %ls is no period\n",
                      period_text.c_str());
        return false;
    }
    if (state.input == InputKind::kTones)
        state.tones = TonePeriod(rate);
    std::vector<simulated_devices::ScriptedEvent> script;
    if (!ParseEvents(Environment(L"TRIVANDEL_STANDIN_EVENTS"), &script))
        return false;

    simulated_devices::Reset();
    if (!AddEndpoints(state, rate, period, Environment(L"TRIVANDEL_STANDIN_DEVICE")))
        return false;
    simulated_devices::CaptureConfig capture;
    capture.source = ServeSignal;
    capture.context = &state;
    simulated_devices::SetCaptureConfig(capture);
    simulated_devices::SetOutputClock(simulated_devices::OutputClock::kRealTime);
    // The program may run for hours: keep no copies of the streams.
    simulated_devices::SetRecording(false);
    if (!state.output_path.empty())
        simulated_devices::SetStreamSink(RecordOutput, &state);

    SetDeviceEnumeratorFactory(simulated_devices::CreateEnumerator);
    if (!script.empty())
        simulated_devices::RunScript(std::move(script));
    return true;
}

bool SimulatedAudioReleased()
{
    const std::vector<std::string> alive = simulated_devices::LiveObjects();
    for (const std::string& name : alive)
        std::fprintf(stderr, "standin: %s still alive at the end\n", name.c_str());
    return alive.empty();
}
