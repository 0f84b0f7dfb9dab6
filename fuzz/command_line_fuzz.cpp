// The command-line parser: argument vectors of options in any letter case
// and of any text (long, any wide characters), checked against a model of
// the rules: the settings, the priority application and the console text.
#undef NDEBUG // the assertions are the checks, whatever the build type
#include <algorithm>
#include <bit>
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

// The options that take a value come first.
const wchar_t* const kOptions[] = {L"-output_device",   L"-priority_app", L"-output_bit",
                                   L"-buffer_duration", L"-attenuation",  L"-mute_mixer",
                                   L"-verbose",         L"-mono_lfe"};
constexpr size_t kValueOptions = 5;

std::wstring console;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    SetConsoleSink([](const wchar_t* text) { console += text; });
    auto settings = std::make_unique<Settings>();
    std::unique_ptr<wchar_t[]> priority_app(new wchar_t[kNameUnits]);
    // What an unknown argument prints.
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
        // An option name in any letter case, whole, cut short or followed by
        // text (no prefix of a name, nor a longer word, is that option), or text.
        const int kind = fdp.ConsumeIntegralInRange(0, 3);
        std::wstring arg;
        if (kind < 3) {
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

    std::wstring device, app = L"foobar2000.exe";
    float attenuation = 0.8f;
    bool mute_mixer = false, verbose = false, mono_lfe = false, unknown = false;
    int32_t output_bit = 0, buffer_duration = 0;
    for (size_t j = 1; j < args.size() && !unknown;) {
        std::wstring arg = args[j].data();
        for (wchar_t& c : arg)
            c = c >= L'A' && c <= L'Z' ? c - L'A' + L'a' : c;
        const size_t option =
            std::find(std::begin(kOptions), std::end(kOptions), arg) - std::begin(kOptions);
        const wchar_t* value = j + 1 < args.size() ? args[j + 1].data() : nullptr;
        if (value != nullptr) {
            const std::wstring name = std::wstring(value).substr(0, kNameUnits - 1);
            switch (option) {
            case 0:
                device = name;
                break;
            case 1:
                app = name;
                break;
            case 2:
                output_bit = static_cast<int32_t>(std::wcstol(value, nullptr, 10));
                break;
            case 3:
                buffer_duration = static_cast<int32_t>(std::wcstol(value, nullptr, 10));
                break;
            case 4:
                attenuation = static_cast<float>(std::wcstod(value, nullptr));
                break;
            }
        }
        mute_mixer |= option == 5;
        verbose |= option == 6;
        mono_lfe |= option == 7;
        unknown = option == std::size(kOptions);
        j += option < kValueOptions && value != nullptr ? 2 : 1;
    }
    std::wstring expected;
    if (unknown)
        expected = usage;
    else if (verbose)
        expected = L">Command line options.\n    -output_device = " + device +
                   L"\n       -output_bit = " + std::to_wstring(output_bit) +
                   L"\n  -buffer_duration = " + std::to_wstring(buffer_duration) +
                   L"\n     -priority_app = " + app + L"\n         -mono_lfe = " +
                   (mono_lfe ? L"Enable" : L"") + L"\n      -attenuation = " +
                   std::to_wstring(attenuation) + L"\n";

    // Junk in every field: the parser must set them all.
    std::memset(settings.get(), 0xA5, sizeof(Settings));
    std::wmemset(priority_app.get(), L'?', kNameUnits);
    console.clear();
    assert(ParseCommandLine(static_cast<int>(args.size()), argv.data(), settings.get(),
                            priority_app.get()) == !unknown);
    assert(console == expected);
    if (unknown)
        return 0;
    // Names are padded with zeros to the end of their field.
    device.resize(kNameUnits);
    app.resize(kNameUnits);
    assert(std::wmemcmp(settings->output_device, device.data(), kNameUnits) == 0);
    assert(std::wmemcmp(priority_app.get(), app.data(), kNameUnits) == 0);
    assert(std::bit_cast<uint32_t>(settings->attenuation) == std::bit_cast<uint32_t>(attenuation));
    assert(settings->mute_mixer == mute_mixer && settings->verbose == verbose &&
           settings->mono_lfe == mono_lfe);
    assert(settings->output_bit == output_bit && settings->buffer_duration == buffer_duration);
    return 0;
}
