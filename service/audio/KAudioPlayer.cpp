#include "service/audio/KAudioPlayer.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "log/KLock.h"
#include "platform/com/Bstr.h"
#include "platform/core/Clock.h"
#include "platform/sound/SoundRing.h"
#include "platform/sound/SoundSystem.h"
#include "service/audio/DeviceTrace.h"
#include "service/audio/SoundChunk.h"

namespace {

// Whether W lies strictly inside the span from P to C that the device has
// already taken: bytes written there are heard only a whole ring later.
bool InsideCommitted(DWORD w, DWORD p, DWORD c) {
    if (p < c) return p < w && w < c;
    if (c < p) return w > p || w < c;
    return false;
}

// The ring's status and cursors; a failure is traced and reported.
HRESULT ReadStatus(plat::SoundPlaybackBuffer& buffer, DWORD* pdwStatus) {
    HRESULT hr;
    if (TQ_FAILED_AS(hr, buffer.GetStatus(pdwStatus), "m_pPlayBuffer->GetStatus(&dwStatus)"))
        TQ_REPORT(EC_INTERNAL, hr, u"GetStatus fail");
    return hr;
}

HRESULT ReadCursors(plat::SoundPlaybackBuffer& buffer, DWORD* pdwPlayPos, DWORD* pdwWritePos) {
    HRESULT hr;
    if (TQ_FAILED_AS(hr, buffer.GetCurrentPosition(pdwPlayPos, pdwWritePos),
                     "m_pPlayBuffer->GetCurrentPosition(&dwPlayPos, &dwWritePos)"))
        TQ_REPORT(EC_INTERNAL, hr, u"GetCurrentPosition fail");
    return hr;
}

HRESULT StopRing(plat::SoundPlaybackBuffer& buffer, const char16_t* failure) {
    HRESULT hr;
    if (TQ_FAILED_AS(hr, buffer.Stop(), "m_pPlayBuffer->Stop()")) TQ_REPORT(EC_INTERNAL, hr, failure);
    return hr;
}

// A locked span of the ring, as up to two regions.
struct LockedSpan {
    void* p1 = nullptr;
    void* p2 = nullptr;
    DWORD n1 = 0;
    DWORD n2 = 0;
};

// Locks [offset, offset + bytes); the trace names the lock as 'step'.
HRESULT LockRing(plat::SoundPlaybackBuffer& buffer, DWORD offset, DWORD bytes, const char* step, LockedSpan* span) {
    HRESULT hr;
    if (TQ_FAILED_AS(hr, buffer.Lock(offset, bytes, &span->p1, &span->n1, &span->p2, &span->n2), step))
        TQ_REPORT(EC_INTERNAL, hr, u"Cannot lock play buffer");
    return hr;
}

HRESULT UnlockRing(plat::SoundPlaybackBuffer& buffer, const LockedSpan& span) {
    HRESULT hr;
    if (TQ_FAILED_AS(hr, buffer.Unlock(span.p1, span.n1, span.p2, span.n2),
                     "m_pPlayBuffer->Unlock(pLockBuffer, dwLockSize, pLockBuffer2, dwLockSize2)"))
        TQ_REPORT(EC_INTERNAL, hr, u"Cannot unlock play buffer");
    return hr;
}

// Silences [offset, offset + bytes) of the ring.
HRESULT SilenceRing(plat::SoundPlaybackBuffer& buffer, DWORD offset, DWORD bytes, const char* lockStep) {
    LockedSpan span;
    HRESULT hr = LockRing(buffer, offset, bytes, lockStep, &span);
    if (FAILED(hr)) return hr;
    if (span.p1) std::memset(span.p1, 0, span.n1);
    if (span.p2) std::memset(span.p2, 0, span.n2);
    return UnlockRing(buffer, span);
}

}  // namespace

KAudioPlayer* KAudioPlayer::Create() {
    KAudioPlayer* player = CreateInstance();
    if (!player || !player->m_hNotifyEvent || !player->m_hNotifyEvent->IsValid() || !player->m_hRoomEvent ||
        !player->m_hRoomEvent->IsValid() || !player->m_hFedEvent.IsValid() || !player->m_hChunkQueuedEvent.IsValid() ||
        !player->m_hStopEvent.IsValid()) {
        if (player) {
            player->AddRef();
            player->Release();
        }
        TQ_TRACE_HR("hr");
        TQ_REPORT(EC_INTERNAL, E_OUTOFMEMORY, u"Cannot create KAudioPlayer");
        return nullptr;
    }
    return player;
}

