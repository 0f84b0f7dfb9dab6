// The resampler's scalar reference: one value at a time, in the order of
// additions of resampler.h. Tests hold every other path to it bit for bit.
#include <cstddef>

#include "engine/kernels/resample.h"

void ResampleReference(float* out, const float* left, const float* right, uint64_t pos,
                       uint64_t step, uint32_t count, const float* table)
{
    for (uint32_t k = 0; k < count; ++k, pos += step) {
        const uint32_t fraction = static_cast<uint32_t>(pos);
        const float* row = table + size_t{fraction >> 22} * 2 * kResamplerTaps;
        const float a = static_cast<float>(fraction & 0x3FFFFFu) * (1.0f / 4194304.0f);
        const float* x[2] = {left + (pos >> 32), right + (pos >> 32)};
        for (uint32_t ch = 0; ch < 2; ++ch) {
            float acc[16];
            for (uint32_t l = 0; l < 16; ++l)
                acc[l] = 0.0f;
            for (uint32_t j = 0; j < kResamplerTaps; ++j) {
                const float c = row[j] + a * row[kResamplerTaps + j];
                acc[j % 16] = acc[j % 16] + c * x[ch][j];
            }
            for (uint32_t width = 8; width > 0; width /= 2)
                for (uint32_t l = 0; l < width; ++l)
                    acc[l] = acc[l] + acc[l + width];
            out[2 * k + ch] = acc[0];
        }
    }
}
