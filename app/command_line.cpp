#include "app/command_line.h"

#include <cstdlib>
#include <cwchar>

#include "base/console.h"
#include "base/wide_text.h"

namespace {

const wchar_t kUsage[] =
    L"trivandel alpha-1 ver 0.01\n"
    L"Copyright (c) the trivandel developers. Provided as is, without warranty.\n"
    L"\n"
    L">trivandel.exe [options]\n"
    L"Options.\n"
    L"    -output_device # : Output audio device name.\n"
    L"       -output_bit # : Output quantization bit. (16 or 24 only)\n"
    L"  -buffer_duration # : Output buffer size. [msec]\n"
    L"     -priority_app # : priority application exe name.\n"
    L"           -mono_lfe : Monaural LFE.\n"
    L"       -attenuatio # : attenuatio rate.\n"
    L"            -verbose : Output debug logs.\n"
    L"\n"
    L"Default settings are...\n"
    L"      -output_device = Automatic detection.\n"
    L"         -output_bit = Follow output audio device setting.\n"
    L"    -buffer_duration = 100[ms]\n"
    L"       -priority_app = foobar2000.exe.\n"
    L"           -mono_lfe = Disable.\n"
    L"         -attenuatio = 0.8\n"
    L"            -verbose = Disable.\n";

bool Is(const wchar_t* arg, const wchar_t* option)
{
    return _wcsicmp(arg, option) == 0;
}

void PrintEcho(const Settings& s, const wchar_t* priority_app)
{
    ConsolePrint(L">Command line options.\n");
    ConsolePrint(L"    -output_device = %ls\n", s.output_device);
    ConsolePrint(L"       -output_bit = %d\n", s.output_bit);
    ConsolePrint(L"  -buffer_duration = %d\n", s.buffer_duration);
    ConsolePrint(L"     -priority_app = %ls\n", priority_app);
    ConsolePrint(L"         -mono_lfe = %ls\n", s.mono_lfe ? L"Enable" : L"");
    ConsolePrint(L"      -attenuation = %f\n", static_cast<double>(s.attenuation));
}

} // namespace

bool ParseCommandLine(int argc, wchar_t** argv, Settings* settings, wchar_t* priority_app)
{
    Settings& s = *settings;
    s = Settings{};
    s.attenuation = 0.8f;
    for (int i = 0; i < kNameUnits; ++i)
        priority_app[i] = L'\0';
    CopyWideText(priority_app, L"foobar2000.exe");

    int j = 1;
    while (j < argc) {
        const wchar_t* arg = argv[j];
        // A value option that is the last argument changes nothing.
        const wchar_t* value = j + 1 < argc ? argv[j + 1] : nullptr;
        bool takes_value = true;
        if (Is(arg, L"-output_device")) {
            if (value)
                CopyWideText(s.output_device, value);
        } else if (Is(arg, L"-priority_app")) {
            if (value)
                CopyWideText(priority_app, value);
        } else if (Is(arg, L"-mute_mixer")) {
            s.mute_mixer = 1;
            takes_value = false;
        } else if (Is(arg, L"-verbose")) {
            s.verbose = 1;
            takes_value = false;
        } else if (Is(arg, L"-output_bit")) {
            if (value)
                s.output_bit = static_cast<int32_t>(std::wcstol(value, nullptr, 10));
        } else if (Is(arg, L"-buffer_duration")) {
            if (value)
                s.buffer_duration = static_cast<int32_t>(std::wcstol(value, nullptr, 10));
        } else if (Is(arg, L"-mono_lfe")) {
            s.mono_lfe = 1;
            takes_value = false;
        } else if (Is(arg, L"-attenuation")) {
            if (value)
                s.attenuation = static_cast<float>(std::wcstod(value, nullptr));
        } else {
            ConsolePrint(L"%ls", kUsage);
            return false;
        }
        j += takes_value && value ? 2 : 1;
    }

    if (s.verbose)
        PrintEcho(s, priority_app);
    return true;
}
