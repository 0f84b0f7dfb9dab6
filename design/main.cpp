// trivandel-design: three tap files from a design file, checked; or one
// filter exported by another tool converted into a tap file.
#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "base/console.h"
#include "check/tool_arguments.h"
#include "design/design_run.h"

namespace {

const wchar_t kUsage[] =
    L"trivandel-design: makes trivandel.exe's three tap files from a design file, or converts "
    L"a filter that another tool exported.\n"
    L"\n"
    L">trivandel-design DESIGN.txt [-out FOLDER] [-svg FILE.svg]\n"
    L"  Writes FIR_LPF.txt, FIR_BPF.txt and FIR_HPF.txt (default: the design file's folder)\n"
    L"  and prints trivandel-check's report on them and the design's.\n"
    L">trivandel-design -import FILE -out TAPS.txt [-rate HZ] [-channel left|right]\n"
    L"  Reads REW's text export, text of one number a line, C-array text, WAVE, .dbl (64-bit\n"
    L"  floats) or .bin/.pcm (32-bit floats) and writes one tap file.\n"
    L"Exit status: 0 done, 1 a design warning printed, 2 nothing written.\n";

int Run(const std::vector<Argument>& args)
{
    // Paths print in the user's characters; numbers keep their point.
    std::setlocale(LC_CTYPE, "");
    std::filesystem::path design, import, out, svg;
    double rate = 0;
    ImportChannel channel = kOnlyChannel;
    for (size_t i = 0; i < args.size(); ++i) {
        const Argument& arg = args[i];
        const bool valued = Is(arg, "-out") || Is(arg, "-svg") || Is(arg, "-import") ||
                            Is(arg, "-rate") || Is(arg, "-channel");
        if (valued && i + 1 == args.size())
            break;
        if (Is(arg, "-out")) {
            out = args[++i];
        } else if (Is(arg, "-svg")) {
            svg = args[++i];
        } else if (Is(arg, "-import")) {
            import = args[++i];
        } else if (Is(arg, "-rate")) {
            rate = std::wcstod(std::filesystem::path(args[++i]).wstring().c_str(), nullptr);
            if (!(rate >= 1000 && rate <= 768000)) {
                ConsolePrint(L"ERROR:-rate takes a number of Hz from 1000 to 768000.\n");
                return 2;
            }
        } else if (Is(arg, "-channel")) {
            const Argument& v = args[++i];
            channel = Is(v, "left") ? kLeftChannel : Is(v, "right") ? kRightChannel : kOnlyChannel;
            if (channel == kOnlyChannel) {
                ConsolePrint(L"ERROR:-channel takes left or right.\n");
                return 2;
            }
        } else if (!arg.empty() && arg[0] != '-' && design.empty()) {
            design = arg;
            continue;
        } else {
            ConsolePrint(L"%ls", kUsage);
            return 2;
        }
    }
    if (!import.empty() && design.empty() && !out.empty())
        return RunImport(import, out, rate, channel);
    if (import.empty() && !design.empty() && rate == 0 && channel == kOnlyChannel) {
        if (out.empty())
            out = std::filesystem::absolute(design).parent_path();
        return RunDesign(design, out, svg);
    }
    ConsolePrint(L"%ls", kUsage);
    return 2;
}

} // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv)
#else
int main(int argc, char** argv)
#endif
{
    return Run(std::vector<Argument>(argv + 1, argv + argc));
}
