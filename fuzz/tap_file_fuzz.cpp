// Tap files: the input, byte for byte, as a tap file's text, read in memory
// (the reading rules, case by case, are in tests/engine/tap_file_test.cpp).
// Whatever the bytes, the text is read without a read past it into finite
// taps and no line, or refused with one error line naming the file; and a
// line without a number after a whole last line changes nothing. The fast
// reading of a plain number, in place, gives what sscanf gives on a copy
// of the piece: the float to the bit and the length.
#undef NDEBUG // the assertions are the checks, whatever the build type
#include <bit>
#include <cassert>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "base/console.h"
#include "engine/filter/tap_file.h"

namespace {

std::wstring console;

// Reads `text` from a block of exactly its size, so a read past it is caught.
bool Read(const std::string& text, std::vector<float>* taps)
{
    std::vector<char> block(text.begin(), text.end());
    TapList list;
    console.clear();
    const bool read = ReadTapText(block.data(), block.size(), "FIR_LPF.txt", &list);
    if (read)
        taps->assign(list.values, list.values + list.count);
    return read;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    SetConsoleSink([](const wchar_t* text) { console += text; });
    const std::string text(reinterpret_cast<const char*>(data), size);
    const size_t piece = size < 255 ? size : 255;
    char number[256] = {};
    std::memcpy(number, data, piece);
    float fast, slow;
    int fast_used = -1, slow_used = -1;
    if (ReadPlainTap(text.data(), text.data() + piece, &fast, &fast_used))
        assert(std::sscanf(number, "%f%n", &slow, &slow_used) == 1 &&
               std::bit_cast<uint32_t>(fast) == std::bit_cast<uint32_t>(slow) &&
               fast_used == slow_used);
    std::vector<float> taps;
    if (!Read(text, &taps)) {
        assert(console.rfind(L"ERROR:", 0) == 0 && console.find(L'\n') == console.size() - 1);
        assert(console.find(L" FIR_LPF.txt") != std::wstring::npos);
        return 0;
    }
    assert(console.empty() && taps.size() <= size);
    for (float tap : taps)
        assert(std::isfinite(tap));
    if (size > 0 && text.back() == '\n') {
        std::vector<float> again;
        assert(Read(text + "end of the taps\n1\n", &again));
        assert(again == taps);
    }
    return 0;
}
