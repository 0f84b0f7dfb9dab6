#include "check/response_svg.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <fstream>
#include <string>

#include "engine/filter/fir_filter.h"

namespace {

constexpr double kWidth = 960, kHeight = 560;
constexpr double kLeft = 70, kRight = 930, kTop = 50, kBottom = 470;
constexpr double kTopDb = 10, kBottomDb = -80;
constexpr double kLowestHz = 10;
constexpr int kPoints = 400;
const char* const kColours[4] = {"#1f5fbf", "#2a9d3a", "#d0342c", "#000000"};
const char* const kLabels[4] = {"low (FIR_LPF.txt)", "mid (FIR_BPF.txt)", "high (FIR_HPF.txt)",
                                "sum"};

void Add(std::string* svg, const char* format, ...)
{
    char text[512];
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(text, sizeof(text), format, args);
    va_end(args);
    if (n > 0)
        svg->append(text, std::min<size_t>(static_cast<size_t>(n), sizeof(text) - 1));
}

double X(double hz, double nyquist)
{
    return kLeft + (kRight - kLeft) * std::log(hz / kLowestHz) / std::log(nyquist / kLowestHz);
}

double Y(double db)
{
    db = std::clamp(db, kBottomDb, kTopDb);
    return kTop + (kBottom - kTop) * (kTopDb - db) / (kTopDb - kBottomDb);
}

} // namespace

bool WriteResponseSvg(const std::filesystem::path& path, const BandTaps& taps,
                      const CheckReport& report)
{
    const double nyquist = report.rate / 2;
    std::string svg;
    Add(&svg,
        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%.0f\" height=\"%.0f\" "
        "viewBox=\"0 0 %.0f %.0f\" font-family=\"sans-serif\" font-size=\"12\">\n"
        "<rect width=\"100%%\" height=\"100%%\" fill=\"white\"/>\n",
        kWidth, kHeight, kWidth, kHeight);
    Add(&svg,
        "<text x=\"%.0f\" y=\"28\" text-anchor=\"middle\" font-size=\"16\">trivandel crossover: "
        "%u taps per band at %.0f Hz</text>\n",
        kWidth / 2, report.bands[0].taps, report.rate);

    // Grid: every 10 dB, and 1 to 9 times each power of ten, labelled at 1, 2 and 5.
    for (double db = kBottomDb; db <= kTopDb; db += 10) {
        Add(&svg,
            "<line x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\" stroke=\"%s\"/>\n"
            "<text x=\"%.1f\" y=\"%.1f\" text-anchor=\"end\">%.0f</text>\n",
            kLeft, Y(db), kRight, Y(db), db == 0 ? "#888" : "#ddd", kLeft - 6, Y(db) + 4, db);
    }
    for (double decade = kLowestHz; decade < nyquist; decade *= 10) {
        for (int m = 1; m <= 9 && decade * m <= nyquist; ++m) {
            const double hz = decade * m, x = X(hz, nyquist);
            Add(&svg, "<line x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\" stroke=\"%s\"/>\n", x,
                kTop, x, kBottom, m == 1 ? "#bbb" : "#eee");
            if (m == 1 || m == 2 || m == 5)
                Add(&svg, "<text x=\"%.1f\" y=\"%.1f\" text-anchor=\"middle\">%.0f%s</text>\n", x,
                    kBottom + 16, hz >= 1000 ? hz / 1000 : hz, hz >= 1000 ? "k" : "");
        }
    }
    Add(&svg,
        "<rect x=\"%.0f\" y=\"%.0f\" width=\"%.0f\" height=\"%.0f\" fill=\"none\" "
        "stroke=\"#444\"/>\n"
        "<text x=\"%.0f\" y=\"%.0f\" text-anchor=\"middle\">Frequency (Hz), up to Nyquist "
        "(%.0f Hz)</text>\n"
        "<text transform=\"translate(22 %.0f) rotate(-90)\" text-anchor=\"middle\">Gain (dB)"
        "</text>\n",
        kLeft, kTop, kRight - kLeft, kBottom - kTop, (kLeft + kRight) / 2, kBottom + 40, nyquist,
        (kTop + kBottom) / 2);

    for (double hz : report.crossovers) {
        const double x = X(hz, nyquist);
        Add(&svg,
            "<line x1=\"%.1f\" y1=\"%.0f\" x2=\"%.1f\" y2=\"%.0f\" stroke=\"#777\" "
            "stroke-dasharray=\"5 4\"/>\n"
            "<text x=\"%.1f\" y=\"%.0f\" text-anchor=\"middle\" fill=\"#555\">%.0f Hz</text>\n",
            x, kTop, x, kBottom, x, kTop - 6, hz);
    }

    const std::vector<double> sum = SummedTaps(taps);
    for (int curve = 0; curve < 4; ++curve) {
        const std::vector<double>& h = curve < 3 ? taps[curve] : sum;
        Add(&svg, "<polyline fill=\"none\" stroke=\"%s\" stroke-width=\"%s\"%s points=\"",
            kColours[curve], curve < 3 ? "2" : "1.5", curve < 3 ? "" : " stroke-dasharray=\"6 3\"");
        for (int i = 0; i < kPoints; ++i) {
            const double hz =
                kLowestHz * std::pow(nyquist / kLowestHz, static_cast<double>(i) / (kPoints - 1));
            Add(&svg, "%.1f,%.1f ", X(hz, nyquist), Y(GainDb(h, hz, report.rate)));
        }
        svg += "\"/>\n";
        // The legend, one row under the axis label.
        const double x = kLeft + 60 + 190 * curve, y = kHeight - 18;
        Add(&svg,
            "<line x1=\"%.0f\" y1=\"%.0f\" x2=\"%.0f\" y2=\"%.0f\" stroke=\"%s\" "
            "stroke-width=\"2\"%s/>\n"
            "<text x=\"%.0f\" y=\"%.0f\">%s</text>\n",
            x, y, x + 25, y, kColours[curve], curve < 3 ? "" : " stroke-dasharray=\"6 3\"", x + 32,
            y + 4, kLabels[curve]);
    }
    svg += "</svg>\n";

    std::ofstream file(path, std::ios::binary);
    file << svg;
    file.close();
    return !file.fail();
}
