// Taking over changed settings while the engine runs: the cache folder and
// size, the playback and recording devices, silence and the longest song.
#include <unistd.h>

#include <atomic>

#include "log/DirUtils.h"
#include "log/Trace.h"
#include "platform/com/Bstr.h"
#include "platform/fs/File.h"
#include "service/controller/KAudioController.h"
#include "service/controller/KCacheFolder.h"
#include "service/controller/KEngineLock.h"
#include "service/foundation/ByteTime.h"

namespace {

bool Has(DWORD state, EState flag) { return (state & static_cast<DWORD>(flag)) != 0; }

// Whether a device of the list answers to name (a part of its description,
// as the players choose).
bool IsListed(IAudioManager* devices, const std::u16string& name) {
    plat::Bstr device;
    for (HRESULT hr = devices->GetFirstDevice(device.Out()); hr == S_OK && device; hr = devices->GetNextDevice(device.Out()))
        if (plat::BstrToU16(device).find(name) != std::u16string::npos) return true;
    return false;
}

// The controller whose cache folder switch runs on this thread, if any: the
// switch's events reach in-process sinks on it, and a sink that answers with
// a settings update must not wait for an update that waits for this thread.
thread_local const KAudioController* t_switching = nullptr;

HRESULT Refuse(const char* what, const char16_t* message) {
    TQ_TRACE_HR(what);
    TQ_REPORT(EC_INTERNAL, E_INVALIDARG, message);
    return E_INVALIDARG;
}

}  // namespace

HRESULT KAudioController::UpdateSettings() {
    // The cache's size (and with it its start) or its folder may change.
    KMaintenanceWaker waker(*this);
    // One update at a time; no engine lock is held here, so the events of
    // the update (CacheLoading) reach the clients before it returns.
    std::unique_lock<std::mutex> one(m_settingsUpdateLock, std::defer_lock);
    if (t_switching == this) {
        // Whoever holds the update lock may be waiting for this very thread
        // to end (a folder change or Destroy): waiting here would hang both.
        if (!one.try_lock()) {
            TQ_TRACE_HR("HRESULT_FROM_WIN32(ERROR_BUSY)");
            TQ_REPORT(EC_INTERNAL, plat::HResultFromError(ERROR_BUSY),
                      u"Settings update from the cache switching thread while another update runs");
            return plat::HResultFromError(ERROR_BUSY);
        }
    } else {
        one.lock();
    }
    if (m_bDestroyed) return E_UNEXPECTED;
    // Every step runs; the first failure is the answer.
    HRESULT hrFirst = S_OK;
    HRESULT hr = S_OK;
    auto keep = [&hrFirst](HRESULT h) {
        if (SUCCEEDED(hrFirst)) hrFirst = h;
    };
    if (TQ_FAILED(hr, UpdateCacheSettings())) {
        TQ_REPORT(EC_INTERNAL, hr, u"UpdateCacheSettings failed");
        keep(hr);
    }
    if (TQ_FAILED(hr, UpdatePlaySettings())) {
        TQ_REPORT(EC_INTERNAL, hr, u"UpdatePlaySettings failed");
        keep(hr);
    }
    if (TQ_FAILED(hr, UpdateCaptureSettings())) {
        TQ_REPORT(EC_INTERNAL, hr, u"UpdateCaptureSettings failed");
        keep(hr);
    }
    if (TQ_FAILED(hr, UpdateSilenceSettings())) {
        TQ_REPORT(EC_INTERNAL, hr, u"UpdateSilenceSettings failed");
        keep(hr);
    }
    if (TQ_FAILED(hr, UpdateMaxSongLength())) keep(hr);
    return hrFirst;
}

HRESULT KAudioController::UpdateMaxSongLength() {
    HRESULT hr = S_OK;
    UINT nMaxLength = 0;
    if (TQ_FAILED(hr, m_pSettings->GetMaxSongLength(&nMaxLength))) {
        TQ_REPORT(EC_INTERNAL, hr, u"Getting max song length from settings failed");
        return hr;
    }
    if (nMaxLength < kMinSongLengthMinutes || nMaxLength > kMaxSongLengthMinutes)
        return Refuse("nMaxLength", u"Maximal song length is out of range");
    KEngineLock lock(m_detectorMutex, m_cEventGate);
    m_cSongDetector.SetMaxLength(MaxSongLength(nMaxLength));
    return S_OK;
}

