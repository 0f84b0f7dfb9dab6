// trivandel-check: the tap files checked, and optionally drawn or a WAVE
// file rendered through them, before they reach the speakers. Exit status
// 0 when nothing is wrong, 1 after a warning, 2 when a file (or the command
// line) could not be used.
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "base/console.h"
#include "check/check_print.h"
#include "check/engine_cost.h"
#include "check/path_text.h"
#include "check/render.h"
#include "check/response_svg.h"
#include "check/tap_check.h"
#include "check/tone_levels.h"
#include "check/tool_arguments.h"
#include "engine/filter/fir_filter.h"

namespace {

const wchar_t kUsage[] =
    L"trivandel-check: shows what trivandel.exe's tap files do before they reach the speakers.\n"
    L"\n"
    L">trivandel-check [folder] [options]\n"
    L"Reads FIR_LPF.txt, FIR_BPF.txt and FIR_HPF.txt from the folder (default: the working one).\n"
    L"Options.\n"
    L"              -rate # : Sample rate to check at. (default 48000)\n"
    L"       -attenuation # : attenuation rate, as trivandel.exe takes it. (default 0.8)\n"
    L"               -svg # : Also draw the responses into this SVG file.\n"
    L"   -render # #        : Render a WAVE file (the first) into a six-channel WAVE file (the\n"
    L"                        second) as trivandel.exe would play it, instead of the check.\n"
    L"        -output_bit # : Output quantization bit of the render. (16 or 24; default 24)\n"
    L"            -mono_lfe : Monaural LFE in the render.\n"
    L"       -convolution # : The render's convolution: direct (default) or fft, as\n"
    L"                        TRIVANDEL_CONVOLUTION sets trivandel.exe's.\n"
    L"         -clock_ppm # : Render as played live with the loopback's clock this many ppm\n"
    L"                        fast (negative: slow) against the output's. (-1000 to 1000)\n"
    L"            -levels # : Print the levels of 100 Hz, 1 kHz and 8 kHz on each channel of a\n"
    L"                        WAVE file (a render of the three tones), instead of the check.\n"
    L"Exit status: 0 nothing wrong, 1 a warning printed, 2 a file could not be used.\n";

struct Options {
    std::filesystem::path folder, svg, input, output, levels;
    double rate = 48000;
    float attenuation = 0.8f;
    RenderSettings render;
    uint8_t convolution = kConvolutionDirect;
    bool rendering = false;
};

bool ToNumber(const Argument& arg, double* value)
{
    std::string text;
    for (auto c : arg) {
        // Plain ASCII only; a negative char converts to a large value too.
        const auto code = static_cast<unsigned long>(c);
        if (code == 0 || code > 127)
            return false;
        text += static_cast<char>(c);
    }
    char* end = nullptr;
    *value = std::strtod(text.c_str(), &end);
    return !text.empty() && *end == '\0';
}

// False after printing what is wrong.
bool ParseArguments(const std::vector<Argument>& args, Options* o)
{
    bool has_folder = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const Argument& arg = args[i];
        const size_t values = Is(arg, "-render") ? 2
                              : Is(arg, "-rate") || Is(arg, "-attenuation") || Is(arg, "-svg") ||
                                      Is(arg, "-output_bit") || Is(arg, "-levels") ||
                                      Is(arg, "-clock_ppm") || Is(arg, "-convolution")
                                  ? 1
                                  : 0;
        if (i + values >= args.size()) {
            ConsolePrint(L"%ls", kUsage);
            return false;
        }
        double number = 0;
        if (Is(arg, "-rate")) {
            if (!ToNumber(args[++i], &number) || number != std::floor(number) || number < 1000 ||
                number > 768000) {
                ConsolePrint(L"ERROR:-rate takes a whole number of Hz from 1000 to 768000.\n");
                return false;
            }
            o->rate = number;
        } else if (Is(arg, "-attenuation")) {
            if (!ToNumber(args[++i], &number) || !std::isfinite(static_cast<float>(number))) {
                ConsolePrint(L"ERROR:-attenuation takes a number.\n");
                return false;
            }
            o->attenuation = static_cast<float>(number);
        } else if (Is(arg, "-output_bit")) {
            if (!ToNumber(args[++i], &number) || (number != 16 && number != 24)) {
                ConsolePrint(L"ERROR:-output_bit takes 16 or 24.\n");
                return false;
            }
            o->render.output_bit = static_cast<int32_t>(number);
        } else if (Is(arg, "-clock_ppm")) {
            if (!ToNumber(args[++i], &number) || !(std::fabs(number) <= 1000)) {
                ConsolePrint(L"ERROR:-clock_ppm takes a number of ppm from -1000 to 1000.\n");
                return false;
            }
            o->render.clock_ppm = number;
            o->render.clocked = true;
        } else if (Is(arg, "-convolution")) {
            const Argument& name = args[++i];
            if (!Is(name, "direct") && !Is(name, "fft")) {
                ConsolePrint(L"ERROR:-convolution takes direct or fft.\n");
                return false;
            }
            o->convolution = Is(name, "fft") ? kConvolutionFft : kConvolutionDirect;
        } else if (Is(arg, "-svg")) {
            o->svg = args[++i];
        } else if (Is(arg, "-levels")) {
            o->levels = args[++i];
        } else if (Is(arg, "-render")) {
            o->input = args[++i];
            o->output = args[++i];
            o->rendering = true;
        } else if (Is(arg, "-mono_lfe")) {
            o->render.mono_lfe = true;
        } else if (arg.empty() || arg[0] == '-' || has_folder) {
            ConsolePrint(L"%ls", kUsage);
            return false;
        } else {
            o->folder = arg;
            has_folder = true;
        }
    }
    o->render.attenuation = o->attenuation;
    return true;
}

