#include "ipc/client/SettingsProxy.h"

namespace ipc {

HRESULT SettingsProxy::SaveSettings() {
    return Invoke(&QXServiceLib::ISettings_proxy::SaveSettings);
}

HRESULT SettingsProxy::LoadSettings() {
    return Invoke(&QXServiceLib::ISettings_proxy::LoadSettings);
}

HRESULT SettingsProxy::GetAudioFormat(UINT* pFormat) {
    return Invoke(&QXServiceLib::ISettings_proxy::GetAudioFormat, pFormat);
}

HRESULT SettingsProxy::SetAudioFormat(UINT nFormat) {
    return Invoke(&QXServiceLib::ISettings_proxy::SetAudioFormat, nFormat);
}

HRESULT SettingsProxy::SetCBR(UINT nCBR) {
    return Invoke(&QXServiceLib::ISettings_proxy::SetCBR, nCBR);
}

HRESULT SettingsProxy::GetCBR(UINT* pCBR) {
    return Invoke(&QXServiceLib::ISettings_proxy::GetCBR, pCBR);
}

HRESULT SettingsProxy::SetVBR(UINT nVBRMin, UINT nVBRMax) {
    return Invoke(&QXServiceLib::ISettings_proxy::SetVBR, nVBRMin, nVBRMax);
}

HRESULT SettingsProxy::GetVBR(UINT* pVBRMin, UINT* pVBRMax) {
    return Invoke(&QXServiceLib::ISettings_proxy::GetVBR, pVBRMin, pVBRMax);
}

HRESULT SettingsProxy::GetBitrateType(UINT* pBitrateType) {
    return Invoke(&QXServiceLib::ISettings_proxy::GetBitrateType, pBitrateType);
}

HRESULT SettingsProxy::SetBitrateType(UINT nBitrateType) {
    return Invoke(&QXServiceLib::ISettings_proxy::SetBitrateType, nBitrateType);
}

HRESULT SettingsProxy::GetLowVolumeStartEndState(LONG* pbYes) {
    return Invoke(&QXServiceLib::ISettings_proxy::GetLowVolumeStartEndState, pbYes);
}

HRESULT SettingsProxy::SetLowVolumeStartEndState(LONG bYes) {
    return Invoke(&QXServiceLib::ISettings_proxy::SetLowVolumeStartEndState, bYes);
}

HRESULT SettingsProxy::GetDeleteSilenceStartEndState(LONG* pbYes) {
    return Invoke(&QXServiceLib::ISettings_proxy::GetDeleteSilenceStartEndState, pbYes);
}

HRESULT SettingsProxy::SetDeleteSilenceStartEndState(LONG bYes) {
    return Invoke(&QXServiceLib::ISettings_proxy::SetDeleteSilenceStartEndState, bYes);
}

HRESULT SettingsProxy::GetDropCacheOnExitState(LONG* pbYes) {
    return Invoke(&QXServiceLib::ISettings_proxy::GetDropCacheOnExitState, pbYes);
}

HRESULT SettingsProxy::SetDropCacheOnExitState(LONG bYes) {
    return Invoke(&QXServiceLib::ISettings_proxy::SetDropCacheOnExitState, bYes);
}

HRESULT SettingsProxy::GetAutoSplitSongsState(LONG* pbYes) {
    return Invoke(&QXServiceLib::ISettings_proxy::GetAutoSplitSongsState, pbYes);
}

HRESULT SettingsProxy::SetAutoSplitSongsState(LONG bYes) {
    return Invoke(&QXServiceLib::ISettings_proxy::SetAutoSplitSongsState, bYes);
}

HRESULT SettingsProxy::GetInterceptAudioAlwaysState(LONG* pbYes) {
    return Invoke(&QXServiceLib::ISettings_proxy::GetInterceptAudioAlwaysState, pbYes);
}

HRESULT SettingsProxy::SetInterceptAudioAlwaysState(LONG bYes) {
    return Invoke(&QXServiceLib::ISettings_proxy::SetInterceptAudioAlwaysState, bYes);
}

HRESULT SettingsProxy::SetPlayLiveRecDeviceState(LONG bYes) {
    return Invoke(&QXServiceLib::ISettings_proxy::SetPlayLiveRecDeviceState, bYes);
}

HRESULT SettingsProxy::GetPlayLiveRecDeviceState(LONG* pbYes) {
    return Invoke(&QXServiceLib::ISettings_proxy::GetPlayLiveRecDeviceState, pbYes);
}

HRESULT SettingsProxy::SetWriteFromPlayDeviceState(LONG bYes) {
    return Invoke(&QXServiceLib::ISettings_proxy::SetWriteFromPlayDeviceState, bYes);
}

HRESULT SettingsProxy::GetWriteFromPlayDeviceState(LONG* pbYes) {
    return Invoke(&QXServiceLib::ISettings_proxy::GetWriteFromPlayDeviceState, pbYes);
}

HRESULT SettingsProxy::SetWriteFromRecordDeviceState(LONG bYes) {
    return Invoke(&QXServiceLib::ISettings_proxy::SetWriteFromRecordDeviceState, bYes);
}

HRESULT SettingsProxy::GetWriteFromRecordDeviceState(LONG* pbYes) {
    return Invoke(&QXServiceLib::ISettings_proxy::GetWriteFromRecordDeviceState, pbYes);
}

HRESULT SettingsProxy::SetWriteSilenceState(LONG bYes) {
    return Invoke(&QXServiceLib::ISettings_proxy::SetWriteSilenceState, bYes);
}

HRESULT SettingsProxy::GetWriteSilenceState(LONG* pbYes) {
    return Invoke(&QXServiceLib::ISettings_proxy::GetWriteSilenceState, pbYes);
}

HRESULT SettingsProxy::GetShowPlaylistState(LONG* pbYes) {
    return Invoke(&QXServiceLib::ISettings_proxy::GetShowPlaylistState, pbYes);
}

HRESULT SettingsProxy::SetShowPlaylistState(LONG bYes) {
    return Invoke(&QXServiceLib::ISettings_proxy::SetShowPlaylistState, bYes);
}

HRESULT SettingsProxy::GetAlwaysOnTopState(LONG* pbYes) {
    return Invoke(&QXServiceLib::ISettings_proxy::GetAlwaysOnTopState, pbYes);
}

HRESULT SettingsProxy::SetAlwaysOnTopState(LONG bYes) {
    return Invoke(&QXServiceLib::ISettings_proxy::SetAlwaysOnTopState, bYes);
}

HRESULT SettingsProxy::GetCacheDir(BSTR* pstrDir) {
    return Invoke(&QXServiceLib::ISettings_proxy::GetCacheDir, pstrDir);
}

HRESULT SettingsProxy::SetCacheDir(BSTR bstrDir) {
    return Invoke(&QXServiceLib::ISettings_proxy::SetCacheDir, bstrDir);
}

HRESULT SettingsProxy::GetCacheSize(ULONG* pdwSize) {
    return Invoke(&QXServiceLib::ISettings_proxy::GetCacheSize, pdwSize);
}

HRESULT SettingsProxy::SetCacheSize(ULONG dwSize) {
    return Invoke(&QXServiceLib::ISettings_proxy::SetCacheSize, dwSize);
}

HRESULT SettingsProxy::GetAudioDevice(BSTR* pstrDevice) {
    return Invoke(&QXServiceLib::ISettings_proxy::GetAudioDevice, pstrDevice);
}

HRESULT SettingsProxy::SetAudioDevice(BSTR bstrDevice) {
    return Invoke(&QXServiceLib::ISettings_proxy::SetAudioDevice, bstrDevice);
}

HRESULT SettingsProxy::GetCaptureDevice(BSTR* pstrDevice) {
    return Invoke(&QXServiceLib::ISettings_proxy::GetCaptureDevice, pstrDevice);
}

HRESULT SettingsProxy::SetCaptureDevice(BSTR bstrDevice) {
    return Invoke(&QXServiceLib::ISettings_proxy::SetCaptureDevice, bstrDevice);
}

HRESULT SettingsProxy::SetRemindUpdateStatus(LONG bYes) {
    return Invoke(&QXServiceLib::ISettings_proxy::SetRemindUpdateStatus, bYes);
}

HRESULT SettingsProxy::GetRemindUpdateStatus(LONG* pbYes) {
    return Invoke(&QXServiceLib::ISettings_proxy::GetRemindUpdateStatus, pbYes);
}

HRESULT SettingsProxy::SetRemindUpdatePeriod(ULONG dwPeriod) {
    return Invoke(&QXServiceLib::ISettings_proxy::SetRemindUpdatePeriod, dwPeriod);
}

HRESULT SettingsProxy::GetRegistered(LONG* pbYes) {
    return Invoke(&QXServiceLib::ISettings_proxy::GetRegistered, pbYes);
}

HRESULT SettingsProxy::SetRegistered(LONG bYes) {
    return Invoke(&QXServiceLib::ISettings_proxy::SetRegistered, bYes);
}

HRESULT SettingsProxy::GetMaxSongLength(UINT* pnMaxSongLength) {
    return Invoke(&QXServiceLib::ISettings_proxy::GetMaxSongLength, pnMaxSongLength);
}

HRESULT SettingsProxy::SetMaxSongLength(UINT nMaxSongLength) {
    return Invoke(&QXServiceLib::ISettings_proxy::SetMaxSongLength, nMaxSongLength);
}

HRESULT SettingsProxy::GetMainRect(LONG* pnLeft, LONG* pnTop, LONG* pnRight, LONG* pnBottom) {
    return Invoke(&QXServiceLib::ISettings_proxy::GetMainRect, pnLeft, pnTop, pnRight, pnBottom);
}

HRESULT SettingsProxy::SetMainRect(LONG nLeft, LONG nTop, LONG nRight, LONG nBottom) {
    return Invoke(&QXServiceLib::ISettings_proxy::SetMainRect, nLeft, nTop, nRight, nBottom);
}

HRESULT SettingsProxy::GetOpenMain(LONG* pbYes) {
    return Invoke(&QXServiceLib::ISettings_proxy::GetOpenMain, pbYes);
}

HRESULT SettingsProxy::SetOpenMain(LONG bYes) {
    return Invoke(&QXServiceLib::ISettings_proxy::SetOpenMain, bYes);
}

HRESULT SettingsProxy::GetRadioRect(LONG* pnLeft, LONG* pnTop, LONG* pnRight, LONG* pnBottom) {
    return Invoke(&QXServiceLib::ISettings_proxy::GetRadioRect, pnLeft, pnTop, pnRight, pnBottom);
}

HRESULT SettingsProxy::SetRadioRect(LONG nLeft, LONG nTop, LONG nRight, LONG nBottom) {
    return Invoke(&QXServiceLib::ISettings_proxy::SetRadioRect, nLeft, nTop, nRight, nBottom);
}

HRESULT SettingsProxy::GetOpenRadio(LONG* pbYes) {
    return Invoke(&QXServiceLib::ISettings_proxy::GetOpenRadio, pbYes);
}

HRESULT SettingsProxy::SetOpenRadio(LONG bYes) {
    return Invoke(&QXServiceLib::ISettings_proxy::SetOpenRadio, bYes);
}

HRESULT SettingsProxy::GetStickRadio(LONG* pbYes) {
    return Invoke(&QXServiceLib::ISettings_proxy::GetStickRadio, pbYes);
}

HRESULT SettingsProxy::SetStickRadio(LONG bYes) {
    return Invoke(&QXServiceLib::ISettings_proxy::SetStickRadio, bYes);
}

HRESULT SettingsProxy::GetPlayListRect(LONG* pnLeft, LONG* pnTop, LONG* pnRight, LONG* pnBottom) {
    return Invoke(&QXServiceLib::ISettings_proxy::GetPlayListRect, pnLeft, pnTop, pnRight, pnBottom);
}

HRESULT SettingsProxy::SetPlayListRect(LONG nLeft, LONG nTop, LONG nRight, LONG nBottom) {
    return Invoke(&QXServiceLib::ISettings_proxy::SetPlayListRect, nLeft, nTop, nRight, nBottom);
}

HRESULT SettingsProxy::GetOpenPlayList(LONG* pbYes) {
    return Invoke(&QXServiceLib::ISettings_proxy::GetOpenPlayList, pbYes);
}

HRESULT SettingsProxy::SetOpenPlayList(LONG bYes) {
    return Invoke(&QXServiceLib::ISettings_proxy::SetOpenPlayList, bYes);
}

HRESULT SettingsProxy::GetStickPlayList(LONG* pbYes) {
    return Invoke(&QXServiceLib::ISettings_proxy::GetStickPlayList, pbYes);
}

HRESULT SettingsProxy::SetStickPlayList(LONG bYes) {
    return Invoke(&QXServiceLib::ISettings_proxy::SetStickPlayList, bYes);
}

HRESULT SettingsProxy::GetOpenGuide(LONG* pbYes) {
    return Invoke(&QXServiceLib::ISettings_proxy::GetOpenGuide, pbYes);
}

HRESULT SettingsProxy::SetOpenGuide(LONG bYes) {
    return Invoke(&QXServiceLib::ISettings_proxy::SetOpenGuide, bYes);
}

}  // namespace ipc
