// The program's non-visual core against the in-memory service: start-up,
// the watchdog, the poll worker, event delivery and error reporting.
#include <QTemporaryDir>
#include <QtTest>

#include <thread>

#include <QProgressDialog>

#include "desktop/app/AppCore.h"
#include "desktop/app/BackgroundCall.h"
#include "desktop/app/Stragglers.h"
#include "desktop/app/EventBridge.h"
#include "desktop/app/PollWorker.h"
#include "desktop/app/Startup.h"
#include "desktop/app/Strings.h"
#include "desktop/app/Watchdog.h"
#include "desktop/app/tests/support/FakeService.h"
#include "desktop/app/tests/support/TestSeams.h"
#include "platform/com/Bstr.h"
#include "service/foundation/KTimecode.h"

using namespace parvane;
using namespace parvanetest;

class CoreTest : public QObject {
    Q_OBJECT

private slots:
    void startUpPaths_data();
    void startUpPaths();
    void secondInstanceAsksTheFirstToShow();
    void watchdogReportsLossWithoutReplacingTheController();
    void watchdogJudgesByTheOwnerOfTheServiceName();
    void pollKeepsOneInFlightAndSkipsBusyTicks();
    void pollReportsTheFirstFailedCall();
    void eventsArriveInOrderAndStopWhenClosed();
    void controllerErrorsShowTextsOrTheCall();
    void notAnsweringRefusesUntilAPollAnswers();
    void aBusyWindowShowsAfterItsDelay();
    void callsThatHangDoNotHoldTheEnd();
    void returnedCallsAreJoinedWhenAnotherIsKept();
};

void CoreTest::startUpPaths_data() {
    QTest::addColumn<int>("devices");
    QTest::addColumn<int>("startAnswer");
    QTest::addColumn<int>("failFinds");
    QTest::addColumn<bool>("guide");
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("finds");
    QTest::addColumn<int>("sleeps");
    QTest::addColumn<QString>("message");
    // One real device besides the primary entry: no start.
    QTest::newRow("one device") << 1 << int(S_OK) << 0 << false << kExitStartFailed << 0 << 0 << Str(1099);
    QTest::newRow("started and found") << 3 << int(S_OK) << 0 << false << -1 << 0 << 0 << QString();
    // Already running: the start fails at once, the first lookup finds it.
    QTest::newRow("already running") << 3 << int(E_FAIL) << 0 << false << -1 << 1 << 0 << QString();
    QTest::newRow("found on the fourth try") << 3 << int(E_FAIL) << 3 << false << -1 << 4 << 3 << QString();
    // Ten lookups, a pause between them, then string 112.
    QTest::newRow("never found") << 3 << int(E_FAIL) << 100 << false << kExitStartFailed << 10 << 9 << Str(112);
    QTest::newRow("guide shown") << 3 << int(S_OK) << 0 << true << -1 << 0 << 0 << QString();
}

void CoreTest::startUpPaths() {
    QFETCH(int, devices);
    QFETCH(int, startAnswer);
    QFETCH(int, failFinds);
    QFETCH(bool, guide);
    QFETCH(int, code);
    QFETCH(int, finds);
    QFETCH(int, sleeps);
    QFETCH(QString, message);
    TestSeams t;
    auto service = plat::ComPtr<FakeService>(FakeService::CreateInstance());
    t.link.controller = service.Get();
    t.link.startAnswer = startAnswer;
    t.link.failFirstFinds = failFinds;
    t.sound.count = devices;
    service->settings->SetOpenGuide(guide ? 1 : 0);
    int guideShown = 0;
    Seams seams = t.Make();
    seams.hooks.quickStart = [&](QWidget*, ISettings*) {
        ++guideShown;
        return true;
    };
    AppCore core(seams);
    QTemporaryDir folder;
    SingleInstance instance(folder.path());
    KTimecode::SetRateMode(0);
    QCOMPARE(StartUp(core, instance), code);
    QCOMPARE(t.link.finds.load(), finds);
    QCOMPARE(t.sleeper.sleeps.load(), sleeps);
    QCOMPARE(t.prompter.Texts(), message.isEmpty() ? QStringList() : QStringList{message});
    QCOMPARE(guideShown, guide ? 1 : 0);
    QCOMPARE(bool(core.controller), code == -1);
    if (code == -1) QCOMPARE(KTimecode::GetRateMode(), LONG(KTimecode::kHundredthsMode));
}

