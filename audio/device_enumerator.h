// The one way the capture thread obtains the device enumerator, so that a
// test build can hand it stand-in endpoints instead of the machine's.
#pragma once

#include <windows.h>

#include <mmdeviceapi.h>

using DeviceEnumeratorFactory = HRESULT (*)(IMMDeviceEnumerator** enumerator);

// nullptr restores the default, CoCreateInstance(CLSID_MMDeviceEnumerator).
void SetDeviceEnumeratorFactory(DeviceEnumeratorFactory factory);

// Called by the capture thread after it has initialised COM.
HRESULT CreateDeviceEnumerator(IMMDeviceEnumerator** enumerator);
