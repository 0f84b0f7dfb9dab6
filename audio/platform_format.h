// The portable format record and the platform's WAVEFORMATEXTENSIBLE are
// the same bytes: formats pass between the engine and the audio API by a
// cast, which these checks keep honest.
#pragma once

#include <windows.h>

#include <mmreg.h>

#include <cstddef>

#include "base/wave_format.h"

static_assert(sizeof(WaveFormat) == sizeof(WAVEFORMATEXTENSIBLE));
static_assert(offsetof(WaveFormat, format_tag) == offsetof(WAVEFORMATEX, wFormatTag));
static_assert(offsetof(WaveFormat, channels) == offsetof(WAVEFORMATEX, nChannels));
static_assert(offsetof(WaveFormat, samples_per_sec) == offsetof(WAVEFORMATEX, nSamplesPerSec));
static_assert(offsetof(WaveFormat, avg_bytes_per_sec) == offsetof(WAVEFORMATEX, nAvgBytesPerSec));
static_assert(offsetof(WaveFormat, block_align) == offsetof(WAVEFORMATEX, nBlockAlign));
static_assert(offsetof(WaveFormat, bits_per_sample) == offsetof(WAVEFORMATEX, wBitsPerSample));
static_assert(offsetof(WaveFormat, extra_size) == offsetof(WAVEFORMATEX, cbSize));
static_assert(offsetof(WaveFormat, valid_bits_per_sample) ==
              offsetof(WAVEFORMATEXTENSIBLE, Samples.wValidBitsPerSample));
static_assert(offsetof(WaveFormat, channel_mask) == offsetof(WAVEFORMATEXTENSIBLE, dwChannelMask));
static_assert(offsetof(WaveFormat, sub_format) == offsetof(WAVEFORMATEXTENSIBLE, SubFormat));

inline const WAVEFORMATEX* ToPlatformFormat(const WaveFormat* format)
{
    return reinterpret_cast<const WAVEFORMATEX*>(format);
}

inline const WaveFormat* FromPlatformFormat(const WAVEFORMATEX* format)
{
    return reinterpret_cast<const WaveFormat*>(format);
}
