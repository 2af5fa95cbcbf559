#pragma once
// The engine: the one controller of the service. It owns the playlist, the
// settings, the three-buffer cache, three players (live, live capture, replay),
// the capturer and the song detector; routes the played sound, the recording
// device and silence to the players and the cache; replays the cache; turns
// recordings into songs; warns before the cache or the disk runs out; and
// tells its clients through _IAudioControllerEvents.
//
// Locks, always taken in this order: the command lock (the state machine's),
// the data mutex, the detector's lock. No thread that holds the data mutex
// waits for the command lock, and no event is delivered while the delivering
// thread holds any of them (KEventGate).
#include <atomic>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <vector>

#include "ipc/QXServiceLib.h"
#include "platform/com/ComObject.h"
#include "platform/com/ComPtr.h"
#include "platform/core/Clock.h"
#include "platform/core/Sync.h"
#include "platform/core/Thread.h"
#include "service/audio/IAudioCapturer.h"
#include "service/audio/KSongDetector.h"
#include "service/controller/CProxy_IAudioControllerEvents.h"
#include "service/audio/IQXListener.h"
#include "service/controller/KControllerComponents.h"
#include "service/controller/KEventGate.h"
#include "service/controller/KStateMachine.h"
#include "service/controller/KStorageWarnings.h"
#include "service/foundation/KTimecode.h"

