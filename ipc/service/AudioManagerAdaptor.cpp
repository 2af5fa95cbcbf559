#include "ipc/service/AudioManagerAdaptor.h"

namespace ipc {

AudioManagerAdaptor::AudioManagerAdaptor(ObjectTable& table, const std::string& path, plat::ComPtr<IAudioManager> target,
                                         std::shared_ptr<CallGate> gate)
    : Adaptor(table, path, std::move(gate)), m_target(std::move(target)) {
    registerAdaptor();
}

AudioManagerAdaptor::~AudioManagerAdaptor() { unregisterAdaptor(); }

void AudioManagerAdaptor::GetFirstDevice(sdbus::Result<int32_t, std::string>&& result) {
    Forward(std::move(result), m_target, &IAudioManager::GetFirstDevice);
}

void AudioManagerAdaptor::GetNextDevice(sdbus::Result<int32_t, std::string>&& result) {
    Forward(std::move(result), m_target, &IAudioManager::GetNextDevice);
}

void AudioManagerAdaptor::GetUsedDevice(sdbus::Result<int32_t, std::string>&& result) {
    Forward(std::move(result), m_target, &IAudioManager::GetUsedDevice);
}

void AudioManagerAdaptor::GetDefaultDevice(sdbus::Result<int32_t, std::string>&& result) {
    Forward(std::move(result), m_target, &IAudioManager::GetDefaultDevice);
}

}  // namespace ipc
