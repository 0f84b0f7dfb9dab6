#include "check/check_print.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cwchar>
#include <string>

#include "base/console.h"
#include "engine/filter/fir_filter.h"

namespace {

const wchar_t* const kBandNames[3] = {L"low", L"mid", L"high"};
const wchar_t* const kBandTitles[3] = {L"Low", L"Mid", L"High"};

std::wstring Text(const wchar_t* format, ...)
{
    wchar_t text[512];
    va_list args;
    va_start(args, format);
    const int n = std::vswprintf(text, sizeof(text) / sizeof(text[0]), format, args);
    va_end(args);
    return n < 0 ? std::wstring() : std::wstring(text);
}

std::wstring Hz(double hz)
{
    return Text(hz == 0 || hz >= 1000 ? L"%.0f Hz" : L"%.1f Hz", hz);
}

std::wstring Db(double db)
{
    if (db < -150)
        return L"< -150 dB";
    return Text(L"%+.2f dB", std::abs(db) < 0.005 ? 0.0 : db); // no "-0.00"
}

// The gain at one frequency; NaN stands for a frequency past Nyquist.
std::wstring GainAt(double db, double hz)
{
    return std::isnan(db) ? L"beyond Nyquist" : Db(db) + L" at " + Hz(hz);
}

std::wstring Frames(double frames, double rate)
{
    return Text(frames == std::floor(frames) ? L"%.0f frames (%.3f ms)" : L"%.1f frames (%.3f ms)",
                frames, frames * 1000.0 / rate);
}

std::wstring List(const std::vector<double>& points, double factor)
{
    std::wstring list;
    for (double hz : points)
        list += (list.empty() ? L"" : L", ") + Hz(hz * factor);
    return list;
}

void PrintBand(const BandReport& b, uint32_t band, double rate)
{
    ConsolePrint(L"\n%ls band, %s: %u taps, %ls, latency %ls\n", kBandTitles[band],
                 kTapFileNames[band], b.taps,
                 b.symmetric ? L"symmetric (linear phase)" : L"not symmetric (not linear phase)",
                 Frames(b.latency_frames, rate).c_str());
    if (b.silent) {
        ConsolePrint(L"  every tap is 0: the band is silent\n");
        return;
    }
    ConsolePrint(L"  gain %ls at 0 Hz, %ls at %ls (centre), %ls at %ls (Nyquist)\n",
                 Db(b.dc_db).c_str(), Db(b.centre_db).c_str(), Hz(b.centre_hz).c_str(),
                 Db(b.nyquist_db).c_str(), Hz(rate / 2).c_str());
    ConsolePrint(L"  peak %ls at %ls\n", Db(b.peak_db).c_str(), Hz(b.peak_hz).c_str());
    if (b.lower_hz[1] > 0) {
        ConsolePrint(L"  crossover below: -3 dB at %ls, -6 dB at %ls\n", Hz(b.lower_hz[0]).c_str(),
                     Hz(b.lower_hz[1]).c_str());
        ConsolePrint(L"  one octave below: %ls, two octaves below: %ls%ls\n",
                     GainAt(b.below_db[0], b.lower_hz[1] / 2).c_str(),
                     GainAt(b.below_db[1], b.lower_hz[1] / 4).c_str(),
                     band == 2 ? L" (what the tweeter gets below its crossover)" : L"");
    }
    if (b.upper_hz[1] > 0) {
        ConsolePrint(L"  crossover above: -3 dB at %ls, -6 dB at %ls\n", Hz(b.upper_hz[0]).c_str(),
                     Hz(b.upper_hz[1]).c_str());
        ConsolePrint(L"  one octave above: %ls, two octaves above: %ls\n",
                     GainAt(b.above_db[0], b.upper_hz[1] * 2).c_str(),
                     GainAt(b.above_db[1], b.upper_hz[1] * 4).c_str());
    }
    if (b.lower_hz[1] == 0 && b.upper_hz[1] == 0)
        ConsolePrint(
            L"  no crossover: the gain stays within 6 dB of the peak from 0 Hz to Nyquist\n");
}

void PrintWarning(const CheckReport& r, const CheckWarning& w)
{
    const BandReport& b = r.bands[w.band];
    switch (w.kind) {
    case kBandOutOfPlace:
        ConsolePrint(L"WARNING:%s sounds like the %ls band (centred near %ls), not the %ls band: "
                     L"are the files swapped?\n",
                     kTapFileNames[w.band], kBandNames[b.role], Hz(b.energy_hz).c_str(),
                     kBandNames[w.band]);
        break;
    case kHighBandPassesDc:
        ConsolePrint(L"WARNING:%s passes DC (%ls at 0 Hz): the tweeter would get the bass.\n",
                     kTapFileNames[w.band], Db(b.dc_db).c_str());
        break;
    case kSumNotFlat:
        ConsolePrint(L"WARNING:The bands do not add up flat: the sum is %ls at %ls.\n",
                     Db(r.sum_worst_db).c_str(), Hz(r.sum_worst_hz).c_str());
        break;
    case kOtherRate:
        ConsolePrint(L"WARNING:The crossover points (%ls) are not round at %.0f Hz but would be at "
                     L"%.0f Hz (%ls): were the taps designed for %.0f Hz?\n",
                     List(r.crossovers, 1.0).c_str(), r.rate, r.fitting_rate,
                     List(r.crossovers, r.fitting_rate / r.rate).c_str(), r.fitting_rate);
        break;
    case kSineCanClip:
        ConsolePrint(L"WARNING:A full-scale sine at %ls clips the %ls band at -attenuation %g "
                     L"(peak %ls); it plays clean at -attenuation %.3f or less.\n",
                     Hz(b.peak_hz).c_str(), kBandNames[w.band], r.attenuation,
                     Db(b.peak_db).c_str(), std::pow(10.0, -b.peak_db / 20.0));
        break;
    case kUnreadNumbers:
        ConsolePrint(L"WARNING:%s: reading stopped at line %u, which is not a number; %llu "
                     L"number%ls after it %ls not read.\n",
                     kTapFileNames[w.band], r.stop_line[w.band],
                     static_cast<unsigned long long>(r.unread_numbers[w.band]),
                     r.unread_numbers[w.band] == 1 ? L"" : L"s",
                     r.unread_numbers[w.band] == 1 ? L"was" : L"were");
        break;
    }
}

} // namespace

