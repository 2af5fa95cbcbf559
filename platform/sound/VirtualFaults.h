#pragma once
// Failures injected into the calls of a virtual sound system.
#include <array>
#include <mutex>

#include "platform/core/HResult.h"

namespace plat {

enum class VirtualCall {
    Enumerate,
    CreateDevice,
    SetCooperativeLevel,
    CreateBuffer,
    GetCaps,
    GetStatus,
    GetCurrentPosition,
    SetCurrentPosition,
    Lock,
    Unlock,
    Play,
    Stop,
    Start,
    SetNotificationPositions,
    Count
};

class VirtualFaults {
public:
    // The next 'times' calls fail with hr (times < 0: every call until cleared).
    void FailNext(VirtualCall call, HRESULT hr, int times = 1);
    void Clear();
    // The failure that this call must give, or S_OK (counting it down).
    HRESULT Take(VirtualCall call);
    // How many calls of the kind were made so far.
    int Calls(VirtualCall call);

private:
    struct Plan {
        HRESULT hr = S_OK;
        int times = 0;
    };
    std::mutex m_lock;
    std::array<Plan, static_cast<size_t>(VirtualCall::Count)> m_plans{};
    std::array<int, static_cast<size_t>(VirtualCall::Count)> m_calls{};
};

}  // namespace plat
