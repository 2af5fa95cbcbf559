#pragma once
// One song's tag record, seen from a client process.
#include "ipc/client/ProxyBase.h"

namespace ipc {

class TagProxy final
    : public ProxyBase<TagProxy, RemoteStub<QXServiceLib::ID3_proxy, QXServiceLib::IUnknown_proxy>, ID3> {
public:
    static constexpr ObjectKind kKind = ObjectKind::Tag;
    TagProxy(std::shared_ptr<ClientConnection> connection, std::string service, std::string path)
        : ProxyBase(std::move(connection), std::move(service), std::move(path)) {}
    ObjectKind Kind() const override { return kKind; }

    HRESULT SetTrackNumber(UINT nTrack) override;
    HRESULT GetTrackNumber(UINT* pnTrack) override;
    HRESULT SetArtist(BSTR bstrArtist) override;
    HRESULT GetArtist(BSTR* pstrArtist) override;
    HRESULT SetTitle(BSTR bstrTitle) override;
    HRESULT GetTitle(BSTR* pstrTitle) override;
    HRESULT SetAlbum(BSTR bstrAlbum) override;
    HRESULT GetAlbum(BSTR* pstrAlbum) override;
    HRESULT SetGenre(BSTR bstrGenre) override;
    HRESULT GetGenre(BSTR* pstrGenre) override;
    HRESULT SetYear(UINT nYear) override;
    HRESULT GetYear(UINT* pnYear) override;
};

}  // namespace ipc
