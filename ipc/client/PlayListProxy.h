#pragma once
// The service's playlist, seen from a client process.
#include "ipc/client/ProxyBase.h"

namespace ipc {

class PlayListProxy final
    : public ProxyBase<PlayListProxy, RemoteStub<QXServiceLib::IPlayList_proxy, QXServiceLib::IUnknown_proxy>, IPlayList> {
public:
    static constexpr ObjectKind kKind = ObjectKind::PlayList;
    PlayListProxy(std::shared_ptr<ClientConnection> connection, std::string service, std::string path)
        : ProxyBase(std::move(connection), std::move(service), std::move(path)) {}
    ObjectKind Kind() const override { return kKind; }

    HRESULT CreateNewSong(ISong** ppSong) override;
    HRESULT Count(ULONG* pCount) override;
    HRESULT IsEmpty(LONG* pEmpty) override;
    HRESULT Delete(GUID guid) override;
    HRESULT Clear() override;
    HRESULT Next(GUID* pGuid) override;
    HRESULT Prev(GUID* pGuid) override;
    HRESULT First(GUID* pGuid) override;
    HRESULT Last(GUID* pGuid) override;
    HRESULT GetCurrentID(GUID* pGuid) override;
    HRESULT Get(GUID guid, ISong** ppSong) override;
    HRESULT SetCurrentID(GUID guid) override;
    HRESULT GetPlaylist(VARIANT* aSongs) override;
    HRESULT Save() override;
    HRESULT Load() override;
    HRESULT SetPlayListDir(BSTR strDir) override;
};

}  // namespace ipc
