// The main window against the in-memory service: start-up order, the poll's
// faces and displays, transport calls, events and notices, the cache-loading
// pause, the shutdown road, the watchdog and a service that stops answering.
#include <QAccessible>
#include <QLabel>
#include <QScreen>
#include <QtTest>

#include <memory>

#include "desktop/app/CParvaneDlg.h"
#include "desktop/app/CUpdateDlg.h"
#include "desktop/app/KCacheLoadingProgress.h"
#include "desktop/app/KExtrasContext.h"
#include "desktop/app/Strings.h"
#include "desktop/controls/KButton.h"
#include "desktop/controls/KButtonSkin.h"
#include "desktop/controls/KScrollButtonSkin.h"
#include "desktop/app/tests/support/FakeService.h"
#include "desktop/app/tests/support/LoggingSettings.h"
#include "desktop/app/tests/support/TestSeams.h"
#include "service/foundation/KTimecode.h"

using namespace parvane;
using namespace parvanetest;

namespace {

struct Rig {
    TestSeams t;
    plat::ComPtr<FakeService> service{FakeService::CreateInstance()};
    std::unique_ptr<AppCore> core;
    std::unique_ptr<CParvaneDlg> window;
    int ended = -1;

    explicit Rig(std::function<void(Seams&)> adjust = nullptr) {
        t.link.controller = service.Get();
        Seams seams = t.Make();
        seams.watchdogPeriodMs = 60000;
        if (adjust) adjust(seams);
        core = std::make_unique<AppCore>(seams);
        core->controller = service.Get();
        window = std::make_unique<CParvaneDlg>(*core);
        window->onEnd = [this](int code) { ended = code; };
    }
    ~Rig() {
        if (window) window->Teardown();
    }
    bool Init() {
        bool ok = window->Init();
        service->Calls();
        return ok;
    }
    Snapshot Snap(ULONG commands, ULONG state, int percent = 0) {
        Snapshot s;
        s.commands = commands;
        s.state = state;
        s.percent = BYTE(percent);
        return s;
    }
    KButtonSkin* B(int id) { return window->Button(id); }
    int Base(int id) { return B(id)->GetBitmapIndex(); }
    QString Tip(int id) { return B(id)->ToolTip().Text(); }
    int State(int id) { return window->Indicator(id)->property("state").toInt(); }
    bool Has(const std::vector<std::string>& calls, const std::string& call) {
        return std::find(calls.begin(), calls.end(), call) != calls.end();
    }
};

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private slots:
    void initTimeCodeMode() { KTimecode::SetRateMode(KTimecode::kHundredthsMode); }
    void firstPollSetsEveryFace_data();
    void firstPollSetsEveryFace();
    void fullnessAndButtonsFollowThePoll();
    void theTimerPollsOffTheGuiThread();
    void transportCalls_data();
    void transportCalls();
    void newRecordingAsksFirst();
    void sourceToggleWritesAndRefreshes();
    void storageWarnings();
    void cacheLoadingPausesThePoll();
    void shutdownRoad_data();
    void shutdownRoad();
    void failedDefaultDeviceLeavesNoWindow();
    void unreadableReminderEndsTheStart();
    void otherDefaultDeviceOffersTheProductDevice();
    void signUpWhileUnregistered();
    void watchdogLossEndsWithTwoWithoutCalls();
    void teardownGoesLiveThenPlays();
    void silentServiceRefusesCommandsButCloseAnswers();
    void clickReachesTheCommand();
    void pureArithmetic();
    void loadingBarRunsBackAndForth();
    void tabAndNamesFollowTheScreen();
};

void MainWindowTest::firstPollSetsEveryFace_data() {
    QTest::addColumn<uint>("commands");
    QTest::addColumn<uint>("state");
    QTest::addColumn<int>("playBase");
    QTest::addColumn<int>("recBase");
    QTest::addColumn<int>("live");
    QTest::addColumn<int>("rec");
    QTest::newRow("live, stopped") << uint(_ecPlay | _ecRec) << uint(_esLive | _esPlay | _esStop) << 0 << 0 << 0 << 0;
    QTest::newRow("replay, recording") << uint(_ecPause | _ecStop) << uint(_esReplay | _esPlay | _esRec) << 4 << 4 << 1 << 1;
    QTest::newRow("paused, recording") << uint(_ecPlay | _ecStop) << uint(_esReplay | _esPause | _esRec) << 0 << 4 << 1 << 1;
}

