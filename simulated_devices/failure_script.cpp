// The failure script: every call of a simulated object is logged and
// counted, and a described occurrence of a method answers with a given result.
#include "simulated_devices/device_state.h"

namespace simulated_devices {

HRESULT Enter(const char* method)
{
    return Locked([method](State& s) {
        if (s.d.record)
            s.d.log.emplace_back(method);
        int n = ++s.d.call_counts[method];
        for (const Failure& f : s.d.failures) {
            if (f.method == method && f.occurrence == n)
                return f.result;
        }
        return S_OK;
    });
}

void FailCall(const std::string& method, HRESULT result, int occurrence)
{
    Locked([&](State& s) { s.d.failures.push_back({method, result, occurrence}); });
}

std::vector<std::string> CallLog()
{
    return Locked([](State& s) { return s.d.log; });
}

} // namespace simulated_devices
