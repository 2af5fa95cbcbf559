#include "ipc/service/SongAdaptor.h"

namespace ipc {

SongAdaptor::SongAdaptor(ObjectTable& table, const std::string& path, plat::ComPtr<ISong> target,
                         std::shared_ptr<CallGate> gate)
    : Adaptor(table, path, std::move(gate)), m_target(std::move(target)) {
    registerAdaptor();
}

SongAdaptor::~SongAdaptor() { unregisterAdaptor(); }

void SongAdaptor::GetBorders(sdbus::Result<int32_t, uint32_t, uint32_t>&& result) {
    Forward(std::move(result), m_target, &ISong::GetBorders);
}

void SongAdaptor::SetLeftBorder(sdbus::Result<int32_t>&& result, uint32_t dwLeft) {
    Forward(std::move(result), m_target, &ISong::SetLeftBorder, dwLeft);
}

void SongAdaptor::SetRightBorder(sdbus::Result<int32_t>&& result, uint32_t dwRight) {
    Forward(std::move(result), m_target, &ISong::SetRightBorder, dwRight);
}

void SongAdaptor::GetID3Tag(sdbus::Result<int32_t, sdbus::ObjectPath>&& result) {
    Forward(std::move(result), m_target, &ISong::GetID3Tag);
}

void SongAdaptor::GetID(sdbus::Result<int32_t, std::string>&& result) {
    Forward(std::move(result), m_target, &ISong::GetID);
}

void SongAdaptor::GetLength(sdbus::Result<int32_t, uint32_t>&& result) {
    Forward(std::move(result), m_target, &ISong::GetLength);
}

void SongAdaptor::Rename(sdbus::Result<int32_t>&& result, std::string bstrNewName) {
    Forward(std::move(result), m_target, &ISong::Rename, std::move(bstrNewName));
}

void SongAdaptor::IsDefined(sdbus::Result<int32_t, int32_t>&& result) {
    Forward(std::move(result), m_target, &ISong::IsDefined);
}

void SongAdaptor::SetDefined(sdbus::Result<int32_t>&& result, int32_t bDefined) {
    Forward(std::move(result), m_target, &ISong::SetDefined, bDefined);
}

}  // namespace ipc
