// Just enough of the RIFF WAVE format for the demo program and the tap
// check: read a file into float frames, whole or block by block, and write
// integer PCM as it is produced. Portable: paths are std::filesystem paths
// (wide on Windows).
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

struct WavSignal {
    uint32_t rate = 0;
    uint16_t channels = 0;
    std::vector<float> samples; // interleaved, full scale = 1.0
};

// Reads 8/16/24/32-bit integer PCM or 32/64-bit float, plain or extensible.
// False with `error` set on anything else.
bool ReadWav(const std::filesystem::path& path, WavSignal* signal, std::string* error);

// The same formats, read block by block, so a long file never has to fit in
// memory.
class CWavReader {
public:
    CWavReader() = default;
    ~CWavReader();
    CWavReader(const CWavReader&) = delete;
    CWavReader& operator=(const CWavReader&) = delete;

    // Reads the header and stands at the first frame. False with `error` set.
    bool Open(const std::filesystem::path& path, std::string* error);
    // The same on a file already open for reading (a temporary or in-memory
    // one), which the reader then owns; `name` is what messages call it.
    bool Open(std::FILE* file, const std::string& name, std::string* error);
    uint32_t Rate() const { return rate_; }
    uint16_t Channels() const { return channels_; }
    uint64_t Frames() const { return frames_; }
    // Reads up to `frames` frames into `out` (room for frames * Channels()
    // floats, interleaved, full scale = 1.0); returns the frames read, fewer
    // only at the end of the data or of a truncated file.
    size_t Read(float* out, size_t frames);

private:
    std::FILE* file_ = nullptr;
    uint16_t tag_ = 0;
    uint16_t bits_ = 0;
    uint16_t block_align_ = 0;
    uint16_t channels_ = 0;
    uint32_t rate_ = 0;
    uint64_t frames_ = 0;
    uint64_t left_ = 0; // frames not read yet
    std::vector<uint8_t> bytes_;
};

// Integer PCM written as it arrives. The header is rewritten after every
// block, so the file is complete whenever the process ends. More than two
// channels or more than 16 bits get an extensible header, as WAVE readers
// expect for such files. The data and the header go through two unbuffered
// handles, so that a block costs a write of its bytes and a seek and a write
// of the header.
class CWavWriter {
public:
    CWavWriter() = default;
    ~CWavWriter();
    CWavWriter(const CWavWriter&) = delete;
    CWavWriter& operator=(const CWavWriter&) = delete;

    bool Open(const std::filesystem::path& path, uint32_t rate, uint16_t channels, uint16_t bits);
    bool IsOpen() const { return file_ != nullptr; }
    bool Matches(uint32_t rate, uint16_t channels, uint16_t bits) const;
    // `bytes` must be whole frames of the format given to Open.
    bool Append(const uint8_t* data, size_t bytes);

private:
    bool WriteHeader();
    void Close();

    std::FILE* file_ = nullptr;   // stays at the end of the data
    std::FILE* header_ = nullptr; // the same file, for the header
    uint32_t rate_ = 0;
    uint16_t channels_ = 0;
    uint16_t bits_ = 0;
    uint64_t data_bytes_ = 0;
};
