// The console control handler: Ctrl+C becomes ctrlEvent.
#pragma once

#include <windows.h>

// Ctrl+C: prints its line, sets ctrlEvent and returns TRUE, so the
// supervisor ends the program in order. Any other event is printed with its
// type number and passed on (FALSE): the system's default handling ends the
// process.
BOOL WINAPI ConsoleCtrlHandler(DWORD control_type);
