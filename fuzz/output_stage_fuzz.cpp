// The output stage: random taps, gain, output format and controls, then
// packets and reads. Every output byte and console line is checked against
// a model that filters with ConvolveBandsReference, so whichever kernel
// ReadData runs is held to it bit for bit.
#undef NDEBUG // the assertions are the checks, whatever the build type
#include <algorithm>
#include <bit>
#include <cassert>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <fuzzer/FuzzedDataProvider.h>
#include <memory>
#include <string>
#include <vector>

#include "base/console.h"
#include "engine/kernels/convolve.h"
#include "engine/filter/fir_filter.h"

namespace {

struct alignas(16) Quad {
    float v[4]; // one tap entry, or two stereo frames
};

} // namespace

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
    std::vector<Quad> taps(tap_count + 1, Quad{});
    for (uint32_t k = 0; k < tap_count; ++k)
        for (int band = 0; band < 3; ++band)
            taps[k].v[band] = value();
    // The table in a block of exactly its size, aligned only as the kernel requires.
    f.taps = static_cast<float*>(std::aligned_alloc(16, taps.size() * sizeof(Quad)));
    std::memcpy(f.taps, taps.data(), taps.size() * sizeof(Quad));
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
    const uint32_t spare = fdp.ConsumeBool() ? tap_count : 0;
    f.tap_count = spare;
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
    const int32_t kind = f.sample_kind;

    // The model: taps scaled once. What the store holds is the frame-store
    // target's business; here the unread frames are taken from it as stored.
    const float full = kind == kSampleKindPcm16  ? 32767.0f
                       : kind != kSampleKindNone ? 2147483648.0f
                                                 : 1.0f;
    const float gain = f.attenuation * full;
    for (uint32_t k = 0; k < tap_count; ++k)
        for (int band = 0; band < 3; ++band)
            taps[k].v[band] *= gain;
    const uint32_t capacity = f.buffer_msec;
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
        const uint32_t r = f.read_pos, w = f.write_pos;
        const uint32_t avail = w > r ? w - r : 0;
        const uint32_t n = std::min(count, avail);
        const float* unread = reinterpret_cast<const float*>(f.storage) + 2 * r;
        std::vector<float> stored(unread, unread + 2 * std::min(avail, tap_count + n));
        console.clear();
        std::wstring expected;
        assert(f.ReadData(count, out.get()) == n);

        std::vector<uint8_t> model(count * block, 0);
        float peak = 0.0f;
        if (n > 0 && r + tap_count + n <= capacity + spare && float_capture &&
            kind != kSampleKindNone) {
            // The store as the windows see it: unread frames in place, zeros
            // past them (nothing captured yet) and before them (not read).
            std::vector<Quad> frames((r + tap_count + n + 1) / 2, Quad{});
            float* x = frames[0].v;
            std::copy(stored.begin(), stored.end(), x + 2 * r);
            std::fill_n(ClampLimits.upper, 4, full);
            std::fill_n(ClampLimits.lower, 4, -full);
            const uint32_t sample_bytes = kind == kSampleKindPcm16   ? 2
                                          : kind == kSampleKindPcm24 ? 3
                                                                     : 4;
            const uint32_t slot =
                std::max<uint32_t>(f.output_format.bits_per_sample / 8, sample_bytes);
            const uint32_t used = std::min<size_t>({f.output_format.channels, block / slot, 8});
            const bool six = f.output_format.channels >= 6;
            for (uint32_t i = 0; i < n; ++i) {
                BandFrame b;
                if (f.divider_through) {
                    const float* centre = x + 2 * (r + i + tap_count / 2);
                    const float left = (full * centre[0]) * f.attenuation;
                    const float right = (full * centre[1]) * f.attenuation;
                    b = {{left, right, left, right, left, right}};
                } else {
                    ConvolveBandsReference(&b, x + 2 * (r + i), taps[0].v, tap_count);
                    peak = b.v[7] > peak ? b.v[7] : peak;
                }
                float v[8] = {b.v[2], b.v[3], b.v[0], b.v[1], b.v[4], b.v[5], 0.0f, 0.0f};
                if (f.mute_low)
                    v[0] = v[1] = 0.0f;
                if (f.mute_lfe || !six)
                    v[2] = v[3] = 0.0f;
                if (f.mute_high || !six)
                    v[4] = v[5] = 0.0f;
                if (f.mono_lfe && six)
                    v[2] = v[3] = (v[3] + v[2]) * 0.5f;
                for (uint32_t ch = 0; ch < used; ++ch) {
                    const float s = v[ch];
                    int32_t q = s != s               ? 0
                                : s >= 2147483648.0f ? INT32_MAX
                                : s < -2147483648.0f ? INT32_MIN
                                                     : static_cast<int32_t>(s);
                    if (kind == kSampleKindPcm16)
                        q = std::clamp(q, -32768, 32767) * 65536;
                    // The top bytes of the 32-bit value, at the top of the container.
                    std::memcpy(&model[i * block + ch * slot + slot - sample_bytes],
                                reinterpret_cast<const uint8_t*>(&q) + 4 - sample_bytes,
                                sample_bytes);
                }
            }
        }
        if (peak > full) {
            wchar_t line[64];
            std::swprintf(line, 64, L"WARNING:Clip signal! %.3f\n",
                          static_cast<double>(peak / full));
            expected += line;
        }
        if (n < count)
            expected += L"WARNING:Buffer empty!\n";
        assert(std::equal(model.begin(), model.end(), out.get()));
        assert(console == expected);
    }
    return 0;
}
