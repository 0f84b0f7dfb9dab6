#include "console_capture.h"

#include <mutex>

#include "console.h"

namespace {

std::mutex g_mutex;
std::wstring g_text;

void Collect(const wchar_t* text)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_text += text;
}

} // namespace

void BeginConsoleCapture()
{
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        g_text.clear();
    }
    SetConsoleSink(Collect);
}

std::wstring EndConsoleCapture()
{
    SetConsoleSink(nullptr);
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_text;
}
