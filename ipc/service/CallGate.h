#pragma once
// Counts the calls in progress on one exported object. An object whose last
// reference goes (released, or its holder left the bus) takes no new call from
// then on, but its adaptors are destroyed only once every call still in
// progress has sent its answer: sd-bus checks an answer against the method
// table that the adaptor registered, so that table must outlive the answer.
//
// Only this gate's own lock is taken inside it, so it may be entered on the
// bus thread and closed under the object table's lock alike.
#include <cstddef>
#include <mutex>

namespace ipc {

class CallGate {
public:
    // A call arrives: false once the object is leaving (the call is answered
    // as one on an object that is gone).
    bool Enter();
    // A call has answered, or its answer was dropped. True when the object is
    // leaving and this was the last call in progress.
    bool Leave();
    // The object is leaving: no call enters any more. True when no call is in
    // progress, so that it may go at once.
    bool Close();
    // Handed out again while it was still waiting for its calls: it stays.
    void Reopen();
    // Closed with no call in progress.
    bool IsDrained() const;

private:
    mutable std::mutex m_mutex;
    size_t m_running = 0;
    bool m_closed = false;
};

}  // namespace ipc
