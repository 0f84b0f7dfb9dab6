// The level of given tones on each channel of a WAVE file: what the divider
// did to a test signal, measured on the six channels it played.
#pragma once

#include <filesystem>
#include <vector>

// Prints, for each channel, the level in dBFS of each tone over a steady
// stretch of the file: from 0.3 s after the first sound, a whole number of
// tenths of a second (so 100 Hz, 1 kHz and 8 kHz fall on exact bins), at
// most one second, ending before the last sound. False after printing why
// the file could not be used.
bool PrintToneLevels(const std::filesystem::path& path, const std::vector<double>& tones_hz);
