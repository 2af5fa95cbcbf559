#include "ipc/client/EncoderProxy.h"

#include "ipc/client/ProxyConnectionPoint.h"

namespace ipc {

HRESULT EncoderProxy::Save(ISong* pSong, BSTR bstrFileName) {
    return InvokeWaiting(QXServiceLib::IAudioEncoder_proxy::INTERFACE_NAME, "Save", pSong, bstrFileName);
}

HRESULT EncoderProxy::SaveGroup(VARIANT varSongs, BSTR bstrDirPath) {
    return InvokeWaiting(QXServiceLib::IAudioEncoder_proxy::INTERFACE_NAME, "SaveGroup", varSongs, bstrDirPath);
}

HRESULT EncoderProxy::StopSave() {
    return Invoke(&QXServiceLib::IAudioEncoder_proxy::StopSave);
}

HRESULT EncoderProxy::SetConstantBitrate(ULONG dwBitrate) {
    return Invoke(&QXServiceLib::IAudioEncoder_proxy::SetConstantBitrate, dwBitrate);
}

HRESULT EncoderProxy::SetMinMaxBitrates(ULONG dwMinBitrate, ULONG dwMaxBitrate) {
    return Invoke(&QXServiceLib::IAudioEncoder_proxy::SetMinMaxBitrates, dwMinBitrate, dwMaxBitrate);
}

HRESULT EncoderProxy::DeleteSilenceStartEnd(LONG bYes) {
    return Invoke(&QXServiceLib::IAudioEncoder_proxy::DeleteSilenceStartEnd, bYes);
}

HRESULT EncoderProxy::LowVolumeStartEnd(LONG bYes) {
    return Invoke(&QXServiceLib::IAudioEncoder_proxy::LowVolumeStartEnd, bYes);
}

HRESULT EncoderProxy::SetCachePtr(ICache* pCache) {
    return Invoke(&QXServiceLib::IAudioEncoder_proxy::SetCachePtr, pCache);
}

HRESULT EncoderProxy::FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) {
    return ProxyConnectionPoint::Find(this, m_sinks, DIID__IAudioEncoderEvents, riid, ppCP);
}

}  // namespace ipc
