#pragma once
// A scoped hold of one of the engine's locks (the command lock, the data
// mutex, the detector's lock). The thread remembers how many it holds, so
// that events raised meanwhile are held back (KEventGate) and delivered when
// the outermost hold ends, with no lock held.
#include "platform/core/Sync.h"

class KEventGate;

class KEngineLock {
public:
    // mutex may be null to mark a stretch in which a lock is taken further in
    // (the command lock inside the state machine).
    KEngineLock(plat::Mutex* mutex, KEventGate& gate);
    KEngineLock(plat::Mutex& mutex, KEventGate& gate) : KEngineLock(&mutex, gate) {}
    ~KEngineLock();
    KEngineLock(const KEngineLock&) = delete;
    KEngineLock& operator=(const KEngineLock&) = delete;

    static bool HeldByThisThread();

private:
    plat::Mutex* m_mutex;
    KEventGate& m_gate;
};
