// Blocks of B frames; transforms of 2B points. Block q holds input frames
// qB .. qB + B - 1; its spectrum X_q is that of frames qB - B .. qB + B - 1,
// and H_p that of taps pB .. pB + B - 1 in time order (the newest frame's
// tap first), B zeros after. The last B points of the inverse transform of
// sum over p of H_p X_(q-p) are the output at input frames qB .. qB + B - 1.
#include "engine/fft/partitioned_convolver.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

#include "base/aligned_memory.h"
#include "engine/fft/fft_paths.h"

namespace {

constexpr uint32_t kBands = 3;
constexpr uint32_t kSmallestBlock = 16;
constexpr uint32_t kLargestBlock = 16384;
constexpr uint32_t kLargestSegment = 65536;

// The segments of `layout` for tap_count taps, (block, partitions) each;
// their count, 0 when there are none or the layout does not fit.
uint32_t SegmentChain(uint32_t tap_count, const PartitionLayout& layout, uint32_t* blocks,
                      uint32_t* parts, uint32_t most)
{
    uint64_t block = layout.segment_block;
    // A segment reads input 3 of its blocks back from the newest frame its
    // output needs, which the windows of tap_count frames must hold.
    if (block == 0 || 3 * block >= tap_count || layout.ratio < 2)
        return 0;
    for (uint32_t count = 0; count < most; ++count) {
        const uint64_t next = block * layout.ratio;
        blocks[count] = static_cast<uint32_t>(block);
        if (next > kLargestSegment || 3 * next >= tap_count) {
            parts[count] = static_cast<uint32_t>((tap_count - 2 * block + block - 1) / block);
            return count + 1;
        }
        // Up to where the next segment starts, at twice its block.
        parts[count] = 2 * (layout.ratio - 1);
        block = next;
    }
    return 0;
}

// Work per output frame, in multiply-adds of one bin: a transform of n
// points costs about 0.6 n log2 n of them (measured in bench/).
double TransformCost(double n)
{
    return 0.3 * n * std::log2(n);
}

// The small blocks: a pass transforms each block it reaches (one forward,
// three inverse), and each block once more when complete, with all its
// partitions.
double HeadCost(uint32_t block, double parts, double frames)
{
    const double n = 2.0 * block;
    const double reached = std::ceil(frames / block) + 1;
    const double per_pass = reached * (4 * TransformCost(n) + kBands * n) +
                            frames / block * (TransformCost(n) + kBands * parts * n);
    return per_pass / frames;
}

// A segment's block: four transforms and its partitions, once.
double SegmentCost(uint32_t block, uint32_t parts)
{
    const double n = 2.0 * block;
    return (4 * TransformCost(n) + kBands * (parts + 1) * n) / block;
}

} // namespace

PartitionLayout CPartitionedConvolver::ChooseLayout(uint32_t tap_count, uint32_t pass_frames)
{
    const double frames = std::max<uint32_t>(pass_frames, 1);
    PartitionLayout best;
    double best_cost = 0;
    auto consider = [&](const PartitionLayout& layout, double cost) {
        if (best.block == 0 || cost < best_cost) {
            best = layout;
            best_cost = cost;
        }
    };
    for (uint32_t b = kSmallestBlock; b <= kLargestBlock; b *= 2) {
        consider({b, 0, 2}, HeadCost(b, std::ceil(static_cast<double>(tap_count) / b), frames));
        for (uint32_t l = 2 * b; l <= kLargestSegment && 3 * l < tap_count; l *= 2)
            for (uint32_t ratio : {2u, 4u, 8u}) {
                const PartitionLayout layout{b, l, ratio};
                uint32_t blocks[kMostSegments], parts[kMostSegments];
                const uint32_t count =
                    SegmentChain(tap_count, layout, blocks, parts, kMostSegments);
                if (count == 0)
                    continue;
                double cost = HeadCost(b, 2.0 * l / b, frames);
                for (uint32_t i = 0; i < count; ++i)
                    cost += SegmentCost(blocks[i], parts[i]);
                consider(layout, cost);
            }
    }
    return best;
}

