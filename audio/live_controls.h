// What the supervisor shares with the running capture thread besides its
// settings: the live band controls and the stop event. There are no locks:
// the threads meet only through the event and these bytes.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>

// Written only by the supervisor's hotkey poll, read by the capture thread
// before each filtered output buffer. Relaxed atomics compile to the plain
// byte stores and loads this needs, without a data race in C++ terms.
struct LiveControlBytes {
    std::atomic<uint8_t> divider_through{0};
    std::atomic<uint8_t> mute_lfe{0};
    std::atomic<uint8_t> mute_low{0};
    std::atomic<uint8_t> mute_high{0};
};
extern LiveControlBytes LiveControls;

// Created by the supervisor before each capture thread and closed after it
// has ended; the processing loop ends after the pass that sees it set.
extern HANDLE stopEvent;
