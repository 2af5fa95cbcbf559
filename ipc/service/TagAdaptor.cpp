#include "ipc/service/TagAdaptor.h"

namespace ipc {

TagAdaptor::TagAdaptor(ObjectTable& table, const std::string& path, plat::ComPtr<ID3> target,
                       std::shared_ptr<CallGate> gate)
    : Adaptor(table, path, std::move(gate)), m_target(std::move(target)) {
    registerAdaptor();
}

TagAdaptor::~TagAdaptor() { unregisterAdaptor(); }

void TagAdaptor::SetTrackNumber(sdbus::Result<int32_t>&& result, uint32_t nTrack) {
    Forward(std::move(result), m_target, &ID3::SetTrackNumber, nTrack);
}

void TagAdaptor::GetTrackNumber(sdbus::Result<int32_t, uint32_t>&& result) {
    Forward(std::move(result), m_target, &ID3::GetTrackNumber);
}

void TagAdaptor::SetArtist(sdbus::Result<int32_t>&& result, std::string bstrArtist) {
    Forward(std::move(result), m_target, &ID3::SetArtist, std::move(bstrArtist));
}

void TagAdaptor::GetArtist(sdbus::Result<int32_t, std::string>&& result) {
    Forward(std::move(result), m_target, &ID3::GetArtist);
}

void TagAdaptor::SetTitle(sdbus::Result<int32_t>&& result, std::string bstrTitle) {
    Forward(std::move(result), m_target, &ID3::SetTitle, std::move(bstrTitle));
}

void TagAdaptor::GetTitle(sdbus::Result<int32_t, std::string>&& result) {
    Forward(std::move(result), m_target, &ID3::GetTitle);
}

void TagAdaptor::SetAlbum(sdbus::Result<int32_t>&& result, std::string bstrAlbum) {
    Forward(std::move(result), m_target, &ID3::SetAlbum, std::move(bstrAlbum));
}

void TagAdaptor::GetAlbum(sdbus::Result<int32_t, std::string>&& result) {
    Forward(std::move(result), m_target, &ID3::GetAlbum);
}

void TagAdaptor::SetGenre(sdbus::Result<int32_t>&& result, std::string bstrGenre) {
    Forward(std::move(result), m_target, &ID3::SetGenre, std::move(bstrGenre));
}

void TagAdaptor::GetGenre(sdbus::Result<int32_t, std::string>&& result) {
    Forward(std::move(result), m_target, &ID3::GetGenre);
}

void TagAdaptor::SetYear(sdbus::Result<int32_t>&& result, uint32_t nYear) {
    Forward(std::move(result), m_target, &ID3::SetYear, nYear);
}

void TagAdaptor::GetYear(sdbus::Result<int32_t, uint32_t>&& result) {
    Forward(std::move(result), m_target, &ID3::GetYear);
}

}  // namespace ipc
