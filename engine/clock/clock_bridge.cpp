#include "engine/clock/clock_bridge.h"

#include "base/wave_format.h"

CClockBridge::CClockBridge()
    : store_(nullptr), enabled_(false), packets_(false), discontinuity_(false)
{
}

bool CClockBridge::Start(CCaptureBuffer* store, uint32_t output_frames)
{
    store_ = store;
    packets_ = false;
    discontinuity_ = false;
    const WaveFormat& format = store->capture_format;
    const bool ready = resampler_.Setup() && controller_.Setup(output_frames, store->GetTapCount(),
                                                               format.samples_per_sec);
    enabled_ = ready && store->frame_bytes == 8 && format.bits_per_sample == 32 &&
               SameSubFormat(format.sub_format, kSubtypeFloat);
    return ready;
}

void CClockBridge::WritePacket(uint32_t frames, const uint8_t* data, bool discontinuity)
{
    packets_ = true;
    discontinuity_ = discontinuity_ || discontinuity;
    if (enabled_)
        resampler_.Write(store_, frames, data);
    else
        store_->WriteData(frames, data);
}

BridgeEvent CClockBridge::EndDrain(bool playing)
{
    DriftPass pass;
    pass.level = store_->Held();
    pass.packets = packets_;
    pass.playing = playing;
    pass.discontinuity = discontinuity_;
    packets_ = false;
    discontinuity_ = false;
    if (!enabled_)
        return kBridgeNoEvent;

    BridgeEvent event = kBridgeNoEvent;
    if (controller_.Mode() == kDriftLanding && !resampler_.Tracking()) {
        // Landed during the drain.
        controller_.Landed();
        event = kBridgeCopying;
    }
    switch (controller_.Update(pass)) {
    case kDriftStartTracking:
        resampler_.StartTracking(controller_.Step());
        event = kBridgeStartedTracking;
        break;
    case kDriftStartLanding:
        resampler_.Land();
        break;
    case kDriftDropPhase:
        resampler_.DropPhase(store_);
        event = kBridgeCopying;
        break;
    case kDriftNoAction:
        break;
    }
    resampler_.SetStep(controller_.Step());
    return event;
}
