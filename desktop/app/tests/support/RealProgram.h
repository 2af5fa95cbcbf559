#pragma once
// Parvane as main() builds it, against the real daemon on the session bus:
// the real link, fake dialogs, its own single-instance folder.
#include <QTemporaryDir>

#include <functional>
#include <memory>

#include "desktop/app/AppCore.h"
#include "desktop/app/CParvaneDlg.h"
#include "desktop/app/DefaultSeams.h"
#include "desktop/app/Startup.h"
#include "desktop/app/tests/support/TestSeams.h"

namespace parvanetest {

struct RealProgram {
    explicit RealProgram(int watchdogPeriodMs) : m_watchdogPeriodMs(watchdogPeriodMs) {}
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
        seams.notAnsweringMs = 3000;
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

private:
    int m_watchdogPeriodMs;
};

}  // namespace parvanetest
