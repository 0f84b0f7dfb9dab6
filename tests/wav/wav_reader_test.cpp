// The WAVE reader on files built byte by byte: each sample width and kind,
// the extensible header, chunks it skips, and data cut short.
#include <cstdio>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "wav/wav_file.h"

namespace {

using Bytes = std::vector<uint8_t>;

void Put(Bytes* b, uint32_t value, int size)
{
    for (int i = 0; i < size; ++i)
        b->push_back(static_cast<uint8_t>(value >> 8 * i));
}

void Chunk(Bytes* b, const char* id, const Bytes& body, uint32_t size)
{
    b->insert(b->end(), id, id + 4);
    Put(b, size, 4);
    b->insert(b->end(), body.begin(), body.end());
}

// A file of `channels` at 8 kHz whose data chunk claims `data_size` bytes.
Bytes Wave(uint16_t tag, uint16_t channels, uint16_t bits, bool extensible, const Bytes& data,
           uint32_t data_size)
{
    Bytes fmt;
    Put(&fmt, extensible ? 0xFFFE : tag, 2);
    Put(&fmt, channels, 2);
    Put(&fmt, 8000, 4);
    Put(&fmt, 8000u * channels * bits / 8, 4);
    Put(&fmt, channels * bits / 8, 2);
    Put(&fmt, bits, 2);
    if (extensible) {
        Put(&fmt, 22, 2);
        Put(&fmt, bits, 2);
        Put(&fmt, 0, 4);
        Put(&fmt, tag, 2); // the sub-format GUID's first two bytes
        const uint8_t rest[14] = {0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71};
        fmt.insert(fmt.end(), rest, rest + 14);
    }
    Bytes body = {'W', 'A', 'V', 'E'};
    Chunk(&body, "fmt ", fmt, static_cast<uint32_t>(fmt.size()));
    Chunk(&body, "LIST", {'o', 'd', 'd', 0}, 3); // odd size, one pad byte
    Chunk(&body, "data", data, data_size);
    Bytes file;
    Chunk(&file, "RIFF", body, static_cast<uint32_t>(body.size()));
    return file;
}

TEST(WavReader, ReadsEachSampleKindAndRefusesTheRest)
{
    const Bytes float_half = {0, 0, 0, 0x3F, 0, 0, 0, 0xBF}; // 0.5, -0.5
    const struct {
        const char* name;
        Bytes file;
        std::vector<float> samples; // empty: refused
    } cases[] = {
        {"8-bit", Wave(1, 1, 8, false, {0x80, 0xC0, 0x00}, 3), {0, 0.5f, -1}},
        {"16-bit stereo", Wave(1, 2, 16, false, {0, 0x40, 0, 0x80}, 4), {0.5f, -1}},
        {"24-bit", Wave(1, 1, 24, false, {0, 0, 0xC0, 0xFF, 0xFF, 0x7F}, 6), {-0.5f, 1 - 0x1p-23f}},
        {"32-bit", Wave(1, 1, 32, false, {0, 0, 0, 0x40}, 4), {0.5f}},
        {"float", Wave(3, 2, 32, false, float_half, 8), {0.5f, -0.5f}},
        {"extensible float", Wave(3, 1, 32, true, float_half, 8), {0.5f, -0.5f}},
        {"extensible 24-bit", Wave(1, 1, 24, true, {0, 0, 0x40}, 3), {0.5f}},
        {"data cut short", Wave(1, 1, 16, false, {0, 0x40, 0, 0xC0, 0}, 100), {0.5f, -0.5f}},
        {"size never patched", Wave(1, 1, 16, false, {0, 0x40}, 0xFFFFFFFF), {0.5f}},
        {"12-bit", Wave(1, 1, 12, false, {0, 0x40}, 2), {}},
        {"64-bit float", Wave(3, 1, 64, false, {0, 0, 0, 0, 0, 0, 0xE0, 0xBF}, 8), {-0.5f}},
        {"no data chunk", Bytes{'R', 'I', 'F', 'F', 4, 0, 0, 0, 'W', 'A', 'V', 'E'}, {}},
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
        EXPECT_EQ(reader.Rate(), 8000u);
        std::vector<float> read(c.samples.size() + 4);
        const size_t frames = reader.Read(read.data(), read.size() / reader.Channels());
        read.resize(frames * reader.Channels());
        EXPECT_EQ(read, c.samples);
    }
}

} // namespace
