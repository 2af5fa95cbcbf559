// Building, loading, opening and releasing the controller's components.
#include "log/Trace.h"
#include "platform/com/Bstr.h"
#include "platform/sound/SoundNotice.h"
#include "service/controller/KAudioController.h"
#include "service/controller/KCacheFolder.h"
#include "service/controller/KEngineLock.h"
#include "service/foundation/ByteTime.h"

namespace {

// The byte count of 16384 ms of the engine stream (3 MiB): the room a loaded
// cache that already holds its configured size is given on top.
constexpr LONGLONG kCacheHeadroom100ns = 163840000;

}  // namespace

HRESULT KAudioController::CreateObjects() {
    if (TQ_FALSE(m_hEventWakeUp.IsValid() && m_hEventExit.IsValid() && m_hEventCapture.IsValid() &&
                 m_hEventSilence.IsValid() && m_hMaintenanceWake.IsValid())) {
        TQ_REPORT(EC_INTERNAL, 0, u"Cannot create engine events");
        return E_OUTOFMEMORY;
    }

    // A sound server that goes away and comes back (the players and the
    // capturer run on meanwhile and reopen their devices) is told in the log,
    // once as it goes and once as it is back.
    plat::SetSoundNoticeSink([](const std::u16string& text) { TQ_REPORT(EC_SDK, 0, text); });

    m_cWaveFormat.wFormatTag = WAVE_FORMAT_PCM;
    m_cWaveFormat.nChannels = 2;
    m_cWaveFormat.nSamplesPerSec = 48000;
    m_cWaveFormat.nAvgBytesPerSec = kByteRate;
    m_cWaveFormat.nBlockAlign = 4;
    m_cWaveFormat.wBitsPerSample = 16;
    m_cWaveFormat.cbSize = 0;

    const KControllerComponents& c = m_components;
    if (c.createPlaylist) m_pPlaylist = c.createPlaylist();
    if (c.createSettings) m_pSettings = c.createSettings();
    if (c.createCache) m_pCache = c.createCache();
    if (c.createPlayer) {
        m_pLivePlayer = c.createPlayer(true);
        m_pLiveCapturePlayer = c.createPlayer(true);
        m_pReplayPlayer = c.createPlayer(false);
    }
    if (c.createCapturer) m_pCapturer = c.createCapturer();

    if (!(m_pPlaylist && m_pCache && m_pSettings && m_pLivePlayer && m_pLiveCapturePlayer && m_pReplayPlayer &&
          m_pCapturer)) {
        DWORD dwError = plat::GetLastError();
        TQ_TRACE_BOOL("m_pPlaylist && m_pCache && m_pSettings && m_pLivePlayer && m_pLiveCapturePlayer && "
                      "m_pReplayPlayer && m_pCapturer");
        TQ_REPORT(EC_INTERNAL, 0, u"Cannot create COM-object");
        return plat::HResultFromError(dwError);
    }

    HRESULT hr = S_OK;
    if (TQ_FAILED(hr, m_pLivePlayer->QueryInterface(IID_IAudioManager, (void**)m_pAudioManager.ReleaseAndGetAddressOf()))) {
        TQ_REPORT(EC_INTERNAL, hr, u"Getting audio manager interface was failed");
        return hr;
    }
    if (TQ_FAILED(hr, m_pCapturer->QueryInterface(IID_ICaptureManager, (void**)m_pCaptureManager.ReleaseAndGetAddressOf()))) {
        TQ_REPORT(EC_INTERNAL, hr, u"Getting capture manager interface was failed");
        return hr;
    }
    return S_OK;
}

