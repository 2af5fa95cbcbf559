// The replay, maintenance and playlist clean-up threads, and song finding.
#include <algorithm>
#include <cstring>

#include "log/Trace.h"
#include "platform/sound/SoundTypes.h"
#include "service/controller/KAudioController.h"
#include "service/controller/KEngineLock.h"
#include "service/foundation/ByteTime.h"

// ---- Replay ---------------------------------------------------------------

void KAudioController::ReplayPass() {
    if (m_replayBlock.size() != BYTES_TO_PLAY) m_replayBlock.assign(BYTES_TO_PLAY, 0);
    HRESULT hr = S_OK;
    if (TQ_FAILED(hr, m_pCache->Read(BYTES_TO_PLAY, m_replayBlock.data()))) {
        TQ_REPORT(EC_INTERNAL, hr, u"Reading from cache was failed");
        // Silence rather than the previous block once more; and a short rest
        // so that a cache that keeps failing is not read in a tight loop.
        std::fill(m_replayBlock.begin(), m_replayBlock.end(), 0);
        m_hEventExit.Wait(kReadFailureRestMs);
    }
    if (TQ_FAILED(hr, m_pReplayPlayer->PlayData(BYTES_TO_PLAY, m_replayBlock.data()))) {
        TQ_REPORT(EC_INTERNAL, hr, u"Replay player data playing was failed");
        // The block was not heard: rest for as long as it would have played,
        // so that a player that keeps failing neither races the replay
        // through the cache nor fills the log. A stop ends the rest at once.
        plat::ClockWaitAny({&m_hEventExit}, kReplayBlockMs);
    }
    EnsureReplaying();
    for (UINT nIndex : {PLAY_DEVICE_BUFFER, RECORD_DEVICE_BUFFER, SILENCE_BUFFER}) {
        LONG bLive = FALSE;
        if (TQ_FAILED(hr, m_pCache->IsLive(nIndex, &bLive))) {
            TQ_REPORT(EC_INTERNAL, hr, u"Getting cache state live was failed");
            return;  // counts as not live
        }
        if (!bLive) return;
    }
    // Replay has caught up with the recording: back to live.
    if (TQ_FAILED(hr, ProcessCommand(_ecLive))) {
        TQ_REPORT(EC_INTERNAL, hr, u"Live command was failed");
    }
}

void KAudioController::EnsureReplaying() {
    // A player that does not play yet takes a block at once, and the next
    // block would overwrite it: once it holds a block it is started, so that
    // it paces the replay from then on. Under the command lock, so that a
    // pause or a return to live cannot come in between and be undone.
    ULONG dwStatus = 0;
    if (FAILED(m_pReplayPlayer->GetStatus(&dwStatus)) || (dwStatus & plat::DSBSTATUS_PLAYING)) return;
    KEngineLock commands(m_stateMutex, m_cEventGate);
    DWORD dwState = GetState();
    if ((dwState & _esReplay) && (dwState & _esPlay) && m_hEventWakeUp.IsSet()) m_pReplayPlayer->StartPlay();
}

HRESULT KAudioController::ReplayThread() {
    for (;;) {
        DWORD r = plat::WaitAny({&m_hEventExit, &m_hEventWakeUp}, INFINITE);
        if (r == plat::WAIT_OBJECT_0) return S_OK;
        if (r != plat::WAIT_OBJECT_0 + 1) {
            TQ_TRACE_BOOL("WaitForMultipleObjects");
            TQ_REPORT(EC_INTERNAL, 0, u"WaitForMultipleObjects failed");
            return S_OK;
        }
        // A pause or live command may have parked the thread while it waited.
        if (!m_hEventWakeUp.IsSet()) continue;
        ReplayPass();
    }
}

// ---- Maintenance and song finding ------------------------------------------

