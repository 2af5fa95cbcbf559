#include "service/audio/KDeviceList.h"

#include "log/KLock.h"
#include "log/Trace.h"
#include "platform/sound/SoundSystem.h"

namespace {

// A new string for the caller; running out of memory is a failure, not a null name.
HRESULT CopyOut(const std::u16string& s, BSTR* out) {
    *out = plat::BstrFromU16(s);
    return *out ? S_OK : E_OUTOFMEMORY;
}

}  // namespace

HRESULT KDeviceList::RefreshDevicesList(bool bReport) {
    std::vector<SDevInfo> found;
    std::shared_ptr<plat::SoundSystem> system = plat::GetSoundSystem();
    HRESULT hrEnum = E_FAIL;
    if (system) {
        hrEnum = m_kind == Kind::Playback ? system->EnumeratePlayback(&DevEnumCallback, &found)
                                          : system->EnumerateCapture(&DevEnumCallback, &found);
    }
    const LONG noDevice = m_kind == Kind::Playback ? EC_NO_PLAY_DEVICE : EC_NO_CAPTURE_DEVICE;
    // An empty list is never a success, even when the system left no error.
    auto emptyResult = [&]() -> HRESULT {
        HRESULT hr = FAILED(hrEnum) ? hrEnum : plat::HResultFromLastError();
        if (bReport) {
            TQ_TRACE_BOOL("m_vDevInfoList.size() > 0");
            TQ_REPORT(noDevice, hr, u"");
        }
        return hr;
    };

    KLock lock(m_mutex);
    m_vDevInfoList = std::move(found);
    if (m_vDevInfoList.empty()) return emptyResult();
    // The sound system lists the server's default device first.
    m_strDefaultDevice = m_vDevInfoList.front().strDescription;
    for (auto it = m_vDevInfoList.begin(); it != m_vDevInfoList.end(); ++it) {
        if (it->strDescription.find(kOwnDeviceMark) != std::u16string::npos) {
            m_vDevInfoList.erase(it);
            break;
        }
    }
    if (m_vDevInfoList.empty()) return emptyResult();
    return S_OK;
}

HRESULT KDeviceList::GetFirstDevice(BSTR* pstrDevice) {
    TQ_CHECK_POINTER(pstrDevice);
    HRESULT hr;
    if (TQ_FAILED(hr, RefreshDevicesList())) {
        TQ_REPORT(EC_INTERNAL, hr, u"Refresing device list was failed");
        return hr;
    }
    KLock lock(m_mutex);
    if (m_vDevInfoList.empty()) {
        *pstrDevice = nullptr;
        return S_OK;
    }
    m_itCurrentDevice = 0;
    m_bWalking = true;
    return CopyOut(m_vDevInfoList.front().strDescription, pstrDevice);
}

HRESULT KDeviceList::GetNextDevice(BSTR* pstrDevice) {
    TQ_CHECK_POINTER(pstrDevice);
    *pstrDevice = nullptr;
    KLock lock(m_mutex);
    // No walk begun, or a walk that a refresh left past the end, has no next entry.
    if (m_vDevInfoList.empty() || !m_bWalking || m_itCurrentDevice >= m_vDevInfoList.size()) return E_FAIL;
    ++m_itCurrentDevice;
    if (m_itCurrentDevice >= m_vDevInfoList.size()) return E_FAIL;
    return CopyOut(m_vDevInfoList[m_itCurrentDevice].strDescription, pstrDevice);
}

HRESULT KDeviceList::GetUsedDevice(BSTR* pstrDevice) {
    TQ_CHECK_POINTER(pstrDevice);
    KLock lock(m_mutex);
    return CopyOut(m_strUsedDevice, pstrDevice);
}

HRESULT KDeviceList::GetDefaultDevice(BSTR* pstrDevice) {
    TQ_CHECK_POINTER(pstrDevice);
    HRESULT hr;
    if (TQ_FAILED(hr, RefreshDevicesList())) {
        TQ_REPORT(EC_INTERNAL, hr, u"Refresing device list was failed");
        return hr;
    }
    KLock lock(m_mutex);
    if (m_strDefaultDevice.empty()) {
        *pstrDevice = nullptr;
        return S_OK;
    }
    return CopyOut(m_strDefaultDevice, pstrDevice);
}

bool KDeviceList::FindDevice(std::u16string_view name, GUID* guid) const {
    KLock lock(m_mutex);
    for (const SDevInfo& d : m_vDevInfoList) {
        if (d.strDescription.find(name) != std::u16string::npos) {
            if (guid) *guid = d.guid;
            return true;
        }
    }
    return false;
}

void KDeviceList::SetUsedDevice(std::u16string name) {
    KLock lock(m_mutex);
    m_strUsedDevice = std::move(name);
}

std::u16string KDeviceList::UsedDevice() const {
    KLock lock(m_mutex);
    return m_strUsedDevice;
}

std::vector<SDevInfo> KDeviceList::Devices() const {
    KLock lock(m_mutex);
    return m_vDevInfoList;
}
