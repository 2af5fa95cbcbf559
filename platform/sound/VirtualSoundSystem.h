#pragma once
// A sound system without a sound server. Devices are configured by the
// owner; time is either manual (Advance moves every running buffer on, on
// the calling thread, so tests are deterministic) or real (a ticker thread
// moves them every few milliseconds). Outputs keep what they played; inputs
// record from a generator; calls can be made to fail, cursors to freeze and
// devices to vanish.
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/core/Thread.h"
#include "platform/sound/SoundGenerator.h"
#include "platform/sound/SoundSystem.h"
#include "platform/sound/VirtualFaults.h"
#include "platform/sound/VirtualTickable.h"

namespace plat {

class VirtualDevice;

class VirtualSoundSystem final : public SoundSystem, public std::enable_shared_from_this<VirtualSoundSystem> {
    struct Token {};

public:
    enum class ClockMode { Manual, RealTime };

    static std::shared_ptr<VirtualSoundSystem> Create(ClockMode mode = ClockMode::Manual);
    VirtualSoundSystem(Token, ClockMode mode);
    ~VirtualSoundSystem() override;
    VirtualSoundSystem(const VirtualSoundSystem&) = delete;
    VirtualSoundSystem& operator=(const VirtualSoundSystem&) = delete;

    // Devices list in the order they were added, after the primary entry.
    GUID AddPlaybackDevice(const std::u16string& description);
    GUID AddCaptureDevice(const std::u16string& description, SoundGenerator generator = SilenceGenerator());
    // The device no longer lists or opens; its open buffers stop moving while
    // their status stays as it was. False for an unknown GUID.
    bool RemoveDevice(const GUID& guid);
    // Cursors of the device's buffers stand still (status unchanged) while frozen.
    bool SetFrozen(const GUID& guid, bool frozen);
    bool SetGenerator(const GUID& guid, SoundGenerator generator);
    // What the output has played (the newest bytes up to the limit, 64 MiB by default).
    std::vector<uint8_t> Rendered(const GUID& guid) const;
    void ClearRendered(const GUID& guid);
    void SetRenderedLimit(const GUID& guid, size_t maxBytes);

    void FailNext(VirtualCall call, HRESULT hr, int times = 1) { m_faults->FailNext(call, hr, times); }
    void ClearFaults() { m_faults->Clear(); }
    // How many calls of the kind the system's devices and buffers served.
    int Calls(VirtualCall call) const { return m_faults->Calls(call); }

    // Manual time: moves every running buffer on by ms / us.
    void Advance(DWORD ms) { AdvanceUs(static_cast<uint64_t>(ms) * 1000u); }
    void AdvanceUs(uint64_t us);
    ClockMode Mode() const { return m_mode; }
    // Buffers still alive.
    size_t LiveBufferCount() const;

    HRESULT EnumeratePlayback(SoundEnumCallback callback, void* context) override;
    HRESULT EnumerateCapture(SoundEnumCallback callback, void* context) override;
    HRESULT CreatePlaybackDevice(const GUID* guid, std::shared_ptr<SoundPlaybackDevice>* ppDevice) override;
    HRESULT CreateCaptureDevice(const GUID* guid, std::shared_ptr<SoundCaptureDevice>* ppDevice) override;
    const char* Name() const override { return "virtual"; }

private:
    GUID AddDevice(const std::u16string& description, bool capture, SoundGenerator generator);
    std::shared_ptr<VirtualDevice> Find(const GUID* guid, bool capture) const;
    HRESULT Enumerate(bool capture, SoundEnumCallback callback, void* context);
    void Register(std::weak_ptr<VirtualTickable> buffer);
    HRESULT TickerLoop();

    const ClockMode m_mode;
    const std::shared_ptr<VirtualFaults> m_faults = std::make_shared<VirtualFaults>();
    mutable std::mutex m_lock;
    std::vector<std::shared_ptr<VirtualDevice>> m_devices;
    std::vector<std::weak_ptr<VirtualTickable>> m_buffers;
    unsigned m_added = 0;
    Event m_stopTicker{Event::Reset::Manual};
    Thread m_ticker;
};

}  // namespace plat