// ---- Playback device -------------------------------------------------------

HRESULT KAudioController::OpenPlayers(BSTR bstrDevice) {
    struct SPlayer {
        IAudioPlayer* player;
        const char16_t* closing;
    };
    const SPlayer players[] = {
        {m_pLivePlayer.Get(), u"Live player uninitialisation was failed"},
        {m_pReplayPlayer.Get(), u"Replay player uninitialisation was failed"},
        {m_pLiveCapturePlayer.Get(), u"Live capturing player uninitialisation was failed"},
    };
    HRESULT hr = S_OK;
    // A player that cannot be closed is opened again all the same: opening
    // replaces its device.
    for (const SPlayer& p : players) {
        if (TQ_FAILED(hr, p.player->Uninitialize())) TQ_REPORT(EC_INTERNAL, hr, p.closing);
    }
    return InitializePlayers(bstrDevice);
}

HRESULT KAudioController::UpdatePlaySettings() {
    HRESULT hr = S_OK;
    plat::Bstr bstrDevice;
    if (TQ_FAILED(hr, m_pSettings->GetAudioDevice(bstrDevice.Out()))) {
        TQ_REPORT(EC_INTERNAL, hr, u"Getting audio device was failed");
        return hr;
    }
    plat::Bstr bstrUsed;
    if (TQ_FAILED(hr, m_pAudioManager->GetUsedDevice(bstrUsed.Out()))) {
        TQ_REPORT(EC_INTERNAL, hr, u"Getting used device was failed");
        return hr;
    }
    const std::u16string chosen = plat::BstrToU16(bstrDevice);
    const std::u16string used = plat::BstrToU16(bstrUsed);
    if (chosen.size() > kMaxDeviceNameLength) {
        m_pSettings->SetAudioDevice(bstrUsed);
        return Refuse("bstrDevice", u"Invalid name of audio device");
    }
    if (chosen.empty() || chosen == used) return S_OK;
    if (!IsListed(m_pAudioManager.Get(), chosen)) {
        // Nothing is closed for a device that is not there: the engine plays
        // on where it did, and the settings say so.
        TQ_TRACE_HR("E_FAIL");
        TQ_REPORT_FORMATTED(EC_NO_SUCH_DEVICE, E_FAIL, chosen);
        m_pSettings->SetAudioDevice(bstrUsed);
        return E_FAIL;
    }

    // The players are rebuilt with no command running (the command lock is
    // taken first, as every command takes it) and the state word is left as
    // it is: a pause and a play would not bring a live recording back to
    // live. What played before plays again on the new device.
    KEngineLock commands(m_stateMutex, m_cEventGate);
    bool bLive = false;
    bool bLiveCapture = false;
    {
        KEngineLock data(m_hDataMutex, m_cEventGate);
        bLive = m_bLivePlayerRunning;
        bLiveCapture = m_bLiveCapturePlayerRunning;
        m_bLivePlayerRunning = false;
        m_bLiveCapturePlayerRunning = false;
    }
    hr = OpenPlayers(bstrDevice);
    if (FAILED(hr) && !used.empty()) {
        // Back to the device that worked, and the settings say so.
        TQ_REPORT(EC_INTERNAL, hr, u"Playback device change failed: the previous device is kept");
        HRESULT hrBack = S_OK;
        if (TQ_FAILED(hrBack, OpenPlayers(bstrUsed))) {
            TQ_REPORT(EC_INTERNAL, hrBack, u"Previous playback device cannot be opened again");
        }
        m_pSettings->SetAudioDevice(bstrUsed);
    }

    KEngineLock data(m_hDataMutex, m_cEventGate);
    HRESULT hrStart = S_OK;
    if (bLive) {
        if (TQ_FAILED(hrStart, m_pLivePlayer->StartPlay())) {
            TQ_REPORT(EC_INTERNAL, hrStart, u"Live player start playing was failed");
        } else {
            m_bLivePlayerRunning = true;
        }
    }
    if (bLiveCapture) {
        if (TQ_FAILED(hrStart, m_pLiveCapturePlayer->StartPlay())) {
            TQ_REPORT(EC_INTERNAL, hrStart, u"Live capturing player start playing was failed");
        } else {
            m_bLiveCapturePlayerRunning = true;
        }
    }
    DWORD dwState = GetState();
    if (Has(dwState, _esReplay) && Has(dwState, _esPlay)) {
        // The replay thread goes on with its next block on the new player.
        HRESULT hrReplay = S_OK;
        if (TQ_FAILED(hrReplay, m_pReplayPlayer->StartPlay())) {
            TQ_REPORT(EC_INTERNAL, hrReplay, u"Replay player start playing was failed");
            if (SUCCEEDED(hr)) hr = hrReplay;
        }
        m_hEventWakeUp.Set();
    }
    return hr;
}

