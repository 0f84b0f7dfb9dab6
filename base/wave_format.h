// The extensible wave format record, laid out byte for byte like the
// platform's WAVEFORMATEXTENSIBLE, so the portable engine can take formats
// straight from the audio API without including any Windows header.
#pragma once

#include <cstdint>

#pragma pack(push, 1)
struct WaveFormatGuid {
    uint32_t data1;
    uint16_t data2;
    uint16_t data3;
    uint8_t data4[8];
};

struct WaveFormat {
    uint16_t format_tag; // 0xFFFE = extensible
    uint16_t channels;
    uint32_t samples_per_sec;
    uint32_t avg_bytes_per_sec;
    uint16_t block_align;
    uint16_t bits_per_sample;
    uint16_t extra_size;
    // Extensible part: meaningful only when format_tag is kWaveFormatExtensible,
    // or after a plain format has been widened.
    uint16_t valid_bits_per_sample;
    uint32_t channel_mask;
    WaveFormatGuid sub_format;
};
#pragma pack(pop)

static_assert(sizeof(WaveFormat) == 40, "the record must match WAVEFORMATEXTENSIBLE");

// Bytes of the plain part (format tag up to and including the extra size).
constexpr uint32_t kWaveFormatPlainBytes = 18;
constexpr uint16_t kWaveFormatExtensible = 0xFFFE;

// KSDATAFORMAT_SUBTYPE_PCM {00000001-0000-0010-8000-00AA00389B71}
constexpr WaveFormatGuid kSubtypePcm = {
    0x00000001, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
// KSDATAFORMAT_SUBTYPE_IEEE_FLOAT {00000003-0000-0010-8000-00AA00389B71}
constexpr WaveFormatGuid kSubtypeFloat = {
    0x00000003, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};

// Sub-formats are compared as whole 16-byte values.
bool SameSubFormat(const WaveFormatGuid& a, const WaveFormatGuid& b);

// Copies a plain or extensible format into `out`, widening a plain one:
// valid bits = bits per sample, channel mask 0, sub-format PCM. Only the
// first 18 bytes of a plain format are read.
void WidenWaveFormat(const WaveFormat* format, WaveFormat* out);

// An extensible format of `channels` samples of `bits` each, all of them
// valid, no channel mask: a stream's format as the engine sees it.
WaveFormat ExtensibleFormat(uint16_t channels, uint32_t rate, uint16_t bits,
                            const WaveFormatGuid& sub_format = kSubtypeFloat);
