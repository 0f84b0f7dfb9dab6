#include "app/hotkeys.h"

#include <atomic>

#include "app/shared_state.h"
#include "base/console.h"

namespace {

KeyStateQuery g_key_state = GetAsyncKeyState;

// Down now (bit 15) or pressed since the previous query (bit 0): a key
// tapped between two polls a second apart still counts.
bool Pressed(SHORT key_state)
{
    return (static_cast<unsigned short>(key_state) & 0x8001u) != 0;
}

const wchar_t* MuteText(uint8_t muted)
{
    return muted ? L"Mute" : L"Out ";
}

void Toggle(uint8_t* copy, std::atomic<uint8_t>* live)
{
    *copy = *copy ? 0 : 1;
    live->store(*copy, std::memory_order_relaxed);
}

} // namespace

void SetKeyStateQuery(KeyStateQuery query)
{
    g_key_state = query ? query : GetAsyncKeyState;
}

void PollHotkeys(HotkeyState* state)
{
    // All five are sampled on every poll, so that bit 0 (pressed since the
    // last query) never carries an old press into a later poll.
    const bool right_ctrl = Pressed(g_key_state(VK_RCONTROL));
    const bool digit[3] = {Pressed(g_key_state(0x31)), Pressed(g_key_state(0x32)),
                           Pressed(g_key_state(0x33))};
    const bool letter_f = Pressed(g_key_state(0x46));
    if (!right_ctrl)
        return;

    uint8_t* copies[3] = {&state->mute_lfe, &state->mute_low, &state->mute_high};
    std::atomic<uint8_t>* live[3] = {&LiveControls.mute_lfe, &LiveControls.mute_low,
                                     &LiveControls.mute_high};
    for (int i = 0; i < 3; ++i) {
        if (!digit[i])
            continue;
        Toggle(copies[i], live[i]);
        ConsolePrint(L">LEF:%ls / Low:%ls / High:%ls\n", MuteText(state->mute_lfe),
                     MuteText(state->mute_low), MuteText(state->mute_high));
    }
    if (letter_f) {
        Toggle(&state->divider_through, &LiveControls.divider_through);
        ConsolePrint(L">Channel Divider:%ls\n", state->divider_through ? L"Through" : L"Active");
    }
}
