#pragma once
// Serves ICaptureManager (the capture device list) at its path: the four
// methods of IAudioManager under the second identity.
#include "ipc/service/Adaptor.h"

namespace ipc {

class CaptureManagerAdaptor final : public Adaptor<QXServiceLib::ICaptureManager_adaptor> {
public:
    CaptureManagerAdaptor(ObjectTable& table, const std::string& path, plat::ComPtr<ICaptureManager> target,
                          std::shared_ptr<CallGate> gate);
    ~CaptureManagerAdaptor() override;

private:
    void GetFirstDevice(sdbus::Result<int32_t, std::string>&& result) override;
    void GetNextDevice(sdbus::Result<int32_t, std::string>&& result) override;
    void GetUsedDevice(sdbus::Result<int32_t, std::string>&& result) override;
    void GetDefaultDevice(sdbus::Result<int32_t, std::string>&& result) override;

    plat::ComPtr<IAudioManager> m_target;
};

}  // namespace ipc
