// Helpers shared by the engine tests: console capture, temporary folders,
// aligned blocks and wave formats.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "wave_format.h"

// Collects everything printed through the console while it lives.
class ConsoleCapture {
public:
    ConsoleCapture();
    ~ConsoleCapture();
    ConsoleCapture(const ConsoleCapture&) = delete;
    ConsoleCapture& operator=(const ConsoleCapture&) = delete;
    std::wstring Text() const;
    void Clear();
};

// A fresh folder under the system's temporary folder, removed with its files.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    // Writes `content` byte for byte and returns the file's path.
    std::string WriteFile(const std::string& name, const std::string& content) const;
    std::string PathOf(const std::string& name) const;

private:
    std::filesystem::path path_;
};

// A 32-byte aligned block of floats, like the filter's own storage.
class AlignedFloats {
public:
    explicit AlignedFloats(size_t count);
    ~AlignedFloats();
    AlignedFloats(const AlignedFloats&) = delete;
    AlignedFloats& operator=(const AlignedFloats&) = delete;
    float* data() { return data_; }
    float& operator[](size_t i) { return data_[i]; }

private:
    float* data_;
};

// Extensible format; block alignment = channels * bits / 8.
WaveFormat ExtensibleFormat(uint16_t channels, uint32_t rate, uint16_t bits,
                            const WaveFormatGuid& sub_format);
// Plain format (format tag given), extra size 0.
WaveFormat PlainFormat(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits);

inline std::vector<uint8_t> AsBytes(const std::vector<float>& samples)
{
    const auto* p = reinterpret_cast<const uint8_t*>(samples.data());
    return std::vector<uint8_t>(p, p + samples.size() * sizeof(float));
}
