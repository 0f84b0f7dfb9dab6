// The simulated render service: hands out stale buffers and records what
// the program releases.
#include <algorithm>

#include "simulated_devices/audio_client.h"

namespace simulated_devices {
namespace {

class SimulatedRenderClient : public Service<IAudioRenderClient> {
public:
    explicit SimulatedRenderClient(SimulatedAudioClient* client)
        : Service("IAudioRenderClient", client)
    {
    }
    HRESULT STDMETHODCALLTYPE GetBuffer(UINT32 frames, BYTE** data) override
    {
        *data = nullptr;
        HRESULT hr = Enter("IAudioRenderClient::GetBuffer");
        if (FAILED(hr) || FAILED(hr = client_->Lost()))
            return hr;
        if (pending_ != 0)
            return AUDCLNT_E_OUT_OF_ORDER;
        if (frames > client_->buffer_frames())
            return AUDCLNT_E_BUFFER_TOO_LARGE;
        // Stale bytes, as a device buffer has: a buffer released silent
        // without being written must not pass for data.
        buffer_.assign(static_cast<size_t>(frames) * client_->format().block_align, 0xCD);
        pending_ = frames;
        *data = buffer_.data();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE ReleaseBuffer(UINT32 frames, DWORD flags) override
    {
        HRESULT hr = Enter("IAudioRenderClient::ReleaseBuffer");
        if (FAILED(hr) || FAILED(hr = client_->Lost()))
            return hr;
        if (frames > pending_)
            return AUDCLNT_E_INVALID_SIZE;
        pending_ = 0;
        size_t bytes = static_cast<size_t>(frames) * client_->format().block_align;
        if (flags & AUDCLNT_BUFFERFLAGS_SILENT)
            std::fill(buffer_.begin(), buffer_.begin() + bytes, 0);
        Record(StreamEvent::kRender, frames, flags, buffer_, bytes, client_->format());
        return hr;
    }
};

} // namespace

IAudioRenderClient* NewRenderClient(SimulatedAudioClient* client)
{
    return new SimulatedRenderClient(client);
}

} // namespace simulated_devices