HRESULT KAudioController::LoadSerialization() {
    HRESULT hr = S_OK;
    if (TQ_FAILED(hr, m_pSettings->LoadSettings())) {
        TQ_REPORT(EC_INTERNAL, hr, u" Settings loading failed");
    }
    plat::Bstr bstrNewCacheDir;
    if (TQ_FAILED(hr, m_pSettings->GetCacheDir(bstrNewCacheDir.Out()))) return hr;
    // A kill in the middle of a save leaves its unfinished files beside the
    // stored data; nothing else writes there before this engine does.
    const std::u16string cacheDir = plat::BstrToU16(bstrNewCacheDir);
    if (!cacheDir.empty()) cacheFolder::RemoveLeftovers(plat::WithTrailingSeparator(cacheDir) + cacheFolder::kDataFolder);

    if (m_pCache->SetCacheDir(bstrNewCacheDir) == S_OK) {
        if (TQ_FAILED(hr, m_pPlaylist->SetPlayListDir(bstrNewCacheDir))) {
            TQ_REPORT(EC_INTERNAL, hr, u"");
        }
    } else {
        // The folder cannot be used: settings and playlist follow the folder
        // that the cache goes on using.
        plat::Bstr chacheDir;
        if (TQ_FAILED(hr, m_pCache->GetCacheDir(chacheDir.Out()))) {
            TQ_REPORT(EC_INTERNAL, hr, u"");
        }
        if (TQ_FAILED(hr, m_pSettings->SetCacheDir(chacheDir))) {
            TQ_REPORT(EC_INTERNAL, hr, u"");
        }
        if (TQ_FAILED(hr, m_pPlaylist->SetPlayListDir(chacheDir))) {
            TQ_REPORT(EC_INTERNAL, hr, u"");
        }
    }
    if (TQ_FAILED(hr, LoadCache())) return hr;
    if (TQ_FAILED(hr, m_pPlaylist->Load())) {
        TQ_REPORT(EC_INTERNAL, hr, u"Playlist loading was failed");
    }
    return S_OK;
}

HRESULT KAudioController::LoadCache() {
    HRESULT hr = S_OK;
    if (TQ_FAILED(hr, m_pCache->Load())) {
        TQ_REPORT(EC_INTERNAL, hr, u"Cache loading failed");
    }
    DWORD dwNewCacheSize = 0;
    ULONG dwCacheSize = 0;
    if (TQ_FAILED(hr, m_pSettings->GetCacheSize(&dwCacheSize))) {
        // Without the configured size the cache keeps the size it has.
        TQ_REPORT(EC_INTERNAL, hr, u"Getting cache size was failed");
    } else {
        ULONGLONG llSize = static_cast<ULONGLONG>(MillisecondsToBytes(dwCacheSize, kByteRate));
        ULONGLONG llTimeFullness = 0;
        if (FAILED(m_pCache->GetTimeFullness(&llTimeFullness))) llTimeFullness = 0;
        if (llSize > llTimeFullness) {
            if (TQ_FAILED(hr, m_pCache->SetSize(llSize))) {
                TQ_REPORT(EC_INTERNAL, hr, u"Setting cache size was failed");
            }
        } else {
            // The loaded cache already holds the configured size: it grows
            // by three data files rather than drop what it holds.
            llTimeFullness += static_cast<ULONGLONG>(static_cast<double>(kCacheHeadroom100ns) / 10000000.0 *
                                                     static_cast<double>(kByteRate));
            if (TQ_FAILED(hr, m_pCache->SetSize(llTimeFullness))) {
                TQ_REPORT(EC_INTERNAL, hr, u"Setting cache size was failed");
            }
            dwNewCacheSize = SaturateToDword(BytesToMilliseconds(llTimeFullness, kByteRate));
            m_pSettings->SetCacheSize(dwNewCacheSize);
        }
    }
    RaiseCacheLoaded(dwNewCacheSize);
    return S_OK;
}

