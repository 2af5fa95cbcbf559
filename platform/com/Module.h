#pragma once
// The process's count of live server objects. Objects that keep the program
// alive take a lock when created and give it back when destroyed; when the
// count drops to 0 a handler (the host's "quit" hook) runs.
#include <functional>

#include "platform/core/WinTypes.h"

namespace plat {

class ComModule {
public:
    static LONG Lock();
    static LONG Unlock();
    static LONG LockCount();
    // Runs on the thread of the last Unlock, outside any lock. Null clears it.
    static void SetLastUnlockHandler(std::function<void()> handler);
};

}  // namespace plat
