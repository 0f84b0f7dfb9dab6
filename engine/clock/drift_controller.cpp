#include "engine/clock/drift_controller.h"

#include <algorithm>
#include <cmath>

#include "base/aligned_memory.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
// The loop: slow enough that a packet's worth of jitter in the level (the
// only measurement there is) moves the ratio by a few ppm at most.
constexpr double kNaturalHz = 0.0015;
constexpr double kDamping = 0.7;
constexpr double kLowPassSeconds = 5.0;
// The set point walks home at most this fast after a gap (a 0.17-cent pitch
// change), the walk fed forward so that the integral keeps the clock offset.
constexpr double kWalkRatio = 100e-6;
// The clocks agree when the offset estimate stays under 1 ppm this long.
constexpr double kAgreeRatio = 1e-6;
constexpr double kLandingSeconds = 120.0;
constexpr uint32_t kLeastWindow = 20;
constexpr double kOneFrame = 4294967296.0; // 2^32

} // namespace

CDriftController::CDriftController()
    : frames_per_pass_(0), window_(0), smoothing_(0), kp_(0), ki_(0), walk_(0), landing_passes_(0),
      lowest_set_point_(0), levels_(nullptr), sorted_(nullptr), mode_(kDriftCopy),
      step_(uint64_t{1} << 32), correction_(0), played_(false), was_playing_(false),
      acquiring_(false), count_(0), next_(0), z1_(0), z2_(0), y1_(0), y2_(0), anchor_(0),
      target_(0), home_(0), integral_(0), feed_forward_(0), quiet_passes_(0), pass_(0), n_(0),
      st_(0), sy_(0), stt_(0), sty_(0)
{
}

CDriftController::~CDriftController()
{
    AlignedFree(levels_);
    AlignedFree(sorted_);
}

bool CDriftController::Setup(uint32_t output_frames, uint32_t tap_count, uint32_t rate)
{
    const double frames = output_frames > 0 ? output_frames : 1;
    const double fs = rate > 0 ? rate : 48000;
    const double pass_seconds = frames / fs;
    frames_per_pass_ = frames;
    // A second of passes, and never fewer than 20.
    window_ =
        std::max<uint32_t>(kLeastWindow, static_cast<uint32_t>(std::ceil(1.0 / pass_seconds)));
    smoothing_ = 1.0 - std::exp(-pass_seconds / kLowPassSeconds);
    const double wn = 2.0 * kPi * kNaturalHz;
    kp_ = 2.0 * kDamping * wn / fs;
    ki_ = wn * wn / fs * pass_seconds;
    walk_ = kWalkRatio * frames;
    landing_passes_ = static_cast<uint32_t>(std::ceil(kLandingSeconds / pass_seconds));
    lowest_set_point_ = output_frames + tap_count + kJitterMargin;

    AlignedFree(levels_);
    AlignedFree(sorted_);
    levels_ = static_cast<uint32_t*>(AlignedAlloc(window_ * sizeof(uint32_t)));
    sorted_ = static_cast<uint32_t*>(AlignedAlloc(window_ * sizeof(uint32_t)));

    mode_ = kDriftCopy;
    SetCorrection(0.0);
    played_ = false;
    was_playing_ = false;
    integral_ = 0;
    feed_forward_ = 0;
    anchor_ = target_ = home_ = 0;
    Acquire();
    return levels_ != nullptr && sorted_ != nullptr;
}

void CDriftController::Acquire()
{
    acquiring_ = true;
    count_ = 0;
    next_ = 0;
    quiet_passes_ = 0;
}

// The mean of the upper half of the last window_ levels: a late packet only
// ever lowers the level, so the upper half is where the clocks show.
double CDriftController::Measure(uint32_t level)
{
    levels_[next_] = level;
    next_ = next_ + 1 == window_ ? 0 : next_ + 1;
    if (count_ < window_)
        ++count_;
    std::copy(levels_, levels_ + count_, sorted_);
    const uint32_t half = count_ > 1 ? count_ / 2 : 1;
    std::nth_element(sorted_, sorted_ + (count_ - half), sorted_ + count_);
    double sum = 0;
    for (uint32_t i = count_ - half; i < count_; ++i)
        sum += sorted_[i];
    return sum / half;
}

void CDriftController::SetCorrection(double u)
{
    correction_ = std::clamp(u, -kMaxCorrection, kMaxCorrection);
    step_ = (uint64_t{1} << 32) + static_cast<uint64_t>(std::llround(correction_ * kOneFrame));
}