bool CPartitionedConvolver::Setup(const float* taps, uint32_t tap_count, uint32_t pass_frames)
{
    const PartitionLayout chosen = ChooseLayout(tap_count, pass_frames);
    uint32_t blocks[kMostSegments], segment_parts[kMostSegments];
    segment_count_ = SegmentChain(tap_count, chosen, blocks, segment_parts, kMostSegments);
    const uint32_t head = segment_count_ > 0 ? 2 * chosen.segment_block : tap_count;
    taps_ = tap_count;
    block_ = chosen.block;
    size_ = 2 * block_;
    parts_ = std::max<uint32_t>((head + block_ - 1) / block_, 1);
    const size_t spectrum = 2 * size_t{size_};
    const size_t floats = spectrum * (kBands * parts_ + parts_ + 4 + 3 * kBands);
    AlignedFree(memory_);
    memory_ = static_cast<float*>(AlignedAlloc(floats * sizeof(float)));
    bool ready = memory_ != nullptr && fft_.Setup(size_);
    if (ready) {
        std::memset(memory_, 0, floats * sizeof(float));
        spectra_ = memory_;
        fdl_ = spectra_ + spectrum * kBands * parts_;
        window_ = fdl_ + spectrum * parts_;
        x_ = window_ + spectrum;
        work_ = x_ + spectrum;
        tail_ = work_ + 2 * spectrum;
        next_ = tail_ + spectrum * kBands;
        y_ = next_ + spectrum * kBands;
        ready = PartitionSpectra(taps, tap_count, 0, block_, parts_, spectra_);
    }
    for (uint32_t i = 0; ready && i < segment_count_; ++i)
        ready = segments_[i].Setup(taps, tap_count, blocks[i], segment_parts[i]);
    if (!ready) {
        AlignedFree(memory_);
        memory_ = nullptr;
        taps_ = 0;
        segment_count_ = 0;
        return false;
    }
    Reset();
    return true;
}

CPartitionedConvolver::~CPartitionedConvolver()
{
    AlignedFree(memory_);
}

float* CPartitionedConvolver::Spectrum(uint32_t part, uint32_t band)
{
    return spectra_ + 2 * size_t{size_} * (size_t{part} * kBands + band);
}

void CPartitionedConvolver::Reset()
{
    std::fill(window_, window_ + 2 * size_t{size_}, 0.0f);
    in_ = 0;
    out_ = taps_ > 0 ? taps_ - 1 : 0;
    pass_end_ = out_;
    tail_block_ = next_block_ = y_block_ = -1;
    reset_pending_ = false;
    passed_ = false;
    for (uint32_t i = 0; i < segment_count_; ++i)
        segments_[i].Reset();
}

void CPartitionedConvolver::Warm(const float* frames, uint64_t stored, uint32_t pass_frames)
{
    if (passed_ || taps_ == 0)
        return;
    source_ = frames;
    source_first_ = 0;
    data_end_ = stored;
    // The first pass's first block and the blocks before it, which it would
    // ingest first.
    const uint64_t first = out_ / block_;
    Ingest(std::min(stored, first * block_));
    const SegmentInput input = Input();
    for (uint32_t i = 0; i < segment_count_; ++i)
        segments_[i].Prime(input, first * block_, pass_frames);
}

void CPartitionedConvolver::BeginPass(const float* frames, uint32_t frame_count, uint32_t stored)
{
    if (reset_pending_)
        Reset();
    passed_ = true;
    source_ = frames;
    source_first_ = out_ - (taps_ - 1);
    pass_end_ = out_ + frame_count;
    data_end_ = source_first_ + stored;
}

