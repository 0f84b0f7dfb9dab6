// The resampler's table, its scalar reference path and the stream around
// the paths (see resampler.h).
#include "engine/clock/resampler.h"

#include <cmath>
#include <cstring>

#include "base/aligned_memory.h"
#include "engine/kernels/kernel_dispatch.h"

namespace {

constexpr double kBeta = 16.0;
constexpr double kPi = 3.14159265358979323846;
constexpr uint32_t kRowFloats = 2 * kResamplerTaps;
// Input frames taken into the window at a time, and output frames made per
// call of a path: the buffers are sized once, whatever the packets' length.
constexpr uint32_t kChunkFrames = 1024;
constexpr uint32_t kBatchFrames = 256;
constexpr uint32_t kBufferFrames = kResamplerTaps + kChunkFrames;
// The landing step's excess over one frame: 2^-20 frames, so that the
// fraction reaches a whole frame within 2^20 output frames.
constexpr uint64_t kLandingExcess = uint64_t{1} << 12;
// The step's glide: a first-order low-pass updated every kBatchFrames output
// frames, its time constant 2^kGlideShift batches (1.4 s at 48 kHz), far
// faster than the controller's loop and far slower than its passes.
constexpr uint32_t kGlideShift = 8;
constexpr uint32_t kGlideBits = 16;

double BesselI0(double x)
{
    double sum = 1.0, term = 1.0;
    for (int k = 1; k < 200 && term > sum * 1e-18; ++k) {
        const double half = x / (2.0 * k);
        term *= half * half;
        sum += term;
    }
    return sum;
}

// The prototype at t frames from its centre. At whole frames the sinc is
// exactly 0 (or 1 at the centre), which the sine of a double would miss:
// that makes phase 0 an exact copy.
double Prototype(double t)
{
    const double half = kResamplerTaps / 2.0;
    if (std::fabs(t) >= half)
        return 0.0;
    if (t == std::floor(t))
        return t == 0.0 ? 1.0 : 0.0;
    const double x = t / half;
    const double window = BesselI0(kBeta * std::sqrt(1.0 - x * x)) / BesselI0(kBeta);
    return std::sin(kPi * t) / (kPi * t) * window;
}

void PrototypeRow(uint32_t phase, double* row)
{
    const double f = static_cast<double>(phase) / kResamplerPhases;
    for (uint32_t j = 0; j < kResamplerTaps; ++j)
        row[j] = Prototype(f + kResamplerHistory - static_cast<double>(j));
}

// Reads sample `index` of a frame as a float, whatever its alignment.
float SampleAt(const uint8_t* frame, uint32_t index)
{
    float v;
    std::memcpy(&v, frame + 4 * index, sizeof(v));
    return v;
}

} // namespace

float* MakeResamplerTable()
{
    float* table =
        static_cast<float*>(AlignedAlloc(size_t{kResamplerPhases} * kRowFloats * sizeof(float)));
    if (table == nullptr)
        return nullptr;
    double row[kResamplerTaps], next[kResamplerTaps];
    PrototypeRow(0, row);
    for (uint32_t p = 0; p < kResamplerPhases; ++p) {
        PrototypeRow(p + 1, next);
        float* dst = table + size_t{p} * kRowFloats;
        for (uint32_t j = 0; j < kResamplerTaps; ++j) {
            dst[j] = static_cast<float>(row[j]);
            dst[kResamplerTaps + j] = static_cast<float>(next[j] - row[j]);
        }
        std::memcpy(row, next, sizeof(row));
    }
    return table;
}

CResampler::CResampler()
    : table_(nullptr), left_(nullptr), right_(nullptr), out_(nullptr), have_(0), pos_(0),
      step_(kOneFrame), target_(kOneFrame), glide_(0), glide_frames_(kBatchFrames),
      path_(kPathReference), tracking_(false), landing_(false)
{
}

