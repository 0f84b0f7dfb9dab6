#include "check/render.h"

#include <algorithm>
#include <string>
#include <vector>

#include "base/console.h"
#include "check/path_text.h"
#include "wav/wav_file.h"

namespace {

constexpr uint32_t kFftRenderBlock = 32768;

// Packets of the file as the loopback delivers them: the first and the last
// channel of each frame as float pairs, silence once the file has ended.
class CPacketSource {
public:
    // A stereo file's frames are read straight into the packet.
    CPacketSource(CWavReader* reader, uint32_t frames)
        : reader_(reader),
          samples_(reader->Channels() == 2 ? 0 : size_t{frames} * reader->Channels()),
          stereo_(2 * size_t{frames})
    {
    }
    // The next `frames` frames (at most the constructor's); returns how many
    // came from the file.
    size_t Next(uint32_t frames)
    {
        const bool stereo = reader_->Channels() == 2;
        float* into = stereo ? stereo_.data() : samples_.data();
        const size_t read = ended_ ? 0 : reader_->Read(into, frames);
        ended_ = ended_ || read < frames;
        const size_t step = reader_->Channels();
        for (size_t i = 0; !stereo && i < read; ++i) {
            stereo_[2 * i] = samples_[i * step];
            stereo_[2 * i + 1] = samples_[i * step + step - 1];
        }
        std::fill(stereo_.begin() + 2 * static_cast<std::ptrdiff_t>(read), stereo_.end(), 0.0f);
        return read;
    }
    const uint8_t* Data() const { return reinterpret_cast<const uint8_t*>(stereo_.data()); }
    bool Ended() const { return ended_; }

private:
    CWavReader* reader_;
    std::vector<float> samples_;
    std::vector<float> stereo_;
    bool ended_ = false;
};

// The file between silences, every frame whose window is complete read as
// soon as it is (see render.h). Returns the file's frames; `written` false
// when the output could not be written.
uint64_t PlayFile(CPlayout* playout, CWavReader* reader, CWavWriter* writer, uint32_t block,
                  bool* written)
{
    const uint32_t taps = playout->Filter().GetTapCount();
    std::vector<uint8_t> out(size_t{block} * playout->Filter().output_format.block_align);
    auto drain = [&](bool to_end) {
        for (uint32_t n; *written && (n = playout->PlayWindows(block, to_end, out.data())) > 0;)
            *written = writer->Append(out.data(), size_t{n} * out.size() / block);
    };
    CPacketSource source(reader, block);
    playout->WritePacket(taps - 1, nullptr, false);
    uint64_t frames = 0;
    for (size_t read; *written && (read = source.Next(block)) > 0;) {
        frames += read;
        playout->WritePacket(static_cast<uint32_t>(read), source.Data(), false);
        drain(false);
    }
    // The store has room for the windows and a filter's length more.
    playout->WritePacket(taps - 1, nullptr, false);
    drain(true);
    return frames;
}

// The live loop's passes over the file (see render.h). Returns the frames
// written; prints the clock's course.
uint64_t PlayClocked(CPlayout* playout, CWavReader* reader, CWavWriter* writer, uint32_t buffer,
                     double ppm, bool* written)
{
    const uint32_t rate = reader->Rate();
    const uint32_t packet = std::max<uint32_t>(rate / 100, 1);
    CPacketSource source(reader, packet);
    std::vector<uint8_t> out(size_t{buffer} * playout->Filter().output_format.block_align);
    const BandControls controls = {};
    double due = 0, sent = 0;
    uint64_t passes = 0, tail = 0, frames = 0;
    double tracking_from = -1;
    // After the file, silence until the store has played out.
    while (*written && tail < playout->PrebufferFrames() + 2 * uint64_t{buffer}) {
        due += buffer * (1 + ppm * 1e-6);
        for (; sent + packet <= due; sent += packet) {
            source.Next(packet);
            playout->WritePacket(packet, source.Data(), false);
        }
        const PlayedBuffer played = playout->Play(controls, out.data());
        if (played.event == kBridgeStartedTracking && tracking_from < 0)
            tracking_from = static_cast<double>(passes) * buffer / rate;
        if (!played.filtered)
            std::fill(out.begin(), out.end(), uint8_t{0});
        *written = writer->Append(out.data(), out.size());
        frames += buffer;
        ++passes;
        if (source.Ended())
            tail += buffer;
    }
    const CClockBridge& bridge = playout->Bridge();
    if (tracking_from >= 0)
        ConsolePrint(L"  The output followed the loopback's clock from %.1f s on; ratio at the "
                     L"end %+.2f ppm, set point %u frames.\n",
                     tracking_from, bridge.RatioPpm(), static_cast<unsigned>(bridge.SetPoint()));
    else
        ConsolePrint(L"  The output copied the loopback's frames throughout.\n");
    return frames;
}

} // namespace