void CoreTest::secondInstanceAsksTheFirstToShow() {
    QTemporaryDir folder;
    SingleInstance first(folder.path());
    int shown = 0;
    first.onShowRequest = [&] { ++shown; };
    QVERIFY(first.Acquire());
    SingleInstance second(folder.path());
    QVERIFY(!second.Acquire());
    QTRY_COMPARE_WITH_TIMEOUT(shown, 1, 20000);
}

void CoreTest::watchdogReportsLossWithoutReplacingTheController() {
    TestSeams t;
    auto service = plat::ComPtr<FakeService>(FakeService::CreateInstance());
    t.link.controller = service.Get();
    AppCore core(t.Make());
    core.controller = service.Get();
    std::atomic<int> lost{0};
    {
        Watchdog dog(&t.link, 20, [&] { ++lost; });
        // Its first look and two more, with the service there all along.
        QTRY_VERIFY_WITH_TIMEOUT(t.link.ownerLooks.load() >= 3, 20000);
        QCOMPARE(lost.load(), 0);
        t.link.gone = true;
        QTRY_COMPARE_WITH_TIMEOUT(lost.load(), 1, 20000);
    }
    // The lookups went into the watchdog's own pointer.
    QCOMPARE(core.controller.Get(), static_cast<IAudioController*>(service.Get()));
    QCOMPARE(lost.load(), 1);
}

void CoreTest::watchdogJudgesByTheOwnerOfTheServiceName() {
    // A service that only answers slowly is still there; one whose name has
    // no owner, or a new one, is gone.
    const std::string first = ":1.7";
    struct Case {
        HRESULT lookup;
        std::string owner;
        bool gone;
    } cases[] = {
        {S_OK, ":1.7", false},
        {RPC_E_CALL_FAILED, "", false},
        {HRESULT_FROM_WIN32(ERROR_TIMEOUT), "", false},
        {S_OK, ":1.9", true},
        {S_FALSE, "", true},
        {RPC_E_SERVER_UNAVAILABLE, "", true},
    };
    for (const Case& c : cases)
        QVERIFY2(IsServiceGone(c.lookup, c.owner, first) == c.gone,
                 qPrintable(QStringLiteral("0x%1 %2").arg(ulong(uint32_t(c.lookup)), 0, 16).arg(c.owner.c_str())));

    // A restarted service ends the program too.
    TestSeams t;
    std::atomic<int> lost{0};
    Watchdog dog(&t.link, 20, [&] { ++lost; });
    QTRY_VERIFY_WITH_TIMEOUT(t.link.ownerLooks.load() >= 3, 20000);
    QCOMPARE(lost.load(), 0);
    t.link.SetOwner(":1.42");
    QTRY_COMPARE_WITH_TIMEOUT(lost.load(), 1, 20000);
}

void CoreTest::pollKeepsOneInFlightAndSkipsBusyTicks() {
    auto service = plat::ComPtr<FakeService>(FakeService::CreateInstance());
    service->play = 1234;
    service->percent = 100;
    QObject receiver;
    std::vector<Snapshot> got;
    PollWorker poll(service.Get(), &receiver, [&](const Snapshot& s) { got.push_back(s); });
    service->Block("GetAvailableCommands");
    QVERIFY(poll.Request());
    QTRY_COMPARE_WITH_TIMEOUT(service->Blocked(), 1, 20000);
    // A tick while the first poll waits is skipped; the GUI loop keeps running.
    QVERIFY(!poll.Request());
    QVERIFY(poll.InFlight());
    bool ran = false;
    QTimer::singleShot(0, &receiver, [&] { ran = true; });
    QTRY_VERIFY_WITH_TIMEOUT(ran, 20000);
    QVERIFY(got.empty());
    service->Unblock();
    QTRY_COMPARE_WITH_TIMEOUT(got.size(), size_t(1), 20000);
    QCOMPARE(got[0].play, ULONG(1234));
    QCOMPARE(got[0].percent, BYTE(100));
    QVERIFY(SUCCEEDED(got[0].hr));
    QVERIFY(!poll.InFlight());
    // One snapshot reads each value once, in this order.
    std::vector<std::string> expected = {"GetAvailableCommands", "GetCurrentState", "IsCacheFull", "GetTimeFullness",
                                         "GetPercentFullness", "GetPlayPosition", "GetRecordPosition", "GetStartReadPos"};
    QVERIFY(service->Calls() == expected);
    QVERIFY(poll.Request());
    QTRY_COMPARE_WITH_TIMEOUT(got.size(), size_t(2), 20000);
}

