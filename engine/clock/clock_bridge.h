// CClockBridge: the resampler and its controller between the capture drain
// and the filter's store, so that the store holds frames on the output's
// clock and its level is the latency. The live loop and the offline render
// both drive it the same way:
//
//   per capture packet:        WritePacket(frames, data or null, flagged)
//   per output pass, after the drain and the pre-buffering decision:
//                              EndDrain(playing)
//
// While the clocks agree every packet goes through WriteData, so the store
// holds exactly the bytes it would hold without the bridge.
#pragma once

#include <cstdint>

#include "engine/clock/drift_controller.h"
#include "engine/clock/resampler.h"
#include "engine/filter/capture_buffer.h"

// What EndDrain reports, for the program's one event line.
enum BridgeEvent : int32_t {
    kBridgeNoEvent,
    kBridgeStartedTracking, // the level left the dead band: resampling now
    kBridgeCopying,         // back to copying (landed, or at a refill)
};

class CClockBridge {
public:
    CClockBridge();

    // Sets up for `store`, whose capture format is already set, and output
    // buffers of output_frames frames; the filter's length is the store's
    // GetTapCount(). Only a 32-bit float capture is resampled; any other
    // is copied for good. False when out of memory (the bridge then copies).
    bool Start(CCaptureBuffer* store, uint32_t output_frames);

    // One capture packet: `data` null for a silent one (zeros, its length
    // kept); `discontinuity` where the packet was flagged as following a gap
    // (AUDCLNT_BUFFERFLAGS_DATA_DISCONTINUITY).
    void WritePacket(uint32_t frames, const uint8_t* data, bool discontinuity);

    // Once per output pass, after the drain: `playing` whether this pass
    // reads a filtered buffer from the store (false while pre-buffering).
    // Sets the step for the next drain's packets.
    BridgeEvent EndDrain(bool playing);

    // For the -verbose line: the mode, the ratio's offset in ppm (0 while
    // copying) and the set point in frames.
    DriftMode Mode() const { return controller_.Mode(); }
    double RatioPpm() const { return controller_.Ppm(); }
    uint32_t SetPoint() const { return controller_.SetPoint(); }
    const CDriftController& Controller() const { return controller_; }
    // The resampler runs path `path` of kKernelPaths from now on.
    void UsePath(uint32_t path) { resampler_.UsePath(path); }
    // Input frames waiting in the resampler (0 while copying).
    double HeldFrames() const { return resampler_.HeldFrames(); }

private:
    CCaptureBuffer* store_;
    CResampler resampler_;
    CDriftController controller_;
    bool enabled_;
    bool packets_;
    bool discontinuity_;
};
