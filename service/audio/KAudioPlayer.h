#pragma once
// Plays a stream of PCM bytes on one output device. The player owns a small
// looping ring of four chunks, copies what its caller hands over into it,
// and runs a play thread that starts playback when data arrives, silences
// what has been played, and stops and rewinds the ring when the feed stops.
// It also serves the list of output devices.
//
// The controller makes it with Create, Initialize(format, device name) and
// StartPlay, feeds it with PlayData from one thread, and ends with StopPlay
// and Uninitialize. PlayData returns when every byte is in the ring, which
// paces a feed that is faster than real time.
#include <memory>
#include <mutex>

#include "ipc/QXServiceLib.h"
#include "platform/com/ComObject.h"
#include "platform/core/Sync.h"
#include "platform/core/Thread.h"
#include "platform/sound/SoundPlaybackBuffer.h"
#include "platform/sound/SoundPlaybackDevice.h"
#include "service/audio/KDeviceList.h"
#include "service/audio/SoundBufferSlot.h"

class KAudioPlayer : public plat::ComObject<KAudioPlayer, IAudioPlayer, IAudioManager> {
public:
    static constexpr DWORD kInitializeDelayMs = 2000;  // lets a device that was just changed settle
    static constexpr DWORD kTurnMs = 25;                // the play thread's pace
    static constexpr DWORD kResumeWaitMs = 50;          // a feed this quiet counts as paused
    static constexpr DWORD kStallChecks = 10;           // more unchanged checks than this: stalled
    static constexpr DWORD kFrozenCursorMs = 1000;      // PlayData gives up on a cursor this still
    // A live feed whose device starts with more than this many chunks queued
    // started late (see SetLiveFeed).
    static constexpr DWORD kLateStartChunks = 3;

    // A new player with its count at 0, or null (reported) when it cannot be made.
    static KAudioPlayer* Create();

    // IAudioPlayer
    HRESULT Initialize(OWAVEFORMATEX waveFormat, BSTR bstrDevice) override;
    HRESULT PlayData(ULONG dwBytes, BYTE* pFrom) override;
    HRESULT StartPlay() override;
    HRESULT StopPlay() override;
    HRESULT Pause() override;
    HRESULT Uninitialize() override;
    HRESULT Interrupt() override;
    HRESULT Reset() override;
    HRESULT GetStatus(ULONG* pdwStatus) override;

    // IAudioManager
    HRESULT GetFirstDevice(BSTR* pstrDevice) override;
    HRESULT GetNextDevice(BSTR* pstrDevice) override;
    HRESULT GetUsedDevice(BSTR* pstrDevice) override;
    HRESULT GetDefaultDevice(BSTR* pstrDevice) override;

    // A player that passes sound on as it comes (the live players). Sound
    // that came while its device was late to start would stay queued in
    // front of all that follows, as delay for as long as the ring plays: it
    // is passed over instead, down to the usual start lead (see PlayData).
    void SetLiveFeed(bool live);

    // Internal operations.
    HRESULT RefreshDevicesList();
    HRESULT CreatePlayDevice(const GUID* lpDevGuid, OWAVEFORMATEX waveFormat);
    HRESULT CreateSoundBuffer(plat::SoundPlaybackDevice* pDevice, std::shared_ptr<plat::SoundPlaybackBuffer>* ppBuffer,
                              OWAVEFORMATEX waveFormat);
    HRESULT SetNotification();
    HRESULT GetPlayBufferSize(DWORD* pnSize);
    static HRESULT PlayThread(KAudioPlayer* pPlayer);
    // One turn of the play thread: silence the played part, then the stall
    // and resume rules. S_FALSE when the thread is asked to end; a failure
    // ends the thread.
    HRESULT PlayTurn();
    BOOL IsPlayStalled();
    BOOL IsResumeNeeded();
    // Ends the play thread (if any) and waits for it.
    void StopPlayThread();
    bool IsPlayThreadRunning() const;

