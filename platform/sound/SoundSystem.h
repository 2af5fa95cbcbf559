#pragma once
// A sound backend: lists the output and input devices and opens them.
// The process uses one, chosen on first use: TONQUIL_SOUND=pulse or
// TONQUIL_SOUND=virtual; without it, the PulseAudio backend when a server
// answers, else a virtual one that plays into nothing and records silence.
#include <memory>

#include "platform/sound/SoundCaptureDevice.h"
#include "platform/sound/SoundPlaybackDevice.h"

namespace plat {

class SoundSystem {
public:
    virtual ~SoundSystem() = default;

    // Calls back once for the primary entry (no GUID), then once per device,
    // until the callback returns FALSE.
    virtual HRESULT EnumeratePlayback(SoundEnumCallback callback, void* context) = 0;
    virtual HRESULT EnumerateCapture(SoundEnumCallback callback, void* context) = 0;
    // Opens a device by the GUID that the enumeration gave; null opens the
    // system default.
    virtual HRESULT CreatePlaybackDevice(const GUID* guid, std::shared_ptr<SoundPlaybackDevice>* ppDevice) = 0;
    virtual HRESULT CreateCaptureDevice(const GUID* guid, std::shared_ptr<SoundCaptureDevice>* ppDevice) = 0;
    // "pulse" or "virtual".
    virtual const char* Name() const = 0;
};

// The backend of the process (chosen on first use).
std::shared_ptr<SoundSystem> GetSoundSystem();
// Installs a backend; null makes the next use choose again.
void SetSoundSystem(std::shared_ptr<SoundSystem> system);

}  // namespace plat