void MainWindowTest::firstPollSetsEveryFace() {
    QFETCH(uint, commands);
    QFETCH(uint, state);
    QFETCH(int, playBase);
    QFETCH(int, recBase);
    QFETCH(int, live);
    QFETCH(int, rec);
    Rig r;
    QVERIFY(r.Init());
    // Faces set to the opposite beforehand must still change on the first poll.
    r.window->ApplySnapshot(r.Snap(commands, state));
    QCOMPARE(r.Base(1001), playBase);
    QCOMPARE(r.Tip(1001), Str(playBase ? 108 : 107));
    QCOMPARE(r.Base(1000), recBase);
    QCOMPARE(r.Tip(1000), Str(recBase ? 110 : 109));
    QCOMPARE(r.State(1063), live);
    QCOMPARE(r.State(1065), rec);
}

void MainWindowTest::fullnessAndButtonsFollowThePoll() {
    Rig r;
    QVERIFY(r.Init());
    Snapshot s = r.Snap(_ecPlay | _ecSkip, _esLive | _esPlay | _esStop, 100);
    s.cacheFull = 1;
    s.play = 90000;
    s.startRead = 60000;
    s.record = 120000;
    r.window->ApplySnapshot(s);
    QCOMPARE(r.window->DisplayText(1053), QStringLiteral("99%"));
    QCOMPARE(r.State(1066), 9);
    QCOMPARE(r.State(1064), 1);
    // No Back bit: both back buttons off; Skip bit: both skip buttons on.
    QVERIFY(!r.B(1008)->isEnabled() && !r.B(1006)->isEnabled());
    QVERIFY(r.B(1007)->isEnabled() && r.B(1005)->isEnabled());
    QVERIFY(!r.B(1004)->isEnabled());
    QCOMPARE(r.window->Slider()->GetValue(), 30000);
    QCOMPARE(r.window->DisplayText(1051), QStringLiteral("00:01:30"));
    // Out-of-range answers: a record position before the start, a huge percentage.
    s.percent = 250;
    s.record = 10;
    s.play = 5;
    r.window->ApplySnapshot(s);
    QCOMPARE(r.window->DisplayText(1053), QStringLiteral("99%"));
    QCOMPARE(r.window->Slider()->GetValue(), 0);
}

void MainWindowTest::theTimerPollsOffTheGuiThread() {
    Rig r;
    r.service->commands = _ecPause | _ecStop | _ecBack;
    r.service->state = _esReplay | _esPlay | _esRec;
    QVERIFY(r.Init());
    QTRY_COMPARE_WITH_TIMEOUT(r.Base(1001), 4, 20000);
    QTRY_COMPARE_WITH_TIMEOUT(r.State(1065), 1, 20000);
    QVERIFY(r.B(1008)->isEnabled());
}

void MainWindowTest::transportCalls_data() {
    QTest::addColumn<int>("button");
    QTest::addColumn<uint>("commands");
    QTest::addColumn<QString>("call");
    QTest::newRow("back 5") << 1008 << uint(_ecBack) << "SetPlayPosition(-5000,2)";
    QTest::newRow("back 30") << 1006 << uint(_ecBack) << "SetPlayPosition(-30000,2)";
    QTest::newRow("skip 5") << 1007 << uint(_ecSkip) << "SetPlayPosition(5000,2)";
    QTest::newRow("skip 30") << 1005 << uint(_ecSkip) << "SetPlayPosition(30000,2)";
    QTest::newRow("live") << 1004 << uint(_ecLive) << "Live";
    QTest::newRow("play") << 1001 << uint(_ecPlay) << "Play";
    QTest::newRow("pause") << 1001 << uint(_ecPause) << "Pause";
    QTest::newRow("record") << 1000 << uint(_ecRec) << "Record";
    QTest::newRow("stop") << 1000 << uint(_ecStop) << "StopRecord";
}

