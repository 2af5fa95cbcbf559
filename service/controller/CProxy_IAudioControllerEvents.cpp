#include "service/controller/CProxy_IAudioControllerEvents.h"

#include <new>

#include "platform/com/Bstr.h"

CProxy_IAudioControllerEvents::CProxy_IAudioControllerEvents(IConnectionPointContainer* owner) : m_owner(owner) {}

CProxy_IAudioControllerEvents::~CProxy_IAudioControllerEvents() { UnadviseAll(); }

HRESULT CProxy_IAudioControllerEvents::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid != IID_IUnknown && riid != IID_IConnectionPoint) return E_NOINTERFACE;
    *ppv = static_cast<IConnectionPoint*>(this);
    AddRef();
    return S_OK;
}

ULONG CProxy_IAudioControllerEvents::AddRef() { return m_owner->AddRef(); }
ULONG CProxy_IAudioControllerEvents::Release() { return m_owner->Release(); }

HRESULT CProxy_IAudioControllerEvents::GetConnectionInterface(IID* pIID) {
    if (!pIID) return E_POINTER;
    *pIID = DIID__IAudioControllerEvents;
    return S_OK;
}

HRESULT CProxy_IAudioControllerEvents::GetConnectionPointContainer(IConnectionPointContainer** ppCPC) {
    if (!ppCPC) return E_POINTER;
    *ppCPC = m_owner;
    m_owner->AddRef();
    return S_OK;
}

HRESULT CProxy_IAudioControllerEvents::Advise(IUnknown* pUnkSink, DWORD* pdwCookie) {
    if (pdwCookie) *pdwCookie = 0;
    if (!pUnkSink || !pdwCookie) return E_POINTER;
    _IAudioControllerEvents* sink = nullptr;
    HRESULT hr = pUnkSink->QueryInterface(DIID__IAudioControllerEvents, reinterpret_cast<void**>(&sink));
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
        size_t grown = m_sinks.empty() ? kInitialSlots : m_sinks.size() * 2;
        if (grown <= kMaxSlots) {
            size_t slot = m_sinks.size();
            try {
                m_sinks.resize(grown, nullptr);
            } catch (const std::bad_alloc&) {
                slot = static_cast<size_t>(-1);
            }
            if (slot != static_cast<size_t>(-1)) {
                m_sinks[slot] = sink;
                *pdwCookie = static_cast<DWORD>(slot + 1);
                return S_OK;
            }
        }
    }
    sink->Release();
    return CONNECT_E_ADVISELIMIT;
}

HRESULT CProxy_IAudioControllerEvents::Unadvise(DWORD dwCookie) {
    _IAudioControllerEvents* sink = nullptr;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (dwCookie == 0 || dwCookie > m_sinks.size() || !m_sinks[dwCookie - 1]) return CONNECT_E_NOCONNECTION;
        sink = m_sinks[dwCookie - 1];
        m_sinks[dwCookie - 1] = nullptr;
    }
    sink->Release();  // outside the lock: the sink may call back
    return S_OK;
}

void CProxy_IAudioControllerEvents::UnadviseAll() {
    std::vector<_IAudioControllerEvents*> sinks;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        sinks.swap(m_sinks);
    }
    for (auto* sink : sinks)
        if (sink) sink->Release();
}

template <class Call>
HRESULT CProxy_IAudioControllerEvents::FireEach(Call&& call) {
    size_t count = 0;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        count = m_sinks.size();
    }
    HRESULT result = S_OK;
    for (size_t i = 0; i < count; ++i) {
        _IAudioControllerEvents* sink = nullptr;
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

namespace {

// The song's identity as clients receive it: the registry form in braces.
HRESULT CallWithGuid(_IAudioControllerEvents* sink, const GUID& guid,
                     HRESULT (_IAudioControllerEvents::*method)(BSTR)) {
    plat::Bstr text(plat::GuidToString(guid));
    if (text.IsNull()) return E_OUTOFMEMORY;
    return (sink->*method)(text.Get());
}

}  // namespace

HRESULT CProxy_IAudioControllerEvents::Fire_SongDetected(const GUID& guid) {
    return FireEach([&](_IAudioControllerEvents* s) { return CallWithGuid(s, guid, &_IAudioControllerEvents::SongDetected); });
}

HRESULT CProxy_IAudioControllerEvents::Fire_CacheAlmostFull(UINT nMinutesTo) {
    return FireEach([&](_IAudioControllerEvents* s) { return s->CacheAlmostFull(nMinutesTo); });
}

HRESULT CProxy_IAudioControllerEvents::Fire_SongDeleted(const GUID& guid) {
    return FireEach([&](_IAudioControllerEvents* s) { return CallWithGuid(s, guid, &_IAudioControllerEvents::SongDeleted); });
}

HRESULT CProxy_IAudioControllerEvents::Fire_DiskAlmostFull(UINT nMinutesTo) {
    return FireEach([&](_IAudioControllerEvents* s) { return s->DiskAlmostFull(nMinutesTo); });
}

HRESULT CProxy_IAudioControllerEvents::Fire_DiskFull() {
    return FireEach([](_IAudioControllerEvents* s) { return s->DiskFull(); });
}

HRESULT CProxy_IAudioControllerEvents::Fire_ClearPlayList() {
    return FireEach([](_IAudioControllerEvents* s) { return s->ClearPlayList(); });
}

HRESULT CProxy_IAudioControllerEvents::Fire_CacheLoaded(UINT nNewCacheSize) {
    return FireEach([&](_IAudioControllerEvents* s) { return s->CacheLoaded(nNewCacheSize); });
}

HRESULT CProxy_IAudioControllerEvents::Fire_CacheLoading() {
    return FireEach([](_IAudioControllerEvents* s) { return s->CacheLoading(); });
}
