#pragma once
// A connection point for test objects: sinks of one event interface, fired in
// the order they were advised (a sink is released outside the lock).
#include <mutex>
#include <vector>

#include "ipc/QXServiceLib.h"
#include "platform/com/ComObject.h"
#include "platform/com/ComPtr.h"

namespace ipctest {

template <class Events>
class FakeConnectionPoint final : public plat::ComObject<FakeConnectionPoint<Events>, IConnectionPoint> {
public:
    explicit FakeConnectionPoint(IConnectionPointContainer* owner) : m_owner(owner) {}

    HRESULT GetConnectionInterface(IID* pIID) override {
        if (!pIID) return E_POINTER;
        *pIID = plat::IidOf<Events>();
        return S_OK;
    }
    HRESULT GetConnectionPointContainer(IConnectionPointContainer** ppCPC) override {
        if (!ppCPC) return E_POINTER;
        *ppCPC = m_owner;
        m_owner->AddRef();
        return S_OK;
    }
    HRESULT Advise(IUnknown* sink, DWORD* cookie) override {
        if (!sink || !cookie) return E_POINTER;
        plat::ComPtr<Events> events;
        if (FAILED(sink->QueryInterface(plat::IidOf<Events>(), reinterpret_cast<void**>(events.GetAddressOf()))))
            return CONNECT_E_CANNOTCONNECT;
        std::lock_guard lock(m_mutex);
        m_sinks.push_back(events);
        *cookie = static_cast<DWORD>(m_sinks.size());
        return S_OK;
    }
    HRESULT Unadvise(DWORD cookie) override {
        plat::ComPtr<Events> gone;
        std::lock_guard lock(m_mutex);
        if (cookie == 0 || cookie > m_sinks.size() || !m_sinks[cookie - 1]) return CONNECT_E_NOCONNECTION;
        gone = std::move(m_sinks[cookie - 1]);
        return S_OK;
    }

    template <class F>
    void Fire(F&& call) {
        std::vector<plat::ComPtr<Events>> sinks;
        {
            std::lock_guard lock(m_mutex);
            for (auto& s : m_sinks)
                if (s) sinks.push_back(s);
        }
        for (auto& s : sinks) call(s.Get());
    }

    size_t SinkCount() {
        std::lock_guard lock(m_mutex);
        size_t n = 0;
        for (auto& s : m_sinks) n += s ? 1 : 0;
        return n;
    }

private:
    IConnectionPointContainer* m_owner;  // owns this point
    std::mutex m_mutex;
    std::vector<plat::ComPtr<Events>> m_sinks;
};

}  // namespace ipctest
