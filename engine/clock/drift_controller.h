// CDriftController: holds the store's level (the latency) between two
// clocks from counts alone, once per output pass: no wall clock is read.
//
// It measures the frames held after each drain (the upper half of the last
// passes' levels, then two 5 s low-passes) and, once the level has moved
// well beyond packet jitter from where it settled, runs a slow PI loop
// whose output is the resampler's step. Time constants are counted in
// passes of output_frames frames at the stream's rate.
#pragma once

#include <cstdint>

#include "engine/filter/capture_buffer.h"

enum DriftMode : int32_t {
    kDriftCopy,    // the clocks agree as far as the level can tell: copy
    kDriftTrack,   // resampling at Step()
    kDriftLanding, // resampling until the position is a whole frame, then copy
};

// What the owner of the resampler does after an Update.
enum DriftAction : int32_t {
    kDriftNoAction,
    kDriftStartTracking, // start at phase 0 with Step()
    kDriftStartLanding,  // land; call Landed() once it has
    kDriftDropPhase,     // drop the fraction and copy (the input restarts)
};

// One output pass, after the drain.
struct DriftPass {
    uint32_t level;     // frames held in the store
    bool packets;       // the drain took at least one packet
    bool playing;       // this pass reads a filtered buffer (not pre-buffering)
    bool discontinuity; // a packet of the drain was flagged as following a gap
};

class CDriftController {
public:
    // Dead band around the settled level, in frames: beyond packet jitter.
    static constexpr uint32_t kDeadBand = 512;
    // The set point's margin above B + taps for late packets: where
    // pre-buffering fills the store to.
    static constexpr uint32_t kJitterMargin = kLatePacketFrames;
    static constexpr double kMaxCorrection = 1e-3;

    CDriftController();
    ~CDriftController();
    CDriftController(const CDriftController&) = delete;
    CDriftController& operator=(const CDriftController&) = delete;

    // Passes of output_frames frames at `rate`; taps: the filter's length.
    // Allocates the measurement window; false when out of memory.
    bool Setup(uint32_t output_frames, uint32_t tap_count, uint32_t rate);

    DriftAction Update(const DriftPass& pass);
    // The resampler has landed: copying again.
    void Landed();

    DriftMode Mode() const { return mode_; }
    // Input frames per output frame, 32.32 fixed point.
    uint64_t Step() const { return step_; }
    // Step() - 1 in parts per million: positive where the loopback runs fast.
    double Ppm() const;
    // The level held while tracking, or where it settled while copying.
    uint32_t SetPoint() const;
    // Holding its set point: not settling after a start, a refill or a
    // discontinuity, nor walking back home after one.
    bool Settled() const
    {
        return !acquiring_ &&
               (mode_ == kDriftCopy || (target_ == home_ && (y2_ - home_) * (y2_ - home_) < 1));
    }

private:
    void Acquire();
    double Measure(uint32_t level);
    void SetCorrection(double u);
    bool CopyPass(double value);
    bool TrackPass();

    // Fixed by Setup.
    double frames_per_pass_;
    uint32_t window_;  // M: levels in the measurement
    double smoothing_; // per pass, of each 5 s low-pass
    double kp_;        // per frame of error
    double ki_;        // per frame of error per pass
    double walk_;      // frames per pass the set point walks home
    uint32_t landing_passes_;
    uint32_t lowest_set_point_;
    uint32_t* levels_;
    uint32_t* sorted_;

    DriftMode mode_;
    uint64_t step_;
    double correction_;
    bool played_;
    bool was_playing_;
    bool acquiring_; // collecting a full window before (re)anchoring
    uint32_t count_; // levels in the window
    uint32_t next_;  // where the next level goes
    double z1_, z2_; // the two low-passes
    double y1_, y2_; // target_ through the same two
    double anchor_;  // copying: where the level settled
    double target_;  // tracking: the level held now
    double home_;    // tracking: where target_ walks back to
    double integral_;
    double feed_forward_;
    uint32_t quiet_passes_; // tracking with |integral| under 1 ppm
    // The level's least-squares line since the anchor, over passes.
    double pass_;
    double n_, st_, sy_, stt_, sty_;
};
