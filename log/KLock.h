#pragma once
// The engine's one locking idiom: a scoped hold of a re-entrant mutex.
#include "platform/core/Sync.h"

class KLock {
public:
    explicit KLock(plat::Mutex& mutex) : m_mutex(&mutex) { m_mutex->Lock(); }
    explicit KLock(plat::Mutex* mutex) : m_mutex(mutex) {
        if (m_mutex) m_mutex->Lock();
    }
    virtual ~KLock() {
        if (m_mutex) m_mutex->Unlock();
    }
    KLock(const KLock&) = delete;
    KLock& operator=(const KLock&) = delete;

private:
    plat::Mutex* m_mutex;  // not owned
};
