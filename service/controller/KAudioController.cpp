// The controller's life: construction, interface lookup, its threads and Destroy.
#include "service/controller/KAudioController.h"

#include "log/KErrorLog.h"
#include "log/KLock.h"
#include "log/Trace.h"
#include "platform/com/Module.h"
#include "service/controller/KEngineLock.h"
#include "service/foundation/KTimecode.h"

KAudioController::KAudioController(const KControllerComponents& components)
    : KStateMachine(_esLive, _esPlay, _esStop, _esAtFirstPos), m_components(components) {
    plat::ComModule::Lock();
}

KAudioController::~KAudioController() {
    // Normally Destroy has run; a controller whose construction failed, or one
    // released without Destroy, still never leaves a thread behind.
    if (m_hSwitchThread.IsStarted()) m_hSwitchThread.Join();
    StopAllThreads();
    m_cSongDetector.SetListener(nullptr);
    m_cEvents.UnadviseAll();
    m_pCapturer.Reset();
    m_pLiveCapturePlayer.Reset();
    m_pLivePlayer.Reset();
    m_pCaptureManager.Reset();
    m_pAudioManager.Reset();
    m_pReplayPlayer.Reset();
    m_pCache.Reset();
    m_pSettings.Reset();
    m_pPlaylist.Reset();
    plat::ComModule::Unlock();
}

HRESULT KAudioController::Create(const KControllerComponents& components, KAudioController** ppController) {
    if (!ppController) return E_POINTER;
    *ppController = nullptr;
    KAudioController* controller = CreateInstance(components);
    if (!controller) return E_OUTOFMEMORY;
    controller->AddRef();  // held while the engine is built
    HRESULT hr = controller->FinalConstruct();
    if (FAILED(hr)) {
        // Nothing of a failed engine may run on: its threads are stopped and
        // the detector's reference to it is given back, so it is freed here.
        controller->StopAllThreads();
        controller->ReleaseObjects();
        controller->m_cSongDetector.SetListener(nullptr);
        controller->Release();
        return hr;
    }
    // The song detector keeps the engine alive until Destroy; the caller's
    // counted pointer takes the first client reference.
    controller->Release();
    *ppController = controller;
    return S_OK;
}

HRESULT KAudioController::QueryExtraInterface(REFIID riid, void** ppv) {
    IUnknown* component = nullptr;
    if (riid == IID_IPlayList) component = m_pPlaylist.Get();
    else if (riid == IID_ISettings) component = m_pSettings.Get();
    else if (riid == IID_IAudioManager) component = m_pAudioManager.Get();
    else if (riid == IID_ICaptureManager) component = m_pCaptureManager.Get();
    else return E_NOINTERFACE;
    if (!component) return E_NOINTERFACE;
    return component->QueryInterface(riid, ppv);
}

HRESULT KAudioController::FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) {
    if (!ppCP) return E_POINTER;
    *ppCP = nullptr;
    if (riid != DIID__IAudioControllerEvents) return CONNECT_E_NOCONNECTION;
    *ppCP = &m_cEvents;
    m_cEvents.AddRef();
    return S_OK;
}

HRESULT KAudioController::ProcessCommand(ECommand eCmd) {
    // A stopped engine has no devices and no threads left to obey.
    if (m_bDestroyed) return E_UNEXPECTED;
    KMaintenanceWaker waker(*this);
    KEngineLock scope(nullptr, m_cEventGate);
    return KStateMachine::ProcessCommand(eCmd);
}

HRESULT KAudioController::FinalConstruct() {
    HRESULT hr = S_OK;
    if (TQ_FAILED(hr, CreateObjects())) return hr;
    if (TQ_FAILED(hr, LoadSerialization())) return hr;
    if (TQ_FAILED(hr, InitPlay())) return hr;
    if (TQ_FAILED(hr, InitCapture())) {
        TQ_REPORT(EC_INTERNAL, hr, u" InitCapture failed");
    }

    UINT nMaxLength = 0;
    if (TQ_FAILED(hr, m_pSettings->GetMaxSongLength(&nMaxLength))) {
        TQ_REPORT(EC_INTERNAL, hr, u"Getting max song length from settings failed");
        return hr;
    }
    KTimecode maxLength = MaxSongLength(nMaxLength);
    ULONGLONG nWritePos = 0;
    if (TQ_FAILED(hr, m_pCache->GetWritePos(&nWritePos))) {
        TQ_REPORT(EC_INTERNAL, hr, u"Getting cache record position was failed");
        return hr;
    }
    {
        KEngineLock lock(m_detectorMutex, m_cEventGate);
        m_cSongDetector.SetListener(static_cast<IQXListener*>(this));
        if (TQ_FAILED(hr, m_cSongDetector.SetWindow(kSongWindowMs))) {
            TQ_REPORT(EC_INTERNAL, hr, u"Setting song detection window was failed");
            return hr;
        }
        m_cSongDetector.SetMaxLength(maxLength);
        // The next song begins where the loaded cache ends.
        m_cSongDetector.MarkBoundary(static_cast<LONGLONG>(nWritePos));
    }

    if (TQ_FAILED(hr, StartAllThreads())) return hr;
    if (TQ_FAILED(hr, SetProgramState())) return hr;
    // Errors met while the engine was being built are not the clients' to see.
    KErrorLog::Instance().ClearErrors();
    return S_OK;
}

KTimecode KAudioController::MaxSongLength(UINT nMinutes) {
    // A length that the minutes field cannot hold is spread over hours and
    // minutes, and held at the code's largest value beyond that.
    KTimecode maxLength;
    if (nMinutes >= 100 * 60) {
        maxLength.Set(99, 59, 59, 99);
    } else {
        maxLength.Set(static_cast<BYTE>(nMinutes / 60), static_cast<BYTE>(nMinutes % 60), 0, 0);
    }
    return maxLength;
}

