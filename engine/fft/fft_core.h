// The body of the FFT paths: a Stockham radix-4 transform (radix 2 for the
// last stage of an odd power of two) on split real and imaginary arrays,
// and the spectral multiply-add of the convolver. Written once over a
// vector of kLanes values (GCC's vector extensions; one value for the
// scalar reference): every lane does the scalar path's operations on the
// same values, so every path gives the same bits. Included only by the
// fft_path_*.cpp files, each built for its own instruction set; everything
// here has internal linkage, so that no copy built for a wider set is
// linked where a narrower one is called.
#pragma once

#include <cstdint>
#include <cstring>
#include <utility>

namespace {

template <class T, uint32_t kLanes> struct Lanes {
    typedef T V __attribute__((vector_size(sizeof(T) * kLanes)));
    static V Load(const T* p)
    {
        V v;
        std::memcpy(&v, p, sizeof(V));
        return v;
    }
    static void Store(T* p, V v) { std::memcpy(p, &v, sizeof(V)); }
    static V Broadcast(T x)
    {
        V v;
        for (uint32_t l = 0; l < kLanes; ++l)
            v[l] = x;
        return v;
    }
};

// The scalar reference: one value, no vector type.
template <class T> struct Lanes<T, 1> {
    using V = T;
    static V Load(const T* p) { return *p; }
    static void Store(T* p, V v) { *p = v; }
    static V Broadcast(T x) { return x; }
};

// One radix-4 butterfly on whole vectors: the four inputs in, the four
// outputs (twiddled) out.
template <class V> struct Quad {
    V r[4], i[4];
};

template <class V>
inline Quad<V> Butterfly(const Quad<V>& x, const V w1r, const V w1i, const V w2r, const V w2i,
                         const V w3r, const V w3i)
{
    const V pr = x.r[0] + x.r[2], pi = x.i[0] + x.i[2];
    const V mr = x.r[0] - x.r[2], mi = x.i[0] - x.i[2];
    const V qr = x.r[1] + x.r[3], qi = x.i[1] + x.i[3];
    const V nr = x.r[1] - x.r[3], ni = x.i[1] - x.i[3];
    const V t1r = mr + ni, t1i = mi - nr, t2r = pr - qr, t2i = pi - qi;
    const V t3r = mr - ni, t3i = mi + nr;
    Quad<V> y;
    y.r[0] = pr + qr;
    y.i[0] = pi + qi;
    y.r[1] = t1r * w1r - t1i * w1i;
    y.i[1] = t1r * w1i + t1i * w1r;
    y.r[2] = t2r * w2r - t2i * w2i;
    y.i[2] = t2r * w2i + t2i * w2r;
    y.r[3] = t3r * w3r - t3i * w3i;
    y.i[3] = t3r * w3i + t3i * w3r;
    return y;
}

// Lane l of Interleave(a, b): chunks of kChunk lanes from a and b in turn,
// from the lower halves (or the upper ones).
template <uint32_t kLanes, uint32_t kChunk, bool kUpper> constexpr int InterleaveIndex(size_t l)
{
    const size_t chunk = l / kChunk, source = chunk / 2 + (kUpper ? kLanes / (2 * kChunk) : 0);
    return static_cast<int>((chunk % 2) * kLanes + source * kChunk + l % kChunk);
}

template <uint32_t kLanes, uint32_t kChunk, bool kUpper, class V, size_t... kIndex>
inline V Interleave(V a, V b, std::index_sequence<kIndex...>)
{
    return __builtin_shufflevector(a, b, InterleaveIndex<kLanes, kChunk, kUpper>(kIndex)...);
}

// Four vectors of kChunk-lane chunks to one run: chunk c of y[k] goes to
// place 4c + k.
template <uint32_t kLanes, uint32_t kChunk, class T, class V>
inline void StoreInterleaved(T* out, const V y[4])
{
    const auto all = std::make_index_sequence<kLanes>();
    const V u0 = Interleave<kLanes, kChunk, false>(y[0], y[2], all);
    const V u1 = Interleave<kLanes, kChunk, true>(y[0], y[2], all);
    const V u2 = Interleave<kLanes, kChunk, false>(y[1], y[3], all);
    const V u3 = Interleave<kLanes, kChunk, true>(y[1], y[3], all);
    using L = Lanes<T, kLanes>;
    L::Store(out, Interleave<kLanes, kChunk, false>(u0, u2, all));
    L::Store(out + kLanes, Interleave<kLanes, kChunk, true>(u0, u2, all));
    L::Store(out + 2 * kLanes, Interleave<kLanes, kChunk, false>(u1, u3, all));
    L::Store(out + 3 * kLanes, Interleave<kLanes, kChunk, true>(u1, u3, all));
}

// A stage whose stride s (= kChunk) is below the vector width: vectors run
// along i = s p + q, where the inputs lie in a row, with each twiddle
// repeated s times (tw holds them so for s > 1), and the outputs of four
// vectors interleave in chunks of s.
template <uint32_t kLanes, uint32_t kChunk, class T>
void NarrowStage(const T* __restrict xr, const T* __restrict xi, T* __restrict yr, T* __restrict yi,
                 uint32_t quarter, const T* __restrict tw)
{
    using L = Lanes<T, kLanes>;
    using V = typename L::V;
    for (uint32_t i = 0; i < quarter; i += kLanes) {
        Quad<V> x;
        for (uint32_t k = 0; k < 4; ++k) {
            x.r[k] = L::Load(xr + i + k * quarter);
            x.i[k] = L::Load(xi + i + k * quarter);
        }
        const T* w = tw + i;
        const Quad<V> y =
            Butterfly(x, L::Load(w), L::Load(w + quarter), L::Load(w + 2 * quarter),
                      L::Load(w + 3 * quarter), L::Load(w + 4 * quarter), L::Load(w + 5 * quarter));
        StoreInterleaved<kLanes, kChunk>(yr + 4 * i, y.r);
        StoreInterleaved<kLanes, kChunk>(yi + 4 * i, y.i);
    }
}

// A stage of m butterflies of stride s >= kLanes: vectors run along q.
template <uint32_t kLanes, class T>
void WideStage(const T* __restrict xr, const T* __restrict xi, T* __restrict yr, T* __restrict yi,
               uint32_t m, uint32_t s, const T* __restrict tw)
{
    using L = Lanes<T, kLanes>;
    using V = typename L::V;
    const size_t sm = static_cast<size_t>(s) * m;
    for (uint32_t p = 0; p < m; ++p) {
        const V w1r = L::Broadcast(tw[p]), w1i = L::Broadcast(tw[m + p]);
        const V w2r = L::Broadcast(tw[2 * m + p]), w2i = L::Broadcast(tw[3 * m + p]);
        const V w3r = L::Broadcast(tw[4 * m + p]), w3i = L::Broadcast(tw[5 * m + p]);
        const size_t in = static_cast<size_t>(s) * p, out = 4 * in;
        for (uint32_t q = 0; q < s; q += kLanes) {
            Quad<V> x;
            for (uint32_t k = 0; k < 4; ++k) {
                x.r[k] = L::Load(xr + in + q + k * sm);
                x.i[k] = L::Load(xi + in + q + k * sm);
            }
            const Quad<V> y = Butterfly(x, w1r, w1i, w2r, w2i, w3r, w3i);
            for (uint32_t k = 0; k < 4; ++k) {
                L::Store(yr + out + q + k * s, y.r[k]);
                L::Store(yi + out + q + k * s, y.i[k]);
            }
        }
    }
}

// The forward transform of re + i im (size >= 1, a power of two) in place;
// work holds 2 * size values. tw: the stages' twiddles as CFft::Setup lays
// them out (six arrays of m values per stage; for the stage of stride 4,
// the same again with every value repeated four times).
template <uint32_t kLanes, class T>
void TransformSplit(T* re, T* im, T* work, uint32_t size, const T* tw)
{
    T *xr = re, *xi = im, *yr = work, *yi = work + size;
    uint32_t n = size, s = 1;
    for (; n >= 4; n /= 4, s *= 4) {
        const uint32_t m = n / 4;
        const size_t plain = 6 * static_cast<size_t>(m);
        if constexpr (kLanes > 1) {
            if (s == 1 && m >= kLanes)
                NarrowStage<kLanes, 1>(xr, xi, yr, yi, m, tw);
            else if (s == 4 && s < kLanes && s * m >= kLanes)
                NarrowStage<kLanes, (kLanes > 4 ? 4 : 1)>(xr, xi, yr, yi, s * m, tw + plain);
            else if (s >= kLanes)
                WideStage<kLanes>(xr, xi, yr, yi, m, s, tw);
            else
                WideStage<1>(xr, xi, yr, yi, m, s, tw);
        } else {
            WideStage<1>(xr, xi, yr, yi, m, s, tw);
        }
        tw += s == 4 ? 5 * plain : plain;
        std::swap(xr, yr);
        std::swap(xi, yi);
    }
    if (n == 2) {
        using L = Lanes<T, kLanes>;
        uint32_t q = 0;
        for (; q + kLanes <= s; q += kLanes) {
            const auto ar = L::Load(xr + q), ai = L::Load(xi + q);
            const auto br = L::Load(xr + q + s), bi = L::Load(xi + q + s);
            L::Store(yr + q, ar + br);
            L::Store(yi + q, ai + bi);
            L::Store(yr + q + s, ar - br);
            L::Store(yi + q + s, ai - bi);
        }
        for (; q < s; ++q) {
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

// acc[b] += h[b] * x at bins first .. first + count - 1 of `bands` spectra
// of `size` bins, each stored as `size` real parts then `size` imaginary
// parts, the bands one after another.
template <uint32_t kLanes>
void MultiplyAddSplit(float* acc, const float* h, const float* x, uint32_t size, uint32_t bands,
                      uint32_t first, uint32_t count)
{
    using L = Lanes<float, kLanes>;
    using V = typename L::V;
    const uint32_t step = count >= kLanes && first % kLanes == 0 ? kLanes : 1;
    const uint32_t end = first + count;
    for (uint32_t b = 0; b < bands; ++b) {
        float* ar = acc + 2 * static_cast<size_t>(size) * b;
        float* ai = ar + size;
        const float* hr = h + 2 * static_cast<size_t>(size) * b;
        const float* hi = hr + size;
        if (step == 1) {
            for (uint32_t k = first; k < end; ++k) {
                ar[k] += hr[k] * x[k] - hi[k] * x[size + k];
                ai[k] += hr[k] * x[size + k] + hi[k] * x[k];
            }
            continue;
        }
        for (uint32_t k = first; k < end; k += kLanes) {
            const V xr = L::Load(x + k), xi = L::Load(x + size + k);
            const V r = L::Load(hr + k), i = L::Load(hi + k);
            L::Store(ar + k, L::Load(ar + k) + (r * xr - i * xi));
            L::Store(ai + k, L::Load(ai + k) + (r * xi + i * xr));
        }
    }
}

} // namespace

// Defines one path's entry points, named with `suffix`, for vectors of
// `bytes` bytes (0: the scalar reference).
#define TRIVANDEL_FFT_PATH(suffix, bytes)                                                          \
    void FftFloat##suffix(float* re, float* im, float* work, uint32_t size, const float* tw)       \
    {                                                                                              \
        TransformSplit<(bytes) ? (bytes) / 4 : 1>(re, im, work, size, tw);                         \
    }                                                                                              \
    void FftDouble##suffix(double* re, double* im, double* work, uint32_t size, const double* tw)  \
    {                                                                                              \
        TransformSplit<(bytes) ? (bytes) / 8 : 1>(re, im, work, size, tw);                         \
    }                                                                                              \
    void SpectraMultiplyAdd##suffix(float* acc, const float* h, const float* x, uint32_t size,     \
                                    uint32_t bands, uint32_t first, uint32_t count)                \
    {                                                                                              \
        MultiplyAddSplit<(bytes) ? (bytes) / 4 : 1>(acc, h, x, size, bands, first, count);         \
    }