void CPartitionedConvolver::Ingest(uint64_t limit)
{
    float* re = window_;
    float* im = re + size_;
    while (in_ < limit) {
        const uint32_t at = static_cast<uint32_t>(in_ % block_);
        const uint32_t count = static_cast<uint32_t>(std::min<uint64_t>(limit - in_, block_ - at));
        const float* x = source_ + 2 * (in_ - source_first_);
        for (uint32_t i = 0; i < count; ++i) {
            re[block_ + at + i] = x[2 * i];
            im[block_ + at + i] = x[2 * i + 1];
        }
        in_ += count;
        if (in_ % block_ != 0)
            continue;
        // A whole block: its spectrum joins the delay line, and the window
        // moves on by one block.
        float* spectrum = Delayed(in_ / block_ - 1);
        std::memcpy(spectrum, re, size_ * sizeof(float));
        std::memcpy(spectrum + size_, im, size_ * sizeof(float));
        fft_.ForwardSplit(spectrum, spectrum + size_, work_);
        std::memcpy(re, re + block_, block_ * sizeof(float));
        std::memcpy(im, im + block_, block_ * sizeof(float));
        std::fill(re + block_, re + size_, 0.0f);
        std::fill(im + block_, im + size_, 0.0f);
    }
}

void CPartitionedConvolver::EnsureTail(uint64_t block)
{
    if (tail_block_ == static_cast<int64_t>(block))
        return;
    uint32_t done = 0;
    if (next_block_ == static_cast<int64_t>(block)) {
        std::swap(tail_, next_);
        done = next_done_;
        next_block_ = -1;
    } else {
        std::fill(tail_, tail_ + 2 * size_t{size_} * kBands, 0.0f);
    }
    AddOlderParts(tail_, block, done);
    if (parts_ > 1 && block >= 1)
        ActiveFftPath().multiply_add(tail_, Spectrum(1, 0), Delayed(block - 1), size_, kBands, 0,
                                     size_);
    tail_block_ = static_cast<int64_t>(block);
}

void CPartitionedConvolver::AddOlderParts(float* acc, uint64_t block, uint32_t done)
{
    const SpectraMultiplyAddFunction multiply_add = ActiveFftPath().multiply_add;
    const uint64_t last = std::min<uint64_t>(parts_ - 1, block);
    for (uint64_t part = 2 + done; part <= last; ++part)
        multiply_add(acc, Spectrum(static_cast<uint32_t>(part), 0), Delayed(block - part), size_,
                     kBands, 0, size_);
}

void CPartitionedConvolver::FinishBlock(uint64_t block, const float* x, uint64_t valid)
{
    ActiveFftPath().multiply_add(y_, Spectrum(0, 0), x, size_, kBands, 0, size_);
    for (uint32_t band = 0; band < kBands; ++band) {
        float* y = y_ + 2 * size_t{size_} * band;
        fft_.InverseSplit(y, y + size_, work_);
    }
    const SegmentInput input = Input();
    for (uint32_t i = 0; i < segment_count_; ++i)
        segments_[i].AddOutput(input, block * block_, block_, y_, size_, block_);
    y_block_ = static_cast<int64_t>(block);
    y_valid_ = valid;
}

void CPartitionedConvolver::ComputeBlock(uint64_t block)
{
    const uint64_t end = (block + 1) * block_;
    const uint64_t wanted = std::min(pass_end_, end);
    // Frames not captured yet read as silence, as in the direct kernel's
    // windows: within this block they are the partial transform's zeros,
    // to be transformed again once captured; so in the block before, which
    // then stays out of the delay line. A shortfall of more is taken as the
    // zeros the store holds there, and the next pass starts afresh.
    const uint64_t start = block * block_;
    uint64_t limit = std::min(wanted, data_end_);
    if (limit + block_ < start) {
        limit = wanted;
        reset_pending_ = true;
    }
    Ingest(limit);
    if (in_ < start) {
        ComputeBeforeCapture(block, wanted);
        return;
    }
    EnsureTail(block);
    const float* x = Delayed(block);
    if (in_ < end) {
        // Captured as far as in_: the rest of the block reads as zeros,
        // which reach only the frames after in_.
        std::memcpy(x_, window_, 2 * size_t{size_} * sizeof(float));
        fft_.ForwardSplit(x_, x_ + size_, work_);
        x = x_;
    }
    std::memcpy(y_, tail_, 2 * size_t{size_} * kBands * sizeof(float));
    FinishBlock(block, x, wanted);
}

