#include "base/wave_format.h"

#include <cstring>

bool SameSubFormat(const WaveFormatGuid& a, const WaveFormatGuid& b)
{
    return std::memcmp(&a, &b, sizeof(WaveFormatGuid)) == 0;
}

void WidenWaveFormat(const WaveFormat* format, WaveFormat* out)
{
    if (format->format_tag == kWaveFormatExtensible) {
        std::memcpy(out, format, sizeof(WaveFormat));
        return;
    }
    std::memcpy(out, format, kWaveFormatPlainBytes);
    out->valid_bits_per_sample = format->bits_per_sample;
    out->channel_mask = 0;
    out->sub_format = kSubtypePcm;
}

WaveFormat ExtensibleFormat(uint16_t channels, uint32_t rate, uint16_t bits,
                            const WaveFormatGuid& sub_format)
{
    WaveFormat f{};
    f.format_tag = kWaveFormatExtensible;
    f.channels = channels;
    f.samples_per_sec = rate;
    f.block_align = static_cast<uint16_t>(channels * bits / 8);
    f.avg_bytes_per_sec = rate * f.block_align;
    f.bits_per_sample = bits;
    f.extra_size = 22;
    f.valid_bits_per_sample = bits;
    f.sub_format = sub_format;
    return f;
}
