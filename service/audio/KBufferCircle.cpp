#include "service/audio/KBufferCircle.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "log/KLock.h"

namespace {

// A reader that does not wait gives up after this long without data.
constexpr DWORD kNoWaitTimeoutMs = 333;

}  // namespace

KBufferCircle::KBufferCircle() = default;

KBufferCircle::~KBufferCircle() { Free(); }

bool KBufferCircle::SetSize(DWORD bytes) {
    m_pStorage.reset();
    m_dwCapacity = 0;
    m_dwReadIndex = m_dwWriteIndex = 0;
    if (bytes == 0) return true;
    m_pStorage.reset(new (std::nothrow) BYTE[bytes]);
    if (!m_pStorage) return false;
    m_dwCapacity = bytes;
    return true;
}

void KBufferCircle::Free() {
    KLock lock(m_mutex);
    m_pStorage.reset();
    m_dwCapacity = 0;
    m_dwReadIndex = m_dwWriteIndex = 0;
}

DWORD KBufferCircle::UsedLocked() const {
    if (m_dwWriteIndex >= m_dwReadIndex) return m_dwWriteIndex - m_dwReadIndex;
    return m_dwCapacity - m_dwReadIndex + m_dwWriteIndex;
}

DWORD KBufferCircle::FreeLocked() const {
    if (m_dwCapacity == 0) return 0;
    return m_dwCapacity - UsedLocked() - 1;
}

DWORD KBufferCircle::UsedBytes() const {
    KLock lock(m_mutex);
    return UsedLocked();
}

DWORD KBufferCircle::FreeBytes() const {
    KLock lock(m_mutex);
    return FreeLocked();
}

DWORD KBufferCircle::Capacity() const {
    KLock lock(m_mutex);
    return m_dwCapacity;
}

uint64_t KBufferCircle::Generation() const {
    KLock lock(m_mutex);
    return m_nGeneration;
}

bool KBufferCircle::Write(const BYTE* data, DWORD bytes) {
    if (bytes == 0) return true;
    if (!data) return false;
    const uint64_t generation = Generation();
    DWORD done = 0;
    while (done < bytes) {
        DWORD r = plat::WaitAny({&m_evStop, &m_evRoom}, INFINITE);
        if (r != plat::WAIT_OBJECT_0 + 1) return false;  // stopped (or the wait broke)
        bool wake = false;
        {
            KLock lock(m_mutex);
            // The stream this call belongs to was discarded: the rest goes with it.
            if (m_nGeneration != generation) return true;
            if (m_dwCapacity == 0) return false;
            DWORD n = std::min(FreeLocked(), bytes - done);
            if (n > 0) {
                DWORD tail = m_dwCapacity - m_dwWriteIndex;
                if (n >= tail) {
                    std::memcpy(m_pStorage.get() + m_dwWriteIndex, data + done, tail);
                    std::memcpy(m_pStorage.get(), data + done + tail, n - tail);
                    m_dwWriteIndex = n - tail;
                } else {
                    std::memcpy(m_pStorage.get() + m_dwWriteIndex, data + done, n);
                    m_dwWriteIndex += n;
                }
                done += n;
                // The consumer is woken once there is as much as it waits for.
                wake = UsedLocked() >= m_dwWanted;
            }
            if (FreeLocked() == 0) m_evRoom.ResetEvent();
        }
        // Woken outside the lock: the consumer (a writer thread of higher
        // priority) takes the lock first thing, and would otherwise run only
        // to block on it. A consumer that has reset the event meanwhile wakes
        // once more and finds what it wants or waits again.
        if (wake) m_evData.Set();
    }
    return true;
}

DWORD KBufferCircle::CopyOut(BYTE* destination, DWORD bytes) {
    // Called with m_mutex held.
    DWORD n = std::min(UsedLocked(), bytes);
    if (n > 0) {
        DWORD tail = m_dwCapacity - m_dwReadIndex;
        if (n >= tail) {
            std::memcpy(destination, m_pStorage.get() + m_dwReadIndex, tail);
            std::memcpy(destination + tail, m_pStorage.get(), n - tail);
            m_dwReadIndex = n - tail;
        } else {
            std::memcpy(destination, m_pStorage.get() + m_dwReadIndex, n);
            m_dwReadIndex += n;
        }
    }
    if (UsedLocked() == 0) m_evData.ResetEvent();
    m_evRoom.Set();
    return n;
}

