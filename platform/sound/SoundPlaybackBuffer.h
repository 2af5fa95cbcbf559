#pragma once
// A looping playback ring: the device plays from the play cursor onwards and
// wraps at the end for as long as it plays. The span from the play cursor to
// the write cursor is already on its way to the device and must not be
// written. Every method is safe to call from any thread.
#include <vector>

#include "platform/sound/SoundTypes.h"

namespace plat {

class SoundPlaybackBuffer {
public:
    virtual ~SoundPlaybackBuffer() = default;

    // The ring's size in bytes.
    virtual HRESULT GetCaps(DWORD* pdwBufferBytes) = 0;
    // DSBSTATUS_* bits.
    virtual HRESULT GetStatus(DWORD* pdwStatus) = 0;
    virtual HRESULT GetCurrentPosition(DWORD* pdwPlay, DWORD* pdwWrite) = 0;
    // Moves the play cursor (and with it the write cursor).
    virtual HRESULT SetCurrentPosition(DWORD dwPosition) = 0;
    // Hands out the bytes [offset, offset + bytes) as up to two regions, the
    // second one starting at offset 0 when the range wraps (else null, 0).
    // What is written there reaches the ring at Unlock.
    virtual HRESULT Lock(DWORD dwOffset, DWORD dwBytes, void** ppv1, DWORD* pdw1, void** ppv2, DWORD* pdw2) = 0;
    virtual HRESULT Unlock(void* pv1, DWORD dw1, void* pv2, DWORD dw2) = 0;
    // Starts playing from the play cursor (DSBPLAY_LOOPING).
    virtual HRESULT Play(DWORD dwFlags) = 0;
    // Halts; cursor and contents stay.
    virtual HRESULT Stop() = 0;
    // Replaces the notification list; only while stopped.
    virtual HRESULT SetNotificationPositions(const std::vector<SoundNotifyPosition>& positions) = 0;
};

}  // namespace plat
