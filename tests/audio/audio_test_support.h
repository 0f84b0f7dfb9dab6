// Helpers for the capture-thread tests: console capture, a working folder
// with tap files, the standard stand-in endpoints and a thread runner.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "settings.h"

using Lines = std::vector<std::wstring>;

// Collects console lines (without "\n") while it lives.
class ConsoleLines {
public:
    ConsoleLines();
    ~ConsoleLines();
    ConsoleLines(const ConsoleLines&) = delete;
    ConsoleLines& operator=(const ConsoleLines&) = delete;
    Lines Get() const;
};

// A fresh temporary folder holding the three tap files, made the working
// directory while it lives.
class TapFolder {
public:
    TapFolder();
    ~TapFolder();
    TapFolder(const TapFolder&) = delete;
    TapFolder& operator=(const TapFolder&) = delete;
    void Write(const wchar_t* name, const std::string& content) const;
    void Remove(const wchar_t* name) const;

private:
    std::wstring path_;
    std::wstring previous_;
};

constexpr const char* kLowTaps = "0.5\n0.25\n-0.125\n0.0625\n0.03125\n";
constexpr const char* kMidTaps = "0.1\n-0.3\n0.7\n-0.3\n0.1\n";
constexpr const char* kHighTaps = "-0.05\n-0.2\n0.9\n-0.2\n-0.05\n";

extern const wchar_t* const kSpeakersId;
extern const wchar_t* const kMultichannelId;

Settings DefaultSettings();

// The usual machine: default "Speakers" (2 ch float, 48 kHz) and
// "Multichannel" (6 ch, 16-bit PCM), in that order.
void AddStandardEndpoints();

Lines Concat(std::initializer_list<Lines> parts);

// Stand-in enumerator, manual pacing, a fresh stopEvent; restores the
// platform seams and closes stopEvent afterwards.
class CaptureThreadTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    void Start(const Settings& settings);
    // Waits for the thread's end; false if it did not end in time.
    bool Join(DWORD timeout_ms = 10000);
    // Runs to the end with stopEvent already set.
    void RunStopped(const Settings& settings);

    TapFolder taps_;
    ConsoleLines console_;
    Settings settings_ = {};
    HANDLE thread_ = nullptr;
    DWORD exit_code_ = 0xFFFFFFFF;
};
