// Tap files: the input, byte for byte, as a tap file's text, read in memory;
// the taps and the console checked against the reading rules.
#undef NDEBUG // the assertions are the checks, whatever the build type
#include <cassert>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "base/console.h"
#include "engine/filter/tap_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const char path[] = "FIR_LPF.txt";
    static const std::wstring wide_path = L"FIR_LPF.txt";

    // The model. Pieces of at most 255 bytes, each ending after its newline;
    // sscanf sees a piece up to its first NUL. Lines count newlines.
    std::vector<float> taps;
    std::wstring error;
    if (size >= 2 && ((data[0] == 0xFF && data[1] == 0xFE) || (data[0] == 0xFE && data[1] == 0xFF)))
        error = L"ERROR:Tap file is UTF-16 text; save it as ANSI or UTF-8. " + wide_path + L"\n";
    const size_t bom = size >= 3 && std::memcmp(data, "\xEF\xBB\xBF", 3) == 0 ? 3 : 0;
    unsigned line = 1;
    for (size_t pos = 0, len = 0; error.empty() && pos < size; pos += len) {
        len = 0;
        do
            ++len;
        while (pos + len < size && len < 255 && data[pos + len - 1] != '\n');
        const size_t skip = pos == 0 ? bom : 0;
        const std::string text(reinterpret_cast<const char*>(data) + pos + skip, len - skip);
        float value;
        int used = 0;
        if (std::sscanf(text.c_str(), "%f%n", &value, &used) != 1) {
            if (taps.empty() && size > bom)
                error = L"ERROR:No filter tap in " + wide_path;
            break;
        }
        if (text.c_str()[used] == ',' && std::isdigit(static_cast<unsigned char>(text[used + 1])))
            error = L"ERROR:Filter tap written with a decimal comma. " + wide_path + L" line " +
                    std::to_wstring(line) + L"; trivandel-design -import converts such files.\n";
        else if (!std::isfinite(value))
            error = L"ERROR:Filter tap is not a finite number. " + wide_path + L" line " +
                    std::to_wstring(line) + L"\n";
        taps.push_back(value);
        line += data[pos + len - 1] == '\n';
    }

    static std::wstring console;
    console.clear();
    SetConsoleSink([](const wchar_t* text) { console += text; });
    // The text in a block of exactly its size, so a read past it is caught.
    std::vector<char> text(data, data + size);
    TapList list;
    const bool read = ReadTapText(text.data(), text.size(), path, &list);
    // The first line as shown in the no-tap line is the reader's own affair.
    assert(error.starts_with(L"ERROR:No filter tap") ? console.starts_with(error)
                                                     : console == error);
    assert(read == error.empty());
    if (read) {
        assert(list.count == taps.size());
        assert(taps.empty() ||
               std::memcmp(list.values, taps.data(), taps.size() * sizeof(float)) == 0);
    }
    return 0;
}
