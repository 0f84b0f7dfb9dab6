#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "fir_filter.h"
#include "test_support.h"

namespace {

// The whole table: tap_count entries and the zeroed one past them.
std::vector<float> Table(const CFIRFilter& f)
{
    return std::vector<float>(f.taps, f.taps + 4 * (f.tap_count + 1));
}

TEST(TapFile, NumbersAreReadUpToTheFirstLineWithoutAndFixTheLengthOfTheOthers)
{
    const std::string blanks(254, ' ');
    const struct {
        const char* name;
        std::string content;
        std::vector<float> taps;
    } cases[] = {
        {"one tap per line", "0.5\n-0.25\n1e-3\n", {0.5f, -0.25f, 1e-3f}},
        {"leading blanks, trailing text", "  0.5 first\n\t-2 second\n", {0.5f, -2.0f}},
        {"comment ends the taps", "0.5\n0.25\n# design notes\n1.0\n", {0.5f, 0.25f}},
        {"empty line ends the taps", "1\n\n2\n", {1.0f}},
        {"second number on a line is ignored", "0.25 0.5\n", {0.25f}},
        {"no final newline", "1\n2", {1.0f, 2.0f}},
        {"carriage returns", "1\r\n2\r\n", {1.0f, 2.0f}},
        // 255 characters are one piece; the rest of the line is the next line.
        {"long line splits after 255 characters", "1" + blanks + "2.5\n3\n", {1.0f, 2.5f, 3.0f}},
        // Exactly 255 characters: the newline alone is the next, empty, line.
        {"line of 255 characters ends the taps", "4" + blanks + "\n5\n", {4.0f}},
        // No taps: one zero entry all the same.
        {"empty file", "", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        CFIRFilter f;
        ConsoleCapture console;
        ASSERT_TRUE(f.LoadTaps(dir.WriteFile("FIR_LPF.txt", c.content).c_str(), 0));
        EXPECT_EQ(console.Text(), L"");
        ASSERT_EQ(f.tap_count, c.taps.size());
        std::vector<float> expected(4 * (c.taps.size() + 1), 0.0f);
        for (size_t k = 0; k < c.taps.size(); ++k)
            expected[4 * k] = c.taps[k];
        EXPECT_EQ(Table(f), expected);
        // The first file's length holds for the other bands, even when 0.
        std::string one_more;
        for (size_t k = 0; k <= c.taps.size(); ++k)
            one_more += "1\n";
        const std::string bpf = dir.WriteFile("FIR_BPF.txt", one_more);
        EXPECT_FALSE(f.LoadTaps(bpf.c_str(), 1));
        EXPECT_EQ(console.Text(),
                  L"ERROR:Size of filter tap of LPF and HPF doesn't mutch. " + Wide(bpf) + L"\n");
    }
}

TEST(TapTable, ThreeFilesFillTheirColumnsOfAZeroedAlignedTable)
{
    TempDir dir;
    std::string files[3];
    std::vector<float> expected(4 * 256, 0.0f);
    for (int k = 0; k < 255; ++k) {
        const int values[3] = {k + 1, -(k + 1), 1000 + k};
        for (int band = 0; band < 3; ++band) {
            files[band] += std::to_string(values[band]) + "\n";
            expected[4 * k + band] = static_cast<float>(values[band]);
        }
    }
    CFIRFilter f;
    for (uint32_t band = 0; band < 3; ++band) {
        f.taps_dirty = 0;
        ASSERT_TRUE(f.LoadTaps(dir.WriteFile(kTapFileNames[band], files[band]).c_str(), band));
        EXPECT_EQ(f.taps_dirty, 1);
    }
    EXPECT_EQ(f.GetTapCount(), 255u);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(f.taps) % 32, 0u);
    EXPECT_EQ(Table(f), expected);
}

TEST(TapTable, MissingFileIsReportedAndTheNextFileSetsTheLengthOthersMustMatch)
{
    TempDir dir;
    CFIRFilter f;
    ConsoleCapture console;
    // A band above two is refused before anything is read or printed.
    EXPECT_FALSE(f.LoadTaps(dir.WriteFile("FIR_LPF.txt", "1\n").c_str(), 3));
    EXPECT_EQ(console.Text(), L"");
    EXPECT_EQ(f.taps, nullptr);

    const std::string missing = dir.PathOf("missing.txt");
    EXPECT_FALSE(f.LoadTaps(missing.c_str(), 0));
    EXPECT_EQ(console.Text(), L"ERROR:failed to open file. " + Wide(missing) + L"\n");
    EXPECT_EQ(f.taps, nullptr);

    console.Text().clear();
    EXPECT_TRUE(f.LoadTaps(dir.WriteFile("FIR_BPF.txt", "1\n2\n").c_str(), 1));
    f.taps_dirty = 0;
    const std::string hpf = dir.WriteFile("FIR_HPF.txt", "3\n4\n5\n");
    EXPECT_FALSE(f.LoadTaps(hpf.c_str(), 2));
    EXPECT_EQ(console.Text(),
              L"ERROR:Size of filter tap of LPF and HPF doesn't mutch. " + Wide(hpf) + L"\n");
    EXPECT_EQ(f.tap_count, 2u);
    EXPECT_EQ(Table(f), (std::vector<float>{0, 1, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(f.taps_dirty, 0);
}

} // namespace
