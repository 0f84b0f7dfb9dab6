#include "wav_file.h"

#include <cstring>

namespace {

uint16_t U16(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}
uint32_t U32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

void Put16(uint8_t* p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
void Put32(uint8_t* p, uint32_t v)
{
    Put16(p, v);
    Put16(p + 2, v >> 16);
}

std::FILE* OpenFile(const std::filesystem::path& path, bool write)
{
#ifdef _WIN32
    return _wfopen(path.c_str(), write ? L"wb" : L"rb");
#else
    return std::fopen(path.c_str(), write ? "wb" : "rb");
#endif
}

constexpr uint16_t kTagPcm = 1;
constexpr uint16_t kTagFloat = 3;
constexpr uint16_t kTagExtensible = 0xFFFE;

float Sample(const uint8_t* p, uint16_t tag, uint16_t bits)
{
    if (tag == kTagFloat) {
        float f;
        std::memcpy(&f, p, sizeof(f));
        return f;
    }
    switch (bits) {
    case 8:
        return (static_cast<int>(p[0]) - 128) / 128.0f;
    case 16:
        return static_cast<int16_t>(U16(p)) / 32768.0f;
    case 24: {
        // The three bytes into the top of 32 bits, then an arithmetic shift.
        const int32_t v = static_cast<int32_t>(static_cast<uint32_t>(p[0]) << 8 |
                                               static_cast<uint32_t>(p[1]) << 16 |
                                               static_cast<uint32_t>(p[2]) << 24) >>
                          8;
        return v / 8388608.0f;
    }
    default:
        return static_cast<int32_t>(U32(p)) / 2147483648.0f;
    }
}

} // namespace

bool ReadWav(const std::filesystem::path& path, WavSignal* signal, std::string* error)
{
    std::FILE* file = OpenFile(path, false);
    if (!file) {
        *error = "cannot open " + path.string();
        return false;
    }
    std::vector<uint8_t> bytes;
    uint8_t block[65536];
    size_t n;
    while ((n = std::fread(block, 1, sizeof(block), file)) > 0)
        bytes.insert(bytes.end(), block, block + n);
    std::fclose(file);

    if (bytes.size() < 12 || std::memcmp(bytes.data(), "RIFF", 4) != 0 ||
        std::memcmp(bytes.data() + 8, "WAVE", 4) != 0) {
        *error = path.string() + " is not a RIFF WAVE file";
        return false;
    }
    uint16_t tag = 0, channels = 0, bits = 0, block_align = 0;
    uint32_t rate = 0;
    const uint8_t* data = nullptr;
    size_t data_bytes = 0;
    for (size_t pos = 12; pos + 8 <= bytes.size();) {
        const uint8_t* chunk = bytes.data() + pos;
        size_t size = U32(chunk + 4);
        size_t available = bytes.size() - pos - 8;
        if (size > available)
            size = available; // a header never patched: take what is there
        if (std::memcmp(chunk, "fmt ", 4) == 0 && size >= 16) {
            tag = U16(chunk + 8);
            channels = U16(chunk + 10);
            rate = U32(chunk + 12);
            block_align = U16(chunk + 20);
            bits = U16(chunk + 22);
            if (tag == kTagExtensible && size >= 40)
                tag = U16(chunk + 8 + 24); // first two bytes of the sub-format GUID
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            data = chunk + 8;
            data_bytes = size;
        }
        pos += 8 + size + (size & 1);
    }
    const bool usable = (tag == kTagPcm && (bits == 8 || bits == 16 || bits == 24 || bits == 32)) ||
                        (tag == kTagFloat && bits == 32);
    if (!data || !usable || channels == 0 || rate == 0 || block_align != channels * bits / 8) {
        *error = path.string() + ": only 8/16/24/32-bit PCM or 32-bit float WAVE is read";
        return false;
    }
    signal->rate = rate;
    signal->channels = channels;
    const size_t frames = data_bytes / block_align;
    signal->samples.resize(frames * channels);
    for (size_t i = 0; i < frames * channels; ++i)
        signal->samples[i] = Sample(data + i * (bits / 8), tag, bits);
    return true;
}

CWavWriter::~CWavWriter()
{
    if (file_)
        std::fclose(file_);
}

bool CWavWriter::Open(const std::filesystem::path& path, uint32_t rate, uint16_t channels,
                      uint16_t bits)
{
    file_ = OpenFile(path, true);
    if (!file_)
        return false;
    rate_ = rate;
    channels_ = channels;
    bits_ = bits;
    data_bytes_ = 0;
    return WriteHeader();
}

bool CWavWriter::Matches(uint32_t rate, uint16_t channels, uint16_t bits) const
{
    return rate == rate_ && channels == channels_ && bits == bits_;
}

// A plain PCM header (format tag 1), which every reader accepts, also for
// six channels and 24 bits.
bool CWavWriter::WriteHeader()
{
    uint8_t header[44];
    const uint32_t data_size =
        data_bytes_ > 0xFFFFFFFFull - 36 ? 0xFFFFFFFFu - 36 : static_cast<uint32_t>(data_bytes_);
    const uint32_t block_align = channels_ * bits_ / 8u;
    std::memcpy(header, "RIFF", 4);
    Put32(header + 4, 36 + data_size);
    std::memcpy(header + 8, "WAVEfmt ", 8);
    Put32(header + 16, 16);
    Put16(header + 20, kTagPcm);
    Put16(header + 22, channels_);
    Put32(header + 24, rate_);
    Put32(header + 28, rate_ * block_align);
    Put16(header + 32, block_align);
    Put16(header + 34, bits_);
    std::memcpy(header + 36, "data", 4);
    Put32(header + 40, data_size);
    if (std::fseek(file_, 0, SEEK_SET) != 0 || std::fwrite(header, 1, 44, file_) != 44)
        return false;
    return std::fseek(file_, 0, SEEK_END) == 0;
}

bool CWavWriter::Append(const uint8_t* data, size_t bytes)
{
    if (!file_ || std::fwrite(data, 1, bytes, file_) != bytes)
        return false;
    data_bytes_ += bytes;
    return WriteHeader() && std::fflush(file_) == 0;
}