void MainWindowTest::transportCalls() {
    QFETCH(int, button);
    QFETCH(uint, commands);
    QFETCH(QString, call);
    Rig r;
    QVERIFY(r.Init());
    r.window->ApplySnapshot(r.Snap(commands, _esLive));
    r.service->Calls();
    r.window->Command(button);
    auto calls = r.service->Calls();
    QVERIFY(!calls.empty());
    QCOMPARE(QString::fromStdString(calls.front()), call);
}

void MainWindowTest::newRecordingAsksFirst() {
    Rig r;
    QVERIFY(r.Init());
    r.t.prompter.answers = {Answer::No};
    r.window->Command(1014);
    QVERIFY(r.service->Calls().empty());
    QCOMPARE(r.t.prompter.Texts().last(), Str(106));
    r.window->Command(1014);
    QVERIFY(r.service->Calls() == std::vector<std::string>{"DropCache(0)"});
}

void MainWindowTest::sourceToggleWritesAndRefreshes() {
    Rig r;
    r.service->settings->SetWriteFromPlayDeviceState(1);
    r.service->handedSettings = LoggingSettings::CreateInstance(r.service->settings.Get(), &r.service->log);
    QVERIFY(r.Init());
    QCOMPARE(r.Base(1107), 0);
    QCOMPARE(r.Tip(1107), Str(345));
    r.window->Command(1107);
    LONG state = 1;
    r.service->settings->GetWriteFromPlayDeviceState(&state);
    QCOMPARE(state, LONG(0));
    QVERIFY(r.Has(r.service->Calls(), "UpdateSettings"));
    QCOMPARE(r.Base(1107), 4);
    QCOMPARE(r.Tip(1107), Str(346));
    // The service cannot open the recording device: the choice is kept,
    // saved and shown, and the failure is said once.
    r.service->Fail("UpdateSettings", E_FAIL);
    r.service->errors = {u"Capture device Microphone does not exist "};
    const int prompts = int(r.t.prompter.Texts().size());
    r.service->Calls();
    r.window->Command(1108);
    const std::vector<std::string> calls = r.service->Calls();
    QVERIFY(r.Has(calls, "SaveSettings"));
    r.service->settings->GetWriteFromRecordDeviceState(&state);
    QCOMPARE(state, LONG(1));
    QCOMPARE(r.Base(1108), 0);
    QCOMPARE(r.t.prompter.Texts().size(), prompts + 1);
    QCOMPARE(r.t.prompter.Texts().last(), QStringLiteral("Capture device Microphone does not exist "));
}

void MainWindowTest::storageWarnings() {
    Rig r;
    QVERIFY(r.Init());
    r.window->OnEvent({ControllerEvent::CacheAlmostFull, {}, 1});
    r.window->OnEvent({ControllerEvent::CacheAlmostFull, {}, 2});
    r.window->OnEvent({ControllerEvent::CacheAlmostFull, {}, 0});
    r.window->OnEvent({ControllerEvent::DiskAlmostFull, {}, 3});
    QStringList shown = r.window->notices().History();
    QCOMPARE(shown, (QStringList{QStringLiteral("The cache will get full in 1 minute"),
                                 QStringLiteral("The cache will get full in 2 minutes"),
                                 QStringLiteral("The cache will get full in 0 minute"),
                                 WarningText(143, 3)}));
    QVERIFY(shown.last().endsWith(QStringLiteral("3 minutes")));
    // Disk full: recording stops first, then the notice.
    r.window->OnEvent({ControllerEvent::DiskFull, {}, 0});
    QVERIFY(r.service->Calls() == std::vector<std::string>{"StopRecord"});
    QCOMPARE(r.window->notices().History().last(), Str(142));
    // A failed stop shows the failure, not the notice.
    r.service->Fail("StopRecord", E_FAIL);
    r.window->OnEvent({ControllerEvent::DiskFull, {}, 0});
    QCOMPARE(r.window->notices().History().size(), 5);
    QCOMPARE(r.t.prompter.Texts().last(), QStringLiteral("StopRecord failed (0x80004005)"));
    // At most five notices on screen.
    for (int i = 0; i < 7; ++i) r.window->OnEvent({ControllerEvent::DiskAlmostFull, {}, UINT(i)});
    QVERIFY(r.window->notices().Shown().size() <= 5);
}

