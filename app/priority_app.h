// The priority application watch: is a process of the given executable name
// showing a visible, unowned top-level window?
#pragma once

#include <windows.h>

// Closes a held priorityProcess, then enumerates the top-level windows.
// Afterwards priorityProcess holds an open handle (SYNCHRONIZE, query, VM
// read) of the first matching process found, or is null.
void CheckPriorityApp(const wchar_t* priority_app);

// EnumWindows callback; `parameter` is the address of the priority_app
// text. Returns FALSE once priorityProcess is set, to stop the enumeration.
BOOL CALLBACK EnumWindowsProc(HWND window, LPARAM parameter);
