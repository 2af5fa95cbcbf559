#pragma once
// One song of the service, seen from a client process.
#include "ipc/client/ProxyBase.h"

namespace ipc {

class SongProxy final
    : public ProxyBase<SongProxy, RemoteStub<QXServiceLib::ISong_proxy, QXServiceLib::IUnknown_proxy>, ISong> {
public:
    static constexpr ObjectKind kKind = ObjectKind::Song;
    SongProxy(std::shared_ptr<ClientConnection> connection, std::string service, std::string path)
        : ProxyBase(std::move(connection), std::move(service), std::move(path)) {}
    ObjectKind Kind() const override { return kKind; }

    HRESULT GetBorders(ULONG* pLeft, ULONG* pRight) override;
    HRESULT SetLeftBorder(ULONG dwLeft) override;
    HRESULT SetRightBorder(ULONG dwRight) override;
    HRESULT GetID3Tag(ID3** ppId3) override;
    HRESULT GetID(GUID* pGuid) override;
    HRESULT GetLength(ULONG* pLength) override;
    HRESULT Rename(BSTR bstrNewName) override;
    HRESULT IsDefined(LONG* pDefined) override;
    HRESULT SetDefined(LONG bDefined) override;
};

}  // namespace ipc
