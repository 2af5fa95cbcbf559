// How the main window's event loop fares while the service holds a call: the
// poll's first call blocks for the given seconds (default 5) and the largest
// delay of a 10 ms timer is printed, with the time Close took to answer.
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <cstdio>
#include <thread>

#include "desktop/app/CParvaneDlg.h"
#include "desktop/app/tests/support/FakeService.h"
#include "desktop/app/tests/support/TestSeams.h"
#include "service/foundation/KTimecode.h"

using namespace parvane;
using namespace parvanetest;

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    KTimecode::SetRateMode(KTimecode::kHundredthsMode);
    const int seconds = argc > 1 ? std::max(1, atoi(argv[1])) : 5;
    TestSeams t;
    plat::ComPtr<FakeService> service(FakeService::CreateInstance());
    t.link.controller = service.Get();
    Seams seams = t.Make();
    seams.watchdogPeriodMs = 60000;
    seams.notAnsweringMs = 3000;
    AppCore core(seams);
    core.controller = service.Get();
    CParvaneDlg window(core);
    if (!window.Init()) return 1;
    window.show();
    service->Block("GetAvailableCommands");

    QElapsedTimer clock;
    clock.start();
    qint64 last = 0, worst = 0;
    QTimer tick;
    tick.setInterval(10);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        qint64 now = clock.elapsed();
        worst = std::max(worst, now - last - 10);
        last = now;
    });
    tick.start();
    qint64 closeMs = -1;
    QTimer::singleShot(seconds * 1000 - 200, [&] {
        QElapsedTimer c;
        c.start();
        window.Shutdown();  // the prompter answers Yes
        closeMs = c.elapsed();
    });
    QTimer::singleShot(seconds * 1000, [&] {
        service->Unblock();
        app.quit();
    });
    app.exec();
    window.Teardown();
    std::printf("poll blocked %d s: worst event-loop delay %lld ms, Close answered in %lld ms (ended with %d)\n",
                seconds, static_cast<long long>(worst), static_cast<long long>(closeMs), window.EndCode());
    return 0;
}
