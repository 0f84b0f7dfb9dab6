// CPartitionedConvolver: the three bands of a TapTable by partitioned
// overlap-save FFT convolution, with a frequency-domain delay line of the
// input's spectra: the newest taps in small blocks, and for long filters
// the older taps in segments of larger blocks computed ahead
// (engine/fft/delayed_segment.h). Output frame k of a pass is the window of
// frames k .. k + tap_count - 1 from the pass's start, exactly the window
// the direct kernel weighs (engine/kernels/convolve.h), so no latency is
// added: the newest block is transformed as far as it has been captured,
// zeros after, and transformed again as it fills.
//
// Left + i right is one complex signal: one forward transform per block is
// shared by the three bands (three spectral multiply-adds, three inverse
// transforms). The older partitions' sum for the next block is computed
// ahead, spread over the passes of the current block in proportion to the
// frames played.
#pragma once

#include <cstdint>

#include "engine/fft/delayed_segment.h"
#include "engine/fft/fft.h"
#include "engine/kernels/convolve.h"

// How a filter is cut: the newest taps in blocks of `block` frames; from
// tap 2 * segment_block on (0: none) delayed segments, each one's block
// `ratio` times the one before, the last taking the rest.
struct PartitionLayout {
    uint32_t block = 0;
    uint32_t segment_block = 0;
    uint32_t ratio = 2;
};

class CPartitionedConvolver {
public:
    CPartitionedConvolver() = default;
    ~CPartitionedConvolver();
    CPartitionedConvolver(const CPartitionedConvolver&) = delete;
    CPartitionedConvolver& operator=(const CPartitionedConvolver&) = delete;

    // Takes `taps` (TapTable layout: entry k = LPF, BPF, HPF, 0), and
    // chooses the layout for passes of about pass_frames output frames.
    // Forgets all input. False when memory runs out.
    bool Setup(const float* taps, uint32_t tap_count, uint32_t pass_frames);

    // Forgets all input: the next pass starts from its own windows.
    void Reset();

    // Before the first pass since Reset: `frames` is where its first window
    // will start, `stored` frames of it are held. Does the work that pass
    // would do on them (the older blocks' spectra, the segments' first
    // blocks), a share of it per call, so that the pass does not take it
    // all at once. Called again as the store fills.
    void Warm(const float* frames, uint64_t stored, uint32_t pass_frames);

    // Starts a pass of frame_count output frames whose first window starts
    // at `frames` (stereo floats); frame_count + tap_count - 1 frames are
    // readable there. The first `stored` of them are data; the rest read as
    // silence in this pass (as the caller has zeroed them) and are taken
    // again, as data, in a later pass.
    void BeginPass(const float* frames, uint32_t frame_count, uint32_t stored);

    // The pass's next `count` frames, as the kernel makes them: the six
    // clamped sums, the peak in slots 6 and 7.
    void Next(BandFrame* out, uint32_t count);

    // The layout the cost model picks for tap_count and pass_frames.
    static PartitionLayout ChooseLayout(uint32_t tap_count, uint32_t pass_frames);

private:
    float* Spectrum(uint32_t part, uint32_t band);
    float* Delayed(uint64_t block) { return fdl_ + 2 * size_t{size_} * (block % parts_); }
    void Ingest(uint64_t limit);
    void EnsureTail(uint64_t block);
    void ComputeBlock(uint64_t block);
    // The output of `block` while the block before it is not all captured.
    void ComputeBeforeCapture(uint64_t block, uint64_t valid);
    // acc += H_p X_(block - p) for the partitions p from 2 + done on.
    void AddOlderParts(float* acc, uint64_t block, uint32_t done);
    // y_ += H_0 x, back to time: the output of `block`, up to input frame
    // `valid`.
    void FinishBlock(uint64_t block, const float* x, uint64_t valid);
    void Spread();
    SegmentInput Input() const { return {source_, source_first_, in_}; }

    static constexpr uint32_t kMostSegments = 8;
    CDelayedSegment segments_[kMostSegments];
    uint32_t segment_count_ = 0;
    uint32_t taps_ = 0, block_ = 0, size_ = 0, parts_ = 0;
    CFft<float> fft_;
    // One aligned block for all of these. A spectrum is size_ real parts,
    // then size_ imaginary parts; "all bands" is three of them in a row.
    float* memory_ = nullptr;
    float* spectra_ = nullptr; // H_p of each band, p = 0 .. parts_ - 1
    float* fdl_ = nullptr;     // input spectra of the last parts_ blocks
    float* window_ = nullptr;  // the block being filled after the one before it
    float* x_ = nullptr;       // the spectrum of a block not yet complete
    float* work_ = nullptr;    // two spectra
    float* tail_ = nullptr;    // sum over p >= 1 of H_p X_(q-p), all bands, for tail_block_
    float* next_ = nullptr;    // part of that sum, computed ahead, for next_block_
    float* y_ = nullptr;       // the output of block y_block_, all bands
    // Stream positions, counted in input frames since Reset: output frame
    // t - (tap_count - 1) is the filter's output at input frame t.
    uint64_t in_ = 0, out_ = 0, pass_end_ = 0, source_first_ = 0, y_valid_ = 0, data_end_ = 0;
    int64_t tail_block_ = -1, next_block_ = -1, y_block_ = -1;
    uint32_t next_done_ = 0;
    const float* source_ = nullptr;
    bool reset_pending_ = false;
    bool passed_ = false; // a pass ran since Reset
};