KAudioPlayer::KAudioPlayer()
    : m_hNotifyEvent(std::make_shared<plat::Event>(plat::Event::Reset::Auto)),
      m_hRoomEvent(std::make_shared<plat::Event>(plat::Event::Reset::Auto)) {}

KAudioPlayer::~KAudioPlayer() {
    StopPlayThread();
    if (Buffer()) {
        StopPlay();
        SetBuffer(nullptr);
    }
    m_pPlayDevice.reset();
}

// ---------------------------------------------------------------------------
// Device list

HRESULT KAudioPlayer::RefreshDevicesList() { return m_devices.RefreshDevicesList(); }
HRESULT KAudioPlayer::GetFirstDevice(BSTR* pstrDevice) { return m_devices.GetFirstDevice(pstrDevice); }
HRESULT KAudioPlayer::GetNextDevice(BSTR* pstrDevice) { return m_devices.GetNextDevice(pstrDevice); }
HRESULT KAudioPlayer::GetUsedDevice(BSTR* pstrDevice) { return m_devices.GetUsedDevice(pstrDevice); }
HRESULT KAudioPlayer::GetDefaultDevice(BSTR* pstrDevice) { return m_devices.GetDefaultDevice(pstrDevice); }

// ---------------------------------------------------------------------------
// Opening

HRESULT KAudioPlayer::Initialize(OWAVEFORMATEX waveFormat, BSTR bstrDevice) {
    TQ_CHECK_POINTER(bstrDevice);
    HRESULT hr = CheckChunkFormat(waveFormat);
    if (FAILED(hr)) return hr;
    const std::u16string name = plat::BstrToU16(bstrDevice);
    GUID guid = GUID_NULL;
    // S_OK when the device is listed, S_FALSE when not.
    auto look = [&]() -> HRESULT {
        HRESULT listed;
        if (TQ_FAILED(listed, RefreshDevicesList())) {
            TQ_REPORT(EC_SDK, listed, u"Cannot initialize direct sound");
            return listed;
        }
        return m_devices.FindDevice(name, &guid) ? S_OK : S_FALSE;
    };
    // Only a device that is there is given its settling wait (and looked for
    // again after it); one that is not listed fails at once.
    hr = look();
    if (hr == S_OK) {
        plat::Sleep(kInitializeDelayMs);
        hr = look();
    }
    if (FAILED(hr)) return hr;
    if (hr != S_OK) {
        hr = E_FAIL;
    } else {
        // One play thread at a time, and none while the ring is replaced.
        StopPlayThread();
        hr = CreatePlayDevice(&guid, waveFormat);
    }
    if (FAILED(hr)) {
        TQ_TRACE_HR("hr");
        TQ_REPORT_FORMATTED(EC_NO_SUCH_DEVICE, hr, name);
        return hr;
    }
    m_devices.SetUsedDevice(name);
    std::lock_guard<std::mutex> g(m_threadLock);
    if (TQ_FALSE(m_hThread.Start([this] { return PlayThread(this); }, "tq-play"))) {
        hr = plat::HResultFromLastError();
        TQ_REPORT(EC_INTERNAL, hr, u"Cannot start play thread");
        return hr;
    }
    return S_OK;
}

