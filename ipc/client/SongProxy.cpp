#include "ipc/client/SongProxy.h"

namespace ipc {

HRESULT SongProxy::GetBorders(ULONG* pLeft, ULONG* pRight) {
    return Invoke(&QXServiceLib::ISong_proxy::GetBorders, pLeft, pRight);
}

HRESULT SongProxy::SetLeftBorder(ULONG dwLeft) {
    return Invoke(&QXServiceLib::ISong_proxy::SetLeftBorder, dwLeft);
}

HRESULT SongProxy::SetRightBorder(ULONG dwRight) {
    return Invoke(&QXServiceLib::ISong_proxy::SetRightBorder, dwRight);
}

HRESULT SongProxy::GetID3Tag(ID3** ppId3) {
    return Invoke(&QXServiceLib::ISong_proxy::GetID3Tag, ppId3);
}

HRESULT SongProxy::GetID(GUID* pGuid) {
    return Invoke(&QXServiceLib::ISong_proxy::GetID, pGuid);
}

HRESULT SongProxy::GetLength(ULONG* pLength) {
    return Invoke(&QXServiceLib::ISong_proxy::GetLength, pLength);
}

HRESULT SongProxy::Rename(BSTR bstrNewName) {
    return Invoke(&QXServiceLib::ISong_proxy::Rename, bstrNewName);
}

HRESULT SongProxy::IsDefined(LONG* pDefined) {
    return Invoke(&QXServiceLib::ISong_proxy::IsDefined, pDefined);
}

HRESULT SongProxy::SetDefined(LONG bDefined) {
    return Invoke(&QXServiceLib::ISong_proxy::SetDefined, bDefined);
}

}  // namespace ipc
