// CFIRFilter::ReadData: drains the store into multichannel PCM. Channels
// 0/1 band-pass, 2/3 low-pass (or its mono sum), 4/5 high-pass, the rest 0.
#include <bit>
#include <cstring>
#include <emmintrin.h>
#include <new>
#include <xmmintrin.h>

#include "base/console.h"
#include "engine/fft/partitioned_convolver.h"
#include "engine/filter/fir_filter.h"
#include "engine/kernels/kernel_dispatch.h"

static_assert(std::endian::native == std::endian::little,
              "output samples are packed from the bytes of little-endian integers");

namespace {

// Output frames per kernel call: the bands of one block on the stack (2 KiB).
constexpr uint32_t kBlockFrames = 64;

constexpr uint32_t kDataChannels = 8; // channels 6 and 7 carry zeros

// Where the samples of one output frame go.
struct FrameLayout {
    size_t block;           // bytes per output frame
    uint32_t slot;          // bytes per channel container
    uint32_t data_channels; // channels taken from the composed frame (<= 8)
    bool clear_first;       // the frame has bytes no sample covers
};

// Float to signed 32-bit, truncating toward zero: 2^31 and more give
// 2147483647, less than -2^31 gives -2147483648. cvttps2dq yields
// 0x80000000 for every value out of range; the mask turns it into
// 0x7FFFFFFF where the value was too large. A NaN (a bypassed NaN sample)
// gives 0, not a full-scale negative sample.
inline __m128i ToInt32(__m128 v)
{
    const __m128 two31 = _mm_set1_ps(2147483648.0f);
    v = _mm_and_ps(v, _mm_cmpord_ps(v, v));
    return _mm_xor_si128(_mm_cvttps_epi32(v), _mm_castps_si128(_mm_cmpge_ps(v, two31)));
}

// Writes one composed frame, channels 0..3 in `a` and 4..7 in `b`.
// 16-bit: saturated to -32768..32767 (a wrap-around would turn an
// over-range bypass sample into a full-scale burst of the other sign).
// 24-bit: the top 24 bits of the 32-bit value; 32-bit: all of it. Each
// sample sits at the top of its container, the bytes below it zero.
template <int32_t kKind>
inline void PackFrame(uint8_t* dst, __m128 a, __m128 b, const FrameLayout& layout)
{
    if (layout.clear_first)
        std::memset(dst, 0, layout.block);
    if constexpr (kKind == kSampleKindPcm16) {
        alignas(16) int16_t s[kDataChannels];
        _mm_store_si128(reinterpret_cast<__m128i*>(s), _mm_packs_epi32(ToInt32(a), ToInt32(b)));
        if (layout.slot == 2) {
            std::memcpy(dst, s, 2u * layout.data_channels);
            return;
        }
        for (uint32_t ch = 0; ch < layout.data_channels; ++ch)
            std::memcpy(dst + ch * layout.slot + layout.slot - 2, &s[ch], 2);
    } else if (kKind == kSampleKindPcm24 && layout.slot == 3 && layout.data_channels == 6) {
        // The six-channel frame of packed samples, 18 bytes in three stores
        // rather than six of three bytes each.
        alignas(16) uint32_t u[kDataChannels];
        _mm_store_si128(reinterpret_cast<__m128i*>(u), _mm_srli_epi32(ToInt32(a), 8));
        _mm_store_si128(reinterpret_cast<__m128i*>(u + 4), _mm_srli_epi32(ToInt32(b), 8));
        const uint64_t w0 = u[0] | uint64_t{u[1]} << 24 | uint64_t{u[2]} << 48;
        const uint64_t w1 =
            u[2] >> 16 | uint64_t{u[3]} << 8 | uint64_t{u[4]} << 32 | uint64_t{u[5]} << 56;
        const uint16_t w2 = static_cast<uint16_t>(u[5] >> 8);
        std::memcpy(dst, &w0, 8);
        std::memcpy(dst + 8, &w1, 8);
        std::memcpy(dst + 16, &w2, 2);
    } else {
        alignas(16) int32_t s[kDataChannels];
        _mm_store_si128(reinterpret_cast<__m128i*>(s), ToInt32(a));
        _mm_store_si128(reinterpret_cast<__m128i*>(s + 4), ToInt32(b));
        const uint8_t* bytes = reinterpret_cast<const uint8_t*>(s);
        constexpr uint32_t kBytes = kKind == kSampleKindPcm32 ? 4 : 3;
        for (uint32_t ch = 0; ch < layout.data_channels; ++ch)
            std::memcpy(dst + ch * layout.slot + layout.slot - kBytes, bytes + 4 * ch + 4 - kBytes,
                        kBytes);
    }
}

// The per-frame controls, fixed for one call: lane masks that keep or
// silence each channel of the composed frame.
struct Controls {
    __m128 keep_a; // channels 0..3: band-pass pair, low-pass pair
    __m128 keep_b; // channels 4..7: high-pass pair, zeros
    bool mono_lfe;
};

// Channels 0..3 and 4..7 of one frame from the six band values (low l, low
// r, band l, band r, high l, high r), after the mutes and the mono sum.
inline void ComposeFrame(const float* bands, const Controls& c, __m128* a, __m128* b)
{
    __m128 lo = _mm_setr_ps(bands[2], bands[3], bands[0], bands[1]);
    lo = _mm_and_ps(lo, c.keep_a);
    if (c.mono_lfe) {
        // Lanes 2 and 3 both become (right + left) * 0.5.
        __m128 swapped = _mm_shuffle_ps(lo, lo, _MM_SHUFFLE(2, 3, 0, 1));
        __m128 mono = _mm_mul_ps(_mm_add_ps(lo, swapped), _mm_set1_ps(0.5f));
        lo = _mm_shuffle_ps(lo, mono, _MM_SHUFFLE(3, 2, 1, 0));
    }
    *a = lo;
    *b = _mm_and_ps(_mm_setr_ps(bands[4], bands[5], 0.0f, 0.0f), c.keep_b);
}

// Composes and packs n frames whose bands `source` fills, kBlockFrames at a
// time: source(bands, first, count) for the pass's frames first ..
// first + count - 1.
template <int32_t kKind, class Source>
void RenderBands(Source source, uint32_t n, uint8_t* out, const FrameLayout& layout,
                 const Controls& controls, float* peak)
{
    alignas(64) BandFrame bands[kBlockFrames];
    for (uint32_t first = 0; first < n; first += kBlockFrames) {
        const uint32_t count = n - first < kBlockFrames ? n - first : kBlockFrames;
        source(bands, first, count);
        for (uint32_t i = 0; i < count; ++i) {
            // A peak that is not a number fails the test and is ignored.
            if (bands[i].v[7] > *peak)
                *peak = bands[i].v[7];
            __m128 a, b;
            ComposeFrame(bands[i].v, controls, &a, &b);
            PackFrame<kKind>(out + (first + i) * layout.block, a, b, layout);
        }
    }
}

template <int32_t kKind>
void RenderFrames(CFIRFilter* f, CPartitionedConvolver* fft, uint32_t n, uint8_t* out,
                  const FrameLayout& layout, const Controls& controls, float* peak)
{
    const float* stored = reinterpret_cast<const float*>(f->storage);
    if (fft != nullptr) {
        auto next = [fft](BandFrame* bands, uint32_t, uint32_t count) { fft->Next(bands, count); };
        RenderBands<kKind>(next, n, out, layout, controls, peak);
    } else if (f->divider_through == 0) {
        const ConvolveBlockFunction convolve = kKernelPaths[ActivePath()].convolve;
        const float* window = stored + 2 * static_cast<size_t>(f->read_pos);
        auto direct = [&](BandFrame* bands, uint32_t first, uint32_t count) {
            convolve(bands, window + 2 * static_cast<size_t>(first), count, f->taps, f->tap_count);
        };
        RenderBands<kKind>(direct, n, out, layout, controls, peak);
    } else {
        // The centre frame of the window the divider would weigh: switching
        // the bypass does not move the signal in time. Not clamped.
        const size_t centre = static_cast<size_t>(f->read_pos) + f->tap_count / 2;
        for (uint32_t i = 0; i < n; ++i) {
            const float* x = stored + 2 * (centre + i);
            const float left = (f->full_scale * x[0]) * f->attenuation;
            const float right = (f->full_scale * x[1]) * f->attenuation;
            const float bands[6] = {left, right, left, right, left, right};
            __m128 a, b;
            ComposeFrame(bands, controls, &a, &b);
            PackFrame<kKind>(out + i * layout.block, a, b, layout);
        }
    }
}

// Where each sample goes in an output frame: the container width from the
// output format (24 valid bits may sit in 32-bit containers), never narrower
// than the sample itself.
FrameLayout LayoutOf(const WaveFormat& output_format, int32_t sample_kind)
{
    const size_t block = output_format.block_align;
    const uint32_t sample_bytes = sample_kind == kSampleKindPcm16   ? 2
                                  : sample_kind == kSampleKindPcm24 ? 3
                                                                    : 4;
    FrameLayout layout;
    layout.block = block;
    layout.slot = output_format.bits_per_sample / 8;
    if (layout.slot < sample_bytes)
        layout.slot = sample_bytes;
    uint32_t channels = output_format.channels;
    if (channels > block / layout.slot)
        channels = static_cast<uint32_t>(block / layout.slot);
    layout.data_channels = channels < kDataChannels ? channels : kDataChannels;
    layout.clear_first = layout.slot != sample_bytes || block != layout.data_channels * layout.slot;
    return layout;
}

// The mutes and mono LFE as the pass applies them. With fewer than 6
// channels only the band-pass pair plays.
Controls ControlsOf(const CFIRFilter& filter)
{
    const bool six = filter.output_format.channels >= 6;
    const float on = std::bit_cast<float>(0xFFFFFFFFu);
    const float keep_low = filter.mute_low ? 0.0f : on;
    const float keep_lfe = (filter.mute_lfe || !six) ? 0.0f : on;
    const float keep_high = (filter.mute_high || !six) ? 0.0f : on;
    Controls controls;
    controls.keep_a = _mm_setr_ps(keep_low, keep_low, keep_lfe, keep_lfe);
    controls.keep_b = _mm_setr_ps(keep_high, keep_high, 0.0f, 0.0f);
    controls.mono_lfe = filter.mono_lfe != 0 && six;
    return controls;
}

} // namespace