// ---- Recording device ------------------------------------------------------

HRESULT KAudioController::UpdateCaptureSettings() {
    HRESULT hr = S_OK;
    plat::Bstr bstrDevice;
    if (TQ_FAILED(hr, m_pSettings->GetCaptureDevice(bstrDevice.Out()))) {
        TQ_REPORT(EC_INTERNAL, hr, u"Getting capture device was failed");
        return hr;
    }
    plat::Bstr bstrUsed;
    if (TQ_FAILED(hr, m_pCaptureManager->GetUsedDevice(bstrUsed.Out()))) {
        TQ_REPORT(EC_INTERNAL, hr, u"Getting used capture device was failed");
        return hr;
    }
    LONG bWriteFromRecordDevice = FALSE;
    if (TQ_FAILED(hr, m_pSettings->GetWriteFromRecordDeviceState(&bWriteFromRecordDevice))) {
        TQ_REPORT(EC_INTERNAL, hr, u"Getting information from settings was failed");
        return hr;
    }
    const std::u16string chosen = plat::BstrToU16(bstrDevice);
    const std::u16string used = plat::BstrToU16(bstrUsed);
    HRESULT hrResult = S_OK;
    if (chosen.size() > kMaxDeviceNameLength) {
        m_pSettings->SetCaptureDevice(bstrUsed);
        hrResult = Refuse("bstrDevice", u"Invalid name of capture device");
    } else if (!chosen.empty() && chosen != used) {
        // Park the pump: with its event reset it starts no pass and does not
        // open the capturer again; giving the capturer up ends a wait for
        // data. Once the pump is out of its pass (its lock is free) the
        // capturer is rebuilt; the pump sizes its own block to the new buffer.
        m_hEventCapture.ResetEvent();
        if (TQ_FAILED(hr, m_pCapturer->Uninitialize())) {
            TQ_REPORT(EC_INTERNAL, hr, u"Capturer uninitialisation was failed");
        }
        std::lock_guard<std::mutex> parked(m_capturePassLock);
        if (TQ_FAILED(hr, m_pCapturer->Initialize(m_cWaveFormat, bstrDevice))) {
            TQ_REPORT(EC_INTERNAL, hr, u"Capturer initialisation was failed");
            hrResult = hr;
            if (!used.empty()) {
                HRESULT hrBack = S_OK;
                if (TQ_FAILED(hrBack, m_pCapturer->Initialize(m_cWaveFormat, bstrUsed))) {
                    TQ_REPORT(EC_INTERNAL, hrBack, u"Previous capture device cannot be opened again");
                }
                m_pSettings->SetCaptureDevice(bstrUsed);
            }
        }
    }
    if (bWriteFromRecordDevice) {
        // Capturing before the pump is let go: its first read finds data at
        // once rather than waiting out its time-out on a stopped buffer.
        if (TQ_FAILED(hr, m_pCapturer->StartCapture())) {
            TQ_REPORT(EC_INTERNAL, hr, u"Start capturing was failed");
            if (SUCCEEDED(hrResult)) hrResult = hr;
        }
        m_hEventCapture.Set();
    } else {
        m_hEventCapture.ResetEvent();
        if (TQ_FAILED(hr, m_pCapturer->StopCapture())) {
            TQ_REPORT(EC_INTERNAL, hr, u"Stop capturing was failed");
            if (SUCCEEDED(hrResult)) hrResult = hr;
        }
    }
    return hrResult;
}

