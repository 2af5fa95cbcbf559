#pragma once
// The event-loop thread of one bus connection: it dispatches incoming calls,
// answers and signals until it is stopped or the bus goes away. When the bus
// goes away (the daemon ends, the socket breaks) the loop ends quietly and
// Lost() is set; the calls still waiting are answered with errors by the
// connection, later calls fail at once, and the owner decides what to do.
//
// The loop shares the connection with its owner: the thread keeps it (and
// its own state) alive until it has left the loop, so that the owner may be
// destroyed from inside a handler on the loop's own thread. Once the thread
// has ended, the owner's reference is the only one left.
#include <atomic>
#include <memory>
#include <thread>

#include <sdbus-c++/IConnection.h>

#include "platform/core/Sync.h"

namespace ipc {

class EventLoop {
public:
    explicit EventLoop(std::shared_ptr<sdbus::IConnection> connection);
    // Stops the loop (see Stop).
    ~EventLoop() { Stop(); }
    EventLoop(const EventLoop&) = delete;
    EventLoop& operator=(const EventLoop&) = delete;

    // Starts the thread. Throws std::system_error when no thread can be had.
    void Start();
    // Asks the loop to end. From another thread it waits for the thread and
    // joins it. On the loop's own thread (a handler dropped the owner's last
    // reference) it cannot wait for itself: the thread finishes the handler,
    // leaves the loop, lets go of the connection and ends by itself.
    void Stop();
    bool IsOwnThread() const { return std::this_thread::get_id() == m_state->threadId.load(); }

    // Set once the bus connection is lost (not by Stop).
    plat::Event& Lost() { return m_state->lost; }
    bool IsLost() const { return m_state->lost.IsSet(); }

private:
    // What the thread touches, shared with it.
    struct State {
        std::atomic<std::thread::id> threadId{};
        plat::Event lost{plat::Event::Reset::Manual};
    };
    static void Run(sdbus::IConnection& connection, State& state);

    // Held until Start hands it to the thread, which lets go of it when it ends.
    std::shared_ptr<sdbus::IConnection> m_pending;
    sdbus::IConnection& m_connection;
    std::shared_ptr<State> m_state;
    std::thread m_thread;
};

}  // namespace ipc
