#pragma once
// The service's time-shift cache: three buffers on one position axis, each
// fed by one source of the engine stream (48000 Hz, 2 channels, 16 bits) and
// moved to disk by a writer thread of its own. Producers only fill a
// buffer's ring (WriteEx); readers get one buffer or the three mixed.
//
// Beyond ICache the owner uses:
//   KCache::Create()  the object with its count at 0, or null;
//   Flush()           writes what the rings hold, short of a whole portion
//                     too (call it when recording stops, without holding
//                     anything a writer could wait for);
//   a failed disk write of a buffer makes the next WriteEx of that buffer
//   fail with the write's HRESULT (once), so that recording stops.
#include <atomic>
#include <memory>
#include <vector>

#include "ipc/QXServiceLib.h"
#include "platform/com/ComObject.h"
#include "platform/core/Sync.h"
#include "platform/core/Thread.h"
#include "service/audio/KBufferCircle.h"
#include "service/audio/KCacheImpl.h"

inline constexpr UINT PLAY_DEVICE_BUFFER = 0;
inline constexpr UINT RECORD_DEVICE_BUFFER = 1;
inline constexpr UINT SILENCE_BUFFER = 2;
inline constexpr UINT CACHE_BUFFER_COUNT = 3;

// One buffer: its file chain, its ring and its writer thread.
struct KCacheBuffer {
    KCacheImpl m_cSaver;
    KBufferCircle m_ring;
    plat::Thread m_thread;
    // The failure of the last data write that no WriteEx has reported yet.
    std::atomic<HRESULT> m_hrWriteError{S_OK};
};

class KCache : public plat::ComObject<KCache, ICache> {
public:
    // Bytes kept readable before the cache write position when the cache is
    // full, so that a read there is not trimmed away at once.
    static constexpr ULONGLONG kFullMargin = 0x200000;
    // A reader this close to the cache write position counts as live.
    static constexpr ULONGLONG kLiveWindow = 0x12C00;
    // A writer whose buffer lags the others by more than this (plus its
    // portion) first fills the lag with silence.
    static constexpr LONGLONG kGapThreshold = 96000;
    // A writer holding less than a portion writes it when no data came for this long.
    static constexpr DWORD kTailIdleMs = 500;
    static constexpr DWORD kFlushTimeoutMs = 30000;

    static KCache* Create();

    // ICache
    HRESULT SetSize(ULONGLONG llSize) override;
    HRESULT GetSize(ULONGLONG* pSize) override;
    HRESULT GetFileMaxSize(ULONG* pSize) override;
    HRESULT IsEmpty(LONG* pYes) override;
    HRESULT IsFull(LONG* pYes) override;
    HRESULT GetPercentFullness(BYTE* pPercent) override;
    HRESULT GetTimeFullness(ULONGLONG* pBytes) override;
    HRESULT GetByteFullness(ULONGLONG* pBytes) override;
    HRESULT GetStartReadPos(ULONGLONG* pPos) override;
    HRESULT GetReadPos(ULONGLONG* pPos) override;
    HRESULT GetReadPosEx(UINT nIndex, ULONGLONG* pPos) override;
    HRESULT GetWritePosEx(UINT nIndex, ULONGLONG* pPos) override;
    HRESULT GetWritePos(ULONGLONG* pPos) override;
    HRESULT SynchronizeReadPos(LONGLONG llOffset, EBasicPosition eBasePos) override;
    HRESULT SetReadPosEx(UINT nIndex, LONGLONG llOffset, EBasicPosition eBasePos) override;
    HRESULT SetUndeletableRange(ULONGLONG llStartPos, ULONGLONG llEndPos) override;
    HRESULT ResetUndeletableRange(ULONGLONG llStartPos, ULONGLONG llEndPos) override;
    HRESULT WriteEx(UINT nIndex, ULONG dwBytes, BYTE* pSource) override;
    HRESULT WriteSilenceEx(UINT nIndex, ULONGLONG llBytes) override;
    HRESULT Read(ULONG dwBytes, BYTE* pDestination) override;
    HRESULT ReadEx(UINT nIndex, ULONG dwBytes, BYTE* pDestination) override;
    HRESULT ReadFixedPos(ULONGLONG llPos, ULONG dwBytes, BYTE* pDestination) override;
    HRESULT ReadFixedPosEx(UINT nIndex, ULONGLONG llPos, ULONG dwBytes, BYTE* pDestination) override;
    HRESULT Clear(LONG bWait) override;
    HRESULT SetLive(LONG bLock) override;
    HRESULT SetCanLive(LONG bLock) override;
    HRESULT SetLiveEx(UINT nIndex, LONG bLock) override;
    HRESULT SetCanLiveEx(UINT nIndex, LONG bLock) override;
    HRESULT SetCacheDir(BSTR bstrDir) override;
    HRESULT IsLive(UINT nIndex, LONG* pYes) override;
    HRESULT GetCacheDir(BSTR* pbstrDir) override;
    HRESULT Save() override;
    HRESULT Load() override;

    // Writes what every ring holds, a short tail included, and waits until it
    // is on disk (or the time-out passes: E_FAIL).
    HRESULT Flush(DWORD timeoutMs = kFlushTimeoutMs);

    // Trims the cache from the front until `bytes` more fit the size limit.
    HRESULT ReserveSpace(ULONGLONG bytes);
    // The three buffers mixed, at their read positions or at one position.
    HRESULT MixRead(DWORD bytes, BYTE* pDestination, bool bFixed, ULONGLONG llPos);

    // One buffer's chain, for inspection.
    const KCacheImpl& GetBufferChain(UINT nIndex) const { return m_vpKCacheBuffer.at(nIndex)->m_cSaver; }

private:
    friend class plat::ComObject<KCache, ICache>;

    KCache();
    ~KCache() override;
    HRESULT Initialize();
    HRESULT WriterThread(UINT nIndex);
    void WriteStep(UINT nIndex, const BYTE* pPortion, DWORD dwBytes, uint64_t generation);
    void ApplyLiveRule(UINT nIndex, LONG bLock);

    std::vector<std::unique_ptr<KCacheBuffer>> m_vpKCacheBuffer;
    std::u16string m_strCacheDir;  // the cache folder, ending in "/"
    // No limit until the owner sets one, so nothing is trimmed before. Set
    // under the cache lock; read without it by the fullness getters, which
    // must not wait for a disk write that holds the lock.
    std::atomic<ULONGLONG> m_llSize{~0ULL};
    mutable plat::Mutex m_csCache;
};
