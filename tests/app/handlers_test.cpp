// The console handler, the power window's procedure, the time line and the
// priority watch's handle keeping, called directly.
#include <windows.h>

#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "console_capture.h"
#include "console_handler.h"
#include "power_window.h"
#include "priority_app.h"
#include "shared_state.h"
#include "timestamp.h"

namespace {

const std::wregex kTimeLine(LR"(\d\d:\d\d:\d\d\.\d\d\d\n)");

bool IsSet(HANDLE event)
{
    return WaitForSingleObject(event, 0) == WAIT_OBJECT_0;
}

class Handlers : public ::testing::Test {
protected:
    void SetUp() override
    {
        ctrlEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        powerEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        ASSERT_NE(ctrlEvent, nullptr);
        ASSERT_NE(powerEvent, nullptr);
    }
    void TearDown() override
    {
        CloseHandle(ctrlEvent);
        CloseHandle(powerEvent);
        ctrlEvent = nullptr;
        powerEvent = nullptr;
    }
};

TEST_F(Handlers, CtrlCIsHandledAndSetsTheControlEvent)
{
    BeginConsoleCapture();
    EXPECT_EQ(ConsoleCtrlHandler(CTRL_C_EVENT), TRUE);
    EXPECT_EQ(EndConsoleCapture(), L">Received the [Ctrl]+[C] event!\n");
    EXPECT_TRUE(IsSet(ctrlEvent));
}

TEST_F(Handlers, OtherConsoleEventsArePrintedAndPassedOn)
{
    BeginConsoleCapture();
    EXPECT_EQ(ConsoleCtrlHandler(CTRL_BREAK_EVENT), FALSE);
    EXPECT_EQ(ConsoleCtrlHandler(CTRL_CLOSE_EVENT), FALSE);
    EXPECT_EQ(ConsoleCtrlHandler(CTRL_SHUTDOWN_EVENT), FALSE);
    EXPECT_EQ(EndConsoleCapture(), L">Received unknown event! type=1\n"
                                   L">Received unknown event! type=2\n"
                                   L">Received unknown event! type=6\n");
    EXPECT_FALSE(IsSet(ctrlEvent));
}

TEST_F(Handlers, SuspendAndResumeEachPrintTheirLineAndSetThePowerEventOnce)
{
    BeginConsoleCapture();
    EXPECT_EQ(WndProc(nullptr, WM_POWERBROADCAST, PBT_APMSUSPEND, 0), 0);
    std::wstring suspend = EndConsoleCapture();
    EXPECT_TRUE(IsSet(powerEvent));
    EXPECT_FALSE(IsSet(powerEvent));

    BeginConsoleCapture();
    EXPECT_EQ(WndProc(nullptr, WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0), 0);
    std::wstring resume = EndConsoleCapture();
    EXPECT_TRUE(IsSet(powerEvent));
    EXPECT_FALSE(IsSet(powerEvent));

    const std::wstring suspend_head = L">Received the suspend power state message! ";
    const std::wstring resume_head = L">Received the resume power state message! ";
    ASSERT_EQ(suspend.compare(0, suspend_head.size(), suspend_head), 0) << suspend.c_str();
    EXPECT_TRUE(std::regex_match(suspend.substr(suspend_head.size()), kTimeLine));
    ASSERT_EQ(resume.compare(0, resume_head.size(), resume_head), 0) << resume.c_str();
    EXPECT_TRUE(std::regex_match(resume.substr(resume_head.size()), kTimeLine));
}

TEST_F(Handlers, OtherPowerBroadcastsAreIgnoredSilently)
{
    BeginConsoleCapture();
    for (WPARAM event : {WPARAM{0}, WPARAM{PBT_APMRESUMESUSPEND}, WPARAM{PBT_APMPOWERSTATUSCHANGE},
                         WPARAM{PBT_POWERSETTINGCHANGE}, WPARAM{5}, WPARAM{19}})
        EXPECT_EQ(WndProc(nullptr, WM_POWERBROADCAST, event, 0), 0) << event;
    EXPECT_EQ(EndConsoleCapture(), L"");
    EXPECT_FALSE(IsSet(powerEvent));
}

TEST_F(Handlers, DestroyingTheWindowEndsTheMessageLoop)
{
    EXPECT_EQ(WndProc(nullptr, WM_DESTROY, 0, 0), 0);
    MSG message;
    ASSERT_TRUE(PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(message.wParam, 0u);
}

TEST(Timestamp, FieldsArePaddedWithZeros)
{
    SYSTEMTIME morning = {};
    morning.wHour = 9;
    morning.wMinute = 5;
    morning.wSecond = 3;
    morning.wMilliseconds = 7;
    SYSTEMTIME late = {};
    late.wHour = 23;
    late.wMinute = 59;
    late.wSecond = 59;
    late.wMilliseconds = 999;
    BeginConsoleCapture();
    PrintTimeOfDay(morning);
    PrintTimeOfDay(late);
    EXPECT_EQ(EndConsoleCapture(), L"09:05:03.007\n23:59:59.999\n");
}

int MillisecondOfDay(const SYSTEMTIME& t)
{
    return ((t.wHour * 60 + t.wMinute) * 60 + t.wSecond) * 1000 + t.wMilliseconds;
}

TEST(Timestamp, PrintsTheLocalTimeOfDay)
{
    SYSTEMTIME before, after;
    GetLocalTime(&before);
    BeginConsoleCapture();
    PrintTimestamp();
    std::wstring line = EndConsoleCapture();
    GetLocalTime(&after);
    ASSERT_TRUE(std::regex_match(line, kTimeLine)) << line.c_str();
    const int printed = ((std::stoi(line.substr(0, 2)) * 60 + std::stoi(line.substr(3, 2))) * 60 +
                         std::stoi(line.substr(6, 2))) *
                            1000 +
                        std::stoi(line.substr(9, 3));
    if (MillisecondOfDay(after) >= MillisecondOfDay(before)) { // not across midnight
        EXPECT_GE(printed, MillisecondOfDay(before));
        EXPECT_LE(printed, MillisecondOfDay(after));
    }
}

TEST(PriorityWatch, ACheckFirstClosesTheHandleOfTheLastDetection)
{
    // A named object stands in for the detected process: once its last
    // handle is closed it can no longer be opened by name. (A closed handle
    // value itself proves nothing: it may be reused at once.)
    const wchar_t* name = L"trivandel_test_priority_handle";
    HANDLE held = CreateEventW(nullptr, TRUE, FALSE, name);
    ASSERT_NE(held, nullptr);
    priorityProcess = held;
    CheckPriorityApp(L"no such program.exe");
    EXPECT_EQ(priorityProcess, nullptr);
    HANDLE again = OpenEventW(SYNCHRONIZE, FALSE, name);
    EXPECT_EQ(again, nullptr) << "the handle of the last detection is still open";
    if (again)
        CloseHandle(again);
}

} // namespace
