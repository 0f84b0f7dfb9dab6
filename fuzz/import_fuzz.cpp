// Imported filters: any bytes as a text export (first byte even), a .dbl or
// a .bin file. Either one error line, or finite taps.
#undef NDEBUG // the assertions are the checks, whatever the build type
#include <cassert>
#include <cmath>
#include <string>

#include "base/console.h"
#include "design/importer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static std::wstring console;
    console.clear();
    SetConsoleSink([](const wchar_t* text) { console += text; });
    if (size == 0)
        return 0;
    const char* names[] = {"f.txt", "f.dbl", "f.txt", "f.bin"};
    ImportedFilter f;
    const std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    if (!ImportBytes(bytes, names[data[0] % 4], &f)) {
        assert(console.starts_with(L"ERROR:") && console.ends_with(L"\n"));
        return 0;
    }
    assert(console.empty() && !f.impulse.empty());
    for (double v : f.impulse)
        assert(std::isfinite(v) && v == static_cast<float>(v));
    return 0;
}
