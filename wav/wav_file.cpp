#include "wav/wav_file.h"

#include <bit>
#include <cstring>

#include "base/wave_format.h"

static_assert(std::endian::native == std::endian::little,
              "the fmt chunk is written from the bytes of a little-endian record");

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

void Put32(uint8_t* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> 8 * i);
}

std::FILE* OpenFile(const std::filesystem::path& path, const char* mode)
{
#ifdef _WIN32
    const std::wstring wide(mode, mode + std::strlen(mode));
    return _wfopen(path.c_str(), wide.c_str());
#else
    return std::fopen(path.c_str(), mode);
#endif
}

// 64-bit positions: a long file must not stop at 2 GB where long is 32 bits.
bool Seek(std::FILE* file, uint64_t pos)
{
#ifdef _WIN32
    return _fseeki64(file, static_cast<__int64>(pos), SEEK_SET) == 0;
#else
    return fseeko(file, static_cast<off_t>(pos), SEEK_SET) == 0;
#endif
}

uint64_t FileSize(std::FILE* file)
{
#ifdef _WIN32
    const __int64 size = _fseeki64(file, 0, SEEK_END) == 0 ? _ftelli64(file) : -1;
#else
    const off_t size = fseeko(file, 0, SEEK_END) == 0 ? ftello(file) : -1;
#endif
    return size < 0 ? 0 : static_cast<uint64_t>(size);
}

constexpr uint16_t kTagPcm = 1;
constexpr uint16_t kTagFloat = 3;

float Sample(const uint8_t* p, uint16_t tag, uint16_t bits)
{
    if (tag == kTagFloat && bits == 64) {
        double d;
        std::memcpy(&d, p, sizeof(d));
        return static_cast<float>(d);
    }
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
    CWavReader reader;
    if (!reader.Open(path, error))
        return false;
    signal->rate = reader.Rate();
    signal->channels = reader.Channels();
    signal->samples.resize(reader.Frames() * reader.Channels());
    const size_t read = reader.Read(signal->samples.data(), reader.Frames());
    signal->samples.resize(read * reader.Channels());
    return true;
}

CWavReader::~CWavReader()
{
    if (file_)
        std::fclose(file_);
}

bool CWavReader::Open(const std::filesystem::path& path, std::string* error)
{
    std::FILE* file = OpenFile(path, "rb");
    if (!file) {
        *error = "cannot open " + path.string();
        return false;
    }
    return Open(file, path.string(), error);
}

bool CWavReader::Open(std::FILE* file, const std::string& name, std::string* error)
{
    if (file_)
        std::fclose(file_);
    file_ = file;
    const uint64_t size = FileSize(file_);
    uint8_t riff[12];
    if (size < 12 || !Seek(file_, 0) || std::fread(riff, 1, 12, file_) != 12 ||
        std::memcmp(riff, "RIFF", 4) != 0 || std::memcmp(riff + 8, "WAVE", 4) != 0) {
        *error = name + " is not a RIFF WAVE file";
        return false;
    }
    uint16_t tag = 0;
    uint64_t data_pos = 0, data_bytes = 0;
    bool has_data = false;
    for (uint64_t pos = 12; pos + 8 <= size;) {
        uint8_t chunk[8 + 40]; // header and the longest format body read
        if (!Seek(file_, pos) || std::fread(chunk, 1, 8, file_) != 8)
            break;
        uint64_t chunk_size = U32(chunk + 4);
        const uint64_t available = size - pos - 8;
        if (chunk_size > available)
            chunk_size = available; // a header never patched: take what is there
        if (std::memcmp(chunk, "fmt ", 4) == 0 && chunk_size >= 16) {
            const size_t body = chunk_size < 40 ? static_cast<size_t>(chunk_size) : 40;
            if (std::fread(chunk + 8, 1, body, file_) != body)
                break;
            tag = U16(chunk + 8);
            channels_ = U16(chunk + 10);
            rate_ = U32(chunk + 12);
            block_align_ = U16(chunk + 20);
            bits_ = U16(chunk + 22);
            if (tag == kWaveFormatExtensible && body >= 40)
                tag = U16(chunk + 8 + 24); // first two bytes of the sub-format GUID
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            data_pos = pos + 8;
            data_bytes = chunk_size;
            has_data = true;
        }
        pos += 8 + chunk_size + (chunk_size & 1);
    }
    const bool usable =
        (tag == kTagPcm && (bits_ == 8 || bits_ == 16 || bits_ == 24 || bits_ == 32)) ||
        (tag == kTagFloat && (bits_ == 32 || bits_ == 64));
    if (!has_data || !usable || channels_ == 0 || rate_ == 0 ||
        block_align_ != channels_ * bits_ / 8) {
        *error = name + ": only 8/16/24/32-bit PCM or 32/64-bit float WAVE is read";
        return false;
    }
    tag_ = tag;
    frames_ = data_bytes / block_align_;
    left_ = Seek(file_, data_pos) ? frames_ : 0;
    return true;
}

