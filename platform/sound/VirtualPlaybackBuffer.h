#pragma once
// A playback ring of the virtual backend. While it plays, the play cursor
// moves with the virtual clock at the format's byte rate; the bytes it
// passes go to the device's rendered output. The write cursor runs 10 ms
// ahead while playing and sits on the play cursor while stopped.
#include "platform/sound/VirtualBuffer.h"

namespace plat {

class VirtualPlaybackBuffer final : public VirtualBuffer<SoundPlaybackBuffer> {
public:
    using VirtualBuffer::VirtualBuffer;
    bool Allocate(DWORD bytes);

    HRESULT GetStatus(DWORD* pdwStatus) override;
    HRESULT GetCurrentPosition(DWORD* pdwPlay, DWORD* pdwWrite) override;
    HRESULT SetCurrentPosition(DWORD dwPosition) override;
    HRESULT Play(DWORD dwFlags) override;

    void Tick(uint64_t us) override;

private:
    std::vector<uint8_t> m_out;
    DWORD m_play = 0;
    DWORD m_lead = 0;
};

}  // namespace plat
