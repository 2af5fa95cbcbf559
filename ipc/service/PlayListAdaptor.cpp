#include "ipc/service/PlayListAdaptor.h"

namespace ipc {

PlayListAdaptor::PlayListAdaptor(ObjectTable& table, const std::string& path, plat::ComPtr<IPlayList> target,
                                 std::shared_ptr<CallGate> gate)
    : Adaptor(table, path, std::move(gate)), m_target(std::move(target)) {
    registerAdaptor();
}

PlayListAdaptor::~PlayListAdaptor() { unregisterAdaptor(); }

void PlayListAdaptor::CreateNewSong(sdbus::Result<int32_t, sdbus::ObjectPath>&& result) {
    Forward(std::move(result), m_target, &IPlayList::CreateNewSong);
}

void PlayListAdaptor::Count(sdbus::Result<int32_t, uint32_t>&& result) {
    Forward(std::move(result), m_target, &IPlayList::Count);
}

void PlayListAdaptor::IsEmpty(sdbus::Result<int32_t, int32_t>&& result) {
    Forward(std::move(result), m_target, &IPlayList::IsEmpty);
}

void PlayListAdaptor::Delete(sdbus::Result<int32_t>&& result, std::string guid) {
    Forward(std::move(result), m_target, &IPlayList::Delete, std::move(guid));
}

void PlayListAdaptor::Clear(sdbus::Result<int32_t>&& result) {
    Forward(std::move(result), m_target, &IPlayList::Clear);
}

void PlayListAdaptor::Next(sdbus::Result<int32_t, std::string>&& result) {
    Forward(std::move(result), m_target, &IPlayList::Next);
}

void PlayListAdaptor::Prev(sdbus::Result<int32_t, std::string>&& result) {
    Forward(std::move(result), m_target, &IPlayList::Prev);
}

void PlayListAdaptor::First(sdbus::Result<int32_t, std::string>&& result) {
    Forward(std::move(result), m_target, &IPlayList::First);
}

void PlayListAdaptor::Last(sdbus::Result<int32_t, std::string>&& result) {
    Forward(std::move(result), m_target, &IPlayList::Last);
}

void PlayListAdaptor::GetCurrentID(sdbus::Result<int32_t, std::string>&& result) {
    Forward(std::move(result), m_target, &IPlayList::GetCurrentID);
}

void PlayListAdaptor::Get(sdbus::Result<int32_t, sdbus::ObjectPath>&& result, std::string guid) {
    Forward(std::move(result), m_target, &IPlayList::Get, std::move(guid));
}

void PlayListAdaptor::SetCurrentID(sdbus::Result<int32_t>&& result, std::string guid) {
    Forward(std::move(result), m_target, &IPlayList::SetCurrentID, std::move(guid));
}

void PlayListAdaptor::GetPlaylist(sdbus::Result<int32_t, std::vector<sdbus::ObjectPath>>&& result) {
    Forward(std::move(result), m_target, &IPlayList::GetPlaylist);
}

void PlayListAdaptor::Save(sdbus::Result<int32_t>&& result) {
    Forward(std::move(result), m_target, &IPlayList::Save);
}

void PlayListAdaptor::Load(sdbus::Result<int32_t>&& result) {
    Forward(std::move(result), m_target, &IPlayList::Load);
}

void PlayListAdaptor::SetPlayListDir(sdbus::Result<int32_t>&& result, std::string strDir) {
    Forward(std::move(result), m_target, &IPlayList::SetPlayListDir, std::move(strDir));
}

}  // namespace ipc
