#pragma once
// The controller's connection point for _IAudioControllerEvents: the list of
// advised sinks and the eight firing operations. Lives inside the controller
// and shares its reference count. Sinks are called on the firing thread, one
// after the other; the sink list is locked only while a slot is read, so a
// sink may advise or unadvise from inside its handler.
#include <mutex>
#include <vector>

#include "ipc/QXServiceLib.h"

class CProxy_IAudioControllerEvents final : public IConnectionPoint {
public:
    static constexpr size_t kInitialSlots = 4;
    // More sinks than this are refused with CONNECT_E_ADVISELIMIT.
    static constexpr size_t kMaxSlots = 4096;

    // owner: the container; this point's references are the owner's.
    explicit CProxy_IAudioControllerEvents(IConnectionPointContainer* owner);
    ~CProxy_IAudioControllerEvents();
    CProxy_IAudioControllerEvents(const CProxy_IAudioControllerEvents&) = delete;
    CProxy_IAudioControllerEvents& operator=(const CProxy_IAudioControllerEvents&) = delete;

    HRESULT QueryInterface(REFIID riid, void** ppv) override;
    ULONG AddRef() override;
    ULONG Release() override;

    HRESULT GetConnectionInterface(IID* pIID) override;
    HRESULT GetConnectionPointContainer(IConnectionPointContainer** ppCPC) override;
    HRESULT Advise(IUnknown* pUnkSink, DWORD* pdwCookie) override;
    HRESULT Unadvise(DWORD dwCookie) override;

    // Each calls every sink; S_OK with no sink, else the first failure of a
    // sink (a later sink's success does not hide it) or S_OK.
    HRESULT Fire_SongDetected(const GUID& guid);
    HRESULT Fire_CacheAlmostFull(UINT nMinutesTo);
    HRESULT Fire_SongDeleted(const GUID& guid);
    HRESULT Fire_DiskAlmostFull(UINT nMinutesTo);
    HRESULT Fire_DiskFull();
    HRESULT Fire_ClearPlayList();
    HRESULT Fire_CacheLoaded(UINT nNewCacheSize);
    HRESULT Fire_CacheLoading();

    // Releases every sink (when the owner goes away).
    void UnadviseAll();

private:
    template <class Call>
    HRESULT FireEach(Call&& call);

    IConnectionPointContainer* m_owner;  // not counted: it owns this point
    std::mutex m_lock;
    std::vector<_IAudioControllerEvents*> m_sinks;  // one reference each; null = free slot
};
