#include "audio/stream_format.h"

#include "engine/filter/capture_buffer.h"

void BuildOutputFormat(WaveFormat* format, uint32_t capture_rate, int32_t output_bit)
{
    // Exclusive streams take integer PCM; nothing in the program converts
    // rates, so the output runs at the rate of the captured mix.
    format->sub_format = kSubtypePcm;
    format->samples_per_sec = capture_rate;
    if (output_bit != 0) {
        uint32_t container_bits = (static_cast<uint32_t>(output_bit) + 7) / 8 * 8;
        format->bits_per_sample = static_cast<uint16_t>(container_bits);
        format->block_align = static_cast<uint16_t>(format->bits_per_sample / 8 * format->channels);
        format->valid_bits_per_sample = static_cast<uint16_t>(output_bit);
    }
    format->avg_bytes_per_sec = format->block_align * format->samples_per_sec;
}

void UseWideContainers(WaveFormat* format)
{
    format->bits_per_sample = 32;
    format->block_align = static_cast<uint16_t>(4 * format->channels);
    format->avg_bytes_per_sec = format->block_align * format->samples_per_sec;
}

int64_t AlignedDuration(uint32_t rate, uint32_t frames)
{
    return static_cast<int64_t>(10000.0 * 1000 / rate * frames + 0.5);
}

int64_t StreamDuration(int32_t buffer_duration, int64_t minimum_period)
{
    constexpr int64_t k100ms = 1000000;
    if (buffer_duration != 0) {
        // Milliseconds to 100-ns units in 32 bits, exact up to 429 496 ms.
        return static_cast<int64_t>(static_cast<uint32_t>(buffer_duration) * 10000u);
    }
    int64_t duration = minimum_period;
    // A device reporting no positive period would never reach 100 ms.
    if (minimum_period <= 0)
        return duration;
    while (duration < k100ms - minimum_period)
        duration += minimum_period;
    return duration;
}
