// Parvane against the real daemon under the conditions a user meets: a daemon
// that stalls for seconds (SIGSTOP, then SIGCONT), one that dies (SIGKILL),
// and settings the daemon can only partly apply. Runs on a bus of its own
// with the driver stand-in (see parvane_e2e.sh); each case starts the daemon
// when none runs.
#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTreeWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <errno.h>
#include <signal.h>
#include <sys/types.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "desktop/app/CParvaneDlg.h"
#include "desktop/app/CPlayListDlg.h"
#include "desktop/app/CSaveSongDlg.h"
#include "desktop/app/CSaveSongProgressDlg.h"
#include "desktop/app/Stragglers.h"
#include "desktop/app/CSettingsSheet.h"
#include "desktop/app/DefaultSeams.h"
#include "desktop/app/KExtrasContext.h"
#include "desktop/app/Startup.h"
#include "desktop/app/Strings.h"
#include "desktop/app/tests/support/RealProgram.h"
#include "desktop/app/tests/support/TestSeams.h"
#include "desktop/controls/KButton.h"
#include "ipc/client/RunningObjects.h"
#include "platform/com/Bstr.h"

using namespace parvane;
using namespace parvanetest;

namespace {

pid_t DaemonPid() {
    pid_t pid = 0;
    return ipc::ServiceProcessId(&pid) == S_OK ? pid : 0;
}

// Waits (the event loop running) until the daemon process has ended: its
// name goes first, its lock (which a new daemon needs) only at its very end.
bool DaemonGone(pid_t daemon, int timeoutMs) {
    QElapsedTimer t;
    t.start();
    while (::kill(daemon, 0) == 0 || errno != ESRCH) {
        if (t.elapsed() > timeoutMs) return false;
        QTest::qWait(50);
    }
    return true;
}

// Whether every thread of a process is stopped by a signal. A stop signal
// is taken by one of its threads, which then stops the others: until all
// of them are, one may still answer a call.
bool AllThreadsStopped(pid_t pid) {
    std::error_code ec;
    const std::filesystem::path tasks = "/proc/" + std::to_string(pid) + "/task";
    bool any = false;
    for (const auto& entry : std::filesystem::directory_iterator(tasks, ec)) {
        std::ifstream stat(entry.path() / "stat");
        std::string line;
        if (!std::getline(stat, line)) continue;  // the thread has just ended
        // "tid (name) S ...": the name may hold spaces and brackets.
        const auto close = line.rfind(')');
        if (close == std::string::npos || close + 2 >= line.size()) return false;
        const char state = line[close + 2];
        if (state == 'Z' || state == 'X') continue;  // a thread that has ended
        if (state != 'T' && state != 't') return false;
        any = true;
    }
    return !ec && any;
}

// Stops the daemon and holds it stopped while it lives: every way out of a
// case, a failed check included, lets it go on, so that the next case meets
// a daemon that answers.
class StoppedDaemon {
public:
    explicit StoppedDaemon(pid_t pid) : m_pid(pid) {}
    StoppedDaemon(const StoppedDaemon&) = delete;
    StoppedDaemon& operator=(const StoppedDaemon&) = delete;
    ~StoppedDaemon() { Resume(); }
    // Sends the stop and waits (not running the event loop: it may be called
    // from within an event) until no thread of the daemon runs any more.
    bool Stop() {
        if (::kill(m_pid, SIGSTOP) != 0) {
            qWarning("SIGSTOP to %d failed: %s", int(m_pid), strerror(errno));
            return false;
        }
        m_stopped = true;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!AllThreadsStopped(m_pid)) {
            if (std::chrono::steady_clock::now() > deadline) {
                qWarning("the daemon %d did not stop within 20 s", int(m_pid));
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
    }
    bool Resume() {
        if (!m_stopped) return true;
        m_stopped = false;
        if (::kill(m_pid, SIGCONT) == 0 || errno == ESRCH) return true;
        qWarning("SIGCONT to %d failed: %s", int(m_pid), strerror(errno));
        return false;
    }

private:
    pid_t m_pid;
    bool m_stopped = false;
};

// The program with a watchdog that looks every second.
struct Program : RealProgram {
    Program() : RealProgram(1000) {}
    // Records about seconds of sound and stops: the finished selection's row.
    int RecordASelection(int seconds) {
        auto face = [this](int id) { return window->Button(id)->GetBitmapIndex(); };
        CPlayListDlg* list = window->PlayList();
        const int before = list->List()->topLevelItemCount();
        if (!QTest::qWaitFor([&] { return window->Button(1000)->isEnabled() && face(1000) == 0; }, 20000)) return -1;
        window->Command(1000);
        if (!QTest::qWaitFor([&] { return face(1000) == 4; }, 20000)) return -1;
        QTest::qWait(seconds * 1000);
        window->Command(1000);
        const bool done = QTest::qWaitFor(
            [&] {
                const int n = list->List()->topLevelItemCount();
                return n > before && list->List()->topLevelItem(n - 1)->text(2) != Str(104);
            },
            30000);
        return done ? list->List()->topLevelItemCount() - 1 : -1;
    }
    // Saves the row as MP3 to target through the save dialog; onSaving runs
    // as the progress window shows, before the save is asked of the daemon.
    void SaveRow(int row, const QString& target, std::function<void(CSaveSongProgressDlg*)> onSaving) {
        CPlayListDlg* list = window->PlayList();
        list->SelectSong(row);
        ShowWatch watch(std::move(onSaving));
        qApp->installEventFilter(&watch);
        QTimer::singleShot(0, [target] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* dialog = dynamic_cast<CSaveSongDlg*>(w); dialog && dialog->isVisible()) {
                    dialog->OnFormatChange(1);
                    dialog->FileName()->setText(target);
                    dialog->OnOK();
                    if (dialog->isVisible()) dialog->reject();
                }
        });
        list->OnSaveSelections();
        qApp->removeEventFilter(&watch);
    }
    // Runs a function when a save's progress window is about to show.
    struct ShowWatch : QObject {
        explicit ShowWatch(std::function<void(CSaveSongProgressDlg*)> f) : onShow(std::move(f)) {}
        bool eventFilter(QObject* o, QEvent* e) override {
            if (e->type() == QEvent::Show)
                if (auto* progress = dynamic_cast<CSaveSongProgressDlg*>(o); progress && onShow) {
                    auto f = std::move(onShow);
                    onShow = nullptr;
                    f(progress);
                }
            return false;
        }
        std::function<void(CSaveSongProgressDlg*)> onShow;
    };

