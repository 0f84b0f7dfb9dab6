#include "audio/platform_calls.h"

#include <avrt.h>
#include <mmsystem.h>
#include <objbase.h>

#include <atomic>

namespace {

HANDLE RealRegistrar(LPCWSTR task_name, LPDWORD task_index)
{
    return AvSetMmThreadCharacteristicsW(task_name, task_index);
}
HRESULT RealComInitializer(LPVOID reserved, DWORD concurrency)
{
    return CoInitializeEx(reserved, concurrency);
}
HANDLE RealEventCreator(LPSECURITY_ATTRIBUTES attributes, BOOL manual_reset, BOOL initial_state,
                        LPCWSTR name)
{
    return CreateEventW(attributes, manual_reset, initial_state, name);
}
DWORD RealClock()
{
    return timeGetTime();
}
void RealDebugOutput(LPCWSTR text)
{
    OutputDebugStringW(text);
}

std::atomic<MmThreadRegistrar> registrar{RealRegistrar};
std::atomic<ComInitializer> comInitializer{RealComInitializer};
std::atomic<EventCreator> eventCreator{RealEventCreator};
std::atomic<MillisecondClock> millisecondClock{RealClock};
std::atomic<DebugOutput> debugOutput{RealDebugOutput};

} // namespace

void SetMmThreadRegistrar(MmThreadRegistrar call)
{
    registrar = call != nullptr ? call : RealRegistrar;
}
void SetComInitializer(ComInitializer call)
{
    comInitializer = call != nullptr ? call : RealComInitializer;
}
void SetEventCreator(EventCreator call)
{
    eventCreator = call != nullptr ? call : RealEventCreator;
}
void SetMillisecondClock(MillisecondClock call)
{
    millisecondClock = call != nullptr ? call : RealClock;
}
void SetDebugOutput(DebugOutput call)
{
    debugOutput = call != nullptr ? call : RealDebugOutput;
}

HANDLE RegisterMmThread(LPCWSTR task_name, LPDWORD task_index)
{
    return registrar.load()(task_name, task_index);
}
HRESULT InitializeCom(LPVOID reserved, DWORD concurrency)
{
    return comInitializer.load()(reserved, concurrency);
}
HANDLE CreateEventHandle(LPSECURITY_ATTRIBUTES attributes, BOOL manual_reset, BOOL initial_state,
                         LPCWSTR name)
{
    return eventCreator.load()(attributes, manual_reset, initial_state, name);
}
DWORD ReadMillisecondClock()
{
    return millisecondClock.load()();
}
void WriteDebugOutput(LPCWSTR text)
{
    debugOutput.load()(text);
}