void CoreTest::pollReportsTheFirstFailedCall() {
    auto service = plat::ComPtr<FakeService>(FakeService::CreateInstance());
    service->Fail("IsCacheFull", E_FAIL);
    Snapshot s = ReadSnapshot(service.Get());
    QCOMPARE(s.hr, E_FAIL);
    QCOMPARE(QString::fromUtf8(s.failedCall), QStringLiteral("IsCacheFull"));
    QCOMPARE(int(service->Calls().size()), 3);
}

void CoreTest::eventsArriveInOrderAndStopWhenClosed() {
    QObject receiver;
    std::vector<ControllerEvent> got;
    auto sink = plat::ComPtr<ControllerEventSink>(
        ControllerEventSink::CreateInstance(&receiver, [&](const ControllerEvent& e) { got.push_back(e); }));
    plat::Bstr guid(u"{00000000-0000-0000-0000-000000000001}");
    std::thread bus([&] {
        for (int i = 0; i < 50; ++i) {
            sink->CacheAlmostFull(UINT(i));
            sink->SongDetected(guid);
        }
    });
    bus.join();
    QTRY_COMPARE_WITH_TIMEOUT(got.size(), size_t(100), 20000);
    for (int i = 0; i < 50; ++i) {
        QCOMPARE(got[2 * i].kind, ControllerEvent::CacheAlmostFull);
        QCOMPARE(got[2 * i].value, UINT(i));
        QCOMPARE(got[2 * i + 1].guid, QStringLiteral("{00000000-0000-0000-0000-000000000001}"));
    }
    sink->Close();
    sink->DiskFull();
    QCoreApplication::processEvents();
    QCOMPARE(got.size(), size_t(100));
}

void CoreTest::controllerErrorsShowTextsOrTheCall() {
    TestSeams t;
    auto service = plat::ComPtr<FakeService>(FakeService::CreateInstance());
    AppCore core(t.Make());
    core.controller = service.Get();
    service->errors = {u"Cache folder is not writable", u"Disk is full"};
    core.ShowControllerErrors(nullptr, "Record", E_FAIL);
    core.ShowControllerErrors(nullptr, "Record", E_FAIL);
    QCOMPARE(t.prompter.Texts(), (QStringList{QStringLiteral("Cache folder is not writable\nDisk is full"),
                                              QStringLiteral("Record failed (0x80004005)")}));
}

void CoreTest::notAnsweringRefusesUntilAPollAnswers() {
    TestSeams t;
    auto service = plat::ComPtr<FakeService>(FakeService::CreateInstance());
    AppCore core(t.Make());
    core.controller = service.Get();
    QStringList notices;
    core.notice = [&](const QString& text) { notices << text; };
    QVERIFY(!core.Refuse(nullptr));
    // A call that timed out (the bus says so with a failed call): no
    // GetErrors (it would wait again), one notice.
    for (HRESULT late : {RPC_E_CALL_FAILED, HRESULT_FROM_WIN32(ERROR_TIMEOUT)}) {
        notices.clear();
        core.PollAnswered();
        const auto before = std::chrono::steady_clock::now();
        core.ShowControllerErrors(nullptr, "Play", late);
        QVERIFY(core.Refuse(nullptr));
        QVERIFY(core.Refuse(nullptr));
        QCOMPARE(notices, QStringList{QString::fromUtf8(kNotAnswering)});
        QVERIFY(service->Calls().empty());
        QVERIFY(t.prompter.Texts().isEmpty());
        // A poll that began before the outage does not end it.
        core.PollAnswered(before - std::chrono::milliseconds(1));
        QVERIFY(core.Refuse(nullptr));
    }
    notices.clear();
    // A poll failure of another kind gives one notice per outage.
    core.PollAnswered();
    QVERIFY(!core.Refuse(nullptr));
    core.PollFailed("GetCurrentState", E_FAIL);
    core.PollFailed("GetCurrentState", E_FAIL);
    QCOMPARE(notices.size(), 1);
    core.PollAnswered();
    core.PollFailed("GetCurrentState", E_FAIL);
    QCOMPARE(notices.size(), 2);
}

