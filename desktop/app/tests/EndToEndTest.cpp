// Parvane against the real daemon on a private bus (started by the wrapper
// script's environment, with the driver stand-in playing a tone): start the
// daemon, record, pause and replay, go back, stop, save the selection as MP3,
// close. Prints the measures it takes on the way.
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QProcess>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

#include <sys/resource.h>

#include <algorithm>
#include <chrono>

#include <QComboBox>

#include <errno.h>
#include <signal.h>

#include "desktop/app/BackgroundCall.h"
#include "desktop/app/CParvaneDlg.h"
#include "desktop/app/CSettingsSheet.h"
#include "desktop/app/KExtrasContext.h"
#include "desktop/app/CPlayListDlg.h"
#include "desktop/app/CSaveSongDlg.h"
#include "desktop/app/DefaultSeams.h"
#include "desktop/app/Startup.h"
#include "desktop/app/Strings.h"
#include "desktop/app/tests/support/RealProgram.h"
#include "desktop/app/tests/support/TestSeams.h"
#include "desktop/controls/KButton.h"
#include "desktop/controls/KTimecodeCtrl.h"
#include "ipc/client/RunningObjects.h"
#include "platform/com/Bstr.h"
#include "platform/com/Guid.h"

using namespace parvane;
using namespace parvanetest;

namespace {

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

}  // namespace

class EndToEndTest : public QObject {
    Q_OBJECT

private slots:
    void recordReplaySaveAndClose();
};

