// Helpers shared by the tests: temporary folders, aligned blocks and WAVE files.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "base/aligned_memory.h"
#include "engine/kernels/resample.h"
#include "tests/console_capture.h"

// A fresh folder under the system's temporary folder, removed with its files.
struct TempDir {
    const std::filesystem::path path = std::filesystem::temp_directory_path() /
                                       ("trivandel_test_" + std::to_string(std::random_device{}()));
    TempDir() { std::filesystem::create_directories(path); }
    ~TempDir()
    {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
    std::string PathOf(const std::string& name) const { return (path / name).string(); }
    // Writes `content` byte for byte and returns the file's path.
    std::string WriteFile(const std::string& name, const std::string& content) const
    {
        std::ofstream(PathOf(name), std::ios::binary) << content;
        return PathOf(name);
    }
};

// Makes `folder` the working folder, where the program reads its tap files,
// until it goes out of scope.
class WorkingFolder {
public:
    explicit WorkingFolder(const std::filesystem::path& folder)
    {
        std::filesystem::current_path(folder);
    }
    ~WorkingFolder() { std::filesystem::current_path(previous_); }

private:
    const std::filesystem::path previous_ = std::filesystem::current_path();
};

inline std::wstring Wide(const std::string& s)
{
    return std::wstring(s.begin(), s.end());
}

// The resampler's step for a clock `ppm` fast.
inline uint64_t StepOf(double ppm)
{
    return kOneFrame + static_cast<uint64_t>(std::llround(ppm * 1e-6 * 4294967296.0));
}

// A zeroed 32-byte aligned block of floats, like the filter's own storage.
struct AlignedDeleter {
    void operator()(float* p) const { AlignedFree(p); }
};
using AlignedFloats = std::unique_ptr<float[], AlignedDeleter>;
inline AlignedFloats MakeAlignedFloats(size_t count)
{
    AlignedFloats block(static_cast<float*>(AlignedAlloc(count * sizeof(float))));
    std::memset(block.get(), 0, count * sizeof(float));
    return block;
}

// A WAVE file at 48 kHz whose data chunk claims `data_size` bytes (-1: all
// of `data`), after a chunk of odd size and its pad byte.
inline std::string WaveFile(uint16_t tag, uint16_t bits, uint16_t channels, const std::string& data,
                            bool extensible = false, int64_t data_size = -1)
{
    auto u16 = [](uint32_t v) { return std::string{char(v), char(v >> 8)}; };
    auto u32 = [&](uint64_t v) { return u16(v & 0xFFFF) + u16(static_cast<uint32_t>(v >> 16)); };
    const uint16_t align = channels * bits / 8;
    std::string fmt = u16(extensible ? 0xFFFE : tag) + u16(channels) + u32(48000) +
                      u32(48000 * align) + u16(align) + u16(bits);
    if (extensible) // the sub-format GUID starts with the tag
        fmt += u16(22) + u16(bits) + u32(0) + u16(tag) +
               std::string("\x00\x00\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71", 14);
    const std::string body = "WAVEfmt " + u32(fmt.size()) + fmt + "LIST" + u32(3) +
                             std::string("odd\0", 4) + "data" +
                             u32(data_size < 0 ? data.size() : uint64_t(data_size)) + data;
    return "RIFF" + u32(body.size()) + body;
}

// Little-endian bytes of values.
template <class T> std::string BytesOf(const std::vector<T>& v)
{
    return std::string(reinterpret_cast<const char*>(v.data()), v.size() * sizeof(T));
}
