#pragma once
// Serves ISong for one song at /Songs/<hex of its GUID>.
#include "ipc/service/Adaptor.h"

namespace ipc {

class SongAdaptor final : public Adaptor<QXServiceLib::ISong_adaptor> {
public:
    SongAdaptor(ObjectTable& table, const std::string& path, plat::ComPtr<ISong> target,
                std::shared_ptr<CallGate> gate);
    ~SongAdaptor() override;

private:
    void GetBorders(sdbus::Result<int32_t, uint32_t, uint32_t>&& result) override;
    void SetLeftBorder(sdbus::Result<int32_t>&& result, uint32_t dwLeft) override;
    void SetRightBorder(sdbus::Result<int32_t>&& result, uint32_t dwRight) override;
    void GetID3Tag(sdbus::Result<int32_t, sdbus::ObjectPath>&& result) override;
    void GetID(sdbus::Result<int32_t, std::string>&& result) override;
    void GetLength(sdbus::Result<int32_t, uint32_t>&& result) override;
    void Rename(sdbus::Result<int32_t>&& result, std::string bstrNewName) override;
    void IsDefined(sdbus::Result<int32_t, int32_t>&& result) override;
    void SetDefined(sdbus::Result<int32_t>&& result, int32_t bDefined) override;

    plat::ComPtr<ISong> m_target;
};

}  // namespace ipc
