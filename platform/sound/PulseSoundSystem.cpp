#include "platform/sound/PulseSoundSystem.h"

#include <pulse/pulseaudio.h>

#include <algorithm>

#include "platform/core/LastError.h"
#include "platform/core/Text.h"
#include "platform/sound/PulseConnection.h"
#include "platform/sound/PulseDevice.h"
#include "platform/sound/SoundDeviceId.h"

namespace plat {

namespace {

constexpr DWORD kListTimeoutMs = 3000;

struct Listing {
    std::vector<PulseSoundSystem::DeviceInfo>* devices;
    bool done = false;
    bool failed = false;
};

struct Defaults {
    std::string sink;
    std::string source;
    bool done = false;
};

void OnServerInfo(pa_context*, const pa_server_info* info, void* user) {
    auto* d = static_cast<Defaults*>(user);
    if (info && info->default_sink_name) d->sink = info->default_sink_name;
    if (info && info->default_source_name) d->source = info->default_source_name;
    d->done = true;
}

void Add(Listing* l, const char* name, const char* description) {
    PulseSoundSystem::DeviceInfo d;
    d.name = name ? name : "";
    d.description = ToUtf16(description ? description : d.name.c_str());
    d.guid = StableDeviceGuid(d.name, d.description);
    l->devices->push_back(std::move(d));
}

// One entry of a sink or source listing (Info: pa_sink_info, pa_source_info).
template <class Info>
void OnDevice(pa_context*, const Info* info, int eol, void* user) {
    auto* l = static_cast<Listing*>(user);
    if (eol) {
        l->done = true;
        l->failed = eol < 0;
        return;
    }
    Add(l, info->name, info->description);
}

}  // namespace

HRESULT PulseSoundSystem::List(bool capture, std::vector<DeviceInfo>* devices) {
    devices->clear();
    PulseConnection connection;
    HRESULT hr = connection.Connect("Tonquil", kListTimeoutMs);
    if (FAILED(hr)) return hr;
    Listing listing{devices};
    Defaults defaults;
    pa_operation* info = pa_context_get_server_info(connection.Context(), &OnServerInfo, &defaults);
    pa_operation* op = capture
                           ? pa_context_get_source_info_list(connection.Context(), &OnDevice<pa_source_info>, &listing)
                           : pa_context_get_sink_info_list(connection.Context(), &OnDevice<pa_sink_info>, &listing);
    bool finished = info && op &&
                    connection.RunUntil([&] { return listing.done && defaults.done; }, kListTimeoutMs);
    for (pa_operation* o : {info, op}) {
        if (!o) continue;
        if (!finished) pa_operation_cancel(o);
        pa_operation_unref(o);
    }
    if (!finished || listing.failed) {
        devices->clear();
        SetLastError(finished || !info || !op ? ERROR_DEV_NOT_EXIST : ERROR_TIMEOUT);
        return DSERR_NODRIVER;
    }
    // The servers list their devices in orders of their own (by index, by
    // object serial): the one the user chose as the default leads, so that
    // the first device is the default one on every server.
    const std::string& wanted = capture ? defaults.source : defaults.sink;
    std::stable_partition(devices->begin(), devices->end(),
                          [&wanted](const DeviceInfo& d) { return !wanted.empty() && d.name == wanted; });
    std::lock_guard<std::mutex> g(m_lock);
    for (const DeviceInfo& d : *devices) m_names[capture ? 1 : 0][d.guid] = d.name;
    return S_OK;
}

HRESULT PulseSoundSystem::Enumerate(bool capture, SoundEnumCallback callback, void* context) {
    if (!callback) return E_POINTER;
    std::vector<DeviceInfo> devices;
    HRESULT hr = List(capture, &devices);
    if (FAILED(hr)) return hr;
    const char16_t* primary = capture ? u"Primary Sound Capture Driver" : u"Primary Sound Driver";
    if (!callback(nullptr, primary, u"", context)) return S_OK;
    for (const DeviceInfo& d : devices) {
        GUID guid = d.guid;
        std::u16string module = ToUtf16(d.name);
        if (!callback(&guid, d.description.c_str(), module.c_str(), context)) break;
    }
    return S_OK;
}

HRESULT PulseSoundSystem::EnumeratePlayback(SoundEnumCallback callback, void* context) {
    return Enumerate(false, callback, context);
}

HRESULT PulseSoundSystem::EnumerateCapture(SoundEnumCallback callback, void* context) {
    return Enumerate(true, callback, context);
}

HRESULT PulseSoundSystem::NameOf(const GUID& guid, bool capture, std::string* name) {
    {
        std::lock_guard<std::mutex> g(m_lock);
        auto& names = m_names[capture ? 1 : 0];
        auto it = names.find(guid);
        if (it != names.end()) {
            *name = it->second;
            return S_OK;
        }
    }
    // Not seen yet: ask the server again.
    std::vector<DeviceInfo> devices;
    HRESULT hr = List(capture, &devices);
    if (FAILED(hr)) return hr;
    for (const DeviceInfo& d : devices) {
        if (d.guid == guid) {
            *name = d.name;
            return S_OK;
        }
    }
    SetLastError(ERROR_DEV_NOT_EXIST);
    return DSERR_NODRIVER;
}

template <class Device>
HRESULT PulseSoundSystem::Open(const GUID* guid, bool capture, std::shared_ptr<Device>* ppDevice) {
    if (!ppDevice) return E_POINTER;
    ppDevice->reset();
    std::string name;
    if (guid) {
        HRESULT hr = NameOf(*guid, capture, &name);
        if (FAILED(hr)) return hr;
    }
    *ppDevice = std::make_shared<PulseDevice>(name, capture);
    return S_OK;
}

HRESULT PulseSoundSystem::CreatePlaybackDevice(const GUID* guid, std::shared_ptr<SoundPlaybackDevice>* ppDevice) {
    return Open(guid, false, ppDevice);
}

HRESULT PulseSoundSystem::CreateCaptureDevice(const GUID* guid, std::shared_ptr<SoundCaptureDevice>* ppDevice) {
    return Open(guid, true, ppDevice);
}

}  // namespace plat
