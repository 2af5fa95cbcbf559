#include "service/controller/KEngineLock.h"

#include "service/controller/KEventGate.h"

namespace {
thread_local int t_depth = 0;
}

KEngineLock::KEngineLock(plat::Mutex* mutex, KEventGate& gate) : m_mutex(mutex), m_gate(gate) {
    if (m_mutex) m_mutex->Lock();
    ++t_depth;
}

KEngineLock::~KEngineLock() {
    --t_depth;
    if (m_mutex) m_mutex->Unlock();
    if (t_depth == 0) m_gate.Flush();
}

bool KEngineLock::HeldByThisThread() { return t_depth > 0; }