// {BA7EAF75-D150-46DE-BF26-95A4D50335AB} is CLSID_AudioController.
class KAudioController final
    : public plat::ComObject<KAudioController, IAudioController, IQXListener, IConnectionPointContainer>,
      public KStateMachine {
public:
    // Cache buffers.
    static constexpr UINT PLAY_DEVICE_BUFFER = 0;
    static constexpr UINT RECORD_DEVICE_BUFFER = 1;
    static constexpr UINT SILENCE_BUFFER = 2;
    static constexpr UINT kCacheBuffers = 3;
    // Bytes per second of the engine format (PCM 48000 Hz, 2 channels, 16 bits).
    static constexpr DWORD kByteRate = 192000;
    // One replay block (about 341 ms).
    static constexpr DWORD BYTES_TO_PLAY = 0x10000;
    // How long a replay block plays; also how long the replay rests after a
    // block that could not be played.
    static constexpr DWORD kReplayBlockMs = BYTES_TO_PLAY * 1000 / kByteRate;
    // The most song detection reads per maintenance pass.
    static constexpr DWORD kDetectionBlock = 51200;
    // The maintenance pass's pace: the position flags the desktop reads ten
    // times a second, and song detection reads more than five times the
    // recorded rate at this pace; every other check goes by its own clock.
    // While the positions stand still the pass waits longer (see
    // KControllerComponents::stillMaintenancePeriodMs) and is woken by each
    // command instead.
    static constexpr DWORD kMaintenancePeriodMs = 100;
    // How long the replay rests after a cache read that failed.
    static constexpr DWORD kReadFailureRestMs = 10;
    static constexpr DWORD kSavePeriodMs = 5000;
    static constexpr DWORD kStallCheckMs = 3000;
    static constexpr DWORD kCleanupPeriodMs = 2730;
    static constexpr DWORD kSongWindowMs = 300;
    // How long Destroy waits for a thread before it logs the overrun (it then
    // keeps waiting: threads are never abandoned).
    static constexpr DWORD kThreadStopMs = 1000;
    // The settings the engine takes over: the smallest and largest cache
    // (5 minutes, and the largest time the settings window can show), the
    // song lengths the settings window offers, and the longest device name.
    static constexpr ULONG kMinCacheSizeMs = 300000;
    static constexpr ULONG kMaxCacheSizeMs = 359999990;
    static constexpr UINT kMinSongLengthMinutes = 1;
    static constexpr UINT kMaxSongLengthMinutes = 60;
    static constexpr size_t kMaxDeviceNameLength = 1024;

    // Builds and starts the engine. On success *ppController is the new
    // controller with no client reference taken yet; on failure it is null,
    // everything built so far is stopped and released, and the failure is
    // returned.
    static HRESULT Create(const KControllerComponents& components, KAudioController** ppController);

    // IAudioController
    HRESULT Play() override;
    HRESULT Pause() override;
    HRESULT Record() override;
    HRESULT StopRecord() override;
    HRESULT Live() override;
    HRESULT SetPlayPosition(LONGLONG lOffset, EBasicPosition eBasePos) override;
    HRESULT GetPlayPosition(ULONG* pdwAbsPos) override;
    HRESULT GetRecordPosition(ULONG* pdwAbsPos) override;
    HRESULT GetPercentFullness(BYTE* pPercent) override;
    HRESULT GetTimeFullness(ULONG* pTime) override;
    HRESULT GetStartReadPos(ULONG* pPos) override;
    HRESULT UpdateSettings() override;
    HRESULT DropCache(LONG bWait) override;
    HRESULT GetAvailableCommands(ULONG* pCommands) override;
    HRESULT GetCurrentState(ULONG* pState) override;
    HRESULT CheckState(EState eState, LONG* pYes) override;
    HRESULT CheckCommand(ECommand eCommand, LONG* pYes) override;
    HRESULT IsCacheFull(LONG* pYes) override;
    HRESULT CreateNewEncoder(IAudioEncoder** ppEncoder, EEncoderType eEncoderType) override;
    HRESULT Destroy() override;
    HRESULT GetErrors(VARIANT* aErrors) override;
    HRESULT SetUndeletableRange(ULONGLONG llStartPos, ULONGLONG llEndPos) override;
    HRESULT ResetUndeletableRange(ULONGLONG llStartPos, ULONGLONG llEndPos) override;
    HRESULT ClearPlayList() override;
    HRESULT GetAmountCacheBuffer(UINT* pAmount) override;

    // IQXListener
    HRESULT OnSongFound(DWORD dwLeftBorder, DWORD dwRightBorder) override;
    HRESULT OnAudioData(DWORD dwBytes, BYTE* pSource) override;
    HRESULT OnInterrupt() override;

    // IConnectionPointContainer
    HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) override;

    // Runs a command through the state machine with no event delivered until
    // the command lock is let go.
    HRESULT ProcessCommand(ECommand eCmd);

    // Minutes that a byte count of the engine stream lasts: 0 for nothing (or
    // a negative count), else whole minutes plus one.
    static int BytesToMinutes(LONGLONG llBytes);
    // A signed offset in milliseconds as bytes of the engine stream, cut down
    // to whole hundredths of a second.
    static LONGLONG OffsetToBytes(LONGLONG llMilliseconds);
    // A position in milliseconds as bytes, cut down to whole hundredths.
    static ULONGLONG PositionToBytes(ULONGLONG llMilliseconds);
    // The longest song as a time code, from the setting in minutes.
    static KTimecode MaxSongLength(UINT nMinutes);

    // One pass of each engine thread, for the threads and for tests that run
    // the controller without them (KControllerComponents::startThreads).
    void ReplayPass();
    void MaintenancePass();
    void CleanupPass();
    void CapturePass();
    void SilencePass();
    void UpdatePositionState();
    HRESULT CacheAlmostFullChecker();
    HRESULT DiscAlmostFullChecker();
    HRESULT DiscFullChecker();

    // Whether a cache-folder switch is under way.
    bool IsSwitchingCacheFolder() const { return m_bSwitching; }

    // The write position of the buffer that song detection follows; false
    // when it cannot be read.
    bool GetDetectionWritePos(ULONGLONG* pPos);

