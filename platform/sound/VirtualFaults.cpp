#include "platform/sound/VirtualFaults.h"

namespace plat {

void VirtualFaults::FailNext(VirtualCall call, HRESULT hr, int times) {
    std::lock_guard<std::mutex> g(m_lock);
    m_plans[static_cast<size_t>(call)] = Plan{hr, times};
}

void VirtualFaults::Clear() {
    std::lock_guard<std::mutex> g(m_lock);
    m_plans.fill(Plan{});
}

HRESULT VirtualFaults::Take(VirtualCall call) {
    std::lock_guard<std::mutex> g(m_lock);
    ++m_calls[static_cast<size_t>(call)];
    Plan& p = m_plans[static_cast<size_t>(call)];
    if (p.times == 0) return S_OK;
    if (p.times > 0) --p.times;
    return p.hr;
}

int VirtualFaults::Calls(VirtualCall call) {
    std::lock_guard<std::mutex> g(m_lock);
    return m_calls[static_cast<size_t>(call)];
}

}  // namespace plat