LONG KBufferCircle::Read(BYTE* destination, DWORD bytes, bool bWait) {
    if (bytes == 0) return 0;
    if (!destination) return -1;
    const DWORD timeout = bWait ? INFINITE : kNoWaitTimeoutMs;
    uint64_t generation = Generation();
    DWORD copied = 0;
    while (copied < bytes) {
        DWORD r = plat::WaitAny({&m_evStop, &m_evData}, timeout);
        if (r == plat::WAIT_OBJECT_0) {
            // Bytes this call already took out of the ring are handed over,
            // never lost.
            return copied > 0 ? static_cast<LONG>(copied) : -1;
        }
        if (r != plat::WAIT_OBJECT_0 + 1) return static_cast<LONG>(copied);  // time-out
        {
            KLock lock(m_mutex);
            if (m_nGeneration != generation) {
                copied = 0;
                generation = m_nGeneration;
            }
            copied += CopyOut(destination + copied, bytes - copied);
        }
        if (!bWait) break;
    }
    return static_cast<LONG>(copied);
}

LONG KBufferCircle::ReadPortion(BYTE* destination, DWORD bytes, DWORD idleMs, uint64_t* generation) {
    if (!destination || bytes == 0) return 0;
    uint64_t gen = Generation();
    DWORD copied = 0;
    while (copied < bytes) {
        bool holding;
        {
            // Woken only once the rest of the portion is there, not by every
            // write on the way; with nothing held yet, by the first bytes, so
            // that the idle time runs from there being some.
            KLock lock(m_mutex);
            holding = copied > 0 || UsedLocked() > 0;
            m_dwWanted = holding ? bytes - copied : 1;
            if (UsedLocked() >= m_dwWanted) {
                m_evData.Set();
            } else {
                m_evData.ResetEvent();
            }
        }
        DWORD r = plat::WaitAny({&m_evStop, &m_evFlush, &m_evData}, holding ? idleMs : INFINITE);
        const bool broken = r != plat::WAIT_OBJECT_0 && r != plat::WAIT_OBJECT_0 + 1 && r != plat::WAIT_OBJECT_0 + 2 &&
                            r != plat::WAIT_TIMEOUT;
        {
            KLock lock(m_mutex);
            m_dwWanted = 1;
            if (UsedLocked() > 0) m_evData.Set();
            if (m_nGeneration != gen) {
                copied = 0;
                gen = m_nGeneration;
            }
            // A broken wait behaves as stopped rather than spin.
            if (!broken) copied += CopyOut(destination + copied, bytes - copied);
        }
        if (broken) {
            if (copied == 0) return -1;
            break;
        }
        if (r == plat::WAIT_OBJECT_0) {
            if (copied == 0) return -1;  // stopped and drained
            break;
        }
        // A flush hands over at once; a portion that did not fill within the
        // idle time means the producer paused: hand over what is held.
        if (r == plat::WAIT_OBJECT_0 + 1 || r == plat::WAIT_TIMEOUT) break;
    }
    if (generation) *generation = gen;
    return static_cast<LONG>(copied);
}

bool KBufferCircle::Flush(DWORD timeoutMs) {
    std::unique_lock<std::mutex> lock(m_flushMutex);
    const uint64_t ticket = ++m_nFlushAsked;
    m_evFlush.Set();
    auto settled = [&] { return m_nFlushDone >= ticket || m_evStop.IsSet(); };
    if (timeoutMs == INFINITE) {
        m_flushDone.wait(lock, settled);
    } else {
        m_flushDone.wait_for(lock, std::chrono::milliseconds(timeoutMs), settled);
    }
    return m_nFlushDone >= ticket;
}

void KBufferCircle::CompleteFlushIfEmpty() {
    std::lock_guard<std::mutex> lock(m_flushMutex);
    if (m_nFlushDone == m_nFlushAsked) return;
    if (UsedBytes() != 0) return;
    m_nFlushDone = m_nFlushAsked;
    m_evFlush.ResetEvent();
    m_flushDone.notify_all();
}

void KBufferCircle::Discard() {
    KLock lock(m_mutex);
    m_dwReadIndex = m_dwWriteIndex;
    ++m_nGeneration;
    m_evData.ResetEvent();
    m_evRoom.Set();
}

void KBufferCircle::Stop() {
    m_evStop.Set();
    {
        std::lock_guard<std::mutex> lock(m_flushMutex);
    }
    m_flushDone.notify_all();
}
