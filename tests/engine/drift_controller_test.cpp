#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <random>

#include "engine/clock/drift_controller.h"

namespace {

// The controller on a model of the store: packets of 432 to 528 frames from
// a loopback running `ppm` fast, one output buffer of 4752 frames a pass,
// the input resampled at the controller's step. Counted in passes.
struct Scenario {
    double ppm;
    uint32_t loss_at; // pass at which 2400 frames of capture are lost,
    bool flagged;     // and whether the next drain says so
    uint32_t silence; // passes from 3000 on without packets
    DriftMode mode;   // after 16.5 minutes, and within 5 ppm of `ppm`
};

// Returns the mean ratio offset (ppm) of the last minute.
double RunModel(const Scenario& s, uint32_t passes, CDriftController* controller)
{
    if (!controller->Setup(4752, 1023, 48000))
        return NAN;
    double sum = 0;
    std::mt19937 rng(9);
    std::uniform_int_distribution<uint32_t> size(432, 528);
    double due = 0, sent = 0, level = 0;
    bool playing = false;
    for (uint32_t pass = 0; pass < passes; ++pass) {
        due += 4752 * (1 + s.ppm * 1e-6);
        const bool loss = pass == s.loss_at && s.loss_at > 0;
        bool packets = false;
        if (loss)
            sent += 2400;
        for (uint32_t n = size(rng); sent + n <= due; n = size(rng)) {
            sent += n;
            if (pass >= 3000 && pass < 3000 + s.silence)
                continue;
            packets = true;
            level += n / (static_cast<double>(controller->Step()) / 4294967296.0);
        }
        if (!playing)
            playing = level >= 9504;
        controller->Update({static_cast<uint32_t>(level), packets, playing, loss && s.flagged});
        if (playing) {
            level = std::max(level - 4752, 0.0);
            playing = level > 0;
        }
        if (pass + 606 >= passes)
            sum += controller->Ppm();
    }
    return sum / 606;
}

TEST(DriftController, HoldsTheLevelFromCountsAlone)
{
    const Scenario cases[] = {
        {200, 0, false, 0, kDriftTrack},    {-200, 0, false, 0, kDriftTrack},
        {-20, 0, false, 0, kDriftTrack},    {0, 0, false, 0, kDriftCopy},
        {0, 5000, true, 0, kDriftCopy},     // a flagged loss re-anchors
        {0, 5000, false, 0, kDriftTrack},   // unflagged, it looks like drift
        {150, 0, false, 7000, kDriftTrack}, // no packets: the ratio holds
    };
    for (const Scenario& s : cases) {
        CDriftController controller;
        const double ppm = RunModel(s, 10000, &controller);
        // (Having followed a loss it took for drift, it may be landing.)
        EXPECT_EQ(controller.Mode() == kDriftCopy, s.mode == kDriftCopy)
            << s.ppm << " ppm, loss at " << s.loss_at;
        if (s.mode == kDriftTrack && s.loss_at == 0) {
            EXPECT_NEAR(ppm, s.ppm, 5) << s.ppm;
            EXPECT_GE(controller.SetPoint(), 4752u + 1023 + 2048);
        }
    }
}

} // namespace
