#pragma once
// One running instance of a program per user: the instance holds an exclusive
// lock on a file in the runtime folder for as long as it lives (the kernel
// drops it when the process ends, however it ends).
//
//   plat::svc::InstanceLock lock;
//   if (lock.Take(plat::svc::InstanceLock::PathFor(runtimeDir, "QXService")) != S_OK) ... // another runs
//
// Other processes can ask whether an instance lives (IsHeld) without touching
// the lock.
#include <string>

#include "platform/core/HResult.h"

namespace plat::svc {

class InstanceLock {
public:
    InstanceLock() = default;
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // The lock file of program in runtimeDir. A folder that every user shares
    // ("/tmp") gets one file per user.
    static std::string PathFor(const std::string& runtimeDir, const std::string& program);

    // S_OK once this object holds the lock at path (created when missing);
    // HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS) when another holder has it; the
    // error of the open otherwise. S_OK at once when this object holds it.
    HRESULT Take(const std::string& path);
    bool IsTaken() const { return m_fd >= 0; }

    // True when some process holds the lock at path. Only looks: a probe that
    // took the lock, even shared, would make an instance that starts at that
    // moment believe another one runs.
    static bool IsHeld(const std::string& path);

private:
    int m_fd = -1;
};

}  // namespace plat::svc