void CFIRFilter::ScaleTaps()
{
    taps_dirty = 0;
    full_scale = OutputFullScale();
    for (int lane = 0; lane < 4; ++lane) {
        ClampLimits.upper[lane] = full_scale;
        ClampLimits.lower[lane] = -full_scale;
    }
    const float gain = attenuation * full_scale;
    for (size_t k = 0; taps != nullptr && k < tap_count; ++k)
        for (size_t b = 0; b < 3; ++b)
            taps[4 * k + b] *= gain;
    fft_stale_ = true;
}

void CFIRFilter::PrepareFft(uint32_t frame_count)
{
    if (convolution != kConvolutionFft)
        return;
    if (taps_dirty)
        ScaleTaps();
    // A new stream: the engine starts afresh at its first pass.
    fft_fed_ = false;
    FftFor(frame_count);
}

void CFIRFilter::WarmFft(uint32_t frame_count)
{
    if (fft_ == nullptr || fft_stale_ || storage == nullptr || frame_bytes != 8 ||
        !SameSubFormat(capture_format.sub_format, kSubtypeFloat))
        return;
    // Started afresh here where the next pass would do it, it is in step
    // with read_pos; it warms only until a pass has run since its start.
    if (!fft_fed_ || fft_drops_ != drops) {
        fft_->Reset();
        fft_fed_ = true;
        fft_drops_ = drops;
    }
    fft_->Warm(reinterpret_cast<const float*>(storage) + 2 * size_t{read_pos}, Held(), frame_count);
}

