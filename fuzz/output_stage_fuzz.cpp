// The output stage: random taps, gain, output format and controls, then
// packets and reads. Whatever it is given, a read stays within the buffer
// its block alignment gives and the taps' and the store's blocks, takes
// what the store holds, fills the rest with silence and says so, and
// prints nothing else but clip warnings. (Each band's channels, the
// controls and the conversions, case by case: tests/engine/.)
#undef NDEBUG // the assertions are the checks, whatever the build type
#include <algorithm>
#include <bit>
#include <cassert>
#include <cstdlib>
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
    // Mostly ordinary values, sometimes any bit pattern (NaN, infinities).
    auto value = [&fdp] {
        return fdp.ConsumeBool() ? std::bit_cast<float>(fdp.ConsumeIntegral<uint32_t>())
                                 : fdp.ConsumeIntegral<int16_t>() / 16384.0f;
    };

    CFIRFilter f;
    const uint32_t tap_count = fdp.ConsumeIntegral<uint8_t>();
    // The table in a block of exactly its size, aligned only as the kernel requires.
    f.taps = static_cast<float*>(std::aligned_alloc(16, 16 * (tap_count + 1)));
    for (uint32_t i = 0; i < 4 * (tap_count + 1); ++i)
        f.taps[i] = i % 4 == 3 || i >= 4 * tap_count ? 0.0f : value();
    f.attenuation = value();

    const uint16_t capture_channels = fdp.ConsumeIntegralInRange<uint16_t>(1, 3);
    WaveFormat capture{};
    capture.format_tag = kWaveFormatExtensible;
    capture.channels = capture_channels;
    capture.samples_per_sec = 1000;
    capture.block_align = 4 * capture_channels;
    capture.bits_per_sample = 32;
    const bool float_capture = fdp.ConsumeBool();
    capture.sub_format = float_capture ? kSubtypeFloat : kSubtypePcm;
    f.buffer_msec = fdp.ConsumeIntegral<uint8_t>();
    // Taps loaded after the store was sized leave it without spare frames.
    f.tap_count = fdp.ConsumeBool() ? tap_count : 0;
    f.SetFormat(&capture);
    f.tap_count = tap_count;
    // Any output format, consistent or not: the stage must stay within the
    // buffer its block alignment gives.
    WaveFormat output = ExtensibleFormat(1, 48000, 16, kSubtypePcm);
    output.valid_bits_per_sample = fdp.PickValueInArray<uint16_t>({16, 20, 24, 32});
    output.channels = fdp.ConsumeIntegral<uint8_t>();
    output.bits_per_sample = fdp.ConsumeIntegral<uint8_t>();
    output.block_align = fdp.ConsumeIntegral<uint8_t>();
    f.SetOutputFormat(&output);

    static std::wstring console;
    SetConsoleSink([](const wchar_t* text) { console += text; });
    while (fdp.remaining_bytes() > 0) {
        if (fdp.ConsumeBool()) {
            const uint32_t frames = fdp.ConsumeIntegral<uint8_t>();
            const bool silent = fdp.ConsumeBool();
            std::unique_ptr<float[]> packet(silent ? nullptr
                                                   : new float[frames * capture_channels]);
            for (uint32_t i = 0; !silent && i < frames * capture_channels; ++i)
                packet[i] = value();
            f.WriteData(frames, reinterpret_cast<const uint8_t*>(packet.get()));
            continue;
        }

        const uint32_t count = fdp.ConsumeIntegralInRange<uint32_t>(0, 300);
        f.mute_lfe = fdp.ConsumeBool();
        f.mute_low = fdp.ConsumeBool();
        f.mute_high = fdp.ConsumeBool();
        f.mono_lfe = fdp.ConsumeBool();
        f.divider_through = fdp.ConsumeBool();
        const size_t block = f.output_format.block_align;
        std::unique_ptr<uint8_t[]> out(new uint8_t[count * block]);
        std::memset(out.get(), 0xCD, count * block);
        const uint32_t held = f.Held();
        const uint32_t n = std::min(count, held);
        console.clear();
        assert(f.ReadData(count, out.get()) == n);
        assert(f.read_pos <= f.write_pos);
        const bool produced = float_capture && f.sample_kind != kSampleKindNone;
        assert(std::all_of(out.get() + (produced ? n * block : 0), out.get() + count * block,
                           [](uint8_t b) { return b == 0; }));
        std::wstring rest = console;
        while (rest.rfind(L"WARNING:Clip signal! ", 0) == 0)
            rest.erase(0, rest.find(L'\n') + 1);
        assert(rest == (n < count ? L"WARNING:Buffer empty!\n" : L""));
    }
    return 0;
}
