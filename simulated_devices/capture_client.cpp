// The simulated capture service: packets of the loopback's signal, due as
// the client's clock runs or as a test queues them.
#include <algorithm>

#include "simulated_devices/audio_client.h"

namespace simulated_devices {
namespace {

class SimulatedCaptureClient : public Service<IAudioCaptureClient> {
public:
    explicit SimulatedCaptureClient(SimulatedAudioClient* client)
        : Service("IAudioCaptureClient", client),
          config_(Locked([](State& s) { return s.d.capture; }))
    {
        packet_frames_ = config_.packet_frames != 0
                             ? config_.packet_frames
                             : std::max<uint32_t>(1, client->format().samples_per_sec / 100);
    }
    HRESULT STDMETHODCALLTYPE GetNextPacketSize(UINT32* frames) override
    {
        *frames = 0;
        HRESULT hr = Enter("IAudioCaptureClient::GetNextPacketSize");
        if (FAILED(hr) || FAILED(hr = client_->Lost()))
            return hr;
        Packet packet;
        if (pending_ == 0 && NextPacket(&packet))
            *frames = packet.frames;
        return hr;
    }
    HRESULT STDMETHODCALLTYPE GetBuffer(BYTE** data, UINT32* frames, DWORD* flags, UINT64*,
                                        UINT64*) override
    {
        *data = nullptr;
        *frames = 0;
        *flags = 0;
        HRESULT hr = Enter("IAudioCaptureClient::GetBuffer");
        if (FAILED(hr) || FAILED(hr = client_->Lost()))
            return hr;
        Packet packet;
        if (pending_ != 0)
            return AUDCLNT_E_OUT_OF_ORDER;
        if (!NextPacket(&packet))
            return AUDCLNT_S_BUFFER_EMPTY;
        const WaveFormat& format = client_->format();
        position_ += packet.lost;
        buffer_.assign(static_cast<size_t>(packet.frames) * format.block_align, 0x5A);
        if (!packet.silent && config_.source != nullptr && format.bits_per_sample == 32) {
            config_.source(reinterpret_cast<float*>(buffer_.data()), packet.frames, format.channels,
                           format.samples_per_sec, position_, config_.context);
        } else if (!packet.silent) {
            std::fill(buffer_.begin(), buffer_.end(), 0);
        }
        pending_ = packet.frames;
        pending_flags_ = (packet.silent ? AUDCLNT_BUFFERFLAGS_SILENT : 0) |
                         (packet.lost != 0 ? AUDCLNT_BUFFERFLAGS_DATA_DISCONTINUITY : 0);
        *data = buffer_.data();
        *frames = pending_;
        *flags = pending_flags_;
        return hr;
    }
    HRESULT STDMETHODCALLTYPE ReleaseBuffer(UINT32 frames) override
    {
        HRESULT hr = Enter("IAudioCaptureClient::ReleaseBuffer");
        if (FAILED(hr))
            return hr;
        if (frames != 0 && frames != pending_)
            return AUDCLNT_E_INVALID_SIZE;
        if (frames != 0) {
            Record(StreamEvent::kCapture, frames, pending_flags_, buffer_, buffer_.size(),
                   client_->format());
            ++served_;
            position_ += frames;
            Locked([&](State& s) {
                if (!config_.real_time && !s.d.queued.empty())
                    s.d.queued.pop_front();
            });
        }
        pending_ = 0;
        return hr;
    }

private:
    // The packet due now, if any.
    bool NextPacket(Packet* packet)
    {
        if (!config_.real_time) {
            return Locked([&](State& s) {
                if (s.d.queued.empty())
                    return false;
                *packet = s.d.queued.front();
                if (packet->frames == 0)
                    packet->frames = packet_frames_;
                return true;
            });
        }
        *packet = {packet_frames_, false, 0};
        // The engine mixes only into the default endpoint's loopback.
        if (!IsDefaultEndpoint(client_->endpoint_id()))
            return false;
        uint64_t due = client_->ElapsedFrames() / packet_frames_;
        // A reader more than a buffer behind loses the oldest packets, as
        // the engine overwrites them.
        uint64_t held = std::max<uint64_t>(1, client_->buffer_frames() / packet_frames_);
        served_ = std::max(served_, due > held ? due - held : 0);
        position_ = served_ * packet_frames_;
        return served_ < due;
    }

    CaptureConfig config_;
    uint32_t packet_frames_;
    DWORD pending_flags_ = 0;
    uint64_t served_ = 0;   // real time: packets, the lost ones included
    uint64_t position_ = 0; // frames of the signal served so far
};

} // namespace

IAudioCaptureClient* NewCaptureClient(SimulatedAudioClient* client)
{
    return new SimulatedCaptureClient(client);
}

} // namespace simulated_devices
