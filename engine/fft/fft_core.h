// The body of the FFT paths: a Stockham radix-4 transform (radix 2 for the
// last stage of an odd power of two) on split real and imaginary arrays,
// and the spectral multiply-add of the convolver. Every loop works element
// by element, without sums across elements, so the compiler's vectors give
// the same bits as the scalar build. Included only by the fft_path_*.cpp
// files, each built for its own instruction set; everything here has
// internal linkage, so that no copy built for a wider set is linked where a
// narrower one is called.
#pragma once

#include <cstdint>
#include <cstring>
#include <utility>

namespace {

// One radix-4 stage of a transform of `size` points: `m` butterflies of
// stride `s` (m * s * 4 == size) from x to y, twiddles w^p, w^2p, w^3p
// split into six arrays of m values at tw.
template <class T>
inline void Radix4Stage(const T* xr, const T* xi, T* yr, T* yi, uint32_t m, uint32_t s, const T* tw)
{
    const T* w1r = tw;
    const T* w1i = tw + m;
    const T* w2r = tw + 2 * m;
    const T* w2i = tw + 3 * m;
    const T* w3r = tw + 4 * m;
    const T* w3i = tw + 5 * m;
    const size_t sm = static_cast<size_t>(s) * m;
    if (s == 1) {
        // The first stage: inputs a quarter apart, outputs four in a row.
        for (uint32_t p = 0; p < m; ++p) {
            const T ar = xr[p], ai = xi[p], br = xr[p + m], bi = xi[p + m];
            const T cr = xr[p + 2 * m], ci = xi[p + 2 * m];
            const T dr = xr[p + 3 * m], di = xi[p + 3 * m];
            const T pr = ar + cr, pi = ai + ci, mr = ar - cr, mi = ai - ci;
            const T qr = br + dr, qi = bi + di, nr = br - dr, ni = bi - di;
            const T t1r = mr + ni, t1i = mi - nr, t2r = pr - qr, t2i = pi - qi;
            const T t3r = mr - ni, t3i = mi + nr;
            yr[4 * p] = pr + qr;
            yi[4 * p] = pi + qi;
            yr[4 * p + 1] = t1r * w1r[p] - t1i * w1i[p];
            yi[4 * p + 1] = t1r * w1i[p] + t1i * w1r[p];
            yr[4 * p + 2] = t2r * w2r[p] - t2i * w2i[p];
            yi[4 * p + 2] = t2r * w2i[p] + t2i * w2r[p];
            yr[4 * p + 3] = t3r * w3r[p] - t3i * w3i[p];
            yi[4 * p + 3] = t3r * w3i[p] + t3i * w3r[p];
        }
        return;
    }
    for (uint32_t p = 0; p < m; ++p) {
        const T u1r = w1r[p], u1i = w1i[p], u2r = w2r[p], u2i = w2i[p];
        const T u3r = w3r[p], u3i = w3i[p];
        const T* __restrict ar = xr + static_cast<size_t>(s) * p;
        const T* __restrict ai = xi + static_cast<size_t>(s) * p;
        T* __restrict zr = yr + static_cast<size_t>(4 * s) * p;
        T* __restrict zi = yi + static_cast<size_t>(4 * s) * p;
        for (uint32_t q = 0; q < s; ++q) {
            const T pr = ar[q] + ar[q + 2 * sm], pi = ai[q] + ai[q + 2 * sm];
            const T mr = ar[q] - ar[q + 2 * sm], mi = ai[q] - ai[q + 2 * sm];
            const T qr = ar[q + sm] + ar[q + 3 * sm], qi = ai[q + sm] + ai[q + 3 * sm];
            const T nr = ar[q + sm] - ar[q + 3 * sm], ni = ai[q + sm] - ai[q + 3 * sm];
            const T t1r = mr + ni, t1i = mi - nr, t2r = pr - qr, t2i = pi - qi;
            const T t3r = mr - ni, t3i = mi + nr;
            zr[q] = pr + qr;
            zi[q] = pi + qi;
            zr[q + s] = t1r * u1r - t1i * u1i;
            zi[q + s] = t1r * u1i + t1i * u1r;
            zr[q + 2 * s] = t2r * u2r - t2i * u2i;
            zi[q + 2 * s] = t2r * u2i + t2i * u2r;
            zr[q + 3 * s] = t3r * u3r - t3i * u3i;
            zi[q + 3 * s] = t3r * u3i + t3i * u3r;
        }
    }
}

// The forward transform of re + i im (size >= 1, a power of two) in place;
// work holds 2 * size values. tw: the stages' twiddles as CFft lays them out.
template <class T> void TransformSplit(T* re, T* im, T* work, uint32_t size, const T* tw)
{
    T *xr = re, *xi = im, *yr = work, *yi = work + size;
    uint32_t n = size, s = 1;
    for (; n >= 4; n /= 4, s *= 4) {
        Radix4Stage(xr, xi, yr, yi, n / 4, s, tw);
        tw += 6 * static_cast<size_t>(n / 4);
        std::swap(xr, yr);
        std::swap(xi, yi);
    }
    if (n == 2) {
        for (uint32_t q = 0; q < s; ++q) {
            const T ar = xr[q], ai = xi[q], br = xr[q + s], bi = xi[q + s];
            yr[q] = ar + br;
            yi[q] = ai + bi;
            yr[q + s] = ar - br;
            yi[q + s] = ai - bi;
        }
        std::swap(xr, yr);
        std::swap(xi, yi);
    }
    if (xr != re) {
        std::memcpy(re, xr, size * sizeof(T));
        std::memcpy(im, xi, size * sizeof(T));
    }
}

// acc[b] += h[b] * x for `bands` spectra of `size` bins, each stored as
// `size` real parts then `size` imaginary parts, the bands one after another.
void MultiplyAddSplit(float* acc, const float* h, const float* x, uint32_t size, uint32_t bands)
{
    const float* xr = x;
    const float* xi = x + size;
    for (uint32_t b = 0; b < bands; ++b) {
        float* ar = acc + 2 * static_cast<size_t>(size) * b;
        float* ai = ar + size;
        const float* hr = h + 2 * static_cast<size_t>(size) * b;
        const float* hi = hr + size;
        for (uint32_t k = 0; k < size; ++k) {
            ar[k] += hr[k] * xr[k] - hi[k] * xi[k];
            ai[k] += hr[k] * xi[k] + hi[k] * xr[k];
        }
    }
}

} // namespace

// Defines one path's entry points, named with `suffix`.
#define TRIVANDEL_FFT_PATH(suffix)                                                                 \
    void FftFloat##suffix(float* re, float* im, float* work, uint32_t size, const float* tw)       \
    {                                                                                              \
        TransformSplit(re, im, work, size, tw);                                                    \
    }                                                                                              \
    void FftDouble##suffix(double* re, double* im, double* work, uint32_t size, const double* tw)  \
    {                                                                                              \
        TransformSplit(re, im, work, size, tw);                                                    \
    }                                                                                              \
    void SpectraMultiplyAdd##suffix(float* acc, const float* h, const float* x, uint32_t size,     \
                                    uint32_t bands)                                                \
    {                                                                                              \
        MultiplyAddSplit(acc, h, x, size, bands);                                                  \
    }