void CPartitionedConvolver::ComputeBeforeCapture(uint64_t block, uint64_t valid)
{
    // The window holds the block before, part captured: its spectrum, and
    // that of this block (the same frames first, zeros after).
    const size_t n = size_;
    std::memcpy(x_, window_, 2 * n * sizeof(float));
    fft_.ForwardSplit(x_, x_ + n, work_);
    float* x = work_ + 2 * n;
    for (size_t half = 0; half < 2; ++half) {
        std::memcpy(x + half * n, window_ + half * n + block_, block_ * sizeof(float));
        std::fill(x + half * n + block_, x + (half + 1) * n, 0.0f);
    }
    fft_.ForwardSplit(x, x + n, work_);
    // Partitions 2.. from the complete blocks, as far as computed ahead.
    const uint32_t done = next_block_ == static_cast<int64_t>(block) ? next_done_ : 0;
    if (done > 0)
        std::memcpy(y_, next_, 2 * n * kBands * sizeof(float));
    else
        std::fill(y_, y_ + 2 * n * kBands, 0.0f);
    AddOlderParts(y_, block, done);
    if (parts_ > 1 && block >= 1)
        ActiveFftPath().multiply_add(y_, Spectrum(1, 0), x_, size_, kBands, 0, size_);
    FinishBlock(block, x, valid);
}

void CPartitionedConvolver::Spread()
{
    const SegmentInput input = Input();
    for (uint32_t i = 0; i < segment_count_; ++i)
        segments_[i].Advance(input, out_);
    // Partitions 2.. of the block after the last frame played: their input
    // is complete now. Done in proportion to the frames of this block
    // played, so that the pass that enters the next block has only
    // partition 1 left.
    const uint64_t block = (out_ - 1) / block_;
    const uint64_t next = block + 1;
    if (in_ < block * block_)
        return; // the block before is not complete yet
    if (next_block_ != static_cast<int64_t>(next)) {
        std::fill(next_, next_ + 2 * size_t{size_} * kBands, 0.0f);
        next_block_ = static_cast<int64_t>(next);
        next_done_ = 0;
    }
    const uint64_t last = std::min<uint64_t>(parts_ - 1, next);
    const uint64_t total = last >= 2 ? last - 1 : 0;
    const uint64_t played = out_ - block * block_;
    const uint64_t want = (total * played + block_ - 1) / block_;
    const SpectraMultiplyAddFunction multiply_add = ActiveFftPath().multiply_add;
    for (; next_done_ < want; ++next_done_) {
        const uint32_t part = 2 + next_done_;
        multiply_add(next_, Spectrum(part, 0), Delayed(next - part), size_, kBands, 0, size_);
    }
}

void CPartitionedConvolver::Next(BandFrame* out, uint32_t count)
{
    for (uint32_t i = 0; i < count; ++i) {
        const uint64_t block = out_ / block_;
        if (y_block_ != static_cast<int64_t>(block) || out_ >= y_valid_)
            ComputeBlock(block);
        const size_t at = block_ + static_cast<size_t>(out_ - block * block_);
        float sums[6];
        for (uint32_t band = 0; band < kBands; ++band) {
            const float* y = y_ + 2 * size_t{size_} * band;
            sums[2 * band] = y[at];
            sums[2 * band + 1] = y[size_ + at];
        }
        FinishBandFrame(out + i, sums);
        ++out_;
    }
    if (out_ == pass_end_)
        Spread();
}
