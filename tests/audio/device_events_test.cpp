// What Windows does to the endpoints beyond losing one: the audio service
// restarting under running streams, and new defaults for some roles only.
#include "audio/device_watch.h"
#include "tests/audio/audio_test_support.h"

namespace {

const wchar_t* const kHeadphonesId = L"{0.0.0.00000000}.{5ea1d7a0-0001-4000-8000-000000000002}";

using DeviceEventTest = CaptureThreadTest;

// The service restarts as the first packet or buffer of `kind` is released:
// the thread ends as for that side's loss, which the supervisor waits out,
// and the next start plays on new clients.
TEST_F(DeviceEventTest, AnAudioServiceRestartEndsTheCaptureAsALostDeviceAndTheNextStartPlays)
{
    const struct {
        simulated_devices::StreamEvent::Kind when;
        const wchar_t* line;
        DWORD end;
    } cases[] = {
        // The silent first buffer: the output's Start fails in set-up.
        {simulated_devices::StreamEvent::kRender, L"ERROR:Audio device initialization was failed.",
         kOutputLost},
        // The loop's first packet: the next packet's size cannot be read.
        {simulated_devices::StreamEvent::kCapture,
         L"ERROR:Error occurred during sound processing loop.", kLoopbackLost},
    };
    static simulated_devices::StreamEvent::Kind restart_at;
    static bool restarted;
    for (const auto& c : cases) {
        ResetDevices();
        AddStandardEndpoints();
        restart_at = c.when;
        restarted = false;
        simulated_devices::SetStreamSink(
            [](simulated_devices::StreamEvent::Kind kind, const uint8_t*, uint32_t, DWORD,
               const WaveFormat&, void*) {
                if (kind == restart_at && !restarted) {
                    restarted = true;
                    simulated_devices::RestartAudioService();
                }
            },
            nullptr);
        console_.Clear();
        RunStopped();
        ExpectEnded({c.line}, true, c.end);

        console_.Clear();
        RunStopped();
        ExpectEnded({L">Start the captureing.", L">Finish the capturing."}, true);
    }
}

// Only a new default render endpoint for eConsole, the one the loopback
// follows, restarts the capture, and only it moves what the capture opens:
// not a new default microphone, nor a new default communications device.
TEST_F(DeviceEventTest, OnlyANewDefaultForTheCapturedRoleIsHeard)
{
    const struct {
        const char* change;
        void (*apply)();
        const wchar_t* captured; // the default the capture thread opens next
    } cases[] = {
        {"microphone", [] { simulated_devices::SetDefaultMicrophone(L"{0.0.1.00000000}.{mic}"); },
         kSpeakersId},
        {"communications",
         [] { simulated_devices::SetDefaultCommunicationsEndpoint(kHeadphonesId); }, kSpeakersId},
        {"every role", [] { simulated_devices::SetDefaultEndpoint(kHeadphonesId); }, kHeadphonesId},
    };
    AddStandardEndpoints();
    simulated_devices::AddEndpoint(
        Endpoint(kHeadphonesId, L"Headphones (stand-in)", FloatFormat(48000, 2)));
    DeviceWatch watch;
    ASSERT_TRUE(StartDeviceWatch(&watch));
    for (const auto& c : cases) {
        c.apply();
        EXPECT_EQ(WaitForSingleObject(watch.default_changed, 0) == WAIT_OBJECT_0,
                  c.captured != kSpeakersId)
            << c.change;
        IMMDevice* endpoint = nullptr;
        LPWSTR id = nullptr;
        ASSERT_TRUE(
            SUCCEEDED(watch.enumerator->GetDefaultAudioEndpoint(eRender, eConsole, &endpoint)));
        ASSERT_TRUE(SUCCEEDED(endpoint->GetId(&id)));
        EXPECT_EQ(std::wstring(id), c.captured) << c.change;
        CoTaskMemFree(id);
        endpoint->Release();
    }
    StopDeviceWatch(&watch);
}

} // namespace
