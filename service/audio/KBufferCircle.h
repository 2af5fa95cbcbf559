#pragma once
// A bounded byte ring between the threads that hand audio to one cache buffer
// and that buffer's writer thread. One producer and one consumer per ring;
// the producer blocks only while the ring is full, the consumer only while it
// is empty. One byte of the storage is always kept free, so a ring of
// capacity C holds at most C - 1 bytes.
#include <condition_variable>
#include <memory>
#include <mutex>

#include "platform/core/Sync.h"
#include "platform/core/WinTypes.h"

inline constexpr DWORD CIRCLE_BUFFER_BYTE = 0x100000;
inline constexpr DWORD WRITEPORTION_BYTE = 8192;

class KBufferCircle {
public:
    KBufferCircle();
    virtual ~KBufferCircle();
    KBufferCircle(const KBufferCircle&) = delete;
    KBufferCircle& operator=(const KBufferCircle&) = delete;

    // Replaces the storage by `bytes` new bytes and empties the ring. Called
    // before any producer or consumer runs. False when memory runs out.
    bool SetSize(DWORD bytes);
    void Free();

    // Blocks until every byte is in the ring. False only when the ring is
    // stopped; the bytes of a call that a Discard overtakes are dropped with
    // the rest of the discarded stream (true).
    bool Write(const BYTE* data, DWORD bytes);
    // Copies up to `bytes` bytes out. Waiting: returns only with all bytes;
    // not waiting: one pass after at most 333 ms for data, 0 when none came.
    // -1 when the ring is stopped before anything was copied by this call.
    LONG Read(BYTE* destination, DWORD bytes, bool bWait);

    // The consumer's read of one portion: waits for `bytes` bytes, but returns
    // what there is early when a flush is asked for, when the portion did not
    // fill within `idleMs` of there being some, or when the ring is stopped
    // (then it drains what is left, portion by portion). -1 once stopped and
    // empty. The producer wakes it only once the portion is there.
    // *generation receives the generation the returned bytes belong to.
    LONG ReadPortion(BYTE* destination, DWORD bytes, DWORD idleMs, uint64_t* generation);

    // Asks the consumer to take out everything now in the ring, even short of
    // a portion, and waits until it has confirmed (CompleteFlushIfEmpty), the
    // ring is stopped, or the time-out passes. True when confirmed.
    bool Flush(DWORD timeoutMs);
    // Consumer: confirms pending flushes once the ring is empty.
    void CompleteFlushIfEmpty();

    // Drops everything unread and starts a new generation: bytes of the old
    // one that a reader still holds can be recognised and dropped.
    void Discard();
    uint64_t Generation() const;

    // Ends every wait: Write returns false, Read -1, ReadPortion drains.
    void Stop();
    bool IsStopped() const { return m_evStop.IsSet(); }

    DWORD UsedBytes() const;
    DWORD FreeBytes() const;
    DWORD Capacity() const;

private:
    DWORD UsedLocked() const;
    DWORD FreeLocked() const;
    // One copy pass under the mutex; returns the count copied.
    DWORD CopyOut(BYTE* destination, DWORD bytes);

    mutable plat::Mutex m_mutex;
    std::unique_ptr<BYTE[]> m_pStorage;
    DWORD m_dwCapacity = 0;
    DWORD m_dwReadIndex = 0;
    DWORD m_dwWriteIndex = 0;
    uint64_t m_nGeneration = 0;
    // How many bytes the consumer waits for; m_evData is set from then on.
    DWORD m_dwWanted = 1;

    plat::Event m_evStop{plat::Event::Reset::Manual, false};
    plat::Event m_evRoom{plat::Event::Reset::Manual, true};
    plat::Event m_evData{plat::Event::Reset::Manual, false};
    plat::Event m_evFlush{plat::Event::Reset::Manual, false};

    // The flush handshake between producers and the consumer.
    std::mutex m_flushMutex;
    std::condition_variable m_flushDone;
    uint64_t m_nFlushAsked = 0;
    uint64_t m_nFlushDone = 0;
};
