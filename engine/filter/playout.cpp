#include "engine/filter/playout.h"

CPlayout::CPlayout() : bridged_(false), output_frames_(0), prebuffer_frames_(0), prebuffering_(true)
{
}

void CPlayout::SetOptions(float attenuation, uint8_t mono_lfe)
{
    filter_.attenuation = attenuation;
    filter_.mono_lfe = mono_lfe;
}

OutputRefusal CPlayout::TakesOutput(const WaveFormat* output) const
{
    WaveFormat wide;
    WidenWaveFormat(output, &wide);
    const int32_t kind = ChooseSampleKind(wide);
    if (kind == kSampleKindNone)
        return kOutputFormatRefused;
    // A gain of NaN or infinity, or one too large for this output's full
    // scale, would turn the scaled taps into full-scale noise or DC.
    return filter_.CheckScaledTaps(kind) ? kOutputTaken : kOutputTapsInfinite;
}

bool CPlayout::Start(const WaveFormat* capture, const WaveFormat* output, uint32_t output_frames)
{
    bridged_ = false;
    if (!StartStore(capture, output, output_frames))
        return false;
    // Out of memory the bridge copies: the clocks are then not followed.
    bridge_.Start(&filter_, output_frames);
    bridged_ = true;
    return true;
}

bool CPlayout::StartFile(const WaveFormat* capture, const WaveFormat* output, uint32_t block)
{
    bridged_ = false;
    return StartStore(capture, output, block);
}

bool CPlayout::StartStore(const WaveFormat* capture, const WaveFormat* output,
                          uint32_t output_frames)
{
    filter_.SetOutputFormat(output);
    output_frames_ = output_frames;
    prebuffer_frames_ = ::PrebufferFrames(output_frames, filter_.GetTapCount());
    prebuffering_ = true;
    // Room for the pre-buffered frames and one drain more, however long the
    // filter.
    filter_.buffer_msec = StoreMilliseconds(StoreFrames(output_frames, filter_.GetTapCount()),
                                            capture->samples_per_sec);
    if (!filter_.SetFormat(capture))
        return false;
    filter_.PrepareFft(output_frames);
    return true;
}

void CPlayout::WritePacket(uint32_t frames, const uint8_t* data, bool discontinuity)
{
    if (bridged_)
        bridge_.WritePacket(frames, data, discontinuity);
    else
        filter_.WriteData(frames, data);
}

PlayedBuffer CPlayout::Play(const BandControls& controls, uint8_t* out)
{
    if (prebuffering_)
        prebuffering_ = Held() < prebuffer_frames_;
    const PlayedBuffer played = {!prebuffering_, bridge_.EndDrain(!prebuffering_)};
    if (played.filtered) {
        filter_.divider_through = controls.divider_through;
        filter_.mute_lfe = controls.mute_lfe;
        filter_.mute_low = controls.mute_low;
        filter_.mute_high = controls.mute_high;
        filter_.ReadData(output_frames_, out);
        // A store run dry fills up again before the next filtered buffer.
        prebuffering_ = Held() == 0;
    } else {
        filter_.WarmFft(output_frames_);
    }
    return played;
}

uint32_t CPlayout::PlayWindows(uint32_t most, bool to_end, uint8_t* out)
{
    const uint32_t reach = filter_.GetTapCount() > 0 ? filter_.GetTapCount() - 1 : 0;
    const uint32_t held = Held();
    const uint32_t ready = held > reach ? held - reach : 0;
    uint32_t n = ready < most ? ready : most;
    if (!to_end)
        n &= ~1u;
    return n > 0 ? filter_.ReadData(n, out) : 0;
}

uint32_t CPlayout::Held() const
{
    return filter_.Held();
}