CResampler::~CResampler()
{
    AlignedFree(table_);
    AlignedFree(left_);
    AlignedFree(right_);
    AlignedFree(out_);
}

bool CResampler::Setup()
{
    if (table_ == nullptr)
        table_ = MakeResamplerTable();
    if (left_ == nullptr)
        left_ = static_cast<float*>(AlignedAlloc(kBufferFrames * sizeof(float)));
    if (right_ == nullptr)
        right_ = static_cast<float*>(AlignedAlloc(kBufferFrames * sizeof(float)));
    if (out_ == nullptr)
        out_ = static_cast<float*>(AlignedAlloc(2 * kBatchFrames * sizeof(float)));
    path_ = ActivePath();
    Reset();
    return table_ != nullptr && left_ != nullptr && right_ != nullptr && out_ != nullptr;
}

void CResampler::Reset()
{
    if (left_ != nullptr && right_ != nullptr) {
        std::memset(left_, 0, kResamplerHistory * sizeof(float));
        std::memset(right_, 0, kResamplerHistory * sizeof(float));
    }
    have_ = kResamplerHistory;
    pos_ = 0;
    target_ = kOneFrame;
    tracking_ = false;
    landing_ = false;
}

void CResampler::StartTracking(uint64_t step)
{
    // Copying keeps exactly the last kResamplerHistory frames, so window
    // start 0 puts the centre tap on the next frame to come.
    if (tracking_ || table_ == nullptr)
        return;
    pos_ = 0;
    step_ = target_ = step;
    glide_ = static_cast<int64_t>(step << kGlideBits);
    glide_frames_ = kBatchFrames;
    tracking_ = true;
    landing_ = false;
}

// Every kBatchFrames output frames, whatever the packets: the step glides
// the same way on every path and in every run of the same stream.
void CResampler::Glide(uint32_t frames)
{
    glide_frames_ -= frames;
    if (glide_frames_ > 0)
        return;
    glide_frames_ = kBatchFrames;
    glide_ += (static_cast<int64_t>(target_ << kGlideBits) - glide_) >> kGlideShift;
    step_ = static_cast<uint64_t>(glide_ + (int64_t{1} << (kGlideBits - 1))) >> kGlideBits;
}

double CResampler::HeldFrames() const
{
    if (!tracking_)
        return 0.0;
    return static_cast<double>(have_ - kResamplerHistory) -
           static_cast<double>(pos_) / static_cast<double>(kOneFrame);
}

// Appends `frames` frames (at most what the buffer has room for): the first
// two channels of float samples, a lone channel on both sides, zeros for a
// silent packet or frames too short to hold a sample.
void CResampler::Append(const uint8_t* data, uint32_t frames, const WaveFormat& format)
{
    float* l = left_ + have_;
    float* r = right_ + have_;
    const uint32_t block = format.block_align;
    if (data == nullptr || block < 4) {
        std::memset(l, 0, frames * sizeof(float));
        std::memset(r, 0, frames * sizeof(float));
    } else {
        const uint32_t second = format.channels != 1 && block >= 8 ? 1 : 0;
        for (uint32_t i = 0; i < frames; ++i) {
            const uint8_t* frame = data + static_cast<size_t>(i) * block;
            l[i] = SampleAt(frame, 0);
            r[i] = SampleAt(frame, second);
        }
    }
    have_ += frames;
}

// Copying: keeps the last kResamplerHistory frames of the stream, for the
// window of the first output when tracking starts.
void CResampler::Remember(const uint8_t* data, uint32_t frames, const WaveFormat& format)
{
    if (frames >= kResamplerHistory) {
        const uint32_t skip = frames - kResamplerHistory;
        have_ = 0;
        Append(data == nullptr ? nullptr : data + static_cast<size_t>(skip) * format.block_align,
               kResamplerHistory, format);
        return;
    }
    const uint32_t keep = kResamplerHistory - frames;
    std::memmove(left_, left_ + frames, keep * sizeof(float));
    std::memmove(right_, right_ + frames, keep * sizeof(float));
    have_ = keep;
    Append(data, frames, format);
}

