// The capture thread: loopback capture of the default render endpoint,
// through the three-band filter, to the chosen output endpoint.
#pragma once

#include <windows.h>

// `settings` is the address of captureSettings (const Settings*), read only.
// Ends on stopEvent, on any failing platform call, or when the output
// device stops asking for data; the exit code is a CaptureEnd
// (audio/capture_end.h), 0 when stopped or failed for good.
DWORD WINAPI CaptureThreadProc(LPVOID settings);
