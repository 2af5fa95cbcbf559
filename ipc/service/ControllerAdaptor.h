#pragma once
// Serves IAudioController at /AudioController and emits the controller's
// events there as signals.
#include "ipc/service/Adaptor.h"

namespace ipc {

class ControllerAdaptor final : public Adaptor<QXServiceLib::IAudioController_adaptor, QXServiceLib::_IAudioControllerEvents_adaptor> {
public:
    ControllerAdaptor(ObjectTable& table, const std::string& path, plat::ComPtr<IAudioController> target,
                      std::shared_ptr<CallGate> gate);
    ~ControllerAdaptor() override;

private:
    void Play(sdbus::Result<int32_t>&& result) override;
    void Pause(sdbus::Result<int32_t>&& result) override;
    void Record(sdbus::Result<int32_t>&& result) override;
    void StopRecord(sdbus::Result<int32_t>&& result) override;
    void Live(sdbus::Result<int32_t>&& result) override;
    void SetPlayPosition(sdbus::Result<int32_t>&& result, int64_t lOffset, uint32_t eBasePos) override;
    void GetPlayPosition(sdbus::Result<int32_t, uint32_t>&& result) override;
    void GetRecordPosition(sdbus::Result<int32_t, uint32_t>&& result) override;
    void GetPercentFullness(sdbus::Result<int32_t, uint8_t>&& result) override;
    void GetTimeFullness(sdbus::Result<int32_t, uint32_t>&& result) override;
    void GetStartReadPos(sdbus::Result<int32_t, uint32_t>&& result) override;
    void UpdateSettings(sdbus::Result<int32_t>&& result) override;
    void DropCache(sdbus::Result<int32_t>&& result, int32_t bWait) override;
    void GetAvailableCommands(sdbus::Result<int32_t, uint32_t>&& result) override;
    void GetCurrentState(sdbus::Result<int32_t, uint32_t>&& result) override;
    void CheckState(sdbus::Result<int32_t, int32_t>&& result, uint32_t eState) override;
    void CheckCommand(sdbus::Result<int32_t, int32_t>&& result, uint32_t eCommand) override;
    void IsCacheFull(sdbus::Result<int32_t, int32_t>&& result) override;
    void CreateNewEncoder(sdbus::Result<int32_t, sdbus::ObjectPath>&& result, uint32_t eEncoderType) override;
    void Destroy(sdbus::Result<int32_t>&& result) override;
    void GetErrors(sdbus::Result<int32_t, std::vector<std::string>>&& result) override;
    void SetUndeletableRange(sdbus::Result<int32_t>&& result, uint64_t llStartPos, uint64_t llEndPos) override;
    void ResetUndeletableRange(sdbus::Result<int32_t>&& result, uint64_t llStartPos, uint64_t llEndPos) override;
    void ClearPlayList(sdbus::Result<int32_t>&& result) override;
    void GetAmountCacheBuffer(sdbus::Result<int32_t, uint32_t>&& result) override;

    plat::ComPtr<IAudioController> m_target;
};

}  // namespace ipc
