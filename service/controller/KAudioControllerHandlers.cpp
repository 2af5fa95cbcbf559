// The command handlers: where Play, Pause, Live, Rec, Stop, Skip and Back take
// effect. Each runs under the command lock and takes the data mutex itself.
#include "log/Trace.h"
#include "platform/com/Bstr.h"
#include "service/controller/KAudioController.h"
#include "service/controller/KEngineLock.h"

namespace {

bool Has(DWORD state, EState flag) { return (state & static_cast<DWORD>(flag)) != 0; }

}  // namespace

// A guard that repeats what the state table already ensures.
#define TQ_REQUIRE_STATE(cond)                                                  \
    do {                                                                       \
        if (TQ_FALSE(cond)) {                                                  \
            TQ_REPORT(EC_INTERNAL, 0, u"Program in incorrect state");        \
            return plat::HResultFromLastError();                               \
        }                                                                      \
    } while (0)

void KAudioController::ResumeLivePlayers() {
    KEngineLock lock(m_hDataMutex, m_cEventGate);
    DWORD m_dwState = GetState();
    if (m_bLivePlayerRunning && m_bLiveCapturePlayerRunning) return;
    LONG bIAA = FALSE;
    HRESULT hr = S_OK;
    if (TQ_FAILED(hr, m_pSettings->GetInterceptAudioAlwaysState(&bIAA))) {
        TQ_REPORT(EC_INTERNAL, hr, u"Getting information from settings was failed");
        return;
    }
    // Where the played sound is heard live (see OnAudioData), and where the
    // recording device is (see the capture pump).
    bool bLiveHeard = (Has(m_dwState, _esLive) && Has(m_dwState, _esPlay)) ||
                      (Has(m_dwState, _esLive) && Has(m_dwState, _esPause) && Has(m_dwState, _esStop) && !bIAA) ||
                      (Has(m_dwState, _esReplay) && Has(m_dwState, _esStop) && !bIAA);
    bool bCaptureHeard = Has(m_dwState, _esLive) || (Has(m_dwState, _esReplay) && Has(m_dwState, _esStop) && !bIAA);
    // A player without a device (reported when it was opened) is left alone.
    ULONG dwStatus = 0;
    if (bLiveHeard && !m_bLivePlayerRunning && SUCCEEDED(m_pLivePlayer->GetStatus(&dwStatus))) {
        if (TQ_FAILED(hr, m_pLivePlayer->StartPlay())) {
            TQ_REPORT(EC_INTERNAL, hr, u"Live player start playing was failed");
        } else {
            m_bLivePlayerRunning = true;
        }
    }
    if (bCaptureHeard && !m_bLiveCapturePlayerRunning && SUCCEEDED(m_pLiveCapturePlayer->GetStatus(&dwStatus))) {
        if (TQ_FAILED(hr, m_pLiveCapturePlayer->StartPlay())) {
            TQ_REPORT(EC_INTERNAL, hr, u"Live capturing player start playing was failed");
        } else {
            m_bLiveCapturePlayerRunning = true;
        }
    }
}

HRESULT KAudioController::OnPlay() {
    KEngineLock lock(m_hDataMutex, m_cEventGate);
    ResetState(_esPause);
    SetState(_esPlay);
    m_pCache->SetCanLive(TRUE);
    if (Has(GetState(), _esReplay)) {
        m_pReplayPlayer->StartPlay();
        m_hEventWakeUp.Set();
    }
    ResumeLivePlayers();
    return S_OK;
}

HRESULT KAudioController::OnPause() {
    HRESULT hrKept = S_OK;
    HRESULT tempHr = S_OK;
    if (TQ_FAILED(tempHr, m_pReplayPlayer->Pause())) {
        TQ_REPORT(EC_INTERNAL, tempHr, u"Replay player stop playing was failed");
        hrKept = tempHr;
    }
    m_hEventWakeUp.ResetEvent();

    KEngineLock lock(m_hDataMutex, m_cEventGate);
    ResetState(_esPlay);
    SetState(_esPause);
    bool bSwitched = false;
    if (Has(GetState(), _esLive)) {
        LONG bIAA = FALSE;
        HRESULT hr = S_OK;
        if (TQ_FAILED(hr, m_pSettings->GetInterceptAudioAlwaysState(&bIAA))) {
            TQ_REPORT(EC_INTERNAL, hr, u"Getting information from settings was failed");
            return hr;
        }
        if (!Has(GetState(), _esStop) || bIAA) {
            // While recording (or intercepting always) a pause holds the live
            // sound back: the engine replays from the live point.
            ResetState(_esLive);
            SetState(_esReplay);
            bSwitched = true;
            m_pCache->SetCanLive(FALSE);
            m_pCache->SetLive(FALSE);
            if (TQ_FAILED(tempHr, m_pLivePlayer->StopPlay())) {
                TQ_REPORT(EC_INTERNAL, tempHr, u"Live player stop playing was failed");
                hrKept = tempHr;
            } else {
                m_bLivePlayerRunning = false;
            }
            if (TQ_FAILED(tempHr, m_pLiveCapturePlayer->StopPlay())) {
                TQ_REPORT(EC_INTERNAL, tempHr, u"Live capture player stop playing was failed");
                hrKept = tempHr;
            } else {
                m_bLiveCapturePlayerRunning = false;
            }
        }
    }
    if (FAILED(hrKept)) {
        // A player refused: the pause is undone.
        ResetState(_esPause);
        SetState(_esPlay);
        if (bSwitched) {
            ResetState(_esReplay);
            SetState(_esLive);
            m_pCache->SetCanLive(TRUE);
            m_pCache->SetLive(TRUE);
        }
        if (Has(GetState(), _esReplay)) {
            m_pReplayPlayer->StartPlay();
            m_hEventWakeUp.Set();
        }
        ResumeLivePlayers();
        return hrKept;
    }
    ResumeLivePlayers();
    return S_OK;
}

