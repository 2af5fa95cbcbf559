#include "platform/core/Thread.h"

#include <pthread.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "platform/core/ExceptionGuard.h"
#include "platform/core/LastError.h"

namespace plat {

namespace {

int NiceFor(ThreadPriority p) {
    switch (p) {
        case ThreadPriority::Idle: return 19;
        case ThreadPriority::Lowest: return 10;
        case ThreadPriority::BelowNormal: return 5;
        case ThreadPriority::Normal: return 0;
        case ThreadPriority::AboveNormal: return -5;
        case ThreadPriority::Highest: return -10;
        case ThreadPriority::TimeCritical: return -15;
    }
    return 0;
}

void ApplyNice(int tid, ThreadPriority p) {
    // Raising priority needs privileges we may not have; lowering always works.
    // Either way a refusal leaves the thread as it is.
    if (tid > 0) (void)::setpriority(PRIO_PROCESS, static_cast<id_t>(tid), NiceFor(p));
}

}  // namespace

int CurrentThreadId() { return static_cast<int>(::syscall(SYS_gettid)); }

void SetCurrentThreadPriority(ThreadPriority priority) { ApplyNice(CurrentThreadId(), priority); }

void SetProcessPriorityHigh() { (void)::setpriority(PRIO_PROCESS, 0, -5); }

Thread::~Thread() {
    if (m_thread.joinable()) m_thread.join();
}

namespace {
std::atomic<ThreadHook> g_threadHook{nullptr};
}  // namespace

void SetThreadHook(ThreadHook hook) { g_threadHook = hook; }

ThreadHookScope::ThreadHookScope() : m_hook(g_threadHook.load()) {
    if (m_hook) m_hook(true);
}

ThreadHookScope::~ThreadHookScope() {
    if (m_hook) m_hook(false);
}

void NameThisThread(const std::string& name) { pthread_setname_np(pthread_self(), name.substr(0, 15).c_str()); }

bool Thread::Start(Proc proc, const std::string& name) {
    if (m_thread.joinable()) {
        SetLastError(ERROR_BUSY);
        return false;
    }
    if (!m_exited.IsValid()) {
        SetLastError(ERROR_TOO_MANY_OPEN_FILES);
        return false;
    }
    m_exited.ResetEvent();
    m_exitCode = STILL_ACTIVE;
    try {
        m_thread = std::thread([this, proc = std::move(proc), name]() {
            m_tid = CurrentThreadId();
            if (!name.empty()) NameThisThread(name);
            ApplyNice(m_tid, static_cast<ThreadPriority>(m_priority.load()));
            ThreadHook hook = g_threadHook.load();
            if (hook) hook(true);
            HRESULT hr = E_FAIL;
            try {
                if (proc) hr = proc();
            } catch (...) {
                // The thread ends with the failure as its exit code; the process lives on.
                hr = ReportCurrentException("thread", name.empty() ? std::string_view("unnamed") : name);
            }
            if (hook) hook(false);
            m_exitCode = hr;
            m_exited.Set();
        });
    } catch (const std::system_error& e) {
        SetLastErrorFromErrno(e.code().value());
        return false;
    }
    return true;
}

bool Thread::Join(DWORD timeoutMs) {
    if (!m_thread.joinable()) return true;
    if (m_exited.Wait(timeoutMs) != WAIT_OBJECT_0) return false;
    m_thread.join();
    return true;
}

HRESULT Thread::ExitCode() const { return m_exitCode.load(); }

void Thread::SetPriority(ThreadPriority priority) {
    m_priority = static_cast<int>(priority);
    if (IsRunning()) ApplyNice(m_tid, priority);
}

}  // namespace plat