bool RenderWav(CPlayout* playout, const std::filesystem::path& input,
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
    const uint32_t taps = playout->Filter().GetTapCount();

    // Set up as the capture thread does, for an output stream of six
    // channels at the capture's rate: the live loop's buffers of 99 ms, or
    // blocks of 100 ms, an even count (see PlayWindows). The FFT engine
    // transforms the block each pass ends in again in the next; a file's
    // windows are all there, so it takes long blocks, as an offline
    // convolver's periods are: the same output within the engine's
    // rounding, for fewer transforms.
    playout->SetOptions(settings.attenuation, settings.mono_lfe ? 1 : 0);
    const uint16_t bits = static_cast<uint16_t>(settings.output_bit);
    const WaveFormat format = ExtensibleFormat(6, rate, bits, kSubtypePcm);
    if (playout->TakesOutput(&format) != kOutputTaken)
        return false;
    const bool fft = playout->Filter().convolution == kConvolutionFft;
    const uint32_t buffer = settings.clocked ? std::max<uint32_t>(rate * 99 / 1000, 1)
                            : fft            ? kFftRenderBlock
                                             : std::max<uint32_t>(rate / 10 & ~1u, 2);
    const WaveFormat capture = ExtensibleFormat(2, rate, 32);
    const bool started = settings.clocked ? playout->Start(&capture, &format, buffer)
                                          : playout->StartFile(&capture, &format, buffer);
    if (!started) {
        ConsolePrint(L"ERROR:Not enough memory to render.\n");
        return false;
    }
    if (playout->Filter().capacity < StoreFrames(buffer, taps)) {
        ConsolePrint(L"ERROR:The filter is too long to render at %u Hz.\n", rate);
        return false;
    }

    CWavWriter writer;
    if (!writer.Open(output, rate, 6, bits)) {
        ConsolePrint(L"ERROR:Cannot write %ls\n", PathText(output).c_str());
        return false;
    }
    bool written = true;
    const uint64_t frames =
        settings.clocked
            ? PlayClocked(playout, &reader, &writer, buffer, settings.clock_ppm, &written)
            : PlayFile(playout, &reader, &writer, buffer, &written);
    if (!written) {
        ConsolePrint(L"ERROR:Writing %ls failed.\n", PathText(output).c_str());
        return false;
    }
    if (settings.clocked) {
        ConsolePrint(L"Rendered %ls (%u Hz) into %ls: %llu frames of six %u-bit channels, as "
                     L"played live with the loopback's clock %+.1f ppm off the output's.\n",
                     PathText(input).c_str(), rate, PathText(output).c_str(),
                     static_cast<unsigned long long>(frames), static_cast<unsigned>(bits),
                     settings.clock_ppm);
        return true;
    }
    const wchar_t* layout = reader.Channels() == 1 ? L"mono" : L"stereo";
    ConsolePrint(L"Rendered %ls (%llu frames, %u Hz, %ls) into %ls: %llu frames of six %u-bit "
                 L"channels, the file and the last %u frames of the filters' response to it.\n",
                 PathText(input).c_str(), static_cast<unsigned long long>(frames), rate, layout,
                 PathText(output).c_str(), static_cast<unsigned long long>(frames + taps - 1),
                 static_cast<unsigned>(bits), taps - 1);
    return true;
}