HRESULT KAudioController::OnLive() {
    KEngineLock lock(m_hDataMutex, m_cEventGate);
    DWORD m_dwState = GetState();
    TQ_REQUIRE_STATE(!(_esLive & m_dwState));
    TQ_REQUIRE_STATE(_esReplay & m_dwState);

    if (Has(GetState(), _esPlay)) m_hEventWakeUp.ResetEvent();
    ResetState(_esReplay);
    SetState(_esLive);
    HRESULT hr = S_OK;
    if (TQ_FAILED(hr, m_pReplayPlayer->StopPlay())) {
        TQ_REPORT(EC_INTERNAL, hr, u"Replay player stop playing was failed");
    }
    if (TQ_FAILED(hr, m_pCache->SetLive(TRUE))) {
        TQ_REPORT(EC_INTERNAL, hr, u"Setting cache state live was failed");
    }
    // Only asked to see that the live player is usable; a player without a
    // device is no reason to refuse the return to live.
    ULONG dwStatus = 0;
    HRESULT hrStatus = S_OK;
    if (TQ_FAILED(hrStatus, m_pLivePlayer->GetStatus(&dwStatus))) {
        TQ_REPORT(EC_INTERNAL, hrStatus, u"Getting status of live player was failed");
    }
    if (Has(GetState(), _esPause)) {
        // Paused: only the position goes to the live point; replay stays.
        HRESULT hrPause = S_OK;
        if (TQ_FAILED(hrPause, m_pCache->SetLive(FALSE))) {
            TQ_REPORT(EC_INTERNAL, hrPause, u"Setting cache state live was failed");
        }
        ResetState(_esLive);
        SetState(_esReplay);
    }
    if (hr != S_OK && Has(GetState(), _esLive)) {
        // The cache could not follow the live point: go on replaying.
        ResetState(_esLive);
        SetState(_esReplay);
        if (Has(GetState(), _esPlay)) {
            m_pReplayPlayer->StartPlay();
            m_hEventWakeUp.Set();
        }
    }
    ResumeLivePlayers();
    return hr;
}

HRESULT KAudioController::CheckDiskForRecording() {
    HRESULT hr = S_OK;
    plat::Bstr bstrDir;
    if (TQ_FAILED(hr, m_pCache->GetCacheDir(bstrDir.Out()))) {
        TQ_REPORT(EC_INTERNAL, hr, u"Getting cache dirrectory was failed");
        return hr;
    }
    return CheckRoomOnDisk(plat::BstrToU16(bstrDir));
}

HRESULT KAudioController::CheckRoomOnDisk(const std::u16string& folder) {
    bool bFull = false;
    HRESULT hr = IsDiskFull(folder, &bFull);
    if (hr == S_FALSE) {
        hr = plat::HResultFromLastError();
        TQ_TRACE_HR("HRESULT_FROM_WIN32(GetLastError())");
        TQ_REPORT_EX(EC_SYSTEM, hr);
        return hr;
    }
    if (FAILED(hr)) return hr;
    if (bFull) {
        hr = plat::HResultFromError(ERROR_DISK_FULL);
        TQ_TRACE_HR("HRESULT_FROM_WIN32(ERROR_DISK_FULL)");
        TQ_REPORT_EX(EC_SYSTEM, hr);
        return hr;
    }
    return S_OK;
}

HRESULT KAudioController::OnRec() {
    KEngineLock lock(m_hDataMutex, m_cEventGate);
    DWORD m_dwState = GetState();
    TQ_REQUIRE_STATE(!(_esRec & m_dwState));
    TQ_REQUIRE_STATE(_esStop & m_dwState);
    HRESULT hr = CheckDiskForRecording();
    if (FAILED(hr)) return hr;

    ResetState(_esStop);
    SetState(_esRec);
    if (Has(GetState(), _esReplay)) {
        if (TQ_FAILED(hr, m_pLivePlayer->StopPlay())) {
            TQ_REPORT(EC_INTERNAL, hr, u"Live player stop playing was failed");
            // Reported as failed, so it must not have started.
            ResetState(_esRec);
            SetState(_esStop);
            return hr;
        }
        m_bLivePlayerRunning = false;
    }
    if (Has(GetState(), _esPlay)) {
        OnPlay();
    } else if (Has(GetState(), _esPause)) {
        OnPause();
    }
    return S_OK;
}