// A pass of copying: fits the level's slope since the anchor; true when
// the level left the dead band and tracking starts.
bool CDriftController::CopyPass(double value)
{
    const double y = value - anchor_;
    n_ += 1;
    st_ += pass_;
    sy_ += y;
    stt_ += pass_ * pass_;
    sty_ += pass_ * y;
    if (std::fabs(z2_ - anchor_) <= kDeadBand)
        return false;
    // Track from here: the integral starts at the level's slope since the
    // anchor, and the level is held where it is now, not where the
    // low-passes, seconds behind a moving level, put it.
    const double d = n_ * stt_ - st_ * st_;
    const double slope = d > 0 ? (n_ * sty_ - st_ * sy_) / d : 0.0;
    integral_ = std::clamp(slope / frames_per_pass_, -kMaxCorrection, kMaxCorrection);
    z1_ = z2_ = target_ = y1_ = y2_ = value;
    home_ = std::max(value, static_cast<double>(lowest_set_point_));
    feed_forward_ = 0;
    quiet_passes_ = 0;
    mode_ = kDriftTrack;
    SetCorrection(integral_);
    return true;
}

// A pass of tracking: walks the target home and steps the PI loop; true
// when the clocks have agreed long enough to land.
bool CDriftController::TrackPass()
{
    const double walk = std::clamp(home_ - target_, -walk_, walk_);
    target_ += walk;
    feed_forward_ = -walk / frames_per_pass_;
    // The target through the level's low-passes: a walking target is
    // compared with the level as late as the level is seen, so the walk
    // winds nothing up and ends without an overshoot.
    y1_ += smoothing_ * (target_ - y1_);
    y2_ += smoothing_ * (y1_ - y2_);
    const double e = z2_ - y2_;
    integral_ = std::clamp(integral_ + ki_ * e, -kMaxCorrection, kMaxCorrection);
    SetCorrection(kp_ * e + integral_ + feed_forward_);

    const bool quiet =
        std::fabs(integral_) < kAgreeRatio && walk == 0.0 && std::fabs(e) < kDeadBand / 4.0;
    quiet_passes_ = quiet ? quiet_passes_ + 1 : 0;
    if (quiet_passes_ < landing_passes_)
        return false;
    mode_ = kDriftLanding;
    return true;
}

DriftAction CDriftController::Update(const DriftPass& pass)
{
    const bool filled = pass.playing && !was_playing_;
    const bool refill = filled && played_;
    was_playing_ = pass.playing;
    // Pre-buffering: the store is being filled again; nothing to measure.
    if (levels_ == nullptr || !pass.playing)
        return kDriftNoAction;

    DriftAction action = kDriftNoAction;
    if (filled && !played_) {
        played_ = true;
        Acquire();
    }
    if (refill || pass.discontinuity) {
        // The level jumped for reasons of its own: settle again rather than
        // take the jump for drift. Tracking clocks that agree stop at a
        // refill, where the input restarts anyway.
        if (refill && mode_ != kDriftCopy && std::fabs(integral_) < kAgreeRatio) {
            mode_ = kDriftCopy;
            integral_ = 0;
            action = kDriftDropPhase;
        }
        Acquire();
    }
    pass_ += 1;
    if (mode_ == kDriftCopy)
        SetCorrection(0.0);
    else if (!pass.packets || acquiring_)
        SetCorrection(integral_); // the offset estimate alone
    if (!pass.packets)
        return action;

    const double value = Measure(pass.level);
    if (acquiring_) {
        if (count_ < window_)
            return action;
        acquiring_ = false;
        z1_ = z2_ = value;
        if (mode_ == kDriftCopy) {
            anchor_ = value;
            pass_ = n_ = st_ = sy_ = stt_ = sty_ = 0;
        } else {
            target_ = y1_ = y2_ = value;
        }
        return action;
    }
    z1_ += smoothing_ * (value - z1_);
    z2_ += smoothing_ * (z1_ - z2_);

    if (mode_ == kDriftCopy)
        return CopyPass(value) ? kDriftStartTracking : action;
    if (mode_ == kDriftLanding)
        return action;
    return TrackPass() ? kDriftStartLanding : action;
}

void CDriftController::Landed()
{
    if (mode_ != kDriftLanding)
        return;
    mode_ = kDriftCopy;
    integral_ = 0;
    SetCorrection(0.0);
    anchor_ = z2_;
    pass_ = n_ = st_ = sy_ = stt_ = sty_ = 0;
}

double CDriftController::Ppm() const
{
    return (static_cast<double>(step_) - kOneFrame) / kOneFrame * 1e6;
}

uint32_t CDriftController::SetPoint() const
{
    const double level = mode_ == kDriftCopy ? anchor_ : home_;
    return static_cast<uint32_t>(std::lround(level));
}
