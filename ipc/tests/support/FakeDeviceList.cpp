#include "ipc/tests/support/FakeDeviceList.h"

namespace ipctest {

HRESULT FakeDeviceList::Give(size_t index, BSTR* out) {
    if (!out) return E_POINTER;
    if (index >= m_devices.size()) {
        *out = nullptr;
        return S_FALSE;
    }
    *out = plat::BstrFromU16(m_devices[index]);
    return S_OK;
}

HRESULT FakeDeviceList::GetFirstDevice(BSTR* pstrDevice) {
    m_next = 1;
    return Give(0, pstrDevice);
}

HRESULT FakeDeviceList::GetNextDevice(BSTR* pstrDevice) { return Give(m_next++, pstrDevice); }

HRESULT FakeDeviceList::GetUsedDevice(BSTR* pstrDevice) { return Give(m_used, pstrDevice); }

HRESULT FakeDeviceList::GetDefaultDevice(BSTR* pstrDevice) { return Give(0, pstrDevice); }

HRESULT FakeDeviceList::QueryExtraInterface(REFIID riid, void** ppv) {
    if (riid != IID_IAudioManager) return E_NOINTERFACE;
    AddRef();
    *ppv = static_cast<IAudioManager*>(this);
    return S_OK;
}

}  // namespace ipctest