HRESULT KAudioController::OnStop() {
    KEngineLock lock(m_hDataMutex, m_cEventGate);
    DWORD m_dwState = GetState();
    TQ_REQUIRE_STATE(!(_esStop & m_dwState));
    TQ_REQUIRE_STATE(_esRec & m_dwState);

    ResetState(_esRec);
    SetState(_esStop);
    ULONGLONG nWritePos = 0;
    HRESULT hr = S_OK;
    if (TQ_FAILED(hr, m_pCache->GetWritePos(&nWritePos))) {
        TQ_REPORT(EC_INTERNAL, hr, u"Getting cache record position was failed");
    } else {
        // The recording since the last boundary becomes a song; its event
        // waits until this thread has let go of the engine's locks.
        KEngineLock detector(m_detectorMutex, m_cEventGate);
        m_cSongDetector.MarkBoundary(static_cast<LONGLONG>(nWritePos));
    }
    if (Has(GetState(), _esPlay)) {
        OnPlay();
    } else if (Has(GetState(), _esPause)) {
        OnPause();
    }
    return hr;
}

HRESULT KAudioController::OnSkip() {
    KEngineLock lock(m_hDataMutex, m_cEventGate);
    DWORD m_dwState = GetState();
    TQ_REQUIRE_STATE(!(_esLive & m_dwState));
    HRESULT hr = S_OK;
    if (TQ_FAILED(hr, m_pCache->SynchronizeReadPos(m_llReadPosOffset, m_eReadPosBase))) {
        TQ_REPORT(EC_INTERNAL, hr, u"Setting cache read position was failed");
        return hr;
    }
    return S_OK;
}

HRESULT KAudioController::OnBack() {
    HRESULT hr = S_OK;
    KEngineLock lock(m_hDataMutex, m_cEventGate);
    HRESULT hrSync = S_OK;
    if (TQ_FAILED(hrSync, m_pCache->SynchronizeReadPos(m_llReadPosOffset, m_eReadPosBase))) {
        TQ_REPORT(EC_INTERNAL, hrSync, u"Seting cache start read position was failed");
        return hrSync;
    }
    DWORD m_dwState = GetState();
    if (Has(m_dwState, _esLive)) {
        TQ_REQUIRE_STATE(!(_esReplay & m_dwState));
        LONG bIAA = FALSE;
        HRESULT hrSettings = S_OK;
        if (TQ_FAILED(hrSettings, m_pSettings->GetInterceptAudioAlwaysState(&bIAA))) {
            TQ_REPORT(EC_INTERNAL, hrSettings, u"Getting information from settings was failed");
            return hrSettings;
        }
        ResetState(_esLive);
        SetState(_esReplay);
        if (Has(GetState(), _esPlay) && bIAA) {
            if (TQ_FAILED(hr, m_pLivePlayer->StopPlay())) {
                TQ_REPORT(EC_INTERNAL, hr, u"Live player stop playing was failed");
            }
            if (hr != S_OK) {
                ResetState(_esReplay);
                SetState(_esLive);
            } else {
                m_bLivePlayerRunning = false;
            }
        }
        if (Has(GetState(), _esPlay) && Has(GetState(), _esReplay)) {
            m_pReplayPlayer->StartPlay();
            m_hEventWakeUp.Set();
        }
    }
    ResumeLivePlayers();
    return hr;
}

void KAudioController::UpdatePositionState() {
    ULONGLONG llReadPos = 0, llStartReadPos = 0, llRecordPos = 0;
    HRESULT hr = S_OK;
    bool bRead = true, bStart = true, bRecord = true;
    if (TQ_FAILED(hr, m_pCache->GetReadPosEx(PLAY_DEVICE_BUFFER, &llReadPos))) {
        TQ_REPORT(EC_INTERNAL, hr, u"Getting cache read position was failed");
        bRead = false;
    }
    if (TQ_FAILED(hr, m_pCache->GetStartReadPos(&llStartReadPos))) {
        TQ_REPORT(EC_INTERNAL, hr, u"Getting cache start read position was failed");
        bStart = false;
    }
    if (TQ_FAILED(hr, m_pCache->GetWritePos(&llRecordPos))) {
        TQ_REPORT(EC_INTERNAL, hr, u"Getting cache record position was failed");
        bRecord = false;
    }
    KEngineLock lock(m_hDataMutex, m_cEventGate);
    // Flags change only from positions that could be read.
    if (bRead && bRecord) {
        bool bAtLast = Has(GetState(), _esAtLastPos);
        if (!bAtLast && llReadPos == llRecordPos) SetState(_esAtLastPos);
        if (bAtLast && llReadPos != llRecordPos) ResetState(_esAtLastPos);
    }
    if (bRead && bStart) {
        bool bAtFirst = Has(GetState(), _esAtFirstPos);
        if (!bAtFirst && llReadPos == llStartReadPos) SetState(_esAtFirstPos);
        if (bAtFirst && llReadPos != llStartReadPos) ResetState(_esAtFirstPos);
    }
}