int Run(const std::vector<Argument>& args)
{
    // Paths and file names print in the user's characters; numbers keep
    // their decimal point.
    std::setlocale(LC_CTYPE, "");
    Options o;
    if (!ParseArguments(args, &o))
        return 2;
    if (!o.levels.empty())
        return PrintToneLevels(o.levels, {100.0, 1000.0, 8000.0}) ? 0 : 2;

    // Files named on the command line are relative to the folder the tool
    // was started in; the tap files are read from the taps' folder by the
    // very names trivandel.exe opens, so its messages are the program's.
    std::error_code ec;
    for (std::filesystem::path* p : {&o.svg, &o.input, &o.output}) {
        if (!p->empty())
            *p = std::filesystem::absolute(*p, ec);
    }
    if (!o.folder.empty()) {
        std::filesystem::current_path(o.folder, ec);
        if (ec) {
            ConsolePrint(L"ERROR:Cannot open the folder %ls\n", PathText(o.folder).c_str());
            return 2;
        }
    }
    const std::filesystem::path here = std::filesystem::current_path(ec);
    ConsolePrint(L"Tap files %s, %s, %s in %ls\n", kTapFileNames[0], kTapFileNames[1],
                 kTapFileNames[2], PathText(here).c_str());

    // As the capture thread loads them, with the same lines.
    CPlayout playout;
    CFIRFilter& filter = playout.Filter();
    TapList lists[3];
    if (!filter.LoadTapFiles(lists)) {
        ConsolePrint(L"ERROR:trivandel.exe cannot use these tap files.\n");
        return 2;
    }
    if (filter.GetTapCount() == 0) {
        ConsolePrint(L"ERROR:The tap files hold no taps: reading stops at the first line that "
                     L"is not a number.\n");
        return 2;
    }
    filter.convolution = o.convolution;
    if (o.rendering)
        return RenderWav(&playout, o.input, o.output, o.render) ? 0 : 2;

    const BandTaps taps = ToBandTaps(lists);
    CheckReport report = CheckTaps(taps, o.rate, o.attenuation);
    NoteUnreadNumbers(lists, &report);
    PrintReport(report);
    PrintEngineCosts(&filter, o.rate, o.attenuation);
    if (!o.svg.empty()) {
        if (!WriteResponseSvg(o.svg, taps, report)) {
            ConsolePrint(L"ERROR:Cannot write %ls\n", PathText(o.svg).c_str());
            return 2;
        }
        ConsolePrint(L"Responses drawn in %ls\n", PathText(o.svg).c_str());
    }
    return CheckExitStatus(report);
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
