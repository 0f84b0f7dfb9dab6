#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "engine/filter/fir_filter.h"
#include "tests/engine/test_support.h"

namespace {

TEST(TapFile, NumbersAreReadUpToTheFirstLineWithoutOneAndUnusableFilesAreRefused)
{
    const std::string blanks(254, ' ');
    const struct {
        const char* name;
        std::string content;
        std::vector<float> taps;
        const wchar_t* error = nullptr; // "@" stands for the file's path
    } cases[] = {
        // clang-format off
        {"one tap per line, text after it", "0.5 0.75\n-0.25 x\n1e-3\n", {0.5f, -0.25f, 1e-3f}},
        {"a line without a number ends the taps", "0.5\n0.25\n# design notes\n1.0\n", {0.5f, 0.25f}},
        // 255 characters are one piece; the rest of the line is the next line.
        {"long line splits after 255 characters", "1" + blanks + "2.5\n3\n", {1.0f, 2.5f, 3.0f}},
        {"empty file", "", {}},
        {"UTF-8 byte-order mark", "\xEF\xBB\xBF-0.5\n0.25\n", {-0.5f, 0.25f}},
        {"NaN", "0.5\nnan\n", {}, L"ERROR:Filter tap is not a finite number. @ line 2\n"},
        {"infinity", "-inf\n", {}, L"ERROR:Filter tap is not a finite number. @ line 1\n"},
        {"too large for a float", "1\n1e40\n", {}, L"ERROR:Filter tap is not a finite number. @ line 2\n"},
        // Read as sscanf's "%f" reads them: signs, hex, rounding and range.
        {"signs and a leading point", "+0.5\n-.25\n", {0.5f, -0.25f}},
        {"hex float", "0x1p-2\n", {0.25f}},
        {"just above a float halfway", "1.00000005960464477539062500000001\n", {1.00000012f}},
        {"too small for a float", "1e-50\n0.5\n", {0.0f, 0.5f}},
        {"exponent without digits", "1e,5\n", {}, L"ERROR:Filter tap written with a decimal comma. @ line 1; trivandel-design -import converts such files.\n"},
        // Lines are numbered as an editor shows them, not by pieces, NUL bytes or not.
        {"NaN in the second piece of a line", "1" + blanks + "nan\n", {}, L"ERROR:Filter tap is not a finite number. @ line 1\n"},
        {"NaN after a NUL byte", std::string("0\0\nnan", 6), {}, L"ERROR:Filter tap is not a finite number. @ line 2\n"},
        {"values in a C array row", "0.5, 0.25,\n-1,\n", {0.5f, -1.0f}},
        {"REW text export", "* Impulse Response data saved by REW\t\x01\n0.5 // Peak value\n", {}, L"ERROR:No filter tap in @: its first line is not a number: \"* Impulse Response data saved by REW??\"\n"},
        {"blank first line", "\xEF\xBB\xBF\r\n0.5\n", {}, L"ERROR:No filter tap in @: its first line is not a number: \"\"\n"},
        {"decimal comma", "0.5\n-0,000123\n", {}, L"ERROR:Filter tap written with a decimal comma. @ line 2; trivandel-design -import converts such files.\n"},
        {"UTF-16 little-endian", std::string("\xFF\xFE" "1\0\n\0", 6), {}, L"ERROR:Tap file is UTF-16 text; save it as ANSI or UTF-8. @\n"},
        {"UTF-16 big-endian", std::string("\xFE\xFF\0" "1\0\n", 6), {}, L"ERROR:Tap file is UTF-16 text; save it as ANSI or UTF-8. @\n"},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        TapList list;
        ConsoleCapture console;
        const std::string path = dir.WriteFile("FIR_LPF.txt", c.content);
        if (c.error != nullptr) {
            std::wstring error = c.error;
            error.replace(error.find(L'@'), 1, Wide(path));
            EXPECT_FALSE(ReadTapFile(path.c_str(), &list));
            EXPECT_EQ(console.Text(), error);
            continue;
        }
        ASSERT_TRUE(ReadTapFile(path.c_str(), &list));
        EXPECT_EQ(console.Text(), L"");
        EXPECT_EQ(std::vector<float>(list.values, list.values + list.count), c.taps);
    }
}

TEST(TapTable, EachFileFillsItsBandAndTheFirstUsableFileSetsTheLengthOthersMustMatch)
{
    const struct {
        const char* lpf; // nullptr: no such file
        std::vector<float> table;
        const wchar_t* lines;
    } cases[] = {
        // All three are read, so every bad file is reported; a missing file
        // leaves the length to the next one.
        {nullptr,
         {0, 1, 3, 0, 0, 2, 4, 0, 0, 0, 0, 0},
         L"ERROR:failed to open file. FIR_LPF.txt\n"},
        {"5\n6\n7\n",
         {5, 0, 0, 0, 6, 0, 0, 0, 7, 0, 0, 0, 0, 0, 0, 0},
         L"ERROR:Size of filter tap of LPF and HPF doesn't mutch. FIR_BPF.txt\n"
         L"ERROR:Size of filter tap of LPF and HPF doesn't mutch. FIR_HPF.txt\n"},
    };
    for (const auto& c : cases) {
        TempDir dir;
        WorkingFolder here(dir.path);
        if (c.lpf != nullptr)
            dir.WriteFile("FIR_LPF.txt", c.lpf);
        dir.WriteFile("FIR_BPF.txt", "1\n2\n");
        dir.WriteFile("FIR_HPF.txt", "3\n4\n");
        CFIRFilter f;
        ConsoleCapture console;
        EXPECT_FALSE(f.LoadTapFiles());
        EXPECT_EQ(console.Text(), c.lines);
        // tap_count entries and the zeroed one past them
        EXPECT_EQ(std::vector<float>(f.taps, f.taps + 4 * (f.tap_count + 1)), c.table);
    }
}

} // namespace