HRESULT KAudioPlayer::CreatePlayDevice(const GUID* lpDevGuid, OWAVEFORMATEX waveFormat) {
    KLock lock(m_hMutex);
    if (Buffer() && FAILED(ReleaseBuffer())) SetBuffer(nullptr);
    m_pPlayDevice.reset();
    HRESULT hr;
    std::shared_ptr<plat::SoundSystem> system = plat::GetSoundSystem();
    std::shared_ptr<plat::SoundPlaybackDevice> pPlayDev;
    if (TQ_FAILED_AS(hr, system ? system->CreatePlaybackDevice(lpDevGuid, &pPlayDev) : E_FAIL,
                     "DirectSoundCreate8(lpDevGuid, &pPlayDev, NULL)")) {
        TQ_REPORT(EC_OPEN_PLAY_DEVICE, hr, u"");
        return hr;
    }
    if (TQ_FAILED_AS(hr, pPlayDev->SetCooperativeLevel(plat::DSSCL_EXCLUSIVE),
                     "pPlayDev->SetCooperativeLevel(hWnd, DSSCL_EXCLUSIVE)")) {
        TQ_REPORT(EC_INTERNAL, hr, u"Cooperation level fail");
        return hr;
    }
    std::shared_ptr<plat::SoundPlaybackBuffer> buffer;
    if (FAILED(CreateSoundBuffer(pPlayDev.get(), &buffer, waveFormat))) {
        TQ_TRACE_HR("E_FAIL");
        TQ_REPORT(EC_OPEN_PLAY_DEVICE, E_FAIL, u"");
        return E_FAIL;
    }
    // Positions of an earlier ring that do not fit this one start over.
    if (m_dwWritePos >= m_dwBufferSize || m_dwWritePos % waveFormat.nBlockAlign) m_dwWritePos = 0;
    if (m_dwLastWritePos >= m_dwBufferSize || m_dwLastWritePos % waveFormat.nBlockAlign) m_dwLastWritePos = 0;
    m_dwStallCount = 0;
    // A new ring starts stopped at 0; the next look at it sets what is queued.
    m_dwSeenPlayPos = 0;
    m_dwQueued = 0;
    m_bAwaitingDevice = false;
    m_dwPassOver = 0;
    m_bOvertaken = false;
    SetBuffer(std::move(buffer));
    WakeFeeder();
    // The device stays referenced while its ring is in use.
    m_pPlayDevice = std::move(pPlayDev);
    if (TQ_FAILED_AS(hr, SetNotification(), "SetNotification()")) {
        TQ_REPORT(EC_OPEN_PLAY_DEVICE, hr, u"");
        return hr;
    }
    return S_OK;
}

HRESULT KAudioPlayer::CreateSoundBuffer(plat::SoundPlaybackDevice* pDevice,
                                        std::shared_ptr<plat::SoundPlaybackBuffer>* ppBuffer,
                                        OWAVEFORMATEX waveFormat) {
    TQ_CHECK_POINTER(pDevice);
    TQ_CHECK_POINTER(ppBuffer);
    KLock lock(m_hMutex);
    ChunkRing ring;
    HRESULT hr = CreateChunkRing(waveFormat, 4, &ring, [&](const OWAVEFORMATEX& format, DWORD size) {
        HRESULT made;
        if (TQ_FAILED_AS(made, pDevice->CreateSoundBuffer(format, size, ppBuffer),
                         "pDSC->CreateSoundBuffer(&dscbd, &pDSCB, NULL)"))
            TQ_REPORT(EC_INTERNAL, made, u"Creating sound buffer was failed");
        return made;
    });
    if (ring.chunk == 0) return hr;
    m_dwChunkSize = ring.chunk;
    m_dwBufferSize = ring.size;
    m_dwBytesPerSec = waveFormat.nAvgBytesPerSec;
    m_dwBlockAlign = std::max<DWORD>(waveFormat.nBlockAlign, 1);
    return hr;
}

HRESULT KAudioPlayer::SetNotification() {
    std::shared_ptr<plat::SoundPlaybackBuffer> buffer = Buffer();
    if (!buffer) return E_INVALIDARG;
    HRESULT hr;
    DWORD nSize = 0;
    if (TQ_FAILED_AS(hr, GetPlayBufferSize(&nSize), "GetPlayBufferSize(&nSize)")) {
        TQ_REPORT(EC_OPEN_PLAY_DEVICE, hr, u"");
        return hr;
    }
    KLock lock(m_hMutex);
    // The play thread's silencing and a feed that waits for room both go
    // by the chunk ends.
    return SetChunkNotifications(*buffer, ChunkRing{m_dwChunkSize, m_dwBufferSize}, {m_hNotifyEvent, m_hRoomEvent});
}

HRESULT KAudioPlayer::GetPlayBufferSize(DWORD* pnSize) {
    TQ_CHECK_POINTER(pnSize);
    std::shared_ptr<plat::SoundPlaybackBuffer> buffer = Buffer();
    if (!buffer) return E_FAIL;
    HRESULT hr;
    if (TQ_FAILED_AS(hr, buffer->GetCaps(pnSize), "m_pPlayBuffer->GetCaps(&cDevCaps)")) {
        TQ_REPORT(EC_INTERNAL, hr, u"GetCaps failed");
        return hr;
    }
    return S_OK;
}

// ---------------------------------------------------------------------------
// Feeding and control

