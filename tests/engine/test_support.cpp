#include "test_support.h"

#include <atomic>
#include <fstream>
#include <random>

#include "aligned_memory.h"
#include "console.h"

namespace {

std::wstring g_console_text;

void AppendToCapture(const wchar_t* text)
{
    g_console_text += text;
}

} // namespace

ConsoleCapture::ConsoleCapture()
{
    g_console_text.clear();
    SetConsoleSink(AppendToCapture);
}

ConsoleCapture::~ConsoleCapture()
{
    SetConsoleSink(nullptr);
}

std::wstring ConsoleCapture::Text() const
{
    return g_console_text;
}

void ConsoleCapture::Clear()
{
    g_console_text.clear();
}

TempDir::TempDir()
{
    static std::atomic<unsigned> serial{0};
    std::random_device seed;
    std::error_code ec;
    std::filesystem::path base = std::filesystem::temp_directory_path(ec);
    path_ = base / ("trivandel_test_" + std::to_string(seed()) + "_" + std::to_string(serial++));
    std::filesystem::create_directories(path_, ec);
}

TempDir::~TempDir()
{
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::string TempDir::PathOf(const std::string& name) const
{
    return (path_ / name).string();
}

std::string TempDir::WriteFile(const std::string& name, const std::string& content) const
{
    std::string path = PathOf(name);
    std::ofstream file(path, std::ios::binary);
    file << content;
    return path;
}

AlignedFloats::AlignedFloats(size_t count)
    : data_(static_cast<float*>(AlignedAlloc(count * sizeof(float))))
{
}

AlignedFloats::~AlignedFloats()
{
    AlignedFree(data_);
}

WaveFormat ExtensibleFormat(uint16_t channels, uint32_t rate, uint16_t bits,
                            const WaveFormatGuid& sub_format)
{
    WaveFormat f{};
    f.format_tag = kWaveFormatExtensible;
    f.channels = channels;
    f.samples_per_sec = rate;
    f.block_align = static_cast<uint16_t>(channels * bits / 8);
    f.avg_bytes_per_sec = rate * f.block_align;
    f.bits_per_sample = bits;
    f.extra_size = 22;
    f.valid_bits_per_sample = bits;
    f.channel_mask = 0;
    f.sub_format = sub_format;
    return f;
}

WaveFormat PlainFormat(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits)
{
    WaveFormat f{};
    f.format_tag = tag;
    f.channels = channels;
    f.samples_per_sec = rate;
    f.block_align = static_cast<uint16_t>(channels * bits / 8);
    f.avg_bytes_per_sec = rate * f.block_align;
    f.bits_per_sample = bits;
    f.extra_size = 0;
    // What lies behind a plain format in memory must not be taken over.
    f.valid_bits_per_sample = 0xBEEF;
    f.channel_mask = 0xDEADBEEF;
    f.sub_format = kSubtypeFloat;
    return f;
}
