#include "check/render.h"

#include <algorithm>
#include <string>
#include <vector>

#include "base/console.h"
#include "check/path_text.h"
#include "engine/clock/clock_bridge.h"
#include "wav/wav_file.h"

namespace {

// The live loop's passes over the file (see render.h). Returns the frames
// written; prints the clock's course.
uint64_t PlayClocked(CFIRFilter* filter, CWavReader* reader, CWavWriter* writer, uint32_t buffer,
                     double ppm, bool* written)
{
    const uint32_t rate = reader->Rate();
    const uint32_t packet = std::max<uint32_t>(rate / 100, 1);
    const uint64_t prebuffer = PrebufferFrames(buffer, filter->GetTapCount());
    CClockBridge bridge;
    if (!bridge.Start(filter, buffer)) {
        ConsolePrint(L"ERROR:Not enough memory to render.\n");
        *written = false;
        return 0;
    }
    const size_t channels = reader->Channels();
    std::vector<float> samples(static_cast<size_t>(packet) * channels);
    std::vector<float> stereo(2 * static_cast<size_t>(packet));
    std::vector<uint8_t> out(static_cast<size_t>(buffer) * filter->output_format.block_align);
    double due = 0, sent = 0;
    uint64_t passes = 0, tail = 0, frames = 0;
    bool prebuffering = true, ended = false;
    double tracking_from = -1;
    // After the file, silence until the store has played out.
    while (*written && tail < prebuffer + 2 * uint64_t{buffer}) {
        due += buffer * (1 + ppm * 1e-6);
        while (sent + packet <= due) {
            sent += packet;
            size_t read = ended ? 0 : reader->Read(samples.data(), packet);
            ended = ended || read < packet;
            for (size_t i = 0; i < read; ++i) {
                stereo[2 * i] = samples[i * channels];
                stereo[2 * i + 1] = samples[i * channels + channels - 1];
            }
            std::fill(stereo.begin() + 2 * static_cast<std::ptrdiff_t>(read), stereo.end(), 0.0f);
            bridge.WritePacket(packet, reinterpret_cast<const uint8_t*>(stereo.data()), false);
        }
        const uint32_t held = filter->write_pos - filter->read_pos;
        if (prebuffering)
            prebuffering = held < prebuffer;
        if (bridge.EndDrain(!prebuffering) == kBridgeStartedTracking && tracking_from < 0)
            tracking_from = static_cast<double>(passes) * buffer / rate;
        if (prebuffering) {
            std::fill(out.begin(), out.end(), uint8_t{0});
        } else {
            filter->ReadData(buffer, out.data());
            prebuffering = filter->write_pos == filter->read_pos;
        }
        *written = writer->Append(out.data(), out.size());
        frames += buffer;
        ++passes;
        if (ended)
            tail += buffer;
    }
    if (tracking_from >= 0)
        ConsolePrint(L"  The output followed the loopback's clock from %.1f s on; ratio at the "
                     L"end %+.2f ppm, set point %u frames.\n",
                     tracking_from, bridge.RatioPpm(), static_cast<unsigned>(bridge.SetPoint()));
    else
        ConsolePrint(L"  The output copied the loopback's frames throughout.\n");
    return frames;
}

} // namespace

