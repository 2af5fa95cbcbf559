// Audio intake: the played sound from the driver link, the recording device
// through the capture pump, and silence; each goes to its live player and,
// while recording, into its own cache buffer.
#include "log/Trace.h"
#include "platform/com/Bstr.h"
#include "service/controller/KAudioController.h"

namespace {

bool Has(DWORD state, EState flag) { return (state & static_cast<DWORD>(flag)) != 0; }

}  // namespace

HRESULT KAudioController::OnAudioData(DWORD dwBytes, BYTE* pSource) {
    TQ_CHECK_POINTER(pSource);
    // Nothing to route; and a stopped engine takes no more audio, so that the
    // cache index saved by Destroy stays the last word.
    if (dwBytes == 0 || m_bDestroyed) return S_OK;

    // One look at the state decides where this block goes, so that a command
    // running meanwhile cannot make it play twice or not at all.
    DWORD dwState = Snapshot();
    HRESULT hr = S_OK;
    LONG bIAA = FALSE;
    if (TQ_FAILED(hr, m_pSettings->GetInterceptAudioAlwaysState(&bIAA))) {
        TQ_REPORT(EC_INTERNAL, hr, u"Getting information from settings was failed");
        return hr;
    }
    bool bPlay = (Has(dwState, _esReplay) && Has(dwState, _esStop) && !bIAA) ||
                 (Has(dwState, _esLive) && Has(dwState, _esPlay)) ||
                 (Has(dwState, _esLive) && Has(dwState, _esPause) && Has(dwState, _esStop) && !bIAA);
    if (bPlay && TQ_FAILED(hr, m_pLivePlayer->PlayData(dwBytes, pSource))) {
        TQ_REPORT(EC_INTERNAL, hr, u"Live player data playing was failed");
    }

    LONG bWriteFromPlayDevice = FALSE;
    if (TQ_FAILED(hr, m_pSettings->GetWriteFromPlayDeviceState(&bWriteFromPlayDevice))) {
        TQ_REPORT(EC_INTERNAL, hr, u"Getting information from settings was failed");
        return hr;
    }
    if (bWriteFromPlayDevice && Has(dwState, _esRec)) {  // any non-zero value is on
        if (FAILED(m_pCache->WriteEx(PLAY_DEVICE_BUFFER, dwBytes, pSource))) StopRecord();
    }
    return S_OK;
}

HRESULT KAudioController::OnInterrupt() {
    HRESULT hr = S_OK;
    if (TQ_FAILED(hr, m_pLivePlayer->Interrupt())) {
        TQ_REPORT(EC_INTERNAL, hr, u"Iterrupting live player was failed");
        return hr;
    }
    return S_OK;
}

bool KAudioController::FitCaptureBlock() {
    ULONG dwSize = 0;
    if (FAILED(m_pCapturer->GetCaptureBufferSize(&dwSize)) || dwSize == 0) return false;
    // The capturer hands out up to its whole buffer at once.
    if (m_pCaptureSubBuffer.size() != dwSize) m_pCaptureSubBuffer.assign(dwSize, 0);
    return true;
}

bool KAudioController::ReinitializeCapturer() {
    m_pCapturer->Uninitialize();
    plat::Bstr bstrDevice;
    HRESULT hr = S_OK;
    if (TQ_FAILED(hr, m_pSettings->GetCaptureDevice(bstrDevice.Out()))) {
        TQ_REPORT(EC_INTERNAL, hr, u"Getting capture device was failed");
        bstrDevice = plat::Bstr(u"");
    }
    if (bstrDevice.IsNull()) bstrDevice = plat::Bstr(u"");
    if (m_pCapturer->Initialize(m_cWaveFormat, bstrDevice) != S_OK) return false;
    FitCaptureBlock();
    m_pCapturer->StartCapture();
    return true;
}