    QStringList Failures() const {
        QStringList failed;
        for (const QString& text : const_cast<FakePrompter&>(fakes.prompter).Texts())
            if (text.contains(QStringLiteral("failed"))) failed << text;
        return failed;
    }
};

}  // namespace

class DaemonConditionsTest : public QObject {
    Q_OBJECT

private slots:
    void aStalledDaemonIsNotAnsweringAndThenAnswersAgain();
    void aDeadDaemonEndsTheProgram();
    void whatTheDaemonCannotApplyLeavesTheRestSaved();
    void aSaveWhoseDaemonDiesSaysSoAndKeepsTheRowsName();
    void aSaveThatHangsDoesNotHoldTheEnd();
};

void DaemonConditionsTest::aStalledDaemonIsNotAnsweringAndThenAnswersAgain() {
    Program p;
    QVERIFY(p.Start());
    QTRY_VERIFY_WITH_TIMEOUT(p.window->Button(1001)->isEnabled() && !p.core->NotAnswering(), 20000);
    const pid_t daemon = DaemonPid();
    QVERIFY(daemon > 0);

    StoppedDaemon stop(daemon);
    QVERIFY(stop.Stop());
    QElapsedTimer stalled;
    stalled.start();
    // A click while the daemon stands still: the call times out, and that is
    // taken as "not answering", not as a failure of the command.
    QElapsedTimer click;
    click.start();
    p.window->Command(1001);
    qInfo("measure: a click on a stalled daemon held the window %lld ms", click.elapsed());
    QVERIFY(p.core->NotAnswering());
    // Further clicks are refused at once; the outage is said once.
    click.restart();
    p.window->Command(1001);
    p.window->Command(1004);
    qInfo("measure: two refused clicks took %lld ms", click.elapsed());
    // The stall lasts 8 s in all: the watchdog, looking every second, keeps the program.
    QTest::qWait(int(std::max<qint64>(8000 - stalled.elapsed(), 0)));
    QCOMPARE(p.ended, -1);
    QVERIFY(stop.Resume());

    // The first poll that answers ends the outage; commands work again.
    QTRY_VERIFY_WITH_TIMEOUT(!p.core->NotAnswering(), 20000);
    QCOMPARE(p.ended, -1);
    QCOMPARE(p.window->notices().History().count(QString::fromUtf8(kNotAnswering)), 1);
    QVERIFY2(p.Failures().isEmpty(), qPrintable(p.Failures().join(QLatin1Char('\n'))));
    ULONG state = 0;
    QVERIFY(SUCCEEDED(p.core->controller->GetCurrentState(&state)));
    const bool paused = state & _esPause;
    QTRY_VERIFY_WITH_TIMEOUT(p.window->Button(1001)->GetBitmapIndex() == (paused ? 0 : 4), 20000);
    p.window->Command(1001);
    QTRY_VERIFY_WITH_TIMEOUT(SUCCEEDED(p.core->controller->GetCurrentState(&state)) && bool(state & _esPause) != paused,
                             20000);
    QVERIFY2(p.Failures().isEmpty(), qPrintable(p.Failures().join(QLatin1Char('\n'))));
}

