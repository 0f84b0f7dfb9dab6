// Process-wide state shared by the main thread, the window thread, the
// console handler and the capture thread. There are no locks: the threads
// meet only through these events and handles and the LiveControls bytes.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>

#include "settings.h"

// Written only by the main thread's hotkey poll, read by the capture thread
// before each filtered output buffer. Relaxed atomics compile to the plain
// byte stores and loads this needs, without a data race in C++ terms.
struct LiveControlBytes {
    std::atomic<uint8_t> divider_through{0};
    std::atomic<uint8_t> mute_lfe{0};
    std::atomic<uint8_t> mute_low{0};
    std::atomic<uint8_t> mute_high{0};
};
extern LiveControlBytes LiveControls;

// Owned by the main thread; each is null while not held.
extern HANDLE ctrlEvent;
extern HANDLE powerEvent;
extern HANDLE stopEvent;
extern HANDLE captureThread;
extern HANDLE priorityProcess;
// Written once by the window thread, read by the main thread at shutdown.
extern std::atomic<HWND> hiddenWindow;

// The copy of Settings that every capture thread reads, filled at the first
// capture start.
extern Settings captureSettings;
extern bool captureSettingsFilled;
