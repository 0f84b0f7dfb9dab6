#include "demo/demo_audio.h"

#include <windows.h>

#include <cmath>
#include <cstdio>
#include <cwchar>
#include <mutex>
#include <string>

#include "audio/device_enumerator.h"
#include "simulated_devices/simulated_devices.h"
#include "wav/wav_file.h"

namespace {

constexpr uint32_t kToneRate = 48000;
constexpr double kToneHz[3] = {100.0, 1000.0, 8000.0};
constexpr double kToneAmplitude = 0.25;
constexpr double kTwoPi = 6.283185307179586;

enum class InputKind { kTones, kSilence, kWav };

struct StandIn {
    InputKind input = InputKind::kTones;
    WavSignal wav;
    std::wstring output_path;
    std::mutex output_mutex; // one capture thread at a time, but be safe
    CWavWriter writer;
    bool output_failed = false;
};

StandIn& State()
{
    static StandIn state;
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

void ServeTones(float* out, uint32_t frames, uint32_t channels, uint32_t rate, uint64_t first)
{
    for (uint32_t i = 0; i < frames; ++i) {
        const uint64_t n = first + i;
        double sum = 0.0;
        for (double hz : kToneHz) {
            // The phase from the whole frame count, reduced exactly, so it
            // never drifts however long the demo runs.
            const uint64_t cycle = static_cast<uint64_t>(hz) * n % rate;
            sum += kToneAmplitude * std::sin(kTwoPi * static_cast<double>(cycle) / rate);
        }
        for (uint32_t c = 0; c < channels; ++c)
            out[i * channels + c] = c < 2 ? static_cast<float>(sum) : 0.0f;
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

void ServeSignal(float* out, uint32_t frames, uint32_t channels, uint32_t rate, uint64_t first,
                 void* context)
{
    const StandIn& state = *static_cast<const StandIn*>(context);
    switch (state.input) {
    case InputKind::kTones:
        ServeTones(out, frames, channels, rate, first);
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

void RecordOutput(standin::StreamEvent::Kind kind, const uint8_t* data, uint32_t frames, DWORD,
                  const WaveFormat& format, void* context)
{
    if (kind != standin::StreamEvent::kRender)
        return;
    StandIn& state = *static_cast<StandIn*>(context);
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

} // namespace

bool InstallStandInAudio()
{
    StandIn& state = State();
    uint32_t rate = kToneRate;
    const std::wstring input = Environment(L"TRIVANDEL_STANDIN_INPUT");
    if (input.empty() || input == L"tones") {
        state.input = InputKind::kTones;
    } else if (input == L"silence") {
        state.input = InputKind::kSilence;
    } else {
        std::string error;
        if (!ReadWav(input, &state.wav, &error)) {
            std::fprintf(stderr, "standin: %s\n", error.c_str());
            return false;
        }
        if (state.wav.samples.empty()) {
            std::fwprintf(stderr, L"standin: %ls holds no frames\n", input.c_str());
            return false;
        }
        state.input = InputKind::kWav;
        rate = state.wav.rate;
    }
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

    standin::Reset();
    // The machine's default device: the loopback side, float stereo like a
    // usual engine mix.
    standin::EndpointSpec speakers;
    speakers.id = L"{0.0.0.00000000}.{5ea1d7a0-0001-4000-8000-000000000001}";
    speakers.friendly_name = L"Speakers (stand-in)";
    speakers.engine_format = standin::FloatFormat(rate, 2);
    standin::AddEndpoint(speakers, true);
    // The multichannel device the divider plays on: six channels of 24-bit
    // PCM, any format and buffer accepted, or else a real kind of device.
    standin::EndpointSpec six;
    six.id = L"{0.0.0.00000000}.{5ea1d7a0-0001-4000-8000-000000000006}";
    six.friendly_name = L"Multichannel (stand-in)";
    six.engine_format = standin::PcmFormat(rate, 6, 24, 24);
    six.minimum_period = period;
    const std::wstring device = Environment(L"TRIVANDEL_STANDIN_DEVICE");
    if (!device.empty() &&
        !standin::DescribeDeviceClass(std::string(device.begin(), device.end()), &six)) {
        std::fwprintf(stderr,
                      L"standin: no device class %ls (hda, hdmi, usb-4byte, usb-3byte, "
                      L"usb1)\n",
                      device.c_str());
        return false;
    }
    standin::AddEndpoint(six);

    standin::CaptureConfig capture;
    capture.source = ServeSignal;
    capture.context = &state;
    standin::SetCaptureConfig(capture);
    standin::SetOutputClock(standin::OutputClock::kRealTime);
    // The program may run for hours: keep no copies of the streams.
    standin::SetRecording(false);
    if (!state.output_path.empty())
        standin::SetStreamSink(RecordOutput, &state);

    SetDeviceEnumeratorFactory(standin::CreateEnumerator);
    return true;
}