bool KAudioController::GetDetectionWritePos(ULONGLONG* pPos) {
    HRESULT hr = S_OK;
    LONG bPlay = FALSE;
    LONG bRecord = FALSE;
    if (TQ_FAILED(hr, m_pSettings->GetWriteFromPlayDeviceState(&bPlay)) ||
        TQ_FAILED(hr, m_pSettings->GetWriteFromRecordDeviceState(&bRecord))) {
        TQ_REPORT(EC_INTERNAL, hr, u"Getting information from settings was failed");
        return false;
    }
    UINT nIndex = bPlay ? PLAY_DEVICE_BUFFER : bRecord ? RECORD_DEVICE_BUFFER : SILENCE_BUFFER;
    if (TQ_FAILED(hr, m_pCache->GetWritePosEx(nIndex, pPos))) {
        TQ_REPORT(EC_INTERNAL, hr, u"Getting cache write position was failed");
        return false;
    }
    return true;
}

HRESULT KAudioController::AnalyseBlock(const short* samples, LONG bytes, LONGLONG position) {
    if (m_components.analyseBlock) return m_components.analyseBlock(m_cSongDetector, samples, bytes, position);
    return m_cSongDetector.AnalizeBlock(samples, bytes, position);
}

void KAudioController::DetectSongs(DWORD dwNow) {
    SMaintenance& m = m_maintenance;
    ULONGLONG llPos = 0;
    if (!GetDetectionWritePos(&llPos)) return;
    HRESULT hr = S_OK;
    LONG bAutoSplit = FALSE;
    if (TQ_FAILED(hr, m_pSettings->GetAutoSplitSongsState(&bAutoSplit))) {
        TQ_REPORT(EC_INTERNAL, hr, u"Getting information from settings was failed");
        bAutoSplit = FALSE;
    }
    if (bAutoSplit) {  // any non-zero value is on
        if (llPos > m.llLastWritePos) {
            // Audio that has already left the cache cannot be analysed: go on
            // from the oldest audio still held.
            ULONGLONG llStart = 0;
            if (SUCCEEDED(m_pCache->GetStartReadPos(&llStart)) && m.llLastWritePos < llStart && llStart <= llPos)
                m.llLastWritePos = llStart;
            ULONGLONG llCount = std::min<ULONGLONG>(llPos - m.llLastWritePos, kDetectionBlock);
            DWORD dwCount = static_cast<DWORD>(llCount);
            if (m.block.size() < kDetectionBlock) m.block.assign(kDetectionBlock, 0);
            if (dwCount > 0) {
                if (TQ_FAILED(hr, m_pCache->ReadFixedPos(m.llLastWritePos, dwCount, m.block.data()))) {
                    TQ_REPORT(EC_INTERNAL, hr, u"Reading from cache was failed");
                    // Skip what cannot be read rather than stop finding songs.
                    m.llLastWritePos = llPos;
                } else {
                    KEngineLock lock(m_detectorMutex, m_cEventGate);
                    if (TQ_FAILED(hr, AnalyseBlock(reinterpret_cast<const short*>(m.block.data()), static_cast<LONG>(dwCount),
                                                   static_cast<LONGLONG>(m.llLastWritePos)))) {
                        // The block is passed over, like one that cannot be
                        // read: the saves and warnings of this thread go on.
                        TQ_REPORT(EC_INTERNAL, hr, u"Analizing in pause detector was failed");
                    }
                    m.llLastWritePos += dwCount;
                }
            }
        } else if (llPos < m.llLastWritePos) {
            m.llLastWritePos = llPos;
        }
    }
    // A recording whose buffer has stopped growing gets a boundary there,
    // with or without automatic splitting.
    if (dwNow - m.dwLastStallCheck >= kStallCheckMs) {
        m.dwLastStallCheck = dwNow;
        if (llPos == m.llLastStallPos) {
            KEngineLock lock(m_detectorMutex, m_cEventGate);
            m_cSongDetector.MarkBoundary(static_cast<LONGLONG>(llPos));
        } else {
            m.llLastStallPos = llPos;
        }
    }
}

