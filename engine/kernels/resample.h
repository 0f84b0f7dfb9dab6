// The resampler's kernels: one output frame of both channels per position,
// a 64-tap windowed sinc whose taps are interpolated between two phase rows.
// Every vector path gives the bits of the scalar reference.
#pragma once

#include <cstdint>

constexpr uint32_t kResamplerTaps = 64;
constexpr uint32_t kResamplerPhases = 1024;
// Frames of input held back while tracking: the centre tap is tap 31, so an
// output at input frame n needs frames n - 31 .. n + 32.
constexpr uint32_t kResamplerHistory = kResamplerTaps / 2 - 1;
constexpr uint64_t kOneFrame = uint64_t{1} << 32; // 1.0 in 32.32 fixed point

// The phase table: kResamplerPhases rows of kResamplerTaps coefficients
// followed by kResamplerTaps differences to the next row (row 1024 being row
// 0 one frame later), each computed in double and rounded once to float.
// Coefficient j of fraction f weighs input frame n - 31 + j for an output at
// n + f. 32-byte aligned; free with AlignedFree. Null when out of memory.
float* MakeResamplerTable();

// Contract of every path:
//   out    count frames of (left, right).
//   left, right  planar input; frame i of the window of position p (32.32)
//          is left[(p >> 32) + i], i = 0..63, readable for every output.
// Output k is at position pos + k * step. With a = the low 22 bits of the
// fraction times 2^-22 and r the row of the top 10 bits:
//   c[j] = r.coef[j] + a * r.diff[j]            (multiply, then add)
//   acc[l] = 0; for k = 0..3: acc[l] += c[16k + l] * x[16k + l], l = 0..15
//   s8[l] = acc[l] + acc[l + 8]; s4[l] = s8[l] + s8[l + 4];
//   s2[l] = s4[l] + s4[l + 2]; y = s2[0] + s2[1]
// Single precision, no fused multiply-add: every path gives the same bits.
using ResampleFunction = void (*)(float* out, const float* left, const float* right, uint64_t pos,
                                  uint64_t step, uint32_t count, const float* table);
void ResampleReference(float* out, const float* left, const float* right, uint64_t pos,
                       uint64_t step, uint32_t count, const float* table);
void ResampleSse(float* out, const float* left, const float* right, uint64_t pos, uint64_t step,
                 uint32_t count, const float* table);
// Only where PathAvailable says so.
void ResampleAvx2(float* out, const float* left, const float* right, uint64_t pos, uint64_t step,
                  uint32_t count, const float* table);
void ResampleAvx512(float* out, const float* left, const float* right, uint64_t pos, uint64_t step,
                    uint32_t count, const float* table);
