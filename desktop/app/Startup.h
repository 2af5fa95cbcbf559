#pragma once
// The program's start: the device count, reaching the service (starting it
// when needed), the single-instance lock, the time-code rate and the
// QuickStart prompt, in this order.
#include <QLocalServer>
#include <QLockFile>
#include <QString>

#include <functional>
#include <memory>

#include "desktop/app/AppCore.h"

namespace parvane {

// Exit codes of the program.
inline constexpr int kExitNormal = 0;
inline constexpr int kExitStartFailed = 1;
inline constexpr int kExitFailed = 2;

// The folder for the lock and the instance's socket.
QString RuntimeFolder();

// One running program per user: the first holds a lock and listens; a second
// start tells the first to show its window and leaves.
class SingleInstance {
public:
    explicit SingleInstance(QString folder);
    ~SingleInstance();
    // True for the first instance; a later one has asked the first to show itself.
    bool Acquire();
    // Gives the lock and the socket up (the program leaves).
    void Release();
    std::function<void()> onShowRequest;

private:
    QString m_folder;
    std::unique_ptr<QLockFile> m_lock;
    std::unique_ptr<QLocalServer> m_server;
};

// Reaches the service: StartServiceAndConnect, then up to the configured
// number of lookups a pause apart, on a worker thread behind a cancellable
// "Starting Tonquil..." window. S_OK with core.controller set, E_ABORT when
// the user cancelled, else the last failure.
HRESULT ConnectToService(AppCore& core);

// Runs the start-up steps; the exit code when start-up ends the program, or
// -1 when the main window may open.
int StartUp(AppCore& core, SingleInstance& instance);

}  // namespace parvane