void DaemonConditionsTest::aDeadDaemonEndsTheProgram() {
    Program p;
    QVERIFY(p.Start());
    QTRY_VERIFY_WITH_TIMEOUT(!p.core->NotAnswering() && p.window->Button(1001)->isEnabled(), 20000);
    const pid_t daemon = DaemonPid();
    QVERIFY(daemon > 0);
    QVERIFY(::kill(daemon, SIGKILL) == 0);
    QTRY_COMPARE_WITH_TIMEOUT(p.ended, 2, 20000);
    QVERIFY(p.fakes.prompter.Texts().contains(Str(344)));
    QVERIFY(DaemonGone(daemon, 20000));
}

void DaemonConditionsTest::whatTheDaemonCannotApplyLeavesTheRestSaved() {
    Program p;
    QVERIFY(p.Start());
    plat::ComPtr<ISettings> settings;
    QVERIFY(SUCCEEDED(p.core->controller.As(&settings)));
    plat::ComPtr<IAudioManager> playback;
    plat::ComPtr<ICaptureManager> capture;
    QVERIFY(SUCCEEDED(p.core->controller.As(&playback)) && SUCCEEDED(p.core->controller.As(&capture)));
    KSettingsModel model;
    const char* call = "";
    QCOMPARE(LoadSettingsModel(p.core->controller.Get(), settings.Get(), playback.Get(), capture.Get(), &model, &call),
             S_OK);
    // A new playback device and cache size, and a recording device that is
    // not there (unplugged since it was chosen).
    const int other = model.playbackIndex == 0 && model.playbackDevices.size() > 1 ? 1 : 0;
    QVERIFY(model.playbackDevices.size() > 1);
    const QString device = model.playbackDevices[other];
    model.playbackIndex = other;
    model.cacheSizeMs = model.cacheSizeMs == 1200000 ? 1500000 : 1200000;
    model.captureIndex = -1;
    model.captureDevice = QStringLiteral("Unplugged Microphone");
    model.sourceIndex = 0;
    QElapsedTimer t;
    t.start();
    const HRESULT hr = ApplySettingsModel(model, p.core->controller.Get(), settings.Get(), {}, &call);
    qInfo("measure: settings with a device change applied and saved in %lld ms", t.elapsed());
    QVERIFY2(FAILED(hr), "the missing recording device is a failure");
    QCOMPARE(QString::fromUtf8(call), QStringLiteral("UpdateSettings"));
    // The service says what it could not do.
    p.core->ShowControllerErrors(p.window.get(), call, hr);
    const QString said = p.fakes.prompter.Texts().last();
    QVERIFY2(said.contains(QStringLiteral("Unplugged Microphone")), qPrintable(said));

    // After a restart of the daemon the rest is still there.
    p.window->Teardown();
    const pid_t daemon = DaemonPid();
    QVERIFY(daemon > 0 && ::kill(daemon, SIGTERM) == 0);
    QVERIFY(DaemonGone(daemon, 30000));
    p.core->controller.Reset();
    settings.Reset();
    plat::ComPtr<IAudioController> again;
    QCOMPARE(p.link.StartServiceAndConnect(again.ReleaseAndGetAddressOf()), S_OK);
    plat::ComPtr<ISettings> kept;
    QVERIFY(SUCCEEDED(again.As(&kept)));
    ULONG size = 0;
    QVERIFY(SUCCEEDED(kept->GetCacheSize(&size)));
    QCOMPARE(size, model.cacheSizeMs);
    plat::Bstr name;
    QVERIFY(SUCCEEDED(kept->GetAudioDevice(name.Out())));
    QCOMPARE(QString::fromStdU16String(name.Str()), device);
}

