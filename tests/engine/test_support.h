// Helpers shared by the engine tests: temporary folders and aligned blocks.
#pragma once

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>

#include "base/aligned_memory.h"
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
