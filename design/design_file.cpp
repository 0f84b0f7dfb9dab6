#include "design/design_file.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "base/console.h"
#include "check/path_text.h"

namespace {

using Words = std::vector<std::string>;

std::string Lower(std::string word)
{
    for (char& c : word)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return word;
}

bool Number(const std::string& word, double* value)
{
    char* end = nullptr;
    *value = std::strtod(word.c_str(), &end);
    return !word.empty() && *end == '\0' && std::isfinite(*value);
}

// Reads `count` numbers from words[first...]; false unless all are there.
bool Numbers(const Words& w, size_t first, size_t count, double* values)
{
    if (w.size() != first + count)
        return false;
    for (size_t i = 0; i < count; ++i) {
        if (!Number(w[first + i], &values[i]))
            return false;
    }
    return true;
}

// "FREQ TYPE SLOPE" (or "FREQ brickwall") from w[*at...]; moves *at past it.
bool Edge(const Words& w, size_t* at, double rate, FilterEdge* edge)
{
    const size_t first = *at;
    if (w.size() < first + 2 || !Number(w[first], &edge->hz) || !(edge->hz > 0) ||
        edge->hz >= rate / 2)
        return false;
    const std::string type = Lower(w[first + 1]);
    *at = first + 2;
    if (type == "brickwall") {
        edge->type = kBrickwall;
        edge->slope = 0;
        return true;
    }
    double slope = 0;
    if (w.size() < first + 3 || !Number(w[first + 2], &slope) || !(slope >= 6 && slope <= 48))
        return false;
    *at = first + 3;
    edge->slope = static_cast<int>(slope);
    if (type == "linkwitz-riley") {
        edge->type = kLinkwitzRiley;
        return slope == 12 || slope == 24 || slope == 48;
    }
    edge->type = kButterworth;
    return type == "butterworth" && std::fmod(slope, 6) == 0;
}

// One band setting from w[*at...]; moves *at past it. False when it does
// not parse.
bool Step(const Words& w, size_t* at, double rate, BandStep* s)
{
    const std::string key = Lower(w[*at]);
    double v[3];
    const size_t values = key == "peak" || key == "lowshelf" || key == "highshelf" ? 3 : 1;
    const bool numbers =
        w.size() >= *at + 1 + values &&
        Numbers(Words(w.begin() + *at + 1, w.begin() + *at + 1 + values), 0, values, v);
    ++*at;
    if (key == "highpass" || key == "lowpass") {
        s->kind = key == "highpass" ? kHighpass : kLowpass;
        return Edge(w, at, rate, &s->edge);
    }
    if (key == "polarity" && w.size() > *at &&
        (Lower(w[*at]) == "normal" || Lower(w[*at]) == "inverted")) {
        *s = {kPolarity, Lower(w[(*at)++]) == "normal" ? 1.0 : -1.0, {}, 0, 0, 0};
        return true;
    }
    if (!numbers)
        return false;
    *at += values;
    if ((key == "gain" && std::abs(v[0]) <= 100) || (key == "delay" && v[0] >= 0 && v[0] <= 1000)) {
        *s = {key == "gain" ? kGain : kDelay, v[0], {}, 0, 0, 0};
        return true;
    }
    const StepKind eq = key == "peak" ? kPeak : key == "lowshelf" ? kLowShelf : kHighShelf;
    *s = {eq, 0, {}, v[0], v[1], v[2]};
    return values == 3 && v[0] > 0 && v[0] < rate / 2 && std::abs(v[1]) <= 40 && v[2] > 0 &&
           v[2] <= 100;
}

const char* const kExpected[] = {
    "rate HZ (8000 to 384000)",
    "taps N (3 to 262143)",
    "phase linear or phase minimum",
    "crossover FREQ linkwitz-riley 12|24|48, butterworth 6..48 or brickwall",
    "a band setting: gain DB (-100 to 100), delay MS (0 to 1000), polarity normal|inverted, "
    "highpass or lowpass FREQ TYPE SLOPE, peak, lowshelf or highshelf FREQ GAIN (-40 to 40) Q "
    "(up to 100)",
    "correction FILE",
    "rate, taps, phase, crossover, low, mid, high or correction",
};

// Applies one line; returns the index of what was expected, or -1.
int Apply(const Words& w, Design* d, int* crossovers)
{
    const std::string key = Lower(w[0]);
    double v = 0;
    if (key == "rate")
        return Numbers(w, 1, 1, &v) && v >= 8000 && v <= 384000 && v == std::floor(v)
                   ? (d->rate = v, -1)
                   : 0;
    if (key == "taps")
        return Numbers(w, 1, 1, &v) && v >= 3 && v <= 262143 && v == std::floor(v)
                   ? (d->taps = static_cast<uint32_t>(v), -1)
                   : 1;
    if (key == "phase") {
        const std::string p = w.size() == 2 ? Lower(w[1]) : "";
        if (p != "linear" && p != "minimum")
            return 2;
        d->minimum_phase = p == "minimum";
        return -1;
    }
    if (key == "crossover") {
        size_t at = 1;
        if (*crossovers == 2 || !Edge(w, &at, d->rate, &d->crossovers[*crossovers]) ||
            at != w.size())
            return 3;
        ++*crossovers;
        return -1;
    }
    if (key == "low" || key == "mid" || key == "high") {
        // One or more settings on the line, applied in order.
        for (size_t at = 1; at < w.size();) {
            BandStep step;
            if (!Step(w, &at, d->rate, &step))
                return 4;
            d->steps[key == "low" ? 0 : key == "mid" ? 1 : 2].push_back(step);
        }
        return w.size() > 1 ? -1 : 4;
    }
    if (key == "correction") {
        if (w.size() != 2)
            return 5;
        d->correction = w[1];
        return -1;
    }
    return 6;
}

} // namespace

