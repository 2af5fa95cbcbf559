#pragma once
// The event-loop thread of one bus connection: it dispatches incoming calls,
// answers and signals until it is stopped or the bus goes away. When the bus
// goes away (the daemon ends, the socket breaks) the loop ends quietly and
// Lost() is set; the calls still waiting are answered with errors by the
// connection, later calls fail at once, and the owner decides what to do.
#include <atomic>
#include <thread>

#include <sdbus-c++/IConnection.h>

#include "platform/core/Sync.h"

namespace ipc {

class EventLoop {
public:
    explicit EventLoop(sdbus::IConnection& connection) : m_connection(connection) {}
    // Stops and joins the thread (never call it from the loop's own thread).
    ~EventLoop() { Stop(); }
    EventLoop(const EventLoop&) = delete;
    EventLoop& operator=(const EventLoop&) = delete;

    // Starts the thread. Throws std::system_error when no thread can be had.
    void Start();
    void Stop();
    bool IsOwnThread() const { return std::this_thread::get_id() == m_threadId.load(); }

    // Set once the bus connection is lost (not by Stop).
    plat::Event& Lost() { return m_lost; }
    bool IsLost() const { return m_lost.IsSet(); }

private:
    void Run();

    sdbus::IConnection& m_connection;
    std::thread m_thread;
    std::atomic<std::thread::id> m_threadId{};
    plat::Event m_lost{plat::Event::Reset::Manual};
};

}  // namespace ipc
