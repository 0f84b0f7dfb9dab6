// The file formats by their first bytes and extension: WAVE by its RIFF
// header, raw floats by .dbl, .bin or .pcm, anything else as text.
#include "design/importer.h"

#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>

#include "base/console.h"
#include "check/path_text.h"
#include "wav/wav_file.h"

namespace {

std::string Extension(const std::filesystem::path& path)
{
    std::string e = path.extension().string();
    for (char& c : e)
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c);
    return e;
}

template <class T>
bool ReadRaw(const std::string& bytes, const std::wstring& name, ImportedFilter* f)
{
    if (bytes.empty() || bytes.size() % sizeof(T) != 0) {
        ConsolePrint(L"ERROR:%ls holds %llu bytes: expected a whole number of %u-byte floats\n",
                     name.c_str(), static_cast<unsigned long long>(bytes.size()),
                     static_cast<unsigned>(sizeof(T)));
        return false;
    }
    f->impulse.resize(bytes.size() / sizeof(T));
    for (size_t n = 0; n < f->impulse.size(); ++n) {
        T value;
        std::memcpy(&value, bytes.data() + n * sizeof(T), sizeof(T)); // little-endian, as x86
        if (!std::isfinite(static_cast<float>(value))) {              // taps are floats
            ConsolePrint(L"ERROR:%ls value %llu is not a finite 32-bit float\n", name.c_str(),
                         static_cast<unsigned long long>(n + 1));
            return false;
        }
        f->impulse[n] = static_cast<float>(value);
    }
    return true;
}

bool ReadWave(const std::filesystem::path& path, ImportChannel channel, ImportedFilter* f)
{
    CWavReader reader;
    std::string error;
    const std::wstring name = PathText(path);
    if (!reader.Open(path, &error)) {
        ConsolePrint(L"ERROR:%ls: %s\n", name.c_str(), error.c_str());
        return false;
    }
    const uint16_t channels = reader.Channels();
    if (channels > 2 || (channels == 2 && channel == kOnlyChannel) ||
        (channels == 1 && channel == kRightChannel)) {
        ConsolePrint(L"ERROR:%ls has %u channels: expected mono, or stereo with -channel left "
                     L"or right\n",
                     name.c_str(), static_cast<unsigned>(channels));
        return false;
    }
    std::vector<float> frames(static_cast<size_t>(reader.Frames()) * channels);
    frames.resize(reader.Read(frames.data(), reader.Frames()) * channels);
    const size_t pick = channel == kRightChannel ? 1 : 0;
    for (size_t n = pick; n < frames.size(); n += channels) {
        if (!std::isfinite(frames[n])) {
            ConsolePrint(L"ERROR:%ls frame %llu is not a finite number\n", name.c_str(),
                         static_cast<unsigned long long>(n / channels + 1));
            return false;
        }
        f->impulse.push_back(frames[n]);
    }
    if (f->impulse.empty()) {
        ConsolePrint(L"ERROR:%ls holds no frames\n", name.c_str());
        return false;
    }
    f->format = channels == 1 ? L"WAVE, mono"
                : pick        ? L"WAVE, right channel"
                              : L"WAVE, left channel";
    f->rate = reader.Rate();
    return true;
}

} // namespace

bool ImportBytes(const std::string& bytes, const std::filesystem::path& name, ImportedFilter* f)
{
    const std::string extension = Extension(name);
    if (extension == ".dbl") {
        f->format = L"raw 64-bit floats";
        return ReadRaw<double>(bytes, PathText(name), f);
    }
    if (extension == ".bin" || extension == ".pcm") {
        f->format = L"raw 32-bit floats";
        return ReadRaw<float>(bytes, PathText(name), f);
    }
    return ImportText(bytes, PathText(name), f);
}

bool ImportFilter(const std::filesystem::path& path, ImportChannel channel, ImportedFilter* f)
{
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        ConsolePrint(L"ERROR:Cannot open %ls\n", PathText(path).c_str());
        return false;
    }
    char head[12] = {};
    file.read(head, sizeof(head));
    if (std::memcmp(head, "RIFF", 4) == 0 && std::memcmp(head + 8, "WAVE", 4) == 0)
        return ReadWave(path, channel, f);
    file.clear();
    file.seekg(0);
    const std::string bytes((std::istreambuf_iterator<char>(file)),
                            std::istreambuf_iterator<char>());
    return ImportBytes(bytes, path, f);
}