HRESULT KAudioController::StartAllThreads() {
    m_replayBlock.assign(BYTES_TO_PLAY, 0);
    m_maintenance.block.assign(kDetectionBlock, 0);
    if (!m_components.startThreads) return S_OK;

    struct SThreadStart {
        plat::Thread& thread;
        HRESULT (*proc)(KAudioController*);
        const char* name;
    };
    const SThreadStart starts[] = {
        {m_hReplayThread, &ReplayThreadProc, "tq-replay"},
        {m_hMaintenanceThread, &MaintenanceThreadProc, "tq-maintenance"},
        {m_hCleanupThread, &PlaylistCleanupThreadProc, "tq-cleanup"},
        {m_hCaptureThread, &CaptureThreadProc, "tq-capture"},
        {m_hSilenceThread, &SilenceWriterThreadProc, "tq-silence"},
    };
    m_hMaintenanceThread.SetPriority(plat::ThreadPriority::Lowest);
    m_bThreadsStarted = true;
    for (const SThreadStart& start : starts) {
        auto proc = start.proc;
        if (TQ_FALSE(start.thread.Start([this, proc]() { return proc(this); }, start.name))) {
            HRESULT hr = plat::HResultFromLastError();
            TQ_REPORT(EC_INTERNAL, hr, u"Cannot start engine thread");
            StopAllThreads();
            return hr;
        }
    }
    return S_OK;
}

void KAudioController::StopThread(plat::Thread& thread, const char* name) {
    if (!thread.IsStarted()) return;
    if (!thread.Join(kThreadStopMs)) {
        // Forcing a thread off would leave locks and half-written blocks
        // behind: log the overrun and wait for it to see the exit event.
        TQ_TRACE_BOOL(name);
        TQ_REPORT(EC_INTERNAL, 0, u"Engine thread did not end in time");
        thread.Join(INFINITE);
    }
}

void KAudioController::StopAllThreads() {
    if (!m_bThreadsStarted.exchange(false)) return;
    m_hEventExit.Set();
    // A thread may be waiting for room in a player: a stopped player takes no
    // more, so the wait ends and the thread sees the exit event.
    for (IAudioPlayer* player : {m_pReplayPlayer.Get(), m_pLivePlayer.Get(), m_pLiveCapturePlayer.Get()})
        if (player) player->StopPlay();
    // The capture pump may wait for the capturer's next chunk (up to its
    // time-out when the device is gone): giving the capturer up is the
    // capturer's way to end that wait, and the pump, seeing the exit event,
    // does not open it again.
    if (m_pCapturer) m_pCapturer->Uninitialize();
    StopThread(m_hReplayThread, "m_hReplayThread");
    StopThread(m_hMaintenanceThread, "m_hMaintenanceThread");
    StopThread(m_hCleanupThread, "m_hCleanupThread");
    StopThread(m_hCaptureThread, "m_hCaptureThread");
    StopThread(m_hSilenceThread, "m_hSilenceThread");
}

HRESULT KAudioController::Destroy() {
    if (m_bDestroyed.exchange(true)) return S_OK;
    {
        // A settings update under way ends first; a folder switch that it
        // started runs to its end (its clients get CacheLoaded).
        std::lock_guard<std::mutex> settings(m_settingsUpdateLock);
        StopThread(m_hSwitchThread, "m_hSwitchThread");
    }
    // The threads end first, so nothing writes into the cache or plays while
    // the devices are released; the cache index is saved last, when no more
    // audio can arrive.
    StopAllThreads();
    {
        KEngineLock commands(m_stateMutex, m_cEventGate);
        ReleaseObjects();
        KEngineLock data(m_hDataMutex, m_cEventGate);
        m_bLivePlayerRunning = false;
        m_bLiveCapturePlayerRunning = false;
    }
    HRESULT hr = S_OK;
    // What the cache's writers still hold goes to its files first, so that the
    // index saved now covers every byte that was recorded.
    if (m_pCache && m_components.flushCache && TQ_FAILED(hr, m_components.flushCache(m_pCache.Get()))) {
        TQ_REPORT(EC_INTERNAL, hr, u"Cache flushing was failed");
    }
    if (m_pCache && TQ_FAILED(hr, m_pCache->Save())) {
        TQ_REPORT(EC_INTERNAL, hr, u"Cache saving was failed");
    }
    // Nothing feeds the detector any more: give back its reference, so that
    // the controller goes when its last client lets it go.
    KEngineLock lock(m_detectorMutex, m_cEventGate);
    m_cSongDetector.SetListener(nullptr);
    return S_OK;
}

HRESULT KAudioController::ReplayThreadProc(KAudioController* pThis) {
    TQ_CHECK_POINTER(pThis);
    return pThis->ReplayThread();
}

HRESULT KAudioController::MaintenanceThreadProc(KAudioController* pThis) {
    TQ_CHECK_POINTER(pThis);
    return pThis->MaintenanceThread();
}

HRESULT KAudioController::PlaylistCleanupThreadProc(KAudioController* pThis) {
    TQ_CHECK_POINTER(pThis);
    return pThis->PlaylistCleanupThread();
}

HRESULT KAudioController::CaptureThreadProc(KAudioController* pThis) {
    TQ_CHECK_POINTER(pThis);
    return pThis->CaptureThread();
}

HRESULT KAudioController::SilenceWriterThreadProc(KAudioController* pThis) {
    TQ_CHECK_POINTER(pThis);
    return pThis->SilenceWriterThread();
}

DWORD KAudioController::Snapshot() {
    KLock lock(m_hDataMutex);
    return GetState();
}
