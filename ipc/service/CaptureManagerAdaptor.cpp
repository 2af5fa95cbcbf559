#include "ipc/service/CaptureManagerAdaptor.h"

namespace ipc {

CaptureManagerAdaptor::CaptureManagerAdaptor(ObjectTable& table, const std::string& path, plat::ComPtr<ICaptureManager> target,
                                             std::shared_ptr<CallGate> gate)
    : Adaptor(table, path, std::move(gate)), m_target(std::move(target)) {
    registerAdaptor();
}

CaptureManagerAdaptor::~CaptureManagerAdaptor() { unregisterAdaptor(); }

void CaptureManagerAdaptor::GetFirstDevice(sdbus::Result<int32_t, std::string>&& result) {
    Forward(std::move(result), m_target, &IAudioManager::GetFirstDevice);
}

void CaptureManagerAdaptor::GetNextDevice(sdbus::Result<int32_t, std::string>&& result) {
    Forward(std::move(result), m_target, &IAudioManager::GetNextDevice);
}

void CaptureManagerAdaptor::GetUsedDevice(sdbus::Result<int32_t, std::string>&& result) {
    Forward(std::move(result), m_target, &IAudioManager::GetUsedDevice);
}

void CaptureManagerAdaptor::GetDefaultDevice(sdbus::Result<int32_t, std::string>&& result) {
    Forward(std::move(result), m_target, &IAudioManager::GetDefaultDevice);
}

}  // namespace ipc
