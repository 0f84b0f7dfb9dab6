#include "fir_filter.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "aligned_memory.h"
#include "console.h"

const char* const kTapFileNames[3] = {"FIR_LPF.txt", "FIR_BPF.txt", "FIR_HPF.txt"};

namespace {

constexpr uint32_t kBands = 3;
constexpr uint32_t kEntryFloats = 4;

// The values of one tap file, in file order. Grows by doubling; a failed
// growth is reported to the caller, never thrown.
struct TapList {
    float* values = nullptr;
    size_t count = 0;
    size_t room = 0;

    ~TapList() { std::free(values); }

    bool Append(float value)
    {
        if (count == room) {
            size_t new_room = room == 0 ? 1024 : room * 2;
            void* grown = std::realloc(values, new_room * sizeof(float));
            if (grown == nullptr)
                return false;
            values = static_cast<float*>(grown);
            room = new_room;
        }
        values[count++] = value;
        return true;
    }
};

// Reads taps up to the first line without a number. Lines are taken in
// pieces of at most 255 characters, so the rest of a longer line counts as
// the next line. False after printing why the file cannot be used: text in
// UTF-16, or a tap that is not a finite number (a NaN or infinite tap would
// put full-scale noise or DC on the outputs).
bool ReadTapFile(FILE* file, const char* path, TapList* list)
{
    char line[256] = {};
    unsigned line_number = 1;
    for (bool first = true; std::fgets(line, sizeof(line), file) != nullptr; first = false) {
        const char* text = line;
        if (first) {
            const auto* bytes = reinterpret_cast<const unsigned char*>(line);
            if ((bytes[0] == 0xFF && bytes[1] == 0xFE) || (bytes[0] == 0xFE && bytes[1] == 0xFF)) {
                ConsolePrint(L"ERROR:Tap file is UTF-16 text; save it as ANSI or UTF-8. %s\n",
                             path);
                return false;
            }
            // Editors on Windows start UTF-8 files with a byte-order mark.
            if (bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF)
                text += 3;
        }
        float value;
        if (std::sscanf(text, "%f", &value) != 1)
            break;
        if (!std::isfinite(value)) {
            ConsolePrint(L"ERROR:Filter tap is not a finite number. %s line %u\n", path,
                         line_number);
            return false;
        }
        if (!list->Append(value)) {
            ConsolePrint(L"ERROR:Not enough memory for filter taps. %s\n", path);
            return false;
        }
        // A piece without its line end is the start of a longer line. The
        // whole buffer is searched (and cleared for the next piece): a NUL
        // byte in the line must not hide its end.
        if (std::memchr(line, '\n', sizeof(line)) != nullptr)
            ++line_number;
        std::memset(line, 0, sizeof(line));
    }
    return true;
}

} // namespace

CFIRFilter::CFIRFilter()
    : taps(nullptr), attenuation(0.8f), full_scale(1.0f), mono_lfe(1), divider_through(0),
      taps_dirty(1)
{
}

CFIRFilter::~CFIRFilter()
{
    AlignedFree(taps);
    taps = nullptr;
}

uint32_t CFIRFilter::GetTapCount() const
{
    return tap_count;
}

bool CFIRFilter::LoadTaps(const char* path, uint32_t band)
{
    if (band >= kBands)
        return false;

    FILE* file = std::fopen(path, "r");
    if (file == nullptr) {
        ConsolePrint(L"ERROR:failed to open file. %s\n", path);
        return false;
    }
    TapList list;
    bool read = ReadTapFile(file, path, &list);
    std::fclose(file);
    if (!read)
        return false;

    if (tap_count == 0 && taps == nullptr) {
        // The first file fixes the length of all three bands. One zeroed
        // entry more than taps, and every fourth float zero: the kernel
        // loads whole entries.
        if (list.count >= UINT32_MAX) {
            ConsolePrint(L"ERROR:Not enough memory for filter taps. %s\n", path);
            return false;
        }
        size_t bytes = (list.count + 1) * kEntryFloats * sizeof(float);
        taps = static_cast<float*>(AlignedAlloc(bytes));
        if (taps == nullptr) {
            ConsolePrint(L"ERROR:Not enough memory for filter taps. %s\n", path);
            return false;
        }
        std::memset(taps, 0, bytes);
        tap_count = static_cast<uint32_t>(list.count);
    } else if (list.count != tap_count) {
        ConsolePrint(L"ERROR:Size of filter tap of LPF and HPF doesn't mutch. %s\n", path);
        return false;
    }

    for (uint32_t k = 0; k < tap_count; ++k)
        taps[static_cast<size_t>(k) * kEntryFloats + band] = list.values[k];
    taps_dirty = 1;
    return true;
}

bool CFIRFilter::LoadTapFiles()
{
    bool loaded = true;
    for (uint32_t band = 0; band < kBands; ++band) {
        if (!LoadTaps(kTapFileNames[band], band))
            loaded = false;
    }
    return loaded;
}

float CFIRFilter::OutputFullScale() const
{
    if (sample_kind == kSampleKindPcm16)
        return 32767.0f;
    if (sample_kind == kSampleKindPcm24)
        return 2147483648.0f;
    return full_scale;
}

bool CFIRFilter::CheckScaledTaps() const
{
    // The very products ReadData makes, so the answer holds for its taps.
    const float gain = attenuation * OutputFullScale();
    bool finite = std::isfinite(gain);
    for (size_t k = 0; finite && taps != nullptr && k < tap_count; ++k)
        for (size_t b = 0; b < kBands; ++b)
            finite = finite && std::isfinite(taps[k * kEntryFloats + b] * gain);
    if (!finite)
        ConsolePrint(L"ERROR:The attenuation makes the filter taps infinite or NaN. "
                     L"(-attenuation %f)\n",
                     static_cast<double>(attenuation));
    return finite;
}
