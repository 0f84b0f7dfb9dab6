// The body of the wide kernels: each lane of a vector is one output frame.
// Included only by convolve_avx2.cpp and convolve_avx512.cpp, each built for
// its own instruction set with a lane type V (vector, loads, arithmetic,
// transposition). Everything here has internal linkage, so that the linker
// can never pick a copy built for a wider set where a narrower one is called.
//
// Frames of one store parity share their order of additions (the same
// one-tap start or none, the same groups of 8, the same remaining taps), so
// a block's even and odd frames form separate lane groups: lane m of a group
// is frame 2m + h of the block. Tap j of that group multiplies the samples of
// frames 2m + h + j, which lie one apart in a de-interleaved copy of the
// window with one array per frame parity and channel: a tap is one broadcast
// per band and one contiguous load per channel. Every lane performs the
// scalar reference's operations in the reference's order, so the results are
// the same bits.
#pragma once

#include <cstdint>
#include <cstring>

#include "engine/kernels/convolve.h"

namespace {

// Output frames per sub-block: all its lane groups run through one copy of
// each chunk of the window.
constexpr uint32_t kSubBlock = 64;
// Taps per chunk, a multiple of 8: the chunk's taps (8 KiB) and its window
// (4.5 KiB) stay in the first-level cache while every lane group of the
// sub-block runs through them.
constexpr uint32_t kChunkTaps = 512;
constexpr uint32_t kPlanarFrames = kChunkTaps + kSubBlock;

// Part of the window de-interleaved: v[2 * channel + parity][k] is sample
// `channel` of frame 2k + parity of the part.
struct Planar {
    alignas(64) float v[4][kPlanarFrames / 2];
};

// Copies the first `count` frames at x into p and zeros the rest up to
// `length` frames (count <= length <= kPlanarFrames): lanes past the end of
// the block read them, and only what the caller may read is read.
template <class V> void Deinterleave(Planar* p, const float* x, uint32_t count, uint32_t length)
{
    uint32_t k = 0;
    for (; 2 * (k + V::kLanes) <= count; k += V::kLanes)
        V::Deinterleave(x + 4 * k, p->v[0] + k, p->v[1] + k, p->v[2] + k, p->v[3] + k);
    uint32_t f = 2 * k;
    for (; f < count; ++f) {
        p->v[f & 1][f >> 1] = x[2 * f];
        p->v[2 + (f & 1)][f >> 1] = x[2 * f + 1];
    }
    for (; f < length; ++f) {
        p->v[f & 1][f >> 1] = 0.0f;
        p->v[2 + (f & 1)][f >> 1] = 0.0f;
    }
}

// The running sums E and O of one lane group, slot q = 2 * band + channel,
// kept in memory between chunks.
template <class V> struct GroupSums {
    float e[6][V::kLanes];
    float o[6][V::kLanes];
};

// Keeps v in a register: GCC would otherwise fold the sample load into
// each band's multiply, three loads (mostly across cache lines) where one
// does. (Clang takes no vector of 512 bits for "v"; it needs no such hint.)
template <class Vec> inline void InRegister(Vec& v)
{
#if defined(__GNUC__) && !defined(__clang__)
    __asm__("" : "+v"(v));
#else
    (void)v;
#endif
}

// `pairs` pairs of taps from `taps`: E += T[j] x[j]; O += T[j+1] x[j+1].
// even[ch] and odd[ch] point at the samples of the first pair's taps j and
// j + 1; both advance one sample per pair.
template <class V>
inline void AddPairs(GroupSums<V>* sums, const float* taps, const float* const even[2],
                     const float* const odd[2], uint32_t pairs)
{
    using Vec = typename V::Vec;
    Vec e[6], o[6];
    for (int q = 0; q < 6; ++q) {
        e[q] = V::Load(sums->e[q]);
        o[q] = V::Load(sums->o[q]);
    }
    for (uint32_t p = 0; p < pairs; ++p) {
        const float* t = taps + 8 * p;
        Vec el = V::Load(even[0] + p);
        Vec er = V::Load(even[1] + p);
        InRegister(el);
        InRegister(er);
        for (int b = 0; b < 3; ++b) {
            const Vec tb = V::Broadcast(t + b);
            e[2 * b] = V::Add(e[2 * b], V::Mul(tb, el));
            e[2 * b + 1] = V::Add(e[2 * b + 1], V::Mul(tb, er));
        }
        Vec ol = V::Load(odd[0] + p);
        Vec orr = V::Load(odd[1] + p);
        InRegister(ol);
        InRegister(orr);
        for (int b = 0; b < 3; ++b) {
            const Vec tb = V::Broadcast(t + 4 + b);
            o[2 * b] = V::Add(o[2 * b], V::Mul(tb, ol));
            o[2 * b + 1] = V::Add(o[2 * b + 1], V::Mul(tb, orr));
        }
    }
    for (int q = 0; q < 6; ++q) {
        V::Store(sums->e[q], e[q]);
        V::Store(sums->o[q], o[q]);
    }
}

// How a sub-block's taps fall, per parity of its frames: the one-tap start
// (or none), then main_taps taps in groups of 8, then the rest.
struct TapSplit {
    uint32_t start[2], main_taps[2];
    uint32_t main_end; // the larger of the two main_taps
    uint32_t window;   // frames of the window from the block's first one on
};

inline TapSplit SplitTaps(const float* frames, uint32_t count, uint32_t tap_count)
{
    TapSplit split;
    const uint32_t first_odd = (reinterpret_cast<uintptr_t>(frames) >> 3) & 1u;
    for (uint32_t parity = 0; parity < 2; ++parity) {
        split.start[parity] = ((first_odd + parity) & 1u) != 0 && tap_count > 0 ? 1u : 0u;
        split.main_taps[parity] = (tap_count - split.start[parity]) / 8 * 8;
    }
    split.main_end =
        split.main_taps[0] > split.main_taps[1] ? split.main_taps[0] : split.main_taps[1];
    split.window = tap_count > 0 ? count + tap_count - 1 : 0; // none without taps
    return split;
}

// Lane group g holds the frames of parity g & 1 from the (g / 2)-th run of
// kLanes frame pairs on.
template <class V> constexpr uint32_t kGroups = kSubBlock / V::kLanes;
template <class V> inline uint32_t FirstFrameOf(uint32_t group)
{
    return (group / 2) * V::kLanes;
}
template <class V> inline bool Active(uint32_t group, uint32_t count)
{
    return 2 * FirstFrameOf<V>(group) + (group & 1) < count;
}

// The one-tap start and the taps in groups of 8 into each group's sums, in
// chunks: offsets u from each parity's start, at frames u + start + 2m +
// parity of the block. The first chunk also takes the one-tap start, so
// there is always one.
template <class V>
inline void SumMainTaps(GroupSums<V>* sums, Planar* planar, const float* frames, uint32_t count,
                        const float* taps, const TapSplit& split)
{
    using Vec = typename V::Vec;
    for (uint32_t chunk_start = 0; chunk_start == 0 || chunk_start < split.main_end;
         chunk_start += kChunkTaps) {
        const uint32_t end =
            chunk_start + kChunkTaps < split.main_end ? chunk_start + kChunkTaps : split.main_end;
        const uint32_t length = end - chunk_start + kSubBlock;
        const uint32_t have = split.window > chunk_start ? split.window - chunk_start : 0;
        Deinterleave<V>(planar, frames + 2 * static_cast<size_t>(chunk_start),
                        have < length ? have : length, length);
        for (uint32_t group = 0; group < kGroups<V>; ++group) {
            if (!Active<V>(group, count))
                continue;
            const uint32_t parity = group & 1, first_tap = split.start[parity],
                           first_frame = FirstFrameOf<V>(group);
            if (chunk_start == 0) {
                // E = T[0] x[0], the product itself; or E = O = 0.
                for (int slot = 0; slot < 6; ++slot) {
                    const Vec x = V::Load(planar->v[2 * (slot & 1) + parity] + first_frame);
                    V::Store(sums[group].e[slot],
                             first_tap ? V::Mul(V::Broadcast(taps + slot / 2), x) : V::Zero());
                    V::Store(sums[group].o[slot], V::Zero());
                }
            }
            const uint32_t stop = end < split.main_taps[parity] ? end : split.main_taps[parity];
            if (stop <= chunk_start)
                continue;
            const uint32_t even_frame = parity + first_tap, odd_frame = parity + first_tap + 1;
            const float* even[2] = {planar->v[even_frame & 1] + first_frame + even_frame / 2,
                                    planar->v[2 + (even_frame & 1)] + first_frame + even_frame / 2};
            const float* odd[2] = {planar->v[odd_frame & 1] + first_frame + odd_frame / 2,
                                   planar->v[2 + (odd_frame & 1)] + first_frame + odd_frame / 2};
            AddPairs<V>(&sums[group], taps + 4 * static_cast<size_t>(first_tap + chunk_start), even,
                        odd, (stop - chunk_start) / 2);
        }
    }
}

// One lane group's six sums to its frames: the peak in the order of the SSE
// kernel's lanes, then the clamp.
template <class V> inline void ClampAndStore(BandFrame* dst, const typename V::Vec sum[6])
{
    using Vec = typename V::Vec;
    Vec m[4];
    for (int lane = 0; lane < 4; ++lane)
        m[lane] = V::Max(V::Abs(sum[lane]), V::Abs(sum[4 + (lane & 1)]));
    const Vec peak = V::Max(V::Max(m[0], m[2]), V::Max(m[1], m[3]));
    Vec slots[8];
    for (int slot = 0; slot < 6; ++slot) {
        const Vec clamped = V::Max(V::Min(sum[slot], V::Broadcast(ClampLimits.upper + (slot & 3))),
                                   V::Broadcast(ClampLimits.lower + (slot & 3)));
        slots[slot] = V::KeepNumbers(clamped, sum[slot]);
    }
    slots[6] = peak;
    slots[7] = peak;
    V::StoreBandFrames(dst, slots);
}

// Up to kSubBlock frames.
template <class V>
void SubBlock(BandFrame* out, const float* frames, uint32_t count, const float* taps,
              uint32_t tap_count)
{
    using Vec = typename V::Vec;
    static_assert(kGroups<V> % 2 == 0 && kChunkTaps % 8 == 0, "whole lane groups and tap groups");
    const TapSplit split = SplitTaps(frames, count, tap_count);
    Planar planar;
    GroupSums<V> sums[kGroups<V>];
    SumMainTaps<V>(sums, &planar, frames, count, taps, split);

    // The remaining taps (at most 7 after each parity's groups) from an even
    // frame at most 8 before the last tap.
    const uint32_t rest_start = tap_count > 8 ? (tap_count - 8) & ~1u : 0;
    const uint32_t rest_length = tap_count - rest_start + kSubBlock;
    const uint32_t rest_have = split.window > rest_start ? split.window - rest_start : 0;
    Deinterleave<V>(&planar, frames + 2 * static_cast<size_t>(rest_start),
                    rest_have < rest_length ? rest_have : rest_length, rest_length);

    alignas(64) BandFrame partial[kSubBlock];
    BandFrame* dst = count == kSubBlock ? out : partial;
    for (uint32_t group = 0; group < kGroups<V>; ++group) {
        if (!Active<V>(group, count))
            continue;
        const uint32_t parity = group & 1, first_frame = FirstFrameOf<V>(group);
        Vec sum[6];
        for (int slot = 0; slot < 6; ++slot)
            sum[slot] = V::Add(V::Load(sums[group].e[slot]), V::Load(sums[group].o[slot]));
        for (uint32_t tap = split.start[parity] + split.main_taps[parity]; tap < tap_count; ++tap) {
            const uint32_t frame = parity + tap - rest_start;
            const Vec x[2] = {V::Load(planar.v[frame & 1] + first_frame + frame / 2),
                              V::Load(planar.v[2 + (frame & 1)] + first_frame + frame / 2)};
            for (int slot = 0; slot < 6; ++slot)
                sum[slot] = V::Add(
                    sum[slot], V::Mul(V::Broadcast(taps + 4 * static_cast<size_t>(tap) + slot / 2),
                                      x[slot & 1]));
        }
        ClampAndStore<V>(dst + parity + 2 * first_frame, sum);
    }
    if (dst != out)
        std::memcpy(out, partial, count * sizeof(BandFrame));
}

template <class V>
void ConvolveBlockWide(BandFrame* out, const float* frames, uint32_t frame_count, const float* taps,
                       uint32_t tap_count)
{
    for (uint32_t i = 0; i < frame_count; i += kSubBlock) {
        const uint32_t rest = frame_count - i;
        SubBlock<V>(out + i, frames + 2 * static_cast<size_t>(i),
                    rest < kSubBlock ? rest : kSubBlock, taps, tap_count);
    }
}

} // namespace