bool RenderWav(CFIRFilter* filter, const std::filesystem::path& input,
               const std::filesystem::path& output, const RenderSettings& settings)
{
    CWavReader reader;
    std::string error;
    if (!reader.Open(input, &error)) {
        ConsolePrint(L"ERROR:%s\n", error.c_str());
        return false;
    }
    if (reader.Channels() > 2) {
        ConsolePrint(L"ERROR:Only mono or stereo WAVE files are rendered; %ls has %u channels.\n",
                     PathText(input).c_str(), static_cast<unsigned>(reader.Channels()));
        return false;
    }
    const uint32_t rate = reader.Rate();
    const uint32_t taps = filter->GetTapCount();

    // Set as the capture thread sets them, for an output stream of six
    // channels at the capture's rate.
    filter->mono_lfe = settings.mono_lfe ? 1 : 0;
    filter->attenuation = settings.attenuation;
    const uint16_t bits = static_cast<uint16_t>(settings.output_bit);
    const WaveFormat format = ExtensibleFormat(6, rate, bits, kSubtypePcm);
    filter->SetOutputFormat(&format);
    if (!filter->CheckScaledTaps())
        return false;

    // Blocks of 100 ms, an even count (see drain below). The store holds what a
    // block leaves unread (at most tap_count frames) and the next block.
    const uint32_t block = std::max<uint32_t>(rate / 10 & ~1u, 2);
    const uint32_t live_buffer = std::max<uint32_t>(rate * 99 / 1000, 1);
    const uint64_t frames_needed =
        settings.clocked ? StoreFrames(live_buffer, taps) : uint64_t{taps} + std::max(block, taps);
    filter->buffer_msec = StoreMilliseconds(frames_needed, rate);
    const WaveFormat capture = ExtensibleFormat(2, rate, 32);
    if (!filter->SetFormat(&capture)) {
        ConsolePrint(L"ERROR:Not enough memory to render.\n");
        return false;
    }
    if (filter->capacity < frames_needed) {
        ConsolePrint(L"ERROR:The filter is too long to render at %u Hz.\n", rate);
        return false;
    }

    CWavWriter writer;
    if (!writer.Open(output, rate, 6, bits)) {
        ConsolePrint(L"ERROR:Cannot write %ls\n", PathText(output).c_str());
        return false;
    }
    bool written = true;
    if (settings.clocked) {
        const uint64_t played =
            PlayClocked(filter, &reader, &writer, live_buffer, settings.clock_ppm, &written);
        if (!written) {
            ConsolePrint(L"ERROR:Writing %ls failed.\n", PathText(output).c_str());
            return false;
        }
        ConsolePrint(L"Rendered %ls (%u Hz) into %ls: %llu frames of six %u-bit channels, as "
                     L"played live with the loopback's clock %+.1f ppm off the output's.\n",
                     PathText(input).c_str(), rate, PathText(output).c_str(),
                     static_cast<unsigned long long>(played), static_cast<unsigned>(bits),
                     settings.clock_ppm);
        return true;
    }
    std::vector<uint8_t> out(static_cast<size_t>(block) * filter->output_format.block_align);
    // Reads every frame whose window is complete. The kernel's order of
    // additions depends on the parity of a window's index in the store; the
    // store moves unread frames to index 0 when it compacts, so until the
    // last call an even count is read and every frame keeps the parity of
    // its index in the stream, as in one uninterrupted store.
    auto drain = [&](bool last) {
        const uint32_t stored = filter->write_pos - filter->read_pos;
        uint32_t ready = stored >= taps - 1 ? stored - (taps - 1) : 0;
        if (!last)
            ready &= ~1u;
        while (ready > 0 && written) {
            const uint32_t n = std::min(ready, block);
            filter->ReadData(n, out.data());
            written = writer.Append(out.data(), static_cast<size_t>(n) * out.size() / block);
            ready -= n;
        }
    };

    filter->WriteData(taps - 1, nullptr);
    std::vector<float> samples(static_cast<size_t>(block) * reader.Channels());
    std::vector<float> stereo(2 * static_cast<size_t>(block));
    uint64_t frames = 0;
    size_t read;
    while (written && (read = reader.Read(samples.data(), block)) > 0) {
        frames += read;
        const size_t step = reader.Channels();
        for (size_t i = 0; i < read; ++i) {
            stereo[2 * i] = samples[i * step];
            stereo[2 * i + 1] = samples[i * step + step - 1];
        }
        filter->WriteData(static_cast<uint32_t>(read),
                          reinterpret_cast<const uint8_t*>(stereo.data()));
        drain(false);
    }
    filter->WriteData(taps - 1, nullptr);
    drain(true);
    if (!written) {
        ConsolePrint(L"ERROR:Writing %ls failed.\n", PathText(output).c_str());
        return false;
    }
    const wchar_t* layout = reader.Channels() == 1 ? L"mono" : L"stereo";
    ConsolePrint(L"Rendered %ls (%llu frames, %u Hz, %ls) into %ls: %llu frames of six %u-bit "
                 L"channels, the file and the last %u frames of the filters' response to it.\n",
                 PathText(input).c_str(), static_cast<unsigned long long>(frames), rate, layout,
                 PathText(output).c_str(), static_cast<unsigned long long>(frames + taps - 1),
                 static_cast<unsigned>(bits), taps - 1);
    return true;
}