void KAudioController::MaintenancePass() {
    // Skipped while the cache folder is switched.
    std::shared_lock<std::shared_mutex> pass(m_passLock, std::try_to_lock);
    if (!pass.owns_lock()) return;
    SMaintenance& m = m_maintenance;
    DWORD dwNow = plat::GetTickCount();
    HRESULT hr = S_OK;
    if (!m.bStarted) {
        m.bStarted = true;
        m.dwLastSave = dwNow;
        m.dwLastStallCheck = dwNow;
    }
    if (!m.bReady) {
        ULONGLONG llWritePos = 0;
        if (TQ_FAILED(hr, m_pCache->GetWritePos(&llWritePos))) {
            // Tried again on the next pass: saves and warnings must not end.
            TQ_REPORT(EC_INTERNAL, hr, u"Getting cache write position was failed");
        } else {
            m.bReady = true;
            m.llLastWritePos = llWritePos;
            m.llLastStallPos = llWritePos;
        }
    }

    UpdatePositionState();

    if (dwNow - m.dwLastSave >= kSavePeriodMs) {
        m.dwLastSave = dwNow;
        if (TQ_FAILED(hr, m_pCache->Save())) {
            TQ_REPORT(EC_INTERNAL, hr, u"Cache saving was failed");
        }
        if (TQ_FAILED(hr, m_pPlaylist->Save())) {
            TQ_REPORT(EC_INTERNAL, hr, u"Playlist saving was failed");
        }
        // A check that fails is logged; the next check comes 5 s later all
        // the same (a failure must not end the saves and the disk-full stop).
        if (TQ_FAILED(hr, CacheAlmostFullChecker())) {
        }
        if (TQ_FAILED(hr, DiscFullChecker())) {
        }
        if (TQ_FAILED(hr, DiscAlmostFullChecker())) {
        }
        // A burst of repeated faults that has ended gets its count written
        // now, even when no other entry follows it.
        KErrorLog::Instance().FlushRepeats();
    }

    if (m.bReady && (GetState() & _esRec)) DetectSongs(dwNow);
}

HRESULT KAudioController::MaintenanceThread() {
    for (;;) {
        // Recording moves the write position and replay the read position;
        // otherwise only a command moves them, and it wakes this wait.
        const DWORD dwState = GetState();
        const bool bMoving = (dwState & _esRec) || ((dwState & _esReplay) && (dwState & _esPlay));
        const DWORD dwPeriod = bMoving ? kMaintenancePeriodMs : m_components.stillMaintenancePeriodMs;
        DWORD r = plat::WaitAny({&m_hEventExit, &m_hMaintenanceWake}, dwPeriod);
        if (r == plat::WAIT_OBJECT_0) return S_OK;
        if (r != plat::WAIT_TIMEOUT && r != plat::WAIT_OBJECT_0 + 1) {
            TQ_TRACE_BOOL("WaitForSingleObject");
            TQ_REPORT(EC_INTERNAL, 0, u"Wait-function failed");
            return S_OK;
        }
        MaintenancePass();
    }
}

HRESULT KAudioController::OnSongFound(DWORD dwLeftBorder, DWORD dwRightBorder) {
    if (dwLeftBorder >= dwRightBorder) return E_FAIL;
    HRESULT hr = S_OK;
    ULONGLONG llWritePos = 0;
    if (TQ_FAILED(hr, m_pCache->GetWritePos(&llWritePos))) {
        TQ_REPORT(EC_INTERNAL, hr, u"Getting cache write position was failed");
        return hr;
    }
    if (dwRightBorder > BytesToMilliseconds(llWritePos, kByteRate)) return E_FAIL;
    ULONGLONG llStartPos = 0;
    if (TQ_FAILED(hr, m_pCache->GetStartReadPos(&llStartPos))) {
        TQ_REPORT(EC_INTERNAL, hr, u"Getting cache start reading position position was failed");
        return hr;
    }
    // The song's beginning has already left the cache.
    if (dwLeftBorder < BytesToMilliseconds(llStartPos, kByteRate)) return E_FAIL;

    plat::ComPtr<ISong> pSong;
    if (TQ_FAILED(hr, m_pPlaylist->CreateNewSong(pSong.ReleaseAndGetAddressOf())) || !pSong) {
        TQ_REPORT(EC_INTERNAL, hr, u"Cannot create song");
        return FAILED(hr) ? hr : E_FAIL;
    }
    GUID guid = GUID_NULL;
    const char16_t* failure = nullptr;
    if (TQ_FAILED(hr, pSong->SetLeftBorder(dwLeftBorder))) {
        failure = u"Setting song left border was failed";
    } else if (TQ_FAILED(hr, pSong->SetRightBorder(dwRightBorder))) {
        failure = u"Setting song right border was failed";
    } else if (TQ_FAILED(hr, pSong->GetID(&guid))) {
        failure = u" Getting song ID was failed";
    }
    if (failure) {
        TQ_REPORT(EC_INTERNAL, hr, failure);
        // A half-made song would stay in the playlist for good: take it out.
        GUID half = GUID_NULL;
        if (SUCCEEDED(pSong->GetID(&half))) m_pPlaylist->Delete(half);
        return hr;
    }
    RaiseSongDetected(guid);
    return S_OK;
}