void KAudioController::CapturePass() {
    DWORD dwState = Snapshot();
    ULONG dwBytes = 0;
    HRESULT hrData = E_FAIL;
    // The block is sized to the capturer's buffer before every read: the
    // capturer may have been opened again meanwhile.
    if (FitCaptureBlock()) hrData = m_pCapturer->GetData(m_pCaptureSubBuffer.data(), &dwBytes);
    if (hrData != S_OK || dwBytes == 0) {
        // Stopping, or parked by a settings update: the capturer was given
        // up on purpose and is not opened again here.
        if (m_hEventExit.IsSet() || !m_hEventCapture.IsSet()) return;
        if (!ReinitializeCapturer()) {
            m_hEventExit.Wait(30);
            return;
        }
    }
    if (hrData != S_OK || dwBytes == 0 || dwBytes > m_pCaptureSubBuffer.size()) return;

    HRESULT hr = S_OK;
    LONG bPlayLive = FALSE;
    if (TQ_FAILED(hr, m_pSettings->GetPlayLiveRecDeviceState(&bPlayLive))) {
        TQ_REPORT(EC_INTERNAL, hr, u"Getting information from settings was failed");
        bPlayLive = FALSE;
    }
    if (bPlayLive) {
        ULONG dwStatus = 0;
        LONG bIAA = FALSE;
        bool bKnown = true;
        if (TQ_FAILED(hr, m_pLiveCapturePlayer->GetStatus(&dwStatus))) {
            TQ_REPORT(EC_INTERNAL, hr, u"Getting status of live capturing player was failed");
            bKnown = false;
        } else if (TQ_FAILED(hr, m_pSettings->GetInterceptAudioAlwaysState(&bIAA))) {
            TQ_REPORT(EC_INTERNAL, hr, u"Getting information from settings was failed");
            bKnown = false;
        }
        // The recording device is heard in every live state, and while
        // replaying without recording unless everything is intercepted.
        bool bHeard = (Has(dwState, _esReplay) && Has(dwState, _esStop) && !bIAA) || Has(dwState, _esLive);
        if (bKnown && bHeard && TQ_FAILED(hr, m_pLiveCapturePlayer->PlayData(dwBytes, m_pCaptureSubBuffer.data()))) {
            TQ_REPORT(EC_INTERNAL, hr, u"Live capturing player data playing was failed");
        }
    }
    if (Has(dwState, _esRec)) {
        if (FAILED(m_pCache->WriteEx(RECORD_DEVICE_BUFFER, dwBytes, m_pCaptureSubBuffer.data()))) StopRecord();
    }
}

HRESULT KAudioController::CaptureThread() {
    for (;;) {
        DWORD r = plat::WaitAny({&m_hEventExit, &m_hEventCapture}, INFINITE);
        if (r == plat::WAIT_OBJECT_0) return S_OK;
        if (r != plat::WAIT_OBJECT_0 + 1) {
            // Never spin on a wait that keeps failing.
            if (m_hEventExit.Wait(10) == plat::WAIT_OBJECT_0) return S_OK;
            continue;
        }
        // A settings update that rebuilds the capturer waits for the pass
        // to end, and parks the pump by resetting its event.
        std::lock_guard<std::mutex> pass(m_capturePassLock);
        if (m_hEventCapture.IsSet()) CapturePass();
    }
}

void KAudioController::SilencePass() {
    DWORD dwState = Snapshot();
    DWORD dwNow = plat::GetTickCount();
    DWORD dwLast = m_dwLastSilenceTick.exchange(dwNow);
    // The first pass only starts the count; the tick's unsigned difference
    // stays right when the 32-bit tick wraps.
    if (dwLast == 0) return;
    DWORD dwElapsed = dwNow - dwLast;
    if (dwElapsed == 0) return;
    if (Has(dwState, _esRec)) {
        ULONGLONG llBytes = static_cast<ULONGLONG>(dwElapsed) * kByteRate / 1000;
        if (FAILED(m_pCache->WriteSilenceEx(SILENCE_BUFFER, llBytes))) StopRecord();
    }
}

HRESULT KAudioController::SilenceWriterThread() {
    for (;;) {
        DWORD r = plat::WaitAny({&m_hEventExit, &m_hEventSilence}, INFINITE);
        if (r == plat::WAIT_OBJECT_0) return S_OK;
        if (r == plat::WAIT_OBJECT_0 + 1) SilencePass();
        // Passes are 10 ms apart, also when the tick has not moved: no spinning.
        if (m_hEventExit.Wait(10) == plat::WAIT_OBJECT_0) return S_OK;
    }
}
