#pragma once
// Records the recording device: one looping capture ring of 16 chunks with a
// notification at the end of each, read by whoever calls GetData (the
// controller's capture pump). It also serves the list of capture devices.
//
// The controller makes it with Create, queries ICaptureManager, then
// Initialize(format, device name), GetCaptureBufferSize (to size the block
// that GetData fills) and StartCapture; the pump calls GetData again and
// again and rebuilds the capturer (Uninitialize, Initialize, ...) when it
// fails. A lost device is reported once; retries for it stay quiet until a
// device opens again.
#include <memory>

#include "ipc/QXServiceLib.h"
#include "platform/com/ComObject.h"
#include "platform/core/Sync.h"
#include "platform/sound/SoundCaptureBuffer.h"
#include "platform/sound/SoundCaptureDevice.h"
#include "service/audio/IAudioCapturer.h"
#include "service/audio/KDeviceList.h"
#include "service/audio/SoundBufferSlot.h"

class KAudioCapturer : public plat::ComObject<KAudioCapturer, IAudioCapturer, ICaptureManager> {
public:
    static constexpr DWORD kNotifyWaitMs = 10000;
    static constexpr DWORD kChunks = 16;

    // A new capturer with its count at 0, holding the module's lock while it
    // lives; null (reported) when it cannot be made.
    static IAudioCapturer* Create();

    // IAudioCapturer
    HRESULT Initialize(OWAVEFORMATEX waveFormat, BSTR bstrDevice) override;
    HRESULT GetData(BYTE* pBuffer, ULONG* pdwBytes) override;
    HRESULT StartCapture() override;
    HRESULT GetCaptureBufferSize(ULONG* pdwSize) override;
    HRESULT StopCapture() override;
    HRESULT Uninitialize() override;
    HRESULT GetStatus(ULONG* pdwStatus) override;

    // ICaptureManager
    HRESULT GetFirstDevice(BSTR* pstrDevice) override;
    HRESULT GetNextDevice(BSTR* pstrDevice) override;
    HRESULT GetUsedDevice(BSTR* pstrDevice) override;
    HRESULT GetDefaultDevice(BSTR* pstrDevice) override;

    // Internal operations.
    HRESULT RefreshDevicesList();
    HRESULT CreateCaptureDevice(const GUID* lpDevGuid, OWAVEFORMATEX waveFormat);
    HRESULT CreateCaptureBuffer(plat::SoundCaptureDevice* pDevice, std::shared_ptr<plat::SoundCaptureBuffer>* ppBuffer,
                                OWAVEFORMATEX waveFormat);
    HRESULT SetNotification();

    DWORD ChunkSize() const;
    DWORD ReadOffset() const;
    const KDeviceList& Devices() const { return m_devices; }

private:
    friend class plat::ComObject<KAudioCapturer, IAudioCapturer, ICaptureManager>;
    KAudioCapturer();
    ~KAudioCapturer() override;

    std::shared_ptr<plat::SoundCaptureBuffer> Buffer() const { return m_pCaptureBuffer.Get(); }
    void SetBuffer(std::shared_ptr<plat::SoundCaptureBuffer> buffer) { m_pCaptureBuffer.Set(std::move(buffer)); }
    void NoteLoss(const std::u16string& device);

    SoundBufferSlot<plat::SoundCaptureBuffer> m_pCaptureBuffer;
    KDeviceList m_devices{KDeviceList::Kind::Capture};
    mutable plat::Mutex m_hMutex;
    std::shared_ptr<plat::Event> m_hNotifyEvent;
    plat::Event m_hWakeEvent{plat::Event::Reset::Manual};
    DWORD m_dwChunkSize = 0;
    DWORD m_dwBufferSize = 0;
    DWORD m_dwReadOffset = 0;
    // The device whose loss has been reported; retries for it stay quiet.
    bool m_bQuietReports = false;
    bool m_bLossReported = false;
    std::u16string m_strLostDevice;
};
