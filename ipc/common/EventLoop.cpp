#include "ipc/common/EventLoop.h"

#include <sdbus-c++/Error.h>

#include "platform/core/DebugOutput.h"
#include "platform/core/Text.h"
#include "platform/core/Thread.h"

namespace ipc {

EventLoop::EventLoop(std::shared_ptr<sdbus::IConnection> connection)
    : m_pending(std::move(connection)), m_connection(*m_pending), m_state(std::make_shared<State>()) {}

void EventLoop::Start() {
    // The thread holds the connection and the state for its whole life.
    m_thread = std::thread([connection = m_pending, state = m_state] {
        plat::ThreadHookScope hook;
        Run(*connection, *state);
    });
    m_pending.reset();
}

void EventLoop::Run(sdbus::IConnection& connection, State& state) {
    state.threadId = std::this_thread::get_id();
    plat::NameThisThread("bus-loop");
    try {
        connection.enterEventLoop();
    } catch (const sdbus::Error& e) {
        // The bus has gone: no more calls, answers or signals on this connection.
        plat::OutputDebugString(plat::ToUtf16("The bus connection was lost: " + e.getMessage() + "\n"));
        state.lost.Set();
    }
}

void EventLoop::Stop() {
    m_pending.reset();
    if (!m_thread.joinable()) return;
    try {
        m_connection.leaveEventLoop();
    } catch (const sdbus::Error&) {
        // Nothing to wake: the loop has ended already.
    }
    if (IsOwnThread()) {
        // Joining here would wait for ourselves. The thread owns all it still
        // touches, so it may end on its own once the handler returns.
        m_thread.detach();
        return;
    }
    m_thread.join();
}

}  // namespace ipc
