#include "ipc/client/ControllerProxy.h"

#include "ipc/client/ProxyConnectionPoint.h"

namespace ipc {

HRESULT ControllerProxy::Play() {
    return Invoke(&QXServiceLib::IAudioController_proxy::Play);
}

HRESULT ControllerProxy::Pause() {
    return Invoke(&QXServiceLib::IAudioController_proxy::Pause);
}

HRESULT ControllerProxy::Record() {
    return Invoke(&QXServiceLib::IAudioController_proxy::Record);
}

HRESULT ControllerProxy::StopRecord() {
    return Invoke(&QXServiceLib::IAudioController_proxy::StopRecord);
}

HRESULT ControllerProxy::Live() {
    return Invoke(&QXServiceLib::IAudioController_proxy::Live);
}

HRESULT ControllerProxy::SetPlayPosition(LONGLONG lOffset, EBasicPosition eBasePos) {
    return Invoke(&QXServiceLib::IAudioController_proxy::SetPlayPosition, lOffset, eBasePos);
}

HRESULT ControllerProxy::GetPlayPosition(ULONG* pdwAbsPos) {
    return Invoke(&QXServiceLib::IAudioController_proxy::GetPlayPosition, pdwAbsPos);
}

HRESULT ControllerProxy::GetRecordPosition(ULONG* pdwAbsPos) {
    return Invoke(&QXServiceLib::IAudioController_proxy::GetRecordPosition, pdwAbsPos);
}

HRESULT ControllerProxy::GetPercentFullness(BYTE* pPercent) {
    return Invoke(&QXServiceLib::IAudioController_proxy::GetPercentFullness, pPercent);
}

HRESULT ControllerProxy::GetTimeFullness(ULONG* pTime) {
    return Invoke(&QXServiceLib::IAudioController_proxy::GetTimeFullness, pTime);
}

HRESULT ControllerProxy::GetStartReadPos(ULONG* pPos) {
    return Invoke(&QXServiceLib::IAudioController_proxy::GetStartReadPos, pPos);
}

HRESULT ControllerProxy::UpdateSettings() {
    // Opening devices takes the service a while (each settles): no client
    // time-out, as for a save.
    return InvokeWaiting(QXServiceLib::IAudioController_proxy::INTERFACE_NAME, "UpdateSettings");
}

HRESULT ControllerProxy::DropCache(LONG bWait) {
    return Invoke(&QXServiceLib::IAudioController_proxy::DropCache, bWait);
}

HRESULT ControllerProxy::GetAvailableCommands(ULONG* pCommands) {
    return Invoke(&QXServiceLib::IAudioController_proxy::GetAvailableCommands, pCommands);
}

HRESULT ControllerProxy::GetCurrentState(ULONG* pState) {
    return Invoke(&QXServiceLib::IAudioController_proxy::GetCurrentState, pState);
}

HRESULT ControllerProxy::CheckState(EState eState, LONG* pYes) {
    return Invoke(&QXServiceLib::IAudioController_proxy::CheckState, eState, pYes);
}

HRESULT ControllerProxy::CheckCommand(ECommand eCommand, LONG* pYes) {
    return Invoke(&QXServiceLib::IAudioController_proxy::CheckCommand, eCommand, pYes);
}

HRESULT ControllerProxy::IsCacheFull(LONG* pYes) {
    return Invoke(&QXServiceLib::IAudioController_proxy::IsCacheFull, pYes);
}

HRESULT ControllerProxy::CreateNewEncoder(IAudioEncoder** ppEncoder, EEncoderType eEncoderType) {
    return Invoke(&QXServiceLib::IAudioController_proxy::CreateNewEncoder, ppEncoder, eEncoderType);
}

HRESULT ControllerProxy::Destroy() {
    return Invoke(&QXServiceLib::IAudioController_proxy::Destroy);
}

HRESULT ControllerProxy::GetErrors(VARIANT* aErrors) {
    return Invoke(&QXServiceLib::IAudioController_proxy::GetErrors, aErrors);
}

HRESULT ControllerProxy::SetUndeletableRange(ULONGLONG llStartPos, ULONGLONG llEndPos) {
    return Invoke(&QXServiceLib::IAudioController_proxy::SetUndeletableRange, llStartPos, llEndPos);
}

HRESULT ControllerProxy::ResetUndeletableRange(ULONGLONG llStartPos, ULONGLONG llEndPos) {
    return Invoke(&QXServiceLib::IAudioController_proxy::ResetUndeletableRange, llStartPos, llEndPos);
}

HRESULT ControllerProxy::ClearPlayList() {
    return Invoke(&QXServiceLib::IAudioController_proxy::ClearPlayList);
}

HRESULT ControllerProxy::GetAmountCacheBuffer(UINT* pAmount) {
    return Invoke(&QXServiceLib::IAudioController_proxy::GetAmountCacheBuffer, pAmount);
}

HRESULT ControllerProxy::FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) {
    return ProxyConnectionPoint::Find(this, m_sinks, DIID__IAudioControllerEvents, riid, ppCP);
}

}  // namespace ipc
