#include "fir_filter.h"

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
// the next line.
bool ReadTapFile(FILE* file, TapList* list)
{
    char line[256];
    while (std::fgets(line, sizeof(line), file) != nullptr) {
        float value;
        if (std::sscanf(line, "%f", &value) != 1)
            break;
        if (!list->Append(value))
            return false;
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
    bool read = ReadTapFile(file, &list);
    std::fclose(file);
    if (!read) {
        ConsolePrint(L"ERROR:Not enough memory for filter taps. %s\n", path);
        return false;
    }

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