void CoreTest::aBusyWindowShowsAfterItsDelay() {
    // "Starting Tonquil..." and the settings wait: half a second, not the
    // busy dialog's own four.
    QProgressDialog window(QStringLiteral("Starting Tonquil..."), QStringLiteral("Cancel"), 0, 0);
    ShowAfter(window, 50);
    QTRY_VERIFY_WITH_TIMEOUT(window.isVisible(), 3000);
}

void CoreTest::callsThatHangDoNotHoldTheEnd() {
    // A call that returns is joined; one that hangs is left after the limit.
    auto returned = std::make_shared<CancelFlag>();
    auto hung = std::make_shared<CancelFlag>();
    CancelFlag release;
    stragglers::Keep(std::thread([returned] { returned->Set(); }), returned);
    stragglers::Keep(std::thread([hung, &release] {
                         release.WaitFor(120000);
                         hung->Set();
                     }),
                     hung);
    QVERIFY(!stragglers::JoinAll(std::chrono::milliseconds(100)));
    QCOMPARE(stragglers::Count(), 1);
    release.Set();
    QVERIFY(stragglers::JoinAll(std::chrono::seconds(60)));
    QCOMPARE(stragglers::Count(), 0);

    // The call itself: its result, or, given up, a call that did not answer.
    QCOMPARE(CallInBackground(nullptr, QStringLiteral("Applying the settings..."), [] { return E_ACCESSDENIED; }),
             E_ACCESSDENIED);
    CancelFlag answer;
    // The user gives up waiting (the window's Cancel).
    QTimer::singleShot(0, [] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* busy = qobject_cast<QProgressDialog*>(w)) emit busy->canceled();
    });
    QCOMPARE(CallInBackground(nullptr, QStringLiteral("Applying the settings..."),
                              [&answer] {
                                  answer.WaitFor(120000);
                                  return S_OK;
                              }),
             RPC_E_CALL_FAILED);
    QCOMPARE(stragglers::Count(), 1);
    answer.Set();
    QVERIFY(stragglers::JoinAll(std::chrono::seconds(60)));
}

void CoreTest::returnedCallsAreJoinedWhenAnotherIsKept() {
    // A long session does not gather finished threads until its end.
    CancelFlag release;
    auto hung = std::make_shared<CancelFlag>();
    stragglers::Keep(std::thread([hung, &release] {
                         release.WaitFor(120000);
                         hung->Set();
                     }),
                     hung);
    for (int i = 0; i < 3; ++i) {
        auto returned = std::make_shared<CancelFlag>();
        stragglers::Keep(std::thread([returned] { returned->Set(); }), returned);
        QVERIFY(!returned->WaitFor(60000));
    }
    // The three have returned; keeping one more joins them, not the one
    // still in its call.
    auto last = std::make_shared<CancelFlag>();
    stragglers::Keep(std::thread([last, &release] {
                         release.WaitFor(120000);
                         last->Set();
                     }),
                     last);
    QCOMPARE(stragglers::Count(), 2);
    release.Set();
    QVERIFY(stragglers::JoinAll(std::chrono::seconds(60)));
    QCOMPARE(stragglers::Count(), 0);
}

QTEST_MAIN(CoreTest)
#include "CoreTest.moc"
