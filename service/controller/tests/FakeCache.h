#pragma once
// A cache in memory with the behaviour the controller relies on: three
// buffers with write, read and start positions, the live window of 400 ms,
// mixed reads and failures on request.
#include <array>
#include <condition_variable>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "ipc/QXServiceLib.h"
#include "platform/com/ComObject.h"

class FakeCache final : public plat::ComObject<FakeCache, ICache> {
public:
    static constexpr ULONGLONG kLiveWindow = 76800;

    struct Buffer {
        std::vector<BYTE> data;  // sample bytes from position 0 (silence as zeros)
        ULONGLONG write = 0;
        ULONGLONG read = 0;
        bool live = true;
        bool canLive = true;
    };

    // Test controls (all guarded by the cache's lock).
    void SetStart(ULONGLONG start);
    void FailWrites(bool fail);
    void FailReads(bool fail);
    void FailSetCacheDir(bool fail);
    void FailClear(bool fail);
    void SetDir(const std::u16string& dir);
    Buffer BufferCopy(UINT index);
    int SaveCount();
    int LoadCount();
    std::vector<std::pair<ULONGLONG, ULONGLONG>> Ranges();
    // Load waits while loads are blocked (as a large index takes its time);
    // WaitLoadBlocked tells when a Load has begun to wait.
    void BlockLoads(bool block);
    bool WaitLoadBlocked(int timeoutMs);
    // Appends bytes of the given value to a buffer as if written (for tests
    // that need cached audio without the intake).
    void Fill(UINT index, ULONGLONG bytes, BYTE value);
    // Every buffer emptied back to position 0 (a cleared disk cache).
    void Empty();
    // The mixed reads at fixed positions so far: {position, bytes}.
    std::vector<std::pair<ULONGLONG, ULONG>> FixedReads();

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

private:
    ULONGLONG WritePosLocked() const;
    void Append(Buffer& b, const BYTE* data, ULONGLONG bytes);

    std::recursive_mutex m_lock;
    std::array<Buffer, 3> m_buffers;
    ULONGLONG m_start = 0;
    ULONGLONG m_size = 0;
    bool m_failWrites = false;
    bool m_failReads = false;
    bool m_failSetDir = false;
    bool m_failClear = false;
    std::u16string m_dir = u"/tmp/";
    int m_saves = 0;
    int m_loads = 0;
    bool m_blockLoads = false;
    int m_loadsWaiting = 0;
    std::condition_variable_any m_loadChanged;
    std::vector<std::pair<ULONGLONG, ULONGLONG>> m_ranges;
    std::vector<std::pair<ULONGLONG, ULONG>> m_fixedReads;
};
