#include "service/audio/KAudioCapturer.h"

#include <cstring>

#include "log/KLock.h"
#include "platform/com/Bstr.h"
#include "platform/com/Module.h"
#include "platform/core/Clock.h"
#include "platform/sound/SoundRing.h"
#include "platform/sound/SoundSystem.h"
#include "service/audio/DeviceTrace.h"
#include "service/audio/SoundChunk.h"

// A report that a retry for a device already reported as lost leaves out.
#define TQ_REPORT_UNLESS_QUIET(trace, code, hr, detail) \
    do {                                                \
        if (!m_bQuietReports) {                         \
            TQ_TRACE_HR(trace);                         \
            TQ_REPORT(code, hr, detail);                \
        }                                               \
    } while (0)

IAudioCapturer* KAudioCapturer::Create() {
    KAudioCapturer* capturer = CreateInstance();
    if (!capturer || !capturer->m_hNotifyEvent || !capturer->m_hNotifyEvent->IsValid() ||
        !capturer->m_hWakeEvent.IsValid()) {
        if (capturer) {
            capturer->AddRef();
            capturer->Release();
        }
        TQ_TRACE_HR("hr");
        TQ_REPORT(EC_INTERNAL, E_OUTOFMEMORY, u"Cannot create KAudioCapturer");
        return nullptr;
    }
    return capturer;
}

KAudioCapturer::KAudioCapturer() : m_hNotifyEvent(std::make_shared<plat::Event>(plat::Event::Reset::Auto)) {
    plat::ComModule::Lock();
}

KAudioCapturer::~KAudioCapturer() {
    if (std::shared_ptr<plat::SoundCaptureBuffer> buffer = Buffer()) {
        buffer->Stop();
        SetBuffer(nullptr);
    }
    plat::ComModule::Unlock();
}

void KAudioCapturer::NoteLoss(const std::u16string& device) {
    m_bLossReported = true;
    m_strLostDevice = device;
}

// ---------------------------------------------------------------------------
// Device list

HRESULT KAudioCapturer::RefreshDevicesList() { return m_devices.RefreshDevicesList(); }
HRESULT KAudioCapturer::GetFirstDevice(BSTR* pstrDevice) { return m_devices.GetFirstDevice(pstrDevice); }
HRESULT KAudioCapturer::GetNextDevice(BSTR* pstrDevice) { return m_devices.GetNextDevice(pstrDevice); }
HRESULT KAudioCapturer::GetUsedDevice(BSTR* pstrDevice) { return m_devices.GetUsedDevice(pstrDevice); }
HRESULT KAudioCapturer::GetDefaultDevice(BSTR* pstrDevice) { return m_devices.GetDefaultDevice(pstrDevice); }

// ---------------------------------------------------------------------------
// Opening

HRESULT KAudioCapturer::Initialize(OWAVEFORMATEX waveFormat, BSTR bstrDevice) {
    TQ_CHECK_POINTER(bstrDevice);
    if (HRESULT hr = CheckChunkFormat(waveFormat); FAILED(hr)) return hr;
    const std::u16string name = plat::BstrToU16(bstrDevice);
    // A reader waiting in GetData gives the capturer up before it is rebuilt.
    m_hWakeEvent.Set();
    KLock lock(m_hMutex);
    m_hWakeEvent.ResetEvent();

    m_bQuietReports = m_bLossReported && m_strLostDevice == name;
    HRESULT hr = m_devices.RefreshDevicesList(!m_bQuietReports);
    if (FAILED(hr)) TQ_REPORT_UNLESS_QUIET("RefreshDevicesList()", EC_SDK, hr, u"Cannot initialize direct sound");
    GUID guid = GUID_NULL;
    if (!m_devices.FindDevice(name, &guid)) {
        if (!m_bQuietReports) {
            TQ_TRACE_HR("E_FAIL");
            TQ_REPORT_FORMATTED(EC_NO_SUCH_DEVICE, E_FAIL, name);
        }
        m_bQuietReports = false;
        NoteLoss(name);
        return E_FAIL;
    }
    m_devices.SetUsedDevice(name);
    hr = CreateCaptureDevice(&guid, waveFormat);
    m_bQuietReports = false;
    if (FAILED(hr)) {
        NoteLoss(name);
        return hr;
    }
    m_bLossReported = false;
    m_strLostDevice.clear();
    return S_OK;
}

