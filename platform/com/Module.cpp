#include "platform/com/Module.h"

#include <atomic>
#include <mutex>

namespace plat {

namespace {
std::atomic<LONG> g_locks{0};
std::mutex g_handlerLock;
std::function<void()> g_handler;
}  // namespace

LONG ComModule::Lock() { return ++g_locks; }

LONG ComModule::Unlock() {
    LONG left = --g_locks;
    if (left == 0) {
        std::function<void()> h;
        {
            std::lock_guard<std::mutex> g(g_handlerLock);
            h = g_handler;
        }
        if (h) h();
    }
    return left;
}

LONG ComModule::LockCount() { return g_locks.load(); }

void ComModule::SetLastUnlockHandler(std::function<void()> handler) {
    std::lock_guard<std::mutex> g(g_handlerLock);
    g_handler = std::move(handler);
}

}  // namespace plat
