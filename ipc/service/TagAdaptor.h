#pragma once
// Serves ID3 for one song's tag at /Songs/<hex>/ID3.
#include "ipc/service/Adaptor.h"

namespace ipc {

class TagAdaptor final : public Adaptor<QXServiceLib::ID3_adaptor> {
public:
    TagAdaptor(ObjectTable& table, const std::string& path, plat::ComPtr<ID3> target,
               std::shared_ptr<CallGate> gate);
    ~TagAdaptor() override;

private:
    void SetTrackNumber(sdbus::Result<int32_t>&& result, uint32_t nTrack) override;
    void GetTrackNumber(sdbus::Result<int32_t, uint32_t>&& result) override;
    void SetArtist(sdbus::Result<int32_t>&& result, std::string bstrArtist) override;
    void GetArtist(sdbus::Result<int32_t, std::string>&& result) override;
    void SetTitle(sdbus::Result<int32_t>&& result, std::string bstrTitle) override;
    void GetTitle(sdbus::Result<int32_t, std::string>&& result) override;
    void SetAlbum(sdbus::Result<int32_t>&& result, std::string bstrAlbum) override;
    void GetAlbum(sdbus::Result<int32_t, std::string>&& result) override;
    void SetGenre(sdbus::Result<int32_t>&& result, std::string bstrGenre) override;
    void GetGenre(sdbus::Result<int32_t, std::string>&& result) override;
    void SetYear(sdbus::Result<int32_t>&& result, uint32_t nYear) override;
    void GetYear(sdbus::Result<int32_t, uint32_t>&& result) override;

    plat::ComPtr<ID3> m_target;
};

}  // namespace ipc
