#pragma once
// A device list for the contract tests: answers both IAudioManager and
// ICaptureManager, walks its fixed list, S_FALSE past the end.
#include <string>
#include <vector>

#include "ipc/QXServiceLib.h"
#include "platform/com/ComObject.h"

namespace ipctest {

class FakeDeviceList final : public plat::ComObject<FakeDeviceList, ICaptureManager> {
public:
    FakeDeviceList(std::vector<std::u16string> devices, size_t used) : m_devices(std::move(devices)), m_used(used) {}

    HRESULT GetFirstDevice(BSTR* pstrDevice) override;
    HRESULT GetNextDevice(BSTR* pstrDevice) override;
    HRESULT GetUsedDevice(BSTR* pstrDevice) override;
    HRESULT GetDefaultDevice(BSTR* pstrDevice) override;

protected:
    HRESULT QueryExtraInterface(REFIID riid, void** ppv) override;

private:
    HRESULT Give(size_t index, BSTR* out);

    std::vector<std::u16string> m_devices;
    size_t m_used;
    size_t m_next = 0;
};

}  // namespace ipctest
