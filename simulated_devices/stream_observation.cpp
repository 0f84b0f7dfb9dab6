// What the tests set of the streams (pacing, recording, a sink) and what
// they observe of them (released packets and buffers, Initialize calls,
// live objects).
#include <chrono>
#include <mutex>

#include "simulated_devices/device_state.h"

namespace simulated_devices {

void SetCaptureConfig(const CaptureConfig& config)
{
    Locked([&](State& s) { s.d.capture = config; });
}

void QueueCapturePackets(uint32_t count, bool silent, uint32_t frames, uint32_t lost)
{
    Locked([&](State& s) {
        for (uint32_t i = 0; i < count; ++i)
            s.d.queued.push_back(Packet{frames, silent, i == 0 ? lost : 0});
    });
}

void SetOutputClock(OutputClock clock)
{
    Locked([&](State& s) { s.d.clock = clock; });
}

void SignalOutputEvent()
{
    Locked([](State& s) {
        if (s.output_event != nullptr)
            SetEvent(s.output_event);
    });
}

void SetStreamSink(StreamSink sink, void* context)
{
    Locked([&](State& s) {
        s.d.sink = sink;
        s.d.sink_context = context;
    });
}

void SetRecording(bool record)
{
    Locked([&](State& s) { s.d.record = record; });
}

std::vector<StreamEvent> StreamLog()
{
    return Locked([](State& s) { return s.d.stream; });
}

size_t RenderedCount()
{
    return Locked([](State& s) { return s.d.rendered; });
}

bool WaitForRendered(size_t count, DWORD timeout_ms)
{
    std::unique_lock<std::mutex> lock(S().mutex);
    return S().rendered_changed.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                                         [count] { return S().d.rendered >= count; });
}

std::vector<InitializeCall> Initializations()
{
    return Locked([](State& s) { return s.d.initializations; });
}

std::vector<std::string> LiveObjects()
{
    std::vector<std::string> names;
    for (const auto& entry : Locked([](State& s) { return s.live; }))
        names.push_back(entry.second);
    // A client must be unregistered before it is released; one still
    // registered is held (and called) by the enumerator's service.
    names.insert(names.end(), RegisteredClients(), "IMMNotificationClient (still registered)");
    return names;
}

} // namespace simulated_devices
