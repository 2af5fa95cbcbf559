#pragma once
// The 100 ms poll of the controller, read on a worker thread so that a slow
// or vanished service never holds up the windows. One poll is in flight at a
// time: a tick that finds one running is skipped. Each finished snapshot is
// handed to the GUI thread through the receiver's event queue.
#include <QObject>


#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "ipc/QXServiceLib.h"
#include "ipc/client/PollRound.h"
#include "platform/com/ComPtr.h"

namespace parvane {

struct Snapshot : ipc::PollReadings {
    std::chrono::steady_clock::time_point started;  // when the poll began
};

// Reads one snapshot (commands, state, fullness, positions): one poll round.
Snapshot ReadSnapshot(IAudioController* controller);

class PollWorker {
public:
    using Apply = std::function<void(const Snapshot&)>;
    // apply runs on receiver's thread for each finished poll.
    PollWorker(plat::ComPtr<IAudioController> controller, QObject* receiver, Apply apply);
    ~PollWorker();
    PollWorker(const PollWorker&) = delete;
    PollWorker& operator=(const PollWorker&) = delete;

    // Starts a poll; false (tick skipped) while one is in flight or after Stop.
    bool Request();
    bool InFlight() const;
    // How long the poll in flight has run (zero when none is).
    std::chrono::milliseconds InFlightFor() const;
    // Ends the thread; a poll in flight is waited for.
    void Stop();

private:
    void Run();

    plat::ComPtr<IAudioController> m_controller;
    QObject* m_receiver;  // outlives the thread (Stop comes first)
    Apply m_apply;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_requested = false;
    bool m_inFlight = false;
    bool m_stop = false;
    std::chrono::steady_clock::time_point m_started;
    std::thread m_thread;
};

}  // namespace parvane
