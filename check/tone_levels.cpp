#include "check/tone_levels.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <string>

#include "base/console.h"
#include "check/path_text.h"
#include "wav/wav_file.h"

namespace {

// Amplitude (full scale = 1) of one sine, by the Goertzel recurrence.
double ToneAmplitude(const WavSignal& signal, size_t channel, size_t first, size_t end, double hz)
{
    const double coefficient = 2.0 * std::cos(2.0 * std::numbers::pi * hz / signal.rate);
    double s1 = 0, s2 = 0;
    for (size_t i = first; i < end; ++i) {
        const double s0 = signal.samples[i * signal.channels + channel] + coefficient * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    const double power = s1 * s1 + s2 * s2 - coefficient * s1 * s2;
    return 2.0 * std::sqrt(std::max(power, 0.0)) / static_cast<double>(end - first);
}

bool Silent(const WavSignal& signal, size_t frame)
{
    const float* f = signal.samples.data() + frame * signal.channels;
    return std::all_of(f, f + signal.channels, [](float v) { return v == 0.0f; });
}

} // namespace

bool PrintToneLevels(const std::filesystem::path& path, const std::vector<double>& tones_hz)
{
    WavSignal signal;
    std::string error;
    if (!ReadWav(path, &signal, &error)) {
        ConsolePrint(L"ERROR:%hs\n", error.c_str());
        return false;
    }
    const size_t frames = signal.samples.size() / signal.channels;
    size_t first = 0, last = frames;
    while (first < frames && Silent(signal, first))
        ++first;
    while (last > first && Silent(signal, last - 1))
        --last;
    first += static_cast<size_t>(0.3 * signal.rate);
    const size_t tenth = signal.rate / 10;
    const size_t length =
        last > first && tenth > 0 ? std::min<size_t>((last - first) / tenth, 10) * tenth : 0;
    if (length == 0) {
        ConsolePrint(L"No steady sound in %ls\n", PathText(path).c_str());
        return true;
    }
    ConsolePrint(L"Tone levels on each channel, dBFS (%.1f s to %.1f s of the file):\n",
                 static_cast<double>(first) / signal.rate,
                 static_cast<double>(first + length) / signal.rate);
    ConsolePrint(L"  channel  ");
    for (double hz : tones_hz)
        ConsolePrint(L"%10ls", (std::to_wstring(static_cast<long>(hz)) + L" Hz").c_str());
    ConsolePrint(L"\n");
    static const wchar_t* const kNames[] = {L"mid L", L"mid R",  L"low L",
                                            L"low R", L"high L", L"high R"};
    for (size_t c = 0; c < signal.channels; ++c) {
        ConsolePrint(L"  %zu %-7ls", c, c < 6 ? kNames[c] : L"");
        for (double hz : tones_hz) {
            const double a = ToneAmplitude(signal, c, first, first + length, hz);
            ConsolePrint(L"%10.1f", a > 1e-9 ? 20.0 * std::log10(a) : -180.0);
        }
        ConsolePrint(L"\n");
    }
    return true;
}
