// trivandel-probe.exe: the machine's own endpoints.
#include "probe/probe.h"

int wmain()
{
    return RunProbe();
}
