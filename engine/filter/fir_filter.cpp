#include "engine/filter/fir_filter.h"

#include <cmath>
#include <cstring>

#include "base/aligned_memory.h"
#include "base/console.h"
#include "engine/fft/partitioned_convolver.h"
#include "engine/filter/tap_file.h"

const char* const kTapFileNames[3] = {"FIR_LPF.txt", "FIR_BPF.txt", "FIR_HPF.txt"};

namespace {

constexpr uint32_t kBands = 3;
constexpr uint32_t kEntryFloats = 4;

} // namespace

CFIRFilter::CFIRFilter()
    : taps(nullptr), attenuation(0.8f), full_scale(1.0f), mono_lfe(1), divider_through(0),
      taps_dirty(1), convolution(kConvolutionDirect), fft_(nullptr), fft_stale_(true),
      fft_fed_(false), fft_drops_(0)
{
}

CFIRFilter::~CFIRFilter()
{
    AlignedFree(taps);
    taps = nullptr;
    DropFft();
}

uint32_t CFIRFilter::GetTapCount() const
{
    return tap_count;
}

bool CFIRFilter::SetTaps(const TapList& list, uint32_t band, const char* path)
{
    if (tap_count == 0 && taps == nullptr) {
        // One zeroed entry more than taps, and every fourth float zero: the
        // kernel loads whole entries.
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
    TapList lists[kBands];
    return LoadTapFiles(lists);
}

bool CFIRFilter::LoadTapFiles(TapList lists[3])
{
    bool loaded = true;
    TapText text;
    for (uint32_t band = 0; band < kBands; ++band) {
        const char* path = kTapFileNames[band];
        if (!ReadTapFile(path, &lists[band], &text) || !SetTaps(lists[band], band, path))
            loaded = false;
    }
    return loaded;
}

int32_t ChooseSampleKind(const WaveFormat& format)
{
    if (!SameSubFormat(format.sub_format, kSubtypePcm))
        return kSampleKindNone;
    if (format.valid_bits_per_sample == 16)
        return kSampleKindPcm16;
    if (format.valid_bits_per_sample == 24)
        return kSampleKindPcm24;
    if (format.valid_bits_per_sample == 32 && format.bits_per_sample == 32)
        return kSampleKindPcm32;
    return kSampleKindNone;
}

bool CFIRFilter::SetOutputFormat(const WaveFormat* format)
{
    WidenWaveFormat(format, &output_format);
    sample_kind = ChooseSampleKind(output_format);
    return sample_kind != kSampleKindNone;
}

float CFIRFilter::OutputFullScale(int32_t kind) const
{
    if (kind == kSampleKindPcm16)
        return 32767.0f;
    if (kind == kSampleKindPcm24 || kind == kSampleKindPcm32)
        return 2147483648.0f;
    return full_scale;
}

bool CFIRFilter::CheckScaledTaps(int32_t kind) const
{
    // The very products ReadData makes, so the answer holds for its taps.
    const float gain = attenuation * OutputFullScale(kind);
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

bool ChooseConvolution(const char* value, uint8_t* convolution)
{
    if (value == nullptr || std::strcmp(value, "direct") == 0) {
        *convolution = kConvolutionDirect;
        return true;
    }
    if (std::strcmp(value, "fft") == 0) {
        *convolution = kConvolutionFft;
        return true;
    }
    ConsolePrint(L"ERROR:TRIVANDEL_CONVOLUTION must be direct or fft, not \"%s\".\n", value);
    return false;
}
