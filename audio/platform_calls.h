// Narrow seams onto the few platform calls of the capture thread that are
// not made on a COM object, so that tests can make each of them fail and
// can steer the loop's clock. Each defaults to the real call; passing
// nullptr to a setter restores it. Set them only while no capture thread runs.
#pragma once

#include <windows.h>

using MmThreadRegistrar = HANDLE (*)(LPCWSTR task_name,
                                     LPDWORD task_index); // AvSetMmThreadCharacteristicsW
using ComInitializer = HRESULT (*)(LPVOID reserved, DWORD concurrency); // CoInitializeEx
using EventCreator = HANDLE (*)(LPSECURITY_ATTRIBUTES attributes, BOOL manual_reset,
                                BOOL initial_state,
                                LPCWSTR name); // CreateEventW
using MillisecondClock = DWORD (*)();          // timeGetTime
using DebugOutput = void (*)(LPCWSTR text);    // OutputDebugStringW

void SetMmThreadRegistrar(MmThreadRegistrar call);
void SetComInitializer(ComInitializer call);
void SetEventCreator(EventCreator call);
void SetMillisecondClock(MillisecondClock call);
void SetDebugOutput(DebugOutput call);

// What the capture thread calls.
HANDLE RegisterMmThread(LPCWSTR task_name, LPDWORD task_index);
HRESULT InitializeCom(LPVOID reserved, DWORD concurrency);
HANDLE CreateEventHandle(LPSECURITY_ATTRIBUTES attributes, BOOL manual_reset, BOOL initial_state,
                         LPCWSTR name);
DWORD ReadMillisecondClock();
void WriteDebugOutput(LPCWSTR text);
