#pragma once
// Parvane as main() builds it, against the real daemon on the session bus:
// the real link, fake dialogs, its own single-instance folder.
#include <QTemporaryDir>

#include <chrono>
#include <functional>
#include <memory>

#include "desktop/app/AppCore.h"
#include "desktop/app/CParvaneDlg.h"
#include "desktop/app/DefaultSeams.h"
#include "desktop/app/Startup.h"
#include "desktop/app/tests/support/TestSeams.h"
#include "ipc/client/ClientConnection.h"

namespace parvanetest {

// The patience of a test that drives the real daemon without stalling it.
constexpr int kDrivingPatienceMs = 15000;

struct RealProgram {
    // patienceMs: how long a call may take before the client gives up on it and
    // how long a poll may be out before the service counts as not answering.
    // Tests of a stalled daemon want the program's own 3 s; tests that only
    // drive the real daemon want more, since a sanitizer build on a loaded
    // machine can be that slow without anything being wrong.
    explicit RealProgram(int watchdogPeriodMs, int patienceMs = 3000)
        : m_watchdogPeriodMs(watchdogPeriodMs), m_patienceMs(patienceMs) {
        ipc::ClientConnection::SetDefaultCallTimeout(std::chrono::milliseconds(patienceMs));
    }
    TestSeams fakes;
    parvane::BusServiceLink link;
    parvane::WaitingSleeper sleeper;
    std::unique_ptr<parvane::AppCore> core;
    QTemporaryDir runtime;
    std::unique_ptr<parvane::SingleInstance> instance;
    std::unique_ptr<parvane::CParvaneDlg> window;
    int ended = -1;
    // Changes the seams before the program is built from them (hooks, ...).
    std::function<void(parvane::Seams&)> adjustSeams;

    // StartUp (which starts the daemon when none runs), then the main window.
    bool Start() {
        parvane::Seams seams = fakes.Make();
        seams.link = &link;
        seams.sleeper = &sleeper;
        seams.watchdogPeriodMs = m_watchdogPeriodMs;
        seams.notAnsweringMs = m_patienceMs;
        seams.saveStopWaitMs = 1000;
        if (adjustSeams) adjustSeams(seams);
        core = std::make_unique<parvane::AppCore>(seams);
        instance = std::make_unique<parvane::SingleInstance>(runtime.path());
        if (parvane::StartUp(*core, *instance) != -1 || !core->controller) return false;
        window = std::make_unique<parvane::CParvaneDlg>(*core);
        window->onEnd = [this](int code) { ended = code; };
        if (!window->Init()) return false;
        window->ShowWindows();
        return true;
    }
    ~RealProgram() {
        if (window) window->Teardown();
    }

    // What the program told the user (each prompt's text), for a failure message.
    QString Said() { return fakes.prompter.Texts().join(QStringLiteral(" | ")); }

private:
    int m_watchdogPeriodMs;
    int m_patienceMs;
};

}  // namespace parvanetest
