#include "simulated_devices/device_state.h"

#include <cstring>

namespace simulated_devices {

State& S()
{
    static State state;
    return state;
}

double SecondsSince(LARGE_INTEGER start)
{
    LARGE_INTEGER frequency, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart - start.QuadPart) / frequency.QuadPart;
}

LPWSTR CopyString(const std::wstring& text)
{
    size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    auto* copy = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
    std::memcpy(copy, text.c_str(), bytes);
    return copy;
}

void Record(StreamEvent::Kind kind, uint32_t frames, DWORD flags, const std::vector<uint8_t>& data,
            size_t bytes, const WaveFormat& format)
{
    auto [sink, context] = Locked([&](State& s) {
        if (s.d.record)
            s.d.stream.push_back({kind, frames, flags, {data.begin(), data.begin() + bytes}});
        if (kind == StreamEvent::kRender)
            ++s.d.rendered;
        s.rendered_changed.notify_all();
        return std::make_pair(s.d.sink, s.d.sink_context);
    });
    if (sink != nullptr)
        sink(kind, data.data(), frames, flags, format, context);
}

} // namespace simulated_devices
