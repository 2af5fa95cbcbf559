#include "ipc/service/CallGate.h"

namespace ipc {

bool CallGate::Enter() {
    std::lock_guard lock(m_mutex);
    if (m_closed) return false;
    ++m_running;
    return true;
}

bool CallGate::Leave() {
    std::lock_guard lock(m_mutex);
    if (m_running > 0) --m_running;
    return m_closed && m_running == 0;
}

bool CallGate::Close() {
    std::lock_guard lock(m_mutex);
    m_closed = true;
    return m_running == 0;
}

void CallGate::Reopen() {
    std::lock_guard lock(m_mutex);
    m_closed = false;
}

bool CallGate::IsDrained() const {
    std::lock_guard lock(m_mutex);
    return m_closed && m_running == 0;
}

}  // namespace ipc
