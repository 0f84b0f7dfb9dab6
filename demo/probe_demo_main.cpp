// trivandel-probe-demo.exe: trivandel-probe on the stand-in endpoints of
// trivandel-demo.exe, chosen by the same environment variables.
#include "demo/demo_audio.h"
#include "probe/probe.h"

int main()
{
    if (!InstallSimulatedAudio())
        return 1;
    return RunProbe();
}
