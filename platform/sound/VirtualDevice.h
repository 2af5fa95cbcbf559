#pragma once
// One device of the virtual sound system: an output keeps what its buffers
// play, an input takes what its buffers record from a generator. It can be
// frozen (its buffers' cursors stop while their status stays) or gone (it no
// longer lists or opens, and its buffers stop as if frozen).
#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/sound/SoundCaptureDevice.h"
#include "platform/sound/SoundGenerator.h"
#include "platform/sound/SoundPlaybackDevice.h"
#include "platform/sound/VirtualFaults.h"
#include "platform/sound/VirtualTickable.h"

namespace plat {

class VirtualDevice final : public SoundPlaybackDevice, public SoundCaptureDevice,
                            public std::enable_shared_from_this<VirtualDevice> {
public:
    using Registrar = std::function<void(std::weak_ptr<VirtualTickable>)>;

    VirtualDevice(GUID guid, std::u16string description, std::u16string module, bool capture,
                  std::shared_ptr<VirtualFaults> faults, Registrar registrar);

    const GUID& Guid() const { return m_guid; }
    const std::u16string& Description() const { return m_description; }
    const std::u16string& Module() const { return m_module; }
    bool IsCapture() const { return m_capture; }

    bool IsGone() const { return m_gone.load(); }
    void SetGone() { m_gone = true; }
    bool IsFrozen() const { return m_frozen.load(); }
    void SetFrozen(bool frozen) { m_frozen = frozen; }
    // Whether buffers of this device move with the clock.
    bool Runs() const { return !m_gone.load() && !m_frozen.load(); }

    // Output: the bytes played so far (the newest maxBytes of them at most).
    void AppendRendered(const uint8_t* bytes, size_t count);
    std::vector<uint8_t> Rendered() const;
    void ClearRendered();
    void SetRenderedLimit(size_t maxBytes);

    // Input.
    void SetGenerator(SoundGenerator generator);
    void Generate(uint8_t* to, DWORD bytes, uint64_t streamOffset);

    HRESULT SetCooperativeLevel(DWORD dwLevel) override;
    HRESULT CreateSoundBuffer(const WaveFormat& format, DWORD dwBytes,
                              std::shared_ptr<SoundPlaybackBuffer>* ppBuffer) override;
    HRESULT CreateCaptureBuffer(const WaveFormat& format, DWORD dwBytes,
                                std::shared_ptr<SoundCaptureBuffer>* ppBuffer) override;

private:
    const GUID m_guid;
    const std::u16string m_description;
    const std::u16string m_module;
    const bool m_capture;
    std::shared_ptr<VirtualFaults> m_faults;
    Registrar m_registrar;
    std::atomic<bool> m_gone{false};
    std::atomic<bool> m_frozen{false};

    mutable std::mutex m_lock;  // innermost: taken under a buffer's lock
    std::deque<uint8_t> m_rendered;
    size_t m_renderedLimit = 64u << 20;
    SoundGenerator m_generator;
};

}  // namespace plat
