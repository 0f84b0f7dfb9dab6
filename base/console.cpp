#include "base/console.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cwchar>

namespace {

std::atomic<ConsoleSink> g_sink{nullptr};

// Longer than any line of the program: names and ids are at most 259 units.
constexpr size_t kConsoleLineUnits = 2048;

void Emit(const wchar_t* text)
{
    if (ConsoleSink sink = g_sink.load()) {
        sink(text);
        return;
    }
#ifdef _WIN32
    // Converted by the CRT under the process locale, like wprintf.
    std::fputws(text, stdout);
#else
    // glibc gives a stream one orientation; stdout stays narrow so the test
    // framework's own printf keeps working.
    char narrow[kConsoleLineUnits * 4];
    std::mbstate_t state{};
    const wchar_t* src = text;
    size_t n = std::wcsrtombs(narrow, &src, sizeof(narrow) - 1, &state);
    if (n == static_cast<size_t>(-1))
        return;
    narrow[n] = '\0';
    std::fputs(narrow, stdout);
#endif
    // Lines must reach a pipe at once: the process may end through the
    // system's default console handling, which does not flush.
    std::fflush(stdout);
}

} // namespace

void ConsolePrint(const wchar_t* format, ...)
{
    wchar_t text[kConsoleLineUnits];
    va_list args;
    va_start(args, format);
    int n = std::vswprintf(text, kConsoleLineUnits, format, args);
    va_end(args);
    if (n < 0)
        text[kConsoleLineUnits - 1] = L'\0'; // too long: print what fitted
    Emit(text);
}

void ConsolePrintNarrow(const char* format, ...)
{
    char narrow[kConsoleLineUnits];
    va_list args;
    va_start(args, format);
    std::vsnprintf(narrow, sizeof(narrow), format, args);
    va_end(args);
    wchar_t text[kConsoleLineUnits];
    size_t n = std::mbstowcs(text, narrow, kConsoleLineUnits - 1);
    if (n == static_cast<size_t>(-1))
        return;
    text[n] = L'\0';
    Emit(text);
}

void SetConsoleSink(ConsoleSink sink)
{
    g_sink.store(sink);
}