void MainWindowTest::cacheLoadingPausesThePoll() {
    Rig r;
    QVERIFY(r.Init());
    r.window->OnEvent({ControllerEvent::CacheLoading, {}, 0});
    QVERIFY(!r.window->PollAllowed());
    QVERIFY(r.window->LoadingDialog() && r.window->LoadingDialog()->isVisible());
    // Escape does nothing to the loading window.
    QTest::keyClick(r.window->LoadingDialog(), Qt::Key_Escape);
    QVERIFY(r.window->LoadingDialog()->isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(!r.window->Poller()->InFlight(), 20000);
    r.service->Calls();
    r.window->PollTick();
    QVERIFY(!r.window->Poller()->InFlight());
    QVERIFY(r.service->Calls().empty());
    // Loaded with size 0: polling again, no message.
    int prompts = int(r.t.prompter.prompts.size());
    r.window->OnEvent({ControllerEvent::CacheLoaded, {}, 0});
    QVERIFY(r.window->PollAllowed());
    QVERIFY(!r.window->LoadingDialog()->isVisible());
    QCOMPARE(int(r.t.prompter.prompts.size()), prompts);
    // A second load replaces the dialog; a size is announced.
    r.window->OnEvent({ControllerEvent::CacheLoading, {}, 0});
    r.window->OnEvent({ControllerEvent::CacheLoaded, {}, 3723450});
    QCOMPARE(r.t.prompter.Texts().last(),
             QStringLiteral("Current cache size was increased to 01:02:03:450 due to loaded cache size"));
    QCOMPARE(r.window->Slider()->GetRange(), 3723450);
}

void MainWindowTest::shutdownRoad_data() {
    QTest::addColumn<bool>("recording");
    QTest::addColumn<QList<int>>("answers");  // 1 yes, 0 no, in prompt order
    QTest::addColumn<bool>("dropOnExit");
    QTest::addColumn<int>("ended");
    QTest::addColumn<QStringList>("calls");
    QTest::newRow("plain exit") << false << QList<int>{1} << false << 0
                                << QStringList{"GetCurrentState", "SetMainRect", "SetPlayListRect", "SetOpenMain",
                                               "SetOpenRadio", "SetOpenPlayList", "SetStickRadio", "SetStickPlayList"};
    QTest::newRow("no to exit") << false << QList<int>{0} << false << -1 << QStringList{"GetCurrentState"};
    QTest::newRow("keep recording") << true << QList<int>{0} << false << -1 << QStringList{"GetCurrentState"};
    QTest::newRow("stop, then stay") << true << QList<int>{1, 0} << false << -1
                                     << QStringList{"GetCurrentState", "StopRecord"};
    QTest::newRow("drop on exit") << false << QList<int>{1} << true << 0
                                  << QStringList{"GetCurrentState", "DropCache(0)", "SetMainRect", "SetPlayListRect",
                                                 "SetOpenMain", "SetOpenRadio", "SetOpenPlayList", "SetStickRadio",
                                                 "SetStickPlayList"};
}

void MainWindowTest::shutdownRoad() {
    QFETCH(bool, recording);
    QFETCH(QList<int>, answers);
    QFETCH(bool, dropOnExit);
    QFETCH(int, ended);
    QFETCH(QStringList, calls);
    Rig r;
    r.service->state = recording ? (_esLive | _esPlay | _esRec) : (_esLive | _esPlay | _esStop);
    r.service->settings->SetDropCacheOnExitState(dropOnExit);
    QVERIFY(r.Init());
    r.window->Teardown();  // no poll between the steps
    r.service->Calls();
    for (int a : answers) r.t.prompter.answers.push_back(a ? Answer::Yes : Answer::No);
    r.window->Shutdown();
    QCOMPARE(r.ended, ended);
    // The settings calls go to the real settings object: only the controller's are logged.
    QStringList got;
    for (const auto& c : r.service->Calls()) got << QString::fromStdString(c);
    QStringList controllerCalls;
    for (const QString& c : calls)
        if (!c.startsWith(QStringLiteral("Set"))) controllerCalls << c;
    QCOMPARE(got, controllerCalls);
    if (ended == 0) {
        LONG open = 0;
        r.service->settings->GetOpenMain(&open);
        QCOMPARE(open, LONG(1));
        QVERIFY(!r.window->isVisible());
    }
}

void MainWindowTest::failedDefaultDeviceLeavesNoWindow() {
    Rig r;
    r.service->devices->defaultAnswer = E_FAIL;
    QVERIFY(!r.window->Init());
    QCOMPARE(r.ended, 2);
    QVERIFY(!r.window->isVisible());
    QVERIFY(r.window->Poller() == nullptr);
    QCOMPARE(r.t.prompter.Texts().last(), QStringLiteral("GetDefaultDevice failed (0x80004005)"));
    QCOMPARE(r.service->SinkCount(), size_t(0));
}

void MainWindowTest::unreadableReminderEndsTheStart() {
    // The update check at start, as the program hooks it, over settings whose
    // reminder cannot be read.
    KExtrasContext context;
    Rig r([&](Seams& seams) {
        seams.hooks.updateAtStart = [&context](QWidget* parent, ISettings* settings) {
            return CheckForUpdateAtStart(parent, settings, context);
        };
    });
    context.prompter = &r.t.prompter;
    context.site = KSite::FromBase(QString());
    context.showControllerErrors = [&r](QWidget* parent, const char* call, HRESULT hr) {
        r.core->ShowControllerErrors(parent, call, hr);
    };
    auto failing = LoggingSettings::CreateInstance(r.service->settings.Get(), &r.service->log);
    failing->Fail("GetRemindUpdateStatus", E_ACCESSDENIED);
    r.service->settings = failing;
    r.service->errors = {u"The settings cannot be read"};
    QVERIFY(!r.window->Init());
    QCOMPARE(r.ended, 2);
    // The service's own errors are shown; nothing after the check runs.
    QCOMPARE(r.t.prompter.Texts(), QStringList{QStringLiteral("The settings cannot be read")});
    const auto calls = r.service->Calls();
    QVERIFY(r.Has(calls, "GetErrors"));
    QVERIFY(!r.Has(calls, "GetStartReadPos"));
    QVERIFY(r.window->Poller() == nullptr);
    QCOMPARE(r.service->SinkCount(), size_t(0));
    QVERIFY(!r.window->isVisible());
}

void MainWindowTest::otherDefaultDeviceOffersTheProductDevice() {
    Rig r;
    r.service->devices->defaultDevice = u"Speakers";
    QVERIFY(r.Init());
    QCOMPARE(r.t.prompter.Texts().first(), Str(150));
    QCOMPARE(r.t.sound.madeDefault, QStringList{QStringLiteral("Tonquil Audio")});
    Rig declined;
    declined.service->devices->defaultDevice = u"Speakers";
    declined.t.prompter.answers = {Answer::No};
    QVERIFY(declined.Init());
    QVERIFY(declined.t.sound.madeDefault.isEmpty());
    // The prompt speaks of this system's sound server, and says when the change did not work.
    QVERIFY(!Str(150).contains(QStringLiteral("Control Panel")));
    QCOMPARE(r.t.prompter.prompts.front().buttons, Buttons::YesNo);
    Rig refused;
    refused.service->devices->defaultDevice = u"Speakers";
    refused.t.sound.canMakeDefault = false;
    QVERIFY(refused.Init());
    QCOMPARE(refused.t.prompter.Texts().value(1), QString::fromUtf8(kDefaultOutputFailed));
}

void MainWindowTest::signUpWhileUnregistered() {
    int shown = 0;
    QRect under;
    Rig r([&](Seams& s) {
        s.hooks.signUp = [&](QWidget* parent) {
            ++shown;
            under = parent->geometry();
            return true;
        };
    });
    r.service->settings->SetRegistered(0);
    QVERIFY(r.Init());
    QCOMPARE(shown, 1);
    // The form is centred on the main window, which already has its place
    // (centred on the screen at a first start), not the screen's corner.
    QSize screen(1024, 768);
    if (QScreen* s = QGuiApplication::primaryScreen()) screen = s->geometry().size();
    QCOMPARE(under, CheckMainRect(QRect(), screen, MainSkinSize()));
    LONG registered = 0;
    r.service->settings->GetRegistered(&registered);
    QCOMPARE(registered, LONG(1));
    Rig again([&](Seams& s) {
        s.hooks.signUp = [&](QWidget*) {
            ++shown;
            return true;
        };
    });
    again.service->settings->SetRegistered(1);
    QVERIFY(again.Init());
    QCOMPARE(shown, 1);
}

void MainWindowTest::watchdogLossEndsWithTwoWithoutCalls() {
    Rig r([](Seams& s) { s.watchdogPeriodMs = 20; });
    QVERIFY(r.Init());
    r.t.link.gone = true;
    QTRY_COMPARE_WITH_TIMEOUT(r.ended, 2, 20000);
    QCOMPARE(r.t.prompter.Texts().last(), Str(344));
    QVERIFY(r.core->forced);
    QTRY_VERIFY_WITH_TIMEOUT(!r.window->Poller()->InFlight(), 20000);
    r.service->Calls();
    r.window->Teardown();
    r.window->Command(1001);
    QVERIFY(r.service->Calls().empty());
    QCOMPARE(r.core->controller.Get(), static_cast<IAudioController*>(r.service.Get()));
}

void MainWindowTest::teardownGoesLiveThenPlays() {
    Rig r;
    QVERIFY(r.Init());
    QCOMPARE(r.service->SinkCount(), size_t(1));
    r.window->Teardown();
    auto calls = r.service->Calls();
    QVERIFY(calls.size() >= 2);
    QCOMPARE(QString::fromStdString(calls[calls.size() - 2]), QStringLiteral("Live"));
    QCOMPARE(QString::fromStdString(calls.back()), QStringLiteral("Play"));
    QCOMPARE(r.service->SinkCount(), size_t(0));
    // Events after the end change nothing.
    r.service->Fire([](_IAudioControllerEvents* s) { s->DiskFull(); });
    QCoreApplication::processEvents();
    QVERIFY(r.service->Calls().empty());
}

void MainWindowTest::silentServiceRefusesCommandsButCloseAnswers() {
    Rig r;
    QVERIFY(r.Init());
    r.service->Block("GetAvailableCommands");
    QTRY_VERIFY_WITH_TIMEOUT(r.core->NotAnswering(), 20000);
    QCOMPARE(r.window->notices().History().count(QString::fromUtf8(kNotAnswering)), 1);
    r.service->Calls();
    r.window->Command(1004);
    r.window->Command(1008);
    QVERIFY(r.service->Calls().empty());
    QCOMPARE(r.window->notices().History().count(QString::fromUtf8(kNotAnswering)), 1);
    // Close still answers: one question, and out without asking the service.
    r.window->Shutdown();
    QCOMPARE(r.ended, 0);
    QCOMPARE(r.t.prompter.Texts().last(), Str(113));
    r.service->Unblock();
    r.window->Teardown();
    auto calls = r.service->Calls();
    QVERIFY(std::find(calls.begin(), calls.end(), "Live") == calls.end());
}

void MainWindowTest::clickReachesTheCommand() {
    Rig r;
    QVERIFY(r.Init());
    r.window->show();
    r.window->ApplySnapshot(r.Snap(_ecLive, _esReplay));
    // The log is taken as it grows (the poll adds to it meanwhile).
    std::vector<std::string> seen;
    auto saw = [&](const std::string& call) {
        auto got = r.service->Calls();
        seen.insert(seen.end(), got.begin(), got.end());
        return r.Has(seen, call);
    };
    r.B(1004)->Click();
    QTRY_VERIFY_WITH_TIMEOUT(saw("Live"), 20000);
    // The slider's release asks for the jump.
    r.service->record = 100000;
    r.window->Slider()->MoveTo(0);
    QTRY_VERIFY_WITH_TIMEOUT(saw("SetPlayPosition(0,0)"), 20000);
}

void MainWindowTest::pureArithmetic() {
    const QSize skin(470, 190), screen(1280, 1024);
    QCOMPARE(CheckMainRect(QRect(10, 20, 100, 100), screen, skin), QRect(10, 20, 470, 190));
    // Partly off screen, negative or empty: centred at the skin's size.
    const QRect centred(1280 / 2 - 235, 1024 / 2 - 95, 470, 190);
    QCOMPARE(CheckMainRect(QRect(1200, 20, 200, 100), screen, skin), centred);
    QCOMPARE(CheckMainRect(QRect(-5, 20, 100, 100), screen, skin), centred);
    QCOMPARE(CheckMainRect(QRect(), screen, skin), centred);
    QCOMPARE(CheckMainRect(QRect(-100000, -100000, 5, 5), screen, skin), centred);
    // The strip: 64-bit arithmetic, rounded up past half a pixel, clamped to the strip.
    QCOMPARE(StripJump(102, 3600000), LONGLONG(0));
    QCOMPARE(StripJump(437, 3600000), LONGLONG(3600000));
    QCOMPARE(StripJump(437, 0xFFFFFFFFu), LONGLONG(0xFFFFFFFFu));
    QCOMPARE(StripJump(103, 1000), LONGLONG(3));  // 1000/335 = 2.98
    QCOMPARE(StripJump(50, 1000), LONGLONG(0));
}

void MainWindowTest::loadingBarRunsBackAndForth() {
    KCacheLoadingProgress dialog(nullptr);
    QList<int> seen;
    for (int i = 0; i < 14; ++i) {
        dialog.Step();
        seen << dialog.Position();
    }
    QCOMPARE(seen, (QList<int>{1, 2, 3, 3, 2, 1, 1, 2, 3, 3, 2, 1, 1, 2}));
}

void MainWindowTest::tabAndNamesFollowTheScreen() {
    Rig r;
    QVERIFY(r.Init());
    r.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(r.window.get()));
    // Tab goes the way the eye reads: the title bar's buttons, the slider,
    // then the buttons below from left to right.
    const std::vector<int> expected = {1077, 1076, 1075, 1081, 1006, 1008, 1001, 1007, 1005, 1000,
                                       1004, 1014, 1107, 1108, 1119, 1015, 1011, 1013, 1012};
    std::vector<int> order;
    QWidget* w = r.B(1077);
    for (size_t i = 0; i < expected.size(); ++i) {
        order.push_back(w->objectName().toInt());
        do w = w->nextInFocusChain();
        while (!(w->focusPolicy() & Qt::TabFocus) || w->isHidden());
    }
    QCOMPARE(order, expected);
    QCOMPARE(w, static_cast<QWidget*>(r.B(1077)));
    // Each control stands left of the next one in its row, or in a lower row.
    for (size_t i = 1; i < expected.size(); ++i) {
        const QRect a = r.window->findChild<QWidget*>(QString::number(expected[i - 1]))->geometry();
        const QRect b = r.window->findChild<QWidget*>(QString::number(expected[i]))->geometry();
        QVERIFY2(b.top() > a.bottom() || (b.left() > a.right() && b.top() <= a.center().y()),
                 qPrintable(QStringLiteral("%1 after %2").arg(expected[i]).arg(expected[i - 1])));
    }
    // The displays are named for what they show; the figure is the value.
    for (auto [id, name] : {std::pair{1051, "Play position"}, {1052, "Cache used"}, {1053, "Cache used in per cent"}}) {
        QAccessibleInterface* d = QAccessible::queryAccessibleInterface(r.window->findChild<QWidget*>(QString::number(id)));
        QVERIFY(d);
        QCOMPARE(d->text(QAccessible::Name), QString::fromUtf8(name));
        QCOMPARE(d->text(QAccessible::Value), r.window->DisplayText(id));
    }
}

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