HRESULT KAudioController::InitializePlayers(BSTR bstrDevice) {
    struct SOpening {
        IAudioPlayer* player;
        const char16_t* failure;
        HRESULT hr;
    };
    SOpening openings[] = {
        {m_pLivePlayer.Get(), u"Live player initialisation was failed", S_OK},
        {m_pReplayPlayer.Get(), u"Replay player initialisation was failed", S_OK},
        {m_pLiveCapturePlayer.Get(), u"Live capturing player initialisation was failed", S_OK},
    };
    auto open = [this, bstrDevice](SOpening& o) { return o.hr = o.player->Initialize(m_cWaveFormat, bstrDevice); };
    plat::Thread helpers[2];
    bool helped[2] = {false, false};
    for (int i = 0; i < 2; ++i) {
        SOpening* o = &openings[i + 1];
        helped[i] = helpers[i].Start([&open, o]() { return open(*o); }, "tq-open-player");
    }
    open(openings[0]);
    for (int i = 0; i < 2; ++i) {
        // Without a thread of its own a player is opened here, after the others.
        if (helped[i])
            helpers[i].Join();
        else
            open(openings[i + 1]);
    }
    HRESULT hrFirst = S_OK;
    for (const SOpening& o : openings) {
        if (SUCCEEDED(o.hr)) continue;
        TQ_TRACE_HR("player->Initialize(m_cWaveFormat, bstrDevice)");
        TQ_REPORT(EC_INTERNAL, o.hr, o.failure);
        if (SUCCEEDED(hrFirst)) hrFirst = o.hr;
    }
    return hrFirst;
}

HRESULT KAudioController::InitPlay() {
    HRESULT hr = S_OK;
    plat::Bstr bstrAD;
    if (TQ_FAILED(hr, m_pSettings->GetAudioDevice(bstrAD.Out()))) {
        TQ_REPORT(EC_INTERNAL, hr, u"Getting audio device from settings was failed");
        bstrAD = plat::Bstr();
    }
    if (bstrAD.Length() != 0) {
        // A named device that is missing keeps its name: the players stay
        // silent until the settings name a device that is there.
        InitializePlayers(bstrAD);
    } else {
        plat::Bstr bstrDevice;
        if (TQ_FAILED(hr, m_pAudioManager->GetFirstDevice(bstrDevice.Out()))) {
            TQ_REPORT(EC_INTERNAL, hr, u"Getting first audio device was failed");
        }
        if (bstrDevice.Length() == 0) {
            TQ_TRACE_HR("E_FAIL");
            TQ_REPORT(EC_NO_PLAY_DEVICE, E_FAIL, u"");
            return E_FAIL;
        }
        plat::Bstr strDev(bstrDevice);
        InitializePlayers(strDev);
        TQ_TRACE_HR("E_FAIL");
        TQ_REPORT(EC_INTERNAL, E_FAIL, u" Initialize device done");
        if (TQ_FAILED(hr, m_pSettings->SetAudioDevice(bstrDevice))) {
            TQ_REPORT(EC_INTERNAL, hr, u"Setting audio device to settings was failed");
        }
    }
    if (TQ_FAILED(hr, m_pCache->SetLive(TRUE))) {
        TQ_REPORT(EC_INTERNAL, hr, u"Setting cache state live was failed");
    }
    m_pLiveCapturePlayer->StartPlay();
    m_pLivePlayer->StartPlay();
    KEngineLock lock(m_hDataMutex, m_cEventGate);
    m_bLiveCapturePlayerRunning = true;
    m_bLivePlayerRunning = true;
    return S_OK;
}

HRESULT KAudioController::InitCapture() {
    HRESULT hr = S_OK;
    plat::Bstr bstrCD;
    if (TQ_FAILED(hr, m_pSettings->GetCaptureDevice(bstrCD.Out()))) {
        TQ_REPORT(EC_INTERNAL, hr, u"Getting capture device from settings was failed");
        bstrCD = plat::Bstr();
    }
    if (bstrCD.Length() != 0) {
        if (TQ_FAILED(hr, m_pCapturer->Initialize(m_cWaveFormat, bstrCD))) {
            TQ_REPORT(EC_INTERNAL, hr, u"Capture device initialisation was failed");
            return hr;
        }
        if (TQ_FAILED(hr, m_pCapturer->StartCapture())) {
            TQ_REPORT(EC_INTERNAL, hr, u"Capture device: start capturing was failed");
            return hr;
        }
    } else {
        plat::Bstr bstrDevice;
        if (TQ_FAILED(hr, m_pCaptureManager->GetFirstDevice(bstrDevice.Out()))) {
            TQ_REPORT(EC_INTERNAL, hr, u"Getting first capture device was failed");
        }
        if (bstrDevice.Length() == 0) {
            TQ_TRACE_HR("E_FAIL");
            TQ_REPORT(EC_NO_CAPTURE_DEVICE, E_FAIL, u"");
            return E_FAIL;
        }
        plat::Bstr strDev(bstrDevice);
        if (TQ_FAILED(hr, m_pCapturer->Initialize(m_cWaveFormat, strDev))) {
            TQ_REPORT(EC_INTERNAL, hr, u"Capture device initialisation was failed");
            return hr;
        }
        if (TQ_FAILED(hr, m_pCapturer->StartCapture())) {
            TQ_REPORT(EC_INTERNAL, hr, u"Capture device: start capturing was failed");
            return hr;
        }
        if (TQ_FAILED(hr, m_pSettings->SetCaptureDevice(bstrDevice))) {
            TQ_REPORT(EC_INTERNAL, hr, u"Setting capture device to settings was failed");
            return hr;
        }
    }
    FitCaptureBlock();
    return S_OK;
}

