#include "audio/processing_loop.h"

#include <cwchar>

#include "audio/capture_end.h"
#include "audio/live_controls.h"
#include "audio/platform_calls.h"
#include "base/console.h"

int32_t loopDurations[kLoopDurationEntries];

namespace {

constexpr DWORD kEventTimeoutMs = 2000; // a device that stops signalling must not hang us
constexpr int kStatisticsLineUnits = 256;

void PrintStatisticsLine(const wchar_t* line)
{
    ConsolePrint(L"%ls", line);
    WriteDebugOutput(line);
}

// Closes the window with `verbose`: the averages line, the durations and,
// while the output follows a clock of its own, the resampler's state.
void PrintStatistics(const LoopStats& stats, uint32_t elapsed, uint32_t held,
                     const CClockBridge& bridge)
{
    wchar_t line[kStatisticsLineUnits];
    float average = static_cast<float>(elapsed) / static_cast<float>(stats.count);
    if (swprintf(
            line, kStatisticsLineUnits,
            L"Loop count=%d. Ave=%.03f[ms] Min=%d[ms] Max=%d[ms] PerLoop. Buffering frames=%d.\n",
            stats.count, static_cast<double>(average), static_cast<int>(stats.min),
            static_cast<int>(stats.max), static_cast<int>(held)) < 0) {
        line[kStatisticsLineUnits - 1] = L'\0';
    }
    PrintStatisticsLine(line);

    // The list ends at the last entry that fits whole beside the closing
    // "\n" and the zero; later entries of a long window are left out.
    int length = 0;
    line[0] = L'\0';
    for (int64_t i = 0; i < stats.index; ++i) {
        wchar_t entry[16];
        int entry_length = swprintf(entry, 16, L"%d ", static_cast<int>(loopDurations[i]));
        if (entry_length < 0 || length + entry_length + 1 > kStatisticsLineUnits - 1)
            break;
        wmemcpy(line + length, entry, entry_length);
        length += entry_length;
    }
    line[length++] = L'\n';
    line[length] = L'\0';
    PrintStatisticsLine(line);

    if (bridge.Mode() == kDriftCopy)
        return;
    if (swprintf(line, kStatisticsLineUnits, L"Clock: %ls ratio=%+.2f[ppm] Set point=%u[frames].\n",
                 bridge.Mode() == kDriftTrack ? L"tracking" : L"landing", bridge.RatioPpm(),
                 static_cast<unsigned>(bridge.SetPoint())) < 0) {
        line[kStatisticsLineUnits - 1] = L'\0';
    }
    PrintStatisticsLine(line);
}

void RecordPass(LoopStats* stats, uint32_t held, bool verbose, const CClockBridge& bridge)
{
    uint32_t clock = ReadMillisecondClock();
    uint32_t duration = clock - stats->last;
    stats->last = clock;
    if (duration < stats->min)
        stats->min = duration;
    if (duration > stats->max)
        stats->max = duration;
    // A window of more than kLoopDurationEntries passes keeps the first
    // ones; count still counts them all.
    if (stats->index < kLoopDurationEntries)
        loopDurations[stats->index++] = static_cast<int32_t>(duration);
    ++stats->count;
    uint32_t elapsed = clock - stats->window_start;
    if (elapsed < 1000)
        return;
    if (verbose)
        PrintStatistics(*stats, elapsed, held, bridge);
    stats->window_start = clock;
    stats->count = 0;
    stats->index = 0;
    stats->min = 1000;
    stats->max = 0;
}

// Moves every waiting capture packet into the store, through the resampler;
// the first failing call's result, or S_OK.
HRESULT DrainCapture(CPlayout* playout, IAudioCaptureClient* reader)
{
    UINT32 frames = 0;
    HRESULT hr = reader->GetNextPacketSize(&frames);
    while (SUCCEEDED(hr) && frames != 0) {
        BYTE* data = nullptr;
        DWORD flags = 0;
        if (FAILED(hr = reader->GetBuffer(&data, &frames, &flags, nullptr, nullptr)))
            return hr;
        // A silent packet's bytes are undefined; the store takes zeros. A
        // packet after a gap moves the level by the frames lost, not by the
        // clocks: the bridge settles again instead of following it.
        playout->WritePacket(frames, (flags & AUDCLNT_BUFFERFLAGS_SILENT) ? nullptr : data,
                             (flags & AUDCLNT_BUFFERFLAGS_DATA_DISCONTINUITY) != 0);
        if (FAILED(hr = reader->ReleaseBuffer(frames)))
            return hr;
        hr = reader->GetNextPacketSize(&frames);
    }
    return hr;
}

// A failing call's end: the side's endpoint gone, or an error for good.
CaptureEnd EndFor(HRESULT hr, CaptureEnd gone)
{
    return IsDeviceGone(hr) ? gone : kCaptureEnded;
}

BandControls ReadLiveControls()
{
    return {LiveControls.divider_through.load(std::memory_order_relaxed),
            LiveControls.mute_lfe.load(std::memory_order_relaxed),
            LiveControls.mute_low.load(std::memory_order_relaxed),
            LiveControls.mute_high.load(std::memory_order_relaxed)};
}

// One pass after the wait; false on a failing call, with its `end`.
bool RunPass(CPlayout* playout, const LoopStreams& streams, CaptureEnd* end)
{
    HRESULT hr = DrainCapture(playout, streams.capture_reader);
    if (FAILED(hr)) {
        *end = EndFor(hr, kLoopbackLost);
        return false;
    }
    BYTE* data = nullptr;
    if (FAILED(hr = streams.render_client->GetBuffer(streams.output_frames, &data))) {
        *end = EndFor(hr, kOutputLost);
        return false;
    }
    const PlayedBuffer played = playout->Play(ReadLiveControls(), data);
    if (played.event == kBridgeStartedTracking)
        ConsolePrint(L">The clocks differ: following the output device's clock.\n");
    const DWORD flags = played.filtered ? 0 : AUDCLNT_BUFFERFLAGS_SILENT;
    if (FAILED(hr = streams.render_client->ReleaseBuffer(streams.output_frames, flags))) {
        *end = EndFor(hr, kOutputLost);
        return false;
    }
    return true;
}

} // namespace