uint32_t CFIRFilter::ReadData(uint32_t frame_count, uint8_t* out)
{
    if (taps_dirty)
        ScaleTaps();

    const uint32_t avail = Held();
    const uint32_t n = frame_count < avail ? frame_count : avail;
    const uint32_t shortfall = frame_count - n;
    const size_t block = output_format.block_align;

    // The windows of the last frames reach tap_count - 1 frames past the
    // last one consumed; what has not been captured yet reads as silence.
    const uint64_t end = static_cast<uint64_t>(read_pos) + tap_count + n;
    const uint64_t storage_frames = static_cast<uint64_t>(capacity) + spare_frames;
    const bool window_fits = storage != nullptr && end <= storage_frames;
    if (window_fits && write_pos < end)
        std::memset(storage + static_cast<size_t>(write_pos) * frame_bytes, 0,
                    static_cast<size_t>(end - write_pos) * frame_bytes);

    float peak = 0.0f;
    bool written = false;
    bool fed = false;
    const bool produce = window_fits && n > 0 && frame_bytes == 8 &&
                         SameSubFormat(capture_format.sub_format, kSubtypeFloat) &&
                         (sample_kind == kSampleKindPcm16 || sample_kind == kSampleKindPcm24 ||
                          sample_kind == kSampleKindPcm32);
    if (produce) {
        const FrameLayout layout = LayoutOf(output_format, sample_kind);
        const Controls controls = ControlsOf(*this);

        CPartitionedConvolver* fft = divider_through == 0 ? FftFor(n) : nullptr;
        if (fft != nullptr)
            fft->BeginPass(reinterpret_cast<const float*>(storage) + 2 * size_t{read_pos}, n,
                           avail);
        fed = fft != nullptr;
        if (sample_kind == kSampleKindPcm16)
            RenderFrames<kSampleKindPcm16>(this, fft, n, out, layout, controls, &peak);
        else if (sample_kind == kSampleKindPcm24)
            RenderFrames<kSampleKindPcm24>(this, fft, n, out, layout, controls, &peak);
        else
            RenderFrames<kSampleKindPcm32>(this, fft, n, out, layout, controls, &peak);
        written = true;
    }
    if (n > 0)
        fft_fed_ = fed;
    if (!written && n > 0)
        std::memset(out, 0, n * block);

    if (peak > full_scale)
        ConsolePrint(L"WARNING:Clip signal! %.3f\n", static_cast<double>(peak / full_scale));

    read_pos += n;

    if (shortfall > 0) {
        std::memset(out + n * block, 0, shortfall * block);
        ConsolePrint(L"WARNING:Buffer empty!\n");
    }
    return n;
}

CPartitionedConvolver* CFIRFilter::FftFor(uint32_t frame_count)
{
    if (convolution != kConvolutionFft || taps == nullptr || tap_count == 0)
        return nullptr;
    if (fft_ == nullptr) {
        fft_ = new (std::nothrow) CPartitionedConvolver;
        fft_stale_ = true;
    }
    if (fft_ != nullptr && fft_stale_) {
        // Once per set of taps, outside which no pass allocates.
        if (!fft_->Setup(taps, tap_count, frame_count)) {
            DropFft();
            return nullptr;
        }
        fft_stale_ = false;
    } else if (fft_ != nullptr && (!fft_fed_ || fft_drops_ != drops)) {
        fft_->Reset();
    }
    fft_drops_ = drops;
    return fft_;
}

void CFIRFilter::DropFft()
{
    delete fft_;
    fft_ = nullptr;
}