HRESULT KAudioPlayer::PlayData(ULONG dwBytes, BYTE* pFrom) {
    TQ_CHECK_POINTER(pFrom);
    KLock lock(m_hMutex);
    std::shared_ptr<plat::SoundPlaybackBuffer> buffer = Buffer();
    if (!buffer) return E_FAIL;
    DWORD dwStatus = 0;
    HRESULT hr = ReadStatus(*buffer, &dwStatus);
    if (FAILED(hr)) return hr;
    const BYTE* from = pFrom;
    DWORD left = dwBytes;
    DWORD lastPlayPos = 0xFFFFFFFFu;
    DWORD stillSince = 0;
    while (left > 0) {
        // A wake-up left from before this look at the ring (a start with no
        // feed waiting, a notification already accounted for) would end the
        // next wait at once; what it stood for shows in the cursors read now,
        // and anything after them sets the event again.
        m_hRoomEvent->ResetEvent();
        DWORD dwPlayPos = 0, dwWritePos = 0;
        if (FAILED(hr = ReadCursors(*buffer, &dwPlayPos, &dwWritePos))) return hr;
        const DWORD size = m_dwBufferSize;
        const bool playing = (dwStatus & plat::DSBSTATUS_PLAYING) != 0;
        FollowCursors(dwPlayPos, dwWritePos, playing);
        if (m_bOvertaken) {
            // The feed fell behind the device (a stall longer than what was
            // queued): the bytes at the write position were heard already,
            // as silence. The feed goes on at the live edge, right after what
            // the device has taken, so that nothing is played twice and the
            // delay does not grow by the ring.
            m_dwWritePos = dwWritePos;
            m_dwQueued = plat::RingDistance(dwPlayPos, dwWritePos, size);
            m_bOvertaken = false;
        }
        // Equal positions: a stopped ring takes the whole ring again.
        DWORD room = playing ? size - m_dwQueued
                             : (dwPlayPos == m_dwWritePos ? size : plat::RingDistance(m_dwWritePos, dwPlayPos, size));
        if (m_bLiveFeed && playing) {
            if (const DWORD skip = LiveFeedSkip(left, room); skip > 0) {
                from += skip;
                left -= skip;
                continue;
            }
        }
        room = std::min(room, left);
        if (room == 0) {
            // Wait for the device to free room, without holding the player:
            // the play thread's stall rule and the owner's stop and release
            // must get through, and a cursor that never moves is given up on.
            // The device's chunk-end notification, or any change of the
            // ring's state, wakes the wait.
            const DWORD now = plat::GetTickCount();
            if (dwPlayPos != lastPlayPos) {
                lastPlayPos = dwPlayPos;
                stillSince = now;
            } else if (now - stillSince >= kFrozenCursorMs) {
                TQ_TRACE_HR("E_FAIL");
                TQ_REPORT(EC_INTERNAL, E_FAIL, u"Play cursor does not move");
                return E_FAIL;
            }
            // A still cursor is looked at again when the frozen-cursor limit is up.
            const DWORD waitMs = kFrozenCursorMs - (now - stillSince);
            std::shared_ptr<plat::Event> roomEvent = m_hRoomEvent;
            m_hMutex.Unlock();
            roomEvent->Wait(waitMs);
            m_hMutex.Lock();
            buffer = Buffer();
            if (!buffer) return E_FAIL;
            if (FAILED(hr = ReadStatus(*buffer, &dwStatus))) return hr;
            continue;
        }
        LockedSpan span;
        if (FAILED(hr = LockRing(*buffer, m_dwWritePos, room,
                                 "m_pPlayBuffer->Lock(m_dwWritePos, dwRoom, &pLockBuffer, &dwLockSize, &pLockBuffer2, &dwLockSize2, 0)",
                                 &span)))
            return hr;
        if (span.p1) {
            std::memcpy(span.p1, from, span.n1);
            m_dwWritePos = (m_dwWritePos + span.n1) % size;
            from += span.n1;
            left -= span.n1;
        }
        if (span.p2) {
            std::memcpy(span.p2, from, span.n2);
            m_dwWritePos = (m_dwWritePos + span.n2) % size;
            from += span.n2;
            left -= span.n2;
        }
        m_dwQueued = std::min(m_dwQueued + span.n1 + span.n2, m_dwBufferSize);
        if (FAILED(hr = UnlockRing(*buffer, span))) return hr;
        // A stopped ring is started by the play thread's resume rule.
        if (!playing && !m_bPaused) {
            m_hFedEvent.Set();
            if (m_dwQueued >= m_dwChunkSize) m_hChunkQueuedEvent.Set();
        }
    }
    return S_OK;
}

