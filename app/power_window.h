// The hidden top-level window through which the program receives the
// system's power broadcasts.
#pragma once

#include <windows.h>

// Class name and title of the hidden window.
extern const wchar_t kPowerWindowClass[];

// Thread entry: registers the class, creates and hides the window, stores
// it in hiddenWindow and runs the thread's message loop until the window is
// destroyed. The parameter is not used.
DWORD WINAPI WindowThreadProc(LPVOID parameter);

// Suspend (PBT_APMSUSPEND) and automatic resume (PBT_APMRESUMEAUTOMATIC)
// each print their line with the time and set powerEvent; other power
// broadcasts are ignored.
LRESULT CALLBACK WndProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
