// Collects everything printed through the console while it lives, from any
// thread, as one text or as lines without their "\n".
#pragma once

#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "base/console.h"

class ConsoleCapture {
public:
    ConsoleCapture()
    {
        Clear();
        SetConsoleSink([](const wchar_t* text) {
            std::lock_guard<std::mutex> lock(mutex_);
            text_ += text;
        });
    }
    ~ConsoleCapture() { SetConsoleSink(nullptr); }
    std::wstring Text() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return text_;
    }
    std::vector<std::wstring> Lines() const
    {
        std::wistringstream in(Text());
        std::vector<std::wstring> lines;
        for (std::wstring line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }
    void Clear()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        text_.clear();
    }

private:
    static inline std::mutex mutex_;
    static inline std::wstring text_;
};
