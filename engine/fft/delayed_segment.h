// CDelayedSegment: the taps of a long filter from 2L on, in partitions of
// L frames, convolved in blocks of L frames computed ahead of need.
//
// Its block k (the output at input frames (k + 2)L .. (k + 3)L - 1) needs
// input only up to frame (k + 1)L - 1, so there are L frames of time
// between the input being complete and the output being due. The block's
// work (one forward transform, the partitions' spectral multiply-adds,
// three inverse transforms) is spread over the passes of that time in
// proportion to the frames played; whatever is left is done when the
// output is due. Large blocks make the older taps cheap without adding
// latency: the newest taps stay with the small blocks of the convolver
// that owns this segment.
#pragma once

#include <cstdint>

#include "engine/fft/fft.h"

// Input frames as the owner holds them: stereo floats from frame `first`
// on (`frames` points at frame `first`), complete below frame `complete`.
struct SegmentInput {
    const float* frames;
    uint64_t first;
    uint64_t complete;
};

// The spectra of `parts` partitions of `block` taps from tap first_tap on
// (newest frame's tap first), each band's in turn, into `out`: computed in
// double and rounded once, with the inverse transform's 1 / (2 block) in
// them. False when memory runs out.
bool PartitionSpectra(const float* taps, uint32_t tap_count, uint32_t first_tap, uint32_t block,
                      uint32_t parts, float* out);

class CDelayedSegment {
public:
    CDelayedSegment() = default;
    ~CDelayedSegment();
    CDelayedSegment(const CDelayedSegment&) = delete;
    CDelayedSegment& operator=(const CDelayedSegment&) = delete;

    // Takes taps 2 * block .. (2 + parts) * block - 1 (newest frame's tap
    // first; tap j is entry tap_count - 1 - j of the TapTable `taps`, none
    // past tap_count). The owner keeps tap_count - 1 >= 3 * block frames
    // of its windows readable, which this relies on. False when memory
    // runs out.
    bool Setup(const float* taps, uint32_t tap_count, uint32_t block, uint32_t parts);
    // Forgets all input.
    void Reset();

    // Does the work due once the output has reached input frame `out`.
    void Advance(const SegmentInput& in, uint64_t out);

    // Before the first pass since Reset, whose output starts at input frame
    // t: the work towards the block that output needs and the next, as far
    // as the input is complete, a pass's share of a block at a time
    // (passes of pass_frames).
    void Prime(const SegmentInput& in, uint64_t t, uint32_t pass_frames);

    // Adds this segment's output at input frames t .. t + count - 1 (within
    // one block of L frames) to y: three bands, each `size` left values
    // then `size` right values, from index `at` on.
    void AddOutput(const SegmentInput& in, uint64_t t, uint32_t count, float* y, uint32_t size,
                   uint32_t at);

private:
    uint32_t Items() const { return chunks_ + 4; }
    float* Output(uint64_t block) { return acc_ + (block % 2) * 3 * 2 * size_t{size_}; }
    float* Delayed(uint64_t block) { return fdl_ + 2 * size_t{size_} * (block % parts_); }
    // One piece of work of block block_ (then the next block).
    void Step(const SegmentInput& in);
    // Moves on to block `until` on the way to `block`, the first played
    // since a start: of the blocks before it, only the spectra that its
    // partitions reach.
    void SkipTo(const SegmentInput& in, uint64_t until, uint64_t block);

    uint32_t block_ = 0, size_ = 0, parts_ = 0, chunks_ = 0;
    CFft<float> fft_;
    float* memory_ = nullptr;
    float* spectra_ = nullptr; // H_p of each band, p < parts_
    float* fdl_ = nullptr;     // the input spectra of the last parts_ blocks
    float* acc_ = nullptr;     // two blocks' output, three bands each
    float* work_ = nullptr;
    // The block being worked on and its next piece of work: 0 the forward
    // transform, 1 .. chunks_ the partitions' sum over a range of bins,
    // then the inverse transforms.
    uint64_t work_block_ = 0;
    uint32_t item_ = 0;
};