// ---- Playlist clean-up -----------------------------------------------------

void KAudioController::CleanupPass() {
    // Skipped while the cache folder is switched.
    std::shared_lock<std::shared_mutex> pass(m_passLock, std::try_to_lock);
    if (!pass.owns_lock()) return;
    ULONGLONG llStart = 0;
    HRESULT hr = S_OK;
    if (TQ_FAILED(hr, m_pCache->GetStartReadPos(&llStart))) {
        TQ_REPORT(EC_INTERNAL, hr, u"Getting start read position was failed");
    } else {
        m_dwCleanupStartMs = SaturateToDword(BytesToMilliseconds(llStart, kByteRate));
    }
    const DWORD dwStartMs = m_dwCleanupStartMs;

    // The walk and the deletions run under the data mutex; the SongDeleted
    // events are delivered once it has been let go.
    KEngineLock lock(m_hDataMutex, m_cEventGate);
    std::vector<GUID> vGuids;
    GUID guid = GUID_NULL;
    if (TQ_FAILED(hr, m_pPlaylist->First(&guid))) {
        TQ_REPORT(EC_INTERNAL, hr, u"Getting first song in playlist was failed");
    }
    for (;;) {
        plat::ComPtr<ISong> pSong;
        if (TQ_FAILED(hr, m_pPlaylist->Get(guid, pSong.ReleaseAndGetAddressOf()))) {
            TQ_REPORT(EC_INTERNAL, hr, u"Getting song from playlist was failed");
        }
        if (!pSong) break;
        LONG bDefined = FALSE;
        if (TQ_FAILED(hr, pSong->IsDefined(&bDefined))) {
            TQ_REPORT(EC_INTERNAL, hr, u"Getting borders defined flag of the song was failed");
        } else if (bDefined) {
            ULONG dwLeft = 0, dwRight = 0;
            if (TQ_FAILED(hr, pSong->GetBorders(&dwLeft, &dwRight))) {
                TQ_REPORT(EC_INTERNAL, hr, u"Getting borders of the song was failed");
            } else if (dwLeft < dwStartMs) {
                vGuids.push_back(guid);
            }
        }
        pSong.Reset();
        if (m_pPlaylist->Next(&guid) != S_OK) break;
    }
    for (const GUID& id : vGuids) {
        if (TQ_FAILED(hr, m_pPlaylist->Delete(id))) {
            TQ_REPORT(EC_INTERNAL, hr, u"Cannot delete song");
            continue;
        }
        RaiseSongDeleted(id);
    }
}

HRESULT KAudioController::PlaylistCleanupThread() {
    for (;;) {
        DWORD r = m_hEventExit.Wait(kCleanupPeriodMs);
        if (r == plat::WAIT_OBJECT_0) return S_OK;
        if (r != plat::WAIT_TIMEOUT) {
            TQ_TRACE_BOOL("WaitForSingleObject");
            TQ_REPORT(EC_INTERNAL, 0, u"Wait-function fail");
            return S_OK;
        }
        CleanupPass();
    }
}
