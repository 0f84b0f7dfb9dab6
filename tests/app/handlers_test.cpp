// The supervisor's handlers that the whole-program scenarios cannot show:
// console events other than Ctrl+C, the hotkeys, and the priority watch
// letting go of the last detection's handle.
#include <windows.h>

#include <gtest/gtest.h>

#include <map>

#include "app/console_handler.h"
#include "app/hotkeys.h"
#include "app/priority_app.h"
#include "app/shared_state.h"
#include "tests/console_capture.h"

namespace {

TEST(ConsoleHandler, OtherEventsArePrintedAndLeftToTheDefaultHandling)
{
    ctrlEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    ConsoleCapture console;
    EXPECT_EQ(ConsoleCtrlHandler(CTRL_BREAK_EVENT), FALSE);
    EXPECT_EQ(ConsoleCtrlHandler(CTRL_CLOSE_EVENT), FALSE);
    EXPECT_EQ(console.Text(),
              L">Received unknown event! type=1\n>Received unknown event! type=2\n");
    EXPECT_EQ(WaitForSingleObject(ctrlEvent, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    CloseHandle(ctrlEvent);
    ctrlEvent = nullptr;
}

std::map<int, SHORT> keysDown;
std::map<int, int> keysQueried;

TEST(Hotkeys, RightCtrlWithADigitOrFTogglesItsControlAndPrintsTheNewState)
{
    SetKeyStateQuery([](int key) -> SHORT {
        ++keysQueried[key];
        return keysDown.count(key) ? keysDown[key] : 0;
    });
    const SHORT down = static_cast<SHORT>(0x8000), tapped = 0x0001; // now, since the last poll
    const struct {
        std::map<int, SHORT> keys;
        const wchar_t* printed;
        uint8_t through, lfe, low, high; // LiveControls afterwards
    } polls[] = {
        // clang-format off
        {{{VK_RCONTROL, down}, {'1', down}}, L">LEF:Mute / Low:Out  / High:Out \n", 0, 1, 0, 0},
        {{{VK_RCONTROL, tapped}, {'3', tapped}}, L">LEF:Mute / Low:Out  / High:Mute\n", 0, 1, 0, 1},
        // Digits in order, then F; each line shows the state after its toggle.
        {{{VK_RCONTROL, down}, {'1', down}, {'2', down}, {'F', down}},
         L">LEF:Out  / Low:Out  / High:Mute\n>LEF:Out  / Low:Mute / High:Mute\n"
         L">Channel Divider:Through\n", 1, 0, 1, 1},
        {{{VK_RCONTROL, down}, {'F', down}}, L">Channel Divider:Active\n", 0, 0, 1, 1},
        // Without Right Ctrl (other bits, other Ctrl keys) nothing changes.
        {{{VK_RCONTROL, 0x7FFE}, {VK_LCONTROL, down}, {'2', down}, {'F', down}}, L"", 0, 0, 1, 1},
        // clang-format on
    };
    HotkeyState state;
    for (const auto& poll : polls) {
        keysDown = poll.keys;
        ConsoleCapture console;
        PollHotkeys(&state);
        EXPECT_EQ(console.Text(), poll.printed);
        EXPECT_EQ(LiveControls.divider_through, poll.through);
        EXPECT_EQ(LiveControls.mute_lfe, poll.lfe);
        EXPECT_EQ(LiveControls.mute_low, poll.low);
        EXPECT_EQ(LiveControls.mute_high, poll.high);
    }
    // All five keys on every poll, so that a tap seen since the last query
    // never carries over into a later poll.
    EXPECT_EQ(keysQueried,
              (std::map<int, int>{{VK_RCONTROL, 5}, {'1', 5}, {'2', 5}, {'3', 5}, {'F', 5}}));
    SetKeyStateQuery(nullptr);
}

TEST(PriorityWatch, ACheckFirstClosesTheHandleOfTheLastDetection)
{
    // A named object stands in for the detected process: once its last
    // handle is closed it can no longer be opened by name. (A closed handle
    // value itself proves nothing: it may be reused at once.)
    const wchar_t* name = L"trivandel_test_priority_handle";
    priorityProcess = CreateEventW(nullptr, TRUE, FALSE, name);
    ASSERT_NE(priorityProcess, nullptr);
    CheckPriorityApp(L"no such program.exe");
    EXPECT_EQ(priorityProcess, nullptr);
    HANDLE again = OpenEventW(SYNCHRONIZE, FALSE, name);
    EXPECT_EQ(again, nullptr) << "the handle of the last detection is still open";
    if (again)
        CloseHandle(again);
}

} // namespace
