#include "design/design_svg.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <string>

namespace {

constexpr double kWidth = 900, kHeight = 500, kTopDb = 12, kBottomDb = -60;
const char* const kColours[4] = {"#1f77b4", "#2ca02c", "#d62728", "#000000"};

std::string Points(const Spectrum& h, double rate, uint32_t grid)
{
    std::string points;
    for (int i = 0; i <= 400; ++i) {
        const double hz = 20.0 * std::pow(1000.0, i / 400.0);
        const uint32_t k = static_cast<uint32_t>(std::lround(hz * grid / rate));
        if (k >= h.size())
            break;
        const double db = 20.0 * std::log10(std::max(std::abs(h[k]), 1e-15));
        const double y = (kTopDb - std::clamp(db, kBottomDb, kTopDb)) / (kTopDb - kBottomDb);
        points += std::to_string(kWidth * i / 400.0) + "," + std::to_string(kHeight * y) + " ";
    }
    return points;
}

} // namespace

bool WriteDesignSvg(const std::filesystem::path& path, const Design& d, const DesignResult& r)
{
    std::ofstream svg(path);
    svg << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << kWidth << "\" height=\""
        << kHeight << "\">\n";
    Spectrum sum(r.grid / 2 + 1);
    for (uint32_t band = 0; band < 3; ++band) {
        const Spectrum& h = r.spectra[band];
        for (size_t k = 0; k < sum.size(); ++k)
            sum[k] += h[k];
        svg << "<polyline fill=\"none\" stroke=\"" << kColours[band]
            << "\" stroke-dasharray=\"6,4\" points=\""
            << Points(r.bands[band].prototype, d.rate, r.grid) << "\"/>\n";
        svg << "<polyline fill=\"none\" stroke=\"" << kColours[band] << "\" points=\""
            << Points(h, d.rate, r.grid) << "\"/>\n";
    }
    svg << "<polyline fill=\"none\" stroke=\"" << kColours[3] << "\" points=\""
        << Points(sum, d.rate, r.grid) << "\"/>\n</svg>\n";
    return static_cast<bool>(svg.flush());
}
