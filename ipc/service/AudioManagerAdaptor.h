#pragma once
// Serves IAudioManager (a device list) at its path.
#include "ipc/service/Adaptor.h"

namespace ipc {

class AudioManagerAdaptor final : public Adaptor<QXServiceLib::IAudioManager_adaptor> {
public:
    AudioManagerAdaptor(ObjectTable& table, const std::string& path, plat::ComPtr<IAudioManager> target,
                        std::shared_ptr<CallGate> gate);
    ~AudioManagerAdaptor() override;

private:
    void GetFirstDevice(sdbus::Result<int32_t, std::string>&& result) override;
    void GetNextDevice(sdbus::Result<int32_t, std::string>&& result) override;
    void GetUsedDevice(sdbus::Result<int32_t, std::string>&& result) override;
    void GetDefaultDevice(sdbus::Result<int32_t, std::string>&& result) override;

    plat::ComPtr<IAudioManager> m_target;
};

}  // namespace ipc
