#include "service/foundation/KPlayList.h"

#include <new>

#include "log/DirUtils.h"
#include "log/KLock.h"
#include "log/Trace.h"
#include "platform/com/Module.h"
#include "platform/fs/File.h"

KPlayList::KPlayList() { plat::ComModule::Lock(); }

KPlayList::~KPlayList() { plat::ComModule::Unlock(); }

KPlayList* KPlayList::Create() {
    KPlayList* playlist = nullptr;
    try {
        playlist = CreateInstance();
    } catch (const std::bad_alloc&) {
        playlist = nullptr;
    }
    if (!playlist) {
        TQ_TRACE_HR("hr");
        TQ_REPORT(EC_INTERNAL, E_OUTOFMEMORY, u"Cant Create Com-object");
    }
    return playlist;
}

HRESULT KPlayList::CreateNewSong(ISong** ppSong) {
    TQ_CHECK_POINTER(ppSong);
    return m_cPlayListImpl.CreateNewSong(ppSong, FALSE);
}

HRESULT KPlayList::Count(ULONG* pCount) {
    TQ_CHECK_POINTER(pCount);
    *pCount = m_cPlayListImpl.Count();
    return S_OK;
}

HRESULT KPlayList::IsEmpty(LONG* pEmpty) {
    TQ_CHECK_POINTER(pEmpty);
    *pEmpty = m_cPlayListImpl.Count() == 0 ? 1 : 0;
    return S_OK;
}

HRESULT KPlayList::Delete(GUID guid) { return m_cPlayListImpl.Delete(guid); }

HRESULT KPlayList::Clear() {
    m_cPlayListImpl.Clear();
    return S_OK;
}

HRESULT KPlayList::Navigate(KPlayListImpl::Move move, GUID* pGuid) {
    TQ_CHECK_POINTER(pGuid);
    *pGuid = m_cPlayListImpl.Navigate(move);
    return *pGuid == GUID_NULL ? S_FALSE : S_OK;
}

HRESULT KPlayList::Next(GUID* pGuid) { return Navigate(KPlayListImpl::Move::Next, pGuid); }
HRESULT KPlayList::Prev(GUID* pGuid) { return Navigate(KPlayListImpl::Move::Prev, pGuid); }
HRESULT KPlayList::First(GUID* pGuid) { return Navigate(KPlayListImpl::Move::First, pGuid); }
HRESULT KPlayList::Last(GUID* pGuid) { return Navigate(KPlayListImpl::Move::Last, pGuid); }

HRESULT KPlayList::GetCurrentID(GUID* pGuid) {
    TQ_CHECK_POINTER(pGuid);
    *pGuid = m_cPlayListImpl.GetCurrentID();
    return S_OK;
}

HRESULT KPlayList::Get(GUID guid, ISong** ppSong) {
    TQ_CHECK_POINTER(ppSong);
    if (guid == GUID_NULL) return S_FALSE;
    KLock lock(m_cPlayListImpl.m_hMutex);
    if (m_cPlayListImpl.Count() == 0) {
        *ppSong = nullptr;
        return S_OK;
    }
    plat::ComPtr<ISong> song = m_cPlayListImpl.Find(guid);
    if (!song) {
        TQ_TRACE_HR("E_INVALIDARG");
        TQ_REPORT(EC_INTERNAL, E_INVALIDARG, u"Cannot find specified song");
        return E_INVALIDARG;
    }
    *ppSong = song.Detach();
    return S_OK;
}

HRESULT KPlayList::SetCurrentID(GUID guid) {
    // Stored in the file by the next save.
    m_cPlayListImpl.SetCurrentID(guid);
    return S_OK;
}

HRESULT KPlayList::GetPlaylist(VARIANT* aSongs) {
    TQ_CHECK_POINTER(aSongs);
    std::vector<plat::ComPtr<ISong>> songs = m_cPlayListImpl.Songs();
    SAFEARRAY* array = SafeArrayCreateVector(VT_UNKNOWN, 0, static_cast<ULONG>(songs.size()));
    if (!array) {
        TQ_TRACE_HR("E_OUTOFMEMORY");
        TQ_REPORT(EC_INTERNAL, E_OUTOFMEMORY, u"Safe array error");
        return E_OUTOFMEMORY;
    }
    for (size_t i = 0; i < songs.size(); ++i) {
        LONG index = static_cast<LONG>(i);
        HRESULT hr;
        if (TQ_FAILED(hr, SafeArrayPutElement(array, &index, static_cast<IUnknown*>(songs[i].Get())))) {
            TQ_REPORT(EC_INTERNAL, hr, u"Safe array put element");
            SafeArrayDestroy(array);
            return hr;
        }
    }
    aSongs->vt = VT_ARRAY | VT_UNKNOWN;
    aSongs->parray = array;
    return S_OK;
}

HRESULT KPlayList::Save() { return m_cPlayListImpl.Save(); }

HRESULT KPlayList::Load() { return m_cPlayListImpl.Load(); }

HRESULT KPlayList::SetPlayListDir(BSTR strDir) {
    std::u16string dir = plat::BstrToU16(strDir);
    if (dir.empty()) {
        TQ_TRACE_HR("E_INVALIDARG");
        TQ_REPORT(EC_INTERNAL, E_INVALIDARG, u"Invalid playlist folder");
        return E_INVALIDARG;
    }
    dir = plat::WithTrailingSeparator(dir);
    if (!dirUtils::createDirRecursive(dir + u"QXCache/")) {
        DWORD err = plat::GetLastError();
        HRESULT hr = plat::HResultFromError(err);
        TQ_TRACE_BOOL("dirUtils::createDirRecursive(strDir)");
        TQ_REPORT_SYSTEM(EC_CREATE_FOLDER, err, dir);
        return hr;
    }
    m_cPlayListImpl.SetPlayListDir(dir);
    return S_OK;
}