HRESULT KAudioController::SetProgramState() {
    HRESULT hr = S_OK;
    LONG bWriteFromRecordDevice = FALSE;
    if (TQ_FAILED(hr, m_pSettings->GetWriteFromRecordDeviceState(&bWriteFromRecordDevice))) {
        TQ_REPORT(EC_INTERNAL, hr, u"Getting information from settings was failed");
        return hr;
    }
    if (bWriteFromRecordDevice) {
        m_hEventCapture.Set();
    } else if (m_pCaptureSubBuffer.size() != 0 && TQ_FAILED(hr, m_pCapturer->StopCapture())) {
        // Nothing reads the recording device: it is not kept capturing for
        // nothing (as after a settings change that turns it off).
        TQ_REPORT(EC_INTERNAL, hr, u"Stop capturing was failed");
    }
    LONG bWriteSilence = FALSE;
    if (TQ_FAILED(hr, m_pSettings->GetWriteSilenceState(&bWriteSilence))) {
        TQ_REPORT(EC_INTERNAL, hr, u"Getting information from settings was failed");
        return hr;
    }
    if (bWriteSilence) {
        m_dwLastSilenceTick = plat::GetTickCount();
        m_hEventSilence.Set();
    }
    return S_OK;
}

void KAudioController::ReleaseObjects() {
    HRESULT hr = S_OK;
    if (m_pLivePlayer) {
        if (TQ_FAILED(hr, m_pLivePlayer->StopPlay())) {
            TQ_REPORT(EC_INTERNAL, hr, u"Live player stop playing was failed");
        }
        if (TQ_FAILED(hr, m_pLivePlayer->Uninitialize())) {
            TQ_REPORT(EC_INTERNAL, hr, u"Live player uninitialisation was failed");
        }
    }
    if (m_pReplayPlayer) {
        if (TQ_FAILED(hr, m_pReplayPlayer->StopPlay())) {
            TQ_REPORT(EC_INTERNAL, hr, u"Replay player stop playing was failed");
        }
        if (TQ_FAILED(hr, m_pReplayPlayer->Uninitialize())) {
            TQ_REPORT(EC_INTERNAL, hr, u"Replay player uninitialisation was failed");
        }
    }
    if (m_pLiveCapturePlayer) {
        if (TQ_FAILED(hr, m_pLiveCapturePlayer->StopPlay())) {
            TQ_REPORT(EC_INTERNAL, hr, u"Live capturing player stop playing was failed");
        }
        if (TQ_FAILED(hr, m_pLiveCapturePlayer->Uninitialize())) {
            TQ_REPORT(EC_INTERNAL, hr, u"Live capturing player uninitialisation was failed");
        }
    }
    if (m_pCapturer) {
        if (TQ_FAILED(hr, m_pCapturer->StopCapture())) {
            TQ_REPORT(EC_INTERNAL, hr, u"Stop capturing was failed");
        }
        if (TQ_FAILED(hr, m_pCapturer->Uninitialize())) {
            TQ_REPORT(EC_INTERNAL, hr, u"Capturer uninitialisation was failed");
        }
    }
}