void KAudioPlayer::FollowCursors(DWORD dwPlayPos, DWORD dwWritePos, bool playing) {
    const DWORD size = m_dwBufferSize;
    if (!playing) {
        // A stopped cursor stays where it is; what lies from it to the write
        // position is what will play (nothing when they are equal).
        m_dwSeenPlayPos = dwPlayPos;
        m_dwQueued = plat::RingDistance(dwPlayPos, m_dwWritePos, size);
        m_bOvertaken = false;
        return;
    }
    const DWORD moved = plat::RingDistance(m_dwSeenPlayPos, dwPlayPos, size);
    m_dwSeenPlayPos = dwPlayPos;
    if (m_bOvertaken) return;
    if (moved >= m_dwQueued || InsideCommitted(m_dwWritePos, dwPlayPos, dwWritePos)) {
        m_dwQueued = 0;
        m_bOvertaken = true;
    } else {
        m_dwQueued -= moved;
    }
    if (m_bAwaitingDevice && moved > 0) {
        m_bAwaitingDevice = false;
        // A device that started late finds what came meanwhile queued in
        // front of the live sound: a live feed passes over as much of what
        // comes next, so that the lead goes back to what a start queues.
        if (m_bLiveFeed && m_dwQueued > kLateStartChunks * m_dwChunkSize) m_dwPassOver = m_dwQueued - m_dwChunkSize;
    }
}

void KAudioPlayer::SetLiveFeed(bool live) {
    KLock lock(m_hMutex);
    m_bLiveFeed = live;
}

HRESULT KAudioPlayer::PlayRing(plat::SoundPlaybackBuffer& buffer) {
    HRESULT hr;
    if (TQ_FAILED_AS(hr, buffer.Play(plat::DSBPLAY_LOOPING), "m_pPlayBuffer->Play(0, 0, DSBPLAY_LOOPING)")) {
        TQ_REPORT(EC_INTERNAL, hr, u"Cannot play buffer");
        return hr;
    }
    m_bAwaitingDevice = true;
    m_dwPassOver = 0;
    return S_OK;
}

DWORD KAudioPlayer::LiveFeedSkip(DWORD left, DWORD room) {
    DWORD skip = 0;
    if (m_dwPassOver > 0) {
        skip = std::min(m_dwPassOver, left);
    } else if (m_bAwaitingDevice) {
        // What comes while the device takes nothing fills the ring at most;
        // more is passed over at once rather than waited with, as it would be
        // once the device starts: a feed held by a device that takes nothing
        // holds up the recording behind it too.
        if (room == 0) skip = left;
    }
    skip -= skip % m_dwBlockAlign;
    m_dwPassOver -= std::min(m_dwPassOver, skip);
    return skip;
}

HRESULT KAudioPlayer::StartPlay() {
    KLock lock(m_hMutex);
    std::shared_ptr<plat::SoundPlaybackBuffer> buffer = Buffer();
    if (!buffer) return E_FAIL;
    m_bPaused = FALSE;
    m_hFedEvent.Set();
    HRESULT hr;
    DWORD dwPlayPos = 0, dwWritePos = 0;
    if (FAILED(hr = ReadCursors(*buffer, &dwPlayPos, &dwWritePos))) return hr;
    // What is queued is measured around the ring.
    if (plat::RingDistance(dwPlayPos, m_dwWritePos, m_dwBufferSize) >= m_dwChunkSize) {
        PlayRing(*buffer);
        WakeFeeder();
    }
    return S_OK;
}

HRESULT KAudioPlayer::StopPlay() {
    KLock lock(m_hMutex);
    std::shared_ptr<plat::SoundPlaybackBuffer> buffer = Buffer();
    if (buffer) {
        WakeFeeder();
        if (HRESULT hr = StopRing(*buffer, u"Cannot stop buffer"); FAILED(hr)) return hr;
        m_dwLastWritePos = m_dwWritePos;
        m_bAwaitingDevice = false;
        m_dwPassOver = 0;
    }
    return S_OK;
}

HRESULT KAudioPlayer::Pause() {
    KLock lock(m_hMutex);
    std::shared_ptr<plat::SoundPlaybackBuffer> buffer = Buffer();
    if (buffer) {
        m_bPaused = TRUE;
        WakeFeeder();
        if (HRESULT hr = StopRing(*buffer, u"Cannot stop buffer"); FAILED(hr)) return hr;
        m_bAwaitingDevice = false;
        m_dwPassOver = 0;
    }
    return S_OK;
}

