#include "ipc/client/PlayListProxy.h"

namespace ipc {

HRESULT PlayListProxy::CreateNewSong(ISong** ppSong) {
    return Invoke(&QXServiceLib::IPlayList_proxy::CreateNewSong, ppSong);
}

HRESULT PlayListProxy::Count(ULONG* pCount) {
    return Invoke(&QXServiceLib::IPlayList_proxy::Count, pCount);
}

HRESULT PlayListProxy::IsEmpty(LONG* pEmpty) {
    return Invoke(&QXServiceLib::IPlayList_proxy::IsEmpty, pEmpty);
}

HRESULT PlayListProxy::Delete(GUID guid) {
    return Invoke(&QXServiceLib::IPlayList_proxy::Delete, guid);
}

HRESULT PlayListProxy::Clear() {
    return Invoke(&QXServiceLib::IPlayList_proxy::Clear);
}

HRESULT PlayListProxy::Next(GUID* pGuid) {
    return Invoke(&QXServiceLib::IPlayList_proxy::Next, pGuid);
}

HRESULT PlayListProxy::Prev(GUID* pGuid) {
    return Invoke(&QXServiceLib::IPlayList_proxy::Prev, pGuid);
}

HRESULT PlayListProxy::First(GUID* pGuid) {
    return Invoke(&QXServiceLib::IPlayList_proxy::First, pGuid);
}

HRESULT PlayListProxy::Last(GUID* pGuid) {
    return Invoke(&QXServiceLib::IPlayList_proxy::Last, pGuid);
}

HRESULT PlayListProxy::GetCurrentID(GUID* pGuid) {
    return Invoke(&QXServiceLib::IPlayList_proxy::GetCurrentID, pGuid);
}

HRESULT PlayListProxy::Get(GUID guid, ISong** ppSong) {
    return Invoke(&QXServiceLib::IPlayList_proxy::Get, guid, ppSong);
}

HRESULT PlayListProxy::SetCurrentID(GUID guid) {
    return Invoke(&QXServiceLib::IPlayList_proxy::SetCurrentID, guid);
}

HRESULT PlayListProxy::GetPlaylist(VARIANT* aSongs) {
    return Invoke(&QXServiceLib::IPlayList_proxy::GetPlaylist, aSongs);
}

HRESULT PlayListProxy::Save() {
    return Invoke(&QXServiceLib::IPlayList_proxy::Save);
}

HRESULT PlayListProxy::Load() {
    return Invoke(&QXServiceLib::IPlayList_proxy::Load);
}

HRESULT PlayListProxy::SetPlayListDir(BSTR strDir) {
    return Invoke(&QXServiceLib::IPlayList_proxy::SetPlayListDir, strDir);
}

}  // namespace ipc
