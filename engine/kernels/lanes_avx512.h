// The AVX-512F vector operations that the kernel and the resampler both
// use: sixteen floats a vector. Included only by files built with
// -mavx512f -mno-fma.
#pragma once

#if defined(__GNUC__) && !defined(__clang__)
// GCC 12's AVX-512 header leaves some values undefined on purpose, which its
// own -Wmaybe-uninitialized then reports wherever they are inlined.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <immintrin.h>
#pragma GCC diagnostic pop
#else
#include <immintrin.h>
#endif

#include <cstdint>

struct Avx512Basics {
    using Vec = __m512;
    static constexpr uint32_t kLanes = 16;

    static Vec Zero() { return _mm512_setzero_ps(); }
    static Vec Load(const float* p) { return _mm512_loadu_ps(p); }
    static void Store(float* p, Vec v) { _mm512_storeu_ps(p, v); }
    static Vec Add(Vec a, Vec b) { return _mm512_add_ps(a, b); }
    static Vec Mul(Vec a, Vec b) { return _mm512_mul_ps(a, b); }
};
