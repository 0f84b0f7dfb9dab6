// Tap files: the input, byte for byte, as a tap file loaded into one band's
// column, and the table and the console checked against the reading rules.
#undef NDEBUG // the assertions are the checks, whatever the build type
#include <cassert>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

#include "console.h"
#include "fir_filter.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string path =
        std::filesystem::temp_directory_path() / ("tap_file_fuzz_" + std::to_string(getpid()));
    static const std::wstring wide_path(path.begin(), path.end());
    FILE* file = std::fopen(path.c_str(), "wb");
    std::fwrite(data, 1, size, file);
    std::fclose(file);

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
        if (std::sscanf(text.c_str(), "%f", &value) != 1)
            break;
        if (!std::isfinite(value))
            error = L"ERROR:Filter tap is not a finite number. " + wide_path + L" line " +
                    std::to_wstring(line) + L"\n";
        taps.push_back(value);
        line += data[pos + len - 1] == '\n';
    }

    static std::wstring console;
    console.clear();
    SetConsoleSink([](const wchar_t* text) { console += text; });
    CFIRFilter f;
    const uint32_t band = size % 3;
    const bool loaded = f.LoadTaps(path.c_str(), band);
    std::remove(path.c_str());
    assert(console == error);
    assert(loaded == error.empty());
    if (!loaded) {
        assert(f.taps == nullptr && f.tap_count == 0);
        return 0;
    }
    std::vector<float> table(4 * (taps.size() + 1), 0.0f);
    for (size_t k = 0; k < taps.size(); ++k)
        table[4 * k + band] = taps[k];
    assert(f.tap_count == taps.size());
    assert(std::memcmp(f.taps, table.data(), table.size() * sizeof(float)) == 0);
    return 0;
}
