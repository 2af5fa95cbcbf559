#pragma once
// The service's settings object, seen from a client process.
#include "ipc/client/ProxyBase.h"

namespace ipc {

class SettingsProxy final
    : public ProxyBase<SettingsProxy, RemoteStub<QXServiceLib::ISettings_proxy, QXServiceLib::IUnknown_proxy>, ISettings> {
public:
    static constexpr ObjectKind kKind = ObjectKind::Settings;
    SettingsProxy(std::shared_ptr<ClientConnection> connection, std::string service, std::string path)
        : ProxyBase(std::move(connection), std::move(service), std::move(path)) {}
    ObjectKind Kind() const override { return kKind; }

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
};

}  // namespace ipc