    DWORD ChunkSize() const;
    DWORD BufferSize() const;
    DWORD WritePosition() const;
    BOOL IsPaused() const;
    const KDeviceList& Devices() const { return m_devices; }

private:
    friend class plat::ComObject<KAudioPlayer, IAudioPlayer, IAudioManager>;
    KAudioPlayer();
    ~KAudioPlayer() override;

    HRESULT PlayLoop();
    // Whether the play thread may sleep until the next chunk end (a chunk's
    // time at most) rather than a turn's time.
    bool LongTurn();
    DWORD ChunkMs() const;
    // Wakes a PlayData that waits for room, so it looks at the ring again.
    void WakeFeeder() { m_hRoomEvent->Set(); }
    // Whether the play thread has nothing to do until the player is fed or
    // started: the ring is stopped, and paused or given nothing new.
    bool IsIdle();
    // Follows the device's cursors from one look to the next (under
    // m_hMutex): what the play cursor passed comes off what is queued, and a
    // device that reached the write position, or took the bytes there
    // already, has overtaken the feed.
    void FollowCursors(DWORD dwPlayPos, DWORD dwWritePos, bool playing);
    HRESULT ResumeWhenQueued();
    // Starts the ring (under m_hMutex); S_OK or the device's failure, reported.
    HRESULT PlayRing(plat::SoundPlaybackBuffer& buffer);
    // How much of the left bytes of a live feed's block is passed over,
    // given the room the ring has (under m_hMutex).
    DWORD LiveFeedSkip(DWORD left, DWORD room);
    HRESULT ReleaseBuffer();
    std::shared_ptr<plat::SoundPlaybackBuffer> Buffer() const { return m_pPlayBuffer.Get(); }
    void SetBuffer(std::shared_ptr<plat::SoundPlaybackBuffer> buffer) { m_pPlayBuffer.Set(std::move(buffer)); }

    // The ring; replaced only under m_hMutex.
    SoundBufferSlot<plat::SoundPlaybackBuffer> m_pPlayBuffer;
    std::shared_ptr<plat::SoundPlaybackDevice> m_pPlayDevice;
    KDeviceList m_devices{KDeviceList::Kind::Playback};

    DWORD m_dwWritePos = 0;
    mutable plat::Mutex m_hMutex;
    DWORD m_dwLastWritePos = 0;
    mutable std::mutex m_threadLock;  // start, stop and join of the play thread
    plat::Thread m_hThread;
    plat::Event m_hStopEvent{plat::Event::Reset::Manual};
    std::shared_ptr<plat::Event> m_hNotifyEvent;
    // The play thread's own: its wait took a chunk end's notice, which the
    // next turn acts on (set again instead, it would cost two system calls).
    bool m_bNoticeTaken = false;
    // Set with m_hNotifyEvent at each chunk end, and by every call that
    // changes the ring's state, for a PlayData that waits for room.
    std::shared_ptr<plat::Event> m_hRoomEvent;
    // Set when bytes are queued or play is asked for; wakes an idle play thread.
    plat::Event m_hFedEvent{plat::Event::Reset::Auto};
    // Set when a stopped ring has a chunk queued: ends the resume wait then,
    // not at the end of its period, which would add to the delay of all that
    // the ring plays afterwards.
    plat::Event m_hChunkQueuedEvent{plat::Event::Reset::Auto};
    DWORD m_dwBytesPerSec = 0;
    DWORD m_dwChunkSize = 0;
    DWORD m_dwBufferSize = 0;
    BOOL m_bPaused = TRUE;
    DWORD m_dwStallCount = 0;  // this player's own count of unchanged checks
    // The play cursor at the last look, the bytes from it to the write
    // position that are still to be heard, and whether the device has
    // overtaken the feed since (until the feed goes on at the live edge).
    DWORD m_dwSeenPlayPos = 0;
    DWORD m_dwQueued = 0;
    bool m_bOvertaken = false;
    bool m_bLiveFeed = false;
    // The ring was started and the device has taken nothing of it yet.
    bool m_bAwaitingDevice = false;
    // Bytes of a live feed still to be passed over after a late start.
    DWORD m_dwPassOver = 0;
    DWORD m_dwBlockAlign = 1;
};