HRESULT KAudioPlayer::Interrupt() {
    if (Buffer()) {
        KLock lock(m_hMutex);
        StopPlay();
        Reset();
    }
    return S_OK;
}

HRESULT KAudioPlayer::Reset() {
    KLock lock(m_hMutex);
    m_dwWritePos = 0;
    m_dwLastWritePos = 0;
    m_dwSeenPlayPos = 0;
    m_dwQueued = 0;
    m_bOvertaken = false;
    m_bAwaitingDevice = false;
    m_dwPassOver = 0;
    WakeFeeder();
    std::shared_ptr<plat::SoundPlaybackBuffer> buffer = Buffer();
    if (!buffer) return S_OK;  // nothing to rewind
    HRESULT hr;
    if (TQ_FAILED_AS(hr, buffer->SetCurrentPosition(m_dwWritePos), "m_pPlayBuffer->SetCurrentPosition(m_dwWritePos)")) {
        TQ_REPORT(EC_INTERNAL, hr, u"Set current position of buffer was failed");
        return hr;
    }
    return SilenceRing(*buffer, 0, m_dwBufferSize,
                       "m_pPlayBuffer->Lock(0, m_dwBufferSize, &pLockBuffer, &dwLockSize, &pLockBuffer2, &dwLockSize2, 0)");
}

HRESULT KAudioPlayer::ReleaseBuffer() {
    KLock lock(m_hMutex);
    std::shared_ptr<plat::SoundPlaybackBuffer> buffer = Buffer();
    if (!buffer) return S_OK;
    WakeFeeder();
    if (HRESULT hr = StopRing(*buffer, u"Cannot Uninitialize"); FAILED(hr)) return hr;
    SetBuffer(nullptr);
    m_pPlayDevice.reset();
    return S_OK;
}

HRESULT KAudioPlayer::Uninitialize() {
    // The play thread ends first, so that it never finds its ring gone.
    StopPlayThread();
    return ReleaseBuffer();
}

HRESULT KAudioPlayer::GetStatus(ULONG* pdwStatus) {
    std::shared_ptr<plat::SoundPlaybackBuffer> buffer = m_pPlayBuffer.GetOrReport(u"No play buffer");
    if (!buffer) return E_FAIL;
    TQ_CHECK_POINTER(pdwStatus);
    HRESULT hr;
    if (TQ_FAILED_AS(hr, buffer->GetStatus(pdwStatus), "m_pPlayBuffer->GetStatus(pdwStatus)")) {
        TQ_REPORT(EC_INTERNAL, hr, u"GetStatus fail");
        return hr;
    }
    return S_OK;
}

// ---------------------------------------------------------------------------
// The play thread

HRESULT KAudioPlayer::PlayThread(KAudioPlayer* pPlayer) {
    TQ_CHECK_POINTER(pPlayer);
    return pPlayer->PlayLoop();
}

HRESULT KAudioPlayer::PlayLoop() {
    if (m_hStopEvent.Wait(kTurnMs) == plat::WAIT_OBJECT_0) return S_OK;
    for (;;) {
        HRESULT hr = PlayTurn();
        if (FAILED(hr)) return hr;
        if (hr == S_FALSE) return S_OK;
        // Turns keep their pace while the ring plays or new bytes wait to be
        // started; an idle player sleeps until it is fed or started. A feed
        // that came meanwhile left the event set, so none is missed.
        if (IsIdle()) {
            const DWORD r = plat::WaitAny({&m_hStopEvent, &m_hFedEvent}, INFINITE);
            if (r == plat::WAIT_OBJECT_0) return S_OK;
            if (r == plat::WAIT_OBJECT_0 + 1) continue;
            // A failed wait falls back to the turn's pace rather than spin.
        }
        if (!LongTurn()) {
            if (m_hStopEvent.Wait(kTurnMs) == plat::WAIT_OBJECT_0) return S_OK;
            continue;
        }
        // A playing ring's notices come a chunk apart, but as late as the
        // device's own steps make them: a time-out of one chunk would come
        // first, now and then, and cost that turn and a short one after it.
        // Two chunks only guard against notices that stop.
        const DWORD r = plat::WaitAny({&m_hStopEvent, m_hNotifyEvent.get()}, 2 * ChunkMs());
        if (r == plat::WAIT_OBJECT_0) return S_OK;
        // The wake-up took the chunk end's notice; the turn acts on it.
        if (r == plat::WAIT_OBJECT_0 + 1) m_bNoticeTaken = true;
    }
}

