// Design files: any bytes as a design file's text. Either one error line
// naming the file and a line, or a design the designer can make.
#undef NDEBUG // the assertions are the checks, whatever the build type
#include <cassert>
#include <cmath>
#include <string>

#include "base/console.h"
#include "design/design_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static std::wstring console;
    console.clear();
    SetConsoleSink([](const wchar_t* text) { console += text; });
    Design d;
    const std::string text(reinterpret_cast<const char*>(data), size);
    if (!ParseDesign(text, L"d.txt", &d)) {
        assert(console.starts_with(L"ERROR:d.txt line ") && console.ends_with(L"\n"));
        return 0;
    }
    assert(console.empty());
    assert(d.rate >= 8000 && d.rate <= 384000 && d.taps >= 3 && d.taps <= 262143);
    assert(d.minimum_phase || d.taps % 2 == 1);
    assert(d.crossovers[0].hz > 0 && d.crossovers[0].hz < d.crossovers[1].hz &&
           d.crossovers[1].hz < d.rate / 2);
    for (uint32_t band = 0; band < 3; ++band) {
        for (const BandStep& s : d.steps[band])
            assert(std::abs(s.value) <= 1000 && s.value >= (s.kind == kDelay ? 0 : -100) &&
                   (s.kind < kPeak || (s.hz > 0 && s.q > 0 && std::abs(s.db) <= 40)));
    }
    return 0;
}
