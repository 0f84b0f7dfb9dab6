#include <cstring>
#include <gtest/gtest.h>
#include <ostream>
#include <string>
#include <vector>

#include "console.h"
#include "fir_filter.h"
#include "test_support.h"

namespace {

// Band column `band` of the first `count` table entries.
std::vector<float> Column(const CFIRFilter& f, uint32_t band, uint32_t count)
{
    std::vector<float> v;
    for (uint32_t k = 0; k < count; ++k)
        v.push_back(f.taps[4 * k + band]);
    return v;
}

TEST(FilterObject, ConstructionValues)
{
    CFIRFilter f;
    EXPECT_EQ(f.taps, nullptr);
    EXPECT_EQ(f.tap_count, 0u);
    EXPECT_EQ(f.GetTapCount(), 0u);
    EXPECT_EQ(f.buffer_msec, 1000u);
    EXPECT_EQ(f.attenuation, 0.8f);
    EXPECT_EQ(f.full_scale, 1.0f);
    EXPECT_EQ(f.mono_lfe, 1);
    EXPECT_EQ(f.divider_through, 0);
    EXPECT_EQ(f.taps_dirty, 1);
    EXPECT_EQ(f.storage, nullptr);
    EXPECT_EQ(f.capacity, 0u);
    EXPECT_EQ(f.write_pos, 0u);
    EXPECT_EQ(f.read_pos, 0u);
    EXPECT_EQ(f.mute_lfe + f.mute_low + f.mute_high, 0);
    EXPECT_EQ(f.sample_kind, kSampleKindNone);
    EXPECT_STREQ(kTapFileNames[0], "FIR_LPF.txt");
    EXPECT_STREQ(kTapFileNames[1], "FIR_BPF.txt");
    EXPECT_STREQ(kTapFileNames[2], "FIR_HPF.txt");
}

struct TapFileCase {
    const char* name;
    std::string content;
    std::vector<float> taps;
};

// Failure lines name the case instead of dumping its bytes.
void PrintTo(const TapFileCase& c, std::ostream* os)
{
    *os << c.name;
}

class TapFileParsing : public ::testing::TestWithParam<TapFileCase> {};

TEST_P(TapFileParsing, ReadsNumbersUpToTheFirstLineWithout)
{
    const TapFileCase& c = GetParam();
    TempDir dir;
    CFIRFilter f;
    ConsoleCapture console;
    ASSERT_TRUE(f.LoadTaps(dir.WriteFile("FIR_LPF.txt", c.content).c_str(), 0));
    EXPECT_EQ(console.Text(), L"");
    ASSERT_EQ(f.tap_count, c.taps.size());
    EXPECT_EQ(Column(f, 0, f.tap_count), c.taps);
}

std::string Blanks(size_t n)
{
    return std::string(n, ' ');
}

const TapFileCase kTapFileCases[] = {
    {"OneTapPerLine", "0.5\n-0.25\n1e-3\n", {0.5f, -0.25f, 1e-3f}},
    {"LeadingBlanksAndTrailingText", "  0.5 first\n\t-2 second\n", {0.5f, -2.0f}},
    {"CommentEndsTheTaps", "0.5\n0.25\n# design notes\n1.0\n", {0.5f, 0.25f}},
    {"EmptyLineEndsTheTaps", "1\n\n2\n", {1.0f}},
    {"SecondNumberOnALineIsIgnored", "0.25 0.5\n", {0.25f}},
    {"NoFinalNewline", "1\n2", {1.0f, 2.0f}},
    {"CarriageReturns", "1\r\n2\r\n", {1.0f, 2.0f}},
    // 255 characters are one piece; the rest of the line is the next line.
    {"LongLineSplitsAfter255Characters", "1" + Blanks(254) + "2.5\n3\n", {1.0f, 2.5f, 3.0f}},
    // Exactly 255 characters: the newline alone is the next, empty, line.
    {"LineOf255CharactersEndsTheTaps", "4" + Blanks(254) + "\n5\n", {4.0f}},
    {"EmptyFile", "", {}},
};

INSTANTIATE_TEST_SUITE_P(Files, TapFileParsing, ::testing::ValuesIn(kTapFileCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(TapTable, ThreeFilesFillTheirColumnsOfAZeroedAlignedTable)
{
    TempDir dir;
    std::string lpf, bpf, hpf;
    for (int k = 0; k < 255; ++k) {
        lpf += std::to_string(k + 1) + "\n";
        bpf += std::to_string(-(k + 1)) + "\n";
        hpf += std::to_string(1000 + k) + "\n";
    }
    CFIRFilter f;
    f.taps_dirty = 0;
    ASSERT_TRUE(f.LoadTaps(dir.WriteFile("FIR_LPF.txt", lpf).c_str(), 0));
    EXPECT_EQ(f.taps_dirty, 1);
    ASSERT_TRUE(f.LoadTaps(dir.WriteFile("FIR_BPF.txt", bpf).c_str(), 1));
    ASSERT_TRUE(f.LoadTaps(dir.WriteFile("FIR_HPF.txt", hpf).c_str(), 2));
    EXPECT_EQ(f.GetTapCount(), 255u);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(f.taps) % 32, 0u);
    for (uint32_t k = 0; k < 255; ++k) {
        EXPECT_EQ(f.taps[4 * k + 0], static_cast<float>(k + 1));
        EXPECT_EQ(f.taps[4 * k + 1], -static_cast<float>(k + 1));
        EXPECT_EQ(f.taps[4 * k + 2], static_cast<float>(1000 + k));
        EXPECT_EQ(f.taps[4 * k + 3], 0.0f);
    }
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(f.taps[4 * 255 + i], 0.0f) << "entry 255, float " << i;
}

TEST(TapTable, LengthMismatchNamesTheFileAndKeepsTheTable)
{
    TempDir dir;
    CFIRFilter f;
    ASSERT_TRUE(f.LoadTaps(dir.WriteFile("FIR_LPF.txt", "1\n2\n3\n").c_str(), 0));
    f.taps_dirty = 0;
    ConsoleCapture console;
    std::string bpf = dir.WriteFile("FIR_BPF.txt", "4\n5\n");
    EXPECT_FALSE(f.LoadTaps(bpf.c_str(), 1));
    std::wstring expected = L"ERROR:Size of filter tap of LPF and HPF doesn't mutch. " +
                            std::wstring(bpf.begin(), bpf.end()) + L"\n";
    EXPECT_EQ(console.Text(), expected);
    EXPECT_EQ(f.tap_count, 3u);
    EXPECT_EQ(Column(f, 1, 3), (std::vector<float>{0, 0, 0}));
    EXPECT_EQ(f.taps_dirty, 0);
}

TEST(TapTable, MissingFilePrintsTheOpenErrorAndTheNextFileSetsTheLength)
{
    TempDir dir;
    CFIRFilter f;
    ConsoleCapture console;
    std::string missing = dir.PathOf("FIR_LPF.txt");
    EXPECT_FALSE(f.LoadTaps(missing.c_str(), 0));
    EXPECT_EQ(console.Text(), L"ERROR:failed to open file. " +
                                  std::wstring(missing.begin(), missing.end()) + L"\n");
    EXPECT_EQ(f.taps, nullptr);

    console.Clear();
    EXPECT_TRUE(f.LoadTaps(dir.WriteFile("FIR_BPF.txt", "1\n2\n").c_str(), 1));
    EXPECT_TRUE(f.LoadTaps(dir.WriteFile("FIR_HPF.txt", "3\n4\n").c_str(), 2));
    EXPECT_EQ(f.tap_count, 2u);
    EXPECT_EQ(console.Text(), L"");
}

TEST(TapTable, EmptyFirstFileMakesOneZeroEntryAndRequiresEmptyOthers)
{
    TempDir dir;
    CFIRFilter f;
    ASSERT_TRUE(f.LoadTaps(dir.WriteFile("FIR_LPF.txt", "").c_str(), 0));
    EXPECT_EQ(f.tap_count, 0u);
    ASSERT_NE(f.taps, nullptr);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(f.taps[i], 0.0f);
    EXPECT_TRUE(f.LoadTaps(dir.WriteFile("FIR_BPF.txt", "text\n").c_str(), 1));
    ConsoleCapture console;
    std::string hpf = dir.WriteFile("FIR_HPF.txt", "1\n");
    EXPECT_FALSE(f.LoadTaps(hpf.c_str(), 2));
    EXPECT_EQ(console.Text(), L"ERROR:Size of filter tap of LPF and HPF doesn't mutch. " +
                                  std::wstring(hpf.begin(), hpf.end()) + L"\n");
}

TEST(TapTable, BandAboveTwoIsRefusedSilently)
{
    TempDir dir;
    CFIRFilter f;
    ConsoleCapture console;
    EXPECT_FALSE(f.LoadTaps(dir.WriteFile("FIR_LPF.txt", "1\n").c_str(), 3));
    EXPECT_EQ(console.Text(), L"");
    EXPECT_EQ(f.taps, nullptr);
}

} // namespace