HRESULT KAudioController::UpdateSilenceSettings() {
    HRESULT hr = S_OK;
    LONG bWriteSilence = FALSE;
    if (TQ_FAILED(hr, m_pSettings->GetWriteSilenceState(&bWriteSilence))) {
        TQ_REPORT(EC_INTERNAL, hr, u"Getting information from settings was failed");
        return hr;
    }
    if (bWriteSilence) {
        // Counting starts now, not when silence was last written.
        if (!m_hEventSilence.IsSet()) m_dwLastSilenceTick = plat::GetTickCount();
        m_hEventSilence.Set();
    } else {
        m_hEventSilence.ResetEvent();
        m_dwLastSilenceTick = 0;
    }
    return S_OK;
}

// ---- Cache folder and size -------------------------------------------------

HRESULT KAudioController::CheckCacheFolder(const std::u16string& folder) {
    if (folder.empty() || folder[0] != plat::kPathSeparator)
        return Refuse("bstrNewCacheDir", u"Cache folder must be a full path");
    const std::u16string dataDir = plat::WithTrailingSeparator(folder) + cacheFolder::kDataFolder;
    // What is made here for a folder that is then refused goes again, its
    // parents included.
    const std::vector<std::u16string> made = cacheFolder::MissingFolders(dataDir);
    const dirUtils::FolderProbe probe = dirUtils::probeFolder(dataDir, cacheFolder::kWriteProbe);
    if (probe.fault == dirUtils::FolderFault::kCannotCreate) {
        cacheFolder::RemoveFolders(made);
        TQ_TRACE_BOOL("dirUtils::createDirRecursive(strNewDir + _T(\"QXCache\\\\\"))");
        TQ_REPORT_SYSTEM(EC_CREATE_FOLDER, probe.error, dataDir);
        return plat::HResultFromError(probe.error);
    }
    HRESULT hr = S_OK;
    if (probe.fault == dirUtils::FolderFault::kCannotWrite) {
        TQ_TRACE_BOOL("CreateFile(strProbe)");
        TQ_REPORT_SYSTEM(EC_OPEN_FILE, probe.error, dataDir + cacheFolder::kWriteProbe);
        hr = plat::HResultFromError(probe.error);
    } else {
        hr = CheckRoomOnDisk(folder);
    }
    // A refused folder keeps nothing of ours.
    if (FAILED(hr)) cacheFolder::RemoveFolders(made);
    return hr;
}

