// CResampler: moves the captured stereo stream from the loopback's clock onto
// the output's, between the capture drain and the frame store.
//
// While the clocks agree it copies: every packet goes into the store through
// WriteData, byte for byte as without it. While tracking, each output frame
// is a 64-tap windowed sinc (Kaiser beta 16, cut-off at exactly half the
// rate) at a fractional input position, its taps interpolated linearly
// between the two nearest of 1024 phase rows. Positions and steps are 32.32
// fixed point in input frames, so that phase 0 is reached exactly: its row is
// 1 at the centre and exact zeros elsewhere.
#pragma once

#include <cstdint>

#include "engine/filter/capture_buffer.h"
#include "engine/kernels/resample.h"

class CResampler {
public:
    CResampler();
    ~CResampler();
    CResampler(const CResampler&) = delete;
    CResampler& operator=(const CResampler&) = delete;

    // Builds the table and the buffers; false when out of memory. Leaves
    // the resampler copying, with a silent history, on the kernel's path.
    bool Setup();
    // Copying again with a silent history and a step of one frame.
    void Reset();
    // Runs path `path` (of kKernelPaths) from now on.
    void UsePath(uint32_t path) { path_ = path; }

    // One packet of `frames` frames in the store's capture format (null
    // `data`: a silent packet, zeros of that length). Copying, it is
    // WriteData; tracking, its first two channels are resampled into the
    // store with WriteStereo.
    void Write(CCaptureBuffer* store, uint32_t frames, const uint8_t* data);

    // From the next packet on, resample at `step` input frames per output
    // frame (32.32) from phase 0 at the frame that a copy would store next:
    // the output goes on without a step.
    void StartTracking(uint64_t step);
    // Input frames per output frame while tracking (32.32). The step in use
    // glides towards it: every 256 output frames it moves 1/256 of the way,
    // so that a new step each output pass bends the position smoothly
    // instead of kinking it ten times a second, which would put sidebands
    // on every tone. (The start is one kink, once.)
    void SetStep(uint64_t step) { target_ = step; }
    // Steps by 1 + 2^-20 frames, the last step shortened, until the position
    // is a whole frame; then stores the frames held back as they are and
    // copies again.
    void Land() { landing_ = tracking_; }
    // Drops the fraction of the position (where the input restarts after a
    // gap), stores the frames held back as they are and copies again.
    void DropPhase(CCaptureBuffer* store);

    bool Tracking() const { return tracking_; }
    // Input frames received and not yet made into output frames, counted
    // from the next output's position: the latency the resampler adds.
    double HeldFrames() const;

private:
    void Remember(const uint8_t* data, uint32_t frames, const WaveFormat& format);
    void Append(const uint8_t* data, uint32_t frames, const WaveFormat& format);
    void Produce(CCaptureBuffer* store);
    void Flush(CCaptureBuffer* store);
    void Glide(uint32_t frames);

    float* table_;
    float* left_;  // planar input: the window's frames, then the packet
    float* right_; // (have_ frames in all)
    float* out_;   // a batch of output frames (left, right)
    uint32_t have_;
    uint64_t pos_;          // position of the next output's window start, in left_
    uint64_t step_;         // in use, 32.32
    uint64_t target_;       // where step_ glides to
    int64_t glide_;         // step_ with 16 more bits of fraction
    uint32_t glide_frames_; // output frames until the next glide
    uint32_t path_;
    bool tracking_;
    bool landing_;
};