size_t CWavReader::Read(float* out, size_t frames)
{
    if (frames > left_)
        frames = static_cast<size_t>(left_);
    if (frames == 0)
        return 0;
    size_t read;
    if (tag_ == kTagFloat && bits_ == 32) {
        // The samples are the floats themselves: read in place.
        read = std::fread(out, block_align_, frames, file_);
    } else {
        bytes_.resize(frames * block_align_);
        read = std::fread(bytes_.data(), block_align_, frames, file_);
        const size_t width = bits_ / 8u;
        for (size_t i = 0; i < read * channels_; ++i)
            out[i] = Sample(bytes_.data() + i * width, tag_, bits_);
    }
    left_ = read < frames ? 0 : left_ - read;
    return read;
}

CWavWriter::~CWavWriter()
{
    Close();
}

void CWavWriter::Close()
{
    if (header_)
        std::fclose(header_);
    if (file_)
        std::fclose(file_);
    header_ = nullptr;
    file_ = nullptr;
}

bool CWavWriter::Open(const std::filesystem::path& path, uint32_t rate, uint16_t channels,
                      uint16_t bits)
{
    Close();
    rate_ = rate;
    channels_ = channels;
    bits_ = bits;
    data_bytes_ = 0;
    file_ = OpenFile(path, "wb");
    header_ = file_ ? OpenFile(path, "r+b") : nullptr;
    // The data handle starts behind the header that the other one wrote.
    if (!header_ || std::setvbuf(file_, nullptr, _IONBF, 0) != 0 ||
        std::setvbuf(header_, nullptr, _IONBF, 0) != 0 || !WriteHeader() ||
        std::fseek(file_, 0, SEEK_END) != 0) {
        Close();
        return false;
    }
    return true;
}

bool CWavWriter::Matches(uint32_t rate, uint16_t channels, uint16_t bits) const
{
    return rate == rate_ && channels == channels_ && bits == bits_;
}

// A plain PCM header (format tag 1) for mono or stereo 8/16-bit, which
// every reader accepts; else an extensible one (tag 0xFFFE, sub-format PCM,
// valid bits = bits). Its channel mask is 0: the divider's channels are
// bands, not speaker positions.
bool CWavWriter::WriteHeader()
{
    const bool extensible = channels_ > 2 || bits_ > 16;
    const uint32_t fmt_bytes = extensible ? 40 : 16;
    const uint32_t header_bytes = 20 + fmt_bytes + 8;
    uint8_t header[68] = {};
    const uint32_t most = 0xFFFFFFFFu - (header_bytes - 8);
    const uint32_t data_size = data_bytes_ > most ? most : static_cast<uint32_t>(data_bytes_);
    // The fmt chunk is the engine's format record, byte for byte (the
    // record is laid out as the platform's, little-endian): its plain part
    // or the whole extensible one.
    WaveFormat format = ExtensibleFormat(channels_, rate_, bits_, kSubtypePcm);
    if (!extensible)
        format.format_tag = kTagPcm;
    std::memcpy(header, "RIFF", 4);
    Put32(header + 4, header_bytes - 8 + data_size);
    std::memcpy(header + 8, "WAVEfmt ", 8);
    Put32(header + 16, fmt_bytes);
    std::memcpy(header + 20, &format, fmt_bytes);
    std::memcpy(header + header_bytes - 8, "data", 4);
    Put32(header + header_bytes - 4, data_size);
    return std::fseek(header_, 0, SEEK_SET) == 0 &&
           std::fwrite(header, 1, header_bytes, header_) == header_bytes;
}

bool CWavWriter::Append(const uint8_t* data, size_t bytes)
{
    if (!file_ || std::fwrite(data, 1, bytes, file_) != bytes)
        return false;
    data_bytes_ += bytes;
    return WriteHeader();
}