HRESULT KAudioController::UpdateCacheSettings() {
    HRESULT hr = S_OK;
    plat::Bstr bstrNewCacheDir;
    if (TQ_FAILED(hr, m_pSettings->GetCacheDir(bstrNewCacheDir.Out()))) return hr;
    plat::Bstr bstrOldCacheDir;
    if (TQ_FAILED(hr, m_pCache->GetCacheDir(bstrOldCacheDir.Out()))) return hr;
    const std::u16string newDir = plat::BstrToU16(bstrNewCacheDir);
    const std::u16string oldDir = plat::BstrToU16(bstrOldCacheDir);

    // A trailing separator more or less names the same folder.
    if (newDir.empty() || plat::WithTrailingSeparator(newDir) != plat::WithTrailingSeparator(oldDir)) {
        // A client that answers the switch's own events on its thread
        // changes the folder only once that thread is done.
        if (m_bSwitching || t_switching == this) {
            TQ_TRACE_HR("HRESULT_FROM_WIN32(ERROR_BUSY)");
            TQ_REPORT(EC_INTERNAL, plat::HResultFromError(ERROR_BUSY), u"The cache folder is being switched");
            return plat::HResultFromError(ERROR_BUSY);
        }
        if (FAILED(hr = CheckCacheFolder(newDir))) {
            // The settings name the folder in use again, so that they are
            // never saved with one the engine cannot use.
            m_pSettings->SetCacheDir(bstrOldCacheDir);
            return hr;
        }
        // The last switch has ended (m_bSwitching is clear): its thread is
        // only collected here.
        m_hSwitchThread.Join();
        m_bSwitching = true;
        RaiseCacheLoading();
        const std::u16string target = plat::WithTrailingSeparator(newDir);
        if (TQ_FALSE(m_hSwitchThread.Start(
                [this, target]() {
                    t_switching = this;
                    const HRESULT hrSwitch = SwitchCacheFolder(target);
                    t_switching = nullptr;
                    return hrSwitch;
                },
                "tq-cache-switch"))) {
            hr = plat::HResultFromLastError();
            TQ_REPORT(EC_INTERNAL, hr, u"Cannot start cache switching thread");
            m_bSwitching = false;
            m_pSettings->SetCacheDir(bstrOldCacheDir);
            RaiseCacheLoaded(0);
            return hr;
        }
        return S_OK;
    }

    ULONG dwCacheSize = 0;
    if (TQ_FAILED(hr, m_pSettings->GetCacheSize(&dwCacheSize))) {
        TQ_REPORT(EC_INTERNAL, hr, u"Getting cache size was failed");
        return hr;
    }
    if (dwCacheSize < kMinCacheSizeMs || dwCacheSize > kMaxCacheSizeMs)
        return Refuse("dwCacheSize", u"Cache size is out of range");
    if (TQ_FAILED(hr, m_pCache->SetSize(static_cast<ULONGLONG>(MillisecondsToBytes(dwCacheSize, kByteRate))))) {
        TQ_REPORT(EC_INTERNAL, hr, u"Setting cache size was failed");
        return hr;
    }
    return S_OK;
}

void KAudioController::EmptyPlaylistInMemory() {
    // Song by song: clearing would delete the playlist file of the folder
    // the list was loaded from.
    std::vector<GUID> guids;
    GUID guid = GUID_NULL;
    for (HRESULT hr = m_pPlaylist->First(&guid); hr == S_OK && guid != GUID_NULL; hr = m_pPlaylist->Next(&guid))
        guids.push_back(guid);
    for (const GUID& id : guids) m_pPlaylist->Delete(id);
}

void KAudioController::AnnounceSongs() {
    HRESULT hr = S_OK;
    GUID guid = GUID_NULL;
    if (TQ_FAILED(hr, m_pPlaylist->First(&guid))) {
        TQ_REPORT(EC_INTERNAL, hr, u"Getting first song in playlist was failed");
    }
    if (hr != S_OK) return;
    for (;;) {
        plat::ComPtr<ISong> pSong;
        if (TQ_FAILED(hr, m_pPlaylist->Get(guid, pSong.ReleaseAndGetAddressOf()))) {
            TQ_REPORT(EC_INTERNAL, hr, u"Getting song from playlist was failed");
        }
        // A sink that fails is logged where the event is delivered; the
        // other songs are announced all the same.
        if (pSong) RaiseSongDetected(guid);
        if (m_pPlaylist->Next(&guid) != S_OK) break;
    }
}