HRESULT KAudioCapturer::CreateCaptureDevice(const GUID* lpDevGuid, OWAVEFORMATEX waveFormat) {
    KLock lock(m_hMutex);
    if (Buffer()) SetBuffer(nullptr);
    HRESULT hr;
    std::shared_ptr<plat::SoundSystem> system = plat::GetSoundSystem();
    std::shared_ptr<plat::SoundCaptureDevice> pCaptureDev;
    if (FAILED(hr = system ? system->CreateCaptureDevice(lpDevGuid, &pCaptureDev) : E_FAIL)) {
        TQ_REPORT_UNLESS_QUIET("DirectSoundCaptureCreate8(lpDevGuid, &pCaptureDev, NULL)", EC_OPEN_PLAY_DEVICE, hr, u"");
        return hr;
    }
    std::shared_ptr<plat::SoundCaptureBuffer> buffer;
    if (FAILED(hr = CreateCaptureBuffer(pCaptureDev.get(), &buffer, waveFormat))) {
        TQ_REPORT_UNLESS_QUIET("CreateCaptureBuffer(pCaptureDev, &m_pCaptureBuffer, wf)", EC_OPEN_PLAY_DEVICE, hr, u"");
        return hr;
    }
    SetBuffer(std::move(buffer));
    m_dwReadOffset = 0;
    // A notification of an earlier buffer must not count for this one.
    m_hNotifyEvent->ResetEvent();
    if (FAILED(hr = SetNotification())) {
        TQ_REPORT_UNLESS_QUIET("SetNotification()", EC_OPEN_PLAY_DEVICE, hr, u"");
        return hr;
    }
    // The device object goes; the buffer keeps working.
    return S_OK;
}

HRESULT KAudioCapturer::CreateCaptureBuffer(plat::SoundCaptureDevice* pDevice,
                                            std::shared_ptr<plat::SoundCaptureBuffer>* ppBuffer,
                                            OWAVEFORMATEX waveFormat) {
    TQ_CHECK_POINTER(pDevice);
    TQ_CHECK_POINTER(ppBuffer);
    KLock lock(m_hMutex);
    ChunkRing ring;
    HRESULT hr = CreateChunkRing(waveFormat, kChunks, &ring, [&](const OWAVEFORMATEX& format, DWORD size) {
        HRESULT made = pDevice->CreateCaptureBuffer(format, size, ppBuffer);
        if (FAILED(made))
            TQ_REPORT_UNLESS_QUIET("pDSC->CreateCaptureBuffer(&dscbd, &pDSCB, NULL)", EC_INTERNAL, made,
                                   u"Creating capture buffer was failed");
        return made;
    });
    if (ring.chunk == 0) return hr;
    m_dwChunkSize = ring.chunk;
    m_dwBufferSize = ring.size;
    return hr;
}

HRESULT KAudioCapturer::SetNotification() {
    std::shared_ptr<plat::SoundCaptureBuffer> buffer = Buffer();
    if (!buffer) return E_INVALIDARG;
    HRESULT hr;
    ULONG nSize = 0;
    if (FAILED(hr = GetCaptureBufferSize(&nSize))) {
        TQ_REPORT_UNLESS_QUIET("GetCaptureBufferSize(&nSize)", EC_OPEN_PLAY_DEVICE, hr, u"");
        return hr;
    }
    KLock lock(m_hMutex);
    return SetChunkNotifications(*buffer, ChunkRing{m_dwChunkSize, m_dwBufferSize}, {m_hNotifyEvent});
}

// ---------------------------------------------------------------------------
// Capturing

