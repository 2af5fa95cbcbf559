#pragma once
// The service's bus connection as the call pool's threads serve it, one at a
// time (see CallPool::ServeBus): each turn reads and dispatches the messages
// that are there and waits on the connection's descriptor for more.
//
// The connection is read by one thread at a time. A synchronous call of the
// service's own (taking or giving up its name) reads the connection as well,
// so it holds the bus (Hold) while it runs; the thread whose turn it is then
// dispatches what that call read past its own answer.
#include <atomic>
#include <mutex>

#include <sdbus-c++/IConnection.h>

#include "ipc/service/CallPool.h"
#include "platform/core/Sync.h"

namespace ipc {

class BusTurn final : public CallPool::Turn {
public:
    // Throws std::system_error when no wake-up descriptor can be had.
    explicit BusTurn(sdbus::IConnection& connection);
    BusTurn(const BusTurn&) = delete;
    BusTurn& operator=(const BusTurn&) = delete;

    Step Dispatch() override;
    bool Wait() override;
    void Stop() override;

    // Set once the bus connection is lost (not by Stop).
    plat::Event& Lost() { return m_lost; }

    // Keeps the serving thread off the connection while another thread reads
    // it (a synchronous call); the serving thread looks again afterwards.
    class Hold {
    public:
        explicit Hold(BusTurn& turn) : m_turn(turn), m_lock(turn.m_use) {}
        ~Hold() {
            m_lock.unlock();
            m_turn.Wake();
        }
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;

    private:
        BusTurn& m_turn;
        std::unique_lock<std::mutex> m_lock;
    };

private:
    void Wake();
    void OnLost(const char* what, const std::string& why);

    sdbus::IConnection& m_connection;
    // Taken while the connection is read or dispatched.
    std::mutex m_use;
    // Cuts a wait short (Stop, the end of a Hold).
    plat::Event m_wake{plat::Event::Reset::Auto};
    std::atomic<bool> m_stopped{false};
    plat::Event m_lost{plat::Event::Reset::Manual};
};

}  // namespace ipc
