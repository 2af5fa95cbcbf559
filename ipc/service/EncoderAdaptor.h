#pragma once
// Serves IAudioEncoder for one encoder at /Encoders/<n> and emits its Progress
// events there as signals.
#include "ipc/service/Adaptor.h"

namespace ipc {

class EncoderAdaptor final : public Adaptor<QXServiceLib::IAudioEncoder_adaptor, QXServiceLib::_IAudioEncoderEvents_adaptor> {
public:
    EncoderAdaptor(ObjectTable& table, const std::string& path, plat::ComPtr<IAudioEncoder> target,
                   std::shared_ptr<CallGate> gate);
    ~EncoderAdaptor() override;

private:
    void Save(sdbus::Result<int32_t>&& result, sdbus::ObjectPath pSong, std::string bstrFileName) override;
    void SaveGroup(sdbus::Result<int32_t>&& result, std::vector<sdbus::ObjectPath> varSongs, std::string bstrDirPath) override;
    void StopSave(sdbus::Result<int32_t>&& result) override;
    void SetConstantBitrate(sdbus::Result<int32_t>&& result, uint32_t dwBitrate) override;
    void SetMinMaxBitrates(sdbus::Result<int32_t>&& result, uint32_t dwMinBitrate, uint32_t dwMaxBitrate) override;
    void DeleteSilenceStartEnd(sdbus::Result<int32_t>&& result, int32_t bYes) override;
    void LowVolumeStartEnd(sdbus::Result<int32_t>&& result, int32_t bYes) override;
    void SetCachePtr(sdbus::Result<int32_t>&& result, sdbus::ObjectPath pCache) override;

    plat::ComPtr<IAudioEncoder> m_target;
};

}  // namespace ipc
