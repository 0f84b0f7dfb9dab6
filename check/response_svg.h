// A picture of the three bands' magnitude responses and their sum, as an
// SVG file a browser opens: dB against a logarithmic frequency axis from
// 10 Hz to Nyquist, the crossover points marked.
#pragma once

#include <filesystem>

#include "check/tap_check.h"

// False when the file cannot be written.
bool WriteResponseSvg(const std::filesystem::path& path, const BandTaps& taps,
                      const CheckReport& report);
