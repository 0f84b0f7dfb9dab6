#include "wave_format.h"

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