bool KAudioPlayer::LongTurn() {
    KLock lock(m_hMutex);
    std::shared_ptr<plat::SoundPlaybackBuffer> buffer = Buffer();
    DWORD dwStatus = 0;
    // A ring that plays a feed which moved at the last look has nothing to
    // be done until its next chunk ends. Once the feed is found still, turns
    // keep their usual pace, so that a stopped feed is answered as soon as
    // before: the first still look comes at the latest a chunk after the
    // last move, well within the stretch the ring has queued.
    return m_dwStallCount == 0 && m_dwBytesPerSec != 0 && buffer && SUCCEEDED(buffer->GetStatus(&dwStatus)) &&
           (dwStatus & plat::DSBSTATUS_PLAYING);
}

DWORD KAudioPlayer::ChunkMs() const {
    KLock lock(m_hMutex);
    return m_dwBytesPerSec ? std::max<DWORD>(kTurnMs, static_cast<DWORD>(uint64_t{m_dwChunkSize} * 1000 / m_dwBytesPerSec))
                           : kTurnMs;
}

bool KAudioPlayer::IsIdle() {
    KLock lock(m_hMutex);
    std::shared_ptr<plat::SoundPlaybackBuffer> buffer = Buffer();
    DWORD dwStatus = 0;
    if (!buffer || FAILED(buffer->GetStatus(&dwStatus)) || (dwStatus & plat::DSBSTATUS_PLAYING)) return false;
    return m_bPaused || m_dwWritePos == m_dwLastWritePos;
}

HRESULT KAudioPlayer::PlayTurn() {
    std::shared_ptr<plat::SoundPlaybackBuffer> buffer = Buffer();
    if (!buffer) {
        TQ_TRACE_HR("E_POINTER");
        TQ_REPORT(EC_INTERNAL, E_POINTER, u"Invalid pointer");
        return E_POINTER;
    }
    DWORD dwStatus = 0;
    HRESULT hr = ReadStatus(*buffer, &dwStatus);
    if (FAILED(hr)) return hr;
    // Silence what has been played, so that a feed that stops is not heard
    // again when the ring comes round. A notification comes every chunk and a
    // turn is shorter than a chunk, so a look without waiting catches each
    // one within a turn (and spares a wake-up per turn).
    const bool notice = (dwStatus & plat::DSBSTATUS_PLAYING) &&
                        (std::exchange(m_bNoticeTaken, false) || m_hNotifyEvent->Wait(0) == plat::WAIT_OBJECT_0);
    if (notice) {
        KLock lock(m_hMutex);
        buffer = Buffer();
        if (!buffer) return S_OK;
        DWORD dwPlayPos = 0, dwWritePos = 0;
        if (FAILED(hr = ReadCursors(*buffer, &dwPlayPos, &dwWritePos))) return hr;
        // Once the device has overtaken the feed, everything from what it
        // has taken round to the play cursor is stale, the bytes at the
        // write position included.
        FollowCursors(dwPlayPos, dwWritePos, true);
        const DWORD from = m_bOvertaken ? dwWritePos : m_dwWritePos;
        const DWORD played = plat::RingDistance(from, dwPlayPos, m_dwBufferSize);
        if (played > 0 &&
            FAILED(hr = SilenceRing(*buffer, from, played,
                                    "m_pPlayBuffer->Lock(m_dwWritePos, dwSize, &pLockBuffer, &dwLockSize, &pLockBuffer2, &dwLockSize2, 0)")))
            return hr;
    }
    if (IsPlayStalled()) {
        KLock lock(m_hMutex);
        StopPlay();
        Reset();
    }
    if (IsResumeNeeded()) return ResumeWhenQueued();
    return S_OK;
}

