#pragma once
// A connection point for one event interface, living inside the object that
// fires the events and sharing its reference count. Sinks are called on the
// firing thread, one after the other; the sink list is locked only while a
// slot is read, so a sink may advise or unadvise from inside its handler.
#include <mutex>
#include <new>
#include <vector>

#include "ipc/QXServiceLib.h"

template <class Events>
class KConnectionPoint : public IConnectionPoint {
public:
    static constexpr size_t kInitialSlots = 4;
    // More sinks than this are refused with CONNECT_E_ADVISELIMIT.
    static constexpr size_t kMaxSlots = 4096;

    // owner: the container; this point's references are the owner's.
    explicit KConnectionPoint(IConnectionPointContainer* owner) : m_owner(owner) {}
    virtual ~KConnectionPoint() { UnadviseAll(); }
    KConnectionPoint(const KConnectionPoint&) = delete;
    KConnectionPoint& operator=(const KConnectionPoint&) = delete;

    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (riid != IID_IUnknown && riid != IID_IConnectionPoint) return E_NOINTERFACE;
        *ppv = static_cast<IConnectionPoint*>(this);
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return m_owner->AddRef(); }
    ULONG Release() override { return m_owner->Release(); }

    HRESULT GetConnectionInterface(IID* pIID) override {
        if (!pIID) return E_POINTER;
        *pIID = Events::kIID;
        return S_OK;
    }
    HRESULT GetConnectionPointContainer(IConnectionPointContainer** ppCPC) override {
        if (!ppCPC) return E_POINTER;
        *ppCPC = m_owner;
        m_owner->AddRef();
        return S_OK;
    }

    HRESULT Advise(IUnknown* pUnkSink, DWORD* pdwCookie) override {
        if (pdwCookie) *pdwCookie = 0;
        if (!pUnkSink || !pdwCookie) return E_POINTER;
        Events* sink = nullptr;
        HRESULT hr = pUnkSink->QueryInterface(Events::kIID, reinterpret_cast<void**>(&sink));
        if (hr == E_NOINTERFACE) return CONNECT_E_CANNOTCONNECT;
        if (FAILED(hr)) return hr;
        if (!sink) return CONNECT_E_CANNOTCONNECT;
        {
            std::lock_guard<std::mutex> guard(m_lock);
            for (size_t i = 0; i < m_sinks.size(); ++i) {
                if (!m_sinks[i]) {
                    m_sinks[i] = sink;
                    *pdwCookie = static_cast<DWORD>(i + 1);
                    return S_OK;
                }
            }
            const size_t grown = m_sinks.empty() ? kInitialSlots : m_sinks.size() * 2;
            if (grown <= kMaxSlots) {
                const size_t slot = m_sinks.size();
                bool resized = true;
                try {
                    m_sinks.resize(grown, nullptr);
                } catch (const std::bad_alloc&) {
                    resized = false;
                }
                if (resized) {
                    m_sinks[slot] = sink;
                    *pdwCookie = static_cast<DWORD>(slot + 1);
                    return S_OK;
                }
            }
        }
        sink->Release();
        return CONNECT_E_ADVISELIMIT;
    }

    HRESULT Unadvise(DWORD dwCookie) override {
        Events* sink = nullptr;
        {
            std::lock_guard<std::mutex> guard(m_lock);
            if (dwCookie == 0 || dwCookie > m_sinks.size() || !m_sinks[dwCookie - 1]) return CONNECT_E_NOCONNECTION;
            sink = m_sinks[dwCookie - 1];
            m_sinks[dwCookie - 1] = nullptr;
        }
        sink->Release();  // outside the lock: the sink may call back
        return S_OK;
    }

    // Releases every sink (when the owner goes away).
    void UnadviseAll() {
        std::vector<Events*> sinks;
        {
            std::lock_guard<std::mutex> guard(m_lock);
            sinks.swap(m_sinks);
        }
        for (auto* sink : sinks)
            if (sink) sink->Release();
    }

protected:
    // Calls every sink; S_OK with no sink, else the first failure of a sink
    // (a later sink's success does not hide it) or S_OK.
    template <class Call>
    HRESULT FireEach(Call&& call) {
        size_t count = 0;
        {
            std::lock_guard<std::mutex> guard(m_lock);
            count = m_sinks.size();
        }
        HRESULT result = S_OK;
        for (size_t i = 0; i < count; ++i) {
            Events* sink = nullptr;
            {
                std::lock_guard<std::mutex> guard(m_lock);
                if (i < m_sinks.size()) sink = m_sinks[i];
                if (sink) sink->AddRef();
            }
            if (!sink) continue;
            HRESULT hr = call(sink);
            sink->Release();
            if (FAILED(hr) && SUCCEEDED(result)) result = hr;
        }
        return result;
    }

private:
    IConnectionPointContainer* m_owner;  // not counted: it owns this point
    std::mutex m_lock;
    std::vector<Events*> m_sinks;  // one reference each; null = free slot
};
