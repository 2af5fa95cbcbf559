#include "ipc/service/SettingsAdaptor.h"

namespace ipc {

SettingsAdaptor::SettingsAdaptor(ObjectTable& table, const std::string& path, plat::ComPtr<ISettings> target,
                                 std::shared_ptr<CallGate> gate)
    : Adaptor(table, path, std::move(gate)), m_target(std::move(target)) {
    registerAdaptor();
}

SettingsAdaptor::~SettingsAdaptor() { unregisterAdaptor(); }

void SettingsAdaptor::SaveSettings(sdbus::Result<int32_t>&& result) {
    Forward(std::move(result), m_target, &ISettings::SaveSettings);
}

void SettingsAdaptor::LoadSettings(sdbus::Result<int32_t>&& result) {
    Forward(std::move(result), m_target, &ISettings::LoadSettings);
}

void SettingsAdaptor::GetAudioFormat(sdbus::Result<int32_t, uint32_t>&& result) {
    Forward(std::move(result), m_target, &ISettings::GetAudioFormat);
}

void SettingsAdaptor::SetAudioFormat(sdbus::Result<int32_t>&& result, uint32_t nFormat) {
    Forward(std::move(result), m_target, &ISettings::SetAudioFormat, nFormat);
}

void SettingsAdaptor::SetCBR(sdbus::Result<int32_t>&& result, uint32_t nCBR) {
    Forward(std::move(result), m_target, &ISettings::SetCBR, nCBR);
}

void SettingsAdaptor::GetCBR(sdbus::Result<int32_t, uint32_t>&& result) {
    Forward(std::move(result), m_target, &ISettings::GetCBR);
}

void SettingsAdaptor::SetVBR(sdbus::Result<int32_t>&& result, uint32_t nVBRMin, uint32_t nVBRMax) {
    Forward(std::move(result), m_target, &ISettings::SetVBR, nVBRMin, nVBRMax);
}

void SettingsAdaptor::GetVBR(sdbus::Result<int32_t, uint32_t, uint32_t>&& result) {
    Forward(std::move(result), m_target, &ISettings::GetVBR);
}

void SettingsAdaptor::GetBitrateType(sdbus::Result<int32_t, uint32_t>&& result) {
    Forward(std::move(result), m_target, &ISettings::GetBitrateType);
}

void SettingsAdaptor::SetBitrateType(sdbus::Result<int32_t>&& result, uint32_t nBitrateType) {
    Forward(std::move(result), m_target, &ISettings::SetBitrateType, nBitrateType);
}

void SettingsAdaptor::GetLowVolumeStartEndState(sdbus::Result<int32_t, int32_t>&& result) {
    Forward(std::move(result), m_target, &ISettings::GetLowVolumeStartEndState);
}

void SettingsAdaptor::SetLowVolumeStartEndState(sdbus::Result<int32_t>&& result, int32_t bYes) {
    Forward(std::move(result), m_target, &ISettings::SetLowVolumeStartEndState, bYes);
}

void SettingsAdaptor::GetDeleteSilenceStartEndState(sdbus::Result<int32_t, int32_t>&& result) {
    Forward(std::move(result), m_target, &ISettings::GetDeleteSilenceStartEndState);
}

void SettingsAdaptor::SetDeleteSilenceStartEndState(sdbus::Result<int32_t>&& result, int32_t bYes) {
    Forward(std::move(result), m_target, &ISettings::SetDeleteSilenceStartEndState, bYes);
}

void SettingsAdaptor::GetDropCacheOnExitState(sdbus::Result<int32_t, int32_t>&& result) {
    Forward(std::move(result), m_target, &ISettings::GetDropCacheOnExitState);
}

void SettingsAdaptor::SetDropCacheOnExitState(sdbus::Result<int32_t>&& result, int32_t bYes) {
    Forward(std::move(result), m_target, &ISettings::SetDropCacheOnExitState, bYes);
}

void SettingsAdaptor::GetAutoSplitSongsState(sdbus::Result<int32_t, int32_t>&& result) {
    Forward(std::move(result), m_target, &ISettings::GetAutoSplitSongsState);
}

void SettingsAdaptor::SetAutoSplitSongsState(sdbus::Result<int32_t>&& result, int32_t bYes) {
    Forward(std::move(result), m_target, &ISettings::SetAutoSplitSongsState, bYes);
}

void SettingsAdaptor::GetInterceptAudioAlwaysState(sdbus::Result<int32_t, int32_t>&& result) {
    Forward(std::move(result), m_target, &ISettings::GetInterceptAudioAlwaysState);
}

void SettingsAdaptor::SetInterceptAudioAlwaysState(sdbus::Result<int32_t>&& result, int32_t bYes) {
    Forward(std::move(result), m_target, &ISettings::SetInterceptAudioAlwaysState, bYes);
}

void SettingsAdaptor::SetPlayLiveRecDeviceState(sdbus::Result<int32_t>&& result, int32_t bYes) {
    Forward(std::move(result), m_target, &ISettings::SetPlayLiveRecDeviceState, bYes);
}

void SettingsAdaptor::GetPlayLiveRecDeviceState(sdbus::Result<int32_t, int32_t>&& result) {
    Forward(std::move(result), m_target, &ISettings::GetPlayLiveRecDeviceState);
}

void SettingsAdaptor::SetWriteFromPlayDeviceState(sdbus::Result<int32_t>&& result, int32_t bYes) {
    Forward(std::move(result), m_target, &ISettings::SetWriteFromPlayDeviceState, bYes);
}

void SettingsAdaptor::GetWriteFromPlayDeviceState(sdbus::Result<int32_t, int32_t>&& result) {
    Forward(std::move(result), m_target, &ISettings::GetWriteFromPlayDeviceState);
}

void SettingsAdaptor::SetWriteFromRecordDeviceState(sdbus::Result<int32_t>&& result, int32_t bYes) {
    Forward(std::move(result), m_target, &ISettings::SetWriteFromRecordDeviceState, bYes);
}

void SettingsAdaptor::GetWriteFromRecordDeviceState(sdbus::Result<int32_t, int32_t>&& result) {
    Forward(std::move(result), m_target, &ISettings::GetWriteFromRecordDeviceState);
}

void SettingsAdaptor::SetWriteSilenceState(sdbus::Result<int32_t>&& result, int32_t bYes) {
    Forward(std::move(result), m_target, &ISettings::SetWriteSilenceState, bYes);
}

void SettingsAdaptor::GetWriteSilenceState(sdbus::Result<int32_t, int32_t>&& result) {
    Forward(std::move(result), m_target, &ISettings::GetWriteSilenceState);
}

void SettingsAdaptor::GetShowPlaylistState(sdbus::Result<int32_t, int32_t>&& result) {
    Forward(std::move(result), m_target, &ISettings::GetShowPlaylistState);
}

void SettingsAdaptor::SetShowPlaylistState(sdbus::Result<int32_t>&& result, int32_t bYes) {
    Forward(std::move(result), m_target, &ISettings::SetShowPlaylistState, bYes);
}

void SettingsAdaptor::GetAlwaysOnTopState(sdbus::Result<int32_t, int32_t>&& result) {
    Forward(std::move(result), m_target, &ISettings::GetAlwaysOnTopState);
}

void SettingsAdaptor::SetAlwaysOnTopState(sdbus::Result<int32_t>&& result, int32_t bYes) {
    Forward(std::move(result), m_target, &ISettings::SetAlwaysOnTopState, bYes);
}

void SettingsAdaptor::GetCacheDir(sdbus::Result<int32_t, std::string>&& result) {
    Forward(std::move(result), m_target, &ISettings::GetCacheDir);
}

void SettingsAdaptor::SetCacheDir(sdbus::Result<int32_t>&& result, std::string bstrDir) {
    Forward(std::move(result), m_target, &ISettings::SetCacheDir, std::move(bstrDir));
}

void SettingsAdaptor::GetCacheSize(sdbus::Result<int32_t, uint32_t>&& result) {
    Forward(std::move(result), m_target, &ISettings::GetCacheSize);
}

void SettingsAdaptor::SetCacheSize(sdbus::Result<int32_t>&& result, uint32_t dwSize) {
    Forward(std::move(result), m_target, &ISettings::SetCacheSize, dwSize);
}

void SettingsAdaptor::GetAudioDevice(sdbus::Result<int32_t, std::string>&& result) {
    Forward(std::move(result), m_target, &ISettings::GetAudioDevice);
}

void SettingsAdaptor::SetAudioDevice(sdbus::Result<int32_t>&& result, std::string bstrDevice) {
    Forward(std::move(result), m_target, &ISettings::SetAudioDevice, std::move(bstrDevice));
}

void SettingsAdaptor::GetCaptureDevice(sdbus::Result<int32_t, std::string>&& result) {
    Forward(std::move(result), m_target, &ISettings::GetCaptureDevice);
}

void SettingsAdaptor::SetCaptureDevice(sdbus::Result<int32_t>&& result, std::string bstrDevice) {
    Forward(std::move(result), m_target, &ISettings::SetCaptureDevice, std::move(bstrDevice));
}

void SettingsAdaptor::SetRemindUpdateStatus(sdbus::Result<int32_t>&& result, int32_t bYes) {
    Forward(std::move(result), m_target, &ISettings::SetRemindUpdateStatus, bYes);
}

void SettingsAdaptor::GetRemindUpdateStatus(sdbus::Result<int32_t, int32_t>&& result) {
    Forward(std::move(result), m_target, &ISettings::GetRemindUpdateStatus);
}

void SettingsAdaptor::SetRemindUpdatePeriod(sdbus::Result<int32_t>&& result, uint32_t dwPeriod) {
    Forward(std::move(result), m_target, &ISettings::SetRemindUpdatePeriod, dwPeriod);
}

void SettingsAdaptor::GetRegistered(sdbus::Result<int32_t, int32_t>&& result) {
    Forward(std::move(result), m_target, &ISettings::GetRegistered);
}

void SettingsAdaptor::SetRegistered(sdbus::Result<int32_t>&& result, int32_t bYes) {
    Forward(std::move(result), m_target, &ISettings::SetRegistered, bYes);
}

void SettingsAdaptor::GetMaxSongLength(sdbus::Result<int32_t, uint32_t>&& result) {
    Forward(std::move(result), m_target, &ISettings::GetMaxSongLength);
}

void SettingsAdaptor::SetMaxSongLength(sdbus::Result<int32_t>&& result, uint32_t nMaxSongLength) {
    Forward(std::move(result), m_target, &ISettings::SetMaxSongLength, nMaxSongLength);
}

void SettingsAdaptor::GetMainRect(sdbus::Result<int32_t, int32_t, int32_t, int32_t, int32_t>&& result) {
    Forward(std::move(result), m_target, &ISettings::GetMainRect);
}

void SettingsAdaptor::SetMainRect(sdbus::Result<int32_t>&& result, int32_t nLeft, int32_t nTop, int32_t nRight, int32_t nBottom) {
    Forward(std::move(result), m_target, &ISettings::SetMainRect, nLeft, nTop, nRight, nBottom);
}

void SettingsAdaptor::GetOpenMain(sdbus::Result<int32_t, int32_t>&& result) {
    Forward(std::move(result), m_target, &ISettings::GetOpenMain);
}

void SettingsAdaptor::SetOpenMain(sdbus::Result<int32_t>&& result, int32_t bYes) {
    Forward(std::move(result), m_target, &ISettings::SetOpenMain, bYes);
}

void SettingsAdaptor::GetRadioRect(sdbus::Result<int32_t, int32_t, int32_t, int32_t, int32_t>&& result) {
    Forward(std::move(result), m_target, &ISettings::GetRadioRect);
}

void SettingsAdaptor::SetRadioRect(sdbus::Result<int32_t>&& result, int32_t nLeft, int32_t nTop, int32_t nRight, int32_t nBottom) {
    Forward(std::move(result), m_target, &ISettings::SetRadioRect, nLeft, nTop, nRight, nBottom);
}

void SettingsAdaptor::GetOpenRadio(sdbus::Result<int32_t, int32_t>&& result) {
    Forward(std::move(result), m_target, &ISettings::GetOpenRadio);
}

void SettingsAdaptor::SetOpenRadio(sdbus::Result<int32_t>&& result, int32_t bYes) {
    Forward(std::move(result), m_target, &ISettings::SetOpenRadio, bYes);
}

void SettingsAdaptor::GetStickRadio(sdbus::Result<int32_t, int32_t>&& result) {
    Forward(std::move(result), m_target, &ISettings::GetStickRadio);
}

void SettingsAdaptor::SetStickRadio(sdbus::Result<int32_t>&& result, int32_t bYes) {
    Forward(std::move(result), m_target, &ISettings::SetStickRadio, bYes);
}

void SettingsAdaptor::GetPlayListRect(sdbus::Result<int32_t, int32_t, int32_t, int32_t, int32_t>&& result) {
    Forward(std::move(result), m_target, &ISettings::GetPlayListRect);
}

void SettingsAdaptor::SetPlayListRect(sdbus::Result<int32_t>&& result, int32_t nLeft, int32_t nTop, int32_t nRight, int32_t nBottom) {
    Forward(std::move(result), m_target, &ISettings::SetPlayListRect, nLeft, nTop, nRight, nBottom);
}

void SettingsAdaptor::GetOpenPlayList(sdbus::Result<int32_t, int32_t>&& result) {
    Forward(std::move(result), m_target, &ISettings::GetOpenPlayList);
}

void SettingsAdaptor::SetOpenPlayList(sdbus::Result<int32_t>&& result, int32_t bYes) {
    Forward(std::move(result), m_target, &ISettings::SetOpenPlayList, bYes);
}

void SettingsAdaptor::GetStickPlayList(sdbus::Result<int32_t, int32_t>&& result) {
    Forward(std::move(result), m_target, &ISettings::GetStickPlayList);
}

void SettingsAdaptor::SetStickPlayList(sdbus::Result<int32_t>&& result, int32_t bYes) {
    Forward(std::move(result), m_target, &ISettings::SetStickPlayList, bYes);
}

void SettingsAdaptor::GetOpenGuide(sdbus::Result<int32_t, int32_t>&& result) {
    Forward(std::move(result), m_target, &ISettings::GetOpenGuide);
}

void SettingsAdaptor::SetOpenGuide(sdbus::Result<int32_t>&& result, int32_t bYes) {
    Forward(std::move(result), m_target, &ISettings::SetOpenGuide, bYes);
}

}  // namespace ipc
