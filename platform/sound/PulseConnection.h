#pragma once
// One connection to the PulseAudio server with a main loop that the owning
// thread runs itself, step by step with a time limit, so that no wait on the
// server can hang its caller. Only Wakeup may be called from another thread.
#include <functional>
#include <string>

#include "platform/core/HResult.h"

struct pa_context;
struct pa_io_event;
struct pa_mainloop;

namespace plat {

class PulseConnection {
public:
    PulseConnection();
    ~PulseConnection();
    PulseConnection(const PulseConnection&) = delete;
    PulseConnection& operator=(const PulseConnection&) = delete;

    // Connects (never starting a server) within timeoutMs.
    HRESULT Connect(const char* clientName, DWORD timeoutMs);
    // Runs the loop once, waiting at most timeoutMs (INFINITE: until something
    // happens or Wakeup is called). False when the loop cannot run.
    bool Iterate(DWORD timeoutMs);
    // Runs the loop until done() holds or timeoutMs have passed; done()'s result.
    bool RunUntil(const std::function<bool()>& done, DWORD timeoutMs);
    // Ends a wait of Iterate from another thread; one that comes before the
    // wait ends it as soon as it starts.
    void Wakeup();

    bool IsReady() const;
    pa_context* Context() const { return m_context; }
    pa_mainloop* Mainloop() const { return m_mainloop; }

private:
    pa_mainloop* m_mainloop = nullptr;
    int m_wakeFd = -1;
    pa_io_event* m_wakeEvent = nullptr;
    pa_context* m_context = nullptr;
};

// Whether a PulseAudio server answers within timeoutMs.
bool PulseServerAnswers(DWORD timeoutMs);

}  // namespace plat
