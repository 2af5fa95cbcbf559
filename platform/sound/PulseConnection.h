#pragma once
// One connection to the PulseAudio server with a main loop that the owning
// thread runs itself, step by step with a time limit, so that no wait on the
// server can hang its caller. Only Wakeup may be called from another thread.
// An owner that must be able to end its waits early (a server that accepts
// but never answers holds a connect for its whole time limit) hands in its
// stop event: once that is set, Connect and RunUntil return at once.
#include <functional>
#include <memory>
#include <string>

#include "platform/core/HResult.h"
#include "platform/core/Sync.h"

struct pa_context;
struct pa_io_event;

namespace plat {

class PulseLoop;

class PulseConnection {
public:
    explicit PulseConnection(const Event* stop = nullptr);
    ~PulseConnection();
    PulseConnection(const PulseConnection&) = delete;
    PulseConnection& operator=(const PulseConnection&) = delete;

    // Connects (never starting a server) within timeoutMs; E_ABORT when the
    // stop event was set before or during the wait.
    HRESULT Connect(const char* clientName, DWORD timeoutMs);
    // Runs the loop once, waiting at most timeoutMs (INFINITE: until something
    // happens or Wakeup is called). False when the loop cannot run.
    bool Iterate(DWORD timeoutMs);
    // Runs the loop until done() holds, timeoutMs have passed or the stop
    // event is set; done()'s result (false when stopped first).
    bool RunUntil(const std::function<bool()>& done, DWORD timeoutMs);
    // Ends a wait of Iterate from another thread; one that comes before the
    // wait ends it as soon as it starts.
    void Wakeup();

    bool IsReady() const;
    bool Stopped() const { return m_stop && m_stop->IsSet(); }
    pa_context* Context() const { return m_context; }

private:
    std::unique_ptr<PulseLoop> m_loop;
    int m_wakeFd = -1;
    pa_io_event* m_wakeEvent = nullptr;
    const Event* m_stop;
    pa_io_event* m_stopEvent = nullptr;
    pa_context* m_context = nullptr;
};

// Whether a PulseAudio server answers within timeoutMs.
bool PulseServerAnswers(DWORD timeoutMs);

}  // namespace plat
