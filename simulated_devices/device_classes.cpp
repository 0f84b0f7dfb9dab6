// The device classes, each by the rules its kind of hardware follows in
// exclusive mode. HD Audio (onboard and HDMI/DisplayPort) carries 16-bit
// samples and 20 or 24 bits only in 32-bit containers, and wants buffers of
// a whole number of 128-byte blocks; USB Audio Class 2 interfaces offer
// either 4-byte or 3-byte subslots; USB Audio Class 1 multichannel adapters
// stop at 16 bits and 48 kHz. An endpoint of no class takes anything.
#include "simulated_devices/device_classes.h"

#include <algorithm>
#include <cmath>

namespace simulated_devices {
namespace {

struct Container {
    uint16_t bits;
    uint16_t valid_bits;
};

struct DeviceClass {
    const char* name;
    uint16_t channels;
    std::vector<uint32_t> rates;
    std::vector<Container> containers;
    uint32_t align_bytes; // 0: any buffer size
    REFERENCE_TIME minimum_period;
    WaveFormat engine_format;
};

constexpr REFERENCE_TIME kDefaultPeriod = 100000;
constexpr REFERENCE_TIME kMinimumPeriod = 30000; // an endpoint of no class

const DeviceClass kClasses[] = {
    {"hda",
     6,
     {44100, 48000, 96000, 192000},
     {{16, 16}, {32, 16}, {32, 20}, {32, 24}},
     128,
     30000,
     PcmFormat(48000, 6, 32, 24)},
    {"hdmi",
     8,
     {44100, 48000, 96000, 192000},
     {{16, 16}, {32, 16}, {32, 20}, {32, 24}},
     128,
     30000,
     PcmFormat(48000, 8, 32, 24)},
    {"usb-4byte",
     6,
     {44100, 48000, 88200, 96000, 176400, 192000},
     {{16, 16}, {32, 24}, {32, 32}},
     0,
     20000,
     PcmFormat(48000, 6, 32, 32)},
    {"usb-3byte",
     6,
     {44100, 48000, 88200, 96000, 176400, 192000},
     {{16, 16}, {24, 24}},
     0,
     20000,
     PcmFormat(48000, 6, 24, 24)},
    {"usb1", 8, {44100, 48000}, {{16, 16}}, 0, 30000, PcmFormat(48000, 8, 16, 16)},
};

const DeviceClass* FindClass(const std::string& name)
{
    for (const DeviceClass& c : kClasses) {
        if (name == c.name)
            return &c;
    }
    return nullptr;
}

// The smallest frame count that lasts at least `duration`, durations being
// whole 100-ns units rounded to nearest: Initialize rounds up to whole
// frames, and the duration the documented retry computes from a frame
// count gives that count back.
uint32_t FramesFor(REFERENCE_TIME duration, uint32_t rate)
{
    auto lasts = [&](uint64_t frames) {
        return std::llround(1e7 * static_cast<double>(frames) / rate) >= duration;
    };
    uint64_t frames = (static_cast<uint64_t>(duration) * rate + 9999999) / 10000000;
    while (frames > 0 && lasts(frames - 1))
        --frames;
    return static_cast<uint32_t>(frames);
}

} // namespace

const std::vector<std::string>& DeviceClassNames()
{
    static const std::vector<std::string> names = [] {
        std::vector<std::string> all;
        for (const DeviceClass& c : kClasses)
            all.push_back(c.name);
        return all;
    }();
    return names;
}

bool DescribeDeviceClass(const std::string& name, EndpointSpec* spec)
{
    const DeviceClass* c = FindClass(name);
    if (c == nullptr)
        return false;
    spec->device_class = name;
    spec->engine_format = c->engine_format;
    return true;
}

HRESULT ExclusiveFormatSupport(const EndpointSpec& spec, const WaveFormat& format)
{
    const DeviceClass* c = FindClass(spec.device_class);
    if (c == nullptr)
        return S_OK;
    WaveFormat f;
    WidenWaveFormat(&format, &f);
    const bool rate =
        std::find(c->rates.begin(), c->rates.end(), f.samples_per_sec) != c->rates.end();
    const bool container =
        std::any_of(c->containers.begin(), c->containers.end(), [&](const Container& k) {
            return k.bits == f.bits_per_sample && k.valid_bits == f.valid_bits_per_sample;
        });
    const bool consistent = f.block_align == f.bits_per_sample / 8 * f.channels &&
                            f.avg_bytes_per_sec == f.block_align * f.samples_per_sec;
    const bool ok = SameSubFormat(f.sub_format, kSubtypePcm) && f.channels == c->channels && rate &&
                    container && consistent;
    return ok ? S_OK : AUDCLNT_E_UNSUPPORTED_FORMAT;
}

HRESULT ExclusiveBuffer(const EndpointSpec& spec, const WaveFormat& format, REFERENCE_TIME duration,
                        REFERENCE_TIME periodicity, uint32_t* frames)
{
    const DeviceClass* c = FindClass(spec.device_class);
    if (c == nullptr) {
        // No class: the nearest whole frame, any size.
        *frames = static_cast<uint32_t>((duration * format.samples_per_sec + 5000000) / 10000000);
        return S_OK;
    }
    HRESULT hr = ExclusiveFormatSupport(spec, format);
    if (FAILED(hr))
        return hr;
    REFERENCE_TIME default_period = 0, minimum_period = 0;
    DevicePeriods(spec, &default_period, &minimum_period);
    if (periodicity < minimum_period)
        return AUDCLNT_E_INVALID_DEVICE_PERIOD;
    *frames = FramesFor(duration, format.samples_per_sec);
    if (c->align_bytes == 0 || *frames * format.block_align % c->align_bytes == 0)
        return S_OK;
    while (*frames * format.block_align % c->align_bytes != 0)
        ++*frames;
    return AUDCLNT_E_BUFFER_SIZE_NOT_ALIGNED;
}

void DevicePeriods(const EndpointSpec& spec, REFERENCE_TIME* default_period,
                   REFERENCE_TIME* minimum_period)
{
    const DeviceClass* c = FindClass(spec.device_class);
    *default_period = kDefaultPeriod;
    *minimum_period = spec.minimum_period != 0 ? spec.minimum_period
                      : c != nullptr           ? c->minimum_period
                                               : kMinimumPeriod;
}

} // namespace simulated_devices
