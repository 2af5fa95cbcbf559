#pragma once
// The settings object behind ISettings: the one settings record with a
// getter and a setter for each setting, and its saving and loading. Callers
// on several threads at once are safe: every member is read and written under
// the object's lock, and a save writes a consistent copy of the record.
#include "ipc/QXServiceLib.h"
#include "platform/com/ComObject.h"
#include "platform/core/Sync.h"
#include "service/foundation/KSettingsImpl.h"

class KSettings : public plat::ComObject<KSettings, ISettings> {
public:
    HRESULT SaveSettings() override;
    HRESULT LoadSettings() override;
    HRESULT GetAudioFormat(UINT* pFormat) override;
    HRESULT SetAudioFormat(UINT nFormat) override;
    HRESULT SetCBR(UINT nCBR) override;
    HRESULT GetCBR(UINT* pCBR) override;
    HRESULT SetVBR(UINT nVBRMin, UINT nVBRMax) override;
    HRESULT GetVBR(UINT* pVBRMin, UINT* pVBRMax) override;
    HRESULT GetBitrateType(UINT* pBitrateType) override;
    HRESULT SetBitrateType(UINT nBitrateType) override;
    HRESULT GetLowVolumeStartEndState(LONG* pbYes) override;
    HRESULT SetLowVolumeStartEndState(LONG bYes) override;
    HRESULT GetDeleteSilenceStartEndState(LONG* pbYes) override;
    HRESULT SetDeleteSilenceStartEndState(LONG bYes) override;
    HRESULT GetDropCacheOnExitState(LONG* pbYes) override;
    HRESULT SetDropCacheOnExitState(LONG bYes) override;
    HRESULT GetAutoSplitSongsState(LONG* pbYes) override;
    HRESULT SetAutoSplitSongsState(LONG bYes) override;
    HRESULT GetInterceptAudioAlwaysState(LONG* pbYes) override;
    HRESULT SetInterceptAudioAlwaysState(LONG bYes) override;
    HRESULT SetPlayLiveRecDeviceState(LONG bYes) override;
    HRESULT GetPlayLiveRecDeviceState(LONG* pbYes) override;
    HRESULT SetWriteFromPlayDeviceState(LONG bYes) override;
    HRESULT GetWriteFromPlayDeviceState(LONG* pbYes) override;
    HRESULT SetWriteFromRecordDeviceState(LONG bYes) override;
    HRESULT GetWriteFromRecordDeviceState(LONG* pbYes) override;
    HRESULT SetWriteSilenceState(LONG bYes) override;
    HRESULT GetWriteSilenceState(LONG* pbYes) override;
    HRESULT GetShowPlaylistState(LONG* pbYes) override;
    HRESULT SetShowPlaylistState(LONG bYes) override;
    HRESULT GetAlwaysOnTopState(LONG* pbYes) override;
    HRESULT SetAlwaysOnTopState(LONG bYes) override;
    HRESULT GetCacheDir(BSTR* pstrDir) override;
    HRESULT SetCacheDir(BSTR bstrDir) override;
    HRESULT GetCacheSize(ULONG* pdwSize) override;
    HRESULT SetCacheSize(ULONG dwSize) override;
    HRESULT GetAudioDevice(BSTR* pstrDevice) override;
    HRESULT SetAudioDevice(BSTR bstrDevice) override;
    HRESULT GetCaptureDevice(BSTR* pstrDevice) override;
    HRESULT SetCaptureDevice(BSTR bstrDevice) override;
    HRESULT SetRemindUpdateStatus(LONG bYes) override;
    HRESULT GetRemindUpdateStatus(LONG* pbYes) override;
    HRESULT SetRemindUpdatePeriod(ULONG dwPeriod) override;
    HRESULT GetRegistered(LONG* pbYes) override;
    HRESULT SetRegistered(LONG bYes) override;
    HRESULT GetMaxSongLength(UINT* pnMaxSongLength) override;
    HRESULT SetMaxSongLength(UINT nMaxSongLength) override;
    HRESULT GetMainRect(LONG* pnLeft, LONG* pnTop, LONG* pnRight, LONG* pnBottom) override;
    HRESULT SetMainRect(LONG nLeft, LONG nTop, LONG nRight, LONG nBottom) override;
    HRESULT GetOpenMain(LONG* pbYes) override;
    HRESULT SetOpenMain(LONG bYes) override;
    HRESULT GetRadioRect(LONG* pnLeft, LONG* pnTop, LONG* pnRight, LONG* pnBottom) override;
    HRESULT SetRadioRect(LONG nLeft, LONG nTop, LONG nRight, LONG nBottom) override;
    HRESULT GetOpenRadio(LONG* pbYes) override;
    HRESULT SetOpenRadio(LONG bYes) override;
    HRESULT GetStickRadio(LONG* pbYes) override;
    HRESULT SetStickRadio(LONG bYes) override;
    HRESULT GetPlayListRect(LONG* pnLeft, LONG* pnTop, LONG* pnRight, LONG* pnBottom) override;
    HRESULT SetPlayListRect(LONG nLeft, LONG nTop, LONG nRight, LONG nBottom) override;
    HRESULT GetOpenPlayList(LONG* pbYes) override;
    HRESULT SetOpenPlayList(LONG bYes) override;
    HRESULT GetStickPlayList(LONG* pbYes) override;
    HRESULT SetStickPlayList(LONG bYes) override;
    HRESULT GetOpenGuide(LONG* pbYes) override;
    HRESULT SetOpenGuide(LONG bYes) override;

private:
    friend class plat::ComObject<KSettings, ISettings>;
    KSettings();
    ~KSettings() override;

    template <class T>
    HRESULT GetValue(T* out, const T& member);
    template <class T>
    HRESULT SetValue(T& member, T value);
    HRESULT GetText(BSTR* out, const std::u16string& member);
    HRESULT GetRect(LONG* pnLeft, LONG* pnTop, LONG* pnRight, LONG* pnBottom, const RECT& rect);
    HRESULT SetRect(RECT& rect, LONG nLeft, LONG nTop, LONG nRight, LONG nBottom);

    plat::Mutex m_mutex;      // guards the record
    plat::Mutex m_fileMutex;  // one save or load of the file at a time
    KSettingsImpl m_impl;
};

// A new settings object with the default record (not loaded), its count at
// 0; it holds a lock on the server module while it lives. Null after a
// report when it cannot be made.
ISettings* CreateSettingsObject();
