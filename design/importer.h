// One filter exported by another tool, read as an impulse in time order:
// REW's impulse-response text export, text of one number per line with a
// header, footer or C-array text around it (rePhase's text exports), WAVE
// (16/24/32-bit PCM, 32/64-bit float, plain or extensible, mono, or one
// channel of stereo), raw little-endian 64-bit (.dbl) or 32-bit (.bin,
// .pcm) floats. Numbers with a decimal comma are converted. The values are
// kept as read, to float precision: nothing is normalised, windowed or
// trimmed.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

enum ImportChannel { kOnlyChannel, kLeftChannel, kRightChannel };

struct ImportedFilter {
    std::vector<double> impulse;
    const wchar_t* format = L"";
    double rate = 0; // stated by the file; 0 when it states none
    bool decimal_comma = false;
};

// False after printing what is wrong, naming the file (and the line of a
// text).
bool ImportFilter(const std::filesystem::path& path, ImportChannel channel, ImportedFilter* f);

// The same for the bytes of a file that is not WAVE: the extension of
// `name` chooses raw floats, anything else is text.
bool ImportBytes(const std::string& bytes, const std::filesystem::path& name, ImportedFilter* f);

// Text in memory; `name` is how messages call it, its lines count from 1.
bool ImportText(const std::string& text, const std::wstring& name, ImportedFilter* f);
