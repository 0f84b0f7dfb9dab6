// The WAVE reader on files built byte by byte: each sample width and kind,
// the extensible header, chunks it skips, and data cut short; the writer's
// file read back while it is still being written.
#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "tests/engine/test_support.h"
#include "wav/wav_file.h"

namespace {

TEST(WavReader, ReadsEachSampleKindAndRefusesTheRest)
{
    const std::string float_half = BytesOf(std::vector<float>{0.5f, -0.5f});
    const struct {
        const char* name;
        std::string file;
        std::vector<float> samples; // empty: refused
    } cases[] = {
        // clang-format off
        {"8-bit", WaveFile(1, 8, 1, std::string("\x80\xC0\0", 3)), {0, 0.5f, -1}},
        {"16-bit stereo", WaveFile(1, 16, 2, std::string("\0\x40\0\x80", 4)), {0.5f, -1}},
        {"24-bit", WaveFile(1, 24, 1, std::string("\0\0\xC0\xFF\xFF\x7F", 6)), {-0.5f, 1 - 0x1p-23f}},
        {"32-bit", WaveFile(1, 32, 1, std::string("\0\0\0\x40", 4)), {0.5f}},
        {"float", WaveFile(3, 32, 2, float_half), {0.5f, -0.5f}},
        {"extensible float", WaveFile(3, 32, 1, float_half, true), {0.5f, -0.5f}},
        {"extensible 24-bit", WaveFile(1, 24, 1, std::string("\0\0\x40", 3), true), {0.5f}},
        {"data cut short", WaveFile(1, 16, 1, std::string("\0\x40\0\xC0\0", 5), false, 100), {0.5f, -0.5f}},
        {"size never patched", WaveFile(1, 16, 1, std::string("\0\x40", 2), false, 0xFFFFFFFF), {0.5f}},
        {"12-bit", WaveFile(1, 12, 1, std::string("\0\x40", 2)), {}},
        {"64-bit float", WaveFile(3, 64, 1, BytesOf(std::vector<double>{-0.5})), {-0.5f}},
        {"no data chunk", std::string("RIFF\4\0\0\0WAVE", 12), {}},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::FILE* file = std::tmpfile();
        ASSERT_NE(file, nullptr);
        ASSERT_EQ(std::fwrite(c.file.data(), 1, c.file.size(), file), c.file.size());
        CWavReader reader;
        std::string error;
        if (!reader.Open(file, "test.wav", &error)) {
            EXPECT_TRUE(c.samples.empty());
            EXPECT_EQ(error.rfind("test.wav", 0), 0u) << error;
            continue;
        }
        ASSERT_FALSE(c.samples.empty());
        EXPECT_EQ(reader.Rate(), 48000u);
        std::vector<float> read(c.samples.size() + 4);
        const size_t frames = reader.Read(read.data(), read.size() / reader.Channels());
        read.resize(frames * reader.Channels());
        EXPECT_EQ(read, c.samples);
    }
}

// The header must follow every block, and the blocks must land behind it.
TEST(WavWriter, FileReadsWholeAfterEveryBlock)
{
    const auto path = std::filesystem::temp_directory_path() / "trivandel_wav_writer_test.wav";
    std::vector<float> expected;
    {
        CWavWriter writer;
        ASSERT_TRUE(writer.Open(path, 48000, 1, 16));
        const int16_t blocks[] = {0x4000, -0x8000, 0x2000};
        for (const int16_t sample : blocks) {
            ASSERT_TRUE(writer.Append(reinterpret_cast<const uint8_t*>(&sample), 2));
            expected.push_back(sample / 32768.0f);
            WavSignal read;
            std::string error;
            ASSERT_TRUE(ReadWav(path, &read, &error)) << error;
            EXPECT_EQ(read.samples, expected);
        }
    }
    std::filesystem::remove(path);
}

} // namespace
