#pragma once
// A capture ring of the virtual backend. While it captures, the capture
// cursor moves with the virtual clock at the format's byte rate and the
// device's generator fills the bytes it passes; everything up to it is safe
// to read (the read cursor equals the capture cursor).
#include "platform/sound/VirtualBuffer.h"

namespace plat {

class VirtualCaptureBuffer final : public VirtualBuffer<SoundCaptureBuffer> {
public:
    using VirtualBuffer::VirtualBuffer;

    HRESULT GetStatus(DWORD* pdwStatus) override;
    HRESULT GetCurrentPosition(DWORD* pdwCapture, DWORD* pdwRead) override;
    HRESULT Start(DWORD dwFlags) override;

    void Tick(uint64_t us) override;

private:
    std::vector<uint8_t> m_in;
    DWORD m_capture = 0;
    uint64_t m_generated = 0;
};

}  // namespace plat
