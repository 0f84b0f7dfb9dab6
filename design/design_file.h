// The design file of trivandel-design: plain text, one setting per line,
// '#' starts a comment, keywords in any case, frequencies in Hz, gains in
// dB, delays in ms.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

enum FilterType { kLinkwitzRiley, kButterworth, kBrickwall };

// One edge of a band: a crossover, or an extra high- or low-pass.
struct FilterEdge {
    double hz = 0;
    FilterType type = kLinkwitzRiley;
    int slope = 0; // dB per octave; 0 for brickwall
};

enum StepKind { kGain, kDelay, kPolarity, kHighpass, kLowpass, kPeak, kLowShelf, kHighShelf };

// One setting of a band, applied in the order of the file.
struct BandStep {
    StepKind kind = kGain;
    double value = 0;             // dB for gain, ms for delay, 1 or -1 for polarity
    FilterEdge edge;              // highpass, lowpass
    double hz = 0, db = 0, q = 0; // peak and shelves
};

struct Design {
    double rate = 48000;
    uint32_t taps = 4095;
    bool minimum_phase = false;
    FilterEdge crossovers[2];         // low | mid, mid | high
    std::vector<BandStep> steps[3];   // low, mid, high
    std::filesystem::path correction; // empty: none; else relative to the design's folder
};

// Reads a design file. False after printing the file, the line and what was
// expected there.
bool ReadDesign(const std::filesystem::path& path, Design* design);
// The same for a design's text; `name` is how messages call the file.
bool ParseDesign(const std::string& text, const std::wstring& name, Design* design);

// What a band's steps amount to: gain as a factor with its sign (polarity),
// and the delay in ms.
double BandScale(const Design& design, uint32_t band);
double BandDelayMs(const Design& design, uint32_t band);
