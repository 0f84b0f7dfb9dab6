// The frame store: any capture format and store length, then packets, reads
// that only drain (no output kind) and moves of the read position, checked
// against a model of the stored bytes, the positions and the warning lines.
#undef NDEBUG // the assertions are the checks, whatever the build type
#include <algorithm>
#include <cassert>
#include <cstring>
#include <fuzzer/FuzzedDataProvider.h>
#include <memory>
#include <string>
#include <vector>

#include "base/console.h"
#include "engine/filter/fir_filter.h"

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

    // Capacity wraps round in 32 bits; storage past 32 bits is never allocated.
    uint32_t capacity = f.buffer_msec * format.samples_per_sec / 1000;
    const uint32_t sample_bytes = (format.bits_per_sample + 7u) / 8u;
    const uint32_t frame_bytes = 2 * sample_bytes;
    const uint64_t bytes = (uint64_t{capacity} + f.tap_count) * frame_bytes;
    if (bytes > (1u << 14) && bytes <= UINT32_MAX)
        return 0; // allocatable, but too slow to fuzz
    if (bytes > UINT32_MAX)
        capacity = 0;
    const bool usable = bytes <= UINT32_MAX && extensible &&
                        SameSubFormat(format.sub_format, kSubtypeFloat) &&
                        format.bits_per_sample == 32;
    assert(f.SetFormat(reinterpret_cast<const WaveFormat*>(format_block.get())) == usable);
    assert(f.capacity == capacity);

    static std::wstring console;
    console.clear();
    SetConsoleSink([](const wchar_t* text) { console += text; });
    std::wstring expected;
    std::vector<uint8_t> store(size_t{capacity} * frame_bytes);
    uint64_t w = 0, r = 0;
    const uint32_t block = format.block_align;
    const bool two_samples = format.channels != 1 && block >= frame_bytes;
    while (fdp.remaining_bytes() > 0) {
        const uint8_t op = fdp.ConsumeIntegral<uint8_t>() % 3;
        if (op == 0) {
            uint32_t frames = fdp.ConsumeIntegralInRange<uint32_t>(0, 4096);
            // Packets too large to allocate are written as silent ones.
            const size_t packet_bytes = size_t{frames} * block;
            const bool silent = fdp.ConsumeBool() || packet_bytes > (1u << 14);
            std::unique_ptr<uint8_t[]> packet(silent ? nullptr : new uint8_t[packet_bytes]());
            if (!silent) {
                const std::vector<uint8_t> given = fdp.ConsumeBytes<uint8_t>(packet_bytes);
                std::copy(given.begin(), given.end(), packet.get());
            }
            assert(f.WriteData(frames, packet.get()));
            if (frames > capacity) {
                expected += L"WARNING:CCaptureBuffer::WriteData() frames is too big for buffer!\n";
                frames = capacity;
            }
            if (w + frames > capacity) {
                if (r > w) {
                    expected += L"ERROR:CCaptureBuffer::WriteData() internal error.\n";
                } else {
                    store.erase(store.begin(), store.begin() + r * frame_bytes);
                    store.resize(size_t{capacity} * frame_bytes);
                    w -= r;
                    r = 0;
                }
            }
            if (w + frames > capacity) {
                w = r = 0;
                expected += L"WARNING:Buffer full!\n";
            }
            // Byte b of a stored frame: byte b of the captured frame, or of
            // its first sample when the frame does not hold two.
            for (size_t i = 0; i < frames; ++i)
                for (uint32_t b = 0; b < frame_bytes; ++b)
                    store[(w + i) * frame_bytes + b] =
                        silent || (!two_samples && block < sample_bytes)
                            ? 0
                            : packet[i * block + (two_samples ? b : b % sample_bytes)];
            w += frames;
        } else if (op == 1) {
            const uint32_t count = fdp.ConsumeIntegralInRange<uint32_t>(0, 4096);
            const size_t out_bytes = size_t{count} * f.output_format.block_align;
            std::unique_ptr<uint8_t[]> out(new uint8_t[out_bytes]);
            std::memset(out.get(), 0xCD, out_bytes);
            const uint64_t n = std::min<uint64_t>(count, w >= r ? w - r : 0);
            assert(f.ReadData(count, out.get()) == n);
            assert(std::equal(out.get(), out.get() + out_bytes,
                              std::vector<uint8_t>(out_bytes).begin()));
            r += n;
            if (n < count)
                expected += L"WARNING:Buffer empty!\n";
        } else {
            // Anywhere in the store, also past the last written frame.
            f.read_pos = r = fdp.ConsumeIntegralInRange<uint32_t>(0, capacity);
        }
        assert(console == expected);
        assert(f.write_pos == w && f.read_pos == r);
        assert(r >= w || std::equal(f.storage + r * frame_bytes, f.storage + w * frame_bytes,
                                    store.begin() + r * frame_bytes));
    }
    return 0;
}
