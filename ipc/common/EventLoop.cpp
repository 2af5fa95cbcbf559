#include "ipc/common/EventLoop.h"

#include <sdbus-c++/Error.h>

#include "platform/core/DebugOutput.h"
#include "platform/core/Text.h"

namespace ipc {

void EventLoop::Start() {
    m_thread = std::thread([this] { Run(); });
}

void EventLoop::Run() {
    m_threadId = std::this_thread::get_id();
    try {
        m_connection.enterEventLoop();
    } catch (const sdbus::Error& e) {
        // The bus has gone: no more calls, answers or signals on this connection.
        plat::OutputDebugString(plat::ToUtf16("The bus connection was lost: " + e.getMessage() + "\n"));
        m_lost.Set();
    }
}

void EventLoop::Stop() {
    if (!m_thread.joinable()) return;
    try {
        m_connection.leaveEventLoop();
    } catch (const sdbus::Error&) {
        // Nothing to wake: the loop has ended already.
    }
    m_thread.join();
}

}  // namespace ipc