bool ReadDesign(const std::filesystem::path& path, Design* d)
{
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        ConsolePrint(L"ERROR:Cannot open the design file %ls\n", PathText(path).c_str());
        return false;
    }
    const std::string text((std::istreambuf_iterator<char>(file)),
                           std::istreambuf_iterator<char>());
    if (!ParseDesign(text, PathText(path), d))
        return false;
    if (!d->correction.empty())
        d->correction = path.parent_path() / d->correction;
    return true;
}

bool ParseDesign(const std::string& text, const std::wstring& name, Design* d)
{
    std::istringstream lines(text);
    std::string line;
    unsigned number = 0;
    int crossovers = 0;
    while (std::getline(lines, line)) {
        ++number;
        std::istringstream words(line.substr(0, line.find('#')));
        Words w;
        for (std::string word; words >> word;)
            w.push_back(word);
        if (w.empty())
            continue;
        const int expected = Apply(w, d, &crossovers);
        if (expected >= 0) {
            ConsolePrint(L"ERROR:%ls line %u: expected %s\n", name.c_str(), number,
                         kExpected[expected]);
            return false;
        }
    }
    const char* problem =
        crossovers != 2 ? "exactly two crossover lines"
        : d->crossovers[0].hz >= d->crossovers[1].hz
            ? "the two crossover frequencies in ascending order"
        : !d->minimum_phase && d->taps % 2 == 0 ? "an odd number of taps for phase linear"
        : d->crossovers[1].hz >= d->rate / 2    ? "crossover frequencies below half the rate"
                                                : nullptr;
    if (problem != nullptr) {
        ConsolePrint(L"ERROR:%ls line %u: expected %s\n", name.c_str(), number, problem);
        return false;
    }
    return true;
}

double BandScale(const Design& design, uint32_t band)
{
    double scale = 1.0;
    for (const BandStep& s : design.steps[band]) {
        if (s.kind == kGain)
            scale *= std::pow(10.0, s.value / 20.0);
        else if (s.kind == kPolarity)
            scale *= s.value;
    }
    return scale;
}

double BandDelayMs(const Design& design, uint32_t band)
{
    double ms = 0;
    for (const BandStep& s : design.steps[band])
        ms += s.kind == kDelay ? s.value : 0;
    return ms;
}