CaptureEnd RunProcessingLoop(CPlayout* playout, const LoopStreams& streams,
                             const Settings* settings)
{
    CaptureEnd end = kCaptureEnded;
    bool stop_requested = false;
    LoopStats stats = {};
    stats.window_start = ReadMillisecondClock();
    stats.last = stats.window_start;
    stats.min = 1000;

    for (;;) {
        // The output event comes first, so a pass that is due runs as a
        // normal one even when the stop is already set.
        HANDLE handles[2] = {streams.output_event, stopEvent};
        DWORD waited = WaitForMultipleObjects(2, handles, FALSE, kEventTimeoutMs);
        if (waited == WAIT_OBJECT_0 + 1) {
            stop_requested = true;
        } else if (waited != WAIT_OBJECT_0) {
            streams.output_client->Stop();
            streams.capture_client->Stop();
            ConsolePrint(L"ERROR:The output buffer event was timeout.\n");
            end = kOutputStalled;
            break;
        }

        if (!RunPass(playout, streams, &end))
            break;
        RecordPass(&stats, playout->Held(), settings->verbose != 0, playout->Bridge());

        if (stop_requested) {
            HRESULT hr = streams.output_client->Stop();
            if (FAILED(hr)) {
                end = EndFor(hr, kOutputLost);
                break;
            }
            if (FAILED(hr = streams.capture_client->Stop())) {
                end = EndFor(hr, kLoopbackLost);
                break;
            }
            ConsolePrint(L">Finish the capturing.\n");
            return kCaptureEnded;
        }
    }
    ConsolePrint(L"ERROR:Error occurred during sound processing loop.\n");
    return end;
}
