#pragma once
// The capturer's interface to the controller (internal to the service, not
// part of the type library). Methods in slot order.
#include "ipc/QXServiceLib.h"

// {25332326-AE5C-474B-965B-06B04F8CDB68}
inline constexpr IID IID_IAudioCapturer{0x25332326, 0xAE5C, 0x474B, {0x96, 0x5B, 0x06, 0xB0, 0x4F, 0x8C, 0xDB, 0x68}};

struct IAudioCapturer : IUnknown {
    static constexpr const IID& kIID = IID_IAudioCapturer;
    // Chooses the device whose description contains bstrDevice and builds its
    // capture buffer for the format (not started).
    virtual HRESULT Initialize(OWAVEFORMATEX waveFormat, BSTR bstrDevice) = 0;  // 3
    // Waits for the next chunk and copies all captured since the last call;
    // pBuffer must hold GetCaptureBufferSize bytes. E_FAIL when no chunk
    // comes within 10 s, E_ABORT when another thread rebuilds or releases
    // the capturer meanwhile.
    virtual HRESULT GetData(BYTE* pBuffer, ULONG* pdwBytes) = 0;  // 4
    virtual HRESULT StartCapture() = 0;  // 5
    virtual HRESULT GetCaptureBufferSize(ULONG* pdwSize) = 0;  // 6
    virtual HRESULT StopCapture() = 0;  // 7
    virtual HRESULT Uninitialize() = 0;  // 8
    virtual HRESULT GetStatus(ULONG* pdwStatus) = 0;  // 9
};
