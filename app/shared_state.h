// Process-wide state of the supervisor, shared by the main thread, the
// window thread and the console handler (what the capture thread also uses,
// LiveControls and stopEvent, is declared below it, in capture_shared.h).
// There are no locks: the threads meet only through events and handles.
#pragma once

#include <windows.h>

#include <atomic>

#include "audio/live_controls.h"
#include "audio/settings.h"

// Owned by the main thread; each is null while not held.
extern HANDLE ctrlEvent;
extern HANDLE powerEvent;
extern HANDLE captureThread;
extern HANDLE priorityProcess;
// Written once by the window thread, read by the main thread at shutdown.
extern std::atomic<HWND> hiddenWindow;

// The copy of Settings that every capture thread reads, filled at the first
// capture start.
extern Settings captureSettings;
extern bool captureSettingsFilled;
