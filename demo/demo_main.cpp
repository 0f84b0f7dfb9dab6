// trivandel-demo.exe: the whole program on stand-in audio endpoints, for
// the Wine tests and the demo (Wine has no loopback capture and no
// exclusive mode). Only the device enumerator differs from trivandel.exe.
#include "app/supervisor.h"
#include "demo/demo_audio.h"

int wmain(int argc, wchar_t** argv)
{
    if (!InstallSimulatedAudio())
        return 1;
    const int status = RunTrivandel(argc, argv);
    return SimulatedAudioReleased() ? status : 3;
}
