#include "platform/sound/VirtualSoundSystem.h"

#include <chrono>
#include <string>

#include "platform/core/Text.h"
#include "platform/sound/SoundDeviceId.h"
#include "platform/sound/VirtualDevice.h"

namespace plat {

std::shared_ptr<VirtualSoundSystem> VirtualSoundSystem::Create(ClockMode mode) {
    auto system = std::make_shared<VirtualSoundSystem>(Token{}, mode);
    if (mode == ClockMode::RealTime) {
        VirtualSoundSystem* self = system.get();
        if (!system->m_ticker.Start([self] { return self->TickerLoop(); }, "sound-ticker")) return nullptr;
    }
    return system;
}

VirtualSoundSystem::VirtualSoundSystem(Token, ClockMode mode) : m_mode(mode) {}

VirtualSoundSystem::~VirtualSoundSystem() {
    m_stopTicker.Set();
    m_ticker.Join();
}

HRESULT VirtualSoundSystem::TickerLoop() {
    using Steady = std::chrono::steady_clock;
    auto last = Steady::now();
    while (m_stopTicker.Wait(2) == WAIT_TIMEOUT) {
        auto now = Steady::now();
        auto us = std::chrono::duration_cast<std::chrono::microseconds>(now - last).count();
        last = now;
        if (us > 0) AdvanceUs(static_cast<uint64_t>(us));
    }
    return S_OK;
}

GUID VirtualSoundSystem::AddDevice(const std::u16string& description, bool capture, SoundGenerator generator) {
    std::lock_guard<std::mutex> g(m_lock);
    std::string name = std::string(capture ? "virtual.input." : "virtual.output.") + std::to_string(++m_added);
    GUID guid = StableDeviceGuid(name, description);
    std::weak_ptr<VirtualSoundSystem> weak = weak_from_this();
    auto device = std::make_shared<VirtualDevice>(guid, description, ToUtf16(name), capture, m_faults,
                                                  [weak](std::weak_ptr<VirtualTickable> buffer) {
                                                      if (auto system = weak.lock()) system->Register(std::move(buffer));
                                                  });
    if (capture) device->SetGenerator(std::move(generator));
    m_devices.push_back(std::move(device));
    return guid;
}

GUID VirtualSoundSystem::AddPlaybackDevice(const std::u16string& description) {
    return AddDevice(description, false, {});
}

GUID VirtualSoundSystem::AddCaptureDevice(const std::u16string& description, SoundGenerator generator) {
    return AddDevice(description, true, std::move(generator));
}

std::shared_ptr<VirtualDevice> VirtualSoundSystem::Find(const GUID* guid, bool capture) const {
    std::lock_guard<std::mutex> g(m_lock);
    for (const auto& d : m_devices) {
        if (d->IsCapture() != capture || d->IsGone()) continue;
        if (!guid || d->Guid() == *guid) return d;
    }
    return nullptr;
}

bool VirtualSoundSystem::RemoveDevice(const GUID& guid) {
    std::lock_guard<std::mutex> g(m_lock);
    for (const auto& d : m_devices) {
        if (d->Guid() == guid && !d->IsGone()) {
            d->SetGone();
            return true;
        }
    }
    return false;
}

bool VirtualSoundSystem::SetFrozen(const GUID& guid, bool frozen) {
    std::lock_guard<std::mutex> g(m_lock);
    for (const auto& d : m_devices) {
        if (d->Guid() == guid) {
            d->SetFrozen(frozen);
            return true;
        }
    }
    return false;
}

bool VirtualSoundSystem::SetGenerator(const GUID& guid, SoundGenerator generator) {
    std::lock_guard<std::mutex> g(m_lock);
    for (const auto& d : m_devices) {
        if (d->Guid() == guid) {
            d->SetGenerator(std::move(generator));
            return true;
        }
    }
    return false;
}

std::vector<uint8_t> VirtualSoundSystem::Rendered(const GUID& guid) const {
    std::lock_guard<std::mutex> g(m_lock);
    for (const auto& d : m_devices)
        if (d->Guid() == guid) return d->Rendered();
    return {};
}

void VirtualSoundSystem::ClearRendered(const GUID& guid) {
    std::lock_guard<std::mutex> g(m_lock);
    for (const auto& d : m_devices)
        if (d->Guid() == guid) d->ClearRendered();
}

void VirtualSoundSystem::SetRenderedLimit(const GUID& guid, size_t maxBytes) {
    std::lock_guard<std::mutex> g(m_lock);
    for (const auto& d : m_devices)
        if (d->Guid() == guid) d->SetRenderedLimit(maxBytes);
}

void VirtualSoundSystem::Register(std::weak_ptr<VirtualTickable> buffer) {
    std::lock_guard<std::mutex> g(m_lock);
    std::erase_if(m_buffers, [](const std::weak_ptr<VirtualTickable>& w) { return w.expired(); });
    m_buffers.push_back(std::move(buffer));
}

void VirtualSoundSystem::AdvanceUs(uint64_t us) {
    std::vector<std::shared_ptr<VirtualTickable>> live;
    {
        std::lock_guard<std::mutex> g(m_lock);
        for (const auto& w : m_buffers)
            if (auto b = w.lock()) live.push_back(std::move(b));
    }
    // Buffers are ticked outside the system's lock: a buffer's own calls may
    // reach the system (fault plans) while it holds its lock.
    for (const auto& b : live) b->Tick(us);
}

size_t VirtualSoundSystem::LiveBufferCount() const {
    std::lock_guard<std::mutex> g(m_lock);
    size_t n = 0;
    for (const auto& w : m_buffers)
        if (!w.expired()) ++n;
    return n;
}

HRESULT VirtualSoundSystem::Enumerate(bool capture, SoundEnumCallback callback, void* context) {
    if (!callback) return E_POINTER;
    if (HRESULT hr = m_faults->Take(VirtualCall::Enumerate); FAILED(hr)) return hr;
    std::vector<std::shared_ptr<VirtualDevice>> devices;
    {
        std::lock_guard<std::mutex> g(m_lock);
        for (const auto& d : m_devices)
            if (d->IsCapture() == capture && !d->IsGone()) devices.push_back(d);
    }
    const char16_t* primary = capture ? u"Primary Sound Capture Driver" : u"Primary Sound Driver";
    if (!callback(nullptr, primary, u"", context)) return S_OK;
    for (const auto& d : devices) {
        GUID guid = d->Guid();  // the callback sees a copy that lives for the call only
        if (!callback(&guid, d->Description().c_str(), d->Module().c_str(), context)) break;
    }
    return S_OK;
}

HRESULT VirtualSoundSystem::EnumeratePlayback(SoundEnumCallback callback, void* context) {
    return Enumerate(false, callback, context);
}

HRESULT VirtualSoundSystem::EnumerateCapture(SoundEnumCallback callback, void* context) {
    return Enumerate(true, callback, context);
}

HRESULT VirtualSoundSystem::CreatePlaybackDevice(const GUID* guid, std::shared_ptr<SoundPlaybackDevice>* ppDevice) {
    if (!ppDevice) return E_POINTER;
    ppDevice->reset();
    if (HRESULT hr = m_faults->Take(VirtualCall::CreateDevice); FAILED(hr)) return hr;
    auto device = Find(guid, false);
    if (!device) return DSERR_NODRIVER;
    *ppDevice = device;
    return S_OK;
}

HRESULT VirtualSoundSystem::CreateCaptureDevice(const GUID* guid, std::shared_ptr<SoundCaptureDevice>* ppDevice) {
    if (!ppDevice) return E_POINTER;
    ppDevice->reset();
    if (HRESULT hr = m_faults->Take(VirtualCall::CreateDevice); FAILED(hr)) return hr;
    auto device = Find(guid, true);
    if (!device) return DSERR_NODRIVER;
    *ppDevice = device;
    return S_OK;
}

}  // namespace plat
