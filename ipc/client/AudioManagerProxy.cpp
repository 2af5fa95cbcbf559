#include "ipc/client/AudioManagerProxy.h"

namespace ipc {

HRESULT CaptureManagerProxy::QueryExtraInterface(REFIID riid, void** ppv) {
    if (riid == IID_IAudioManager) {
        IAudioManager* self = static_cast<ICaptureManager*>(this);
        self->AddRef();
        *ppv = self;
        return S_OK;
    }
    return DeviceListProxy::QueryExtraInterface(riid, ppv);
}

}  // namespace ipc
