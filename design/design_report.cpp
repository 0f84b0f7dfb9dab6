#include "design/design_report.h"

#include <cmath>
#include <string>

#include "base/console.h"
#include "check/path_text.h"
#include "engine/filter/fir_filter.h"

namespace {

const wchar_t* const kBands[3] = {L"low", L"mid", L"high"};
const wchar_t* const kTitles[3] = {L"Low", L"Mid", L"High"};
constexpr double kDeviationLimitDb = 0.5;
constexpr double kDefaultAttenuation = 0.8; // trivandel.exe's

const wchar_t* Polarity(bool inverted)
{
    return inverted ? L"inverted" : L"normal";
}

double NoNegativeZero(double v, double step)
{
    return std::abs(v) < step / 2 ? 0.0 : v;
}

// The deviation of the band designed with `taps` taps (and its delay, or
// none), as the search for a length that holds the design measures it.
double DeviationWith(Design d, uint32_t band, uint32_t taps, bool delayed,
                     const std::vector<double>& correction)
{
    d.taps = taps;
    if (!delayed) {
        for (BandStep& s : d.steps[band])
            s.value = s.kind == kDelay ? 0.0 : s.value;
    }
    const uint32_t grid = DesignGrid(d, correction.size());
    const Spectrum c = correction.empty() ? Spectrum() : CorrectionSpectrum(correction, grid);
    const BandDesign b = DesignBand(d, band, c, grid);
    double at;
    return LargestDeviationDb(b.impulse, b.prototype, d.rate, grid, &at);
}

// Why a band strays: its delay, if it would fit without one, else the taps.
unsigned WarnDeviation(const Design& d, uint32_t band, const BandMeasure& m,
                       const std::vector<double>& correction)
{
    if (std::abs(m.deviation_db) <= kDeviationLimitDb)
        return 0;
    if (m.intended_delay_ms > 0 &&
        std::abs(DeviationWith(d, band, d.taps, false, correction)) <= kDeviationLimitDb) {
        ConsolePrint(L"WARNING:The %ls band's delay of %.4f ms does not fit in %u taps: its "
                     L"magnitude strays %+.2f dB from the target at %.1f Hz. Use more taps or "
                     L"less delay.\n",
                     kBands[band], m.intended_delay_ms, d.taps, m.deviation_db, m.deviation_hz);
        return 1;
    }
    uint32_t enough = 0;
    for (uint32_t taps = d.taps * 2 + 1; taps <= 262143 && enough == 0; taps = taps * 2 + 1) {
        if (std::abs(DeviationWith(d, band, taps, true, correction)) <= kDeviationLimitDb)
            enough = taps;
    }
    ConsolePrint(L"WARNING:The %ls band strays %+.2f dB from its target at %.1f Hz: %u taps "
                 L"are too short for this design; %ls.\n",
                 kBands[band], m.deviation_db, m.deviation_hz, d.taps,
                 enough > 0 ? (std::to_wstring(enough) + L" taps would do").c_str()
                            : L"even 262143 taps would not do");
    return 1;
}

// Filters, EQ or a correction beyond the crossover, in any band.
bool ShapesTheBands(const Design& d)
{
    bool shapes = !d.correction.empty();
    for (const std::vector<BandStep>& steps : d.steps) {
        for (const BandStep& s : steps)
            shapes |= s.kind != kGain && s.kind != kDelay && s.kind != kPolarity;
    }
    return shapes;
}

bool ChangesTheSum(const Design& d)
{
    bool changes = d.minimum_phase || !d.correction.empty();
    for (uint32_t band = 0; band < 3; ++band)
        changes |= BandScale(d, band) != 1.0 || BandDelayMs(d, band) != 0 ||
                   !d.steps[band].empty() || d.crossovers[band % 2].type != kLinkwitzRiley;
    return changes;
}

} // namespace

unsigned PrintDesignSection(const std::filesystem::path& path, const Design& d,
                            const std::vector<double>& correction, const DesignResult& r,
                            const CheckReport& check)
{
    ConsolePrint(L"\nDesign %ls: %ls phase, %u taps at %.0f Hz (designed on a grid of %u "
                 L"points)\n",
                 PathText(path).c_str(), d.minimum_phase ? L"minimum" : L"linear", d.taps, d.rate,
                 r.grid);
    unsigned warnings = 0;
    for (uint32_t band = 0; band < 3; ++band) {
        const BandMeasure& m = r.measured[band];
        ConsolePrint(L"%ls band: intended gain %+.3f dB, delay %.4f ms, polarity %ls; measured "
                     L"at %.1f Hz: gain %+.3f dB, delay %.4f ms, polarity %ls\n",
                     kTitles[band], NoNegativeZero(m.intended_gain_db, 0.001), m.intended_delay_ms,
                     Polarity(m.intended_inverted), m.centre_hz, NoNegativeZero(m.gain_db, 0.001),
                     NoNegativeZero(m.delay_ms, 0.0001), Polarity(m.inverted));
        ConsolePrint(L"  largest deviation from the target, 20 Hz to 20 kHz where it is above "
                     L"-60 dB: %+.4f dB at %.1f Hz\n",
                     NoNegativeZero(m.deviation_db, 0.0001), m.deviation_hz);
    }
    const bool lr =
        d.crossovers[0].type == kLinkwitzRiley && d.crossovers[1].type == kLinkwitzRiley;
    if (d.minimum_phase) {
        ConsolePrint(L"Minimum phase: the bands do not sum to a pure delay.\n");
    } else if (lr && !ShapesTheBands(d)) {
        double at;
        const double flat = FlatSumDeviationDb(r.spectra, d, r.grid, &at);
        ConsolePrint(L"Sum with the intended delays, gains and polarities taken out: largest "
                     L"deviation from flat %+.4f dB at %.1f Hz\n",
                     NoNegativeZero(flat, 0.0001), at);
    } else if (lr) {
        ConsolePrint(L"Sum: not compared with flat, as the bands' filters, EQ or correction "
                     L"shape it.\n");
    }
    for (uint32_t band = 0; band < 3; ++band)
        warnings += WarnDeviation(d, band, r.measured[band], correction);
    for (const CheckWarning& w : check.warnings) {
        if (w.kind == kSumNotFlat && ChangesTheSum(d)) {
            ConsolePrint(L"The check's warning that the bands do not add up flat is the design's: "
                         L"its gains, delays, polarities, filters or phase change the sum.\n");
        } else if (w.kind == kOtherRate) {
            ConsolePrint(L"The check's warning about the rate is the design's: it puts the "
                         L"crossover points where they are at %.0f Hz.\n",
                         d.rate);
        } else if (w.kind == kSineCanClip) {
            ConsolePrint(L"WARNING:Clipping is possible at trivandel.exe's default -attenuation "
                         L"%g: the %ls band peaks at %+.2f dB.\n",
                         kDefaultAttenuation, kBands[w.band], check.bands[w.band].peak_db);
            ++warnings;
        } else {
            ConsolePrint(L"WARNING:The design does not explain the check's warning about %s.\n",
                         kTapFileNames[w.band]);
            ++warnings;
        }
    }
    if (warnings == 0)
        ConsolePrint(L"No design warnings.\n");
    else
        ConsolePrint(L"%u design warning%ls.\n", warnings, warnings == 1 ? L"" : L"s");
    return warnings;
}
