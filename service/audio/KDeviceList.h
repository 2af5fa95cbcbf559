#pragma once
// The device list of a player or of the capturer: the devices that the sound
// system enumerates, less the product's own virtual device, walked with
// GetFirst/GetNext and searched by name. Safe to refresh, walk and search
// from several threads at once; names and GUIDs are handed out as copies.
#include <string>
#include <vector>

#include "platform/com/Bstr.h"
#include "platform/core/Sync.h"
#include "service/audio/SDevInfo.h"

class KDeviceList {
public:
    enum class Kind { Playback, Capture };
    // The product's own device: never offered for playing or capturing.
    static constexpr const char16_t* kOwnDeviceMark = u"Tonquil Audio";

    explicit KDeviceList(Kind kind) : m_kind(kind) {}

    // Rebuilds the list. An empty list is a failure (with the list's "no
    // device" code reported unless bReport is false).
    HRESULT RefreshDevicesList(bool bReport = true);
    // The four list operations of the device manager interfaces.
    HRESULT GetFirstDevice(BSTR* pstrDevice);
    HRESULT GetNextDevice(BSTR* pstrDevice);
    HRESULT GetUsedDevice(BSTR* pstrDevice);
    HRESULT GetDefaultDevice(BSTR* pstrDevice);

    // The first device whose description contains name (case-sensitive; an
    // empty name takes the first device).
    bool FindDevice(std::u16string_view name, GUID* guid) const;
    void SetUsedDevice(std::u16string name);
    std::u16string UsedDevice() const;
    std::vector<SDevInfo> Devices() const;

private:
    const Kind m_kind;
    mutable plat::Mutex m_mutex;
    std::vector<SDevInfo> m_vDevInfoList;
    // Index of the walk's entry; m_bWalking false until GetFirstDevice.
    size_t m_itCurrentDevice = 0;
    bool m_bWalking = false;
    std::u16string m_strDefaultDevice;
    std::u16string m_strUsedDevice;
};
