// The frame store as its reader sees it: any capture format and store
// length, then packets and reads that only drain (no output kind). Every
// frame written stays readable, in order, until a packet that does not fit
// beside the unread frames empties the store with its warning; a read takes
// what is held and warns when it is short; nothing is read or written past
// a packet, a read's buffer or the store's block.
#undef NDEBUG // the assertions are the checks, whatever the build type
#include <algorithm>
#include <cassert>
#include <cstring>
#include <deque>
#include <fuzzer/FuzzedDataProvider.h>
#include <memory>
#include <string>
#include <vector>

#include "base/console.h"
#include "engine/filter/fir_filter.h"

namespace {

// What the store keeps of frame `i` of a packet: its first two samples, or
// its one sample twice; nothing of a silent packet or of frames narrower
// than a sample.
std::vector<uint8_t> Kept(const uint8_t* packet, size_t i, const WaveFormat& format,
                          uint32_t frame_bytes)
{
    std::vector<uint8_t> frame(frame_bytes);
    if (packet == nullptr)
        return frame;
    const uint32_t block = format.block_align, sample_bytes = frame_bytes / 2;
    const uint8_t* src = packet + i * block;
    if (format.channels != 1 && block >= frame_bytes)
        std::copy(src, src + frame_bytes, frame.begin());
    else if (block >= sample_bytes)
        for (uint32_t b = 0; b < frame_bytes; ++b)
            frame[b] = src[b % sample_bytes];
    return frame;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider fdp(data, size);
    WaveFormat format{};
    fdp.ConsumeData(&format, sizeof(format));
    const bool extensible = format.format_tag == kWaveFormatExtensible;
    // A plain format on the heap is only its 18 bytes: ASan reports a read past them.
    const size_t format_bytes = extensible ? sizeof(WaveFormat) : kWaveFormatPlainBytes;
    std::unique_ptr<uint8_t[]> format_block(new uint8_t[format_bytes]);
    std::memcpy(format_block.get(), &format, format_bytes);

    CFIRFilter f;
    f.buffer_msec = fdp.ConsumeIntegral<uint32_t>();
    f.tap_count = fdp.ConsumeIntegral<uint16_t>();
    f.output_format.block_align = fdp.ConsumeIntegralInRange<uint16_t>(0, 3);
    const uint32_t frame_bytes = 2 * ((format.bits_per_sample + 7u) / 8u);
    const uint32_t length = f.buffer_msec * format.samples_per_sec / 1000; // wraps in 32 bits
    const uint64_t bytes = (uint64_t{length} + f.tap_count) * frame_bytes;
    if (bytes > (1u << 14) && bytes <= UINT32_MAX)
        return 0; // allocatable, but too slow to fuzz
    const bool usable = bytes <= UINT32_MAX && extensible &&
                        SameSubFormat(format.sub_format, kSubtypeFloat) &&
                        format.bits_per_sample == 32;
    assert(f.SetFormat(reinterpret_cast<const WaveFormat*>(format_block.get())) == usable);
    const uint32_t capacity = bytes <= UINT32_MAX ? length : 0; // 0: no block to be had
    assert(f.capacity == capacity);

    static std::wstring console;
    console.clear();
    SetConsoleSink([](const wchar_t* text) { console += text; });
    std::wstring expected;
    std::deque<std::vector<uint8_t>> unread;
    while (fdp.remaining_bytes() > 0) {
        if (!fdp.ConsumeBool()) {
            const uint32_t frames = fdp.ConsumeIntegralInRange<uint32_t>(0, 4096);
            // Packets too large to allocate are written as silent ones.
            const size_t packet_bytes = size_t{frames} * format.block_align;
            const bool silent = fdp.ConsumeBool() || packet_bytes > (1u << 14);
            std::unique_ptr<uint8_t[]> packet(silent ? nullptr : new uint8_t[packet_bytes]());
            if (!silent) {
                const std::vector<uint8_t> given = fdp.ConsumeBytes<uint8_t>(packet_bytes);
                std::copy(given.begin(), given.end(), packet.get());
            }
            assert(f.WriteData(frames, packet.get()));
            if (frames > capacity)
                expected += L"WARNING:CCaptureBuffer::WriteData() frames is too big for buffer!\n";
            const uint32_t kept = std::min(frames, capacity);
            if (unread.size() + kept > capacity) {
                expected += L"WARNING:Buffer full!\n";
                unread.clear();
            }
            for (uint32_t i = 0; i < kept; ++i)
                unread.push_back(Kept(packet.get(), i, f.capture_format, frame_bytes));
        } else {
            const uint32_t count = fdp.ConsumeIntegralInRange<uint32_t>(0, 4096);
            const size_t out_bytes = size_t{count} * f.output_format.block_align;
            std::unique_ptr<uint8_t[]> out(new uint8_t[out_bytes]);
            std::memset(out.get(), 0xCD, out_bytes);
            const size_t n = std::min<size_t>(count, unread.size());
            assert(f.ReadData(count, out.get()) == n);
            assert(std::all_of(out.get(), out.get() + out_bytes, [](uint8_t b) { return b == 0; }));
            unread.erase(unread.begin(), unread.begin() + n);
            if (n < count)
                expected += L"WARNING:Buffer empty!\n";
        }
        assert(console == expected);
        assert(f.read_pos <= f.write_pos && f.write_pos <= capacity);
        assert(f.write_pos - f.read_pos == unread.size());
        for (size_t i = 0; i < unread.size(); ++i)
            assert(std::equal(unread[i].begin(), unread[i].end(),
                              f.storage + (f.read_pos + i) * frame_bytes));
    }
    return 0;
}
