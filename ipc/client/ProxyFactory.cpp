#include "ipc/client/ProxyFactory.h"

#include <new>

#include <sdbus-c++/sdbus-c++.h>

#include "ipc/client/AudioManagerProxy.h"
#include "ipc/client/ClientConnection.h"
#include "ipc/client/ControllerProxy.h"
#include "ipc/client/EncoderProxy.h"
#include "ipc/client/PlayListProxy.h"
#include "ipc/client/SettingsProxy.h"
#include "ipc/client/SongProxy.h"
#include "ipc/client/TagProxy.h"
#include "ipc/common/BusError.h"
#include "ipc/common/Names.h"

namespace ipc {

namespace {

template <class Proxy>
IUnknown* Make(const std::shared_ptr<ClientConnection>& connection, const std::string& service,
               const std::string& path) {
    Proxy* proxy = Proxy::CreateInstance(connection, service, path);
    return proxy ? static_cast<IRemoteObject*>(proxy) : nullptr;
}

}  // namespace

HRESULT ProxyFactory::Create(const std::shared_ptr<ClientConnection>& connection, const std::string& service,
                             const std::string& path, ObjectKind kind, REFIID riid, void** ppv) {
    if (!ppv) {
        GiveBack(connection, service, path);
        return E_POINTER;
    }
    *ppv = nullptr;
    IUnknown* proxy = nullptr;
    HRESULT hr = S_OK;
    try {
        switch (kind) {
        case ObjectKind::Controller:
            proxy = Make<ControllerProxy>(connection, service, path);
            break;
        case ObjectKind::Settings:
            proxy = Make<SettingsProxy>(connection, service, path);
            break;
        case ObjectKind::PlayList:
            proxy = Make<PlayListProxy>(connection, service, path);
            break;
        case ObjectKind::Song:
            proxy = Make<SongProxy>(connection, service, path);
            break;
        case ObjectKind::Tag:
            proxy = Make<TagProxy>(connection, service, path);
            break;
        case ObjectKind::AudioManager:
            proxy = Make<AudioManagerProxy>(connection, service, path);
            break;
        case ObjectKind::CaptureManager:
            proxy = Make<CaptureManagerProxy>(connection, service, path);
            break;
        case ObjectKind::Encoder:
            proxy = Make<EncoderProxy>(connection, service, path);
            break;
        }
        if (!proxy) hr = E_OUTOFMEMORY;
    } catch (const sdbus::Error& e) {
        hr = BusError::ToHResult(e);
    } catch (const std::bad_alloc&) {
        hr = E_OUTOFMEMORY;
    }
    if (FAILED(hr)) {
        GiveBack(connection, service, path);
        return hr;
    }
    // The new proxy owns the service's reference from here on; the query
    // takes the caller's reference (and a refused query frees the proxy).
    proxy->AddRef();
    hr = proxy->QueryInterface(riid, ppv);
    proxy->Release();
    return hr;
}

void ProxyFactory::GiveBack(const std::shared_ptr<ClientConnection>& connection, const std::string& service,
                            const std::string& path) {
    if (!connection || path == kNullPath) return;
    try {
        auto proxy = sdbus::createProxy(connection->Bus(), service, path);
        proxy->callMethod("Release").onInterface(kLifetimeInterface).dontExpectReply();
    } catch (const sdbus::Error&) {
        // The service has gone: so has the reference.
    }
}

}  // namespace ipc
