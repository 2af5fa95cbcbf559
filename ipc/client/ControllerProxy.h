#pragma once
// The controller of a service, seen from a client process. Its connection point
// delivers the controller's events (signals at /AudioController) to advised sinks.
#include "ipc/client/PollRound.h"
#include "ipc/client/ProxyBase.h"
#include "ipc/client/SinkSlots.h"

namespace ipc {

class ControllerProxy final
    : public ProxyBase<ControllerProxy, RemoteStub<QXServiceLib::IAudioController_proxy, QXServiceLib::IUnknown_proxy>, IAudioController, IConnectionPointContainer> {
public:
    static constexpr ObjectKind kKind = ObjectKind::Controller;
    ControllerProxy(std::shared_ptr<ClientConnection> connection, std::string service, std::string path)
        : ProxyBase(std::move(connection), std::move(service), std::move(path)) {}
    ObjectKind Kind() const override { return kKind; }

    HRESULT Play() override;
    HRESULT Pause() override;
    HRESULT Record() override;
    HRESULT StopRecord() override;
    HRESULT Live() override;
    HRESULT SetPlayPosition(LONGLONG lOffset, EBasicPosition eBasePos) override;
    HRESULT GetPlayPosition(ULONG* pdwAbsPos) override;
    HRESULT GetRecordPosition(ULONG* pdwAbsPos) override;
    HRESULT GetPercentFullness(BYTE* pPercent) override;
    HRESULT GetTimeFullness(ULONG* pTime) override;
    HRESULT GetStartReadPos(ULONG* pPos) override;
    HRESULT UpdateSettings() override;
    HRESULT DropCache(LONG bWait) override;
    HRESULT GetAvailableCommands(ULONG* pCommands) override;
    HRESULT GetCurrentState(ULONG* pState) override;
    HRESULT CheckState(EState eState, LONG* pYes) override;
    HRESULT CheckCommand(ECommand eCommand, LONG* pYes) override;
    HRESULT IsCacheFull(LONG* pYes) override;
    HRESULT CreateNewEncoder(IAudioEncoder** ppEncoder, EEncoderType eEncoderType) override;
    HRESULT Destroy() override;
    HRESULT GetErrors(VARIANT* aErrors) override;
    HRESULT SetUndeletableRange(ULONGLONG llStartPos, ULONGLONG llEndPos) override;
    HRESULT ResetUndeletableRange(ULONGLONG llStartPos, ULONGLONG llEndPos) override;
    HRESULT ClearPlayList() override;
    HRESULT GetAmountCacheBuffer(UINT* pAmount) override;

    // IConnectionPointContainer
    HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) override;

    // The poll's getters sent together, one wait for all their answers (see
    // PollRound.h, whose ReadPollRound is the way in).
    HRESULT ReadPollRound(PollReadings* out);

private:
    SinkSlots m_sinks;
};

}  // namespace ipc