HRESULT KAudioPlayer::ResumeWhenQueued() {
    std::shared_ptr<plat::SoundPlaybackBuffer> buffer = Buffer();
    if (!buffer) return S_OK;
    HRESULT hr;
    DWORD dwPlayPos = 0, dwWritePos = 0;
    if (FAILED(hr = ReadCursors(*buffer, &dwPlayPos, &dwWritePos))) return hr;
    // Wait, without the player's lock so that PlayData keeps filling, until a
    // chunk is queued or the feed has paused. The ring starts as soon as the
    // chunk is there: the lead it starts with stays the live delay.
    DWORD w0 = WritePosition();
    m_hChunkQueuedEvent.ResetEvent();
    for (;;) {
        DWORD queued;
        {
            KLock lock(m_hMutex);
            queued = plat::RingDistance(dwPlayPos, m_dwWritePos, m_dwBufferSize);
            if (queued >= m_dwChunkSize) break;
        }
        const DWORD r = plat::ClockWaitAny({&m_hStopEvent, &m_hChunkQueuedEvent}, kResumeWaitMs);
        if (r == plat::WAIT_OBJECT_0) return S_FALSE;
        if (r == plat::WAIT_OBJECT_0 + 1) continue;
        DWORD w = WritePosition();
        if (w == w0) break;
        w0 = w;
    }
    KLock lock(m_hMutex);
    buffer = Buffer();
    // A pause or a release meanwhile wins over the restart.
    if (!buffer || m_bPaused) return S_OK;
    DWORD dwStatus = 0;
    if (SUCCEEDED(buffer->GetStatus(&dwStatus)) && (dwStatus & plat::DSBSTATUS_PLAYING)) return S_OK;
    PlayRing(*buffer);
    WakeFeeder();
    return S_OK;
}

BOOL KAudioPlayer::IsPlayStalled() {
    KLock lock(m_hMutex);
    std::shared_ptr<plat::SoundPlaybackBuffer> buffer = m_pPlayBuffer.GetOrReport(u"No play buffer");
    if (!buffer) return FALSE;
    DWORD dwStatus = 0;
    if (FAILED(ReadStatus(*buffer, &dwStatus))) return FALSE;
    if (!(dwStatus & plat::DSBSTATUS_PLAYING)) return FALSE;
    DWORD dwPlayPos = 0, dwWritePos = 0;
    HRESULT hr;
    if (TQ_FAILED_AS(hr, buffer->GetCurrentPosition(&dwPlayPos, &dwWritePos),
                     "m_pPlayBuffer->GetCurrentPosition(&dwPlayPos, &dwWritePos)"))
        TQ_REPORT(EC_INTERNAL, hr, u"Geting current position of playing buffer was failed");
    if (m_dwWritePos == m_dwLastWritePos) {
        if (++m_dwStallCount > kStallChecks) {
            m_dwStallCount = 0;
            return TRUE;
        }
    } else {
        m_dwLastWritePos = m_dwWritePos;
        m_dwStallCount = 0;
    }
    return FALSE;
}

BOOL KAudioPlayer::IsResumeNeeded() {
    KLock lock(m_hMutex);
    std::shared_ptr<plat::SoundPlaybackBuffer> buffer = m_pPlayBuffer.GetOrReport(u"No play buffer");
    if (!buffer) return FALSE;
    if (m_bPaused) return FALSE;
    DWORD dwStatus = 0;
    if (FAILED(ReadStatus(*buffer, &dwStatus))) return FALSE;
    BOOL needed = !(dwStatus & plat::DSBSTATUS_PLAYING) && m_dwWritePos != m_dwLastWritePos;
    m_dwLastWritePos = m_dwWritePos;
    return needed;
}

void KAudioPlayer::StopPlayThread() {
    std::lock_guard<std::mutex> g(m_threadLock);
    if (!m_hThread.IsStarted()) return;
    m_hStopEvent.Set();
    if (!m_hThread.Join(1000)) {
        // Never left running behind its owner: logged, then waited for.
        TQ_TRACE_HR("E_FAIL");
        TQ_REPORT(EC_INTERNAL, E_FAIL, u"Play thread does not stop");
        m_hThread.Join();
    }
    m_hStopEvent.ResetEvent();
}

bool KAudioPlayer::IsPlayThreadRunning() const {
    std::lock_guard<std::mutex> g(m_threadLock);
    return m_hThread.IsRunning();
}

DWORD KAudioPlayer::ChunkSize() const {
    KLock lock(m_hMutex);
    return m_dwChunkSize;
}

DWORD KAudioPlayer::BufferSize() const {
    KLock lock(m_hMutex);
    return m_dwBufferSize;
}

DWORD KAudioPlayer::WritePosition() const {
    KLock lock(m_hMutex);
    return m_dwWritePos;
}

BOOL KAudioPlayer::IsPaused() const {
    KLock lock(m_hMutex);
    return m_bPaused;
}
