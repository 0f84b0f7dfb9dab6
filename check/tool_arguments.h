// The command-line words of the tools (trivandel-check, trivandel-design):
// the platform's own characters, so that paths arrive unchanged.
#pragma once

#include <cstddef>
#include <filesystem>

using Argument = std::filesystem::path::string_type;

// True when `arg` is the lower-case ASCII `option` in any letter case:
// options are matched like trivandel.exe's.
inline bool Is(const Argument& arg, const char* option)
{
    size_t i = 0;
    for (; option[i] != '\0'; ++i) {
        const auto c = arg.size() > i ? arg[i] : 0;
        if ((c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c) != option[i])
            return false;
    }
    return i == arg.size();
}