HRESULT KAudioController::SwitchCacheFolder(const std::u16string& newDir) {
    KMaintenanceWaker waker(*this);  // declared first: it wakes the pass once the locks are let go
    // No maintenance or clean-up pass runs meanwhile (they would save the
    // playlist into the wrong folder or delete songs against the wrong
    // cache), and no command changes the state before the new cache is in.
    std::unique_lock<std::shared_mutex> passes(m_passLock);
    KEngineLock commands(m_stateMutex, m_cEventGate);
    // The switch counts as over before its events are let out with the
    // command lock (CacheLoaded, then one SongDetected per song of the new
    // folder): a client that changes the folder again as soon as CacheLoaded
    // comes is not told that a switch runs.
    struct SwitchEnd {
        std::atomic<bool>& flag;
        ~SwitchEnd() { flag = false; }
    } switchEnd{m_bSwitching};
    HRESULT hr = S_OK;
    plat::Bstr bstrOldCacheDir;
    if (TQ_FAILED(hr, m_pCache->GetCacheDir(bstrOldCacheDir.Out()))) {
        // Clients that wait for the load are let go all the same.
        RaiseCacheLoaded(0);
        return hr;
    }
    if (GetState() & _esRec) {
        if (TQ_FAILED(hr, ProcessCommand(_ecStop))) {
            TQ_REPORT(EC_INTERNAL, hr, u"Stop command was failed");
        }
    }

    // Audio still on its way to the old folder's files gets there before the
    // index is saved and the folder changes.
    if (m_components.flushCache && TQ_FAILED(hr, m_components.flushCache(m_pCache.Get()))) {
        TQ_REPORT(EC_INTERNAL, hr, u"Cache flushing was failed");
    }
    LONG bCacheEmpty = FALSE;
    ULONG nSongs = 1;
    bool bNothingKept = SUCCEEDED(m_pCache->IsEmpty(&bCacheEmpty)) && bCacheEmpty &&
                        SUCCEEDED(m_pPlaylist->Count(&nSongs)) && nSongs == 0;
    if (bNothingKept) {
        m_pPlaylist->Clear();
        m_pCache->Clear(TRUE);
        if (TQ_FAILED(hr, cacheFolder::DeleteOwnFiles(plat::BstrToU16(bstrOldCacheDir)))) {
            TQ_REPORT(EC_INTERNAL, hr, u"Old cache folder was not removed");
        }
    } else {
        // The old folder keeps a complete cache that a switch back loads again.
        if (TQ_FAILED(hr, m_pCache->Save())) TQ_REPORT(EC_INTERNAL, hr, u"Cache saving was failed");
        if (TQ_FAILED(hr, m_pPlaylist->Save())) TQ_REPORT(EC_INTERNAL, hr, u"Playlist saving was failed");
    }
    {
        KEngineLock detector(m_detectorMutex, m_cEventGate);
        m_cSongDetector.Reset();
    }
    RaiseClearPlayList();
    // The old songs leave the list before anything of the new folder is
    // read: none of them may ever be saved there.
    EmptyPlaylistInMemory();

    plat::Bstr bstrNewCacheDir(newDir);
    if (m_pCache->SetCacheDir(bstrNewCacheDir) == S_OK) {
        if (TQ_FAILED(hr, m_pPlaylist->SetPlayListDir(bstrNewCacheDir))) TQ_REPORT(EC_INTERNAL, hr, u"");
    } else {
        TQ_REPORT(EC_INTERNAL, E_FAIL, u"New cache folder was not taken");
        plat::Bstr chacheDir;
        if (TQ_FAILED(hr, m_pCache->GetCacheDir(chacheDir.Out()))) TQ_REPORT(EC_INTERNAL, hr, u"");
        if (TQ_FAILED(hr, m_pSettings->SetCacheDir(chacheDir))) TQ_REPORT(EC_INTERNAL, hr, u"");
        if (TQ_FAILED(hr, m_pPlaylist->SetPlayListDir(chacheDir))) TQ_REPORT(EC_INTERNAL, hr, u"");
    }
    const HRESULT hrPlaylist = m_pPlaylist->Load();
    LoadCache();
    // The maintenance thread starts over on the new cache's positions.
    m_maintenance.bReady = false;
    m_dwCleanupStartMs = 0;
    // A playlist file that did not load whole (a damaged song left out, a
    // record the loader does not know, a cut stream) still gives the songs
    // it could read, and the list holds them: clients are told of every one,
    // or they would show a list without songs the engine keeps and saves.
    // The load has reported the damage; the trace says the switch went on.
    ULONG nLoaded = 0;
    if (FAILED(m_pPlaylist->Count(&nLoaded))) nLoaded = 0;
    if (hrPlaylist != S_OK && nLoaded > 0) TQ_TRACE_HR("m_pPlaylist->Load()");
    if (nLoaded > 0) AnnounceSongs();
    return S_OK;
}
