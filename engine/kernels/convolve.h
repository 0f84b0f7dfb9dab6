// The three-band convolution kernels: output frames of all three bands, left
// and right, each from its window of stored frames and the scaled TapTable.
// Four paths compute the same bits: the scalar reference, SSE (one frame per
// call), AVX2 and AVX-512 (many frames per call); the program runs the
// widest one the CPU and the OS support.
#pragma once

#include <cstdint>

// Slots 0..5: LPF L, LPF R, BPF L, BPF R, HPF L, HPF R (clamped);
// slots 6 and 7: the largest magnitude of the six sums before clamping.
struct alignas(16) BandFrame {
    float v[8];
};

// Output limits that ReadData sets when it rescales the taps and the kernel
// reads: every lane of upper is +F, every lane of lower is -F.
struct ClampLimitVectors {
    alignas(16) float upper[4];
    alignas(16) float lower[4];
};
extern ClampLimitVectors ClampLimits;

// Contract (both versions):
//   out     16-byte aligned.
//   frames  8-byte aligned; tap_count stereo frames of two floats readable.
//           16-byte aligned for even store indices, 8 past for odd ones.
//   taps    16-byte aligned; tap_count entries of four floats readable, the
//           fourth float of each entry 0.
// S(b, ch) = sum over j of T[j].b * x[j].ch, added in this order:
//   1. E = O = 0; if frames is not 16-byte aligned and N > 0: E = T[0]x[0], s = 1.
//   2. groups of 8 taps from s as four pairs: E += T[j]x[j]; O += T[j+1]x[j+1].
//   3. S = E + O.  4. the 0..7 remaining taps one by one: S += T[j]x[j].
//   5. peak = max |S|.  6. S = max(min(S, upper), lower); a NaN S becomes 0.
// Single precision, no fused multiply-add.
void ConvolveBands(BandFrame* out, const float* frames, const float* taps, uint32_t tap_count);

// The same result, one value at a time in the same order: the reference
// every other path is tested against.
void ConvolveBandsReference(BandFrame* out, const float* frames, const float* taps,
                            uint32_t tap_count);

// Steps 5 and 6 on the six sums of one frame (BandFrame's slot order): the
// clamped sums into slots 0..5, the peak into 6 and 7. For engines that make
// the sums another way.
void FinishBandFrame(BandFrame* out, const float sums[6]);

// A block of frame_count consecutive output frames: out[i] is the frame of
// the window at frames + 2 * i, exactly as ConvolveBands would make it (so
// frames at odd store indices take the one-tap start). frames is 8-byte
// aligned, frame_count + tap_count - 1 frames readable; out has frame_count
// frames. Nothing else is read or written.
using ConvolveBlockFunction = void (*)(BandFrame* out, const float* frames, uint32_t frame_count,
                                       const float* taps, uint32_t tap_count);
void ConvolveBlockReference(BandFrame* out, const float* frames, uint32_t frame_count,
                            const float* taps, uint32_t tap_count);
void ConvolveBlockSse(BandFrame* out, const float* frames, uint32_t frame_count, const float* taps,
                      uint32_t tap_count);
// Only where PathAvailable says so: they are built for wider instruction sets.
void ConvolveBlockAvx2(BandFrame* out, const float* frames, uint32_t frame_count, const float* taps,
                       uint32_t tap_count);
void ConvolveBlockAvx512(BandFrame* out, const float* frames, uint32_t frame_count,
                         const float* taps, uint32_t tap_count);
