#pragma once
// One encoder of the service, seen from a client process. Save and SaveGroup
// wait as long as the job takes; StopSave and every other call may be made
// meanwhile from other threads. Its connection point delivers Progress.
#include "ipc/client/ProxyBase.h"
#include "ipc/client/SinkSlots.h"

namespace ipc {

class EncoderProxy final
    : public ProxyBase<EncoderProxy, RemoteStub<QXServiceLib::IAudioEncoder_proxy, QXServiceLib::IUnknown_proxy>, IAudioEncoder, IConnectionPointContainer> {
public:
    static constexpr ObjectKind kKind = ObjectKind::Encoder;
    EncoderProxy(std::shared_ptr<ClientConnection> connection, std::string service, std::string path)
        : ProxyBase(std::move(connection), std::move(service), std::move(path)) {}
    ObjectKind Kind() const override { return kKind; }

    HRESULT Save(ISong* pSong, BSTR bstrFileName) override;
    HRESULT SaveGroup(VARIANT varSongs, BSTR bstrDirPath) override;
    HRESULT StopSave() override;
    HRESULT SetConstantBitrate(ULONG dwBitrate) override;
    HRESULT SetMinMaxBitrates(ULONG dwMinBitrate, ULONG dwMaxBitrate) override;
    HRESULT DeleteSilenceStartEnd(LONG bYes) override;
    HRESULT LowVolumeStartEnd(LONG bYes) override;
    HRESULT SetCachePtr(ICache* pCache) override;

    // IConnectionPointContainer
    HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) override;

private:
    SinkSlots m_sinks;
};

}  // namespace ipc
