// The command-line parser: argument vectors of options in any letter case
// and of any text (long, any wide characters). Whatever it is given, it
// either refuses with the usage text or fills every field: names ending
// within their field and zero-padded, flags 0 or 1, and nothing printed
// but the verbose block when asked for.
#undef NDEBUG // the assertions are the checks, whatever the build type
#include <cassert>
#include <cstring>
#include <cwchar>
#include <cwctype>
#include <fuzzer/FuzzedDataProvider.h>
#include <memory>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "base/console.h"

namespace {

const wchar_t* const kOptions[] = {L"-output_device",   L"-priority_app", L"-output_bit",
                                   L"-buffer_duration", L"-attenuation",  L"-mute_mixer",
                                   L"-verbose",         L"-mono_lfe"};

std::wstring console;

// A name field: terminated inside, and nothing but zeros after the end.
bool WellEnded(const wchar_t* name)
{
    const size_t length = wcsnlen(name, kNameUnits);
    for (size_t i = length; i < kNameUnits; ++i)
        if (name[i] != L'\0')
            return false;
    return length < kNameUnits;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    SetConsoleSink([](const wchar_t* text) { console += text; });
    auto settings = std::make_unique<Settings>();
    std::unique_ptr<wchar_t[]> priority_app(new wchar_t[kNameUnits]);
    static const std::wstring usage = [&] {
        wchar_t program[] = L"trivandel", unknown[] = L"-?";
        wchar_t* argv[] = {program, unknown, nullptr};
        console.clear();
        ParseCommandLine(2, argv, settings.get(), priority_app.get());
        return console;
    }();

    // Every argument in a block of exactly its size, argv ending in null.
    FuzzedDataProvider fdp(data, size);
    std::vector<std::vector<wchar_t>> args;
    while (fdp.remaining_bytes() > 0) {
        // An option name in any letter case, whole or cut short, or text.
        const int kind = fdp.ConsumeIntegralInRange(0, 2);
        std::wstring arg;
        if (kind < 2) {
            arg = kOptions[fdp.ConsumeIntegralInRange<size_t>(0, std::size(kOptions) - 1)];
            const uint32_t upper = fdp.ConsumeIntegral<uint32_t>();
            for (size_t i = 0; i < arg.size(); ++i)
                if (upper >> i & 1)
                    arg[i] = static_cast<wchar_t>(std::towupper(arg[i]));
            if (kind == 1)
                arg.resize(fdp.ConsumeIntegralInRange<size_t>(0, arg.size()));
        }
        // Text: mostly Latin-1 (digits, signs, letters), sometimes any 32-bit unit.
        for (size_t n = kind < 2 ? 0 : fdp.ConsumeIntegralInRange<size_t>(0, 300); n > 0; --n) {
            const uint8_t byte = fdp.ConsumeIntegral<uint8_t>();
            arg += byte < 0xF0 ? byte : static_cast<wchar_t>(fdp.ConsumeIntegral<uint32_t>());
        }
        args.emplace_back(arg.c_str(), arg.c_str() + arg.size() + 1);
    }
    std::vector<wchar_t*> argv(args.size() + 1);
    for (size_t i = 0; i < args.size(); ++i)
        argv[i] = args[i].data();

    // Junk in every field: the parser must set them all.
    std::memset(settings.get(), 0xA5, sizeof(Settings));
    std::wmemset(priority_app.get(), L'?', kNameUnits);
    console.clear();
    const bool parsed = ParseCommandLine(static_cast<int>(args.size()), argv.data(), settings.get(),
                                         priority_app.get());
    assert(parsed == (console != usage));
    if (!parsed)
        return 0;
    assert(WellEnded(settings->output_device) && WellEnded(priority_app.get()));
    assert(settings->mute_mixer <= 1 && settings->verbose <= 1 && settings->mono_lfe <= 1);
    assert(console.empty() != static_cast<bool>(settings->verbose));
    assert(console.empty() || console.rfind(L">Command line options.\n", 0) == 0);
    return 0;
}