HRESULT KAudioCapturer::GetData(BYTE* pBuffer, ULONG* pdwBytes) {
    TQ_CHECK_POINTER(pBuffer);
    TQ_CHECK_POINTER(pdwBytes);
    KLock lock(m_hMutex);
    *pdwBytes = 0;
    std::shared_ptr<plat::SoundCaptureBuffer> buffer = m_pCaptureBuffer.GetOrReport(u"No capture buffer");
    if (!buffer) return E_FAIL;
    const DWORD start = plat::GetTickCount();
    for (;;) {
        const DWORD waited = plat::GetTickCount() - start;
        if (waited >= kNotifyWaitMs) return E_FAIL;  // no chunk in time: the caller decides
        const DWORD r = plat::ClockWaitAny({m_hNotifyEvent.get(), &m_hWakeEvent}, kNotifyWaitMs - waited);
        if (r == plat::WAIT_OBJECT_0 + 1) return E_ABORT;  // another thread takes the capturer over
        if (r != plat::WAIT_OBJECT_0) return E_FAIL;
        DWORD dwCapturePos = 0, dwReadPos = 0;
        if (FAILED(buffer->GetCurrentPosition(&dwCapturePos, &dwReadPos))) {
            TQ_TRACE_HR("E_FAIL");
            TQ_REPORT(EC_INTERNAL, E_FAIL, u"");
            return E_FAIL;
        }
        const DWORD n = plat::RingDistance(m_dwReadOffset, dwReadPos, m_dwBufferSize);
        // A notification for bytes already handed out: the next one brings new data.
        if (n == 0) continue;
        void* p1 = nullptr;
        void* p2 = nullptr;
        DWORD n1 = 0, n2 = 0;
        if (FAILED(buffer->Lock(m_dwReadOffset, n, &p1, &n1, &p2, &n2))) {
            TQ_TRACE_HR("E_FAIL");
            TQ_REPORT(EC_INTERNAL, E_FAIL, u"");
            return E_FAIL;
        }
        if (p1) {
            std::memcpy(pBuffer, p1, n1);
            m_dwReadOffset = (m_dwReadOffset + n1) % m_dwBufferSize;
            *pdwBytes += n1;
        }
        if (p2) {
            std::memcpy(pBuffer + *pdwBytes, p2, n2);
            m_dwReadOffset = (m_dwReadOffset + n2) % m_dwBufferSize;
            *pdwBytes += n2;
        }
        HRESULT hr;
        if (TQ_FAILED_AS(hr, buffer->Unlock(p1, n1, p2, n2),
                         "m_pCaptureBuffer->Unlock((void*)pBuff1, nBuffSize1, (void*)pBuff2, nBuffSize2)")) {
            TQ_REPORT(EC_INTERNAL, hr, u"Cannot unlock cupture buffer");
            return hr;
        }
        return S_OK;
    }
}

HRESULT KAudioCapturer::StartCapture() {
    std::shared_ptr<plat::SoundCaptureBuffer> buffer = m_pCaptureBuffer.GetOrReport(u"No capture buffer");
    if (!buffer) return E_FAIL;
    HRESULT hr;
    if (TQ_FAILED_AS(hr, buffer->Start(plat::DSCBSTART_LOOPING), "m_pCaptureBuffer->Start(DSCBSTART_LOOPING)")) {
        TQ_REPORT(EC_INTERNAL, hr, u"Cannot start buffer");
        return hr;
    }
    return S_OK;
}

HRESULT KAudioCapturer::GetCaptureBufferSize(ULONG* pdwSize) {
    TQ_CHECK_POINTER(pdwSize);
    std::shared_ptr<plat::SoundCaptureBuffer> buffer = Buffer();
    TQ_CHECK_POINTER(buffer);
    HRESULT hr;
    if (TQ_FAILED_AS(hr, buffer->GetCaps(pdwSize), "m_pCaptureBuffer->GetCaps(&cDevCaps)")) {
        TQ_REPORT(EC_INTERNAL, hr, u"GetCaps failed");
        return hr;
    }
    return S_OK;
}

HRESULT KAudioCapturer::StopCapture() {
    // The buffer is held by reference: no need to wait for a reader.
    if (std::shared_ptr<plat::SoundCaptureBuffer> buffer = Buffer()) {
        HRESULT hr;
        if (TQ_FAILED_AS(hr, buffer->Stop(), "m_pCaptureBuffer->Stop()")) {
            TQ_REPORT(EC_INTERNAL, hr, u"Cannot stop buffer");
            return hr;
        }
    }
    return S_OK;
}

HRESULT KAudioCapturer::Uninitialize() {
    m_hWakeEvent.Set();
    KLock lock(m_hMutex);
    m_hWakeEvent.ResetEvent();
    if (std::shared_ptr<plat::SoundCaptureBuffer> buffer = Buffer()) {
        HRESULT hr;
        if (TQ_FAILED_AS(hr, buffer->Stop(), "m_pCaptureBuffer->Stop()")) {
            TQ_REPORT(EC_INTERNAL, hr, u"Cannot Uninitialize");
            return hr;
        }
        SetBuffer(nullptr);
    }
    return S_OK;
}

HRESULT KAudioCapturer::GetStatus(ULONG* pdwStatus) {
    std::shared_ptr<plat::SoundCaptureBuffer> buffer = m_pCaptureBuffer.GetOrReport(u"No capture buffer");
    if (!buffer) return E_FAIL;
    TQ_CHECK_POINTER(pdwStatus);
    HRESULT hr;
    if (TQ_FAILED_AS(hr, buffer->GetStatus(pdwStatus), "m_pCaptureBuffer->GetStatus(pdwStatus)")) {
        TQ_REPORT(EC_INTERNAL, hr, u"GetStatus fail");
        return hr;
    }
    return S_OK;
}

DWORD KAudioCapturer::ChunkSize() const {
    KLock lock(m_hMutex);
    return m_dwChunkSize;
}

DWORD KAudioCapturer::ReadOffset() const {
    KLock lock(m_hMutex);
    return m_dwReadOffset;
}
