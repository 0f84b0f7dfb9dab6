#include "audio/device_enumerator.h"

#include <atomic>

namespace {

HRESULT CreateSystemEnumerator(IMMDeviceEnumerator** enumerator)
{
    return CoCreateInstance(CLSID_MMDeviceEnumerator, nullptr, CLSCTX_ALL, IID_IMMDeviceEnumerator,
                            reinterpret_cast<void**>(enumerator));
}

std::atomic<DeviceEnumeratorFactory> factoryInUse{CreateSystemEnumerator};

} // namespace

void SetDeviceEnumeratorFactory(DeviceEnumeratorFactory factory)
{
    factoryInUse = factory != nullptr ? factory : CreateSystemEnumerator;
}

HRESULT CreateDeviceEnumerator(IMMDeviceEnumerator** enumerator)
{
    return factoryInUse.load()(enumerator);
}
