#include "hotkeys.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "console_capture.h"
#include "shared_state.h"

namespace {

constexpr SHORT kDown = static_cast<SHORT>(0x8000); // held at the poll
constexpr SHORT kTapped = 0x0001;                   // pressed since the last query

std::map<int, SHORT> g_keys;
std::vector<int> g_queried;

SHORT WINAPI FakeKeyState(int virtual_key)
{
    g_queried.push_back(virtual_key);
    auto it = g_keys.find(virtual_key);
    return it == g_keys.end() ? 0 : it->second;
}

class Hotkeys : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_keys.clear();
        g_queried.clear();
        LiveControls.divider_through = 0;
        LiveControls.mute_lfe = 0;
        LiveControls.mute_low = 0;
        LiveControls.mute_high = 0;
        SetKeyStateQuery(FakeKeyState);
    }
    void TearDown() override { SetKeyStateQuery(nullptr); }

    // One poll with the given keys; returns what it printed.
    std::wstring Poll(std::map<int, SHORT> keys)
    {
        g_keys = std::move(keys);
        BeginConsoleCapture();
        PollHotkeys(&state);
        return EndConsoleCapture();
    }

    HotkeyState state;
};

TEST_F(Hotkeys, OneDigitTogglesItsBandAndPrintsAllThree)
{
    EXPECT_EQ(Poll({{VK_RCONTROL, kDown}, {'1', kDown}}), L">LEF:Mute / Low:Out  / High:Out \n");
    EXPECT_EQ(LiveControls.mute_lfe, 1);
    EXPECT_EQ(LiveControls.mute_low, 0);
    EXPECT_EQ(LiveControls.mute_high, 0);

    EXPECT_EQ(Poll({{VK_RCONTROL, kDown}, {'3', kTapped}}), L">LEF:Mute / Low:Out  / High:Mute\n");
    EXPECT_EQ(Poll({{VK_RCONTROL, kTapped}, {'1', kDown}}), L">LEF:Out  / Low:Out  / High:Mute\n");
    EXPECT_EQ(LiveControls.mute_lfe, 0);
    EXPECT_EQ(LiveControls.mute_high, 1);
}

TEST_F(Hotkeys, TwoDigitsAtOnePollPrintTheStateAfterEachToggle)
{
    EXPECT_EQ(Poll({{VK_RCONTROL, kDown}, {'1', kDown}, {'2', kDown}}),
              L">LEF:Mute / Low:Out  / High:Out \n"
              L">LEF:Mute / Low:Mute / High:Out \n");
    EXPECT_EQ(LiveControls.mute_lfe, 1);
    EXPECT_EQ(LiveControls.mute_low, 1);
}

TEST_F(Hotkeys, FSwitchesTheDividerToThroughAndBack)
{
    EXPECT_EQ(Poll({{VK_RCONTROL, kDown}, {'F', kDown}}), L">Channel Divider:Through\n");
    EXPECT_EQ(LiveControls.divider_through, 1);
    EXPECT_EQ(Poll({{VK_RCONTROL, kDown}, {'F', kDown}}), L">Channel Divider:Active\n");
    EXPECT_EQ(LiveControls.divider_through, 0);
}

TEST_F(Hotkeys, DigitsAndLetterAtOnePollPrintDigitsFirst)
{
    EXPECT_EQ(Poll({{VK_RCONTROL, kDown}, {'F', kDown}, {'3', kDown}}),
              L">LEF:Out  / Low:Out  / High:Mute\n"
              L">Channel Divider:Through\n");
}

TEST_F(Hotkeys, KeysWithoutRightCtrlChangeNothingButAreAllSampled)
{
    // Other bits of the state than 15 and 0 do not make Right Ctrl count.
    EXPECT_EQ(Poll({{VK_RCONTROL, 0x7FFE}, {'1', kDown}, {'2', kDown}, {'3', kDown}, {'F', kDown}}),
              L"");
    EXPECT_EQ(Poll({{VK_LCONTROL, kDown}, {VK_CONTROL, kDown}, {'1', kDown}}), L"");
    EXPECT_EQ(LiveControls.mute_lfe, 0);
    EXPECT_EQ(LiveControls.mute_low, 0);
    EXPECT_EQ(LiveControls.mute_high, 0);
    EXPECT_EQ(LiveControls.divider_through, 0);
    // All five every poll, so "pressed since the last query" never carries
    // an old tap into a later poll.
    const std::vector<int> one_poll = {VK_RCONTROL, 0x31, 0x32, 0x33, 0x46};
    std::vector<int> two_polls = one_poll;
    two_polls.insert(two_polls.end(), one_poll.begin(), one_poll.end());
    EXPECT_EQ(g_queried, two_polls);
}

TEST_F(Hotkeys, TheSupervisorsCopyDecidesNotTheSharedByte)
{
    // The shared byte is only ever written from the copy.
    LiveControls.mute_low = 1;
    EXPECT_EQ(Poll({{VK_RCONTROL, kDown}, {'2', kDown}}), L">LEF:Out  / Low:Mute / High:Out \n");
    EXPECT_EQ(LiveControls.mute_low, 1);
    EXPECT_EQ(state.mute_low, 1);
}

} // namespace
