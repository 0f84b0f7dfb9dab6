// The exclusive-mode rules of the simulated device classes: which formats
// an output endpoint takes, how large a buffer it gives and which device
// periods it reports. Internal to this library; the audio clients only ask.
#pragma once

#include <windows.h>

#include <cstdint>

#include "simulated_devices/simulated_devices.h"

namespace simulated_devices {

// IsFormatSupported in exclusive mode: S_OK or AUDCLNT_E_UNSUPPORTED_FORMAT.
HRESULT ExclusiveFormatSupport(const EndpointSpec& spec, const WaveFormat& format);

// Initialize in exclusive mode: the buffer's frames on success. A refused
// size gives AUDCLNT_E_BUFFER_SIZE_NOT_ALIGNED with the aligned frame count
// the endpoint would take in *frames, as GetBufferSize then reports it.
HRESULT ExclusiveBuffer(const EndpointSpec& spec, const WaveFormat& format, REFERENCE_TIME duration,
                        REFERENCE_TIME periodicity, uint32_t* frames);

void DevicePeriods(const EndpointSpec& spec, REFERENCE_TIME* default_period,
                   REFERENCE_TIME* minimum_period);

} // namespace simulated_devices
