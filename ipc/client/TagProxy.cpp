#include "ipc/client/TagProxy.h"

namespace ipc {

HRESULT TagProxy::SetTrackNumber(UINT nTrack) {
    return Invoke(&QXServiceLib::ID3_proxy::SetTrackNumber, nTrack);
}

HRESULT TagProxy::GetTrackNumber(UINT* pnTrack) {
    return Invoke(&QXServiceLib::ID3_proxy::GetTrackNumber, pnTrack);
}

HRESULT TagProxy::SetArtist(BSTR bstrArtist) {
    return Invoke(&QXServiceLib::ID3_proxy::SetArtist, bstrArtist);
}

HRESULT TagProxy::GetArtist(BSTR* pstrArtist) {
    return Invoke(&QXServiceLib::ID3_proxy::GetArtist, pstrArtist);
}

HRESULT TagProxy::SetTitle(BSTR bstrTitle) {
    return Invoke(&QXServiceLib::ID3_proxy::SetTitle, bstrTitle);
}

HRESULT TagProxy::GetTitle(BSTR* pstrTitle) {
    return Invoke(&QXServiceLib::ID3_proxy::GetTitle, pstrTitle);
}

HRESULT TagProxy::SetAlbum(BSTR bstrAlbum) {
    return Invoke(&QXServiceLib::ID3_proxy::SetAlbum, bstrAlbum);
}

HRESULT TagProxy::GetAlbum(BSTR* pstrAlbum) {
    return Invoke(&QXServiceLib::ID3_proxy::GetAlbum, pstrAlbum);
}

HRESULT TagProxy::SetGenre(BSTR bstrGenre) {
    return Invoke(&QXServiceLib::ID3_proxy::SetGenre, bstrGenre);
}

HRESULT TagProxy::GetGenre(BSTR* pstrGenre) {
    return Invoke(&QXServiceLib::ID3_proxy::GetGenre, pstrGenre);
}

HRESULT TagProxy::SetYear(UINT nYear) {
    return Invoke(&QXServiceLib::ID3_proxy::SetYear, nYear);
}

HRESULT TagProxy::GetYear(UINT* pnYear) {
    return Invoke(&QXServiceLib::ID3_proxy::GetYear, pnYear);
}

}  // namespace ipc
