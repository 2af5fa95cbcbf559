#pragma once
// A device list of the service, seen from a client process: the playback list
// (IAudioManager) or the capture list (ICaptureManager, the same four methods
// under a second identity; it answers IAudioManager as itself).
#include "ipc/client/ProxyBase.h"

namespace ipc {

template <class Derived, class Generated, class Itf>
class DeviceListProxy : public ProxyBase<Derived, RemoteStub<Generated, QXServiceLib::IUnknown_proxy>, Itf> {
public:
    HRESULT GetFirstDevice(BSTR* pstrDevice) override { return this->Invoke(&Generated::GetFirstDevice, pstrDevice); }
    HRESULT GetNextDevice(BSTR* pstrDevice) override { return this->Invoke(&Generated::GetNextDevice, pstrDevice); }
    HRESULT GetUsedDevice(BSTR* pstrDevice) override { return this->Invoke(&Generated::GetUsedDevice, pstrDevice); }
    HRESULT GetDefaultDevice(BSTR* pstrDevice) override {
        return this->Invoke(&Generated::GetDefaultDevice, pstrDevice);
    }

protected:
    using ProxyBase<Derived, RemoteStub<Generated, QXServiceLib::IUnknown_proxy>, Itf>::ProxyBase;
};

class AudioManagerProxy final
    : public DeviceListProxy<AudioManagerProxy, QXServiceLib::IAudioManager_proxy, IAudioManager> {
public:
    static constexpr ObjectKind kKind = ObjectKind::AudioManager;
    AudioManagerProxy(std::shared_ptr<ClientConnection> connection, std::string service, std::string path)
        : DeviceListProxy(std::move(connection), std::move(service), std::move(path)) {}
    ObjectKind Kind() const override { return kKind; }
};

class CaptureManagerProxy final
    : public DeviceListProxy<CaptureManagerProxy, QXServiceLib::ICaptureManager_proxy, ICaptureManager> {
public:
    static constexpr ObjectKind kKind = ObjectKind::CaptureManager;
    CaptureManagerProxy(std::shared_ptr<ClientConnection> connection, std::string service, std::string path)
        : DeviceListProxy(std::move(connection), std::move(service), std::move(path)) {}
    ObjectKind Kind() const override { return kKind; }

protected:
    HRESULT QueryExtraInterface(REFIID riid, void** ppv) override;
};

}  // namespace ipc
