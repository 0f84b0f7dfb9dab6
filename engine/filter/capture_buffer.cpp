#include "engine/filter/capture_buffer.h"

#include <cstring>

#include "base/aligned_memory.h"
#include "base/console.h"

CCaptureBuffer::CCaptureBuffer()
    : capture_format{}, output_format{}, buffer_msec(1000), capacity(0), storage(nullptr),
      frame_bytes(0), write_pos(0), read_pos(0), mute_lfe(0), mute_low(0), mute_high(0),
      sample_kind(kSampleKindNone), tap_count(0), spare_frames(0), drops(0)
{
}

CCaptureBuffer::~CCaptureBuffer()
{
    AlignedFree(storage);
}

uint32_t CCaptureBuffer::GetTapCount() const
{
    return 0;
}

bool CCaptureBuffer::SetFormat(const WaveFormat* format)
{
    WidenWaveFormat(format, &capture_format);

    AlignedFree(storage);
    storage = nullptr;
    ++drops;
    write_pos = 0;
    read_pos = 0;

    // Unsigned 32-bit on purpose: the store's length in frames is defined by
    // this product, wrap-around included.
    capacity = buffer_msec * capture_format.samples_per_sec / 1000;
    frame_bytes = ((capture_format.bits_per_sample + 7u) / 8u) * 2u;
    spare_frames = tap_count;

    // The filter reads up to tap_count frames past capacity. A block whose
    // size does not fit 32 bits is never asked for: it is a failed
    // allocation like any other.
    uint64_t bytes = (static_cast<uint64_t>(capacity) + tap_count) * frame_bytes;
    if (bytes <= UINT32_MAX)
        storage = static_cast<uint8_t*>(AlignedAlloc(static_cast<size_t>(bytes)));
    if (storage == nullptr) {
        // No room to keep anything: every later write stores no frame and
        // every read finds the store empty.
        capacity = 0;
        spare_frames = 0;
        return false;
    }

    return SameSubFormat(capture_format.sub_format, kSubtypeFloat) &&
           capture_format.bits_per_sample == 32;
}

uint32_t CCaptureBuffer::MakeRoom(uint32_t frames)
{
    if (frames > capacity) {
        ConsolePrint(L"WARNING:CCaptureBuffer::WriteData() frames is too big for buffer!\n");
        frames = capacity;
    }
    if (static_cast<uint64_t>(write_pos) + frames > capacity) {
        if (read_pos > write_pos) {
            ConsolePrint(L"ERROR:CCaptureBuffer::WriteData() internal error.\n");
        } else {
            std::memmove(storage, storage + static_cast<size_t>(read_pos) * frame_bytes,
                         static_cast<size_t>(write_pos - read_pos) * frame_bytes);
            write_pos -= read_pos;
            read_pos = 0;
        }
    }
    if (static_cast<uint64_t>(write_pos) + frames > capacity) {
        write_pos = 0;
        read_pos = 0;
        ++drops;
        ConsolePrint(L"WARNING:Buffer full!\n");
    }
    return frames;
}

bool CCaptureBuffer::WriteData(uint32_t frames, const uint8_t* data)
{
    frames = MakeRoom(frames);
    if (frames == 0)
        return true;

    uint8_t* dst = storage + static_cast<size_t>(write_pos) * frame_bytes;
    const uint32_t block = capture_format.block_align;
    const uint32_t sample_bytes = frame_bytes / 2;
    if (data == nullptr) {
        std::memset(dst, 0, static_cast<size_t>(frames) * frame_bytes);
    } else if (capture_format.channels != 1 && block == frame_bytes) {
        std::memcpy(dst, data, static_cast<size_t>(frames) * frame_bytes);
    } else if (capture_format.channels != 1 && block > frame_bytes) {
        for (uint32_t i = 0; i < frames; ++i)
            std::memcpy(dst + static_cast<size_t>(i) * frame_bytes,
                        data + static_cast<size_t>(i) * block, frame_bytes);
    } else if (block >= sample_bytes) {
        // One channel (or frames too short for two samples): the single
        // sample plays on both sides, and nothing past the frame is read.
        for (uint32_t i = 0; i < frames; ++i) {
            const uint8_t* src = data + static_cast<size_t>(i) * block;
            uint8_t* frame = dst + static_cast<size_t>(i) * frame_bytes;
            std::memcpy(frame, src, sample_bytes);
            std::memcpy(frame + sample_bytes, src, sample_bytes);
        }
    } else {
        // Frames narrower than one sample hold nothing that could be read.
        std::memset(dst, 0, static_cast<size_t>(frames) * frame_bytes);
    }
    write_pos += frames;
    return true;
}

void CCaptureBuffer::WriteStereo(uint32_t frames, const float* lr)
{
    frames = MakeRoom(frames);
    if (frames > 0)
        std::memcpy(storage + static_cast<size_t>(write_pos) * frame_bytes, lr,
                    static_cast<size_t>(frames) * frame_bytes);
    write_pos += frames;
}

uint32_t StoreMilliseconds(uint64_t frames, uint32_t rate)
{
    constexpr uint32_t kDefaultMs = 1000;
    if (rate == 0)
        return kDefaultMs;
    const uint64_t most = UINT32_MAX / rate; // capacity = ms * rate / 1000 in 32 bits
    const uint64_t ms = (frames * 1000 + rate - 1) / rate;
    if (ms <= kDefaultMs)
        return kDefaultMs;
    return static_cast<uint32_t>(ms < most ? ms : most);
}

uint64_t PrebufferFrames(uint32_t output_frames, uint32_t tap_count)
{
    const uint64_t two_buffers = 2ull * output_frames;
    const uint64_t whole_windows =
        tap_count == 0 ? 0 : uint64_t{output_frames} + tap_count + kLatePacketFrames;
    return two_buffers > whole_windows ? two_buffers : whole_windows;
}

uint64_t StoreFrames(uint32_t output_frames, uint32_t tap_count)
{
    return PrebufferFrames(output_frames, tap_count) + 2ull * output_frames + tap_count;
}