void CResampler::Write(CCaptureBuffer* store, uint32_t frames, const uint8_t* data)
{
    if (!tracking_) {
        store->WriteData(frames, data);
        if (left_ != nullptr && right_ != nullptr)
            Remember(data, frames, store->capture_format);
        return;
    }
    const WaveFormat& format = store->capture_format;
    while (frames > 0 && tracking_) {
        const uint32_t n = frames < kChunkFrames ? frames : kChunkFrames;
        Append(data, n, format);
        if (data != nullptr)
            data += static_cast<size_t>(n) * format.block_align;
        frames -= n;
        Produce(store);
    }
    // A landing that ended inside the packet copies the rest of it.
    if (frames > 0)
        Write(store, frames, data);
}

// Makes every output frame whose window has arrived, then moves the window
// of the next one to the start of the buffers.
void CResampler::Produce(CCaptureBuffer* store)
{
    const ResampleFunction resample = kKernelPaths[path_].resample;
    for (;;) {
        if (landing_ && static_cast<uint32_t>(pos_) == 0) {
            Flush(store);
            return;
        }
        if (have_ < kResamplerTaps)
            break;
        // Windows that start below `end` have all their frames.
        const uint64_t end = uint64_t{have_ - kResamplerTaps + 1} << 32;
        if (pos_ >= end)
            break;
        const uint64_t step = landing_ ? kOneFrame + kLandingExcess : step_;
        uint64_t count = (end - pos_ + step - 1) / step;
        uint64_t to_landing = UINT64_MAX;
        if (landing_) {
            const uint64_t fraction = static_cast<uint32_t>(pos_);
            to_landing = (kOneFrame - fraction + kLandingExcess - 1) / kLandingExcess;
        }
        if (count > to_landing)
            count = to_landing;
        if (count > glide_frames_)
            count = glide_frames_;
        resample(out_, left_, right_, pos_, step, static_cast<uint32_t>(count), table_);
        store->WriteStereo(static_cast<uint32_t>(count), out_);
        if (count == to_landing)
            // The step that would pass the next whole frame stops on it.
            pos_ = ((pos_ >> 32) + count + 1) << 32;
        else
            pos_ += count * step;
        Glide(static_cast<uint32_t>(count));
    }
    const uint32_t drop = static_cast<uint32_t>(pos_ >> 32);
    if (drop > 0) {
        std::memmove(left_, left_ + drop, (have_ - drop) * sizeof(float));
        std::memmove(right_, right_ + drop, (have_ - drop) * sizeof(float));
        have_ -= drop;
        pos_ -= uint64_t{drop} << 32;
    }
}

// At a whole-frame position: the frames from the next output's centre on are
// stored as they came, and copying takes over behind them.
void CResampler::Flush(CCaptureBuffer* store)
{
    const uint32_t first = static_cast<uint32_t>(pos_ >> 32) + kResamplerHistory;
    for (uint32_t i = first; i < have_;) {
        const uint32_t n = have_ - i < kBatchFrames ? have_ - i : kBatchFrames;
        for (uint32_t k = 0; k < n; ++k) {
            out_[2 * k] = left_[i + k];
            out_[2 * k + 1] = right_[i + k];
        }
        store->WriteStereo(n, out_);
        i += n;
    }
    const uint32_t keep_from = have_ - kResamplerHistory;
    std::memmove(left_, left_ + keep_from, kResamplerHistory * sizeof(float));
    std::memmove(right_, right_ + keep_from, kResamplerHistory * sizeof(float));
    have_ = kResamplerHistory;
    pos_ = 0;
    tracking_ = false;
    landing_ = false;
}

void CResampler::DropPhase(CCaptureBuffer* store)
{
    if (!tracking_)
        return;
    pos_ &= ~(kOneFrame - 1);
    Flush(store);
}
