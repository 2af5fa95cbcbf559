#pragma once
// Serves ISettings at /AudioController/Settings.
#include "ipc/service/Adaptor.h"

namespace ipc {

class SettingsAdaptor final : public Adaptor<QXServiceLib::ISettings_adaptor> {
public:
    SettingsAdaptor(ObjectTable& table, const std::string& path, plat::ComPtr<ISettings> target,
                    std::shared_ptr<CallGate> gate);
    ~SettingsAdaptor() override;

private:
    void SaveSettings(sdbus::Result<int32_t>&& result) override;
    void LoadSettings(sdbus::Result<int32_t>&& result) override;
    void GetAudioFormat(sdbus::Result<int32_t, uint32_t>&& result) override;
    void SetAudioFormat(sdbus::Result<int32_t>&& result, uint32_t nFormat) override;
    void SetCBR(sdbus::Result<int32_t>&& result, uint32_t nCBR) override;
    void GetCBR(sdbus::Result<int32_t, uint32_t>&& result) override;
    void SetVBR(sdbus::Result<int32_t>&& result, uint32_t nVBRMin, uint32_t nVBRMax) override;
    void GetVBR(sdbus::Result<int32_t, uint32_t, uint32_t>&& result) override;
    void GetBitrateType(sdbus::Result<int32_t, uint32_t>&& result) override;
    void SetBitrateType(sdbus::Result<int32_t>&& result, uint32_t nBitrateType) override;
    void GetLowVolumeStartEndState(sdbus::Result<int32_t, int32_t>&& result) override;
    void SetLowVolumeStartEndState(sdbus::Result<int32_t>&& result, int32_t bYes) override;
    void GetDeleteSilenceStartEndState(sdbus::Result<int32_t, int32_t>&& result) override;
    void SetDeleteSilenceStartEndState(sdbus::Result<int32_t>&& result, int32_t bYes) override;
    void GetDropCacheOnExitState(sdbus::Result<int32_t, int32_t>&& result) override;
    void SetDropCacheOnExitState(sdbus::Result<int32_t>&& result, int32_t bYes) override;
    void GetAutoSplitSongsState(sdbus::Result<int32_t, int32_t>&& result) override;
    void SetAutoSplitSongsState(sdbus::Result<int32_t>&& result, int32_t bYes) override;
    void GetInterceptAudioAlwaysState(sdbus::Result<int32_t, int32_t>&& result) override;
    void SetInterceptAudioAlwaysState(sdbus::Result<int32_t>&& result, int32_t bYes) override;
    void SetPlayLiveRecDeviceState(sdbus::Result<int32_t>&& result, int32_t bYes) override;
    void GetPlayLiveRecDeviceState(sdbus::Result<int32_t, int32_t>&& result) override;
    void SetWriteFromPlayDeviceState(sdbus::Result<int32_t>&& result, int32_t bYes) override;
    void GetWriteFromPlayDeviceState(sdbus::Result<int32_t, int32_t>&& result) override;
    void SetWriteFromRecordDeviceState(sdbus::Result<int32_t>&& result, int32_t bYes) override;
    void GetWriteFromRecordDeviceState(sdbus::Result<int32_t, int32_t>&& result) override;
    void SetWriteSilenceState(sdbus::Result<int32_t>&& result, int32_t bYes) override;
    void GetWriteSilenceState(sdbus::Result<int32_t, int32_t>&& result) override;
    void GetShowPlaylistState(sdbus::Result<int32_t, int32_t>&& result) override;
    void SetShowPlaylistState(sdbus::Result<int32_t>&& result, int32_t bYes) override;
    void GetAlwaysOnTopState(sdbus::Result<int32_t, int32_t>&& result) override;
    void SetAlwaysOnTopState(sdbus::Result<int32_t>&& result, int32_t bYes) override;
    void GetCacheDir(sdbus::Result<int32_t, std::string>&& result) override;
    void SetCacheDir(sdbus::Result<int32_t>&& result, std::string bstrDir) override;
    void GetCacheSize(sdbus::Result<int32_t, uint32_t>&& result) override;
    void SetCacheSize(sdbus::Result<int32_t>&& result, uint32_t dwSize) override;
    void GetAudioDevice(sdbus::Result<int32_t, std::string>&& result) override;
    void SetAudioDevice(sdbus::Result<int32_t>&& result, std::string bstrDevice) override;
    void GetCaptureDevice(sdbus::Result<int32_t, std::string>&& result) override;
    void SetCaptureDevice(sdbus::Result<int32_t>&& result, std::string bstrDevice) override;
    void SetRemindUpdateStatus(sdbus::Result<int32_t>&& result, int32_t bYes) override;
    void GetRemindUpdateStatus(sdbus::Result<int32_t, int32_t>&& result) override;
    void SetRemindUpdatePeriod(sdbus::Result<int32_t>&& result, uint32_t dwPeriod) override;
    void GetRegistered(sdbus::Result<int32_t, int32_t>&& result) override;
    void SetRegistered(sdbus::Result<int32_t>&& result, int32_t bYes) override;
    void GetMaxSongLength(sdbus::Result<int32_t, uint32_t>&& result) override;
    void SetMaxSongLength(sdbus::Result<int32_t>&& result, uint32_t nMaxSongLength) override;
    void GetMainRect(sdbus::Result<int32_t, int32_t, int32_t, int32_t, int32_t>&& result) override;
    void SetMainRect(sdbus::Result<int32_t>&& result, int32_t nLeft, int32_t nTop, int32_t nRight, int32_t nBottom) override;
    void GetOpenMain(sdbus::Result<int32_t, int32_t>&& result) override;
    void SetOpenMain(sdbus::Result<int32_t>&& result, int32_t bYes) override;
    void GetRadioRect(sdbus::Result<int32_t, int32_t, int32_t, int32_t, int32_t>&& result) override;
    void SetRadioRect(sdbus::Result<int32_t>&& result, int32_t nLeft, int32_t nTop, int32_t nRight, int32_t nBottom) override;
    void GetOpenRadio(sdbus::Result<int32_t, int32_t>&& result) override;
    void SetOpenRadio(sdbus::Result<int32_t>&& result, int32_t bYes) override;
    void GetStickRadio(sdbus::Result<int32_t, int32_t>&& result) override;
    void SetStickRadio(sdbus::Result<int32_t>&& result, int32_t bYes) override;
    void GetPlayListRect(sdbus::Result<int32_t, int32_t, int32_t, int32_t, int32_t>&& result) override;
    void SetPlayListRect(sdbus::Result<int32_t>&& result, int32_t nLeft, int32_t nTop, int32_t nRight, int32_t nBottom) override;
    void GetOpenPlayList(sdbus::Result<int32_t, int32_t>&& result) override;
    void SetOpenPlayList(sdbus::Result<int32_t>&& result, int32_t bYes) override;
    void GetStickPlayList(sdbus::Result<int32_t, int32_t>&& result) override;
    void SetStickPlayList(sdbus::Result<int32_t>&& result, int32_t bYes) override;
    void GetOpenGuide(sdbus::Result<int32_t, int32_t>&& result) override;
    void SetOpenGuide(sdbus::Result<int32_t>&& result, int32_t bYes) override;

    plat::ComPtr<ISettings> m_target;
};

}  // namespace ipc
