// The failure script: every call of a simulated object is logged and
// counted, and a described occurrence of a method answers with a given result.
#include "simulated_devices/device_state.h"

#include <string_view>

namespace simulated_devices {

HRESULT Enter(const char* method)
{
    return Locked([method](State& s) {
        if (s.d.record)
            s.d.log.emplace_back(method);
        auto count = s.d.call_counts.find(std::string_view(method));
        if (count == s.d.call_counts.end())
            count = s.d.call_counts.emplace(method, 0).first;
        const int n = ++count->second;
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
