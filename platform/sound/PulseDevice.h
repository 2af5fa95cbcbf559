#pragma once
// An opened PulseAudio sink (output) or source (input), by its server name;
// an empty name stands for the server's default.
#include <string>

#include "platform/sound/SoundCaptureDevice.h"
#include "platform/sound/SoundPlaybackDevice.h"

namespace plat {

class PulseDevice final : public SoundPlaybackDevice, public SoundCaptureDevice {
public:
    PulseDevice(std::string name, bool capture) : m_name(std::move(name)), m_capture(capture) {}

    const std::string& Name() const { return m_name; }

    HRESULT SetCooperativeLevel(DWORD dwLevel) override;
    HRESULT CreateSoundBuffer(const WaveFormat& format, DWORD dwBytes,
                              std::shared_ptr<SoundPlaybackBuffer>* ppBuffer) override;
    HRESULT CreateCaptureBuffer(const WaveFormat& format, DWORD dwBytes,
                                std::shared_ptr<SoundCaptureBuffer>* ppBuffer) override;

private:
    const std::string m_name;
    const bool m_capture;
};

}  // namespace plat
