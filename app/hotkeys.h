// The Right Ctrl hotkeys that toggle the LiveControls.
#pragma once

#include <windows.h>

#include <cstdint>

// The supervisor's own copy of the four LiveControls values. A toggle
// inverts the copy and stores it into the shared byte; the bytes are never
// read back to decide.
struct HotkeyState {
    uint8_t divider_through = 0;
    uint8_t mute_lfe = 0;
    uint8_t mute_low = 0;
    uint8_t mute_high = 0;
};

// The asynchronous key-state query; tests replace it. nullptr restores
// GetAsyncKeyState.
using KeyStateQuery = SHORT(WINAPI*)(int virtual_key);
void SetKeyStateQuery(KeyStateQuery query);

// Samples Right Ctrl, 1, 2, 3 and F; with Right Ctrl, each of the others
// toggles its control and prints the new state.
void PollHotkeys(HotkeyState* state);