void DaemonConditionsTest::aSaveWhoseDaemonDiesSaysSoAndKeepsTheRowsName() {
    Program p;
    QVERIFY(p.Start());
    const int row = p.RecordASelection(3);
    QVERIFY(row >= 0);
    QTreeWidget* tree = p.window->PlayList()->List();
    const QString name = tree->topLevelItem(row)->text(0);
    QTemporaryDir out;
    const pid_t daemon = DaemonPid();
    QVERIFY(daemon > 0);
    // The daemon dies while the save runs (it is stopped first, so that the
    // save cannot end before).
    StoppedDaemon stop(daemon);
    bool stopped = false;
    p.SaveRow(row, out.path() + QStringLiteral("/dies.mp3"), [&, daemon](CSaveSongProgressDlg*) {
        stopped = stop.Stop();
        QTimer::singleShot(500, [daemon] { ::kill(daemon, SIGKILL); });
    });
    QVERIFY(stopped);
    const QStringList failed = p.Failures();
    QVERIFY2(!failed.isEmpty() && failed.first().startsWith(QStringLiteral("Save failed")),
             qPrintable(p.fakes.prompter.Texts().join(QLatin1Char('\n'))));
    QCOMPARE(tree->topLevelItem(row)->text(0), name);
    QVERIFY(!QFile::exists(out.path() + QStringLiteral("/dies.mp3")));
    QVERIFY(DaemonGone(daemon, 20000));
    QTRY_COMPARE_WITH_TIMEOUT(p.ended, 2, 20000);
}

void DaemonConditionsTest::aSaveThatHangsDoesNotHoldTheEnd() {
    Program p;
    QVERIFY(p.Start());
    const int row = p.RecordASelection(3);
    QVERIFY(row >= 0);
    QTemporaryDir out;
    const pid_t daemon = DaemonPid();
    QVERIFY(daemon > 0);
    // The daemon stands still for the whole save; the user gives up on it.
    bool gaveUp = false;
    StoppedDaemon stop(daemon);
    bool stopped = false;
    p.SaveRow(row, out.path() + QStringLiteral("/hangs.mp3"), [&](CSaveSongProgressDlg* progress) {
        stopped = stop.Stop();
        QTimer::singleShot(200, progress, [&, progress] {
            progress->OnCancel();
            gaveUp = true;
        });
    });
    QVERIFY(stopped && gaveUp);
    // The end of the program waits a bounded time for the save, then leaves
    // it, and the next start is a start of its own.
    QElapsedTimer end;
    end.start();
    QVERIFY(!stragglers::JoinAll(std::chrono::milliseconds(1000)));
    qInfo("measure: the end waited %lld ms for a hung save", end.elapsed());
    QCOMPARE(stragglers::Count(), 1);
    p.instance->Release();
    SingleInstance next(p.runtime.path());
    QVERIFY(next.Acquire());
    // The daemon goes on; the save it was asked to stop returns.
    QVERIFY(stop.Resume());
    QVERIFY(stragglers::JoinAll(std::chrono::seconds(60)));
    QCOMPARE(p.ended, -1);
}

QTEST_MAIN(DaemonConditionsTest)
#include "DaemonConditionsTest.moc"
