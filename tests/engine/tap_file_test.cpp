#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "engine/filter/fir_filter.h"
#include "tests/engine/test_support.h"

namespace {

// The whole table: tap_count entries and the zeroed one past them.
std::vector<float> Table(const CFIRFilter& f)
{
    return std::vector<float>(f.taps, f.taps + 4 * (f.tap_count + 1));
}

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
        CFIRFilter f;
        ConsoleCapture console;
        const std::string path = dir.WriteFile("FIR_LPF.txt", c.content);
        if (c.error != nullptr) {
            std::wstring error = c.error;
            error.replace(error.find(L'@'), 1, Wide(path));
            EXPECT_FALSE(f.LoadTaps(path.c_str(), 0));
            EXPECT_EQ(console.Text(), error);
            EXPECT_EQ(f.taps, nullptr); // a later file fixes the length instead
            continue;
        }
        ASSERT_TRUE(f.LoadTaps(path.c_str(), 0));
        EXPECT_EQ(console.Text(), L"");
        std::vector<float> expected(4 * (c.taps.size() + 1), 0.0f);
        for (size_t k = 0; k < c.taps.size(); ++k)
            expected[4 * k] = c.taps[k];
        EXPECT_EQ(Table(f), expected);
    }
}

TEST(TapTable, MissingFileIsReportedAndTheNextFileSetsTheLengthOthersMustMatch)
{
    TempDir dir;
    CFIRFilter f;
    ConsoleCapture console;
    // A band above two is refused before anything is read or printed.
    EXPECT_FALSE(f.LoadTaps(dir.WriteFile("FIR_LPF.txt", "1\n").c_str(), 3));
    EXPECT_EQ(console.Text(), L"");

    const std::string missing = dir.PathOf("missing.txt");
    EXPECT_FALSE(f.LoadTaps(missing.c_str(), 0));
    EXPECT_EQ(console.Text(), L"ERROR:failed to open file. " + Wide(missing) + L"\n");
    EXPECT_EQ(f.taps, nullptr);

    // The band-pass file fixes the length; each file fills its own column.
    console.Clear();
    EXPECT_TRUE(f.LoadTaps(dir.WriteFile("FIR_BPF.txt", "1\n2\n").c_str(), 1));
    EXPECT_TRUE(f.LoadTaps(dir.WriteFile("FIR_HPF.txt", "3\n4\n").c_str(), 2));
    f.taps_dirty = 0;
    const std::string lpf = dir.WriteFile("FIR_LPF.txt", "5\n6\n7\n");
    EXPECT_FALSE(f.LoadTaps(lpf.c_str(), 0));
    EXPECT_EQ(console.Text(),
              L"ERROR:Size of filter tap of LPF and HPF doesn't mutch. " + Wide(lpf) + L"\n");
    EXPECT_EQ(Table(f), (std::vector<float>{0, 1, 3, 0, 0, 2, 4, 0, 0, 0, 0, 0}));
    EXPECT_EQ(f.taps_dirty, 0);
}

} // namespace
