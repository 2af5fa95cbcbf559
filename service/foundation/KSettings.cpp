#include "service/foundation/KSettings.h"

#include "log/KLock.h"
#include "log/Trace.h"
#include "platform/com/Module.h"

KSettings::KSettings() { plat::ComModule::Lock(); }

KSettings::~KSettings() { plat::ComModule::Unlock(); }

ISettings* CreateSettingsObject() {
    KSettings* settings = nullptr;
    try {
        settings = KSettings::CreateInstance();
    } catch (const std::bad_alloc&) {
        settings = nullptr;
    }
    if (!settings) {
        TQ_TRACE_HR("hr");
        TQ_REPORT(EC_INTERNAL, E_OUTOFMEMORY, u"Cannot create KSettings");
        return nullptr;
    }
    return settings;
}

template <class T>
HRESULT KSettings::GetValue(T* out, const T& member) {
    TQ_CHECK_POINTER(out);
    KLock lock(m_mutex);
    *out = member;
    return S_OK;
}

template <class T>
HRESULT KSettings::SetValue(T& member, T value) {
    KLock lock(m_mutex);
    member = value;
    return S_OK;
}

HRESULT KSettings::GetText(BSTR* out, const std::u16string& member) {
    TQ_CHECK_POINTER(out);
    BSTR copy;
    {
        KLock lock(m_mutex);
        copy = plat::BstrFromU16(member);
    }
    if (!copy) {
        TQ_TRACE_HR("E_OUTOFMEMORY");
        TQ_REPORT(EC_INTERNAL, E_OUTOFMEMORY, u"Cannot copy the string");
        return E_OUTOFMEMORY;
    }
    *out = copy;
    return S_OK;
}

HRESULT KSettings::GetRect(LONG* pnLeft, LONG* pnTop, LONG* pnRight, LONG* pnBottom, const RECT& rect) {
    TQ_CHECK_POINTER(pnLeft);
    TQ_CHECK_POINTER(pnTop);
    TQ_CHECK_POINTER(pnRight);
    TQ_CHECK_POINTER(pnBottom);
    KLock lock(m_mutex);
    *pnLeft = rect.left;
    *pnTop = rect.top;
    *pnRight = rect.right;
    *pnBottom = rect.bottom;
    return S_OK;
}

HRESULT KSettings::SetRect(RECT& rect, LONG nLeft, LONG nTop, LONG nRight, LONG nBottom) {
    KLock lock(m_mutex);
    rect = RECT{nLeft, nTop, nRight, nBottom};
    return S_OK;
}

HRESULT KSettings::SaveSettings() {
    // The file is written from a copy, so that callers are not held up by
    // the writing.
    KLock fileLock(m_fileMutex);
    KSettingsImpl snapshot = [this] {
        KLock lock(m_mutex);
        return m_impl;
    }();
    return snapshot.Save();
}

HRESULT KSettings::LoadSettings() {
    KLock fileLock(m_fileMutex);
    KLock lock(m_mutex);
    return m_impl.Load();
}

