// The storage checks (cache almost full, disk almost full, disk full) and the
// delivery of the controller's events.
#include "platform/com/Bstr.h"
#include "platform/fs/File.h"
#include "service/controller/KAudioController.h"
#include "service/foundation/Trace.h"

bool KAudioController::FreeDiskSpace(BSTR bstrDir, ULONGLONG* pFree) {
    std::u16string folder = plat::BstrToU16(bstrDir);
    if (m_components.diskFreeSpace) return m_components.diskFreeSpace(folder, pFree);
    uint64_t total = 0;
    uint64_t freeBytes = 0;
    if (!plat::GetDiskFreeSpace(folder, &freeBytes, &total)) return false;
    *pFree = freeBytes;
    return true;
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
    ULONG dwFileSize = 0;
    if (TQ_FAILED(hr, m_pCache->GetFileMaxSize(&dwFileSize))) {
        TQ_REPORT(EC_INTERNAL, hr, u"Getting file maximal size was failed");
        return hr;
    }
    plat::Bstr bstrDir;
    if (TQ_FAILED(hr, m_pCache->GetCacheDir(bstrDir.Out()))) {
        TQ_REPORT(EC_INTERNAL, hr, u"Getting cache dirrectory was failed");
        return hr;
    }
    ULONGLONG llFree = 0;
    if (!FreeDiskSpace(bstrDir, &llFree)) return E_FAIL;
    bool bFull = llFree <= (dwFileSize >> 2);
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

void KAudioController::RaiseSongDetected(const GUID& guid) {
    m_cEventGate.Post([this, guid]() {
        HRESULT hr = S_OK;
        if (TQ_FAILED(hr, m_cEvents.Fire_SongDetected(guid))) {
            TQ_REPORT(EC_INTERNAL, hr, u" Firing message song detected was failed");
        }
    });
}

void KAudioController::RaiseSongDeleted(const GUID& guid) {
    m_cEventGate.Post([this, guid]() {
        HRESULT hr = S_OK;
        if (TQ_FAILED(hr, m_cEvents.Fire_SongDeleted(guid))) {
            TQ_REPORT(EC_INTERNAL, hr, u"Firing message song deleted was failed");
        }
    });
}

void KAudioController::RaiseCacheAlmostFull(UINT nMinutes) {
    m_cEventGate.Post([this, nMinutes]() {
        HRESULT hr = S_OK;
        if (TQ_FAILED(hr, m_cEvents.Fire_CacheAlmostFull(nMinutes))) {
            TQ_REPORT(EC_INTERNAL, hr, u"Firing message cache allmost full was failed");
        }
    });
}

void KAudioController::RaiseDiskAlmostFull(UINT nMinutes, bool bRepeat) {
    m_cEventGate.Post([this, nMinutes, bRepeat]() {
        HRESULT hr = S_OK;
        if (TQ_FAILED(hr, m_cEvents.Fire_DiskAlmostFull(nMinutes))) {
            TQ_REPORT(EC_INTERNAL, hr,
                      bRepeat ? u"Firing message disk allmost full was failed" : u"Firing disk allmost full was failed");
        }
    });
}

void KAudioController::RaiseDiskFull() {
    m_cEventGate.Post([this]() {
        HRESULT hr = S_OK;
        if (TQ_FAILED(hr, m_cEvents.Fire_DiskFull())) {
            TQ_REPORT(EC_INTERNAL, hr, u"Firing message disk full was failed");
        }
    });
}

void KAudioController::RaiseCacheLoaded(UINT nNewCacheSize) {
    m_cEventGate.Post([this, nNewCacheSize]() {
        HRESULT hr = S_OK;
        if (TQ_FAILED(hr, m_cEvents.Fire_CacheLoaded(nNewCacheSize))) {
            TQ_REPORT(EC_INTERNAL, hr, u"Firing message cache loaded was failed");
        }
    });
}

void KAudioController::RaiseClearPlayList() {
    m_cEventGate.Post([this]() {
        HRESULT hr = S_OK;
        if (TQ_FAILED(hr, m_cEvents.Fire_ClearPlayList())) {
            TQ_REPORT(EC_INTERNAL, hr, u"Firing message clear play list was failed");
        }
    });
}

void KAudioController::RaiseCacheLoading() {
    m_cEventGate.Post([this]() {
        HRESULT hr = S_OK;
        if (TQ_FAILED(hr, m_cEvents.Fire_CacheLoading())) {
            TQ_REPORT(EC_INTERNAL, hr, u"Firing message cache loading was failed");
        }
    });
}
