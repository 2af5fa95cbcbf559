#pragma once
// An opened output device. Buffers keep their device alive, so releasing the
// device object early never stops a buffer.
#include <memory>

#include "platform/sound/SoundPlaybackBuffer.h"

namespace plat {

class SoundPlaybackDevice {
public:
    virtual ~SoundPlaybackDevice() = default;

    virtual HRESULT SetCooperativeLevel(DWORD dwLevel) = 0;
    // A new, stopped ring of dwBytes bytes (silence) for the format.
    virtual HRESULT CreateSoundBuffer(const WaveFormat& format, DWORD dwBytes,
                                      std::shared_ptr<SoundPlaybackBuffer>* ppBuffer) = 0;
};

}  // namespace plat