HRESULT KSettings::GetAudioFormat(UINT* pFormat) { return GetValue(pFormat, m_impl.m_nAudioFormat); }
HRESULT KSettings::SetAudioFormat(UINT nFormat) {
    KLock lock(m_mutex);
    return m_impl.SetAudioFormat(nFormat);
}
HRESULT KSettings::SetCBR(UINT nCBR) {
    KLock lock(m_mutex);
    return m_impl.SetCBR(nCBR);
}
HRESULT KSettings::GetCBR(UINT* pCBR) { return GetValue(pCBR, m_impl.m_nCBR); }
HRESULT KSettings::SetVBR(UINT nVBRMin, UINT nVBRMax) {
    KLock lock(m_mutex);
    return m_impl.SetVBR(nVBRMin, nVBRMax);
}
HRESULT KSettings::GetVBR(UINT* pVBRMin, UINT* pVBRMax) {
    TQ_CHECK_POINTER(pVBRMin);
    TQ_CHECK_POINTER(pVBRMax);
    KLock lock(m_mutex);
    *pVBRMin = m_impl.m_nVBRMin;
    *pVBRMax = m_impl.m_nVBRMax;
    return S_OK;
}
HRESULT KSettings::GetBitrateType(UINT* pBitrateType) { return GetValue(pBitrateType, m_impl.m_nBitrateType); }
HRESULT KSettings::SetBitrateType(UINT nBitrateType) {
    KLock lock(m_mutex);
    return m_impl.SetBitrateType(nBitrateType);
}
HRESULT KSettings::GetLowVolumeStartEndState(LONG* pbYes) { return GetValue(pbYes, m_impl.m_bLowVolume); }
HRESULT KSettings::SetLowVolumeStartEndState(LONG bYes) { return SetValue(m_impl.m_bLowVolume, bYes); }
HRESULT KSettings::GetDeleteSilenceStartEndState(LONG* pbYes) { return GetValue(pbYes, m_impl.m_bDeleteSilence); }
HRESULT KSettings::SetDeleteSilenceStartEndState(LONG bYes) { return SetValue(m_impl.m_bDeleteSilence, bYes); }
HRESULT KSettings::GetDropCacheOnExitState(LONG* pbYes) { return GetValue(pbYes, m_impl.m_bDropCache); }
HRESULT KSettings::SetDropCacheOnExitState(LONG bYes) { return SetValue(m_impl.m_bDropCache, bYes); }
HRESULT KSettings::GetAutoSplitSongsState(LONG* pbYes) { return GetValue(pbYes, m_impl.m_bAutoSplit); }
HRESULT KSettings::SetAutoSplitSongsState(LONG bYes) { return SetValue(m_impl.m_bAutoSplit, bYes); }
HRESULT KSettings::GetInterceptAudioAlwaysState(LONG* pbYes) { return GetValue(pbYes, m_impl.m_bInterceptAudio); }
HRESULT KSettings::SetInterceptAudioAlwaysState(LONG bYes) { return SetValue(m_impl.m_bInterceptAudio, bYes); }
HRESULT KSettings::SetPlayLiveRecDeviceState(LONG bYes) { return SetValue(m_impl.m_bPlayLiveRecordDevice, bYes); }
HRESULT KSettings::GetPlayLiveRecDeviceState(LONG* pbYes) { return GetValue(pbYes, m_impl.m_bPlayLiveRecordDevice); }
HRESULT KSettings::SetWriteFromPlayDeviceState(LONG bYes) { return SetValue(m_impl.m_bWriteFromPlayDevice, bYes); }
HRESULT KSettings::GetWriteFromPlayDeviceState(LONG* pbYes) { return GetValue(pbYes, m_impl.m_bWriteFromPlayDevice); }
HRESULT KSettings::SetWriteFromRecordDeviceState(LONG bYes) { return SetValue(m_impl.m_bWriteFromRecordDevice, bYes); }
HRESULT KSettings::GetWriteFromRecordDeviceState(LONG* pbYes) {
    return GetValue(pbYes, m_impl.m_bWriteFromRecordDevice);
}
HRESULT KSettings::SetWriteSilenceState(LONG bYes) { return SetValue(m_impl.m_bWriteSilence, bYes); }
HRESULT KSettings::GetWriteSilenceState(LONG* pbYes) { return GetValue(pbYes, m_impl.m_bWriteSilence); }
HRESULT KSettings::GetShowPlaylistState(LONG* pbYes) { return GetValue(pbYes, m_impl.m_bShowPlayList); }
HRESULT KSettings::SetShowPlaylistState(LONG bYes) { return SetValue(m_impl.m_bShowPlayList, bYes); }
HRESULT KSettings::GetAlwaysOnTopState(LONG* pbYes) { return GetValue(pbYes, m_impl.m_bAlwaysOnTop); }
HRESULT KSettings::SetAlwaysOnTopState(LONG bYes) { return SetValue(m_impl.m_bAlwaysOnTop, bYes); }
HRESULT KSettings::GetCacheDir(BSTR* pstrDir) { return GetText(pstrDir, m_impl.m_strCacheDir); }
HRESULT KSettings::SetCacheDir(BSTR bstrDir) {
    KLock lock(m_mutex);
    return m_impl.SetCacheDir(bstrDir);
}
HRESULT KSettings::GetCacheSize(ULONG* pdwSize) { return GetValue(pdwSize, m_impl.m_dwCacheSize); }
HRESULT KSettings::SetCacheSize(ULONG dwSize) { return SetValue(m_impl.m_dwCacheSize, dwSize); }
HRESULT KSettings::GetAudioDevice(BSTR* pstrDevice) { return GetText(pstrDevice, m_impl.m_strAudioDevice); }
HRESULT KSettings::SetAudioDevice(BSTR bstrDevice) {
    KLock lock(m_mutex);
    return m_impl.SetAudioDevice(bstrDevice);
}
HRESULT KSettings::GetCaptureDevice(BSTR* pstrDevice) { return GetText(pstrDevice, m_impl.m_strCaptureDevice); }
HRESULT KSettings::SetCaptureDevice(BSTR bstrDevice) {
    KLock lock(m_mutex);
    return m_impl.SetCaptureDevice(bstrDevice);
}
HRESULT KSettings::SetRemindUpdateStatus(LONG bYes) { return SetValue(m_impl.m_bUpdateRemind2, bYes); }
HRESULT KSettings::GetRemindUpdateStatus(LONG* pbYes) {
    TQ_CHECK_POINTER(pbYes);
    KLock lock(m_mutex);
    *pbYes = m_impl.RemindUpdateStatus();
    return S_OK;
}
HRESULT KSettings::SetRemindUpdatePeriod(ULONG dwPeriod) {
    KLock lock(m_mutex);
    return m_impl.SetRemindUpdatePeriod(dwPeriod);
}
HRESULT KSettings::GetRegistered(LONG* pbYes) { return GetValue(pbYes, m_impl.m_bRegistered); }
HRESULT KSettings::SetRegistered(LONG bYes) { return SetValue(m_impl.m_bRegistered, bYes); }
HRESULT KSettings::GetMaxSongLength(UINT* pnMaxSongLength) { return GetValue(pnMaxSongLength, m_impl.m_nMaxSongLength); }
HRESULT KSettings::SetMaxSongLength(UINT nMaxSongLength) { return SetValue(m_impl.m_nMaxSongLength, nMaxSongLength); }
HRESULT KSettings::GetMainRect(LONG* pnLeft, LONG* pnTop, LONG* pnRight, LONG* pnBottom) {
    return GetRect(pnLeft, pnTop, pnRight, pnBottom, m_impl.m_cMainRect);
}
HRESULT KSettings::SetMainRect(LONG nLeft, LONG nTop, LONG nRight, LONG nBottom) {
    return SetRect(m_impl.m_cMainRect, nLeft, nTop, nRight, nBottom);
}
HRESULT KSettings::GetOpenMain(LONG* pbYes) { return GetValue(pbYes, m_impl.m_bOpenMain); }
HRESULT KSettings::SetOpenMain(LONG bYes) { return SetValue(m_impl.m_bOpenMain, bYes); }
HRESULT KSettings::GetRadioRect(LONG* pnLeft, LONG* pnTop, LONG* pnRight, LONG* pnBottom) {
    return GetRect(pnLeft, pnTop, pnRight, pnBottom, m_impl.m_cRadioRect);
}
HRESULT KSettings::SetRadioRect(LONG nLeft, LONG nTop, LONG nRight, LONG nBottom) {
    return SetRect(m_impl.m_cRadioRect, nLeft, nTop, nRight, nBottom);
}
HRESULT KSettings::GetOpenRadio(LONG* pbYes) { return GetValue(pbYes, m_impl.m_bOpenRadio); }
HRESULT KSettings::SetOpenRadio(LONG bYes) { return SetValue(m_impl.m_bOpenRadio, bYes); }
HRESULT KSettings::GetStickRadio(LONG* pbYes) { return GetValue(pbYes, m_impl.m_bStickRadio); }
HRESULT KSettings::SetStickRadio(LONG bYes) { return SetValue(m_impl.m_bStickRadio, bYes); }
HRESULT KSettings::GetPlayListRect(LONG* pnLeft, LONG* pnTop, LONG* pnRight, LONG* pnBottom) {
    return GetRect(pnLeft, pnTop, pnRight, pnBottom, m_impl.m_cPlayListRect);
}
HRESULT KSettings::SetPlayListRect(LONG nLeft, LONG nTop, LONG nRight, LONG nBottom) {
    return SetRect(m_impl.m_cPlayListRect, nLeft, nTop, nRight, nBottom);
}
HRESULT KSettings::GetOpenPlayList(LONG* pbYes) { return GetValue(pbYes, m_impl.m_bOpenPlayList); }
HRESULT KSettings::SetOpenPlayList(LONG bYes) { return SetValue(m_impl.m_bOpenPlayList, bYes); }
HRESULT KSettings::GetStickPlayList(LONG* pbYes) { return GetValue(pbYes, m_impl.m_bStickPlayList); }
HRESULT KSettings::SetStickPlayList(LONG bYes) { return SetValue(m_impl.m_bStickPlayList, bYes); }
HRESULT KSettings::GetOpenGuide(LONG* pbYes) { return GetValue(pbYes, m_impl.m_bOpenGuide); }
HRESULT KSettings::SetOpenGuide(LONG bYes) { return SetValue(m_impl.m_bOpenGuide, bYes); }
