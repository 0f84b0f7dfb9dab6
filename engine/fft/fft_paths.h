// The FFT's vector paths, one per kernel path (engine/kernels/kernel_dispatch.h):
// the same loops built for the scalar reference, SSE, AVX2 and AVX-512F.
// They give the same bits on every path; the program runs the path the
// kernels run.
#pragma once

#include <cstdint>

// Forward transform of re + i im in place (see CFft); work: 2 * size values.
using FftFloatFunction = void (*)(float* re, float* im, float* work, uint32_t size,
                                  const float* twiddles);
using FftDoubleFunction = void (*)(double* re, double* im, double* work, uint32_t size,
                                   const double* twiddles);
// acc[b] += h[b] * x, b < bands, at bins first .. first + count - 1; each
// spectrum `size` real parts, then `size` imaginary parts; the bands'
// spectra one after another. count a multiple of the vector width where
// first is not 0 or the loop goes one bin at a time.
using SpectraMultiplyAddFunction = void (*)(float* acc, const float* h, const float* x,
                                            uint32_t size, uint32_t bands, uint32_t first,
                                            uint32_t count);

struct FftPath {
    FftFloatFunction fft_float;
    FftDoubleFunction fft_double;
    SpectraMultiplyAddFunction multiply_add;
};
// Indexed by the kernel path.
extern const FftPath kFftPaths[4];
// The entry of the path the kernels run now.
const FftPath& ActiveFftPath();

#define TRIVANDEL_DECLARE_FFT_PATH(suffix)                                                         \
    void FftFloat##suffix(float* re, float* im, float* work, uint32_t size, const float* tw);      \
    void FftDouble##suffix(double* re, double* im, double* work, uint32_t size, const double* tw); \
    void SpectraMultiplyAdd##suffix(float* acc, const float* h, const float* x, uint32_t size,     \
                                    uint32_t bands, uint32_t first, uint32_t count);
TRIVANDEL_DECLARE_FFT_PATH(Reference)
TRIVANDEL_DECLARE_FFT_PATH(Sse)
TRIVANDEL_DECLARE_FFT_PATH(Avx2)
TRIVANDEL_DECLARE_FFT_PATH(Avx512)
#undef TRIVANDEL_DECLARE_FFT_PATH
