// CPlayout: one stream's way from capture packets to output buffers. It owns
// the filter and its store, the clock bridge in front of the store, the
// pre-buffering state and the store's level, so that the live loop, the
// offline renders and the tests' references play a stream the same way:
//
//   once:                  SetOptions, TakesOutput (a question), Start
//   per capture packet:    WritePacket(frames, data or null, discontinuity)
//   per output buffer:     Play(controls, buffer) -> filtered or silent, event
//
// A render of a whole file starts with StartFile and reads with PlayWindows
// instead of Play.
#pragma once

#include <cstdint>

#include "base/wave_format.h"
#include "engine/clock/clock_bridge.h"
#include "engine/filter/fir_filter.h"

// The live controls as one filtered buffer is made with them.
struct BandControls {
    uint8_t divider_through;
    uint8_t mute_lfe;
    uint8_t mute_low;
    uint8_t mute_high;
};

// What became of one output buffer.
struct PlayedBuffer {
    bool filtered;     // false: pre-buffering, the buffer is to be silent and was not written
    BridgeEvent event; // the clock bridge's event of this pass, if any
};

// Why an output format cannot be played.
enum OutputRefusal : int32_t {
    kOutputTaken,
    kOutputFormatRefused, // no sample kind the filter writes
    kOutputTapsInfinite,  // the taps scaled for it are not all finite (line printed)
};

class CPlayout {
public:
    CPlayout();
    CPlayout(const CPlayout&) = delete;
    CPlayout& operator=(const CPlayout&) = delete;

    // The filter, for loading taps and for the tools that study it.
    CFIRFilter& Filter() { return filter_; }
    const CFIRFilter& Filter() const { return filter_; }
    // The bridge, for its -verbose figures and the tests' measures.
    CClockBridge& Bridge() { return bridge_; }
    const CClockBridge& Bridge() const { return bridge_; }

    // The output options, before TakesOutput: the gain of all bands and
    // whether the low band plays as one mono sum.
    void SetOptions(float attenuation, uint8_t mono_lfe);

    // Whether `output` (plain or extensible) can be played with the loaded
    // taps; prints the attenuation's line where they would not be finite.
    OutputRefusal TakesOutput(const WaveFormat* output) const;

    // Sets the filter up for streaming: the output format (one TakesOutput
    // took), a store sized for output buffers of output_frames frames and
    // one drain more, the capture format, the clock bridge, pre-buffering
    // from the start. False when the capture format is not 32-bit float or
    // the store cannot be allocated.
    bool Start(const WaveFormat* capture, const WaveFormat* output, uint32_t output_frames);

    // Sets the filter up for a whole file's render on one clock, read with
    // PlayWindows in blocks of at most `block` frames: as Start, but packets
    // go straight into the store, without the clock bridge and its tables.
    bool StartFile(const WaveFormat* capture, const WaveFormat* output, uint32_t block);

    // One capture packet: `data` null for a silent one; `discontinuity`
    // where it was flagged as following a gap.
    void WritePacket(uint32_t frames, const uint8_t* data, bool discontinuity);

    // One output buffer of output_frames frames, after the drain of the
    // packets that came before it: filtered once the store holds
    // PrebufferFrames(), else silent until it does again.
    PlayedBuffer Play(const BandControls& controls, uint8_t* out);

    // A whole file's render: fills `out` with at most `most` frames whose
    // windows are complete, an even count until `to_end`, and returns how
    // many. (The kernel's order of additions follows a window's parity in
    // the store, which compaction keeps only for even reads.)
    uint32_t PlayWindows(uint32_t most, bool to_end, uint8_t* out);

    // Frames held by the store: its level, and so the latency on the
    // output's clock.
    uint32_t Held() const;

    // Frames the store holds before a filtered buffer is played.
    uint64_t PrebufferFrames() const { return prebuffer_frames_; }

private:
    // Start's set-up of the filter, its store and its FFT engine.
    bool StartStore(const WaveFormat* capture, const WaveFormat* output, uint32_t output_frames);

    CFIRFilter filter_;
    CClockBridge bridge_;
    bool bridged_; // packets go through the bridge
    uint32_t output_frames_;
    uint64_t prebuffer_frames_;
    bool prebuffering_;
};