private:
    HRESULT RunTransportCommand(ECommand eCmd, const char* expression, const char16_t* failure);
    friend class plat::ComObject<KAudioController, IAudioController, IQXListener, IConnectionPointContainer>;

    explicit KAudioController(const KControllerComponents& components);
    ~KAudioController() override;

    HRESULT QueryExtraInterface(REFIID riid, void** ppv) override;

    // Construction and release of the components.
    HRESULT FinalConstruct();
    HRESULT CreateObjects();
    HRESULT LoadSerialization();
    HRESULT LoadCache();
    HRESULT InitPlay();
    HRESULT InitCapture();
    HRESULT SetProgramState();
    void ReleaseObjects();
    HRESULT StartAllThreads();
    void StopAllThreads();
    void StopThread(plat::Thread& thread, const char* name);

    // Command handlers (called by ProcessCommand under the command lock).
    HRESULT OnPlay() override;
    HRESULT OnPause() override;
    HRESULT OnLive() override;
    HRESULT OnRec() override;
    HRESULT OnSkip() override;
    HRESULT OnBack() override;
    HRESULT OnStop() override;
    // Starts the live players where the new state lets the live sound be
    // heard and a transition had stopped them. Under the data mutex.
    void ResumeLivePlayers();
    // The room for recording on the cache folder's volume; S_OK or the reason.
    HRESULT CheckDiskForRecording();
    // S_OK while the folder's volume has room for recording, else the reason.
    HRESULT CheckRoomOnDisk(const std::u16string& folder);

    // The settings update (one at a time, under m_settingsUpdateLock) and its steps.
    HRESULT UpdateCacheSettings();
    HRESULT UpdatePlaySettings();
    HRESULT UpdateCaptureSettings();
    HRESULT UpdateSilenceSettings();
    HRESULT UpdateMaxSongLength();
    // Opens the three players on a device; the first failure.
    HRESULT OpenPlayers(BSTR bstrDevice);
    // Initializes the live, replay and live-capture players on one device at
    // the same time (each waits for the device to settle; the waits overlap).
    // Each failure is reported; the first in that order is the result.
    HRESULT InitializePlayers(BSTR bstrDevice);
    // Refuses a folder that cannot hold the cache (S_OK when it can).
    HRESULT CheckCacheFolder(const std::u16string& folder);
    // Moves the engine to the folder the settings name; CacheLoaded follows
    // whatever happens.
    HRESULT SwitchCacheFolder(const std::u16string& newDir);
    void AnnounceSongs();
    void EmptyPlaylistInMemory();

    // Thread bodies and their entry procedures.
    static HRESULT ReplayThreadProc(KAudioController* pThis);
    static HRESULT MaintenanceThreadProc(KAudioController* pThis);
    static HRESULT PlaylistCleanupThreadProc(KAudioController* pThis);
    static HRESULT CaptureThreadProc(KAudioController* pThis);
    static HRESULT SilenceWriterThreadProc(KAudioController* pThis);
    HRESULT ReplayThread();
    HRESULT MaintenanceThread();
    HRESULT PlaylistCleanupThread();
    HRESULT CaptureThread();
    HRESULT SilenceWriterThread();
    void DetectSongs(DWORD dwNow);
    // One block to the song detector (through the components' seam if set).
    HRESULT AnalyseBlock(const short* samples, LONG bytes, LONGLONG position);
    void EnsureReplaying();
    // Sizes the capture block to the capturer's buffer (capture thread only).
    bool FitCaptureBlock();
    bool ReinitializeCapturer();

    // Events through the gate; failures are logged where they are delivered.
    // Raise posts one delivery; a failed one is traced as 'expression' and
    // reported with 'failure'.
    template <class Fire>
    void Raise(const char* expression, const char16_t* failure, Fire fire);
    void RaiseSongDetected(const GUID& guid);
    void RaiseSongDeleted(const GUID& guid);
    void RaiseCacheAlmostFull(UINT nMinutes);
    void RaiseDiskAlmostFull(UINT nMinutes, bool bRepeat);
    void RaiseDiskFull();
    void RaiseCacheLoaded(UINT nNewCacheSize);
    void RaiseClearPlayList();
    void RaiseCacheLoading();

    bool FreeDiskSpace(BSTR bstrDir, ULONGLONG* pFree);
    // Whether the folder's volume is full: no more free than a quarter of
    // one cache file. S_OK with the answer; a failure of the cache (traced
    // and reported); S_FALSE when the free space cannot be read (the
    // thread's last error says why).
    HRESULT IsDiskFull(const std::u16string& folder, bool* pFull);
    // A position or length of the cache in bytes, read by 'read', as
    // milliseconds of the engine stream; a failure is traced as 'expression'
    // and reported with 'failure'.
    HRESULT GetCacheMs(HRESULT (ICache::*read)(ULONGLONG*), const char* expression, const char16_t* failure,
                       ULONG* pMs);
    DWORD Snapshot();

    KControllerComponents m_components;

    plat::ComPtr<IPlayList> m_pPlaylist;
    plat::ComPtr<ISettings> m_pSettings;
    plat::ComPtr<ICache> m_pCache;
    plat::ComPtr<IAudioPlayer> m_pReplayPlayer;
    plat::ComPtr<IAudioManager> m_pAudioManager;
    plat::ComPtr<ICaptureManager> m_pCaptureManager;
    plat::ComPtr<IAudioPlayer> m_pLivePlayer;
    plat::ComPtr<IAudioPlayer> m_pLiveCapturePlayer;
    plat::ComPtr<IAudioCapturer> m_pCapturer;

    plat::Mutex m_hDataMutex;
    plat::Event m_hEventWakeUp{plat::Event::Reset::Manual};
    // Wakes the maintenance pass: a command may have moved the positions or
    // started what moves them.
    plat::Event m_hMaintenanceWake{plat::Event::Reset::Auto};
    // Sets m_hMaintenanceWake when the scope ends, however it ends.
    class KMaintenanceWaker {
    public:
        explicit KMaintenanceWaker(KAudioController& owner) : m_owner(owner) {}
        ~KMaintenanceWaker() { m_owner.m_hMaintenanceWake.Set(); }
        KMaintenanceWaker(const KMaintenanceWaker&) = delete;
        KMaintenanceWaker& operator=(const KMaintenanceWaker&) = delete;

    private:
        KAudioController& m_owner;
    };
    plat::Event m_hEventExit{plat::Event::Reset::Manual};
    plat::Event m_hEventCapture{plat::Event::Reset::Manual};
    plat::Event m_hEventSilence{plat::Event::Reset::Manual};

    OWAVEFORMATEX m_cWaveFormat{};
    // The target of the next Skip or Back; written and read under the command lock.
    LONGLONG m_llReadPosOffset = 0;
    EBasicPosition m_eReadPosBase = posStart;

    // Fed by the maintenance thread and marked by command handlers: one
    // caller at a time, under its own lock (innermost of the engine's locks).
    plat::Mutex m_detectorMutex;
    SoundProcessing::KSongDetector m_cSongDetector;

    std::atomic<DWORD> m_dwLastSilenceTick{0};
    // Receives captured data; after the threads start only the capture
    // thread touches it.
    std::vector<BYTE> m_pCaptureSubBuffer;
    // Whether the live players play (under the data mutex).
    bool m_bLivePlayerRunning = false;
    bool m_bLiveCapturePlayerRunning = false;

    // Maintenance thread state.
    struct SMaintenance {
        bool bStarted = false;
        bool bReady = false;
        DWORD dwLastSave = 0;
        DWORD dwLastStallCheck = 0;
        ULONGLONG llLastWritePos = 0;
        ULONGLONG llLastStallPos = 0;
        std::vector<BYTE> block;
    } m_maintenance;
    // Clean-up thread state: the cache start of the previous pass, in ms.
    DWORD m_dwCleanupStartMs = 0;
    std::vector<BYTE> m_replayBlock;

    // One settings update at a time; taken before any engine lock.
    std::mutex m_settingsUpdateLock;
    // Held by the capture pump through each pass: a settings update that
    // rebuilds the capturer holds it once the pump is parked.
    std::mutex m_capturePassLock;
    // Maintenance and clean-up passes hold it shared and skip their pass
    // while a cache-folder switch holds it.
    std::shared_mutex m_passLock;
    std::atomic<bool> m_bSwitching{false};

    KEventGate m_cEventGate;
    CProxy_IAudioControllerEvents m_cEvents{this};
    KStorageWarnings m_cWarnings;

    std::atomic<bool> m_bDestroyed{false};
    std::atomic<bool> m_bThreadsStarted{false};

    // Declared last: destroyed (joined) first.
    plat::Thread m_hReplayThread;
    plat::Thread m_hMaintenanceThread;
    plat::Thread m_hCleanupThread;
    plat::Thread m_hCaptureThread;
    plat::Thread m_hSilenceThread;
    plat::Thread m_hSwitchThread;
};