void PrintReport(const CheckReport& r)
{
    ConsolePrint(L"Checked at %.0f Hz. trivandel.exe runs at the rate of the PC's mix format (the "
                 L"default playback device's format): check at that rate with -rate.\n",
                 r.rate);
    for (uint32_t band = 0; band < 3; ++band)
        PrintBand(r.bands[band], band, r.rate);

    ConsolePrint(L"\nSum of the three bands, 20 Hz to %ls: %ls to %ls, largest deviation from flat "
                 L"%ls at %ls\n",
                 Hz(r.sum_top_hz).c_str(), Db(r.sum_min_db).c_str(), Db(r.sum_max_db).c_str(),
                 Db(r.sum_worst_db).c_str(), Hz(r.sum_worst_hz).c_str());
    if (r.sum_is_impulse)
        ConsolePrint(L"  the summed taps are an impulse: a pure delay of %ls, gain %ls\n",
                     Frames(r.sum_delay_frames, r.rate).c_str(), Db(r.sum_impulse_db).c_str());
    else
        ConsolePrint(L"  the summed taps are not an impulse: the sum is not a pure delay\n");

    ConsolePrint(L"Crossover points (-6 dB): %ls\n",
                 r.crossovers.empty() ? L"none" : List(r.crossovers, 1.0).c_str());
    if (!r.crossovers.empty() && !r.round_here) {
        std::wstring elsewhere;
        for (double design : kDesignRates) {
            if (design != r.rate)
                elsewhere += Text(L"; at %.0f Hz ", design) + List(r.crossovers, design / r.rate);
        }
        ConsolePrint(L"  not round frequencies at this rate%ls\n", elsewhere.c_str());
    }

    ConsolePrint(L"Largest output for a full-scale input (the sum of the absolute taps): low %.3f, "
                 L"mid %.3f, high %.3f of full scale\n",
                 r.bands[0].worst_output, r.bands[1].worst_output, r.bands[2].worst_output);
    ConsolePrint(
        L"  nothing can clip at -attenuation %.3f or less; trivandel.exe's default is 0.8\n",
        r.safe_attenuation);
    double loudest = 0.0;
    for (const BandReport& b : r.bands)
        loudest = std::max(loudest, std::pow(10.0, b.peak_db / 20.0));
    ConsolePrint(L"  at -attenuation %g a full-scale sine reaches at most %.3f of full scale (the "
                 L"loudest band at its peak)\n",
                 r.attenuation, loudest * r.attenuation);

    ConsolePrint(L"\n");
    for (const CheckWarning& w : r.warnings)
        PrintWarning(r, w);
    if (r.warnings.empty())
        ConsolePrint(L"No warnings.\n");
    else
        ConsolePrint(L"%u warning%ls.\n", static_cast<unsigned>(r.warnings.size()),
                     r.warnings.size() == 1 ? L"" : L"s");
}
