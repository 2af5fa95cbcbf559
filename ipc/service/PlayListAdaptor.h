#pragma once
// Serves IPlayList at /AudioController/PlayList.
#include "ipc/service/Adaptor.h"

namespace ipc {

class PlayListAdaptor final : public Adaptor<QXServiceLib::IPlayList_adaptor> {
public:
    PlayListAdaptor(ObjectTable& table, const std::string& path, plat::ComPtr<IPlayList> target,
                    std::shared_ptr<CallGate> gate);
    ~PlayListAdaptor() override;

private:
    void CreateNewSong(sdbus::Result<int32_t, sdbus::ObjectPath>&& result) override;
    void Count(sdbus::Result<int32_t, uint32_t>&& result) override;
    void IsEmpty(sdbus::Result<int32_t, int32_t>&& result) override;
    void Delete(sdbus::Result<int32_t>&& result, std::string guid) override;
    void Clear(sdbus::Result<int32_t>&& result) override;
    void Next(sdbus::Result<int32_t, std::string>&& result) override;
    void Prev(sdbus::Result<int32_t, std::string>&& result) override;
    void First(sdbus::Result<int32_t, std::string>&& result) override;
    void Last(sdbus::Result<int32_t, std::string>&& result) override;
    void GetCurrentID(sdbus::Result<int32_t, std::string>&& result) override;
    void Get(sdbus::Result<int32_t, sdbus::ObjectPath>&& result, std::string guid) override;
    void SetCurrentID(sdbus::Result<int32_t>&& result, std::string guid) override;
    void GetPlaylist(sdbus::Result<int32_t, std::vector<sdbus::ObjectPath>>&& result) override;
    void Save(sdbus::Result<int32_t>&& result) override;
    void Load(sdbus::Result<int32_t>&& result) override;
    void SetPlayListDir(sdbus::Result<int32_t>&& result, std::string strDir) override;

    plat::ComPtr<IPlayList> m_target;
};

}  // namespace ipc
