// The settings sheet and the web radio of the program against the real daemon
// on a private bus (started by the wrapper script's environment, with the
// driver stand-in playing a tone): a cache folder that takes no data is
// refused before anything is dropped, and the radio opens at the skin's size.
#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QtTest>

#include <chrono>

#include "desktop/app/CParvaneDlg.h"
#include "desktop/app/CSettingsSheet.h"
#include "desktop/app/Extras.h"
#include "desktop/app/ExtrasText.h"
#include "desktop/app/Startup.h"
#include "desktop/app/tests/support/RealProgram.h"
#include "desktop/controls/KButton.h"
#include "desktop/controls/KSkinManifest.h"
#include "platform/com/Bstr.h"
#ifdef PARVANE_WEB_RADIO
#include "desktop/app/CRadioDlg.h"
#endif

using namespace parvane;
using namespace parvanetest;

namespace {

constexpr int kWaitMs = 30000;

// The cache data files of a cache folder, with their sizes.
std::map<QString, qint64> CacheFiles(const QString& folder) {
    std::map<QString, qint64> files;
    for (const QFileInfo& f : QDir(folder + QStringLiteral("/QXCache")).entryInfoList({QStringLiteral("*.cah")}, QDir::Files))
        files[f.fileName()] = f.size();
    return files;
}

template <class T>
T* Shown() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* found = dynamic_cast<T*>(w); found && found->isVisible()) return found;
    return nullptr;
}

}  // namespace

class ExtrasEndToEndTest : public QObject {
    Q_OBJECT

private slots:
    void refusedFolderKeepsTheCacheAndTheRadioOpensAtItsSize();
};

void ExtrasEndToEndTest::refusedFolderKeepsTheCacheAndTheRadioOpensAtItsSize() {
    RealProgram program(5000, kDrivingPatienceMs);
    program.adjustSeams = [](Seams& seams) {
        InstallExtraHooks(seams);
        // Only the windows under test: the start-up prompts would wait for a user.
        seams.hooks.signUp = nullptr;
        seams.hooks.quickStart = nullptr;
        seams.hooks.updateAtStart = nullptr;
    };
    QVERIFY(program.Start());
    TestSeams& fakes = program.fakes;
    AppCore& core = *program.core;
    CParvaneDlg& window = *program.window;
    const Hooks& hooks = core.seams().hooks;

    // Some seconds in the cache.
    plat::ComPtr<ISettings> settings;
    QVERIFY(SUCCEEDED(core.controller.As(&settings)));
    plat::Bstr dir;
    QCOMPARE(settings->GetCacheDir(dir.Out()), S_OK);
    const QString cacheDir = QString::fromStdU16String(dir.Str());
    auto played = [&] {
        ULONG ms = 0;
        core.controller->GetRecordPosition(&ms);
        return ms;
    };
    QTRY_VERIFY_WITH_TIMEOUT(window.Button(1000)->isEnabled() && window.Button(1000)->GetBitmapIndex() == 0, kWaitMs);
    window.Command(1000);
    QTRY_VERIFY_WITH_TIMEOUT(played() >= 3000, kWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(window.Button(1000)->GetBitmapIndex() == 4, kWaitMs);
    window.Command(1000);
    QTRY_COMPARE_WITH_TIMEOUT(window.Indicator(1065)->property("state").toInt(), 0, kWaitMs);
    // The cache index is saved by the engine every few seconds: wait for it to stand still.
    std::map<QString, qint64> before = CacheFiles(cacheDir);
    QVERIFY2(!before.empty(), qPrintable(cacheDir));
    QVERIFY(QTest::qWaitFor(
        [&] {
            QTest::qWait(300);
            const auto now = CacheFiles(cacheDir);
            const bool same = now == before;
            before = now;
            return same;
        },
        kWaitMs));
    const size_t cached = before.size();

    // A folder that exists but takes no data, answered "Yes": refused with
    // its reason, and the cache stays whole where it was.
    const QString refused = QStringLiteral("/sys/kernel");
    if (!QFileInfo(refused).isDir()) QSKIP("/sys/kernel is not there to refuse");
    bool driven = false;
    QTimer::singleShot(0, [&] {
        CSettingsSheet* sheet = Shown<CSettingsSheet>();
        if (!sheet) return;
        driven = true;
        sheet->FolderEdit()->setText(refused);
        sheet->OnOk();
        QVERIFY(sheet->result() != QDialog::Accepted);
        QCOMPARE(sheet->FolderEdit()->text(), cacheDir);
        sheet->reject();
    });
    fakes.prompter.prompts.clear();
    hooks.settings(&window);
    QVERIFY(driven);
    // (The sheet may first warn that the disk is too small for the cache.)
    QStringList texts = fakes.prompter.Texts();
    texts.removeAll(QString::fromUtf8(text::kNotEnoughSpace));
    QVERIFY2(texts.size() == 2 && texts[0] == QString::fromUtf8(text::kEmptyCacheQuestion) &&
                 texts[1] == QString::fromUtf8(text::kInvalidDirectory) + QStringLiteral("\n\n") +
                                 QString::fromUtf8(text::kFolderCannotWrite).arg(refused, QStringLiteral("Access is denied.")),
             qPrintable(texts.join(QStringLiteral(" | "))));
    QCOMPARE(settings->GetCacheDir(dir.Out()), S_OK);
    QCOMPARE(QString::fromStdU16String(dir.Str()), cacheDir);
    QCOMPARE(CacheFiles(cacheDir).size(), cached);
    ULONG recorded = 0;
    QCOMPARE(core.controller->GetTimeFullness(&recorded), S_OK);
    QVERIFY2(recorded >= 2000, qPrintable(QString::number(recorded)));

#ifdef PARVANE_WEB_RADIO
    // The radio, from the main window's Radio toggle, opens at the skin's size.
    window.Command(1011);
    CRadioDlg* radio = nullptr;
    QTRY_VERIFY_WITH_TIMEOUT((radio = Shown<CRadioDlg>()) != nullptr, kWaitMs);
    QVERIFY(QTest::qWaitForWindowExposed(radio, kWaitMs));
    const QSize main = KSkinManifest::BitmapSize(510), list = KSkinManifest::BitmapSize(511);
    const QSize expected(main.width(), list.height() - main.height());
    QCOMPARE(radio->size(), expected);
    QCOMPARE(radio->frameGeometry().size(), expected);
    // Glued under the main window's left edge.
    QCOMPARE(radio->geometry().topLeft(), QPoint(window.geometry().left(), window.geometry().bottom() + 1));
    window.Command(1011);
    QTRY_VERIFY_WITH_TIMEOUT(!radio->isVisible(), kWaitMs);
#endif

    window.Shutdown();
    QVERIFY2(program.ended == 0, qPrintable(QStringLiteral("the program did not end; it said: ") + program.Said()));
}

QTEST_MAIN(ExtrasEndToEndTest)
#include "ExtrasEndToEndTest.moc"
