#pragma once
// The ring that a player or the capturer works on. Callers that need none of
// the device's own locks (status, the play thread's checks) take a reference
// of their own, so a ring is never released under a call that uses it. It is
// replaced under a small lock of its own, and an old ring (with its device
// thread) ends outside that lock.
#include <memory>
#include <mutex>
#include <utility>

#include "log/Trace.h"

template <class Buffer>
class SoundBufferSlot {
public:
    std::shared_ptr<Buffer> Get() const {
        std::lock_guard<std::mutex> g(m_lock);
        return m_buffer;
    }
    // The ring, or null after tracing and reporting 'missing'.
    std::shared_ptr<Buffer> GetOrReport(const char16_t* missing) const {
        std::shared_ptr<Buffer> buffer = Get();
        if (!buffer) {
            TQ_TRACE_HR("E_FAIL");
            TQ_REPORT(EC_INTERNAL, E_FAIL, missing);
        }
        return buffer;
    }
    void Set(std::shared_ptr<Buffer> buffer) {
        std::shared_ptr<Buffer> old;
        {
            std::lock_guard<std::mutex> g(m_lock);
            old = std::exchange(m_buffer, std::move(buffer));
        }
    }

private:
    mutable std::mutex m_lock;
    std::shared_ptr<Buffer> m_buffer;
};
