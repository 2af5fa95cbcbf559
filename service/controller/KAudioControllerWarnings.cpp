// The storage checks (cache almost full, disk almost full, disk full) and the
// delivery of the controller's events.
#include "log/Trace.h"
#include "platform/com/Bstr.h"
#include "platform/fs/File.h"
#include "service/controller/KAudioController.h"

bool KAudioController::FreeDiskSpace(BSTR bstrDir, ULONGLONG* pFree) {
    std::u16string folder = plat::BstrToU16(bstrDir);
    if (m_components.diskFreeSpace) return m_components.diskFreeSpace(folder, pFree);
    uint64_t total = 0;
    uint64_t freeBytes = 0;
    if (!plat::GetDiskFreeSpace(folder, &freeBytes, &total)) return false;
    *pFree = freeBytes;
    return true;
}

HRESULT KAudioController::IsDiskFull(const std::u16string& folder, bool* pFull) {
    HRESULT hr = S_OK;
    ULONG dwFileSize = 0;
    if (TQ_FAILED(hr, m_pCache->GetFileMaxSize(&dwFileSize))) {
        TQ_REPORT(EC_INTERNAL, hr, u"Getting file maximal size was failed");
        return hr;
    }
    ULONGLONG llFree = 0;
    plat::Bstr bstrDir(folder);
    if (!FreeDiskSpace(bstrDir, &llFree)) return S_FALSE;
    *pFull = llFree <= dwFileSize / 4;
    return S_OK;
}

HRESULT KAudioController::CacheAlmostFullChecker() {
    HRESULT hr = S_OK;
    ULONGLONG llSize = 0;
    ULONGLONG llFullness = 0;
    if (TQ_FAILED(hr, m_pCache->GetSize(&llSize))) {
        TQ_REPORT(EC_INTERNAL, hr, u"Getting cache size was failed");
        return hr;
    }
    if (TQ_FAILED(hr, m_pCache->GetTimeFullness(&llFullness))) {
        TQ_REPORT(EC_INTERNAL, hr, u"Getting cache byte fullness was failed");
        return hr;
    }
    LONGLONG llLeft = llFullness >= llSize ? 0 : static_cast<LONGLONG>(llSize - llFullness);
    UINT nMinutes = static_cast<UINT>(BytesToMinutes(llLeft));
    if (m_cWarnings.CheckCache(nMinutes)) RaiseCacheAlmostFull(nMinutes);
    return S_OK;
}

HRESULT KAudioController::DiscAlmostFullChecker() {
    HRESULT hr = S_OK;
    plat::Bstr bstrDir;
    if (TQ_FAILED(hr, m_pCache->GetCacheDir(bstrDir.Out()))) {
        TQ_REPORT(EC_INTERNAL, hr, u"Getting cache dirrectory was failed");
        return hr;
    }
    ULONGLONG llFree = 0;
    if (!FreeDiskSpace(bstrDir, &llFree)) return E_FAIL;
    UINT nMinutes = static_cast<UINT>(BytesToMinutes(llFree > static_cast<ULONGLONG>(INT64_MAX)
                                                          ? INT64_MAX
                                                          : static_cast<LONGLONG>(llFree)));
    bool bWasActive = false;
    bool bFire = m_cWarnings.CheckDisk(nMinutes, &bWasActive);
    if (bFire) RaiseDiskAlmostFull(nMinutes, bWasActive);
    m_cWarnings.NoteState(GetState());
    return S_OK;
}

HRESULT KAudioController::DiscFullChecker() {
    HRESULT hr = S_OK;
    plat::Bstr bstrDir;
    if (TQ_FAILED(hr, m_pCache->GetCacheDir(bstrDir.Out()))) {
        TQ_REPORT(EC_INTERNAL, hr, u"Getting cache dirrectory was failed");
        return hr;
    }
    bool bFull = false;
    hr = IsDiskFull(plat::BstrToU16(bstrDir), &bFull);
    if (hr == S_FALSE) return E_FAIL;
    if (FAILED(hr)) return hr;
    if (m_cWarnings.CheckDiskFull(bFull)) RaiseDiskFull();
    // Whatever records (live or replaying) stops while the disk is full:
    // going on would fill it to the last byte and the saves would fail.
    if (bFull && (GetState() & _esRec)) {
        if (TQ_FAILED(hr, ProcessCommand(_ecStop))) {
            TQ_REPORT(EC_INTERNAL, hr, u"Stop command was failed");
        }
    }
    return S_OK;
}

template <class Fire>
void KAudioController::Raise(const char* expression, const char16_t* failure, Fire fire) {
    m_cEventGate.Post([expression, failure, fire]() {
        const HRESULT hr = fire();
        if (FAILED(hr)) {
            TQ_TRACE_HR(expression);
            TQ_REPORT(EC_INTERNAL, hr, failure);
        }
    });
}

// One event; a failed delivery is traced by the call's own text.
#define RAISE_EVENT(failure, call) Raise(#call, failure, [=, this] { return call; })

void KAudioController::RaiseSongDetected(const GUID& guid) {
    RAISE_EVENT(u" Firing message song detected was failed", m_cEvents.Fire_SongDetected(guid));
}

void KAudioController::RaiseSongDeleted(const GUID& guid) {
    RAISE_EVENT(u"Firing message song deleted was failed", m_cEvents.Fire_SongDeleted(guid));
}

void KAudioController::RaiseCacheAlmostFull(UINT nMinutes) {
    RAISE_EVENT(u"Firing message cache allmost full was failed", m_cEvents.Fire_CacheAlmostFull(nMinutes));
}

void KAudioController::RaiseDiskAlmostFull(UINT nMinutes, bool bRepeat) {
    RAISE_EVENT(bRepeat ? u"Firing message disk allmost full was failed" : u"Firing disk allmost full was failed",
                m_cEvents.Fire_DiskAlmostFull(nMinutes));
}

void KAudioController::RaiseDiskFull() {
    RAISE_EVENT(u"Firing message disk full was failed", m_cEvents.Fire_DiskFull());
}

void KAudioController::RaiseCacheLoaded(UINT nNewCacheSize) {
    RAISE_EVENT(u"Firing message cache loaded was failed", m_cEvents.Fire_CacheLoaded(nNewCacheSize));
}

void KAudioController::RaiseClearPlayList() {
    RAISE_EVENT(u"Firing message clear play list was failed", m_cEvents.Fire_ClearPlayList());
}

void KAudioController::RaiseCacheLoading() {
    RAISE_EVENT(u"Firing message cache loading was failed", m_cEvents.Fire_CacheLoading());
}
