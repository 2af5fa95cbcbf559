#pragma once
// An opened input device. Buffers keep their device alive.
#include <memory>

#include "platform/sound/SoundCaptureBuffer.h"

namespace plat {

class SoundCaptureDevice {
public:
    virtual ~SoundCaptureDevice() = default;

    // A new, stopped capture ring of dwBytes bytes for the format.
    virtual HRESULT CreateCaptureBuffer(const WaveFormat& format, DWORD dwBytes,
                                        std::shared_ptr<SoundCaptureBuffer>* ppBuffer) = 0;
};

}  // namespace plat
