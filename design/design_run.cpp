#include "design/design_run.h"

#include <cmath>
#include <cwchar>
#include <system_error>
#include <vector>

#include "base/console.h"
#include "check/check_print.h"
#include "check/path_text.h"
#include "design/band_design.h"
#include "design/design_report.h"
#include "design/design_svg.h"
#include "design/tap_set.h"
#include "engine/filter/fir_filter.h"

bool ReadFilter(const std::filesystem::path& file, double rate, ImportChannel channel,
                ImportedFilter* f)
{
    if (!ImportFilter(file, channel, f))
        return false;
    if (f->rate > 0 && rate > 0 && f->rate != rate) {
        ConsolePrint(L"ERROR:%ls is a filter for %.0f Hz, not %.0f Hz: make it at that rate (it "
                     L"is not resampled).\n",
                     PathText(file).c_str(), f->rate, rate);
        return false;
    }
    size_t peak = 0;
    for (size_t n = 0; n < f->impulse.size(); ++n)
        peak = std::abs(f->impulse[n]) > std::abs(f->impulse[peak]) ? n : peak;
    const double shown_rate = f->rate > 0 ? f->rate : rate;
    const std::wstring rate_text =
        f->rate > 0 ? L", rate " + std::to_wstring(static_cast<long>(f->rate)) + L" Hz" : L"";
    wchar_t at[48] = L"";
    if (shown_rate > 0)
        std::swprintf(at, 48, L" (%.3f ms)", peak * 1000.0 / shown_rate);
    ConsolePrint(L"Read %ls: %ls, %llu taps%ls, peak %.6g (%+.2f dB) at tap %llu%ls\n",
                 PathText(file).c_str(), f->format,
                 static_cast<unsigned long long>(f->impulse.size()), rate_text.c_str(),
                 f->impulse[peak], 20.0 * std::log10(std::abs(f->impulse[peak]) + 1e-300),
                 static_cast<unsigned long long>(peak), at);
    if (f->decimal_comma)
        ConsolePrint(L"  its numbers are written with a decimal comma: read as decimal points\n");
    return true;
}

int RunImport(const std::filesystem::path& file, const std::filesystem::path& out, double rate,
              ImportChannel channel)
{
    ImportedFilter f;
    if (!ReadFilter(file, rate, channel, &f) || !WriteTapFiles({out}, {f.impulse}))
        return 2;
    ConsolePrint(L"Wrote %ls: %llu taps, one a line, last tap first (trivandel.exe's order: its "
                 L"first tap multiplies the oldest frame)\n",
                 PathText(out).c_str(), static_cast<unsigned long long>(f.impulse.size()));
    return 0;
}

int RunDesign(const std::filesystem::path& path, const std::filesystem::path& out,
              const std::filesystem::path& svg)
{
    Design d;
    if (!ReadDesign(path, &d))
        return 2;
    ImportedFilter correction;
    if (!d.correction.empty() && !ReadFilter(d.correction, d.rate, kOnlyChannel, &correction))
        return 2;
    DesignResult r;
    r.grid = DesignGrid(d, correction.impulse.size());
    const Spectrum c =
        correction.impulse.empty() ? Spectrum() : CorrectionSpectrum(correction.impulse, r.grid);
    std::vector<std::filesystem::path> paths;
    std::vector<std::vector<double>> impulses;
    for (uint32_t band = 0; band < 3; ++band) {
        r.bands[band] = DesignBand(d, band, c, r.grid);
        paths.push_back(out / kTapFileNames[band]);
        impulses.push_back(r.bands[band].impulse);
    }
    if (!WriteTapFiles(paths, impulses))
        return 2;
    ConsolePrint(L"Wrote %s, %s, %s in %ls\n", kTapFileNames[0], kTapFileNames[1], kTapFileNames[2],
                 PathText(out).c_str());

    // The check's report on the files as written, read by the program's
    // own reader under the names trivandel.exe opens, from their folder.
    std::error_code ec;
    const std::filesystem::path svg_file = svg.empty() ? svg : std::filesystem::absolute(svg, ec);
    std::filesystem::current_path(out, ec);
    TapList lists[3];
    for (uint32_t band = 0; band < 3; ++band) {
        if (ec || !ReadTapFile(kTapFileNames[band], &lists[band]))
            return 2;
    }
    const BandTaps taps = ToBandTaps(lists);
    CheckReport check = CheckTaps(taps, d.rate, 0.8);
    NoteUnreadNumbers(lists, &check);
    PrintReport(check);
    for (uint32_t band = 0; band < 3; ++band) {
        r.written[band].assign(taps[band].rbegin(), taps[band].rend());
        r.spectra[band] = ImpulseSpectrum(r.written[band], r.grid);
        r.measured[band] = MeasureDesignedBand(r.written[band], r.spectra[band], r.bands[band], d,
                                               band, check.bands[band].centre_hz, r.grid);
    }
    const unsigned warnings = PrintDesignSection(path, d, correction.impulse, r, check);
    if (!svg.empty()) {
        if (!WriteDesignSvg(svg_file, d, r)) {
            ConsolePrint(L"ERROR:Cannot write %ls\n", PathText(svg).c_str());
            return 2;
        }
        ConsolePrint(L"Responses drawn in %ls\n", PathText(svg).c_str());
    }
    return warnings == 0 ? 0 : 1;
}
