// The program's fixed wide-text fields (device names and ids, the names on
// the command line): 260 UTF-16 code units, at most 259 of them text.
#pragma once

constexpr int kWideTextUnits = 260;

// Copies at most kWideTextUnits - 1 units of `source` into a whole field
// and fills the rest with zeros: a longer text is cut rather than
// overflowing the field, and nothing of an earlier, longer text remains.
inline void CopyWideText(wchar_t* destination, const wchar_t* source)
{
    int i = 0;
    for (; i < kWideTextUnits - 1 && source[i] != L'\0'; ++i)
        destination[i] = source[i];
    for (; i < kWideTextUnits; ++i)
        destination[i] = L'\0';
}
