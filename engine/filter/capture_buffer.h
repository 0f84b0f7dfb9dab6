// CCaptureBuffer: the frame store between the capture stream and the filter.
// It keeps the first two channels of every captured frame, in the capture's
// sample format, in one flat 32-byte aligned block. Writing appends behind
// write_pos; unread frames move back to the start only when a packet would
// not fit behind them. The block has tap_count spare frames past capacity
// because the filter reads that far ahead of the last written frame.
#pragma once

#include <cstdint>

#include "base/wave_format.h"

class CCaptureBuffer {
public:
    CCaptureBuffer();
    virtual ~CCaptureBuffer();
    CCaptureBuffer(const CCaptureBuffer&) = delete;
    CCaptureBuffer& operator=(const CCaptureBuffer&) = delete;

    // Takes the capture stream's format (plain or extensible; only the first
    // 18 bytes of a plain one are read), resets and sizes the store.
    // True only for 32-bit IEEE float. Also false when the storage cannot be
    // allocated; the store is then empty with capacity 0.
    bool SetFormat(const WaveFormat* format);

    // Appends `frames` capture frames from `data`, a packet in
    // capture_format; a null `data` is a silent packet (zero frames stored).
    // Always true.
    bool WriteData(uint32_t frames, const uint8_t* data);

    // Appends `frames` frames of two floats (left, right), already in the
    // store's layout: only for a 32-bit float capture format. The same room
    // is made, with the same warnings, as for WriteData.
    void WriteStereo(uint32_t frames, const float* lr);

    virtual uint32_t GetTapCount() const;

    // Frames written and not yet read. The store is not a ring: read_pos
    // never passes write_pos, and if it did nothing between them would be
    // data.
    uint32_t Held() const { return write_pos >= read_pos ? write_pos - read_pos : 0; }

    WaveFormat capture_format;
    WaveFormat output_format;
    uint32_t buffer_msec;
    uint32_t capacity;
    uint8_t* storage;
    uint32_t frame_bytes;
    uint32_t write_pos;
    uint32_t read_pos;
    uint8_t mute_lfe;
    uint8_t mute_low;
    uint8_t mute_high;
    int32_t sample_kind; // SampleKind
    uint32_t tap_count;
    // tap_count when the storage was last sized: the frames it holds past
    // capacity. ReadData never reaches further than this.
    uint32_t spare_frames;
    // Counts the times the store was emptied without its frames being read
    // (a new format, a full store): engines that keep past input restart.
    uint32_t drops;

private:
    // Moves unread frames to the start, or empties the store, so that
    // `frames` fit behind write_pos; returns the frames that will fit.
    uint32_t MakeRoom(uint32_t frames);
};

// A buffer_msec for a store at `rate` that holds `frames`: 1000, or more
// where they would not fit, up to what the 32-bit capacity can describe.
uint32_t StoreMilliseconds(uint64_t frames, uint32_t rate);

// Frames a store holds beyond a buffer's whole windows for packets that
// come late: from pre-buffering while the clocks agree, and as the clock
// bridge's lowest set point once it follows two clocks.
constexpr uint32_t kLatePacketFrames = 2048;

// Frames the store must hold before a filtered buffer is played: two output
// buffers, and never less than one buffer plus the tap_count - 1 frames its
// last window reaches beyond it, so every window of the buffer is complete,
// and kLatePacketFrames more. Copying then plays at the level tracking
// holds, and a slow loopback, which sinks the store by the controller's
// dead band before the resampler follows it, still leaves whole windows.
uint64_t PrebufferFrames(uint32_t output_frames, uint32_t tap_count);

// The frames a store must have room for while it plays buffers of
// output_frames: the pre-buffered frames and one more drain of capture
// packets (at most the capture buffer, two output buffers), and tap_count
// more, so that the unread frames (a filter's length) move back to the
// start about once per filter length, not every other buffer.
uint64_t StoreFrames(uint32_t output_frames, uint32_t tap_count);

// SampleKind
constexpr int32_t kSampleKindNone = 0;
constexpr int32_t kSampleKindPcm16 = 1;
constexpr int32_t kSampleKindPcm24 = 2;
// 32 valid bits in 32-bit containers: the whole converted value.
constexpr int32_t kSampleKindPcm32 = 3;
