// Block k's spectrum X_k is that of input frames (k - 1)L .. (k + 1)L - 1,
// H_p that of taps (2 + p)L .. (3 + p)L - 1, L zeros after; the last L
// points of the inverse transform of sum over p of H_p X_(k-p) are the
// segment's output at input frames (k + 2)L .. (k + 3)L - 1.
#include "engine/fft/delayed_segment.h"

#include <algorithm>
#include <cstring>

#include "base/aligned_memory.h"
#include "engine/fft/fft_paths.h"

namespace {

constexpr uint32_t kBands = 3;
// 24 KB of sums: they stay in the first-level cache.
constexpr uint32_t kChunkBins = 512;

} // namespace

bool PartitionSpectra(const float* taps, uint32_t tap_count, uint32_t first_tap, uint32_t block,
                      uint32_t parts, float* out)
{
    const uint32_t size = 2 * block;
    const size_t spectrum = 2 * size_t{size};
    double* h = static_cast<double*>(AlignedAlloc(2 * spectrum * sizeof(double)));
    CFft<double> exact;
    if (h == nullptr || !exact.Setup(size)) {
        AlignedFree(h);
        return false;
    }
    // In double, rounded once; the inverse transform's 1 / (2 block) goes in
    // here.
    const double scale = 1.0 / size;
    for (uint32_t part = 0; part < parts; ++part)
        for (uint32_t band = 0; band < kBands; ++band) {
            std::fill(h, h + spectrum, 0.0);
            const size_t first = first_tap + size_t{part} * block;
            for (uint32_t k = 0; k < block && first + k < tap_count; ++k)
                h[k] = taps[4 * (tap_count - 1 - (first + k)) + band];
            exact.ForwardSplit(h, h + size, h + spectrum);
            float* spectra = out + spectrum * (size_t{part} * kBands + band);
            for (size_t k = 0; k < spectrum; ++k)
                spectra[k] = static_cast<float>(h[k] * scale);
        }
    AlignedFree(h);
    return true;
}

bool CDelayedSegment::Setup(const float* taps, uint32_t tap_count, uint32_t block, uint32_t parts)
{
    block_ = block;
    size_ = 2 * block;
    parts_ = parts;
    chunks_ = std::max<uint32_t>(size_ / kChunkBins, 1);
    const size_t spectrum = 2 * size_t{size_};
    const size_t floats = spectrum * (kBands * parts_ + parts_ + 2 * kBands + 1);
    AlignedFree(memory_);
    memory_ = static_cast<float*>(AlignedAlloc(floats * sizeof(float)));
    if (memory_ == nullptr || !fft_.Setup(size_)) {
        AlignedFree(memory_);
        memory_ = nullptr;
        return false;
    }
    std::memset(memory_, 0, floats * sizeof(float));
    spectra_ = memory_;
    fdl_ = spectra_ + spectrum * kBands * parts_;
    acc_ = fdl_ + spectrum * parts_;
    work_ = acc_ + spectrum * 2 * kBands;
    if (!PartitionSpectra(taps, tap_count, 2 * block, block, parts, spectra_)) {
        AlignedFree(memory_);
        memory_ = nullptr;
        return false;
    }
    Reset();
    return true;
}

CDelayedSegment::~CDelayedSegment()
{
    AlignedFree(memory_);
}

void CDelayedSegment::Reset()
{
    work_block_ = 0;
    item_ = 0;
}

void CDelayedSegment::Step(const SegmentInput& in)
{
    const uint64_t k = work_block_;
    const size_t n = size_;
    if (item_ == 0) {
        // The owner keeps frames from (k - 1)L on readable until block k
        // is due; only frames before the stream's first are below `first`,
        // and they are silence.
        float* x = Delayed(k);
        for (size_t i = 0; i < n; ++i) {
            const uint64_t t = k * block_ + i;
            if (t < block_ + in.first) {
                x[i] = x[n + i] = 0.0f;
                continue;
            }
            const float* frame = in.frames + 2 * (t - block_ - in.first);
            x[i] = frame[0];
            x[n + i] = frame[1];
        }
        fft_.ForwardSplit(x, x + n, work_);
    } else if (item_ <= chunks_) {
        // All partitions over a few bins at a time, so that the sums stay
        // in the cache while the filter's spectra stream past.
        const uint32_t bins = size_ / chunks_;
        const uint32_t first = (item_ - 1) * bins;
        float* y = Output(k);
        for (uint32_t band = 0; band < kBands; ++band)
            for (size_t half = 0; half < 2; ++half)
                std::fill_n(y + 2 * n * band + half * n + first, bins, 0.0f);
        const SpectraMultiplyAddFunction multiply_add = ActiveFftPath().multiply_add;
        for (uint32_t part = 0; part < parts_ && part <= k; ++part)
            multiply_add(y, spectra_ + 2 * n * kBands * part, Delayed(k - part), size_, kBands,
                         first, bins);
    } else {
        float* y = Output(k) + 2 * n * (item_ - chunks_ - 1);
        fft_.InverseSplit(y, y + n, work_);
    }
    if (++item_ == Items()) {
        item_ = 0;
        ++work_block_;
    }
}

void CDelayedSegment::Advance(const SegmentInput& in, uint64_t out)
{
    for (;;) {
        // Block k's input is complete at frame (k + 1)L, and its output
        // buffer free once block k - 2's last frame has been played.
        const uint64_t ready = (work_block_ + 1) * block_;
        if (out < ready || in.complete < ready)
            return;
        const uint64_t played = std::min<uint64_t>(out - ready, block_);
        const uint64_t due = (Items() * played + block_ - 1) / block_;
        if (item_ >= due)
            return;
        Step(in);
    }
}

void CDelayedSegment::SkipTo(const SegmentInput& in, uint64_t until, uint64_t block)
{
    // Blocks before the first one played since a start are never played.
    while (work_block_ < until) {
        if (item_ == 0 && work_block_ + parts_ > block)
            Step(in);
        item_ = 0;
        ++work_block_;
    }
}

void CDelayedSegment::Prime(const SegmentInput& in, uint64_t t, uint32_t pass_frames)
{
    if (t < 2 * uint64_t{block_})
        return;
    const uint64_t block = (t - 2 * uint64_t{block_}) / block_;
    // The spectra the block needs, each as soon as its input is complete,
    // then the block's own work, a pass's share at a time.
    SkipTo(in, std::min(block, in.complete / block_), block);
    // That block and the next, which the first pass's end makes due, each
    // once its input is complete; the one after would need this one's
    // buffer.
    uint64_t share = (uint64_t{Items()} * pass_frames + block_ - 1) / block_ + 1;
    while (share > 0 && work_block_ >= block && work_block_ <= block + 1 &&
           in.complete >= (work_block_ + 1) * block_) {
        Step(in);
        --share;
    }
}

void CDelayedSegment::AddOutput(const SegmentInput& in, uint64_t t, uint32_t count, float* y,
                                uint32_t size, uint32_t at)
{
    if (t < 2 * uint64_t{block_})
        return; // no input frame reaches these taps yet
    const uint64_t s = t - 2 * uint64_t{block_};
    const uint64_t block = s / block_;
    SkipTo(in, block, block);
    while (work_block_ == block)
        Step(in);
    const size_t n = size_;
    const float* z = Output(block) + block_ + (s - block * block_);
    for (uint32_t band = 0; band < kBands; ++band) {
        float* left = y + 2 * size_t{size} * band + at;
        float* right = left + size;
        const float* from = z + 2 * n * band;
        for (uint32_t i = 0; i < count; ++i) {
            left[i] += from[i];
            right[i] += from[n + i];
        }
    }
}