void EndToEndTest::recordReplaySaveAndClose() {
    RealProgram program(5000, kDrivingPatienceMs);
    // The default output of the private sound server is left as it is.
    program.fakes.prompter.answers = {};

    // No daemon runs at first: Parvane starts it.
    plat::ComPtr<IAudioController> none;
    QVERIFY(program.link.FindObjectInRot(none.ReleaseAndGetAddressOf()) != S_OK);
    QVERIFY(program.Start());
    TestSeams& fakes = program.fakes;
    BusServiceLink& link = program.link;
    AppCore& core = *program.core;
    CParvaneDlg& window = *program.window;
    const int& ended = program.ended;
    auto latest = [&] {
        Snapshot s = ReadSnapshot(core.controller.Get());
        return s;
    };
    auto face = [&](int id) { return window.Button(id)->GetBitmapIndex(); };

    // Record: the play position grows.
    QTRY_VERIFY_WITH_TIMEOUT(window.Button(1000)->isEnabled() && face(1000) == 0, 20000);
    window.Command(1000);
    QTRY_COMPARE_WITH_TIMEOUT(window.Indicator(1065)->property("state").toInt(), 1, 20000);
    ULONG start = latest().play;
    QTRY_VERIFY_WITH_TIMEOUT(latest().play >= start + 3000, 30000);

    // Idle polling: the program's own CPU over a quiet stretch.
    double cpu0 = CpuSeconds();
    auto wall0 = std::chrono::steady_clock::now();
    QTest::qWait(3000);
    double cpu = CpuSeconds() - cpu0;
    double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
    qInfo("measure: idle polling CPU %.2f %% of one core over %.1f s", 100.0 * cpu / wall, wall);

    // Poll round trips against the daemon.
    std::vector<double> trips;
    for (int i = 0; i < 200; ++i) {
        auto t0 = std::chrono::steady_clock::now();
        Snapshot s = ReadSnapshot(core.controller.Get());
        QVERIFY2(SUCCEEDED(s.hr), qPrintable(QStringLiteral("%1 answered 0x%2")
                                                 .arg(QString::fromUtf8(s.failedCall ? s.failedCall : "?"))
                                                 .arg(static_cast<quint32>(s.hr), 8, 16, QLatin1Char('0'))));
        trips.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
    }
    std::sort(trips.begin(), trips.end());
    qInfo("measure: poll round trip p50 %.2f ms, p99 %.2f ms (%zu polls of 8 calls)", trips[trips.size() / 2],
          trips[trips.size() * 99 / 100], trips.size());

    // Pause, then Play: replaying.
    QTRY_VERIFY_WITH_TIMEOUT(face(1001) == 4, 20000);
    window.Command(1001);
    QTRY_VERIFY_WITH_TIMEOUT(face(1001) == 0, 20000);
    window.Command(1001);
    QTRY_COMPARE_WITH_TIMEOUT(window.Indicator(1063)->property("state").toInt(), 1, 20000);

    // Back 5: the position drops.
    QTRY_VERIFY_WITH_TIMEOUT(window.Button(1008)->isEnabled(), 20000);
    ULONG before = latest().play;
    window.Command(1008);
    QTRY_VERIFY_WITH_TIMEOUT(latest().play + 3000 < before + 1000, 20000);

    // Stop: a finished selection appears in the playlist window.
    CPlayListDlg* list = window.PlayList();
    QTRY_VERIFY_WITH_TIMEOUT(face(1000) == 4, 20000);
    auto stopAt = std::chrono::steady_clock::now();
    window.Command(1000);
    QTRY_VERIFY_WITH_TIMEOUT(list->List()->topLevelItemCount() >= 1 &&
                                 list->List()->topLevelItem(list->List()->topLevelItemCount() - 1)->text(2) != Str(104),
                             30000);
    qInfo("measure: stop to finished row on screen %.0f ms",
          std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - stopAt).count());
    int row = list->List()->topLevelItemCount() - 1;

    // Save it as MP3.
    QTemporaryDir out;
    QString target = out.path() + QStringLiteral("/recording.mp3");
    list->SelectSong(row);
    QVERIFY(list->Button(2003)->isEnabled());
    bool driven = false;
    QTimer::singleShot(0, [&] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* dialog = dynamic_cast<CSaveSongDlg*>(w); dialog && dialog->isVisible()) {
                dialog->OnFormatChange(1);
                dialog->FileName()->setText(target);
                driven = true;
                dialog->OnOK();
            }
    });
    list->OnSaveSelections();
    QVERIFY(driven);
    QVERIFY(QFile::exists(target));
    GUID guid;
    plat::ComPtr<IPlayList> playlist;
    QVERIFY(SUCCEEDED(core.controller.As(&playlist)));
    QVERIFY(SUCCEEDED(playlist->GetCurrentID(&guid)));
    plat::ComPtr<ISong> song;
    QVERIFY(SUCCEEDED(playlist->Get(guid, song.ReleaseAndGetAddressOf())) && song);
    ULONG left = 0, right = 0;
    QVERIFY(SUCCEEDED(song->GetBorders(&left, &right)));
    QProcess probe;
    probe.start(QStringLiteral("ffprobe"), {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-show_entries"),
                                           QStringLiteral("format=format_name,duration"), QStringLiteral("-of"),
                                           QStringLiteral("default=nw=1"), target});
    QVERIFY(probe.waitForFinished(60000));
    QString info = QString::fromUtf8(probe.readAllStandardOutput());
    QVERIFY2(info.contains(QStringLiteral("format_name=mp3")), qPrintable(info));
    double seconds = info.section(QStringLiteral("duration="), 1).section(QLatin1Char('\n'), 0, 0).toDouble();
    QVERIFY2(std::abs(seconds - (right - left) / 1000.0) <= 0.5,
             qPrintable(QStringLiteral("%1 s against %2 ms").arg(seconds).arg(right - left)));
    QProcess decode;
    decode.start(QStringLiteral("ffmpeg"), {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"), target,
                                            QStringLiteral("-f"), QStringLiteral("null"), QStringLiteral("-")});
    QVERIFY(decode.waitForFinished(60000));
    QCOMPARE(decode.exitCode(), 0);
    QCOMPARE(decode.readAllStandardError(), QByteArray());

    // The settings window: another playback device and cache size, OK.
    KExtrasContext context;
    context.prompter = &fakes.prompter;
    context.files = &fakes.files;
    context.showControllerErrors = [&](QWidget* parent, const char* call, HRESULT hr) {
        core.ShowControllerErrors(parent, call, hr);
    };
    context.runLongCall = [](QWidget* parent, const std::function<HRESULT()>& call) {
        return CallInBackground(parent, QString::fromUtf8(kApplyingSettings), call);
    };
    QString device;
    ULONG size = 0;
    context.runDialog = [&](QDialog* d) {
        auto* sheet = static_cast<CSettingsSheet*>(d);
        QComboBox* combo = sheet->PlaybackCombo();
        const int other = combo->currentIndex() == 0 ? 1 : 0;
        if (combo->count() < 2) return int(QDialog::Rejected);
        combo->setCurrentIndex(other);
        device = combo->currentText();
        size = sheet->Model().cacheSizeMs == 2700000 ? 3000000 : 2700000;
        sheet->SizeEdit()->SetTimecode(CacheSizeTimecode(size), true, true);
        sheet->OnOk();
        return sheet->result();
    };
    bool applied = false;
    const size_t promptsBefore = fakes.prompter.prompts.size();
    auto changeAt = std::chrono::steady_clock::now();
    RunSettingsSheet(&window, core.controller.Get(), context, [&](ULONG) { applied = true; });
    qInfo("measure: settings with a playback-device change, OK to saved %.0f ms",
          std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - changeAt).count());
    QVERIFY(applied);
    QVERIFY(!device.isEmpty());
    for (size_t i = promptsBefore; i < fakes.prompter.prompts.size(); ++i)
        QVERIFY2(fakes.prompter.prompts[i].icon != Icon::Error, qPrintable(fakes.prompter.prompts[i].text));

    // Close: the daemon keeps running, in live play.
    window.Shutdown();
    QVERIFY2(ended == 0, qPrintable(QStringLiteral("the program did not end; it said: ") + program.Said()));
    window.Teardown();
    ULONG state = 0;
    QVERIFY(SUCCEEDED(core.controller->GetCurrentState(&state)));
    QVERIFY((state & _esLive) && (state & _esPlay));

    // A restarted daemon plays on the chosen device with the chosen cache size.
    pid_t daemon = 0;
    QCOMPARE(ipc::ServiceProcessId(&daemon), S_OK);
    QVERIFY(::kill(daemon, SIGTERM) == 0);
    // Gone when its process has ended (its lock, which a new daemon needs, goes last).
    QTRY_VERIFY_WITH_TIMEOUT(::kill(daemon, 0) != 0 && errno == ESRCH, 30000);
    core.controller.Reset();
    plat::ComPtr<IAudioController> again;
    QCOMPARE(link.StartServiceAndConnect(again.ReleaseAndGetAddressOf()), S_OK);
    plat::ComPtr<ISettings> kept;
    QVERIFY(SUCCEEDED(again.As(&kept)));
    ULONG keptSize = 0;
    QVERIFY(SUCCEEDED(kept->GetCacheSize(&keptSize)));
    QCOMPARE(keptSize, size);
    plat::Bstr keptDevice;
    QVERIFY(SUCCEEDED(kept->GetAudioDevice(keptDevice.Out())));
    QCOMPARE(QString::fromStdU16String(keptDevice.Str()), device);
    plat::ComPtr<IAudioManager> used;
    QVERIFY(SUCCEEDED(again.As(&used)));
    plat::Bstr usedDevice;
    QVERIFY(SUCCEEDED(used->GetUsedDevice(usedDevice.Out())));
    QCOMPARE(QString::fromStdU16String(usedDevice.Str()), device);
}

QTEST_MAIN(EndToEndTest)
#include "EndToEndTest.moc"
