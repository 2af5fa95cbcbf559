#pragma once
// A looping capture ring: while capturing, the device writes at the capture
// cursor and wraps at the end; everything before the read cursor is safe to
// read. Start and Stop keep both cursors. Every method is safe to call from
// any thread.
#include <vector>

#include "platform/sound/SoundTypes.h"

namespace plat {

class SoundCaptureBuffer {
public:
    virtual ~SoundCaptureBuffer() = default;

    virtual HRESULT GetCaps(DWORD* pdwBufferBytes) = 0;
    // DSCBSTATUS_* bits.
    virtual HRESULT GetStatus(DWORD* pdwStatus) = 0;
    virtual HRESULT GetCurrentPosition(DWORD* pdwCapture, DWORD* pdwRead) = 0;
    // As for playback buffers; the regions hold the ring's bytes.
    virtual HRESULT Lock(DWORD dwOffset, DWORD dwBytes, void** ppv1, DWORD* pdw1, void** ppv2, DWORD* pdw2) = 0;
    virtual HRESULT Unlock(void* pv1, DWORD dw1, void* pv2, DWORD dw2) = 0;
    // DSCBSTART_LOOPING.
    virtual HRESULT Start(DWORD dwFlags) = 0;
    virtual HRESULT Stop() = 0;
    // Replaces the notification list; only while stopped.
    virtual HRESULT SetNotificationPositions(const std::vector<SoundNotifyPosition>& positions) = 0;
};

}  // namespace plat
