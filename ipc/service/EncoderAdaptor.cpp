#include "ipc/service/EncoderAdaptor.h"

namespace ipc {

EncoderAdaptor::EncoderAdaptor(ObjectTable& table, const std::string& path, plat::ComPtr<IAudioEncoder> target,
                               std::shared_ptr<CallGate> gate)
    : Adaptor(table, path, std::move(gate)), m_target(std::move(target)) {
    registerAdaptor();
}

EncoderAdaptor::~EncoderAdaptor() { unregisterAdaptor(); }

void EncoderAdaptor::Save(sdbus::Result<int32_t>&& result, sdbus::ObjectPath pSong, std::string bstrFileName) {
    Forward(std::move(result), m_target, &IAudioEncoder::Save, std::move(pSong), std::move(bstrFileName));
}

void EncoderAdaptor::SaveGroup(sdbus::Result<int32_t>&& result, std::vector<sdbus::ObjectPath> varSongs, std::string bstrDirPath) {
    Forward(std::move(result), m_target, &IAudioEncoder::SaveGroup, std::move(varSongs), std::move(bstrDirPath));
}

void EncoderAdaptor::StopSave(sdbus::Result<int32_t>&& result) {
    Forward(std::move(result), m_target, &IAudioEncoder::StopSave);
}

void EncoderAdaptor::SetConstantBitrate(sdbus::Result<int32_t>&& result, uint32_t dwBitrate) {
    Forward(std::move(result), m_target, &IAudioEncoder::SetConstantBitrate, dwBitrate);
}

void EncoderAdaptor::SetMinMaxBitrates(sdbus::Result<int32_t>&& result, uint32_t dwMinBitrate, uint32_t dwMaxBitrate) {
    Forward(std::move(result), m_target, &IAudioEncoder::SetMinMaxBitrates, dwMinBitrate, dwMaxBitrate);
}

void EncoderAdaptor::DeleteSilenceStartEnd(sdbus::Result<int32_t>&& result, int32_t bYes) {
    Forward(std::move(result), m_target, &IAudioEncoder::DeleteSilenceStartEnd, bYes);
}

void EncoderAdaptor::LowVolumeStartEnd(sdbus::Result<int32_t>&& result, int32_t bYes) {
    Forward(std::move(result), m_target, &IAudioEncoder::LowVolumeStartEnd, bYes);
}

void EncoderAdaptor::SetCachePtr(sdbus::Result<int32_t>&& result, sdbus::ObjectPath pCache) {
    Forward(std::move(result), m_target, &IAudioEncoder::SetCachePtr, std::move(pCache));
}

}  // namespace ipc
