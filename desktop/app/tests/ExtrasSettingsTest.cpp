// The settings sheet against the in-memory service: what the pages show, the
// OK checks, and the calls OK makes, in order.
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QStorageInfo>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

#include <map>

#include "desktop/app/AppCore.h"
#include "desktop/app/CParvaneDlg.h"
#include "desktop/app/CSettingsSheet.h"
#include "desktop/app/CUpdateDlg.h"
#include "desktop/app/Extras.h"
#include "desktop/app/ExtrasText.h"
#include "desktop/app/KExtrasContext.h"
#include "desktop/app/Strings.h"
#include "desktop/app/tests/support/FakeService.h"
#include "desktop/app/tests/support/LocalHttpServer.h"
#include "desktop/app/tests/support/LoggingSettings.h"
#include "desktop/app/tests/support/TestSeams.h"
#include "desktop/controls/KTimecodeCtrl.h"
#include "ipc/tests/support/FakeDeviceList.h"
#include "platform/com/Bstr.h"

using namespace parvane;
using parvanetest::FakeService;
using parvanetest::LoggingSettings;
using Calls = std::vector<std::string>;

namespace {

// One sheet's world: the service, its logged settings, device lists and seams.
struct World {
    plat::ComPtr<FakeService> service = FakeService::CreateInstance();
    plat::ComPtr<LoggingSettings> settings;
    plat::ComPtr<ipctest::FakeDeviceList> playback, capture;
    parvanetest::FakePrompter prompter;
    parvanetest::FakeFiles files;
    KExtrasContext context;
    KSettingsModel model;
    std::vector<std::pair<std::string, HRESULT>> errors;
    // The free-space figure of each folder; a folder not here cannot be read.
    std::map<QString, qint64> free;

    explicit World(std::vector<std::u16string> outputs = {u"Speakers", u"Headphones"},
                   std::vector<std::u16string> inputs = {u"Microphone"}) {
        settings = LoggingSettings::CreateInstance(service->settings.Get(), &service->log);
        playback = ipctest::FakeDeviceList::CreateInstance(std::move(outputs), 0);
        capture = ipctest::FakeDeviceList::CreateInstance(std::move(inputs), 0);
        context.prompter = &prompter;
        context.files = &files;
        context.site = KSite::FromBase(QString());
        context.showControllerErrors = [this](QWidget*, const char* call, HRESULT hr) { errors.emplace_back(call, hr); };
        context.freeSpace = [this](const QString& folder, qint64* bytes) {
            const auto it = free.find(QDir::cleanPath(folder));
            if (it == free.end()) return false;
            *bytes = it->second;
            return true;
        };
    }
    void Set(HRESULT hr) { QCOMPARE(hr, S_OK); }
    void StoreDevices() {
        Set(settings->SetAudioDevice(plat::Bstr(u"Speakers")));
        Set(settings->SetCaptureDevice(plat::Bstr(u"Microphone")));
    }
    bool Load() {
        const char* call = "";
        HRESULT hr = LoadSettingsModel(service.Get(), settings.Get(), playback.Get(), capture.Get(), &model, &call);
        service->Calls();  // what loading asked is not under test here
        return hr == S_OK;
    }
    // Runs the sheet; act works on it before OK is pressed. Returns whether
    // the sheet accepted.
    bool Ok(const std::function<void(CSettingsSheet&)>& act = {}) {
        CSettingsSheet sheet(model, context);
        if (act) act(sheet);
        sheet.OnOk();
        lastModel = sheet.Model();
        return sheet.result() == QDialog::Accepted;
    }
    Calls Apply(ULONG* applied = nullptr) {
        const char* call = "";
        ApplySettingsModel(lastModel, service.Get(), settings.Get(),
                           [&](ULONG ms) { if (applied) *applied = ms; }, &call);
        return service->Calls();
    }
    KSettingsModel lastModel;
};

Calls Stores(const std::string& play, const std::string& rec, const std::string& device = "Speakers") {
    return {"SetCacheSize(1800000)", "SetDropCacheOnExitState(0)", "SetAutoSplitSongsState(1)",
            "SetInterceptAudioAlwaysState(0)", "SetPlayLiveRecDeviceState(0)", "SetWriteFromPlayDeviceState(" + play + ")",
            "SetWriteFromRecordDeviceState(" + rec + ")", "SetWriteSilenceState(0)", "SetMaxSongLength(10)",
            "SetAudioDevice(" + device + ")", "SetCaptureDevice(Microphone)"};
}

// Types "hh:mm:ss.hh" into the size field as a user does: each field
// selected, then its two digits.
void TypeSize(CSettingsSheet& sheet, const QString& text) {
    KTimecodeCtrl* field = sheet.SizeEdit();
    const QStringList parts = text.split(QRegularExpression(QStringLiteral("[:.]")));
    for (int f = 0; f < 4; ++f) {
        field->SelectField(KTimecodeCtrl::Field(f));
        for (QChar digit : parts.value(f)) QTest::keyClick(field, digit.toLatin1());
    }
}

Calls Concat(Calls a, const Calls& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

}  // namespace

class ExtrasSettingsTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { KTimecode::SetRateMode(KTimecode::kHundredthsMode); }
    void okWithoutChanges();
    void cacheSizeLimit_data();
    void cacheSizeLimit();
    void folderQuestion_data();
    void folderQuestion();
    void folderRefusals_data();
    void folderRefusals();
    void sourceRadios_data();
    void sourceRadios();
    void deviceSelection_data();
    void deviceSelection();
    void longAndOddDeviceLists();
    void maxLengthWraps();
    void reminderOnlyWhenAnswered();
    void failureStopsTheSequence();
    void missingControllerEndsTheMainWindow();
    void requiredAndFreeSpace();
    void spaceWarningWaitsForTheTyping();
    void freeSpaceIsWhatTheUserMayWrite();
    void updateAtStart();
};

void ExtrasSettingsTest::okWithoutChanges() {
    World w;
    w.StoreDevices();
    QVERIFY(w.Load());
    QVERIFY(w.Ok());
    ULONG applied = 0;
    // Every value again, then apply and save; no folder change, no drop, no reminder.
    QCOMPARE(w.Apply(&applied), Concat(Stores("1", "0"), {"UpdateSettings", "SaveSettings"}));
    QCOMPARE(applied, ULONG(1800000));
    QVERIFY(w.prompter.Texts().isEmpty());
}

void ExtrasSettingsTest::cacheSizeLimit_data() {
    QTest::addColumn<QString>("size");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<ULONG>("ms");
    QTest::newRow("4:59.99") << "00:04:59.99" << false << "00:04:59.99" << ULONG(299990);
    QTest::newRow("5:00.00") << "00:05:00.00" << true << "00:05:00.00" << ULONG(300000);
    QTest::newRow("99 hours") << "99:59:59.99" << true << "99:59:59.99" << ULONG(359999990);
    // A digit that takes a field past its limit stands alone: 69 minutes are 09.
    QTest::newRow("past a limit") << "01:69:00.00" << true << "01:09:00.00" << ULONG(4140000);
    QTest::newRow("nothing") << "00:00:00.00" << false << "00:00:00.00" << ULONG(0);
}

void ExtrasSettingsTest::cacheSizeLimit() {
    QFETCH(QString, size);
    QFETCH(bool, accepted);
    QFETCH(QString, shown);
    QFETCH(ULONG, ms);
    World w;
    QVERIFY(w.Load());
    QCOMPARE(w.Ok([&](CSettingsSheet& s) {
        QCOMPARE(s.SizeEdit()->text(), QStringLiteral("00:30:00.00"));  // the stored 1800000 ms
        TypeSize(s, size);
        QCOMPARE(s.SizeEdit()->text(), shown);
        // Text that bypasses the keys never becomes the size.
        s.SizeEdit()->setText(QStringLiteral("12:34"));
        QCOMPARE(s.SizeEdit()->text(), shown);
    }), accepted);
    QCOMPARE(w.prompter.Texts().contains(QString::fromUtf8(text::kCacheTooSmall)), !accepted);
    QCOMPARE(w.lastModel.cacheSizeMs, ms);
}

void ExtrasSettingsTest::folderQuestion_data() {
    QTest::addColumn<QString>("folder");  // "@" stands for a new folder in a temporary one
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<bool>("drop");
    QTest::newRow("yes") << "@" << int(Answer::Yes) << true << true;
    QTest::newRow("no") << "@" << int(Answer::No) << true << false;
    QTest::newRow("cancel") << "@" << int(Answer::Cancel) << false << false;
    QTest::newRow("relative") << "cache/here" << int(Answer::Yes) << false << false;
    QTest::newRow("drive-like") << "C:name" << int(Answer::No) << false << false;
    QTest::newRow("empty") << "" << int(Answer::Yes) << false << false;
}

void ExtrasSettingsTest::folderQuestion() {
    QFETCH(QString, folder);
    QFETCH(int, answer);
    QFETCH(bool, accepted);
    QFETCH(bool, drop);
    QTemporaryDir dir;
    if (folder == QLatin1String("@")) folder = dir.path() + QStringLiteral("/new/deeper/");
    World w;
    QVERIFY(w.Load());
    const QString opening = w.model.cacheDir;
    w.prompter.answers.push_back(Answer(answer));
    QCOMPARE(w.Ok([&](CSettingsSheet& s) { s.FolderEdit()->setText(folder); }), accepted);
    QCOMPARE(w.prompter.prompts.front().text, QString::fromUtf8(text::kEmptyCacheQuestion));
    QCOMPARE(w.prompter.prompts.front().buttons, Buttons::YesNoCancel);
    if (!accepted) {
        // The folder goes back to the one the sheet opened with.
        QCOMPARE(w.lastModel.cacheDir, opening);
        const bool invalid = answer != int(Answer::Cancel);
        QCOMPARE(w.prompter.Texts().last().startsWith(QString::fromUtf8(text::kInvalidDirectory)), invalid);
        return;
    }
    QVERIFY(QFileInfo(folder).isDir());
    // The probe of the folder leaves nothing of its own behind.
    QVERIFY(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty());
    const Calls calls = w.Apply();
    const Calls head = drop ? Calls{"DropCache(0)", "SetCacheDir(" + folder.toStdString() + ")"}
                            : Calls{"SetCacheDir(" + folder.toStdString() + ")"};
    QCOMPARE(Calls(calls.begin(), calls.begin() + qsizetype(head.size())), head);
}

void ExtrasSettingsTest::folderRefusals_data() {
    QTest::addColumn<QString>("folder");  // "@" stands for a temporary folder, "#" for a file in it
    QTest::addColumn<QString>("reason");
    QTest::newRow("a file") << "#" << QString::fromUtf8(text::kFolderIsFile).arg("#");
    QTest::newRow("below a file") << "#/cache"
                                  << QString::fromUtf8(text::kFolderCannotCreate).arg("#/cache", "The system cannot find the path specified.");
    QTest::newRow("cannot be made") << "/proc/tonquil-cache"
                                    << QString::fromUtf8(text::kFolderCannotCreate)
                                           .arg("/proc/tonquil-cache", "The system cannot find the file specified.");
    // A folder that is there but takes nothing, whoever asks (root too).
    if (QFileInfo(QStringLiteral("/sys/kernel")).isDir())
        QTest::newRow("exists, takes nothing") << "/sys/kernel"
                                               << QString::fromUtf8(text::kFolderCannotWrite).arg("/sys/kernel", "Access is denied.");
    // Modes stop users other than root.
    if (geteuid() != 0)
        QTest::newRow("read-only mode") << "@/locked"
                                        << QString::fromUtf8(text::kFolderCannotWrite).arg("@/locked", "Access is denied.");
}

void ExtrasSettingsTest::folderRefusals() {
    QFETCH(QString, folder);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("file"));
    QFile made(file);
    QVERIFY(made.open(QIODevice::WriteOnly));
    made.close();
    QDir(dir.path()).mkdir(QStringLiteral("locked"));
    QFile::setPermissions(dir.filePath(QStringLiteral("locked")), QFile::ReadOwner | QFile::ExeOwner);
    auto fill = [&](QString text) { return text.replace(QLatin1Char('#'), file).replace(QLatin1Char('@'), dir.path()); };
    folder = fill(folder);
    reason = fill(reason);
    QCOMPARE(CacheFolderRefusal(folder), reason);
    // "Yes" to the question: the refusal says why, the sheet stays open, and
    // nothing is dropped, changed or applied.
    World w;
    w.StoreDevices();
    QVERIFY(w.Load());
    w.context.runDialog = [&](QDialog* d) {
        auto* sheet = static_cast<CSettingsSheet*>(d);
        sheet->FolderEdit()->setText(folder);
        sheet->OnOk();
        return d->result();
    };
    RunSettingsSheet(nullptr, w.service.Get(), w.context, {});
    QCOMPARE(w.prompter.Texts(), (QStringList{QString::fromUtf8(text::kEmptyCacheQuestion),
                                               QString::fromUtf8(text::kInvalidDirectory) + "\n\n" + reason}));
    for (const std::string& call : w.service->Calls())
        for (const char* change : {"DropCache", "Set", "UpdateSettings", "SaveSettings"})
            QVERIFY2(call.rfind(change, 0) != 0, call.c_str());
    QVERIFY(!QFileInfo::exists(file + QStringLiteral("/QXCache")));
    QVERIFY(QDir(dir.filePath(QStringLiteral("locked"))).isEmpty());
}

void ExtrasSettingsTest::sourceRadios_data() {
    QTest::addColumn<bool>("play");
    QTest::addColumn<bool>("rec");
    QTest::addColumn<int>("shown");   // the radio checked on opening, -1 none
    QTest::addColumn<int>("choose");  // -1: leave the radios alone
    QTest::addColumn<QString>("stored");  // play, rec, silence as "ppp"
    QTest::newRow("play only shows 1") << true << false << 1 << -1 << "101";
    QTest::newRow("record only shows 2") << false << true << 2 << -1 << "010";
    QTest::newRow("both show 0") << true << true << 0 << -1 << "111";
    QTest::newRow("play only, choose microphone") << true << false << 1 << 2 << "010";
    QTest::newRow("both off stay off") << false << false << -1 << -1 << "001";
    QTest::newRow("both off, choose all") << false << false << -1 << 0 << "111";
}

void ExtrasSettingsTest::sourceRadios() {
    QFETCH(bool, play);
    QFETCH(bool, rec);
    QFETCH(int, shown);
    QFETCH(int, choose);
    QFETCH(QString, stored);
    World w;
    w.Set(w.settings->SetWriteFromPlayDeviceState(play));
    w.Set(w.settings->SetWriteFromRecordDeviceState(rec));
    w.Set(w.settings->SetWriteSilenceState(1));
    w.Set(w.settings->SetPlayLiveRecDeviceState(1));
    QVERIFY(w.Load());
    QVERIFY(w.Ok([&](CSettingsSheet& s) {
        QCOMPARE(s.Sources()->checkedId(), shown);
        // "except Microphone" disables hearing the microphone; "Microphone only" disables silence.
        QCOMPARE(s.HearMicCheck()->isEnabled(), shown != 1);
        QCOMPARE(s.SilenceCheck()->isEnabled(), shown != 2);
        if (choose >= 0) {
            s.Sources()->button(choose)->click();
            QCOMPARE(s.HearMicCheck()->isEnabled(), choose != 1);
            QCOMPARE(s.SilenceCheck()->isEnabled(), choose != 2);
        }
    }));
    const Calls calls = w.Apply();
    auto has = [&](const std::string& c) { return std::find(calls.begin(), calls.end(), c) != calls.end(); };
    QVERIFY(has("SetWriteFromPlayDeviceState(" + std::string(1, stored.toLatin1()[0]) + ")"));
    QVERIFY(has("SetWriteFromRecordDeviceState(" + std::string(1, stored.toLatin1()[1]) + ")"));
    QVERIFY(has("SetWriteSilenceState(" + std::string(1, stored.toLatin1()[2]) + ")"));
}

void ExtrasSettingsTest::deviceSelection_data() {
    QTest::addColumn<QStringList>("list");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<int>("index");
    QTest::newRow("exact before prefix") << QStringList{"Speakers", "Speakers (USB)"} << "Speakers" << 0;
    QTest::newRow("prefix, any case") << QStringList{"Line", "Speakers (USB)"} << "speakers" << 1;
    QTest::newRow("prefix wraps to the first") << QStringList{"Speakers (USB)", "Line"} << "Speak" << 0;
    QTest::newRow("prefix from the second entry") << QStringList{"Speakers A", "Speakers B"} << "Speakers" << 1;
    QTest::newRow("duplicates: the first") << QStringList{"Line", "Dup", "Dup"} << "Dup" << 1;
    QTest::newRow("absent") << QStringList{"Line", "Speakers"} << "Headset" << -1;
    QTest::newRow("empty name") << QStringList{"Line", "Speakers"} << "" << -1;
    QTest::newRow("empty list") << QStringList{} << "Speakers" << -1;
}

void ExtrasSettingsTest::deviceSelection() {
    QFETCH(QStringList, list);
    QFETCH(QString, stored);
    QFETCH(int, index);
    QCOMPARE(SelectDevice(list, stored), index);
    // OK keeps a stored device that is not there now.
    KSettingsModel m;
    m.playbackDevices = list;
    m.audioDevice = stored;
    m.playbackIndex = index;
    QCOMPARE(m.PlaybackToStore(), index >= 0 ? list[index] : stored);
}

void ExtrasSettingsTest::longAndOddDeviceLists() {
    std::vector<std::u16string> many;
    for (int i = 0; i < 1000; ++i) many.push_back(u"Output " + QString::number(i).toStdU16String());
    many.push_back(u"");
    many.push_back(u"Output 7");
    World w(many);
    w.Set(w.settings->SetAudioDevice(plat::Bstr(u"Output 999")));
    QVERIFY(w.Load());
    QCOMPARE(w.model.playbackDevices.size(), 1002);
    QCOMPARE(w.model.playbackIndex, 999);
    QVERIFY(w.Ok([](CSettingsSheet& s) {
        QCOMPARE(s.PlaybackCombo()->count(), 1002);
        QCOMPARE(s.PlaybackCombo()->currentText(), QStringLiteral("Output 999"));
    }));
    // An unplugged device stays stored.
    World gone;
    gone.Set(gone.settings->SetAudioDevice(plat::Bstr(u"USB Headset")));
    gone.Set(gone.settings->SetCaptureDevice(plat::Bstr(u"Microphone")));
    QVERIFY(gone.Load());
    QVERIFY(gone.Ok([](CSettingsSheet& s) { QCOMPARE(s.PlaybackCombo()->currentIndex(), -1); }));
    QCOMPARE(gone.Apply(), Concat(Stores("1", "0", "USB Headset"), {"UpdateSettings", "SaveSettings"}));
}

void ExtrasSettingsTest::maxLengthWraps() {
    QCOMPARE(ShownMaxSongLength(0), 10);
    QCOMPARE(ShownMaxSongLength(61), 10);
    QCOMPARE(ShownMaxSongLength(60), 60);
    World w;
    w.Set(w.settings->SetMaxSongLength(1));
    QVERIFY(w.Load());
    QVERIFY(w.Ok([](CSettingsSheet& s) {
        s.MaxLengthSpin()->stepBy(-1);
        QCOMPARE(s.MaxLengthSpin()->value(), 60);
        s.MaxLengthSpin()->stepBy(1);
        QCOMPARE(s.MaxLengthSpin()->value(), 1);
        s.MaxLengthSpin()->stepBy(-1);
    }));
    QVERIFY(w.prompter.Texts().isEmpty());  // no range message on the way round
    QCOMPARE(w.lastModel.maxSongLength, 60);
}

void ExtrasSettingsTest::reminderOnlyWhenAnswered() {
    // The update dialog's answers, given through the About page's button.
    struct Case {
        const char* name;
        int choice;  // -2: Cancel; -1: "Download it now"; else the "Remind me later" entry
        Calls reminder;
    };
    const Case cases[] = {{"not checked", -3, {}},
                          {"cancelled", -2, {}},
                          {"in 5 days", 0, {"SetRemindUpdateStatus(1)", "SetRemindUpdatePeriod(5)"}},
                          {"in 10 days", 1, {"SetRemindUpdateStatus(1)", "SetRemindUpdatePeriod(10)"}},
                          {"never", 2, {"SetRemindUpdateStatus(0)"}},
                          {"download", -1, {"SetRemindUpdateStatus(0)"}}};
    parvanetest::LocalHttpServer server([](const QByteArray&, const QByteArray&) {
        parvanetest::HttpReply r;
        r.bytes = parvanetest::HttpAnswer(200, "99.0.0.0\nhttp://x.example/dl\n");
        return r;
    });
    for (const Case& c : cases) {
        World w;
        w.StoreDevices();
        parvanetest::RecordingOpener opener;
        w.context.urls = &opener;
        w.context.site = KSite::FromBase(server.Base());
        w.context.runDialog = [&](QDialog* d) {
            auto* u = static_cast<CUpdateDlg*>(d);
            if (c.choice == -2) return int(QDialog::Rejected);
            if (c.choice >= 0) {
                u->LaterButton()->setChecked(true);
                u->Combo()->setCurrentIndex(c.choice);
            }
            return int(QDialog::Accepted);
        };
        QVERIFY(w.Load());
        QVERIFY2(w.Ok([&](CSettingsSheet& s) {
                     if (c.choice == -3) return;
                     s.Tabs()->setCurrentIndex(3);
                     s.CheckUpdateButton()->click();
                     QVERIFY(!s.CheckUpdateButton()->isEnabled());  // one check at a time
                     QTRY_VERIFY_WITH_TIMEOUT(s.CheckUpdateButton()->isEnabled(), 30000);
                 }),
                 c.name);
        QCOMPARE(opener.opened.size(), c.choice == -1 ? 1 : 0);
        QCOMPARE(w.Apply(), Concat(Concat(Stores("1", "0"), c.reminder), {"UpdateSettings", "SaveSettings"}));
    }
}

void ExtrasSettingsTest::failureStopsTheSequence() {
    // A setting the service could not apply: the rest is saved all the same,
    // the new size is applied, and the update's failure is the result.
    {
        World w;
        QVERIFY(w.Load());
        QVERIFY(w.Ok());
        w.service->Fail("UpdateSettings", E_FAIL);
        ULONG applied = 0;
        const Calls calls = w.Apply(&applied);
        QCOMPARE(Calls(calls.end() - 2, calls.end()), (Calls{"UpdateSettings", "SaveSettings"}));
        QCOMPARE(applied, ULONG(1800000));
        const char* call = "";
        QCOMPARE(ApplySettingsModel(w.lastModel, w.service.Get(), w.settings.Get(), {}, &call), E_FAIL);
        QCOMPARE(std::string(call), std::string("UpdateSettings"));
    }
    // A write that fails, or an update the service did not answer, stops the sequence.
    for (const char* failing : {"SetCaptureDevice", "UpdateSettings", "SetCacheSize"}) {
        World w;
        QVERIFY(w.Load());
        QVERIFY(w.Ok());
        w.settings->Fail("SetCaptureDevice", std::string(failing) == "SetCaptureDevice" ? E_FAIL : S_OK);
        w.settings->Fail("SetCacheSize", std::string(failing) == "SetCacheSize" ? S_FALSE : S_OK);
        if (std::string(failing) == "UpdateSettings") w.service->Fail("UpdateSettings", RPC_E_CALL_FAILED);
        ULONG applied = 0;
        const Calls calls = w.Apply(&applied);
        // Nothing after the failure; the slider keeps its range; the errors are shown.
        QCOMPARE(calls.back().substr(0, calls.back().find('(')), std::string(failing));
        QCOMPARE(applied, ULONG(0));
        const char* call = "";
        HRESULT hr = ApplySettingsModel(w.lastModel, w.service.Get(), w.settings.Get(), {}, &call);
        QVERIFY(FAILED(hr));
        QCOMPARE(std::string(call), std::string(failing));
    }
    // Through the settings button: the update runs through the long-call
    // runner, the service's errors are shown once, what was saved is applied.
    World w;
    w.service->handedSettings = w.settings.Get();
    w.service->Fail("UpdateSettings", E_ACCESSDENIED);
    w.context.runDialog = [](QDialog* d) {
        static_cast<CSettingsSheet*>(d)->OnOk();
        return d->result();
    };
    int longCalls = 0;
    w.context.runLongCall = [&](QWidget*, const std::function<HRESULT()>& call) {
        ++longCalls;
        return call();
    };
    bool applied = false;
    RunSettingsSheet(nullptr, w.service.Get(), w.context, [&](ULONG) { applied = true; });
    QVERIFY(applied);
    QCOMPARE(longCalls, 1);
    QCOMPARE(w.service->Calls().back(), std::string("SaveSettings"));
    QCOMPARE(w.errors.size(), size_t(1));
    QCOMPARE(w.errors[0].first, std::string("UpdateSettings"));
    QCOMPARE(w.errors[0].second, E_ACCESSDENIED);
    applied = false;
    w.errors.clear();
    w.service->Fail("UpdateSettings", S_OK);
    RunSettingsSheet(nullptr, w.service.Get(), w.context, [&](ULONG) { applied = true; });
    QVERIFY(applied);
}

void ExtrasSettingsTest::missingControllerEndsTheMainWindow() {
    // Through the program's own settings hook, for a controller that is gone
    // and for one that no longer hands out its settings.
    for (bool gone : {true, false}) {
        parvanetest::TestSeams fakes;
        plat::ComPtr<FakeService> service = FakeService::CreateInstance();
        fakes.link.controller = service.Get();
        Seams seams = fakes.Make();
        seams.watchdogPeriodMs = 60000;
        InstallExtraHooks(seams);
        // Only the windows under test: the start-up prompts would wait for a user.
        seams.hooks.signUp = nullptr;
        seams.hooks.quickStart = nullptr;
        seams.hooks.updateAtStart = nullptr;
        AppCore core(seams);
        core.controller = service.Get();
        CParvaneDlg window(core);
        int ended = -1;
        window.onEnd = [&](int code) { ended = code; };
        QVERIFY(window.Init());
        fakes.prompter.prompts.clear();
        if (gone) core.controller.Reset();
        else service->Fail("QueryInterface", E_NOINTERFACE);
        seams.hooks.settings(&window);
        QCOMPARE(ended, 2);
        QCOMPARE(fakes.prompter.Texts(), QStringList{Str(117)});
        QVERIFY(!window.isVisible());
        window.Teardown();
    }
}

void ExtrasSettingsTest::requiredAndFreeSpace() {
    KSettingsModel m;
    m.cacheSizeMs = 1800000;
    m.buffers = 3;
    // 30 minutes at 192000 bytes a second, twice: 659.18 MB.
    QCOMPARE(QString::number(m.RequiredMb(), 'f', 2), QStringLiteral("659.18"));
    QTemporaryDir dir, other;
    World w;
    w.free[dir.path()] = 700LL * 1048576;  // room for 30 minutes, not for more
    w.free[other.path()] = 1LL << 50;
    w.Set(w.settings->SetCacheDir(plat::Bstr(dir.path().toStdU16String())));
    QVERIFY(w.Load());
    CSettingsSheet sheet(w.model, w.context);
    QCOMPARE(sheet.FreeLabel()->text(), QStringLiteral("Free Space: 700.00 Mb"));
    QCOMPARE(sheet.RequiredLabel()->text(), QStringLiteral("Requires 659.18 Mb on your hard drive"));
    QVERIFY(w.prompter.Texts().isEmpty());
    // A folder that cannot be read shows so, and its figure is no other folder's.
    sheet.FolderEdit()->setText(QStringLiteral("/no/such/folder"));
    emit sheet.FolderEdit()->textEdited(sheet.FolderEdit()->text());
    QCOMPARE(sheet.FreeLabel()->text(), QString::fromUtf8(text::kUnknownDirectory));
    TypeSize(sheet, QStringLiteral("99:59:59.99"));
    QCOMPARE(sheet.RequiredLabel()->text(), QStringLiteral("Requires 131835.93 Mb on your hard drive"));
    emit sheet.FolderEdit()->editingFinished();
    QVERIFY(w.prompter.Texts().isEmpty());
    // The same size on a disk too small: one warning, whatever the real disk holds.
    sheet.FolderEdit()->setText(dir.path());
    emit sheet.FolderEdit()->textEdited(sheet.FolderEdit()->text());
    emit sheet.FolderEdit()->editingFinished();
    QCOMPARE(w.prompter.Texts(), QStringList{QString::fromUtf8(text::kNotEnoughSpace)});
    QCOMPARE(w.prompter.prompts.back().icon, Icon::Information);
    // On a large one, none.
    w.files.folder = other.path();
    for (QPushButton* b : sheet.findChildren<QPushButton*>())
        if (b->text() == QLatin1String("Browse")) b->click();
    QCOMPARE(sheet.FolderEdit()->text(), other.path());
    QCOMPARE(w.prompter.prompts.size(), size_t(1));
}

void ExtrasSettingsTest::spaceWarningWaitsForTheTyping() {
    QTemporaryDir small;
    World w;
    w.free[small.path()] = 100LL * 1048576;  // less than the 659.18 MB of 30 minutes
    QVERIFY(w.Load());
    CSettingsSheet sheet(w.model, w.context);
    sheet.show();
    QVERIFY(QTest::qWaitForWindowExposed(&sheet));
    const QString warning = QString::fromUtf8(text::kNotEnoughSpace);
    auto type = [&](const QString& text) {
        sheet.FolderEdit()->setFocus();
        sheet.FolderEdit()->selectAll();
        QTest::keyClick(sheet.FolderEdit(), Qt::Key_Delete);
        QTest::keyClicks(sheet.FolderEdit(), text);
    };
    // Typed key by key: no box while the keys come, every key lands, and a
    // folder whose free space cannot be read never warns.
    type(QStringLiteral("/proc/tonquil-cache"));
    QCOMPARE(sheet.FolderEdit()->text(), QStringLiteral("/proc/tonquil-cache"));
    QVERIFY(sheet.SettlePending());
    QVERIFY(w.prompter.Texts().isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(!sheet.SettlePending(), 30000);
    QVERIFY(w.prompter.Texts().isEmpty());
    // A folder too small: one box once the typing pauses, none again for the
    // same value on leaving the field or on OK.
    type(small.path());
    QVERIFY(w.prompter.Texts().isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(w.prompter.Texts(), QStringList{warning}, 30000);
    emit sheet.FolderEdit()->editingFinished();
    QCOMPARE(w.prompter.Texts().size(), 1);
    // A new size is a new value: leaving the size field warns once for it.
    TypeSize(sheet, QStringLiteral("00:40:00.00"));
    QCOMPARE(w.prompter.Texts().size(), 1);
    emit sheet.SizeEdit()->editingFinished();
    QCOMPARE(w.prompter.Texts(), (QStringList{warning, warning}));
    QVERIFY(!sheet.SettlePending());
    w.prompter.answers.push_back(Answer::No);  // the folder question
    sheet.OnOk();
    QCOMPARE(w.prompter.Texts(), (QStringList{warning, warning, QString::fromUtf8(text::kEmptyCacheQuestion)}));
    QCOMPARE(sheet.result(), int(QDialog::Accepted));
}

void ExtrasSettingsTest::freeSpaceIsWhatTheUserMayWrite() {
    // The figure shown is the space this user may write, not the blocks kept
    // for the system: it stands near QStorageInfo's available bytes.
    QTemporaryDir dir;
    KExtrasContext context;
    qint64 shown = 0;
    QVERIFY(context.FreeSpace(dir.path(), &shown));
    const QStorageInfo info(dir.path());
    const qint64 slack = 1LL << 30;  // other writers on a shared disk
    QVERIFY2(std::abs(shown - info.bytesAvailable()) < slack,
             qPrintable(QStringLiteral("%1 against %2 available").arg(shown).arg(info.bytesAvailable())));
    if (info.bytesFree() - info.bytesAvailable() > 4 * slack) QVERIFY(std::abs(shown - info.bytesFree()) > slack);
    QVERIFY(!context.FreeSpace(QStringLiteral("/no/such/folder"), &shown));
}

void ExtrasSettingsTest::updateAtStart() {
    int requests = 0;
    QByteArray version = "99.0.0.0\nhttp://x.example/dl\n";
    parvanetest::LocalHttpServer server([&](const QByteArray&, const QByteArray&) {
        ++requests;
        parvanetest::HttpReply r;
        r.bytes = parvanetest::HttpAnswer(200, version);
        return r;
    });
    World w;
    w.context.site = KSite::FromBase(server.Base());
    int dialogs = 0;
    w.context.runDialog = [&](QDialog* d) {
        ++dialogs;
        auto* u = static_cast<CUpdateDlg*>(d);
        u->LaterButton()->setChecked(true);
        u->Combo()->setCurrentIndex(1);
        return int(QDialog::Accepted);
    };
    QWidget owner;
    // Reminders off: nothing is sent.
    w.Set(w.settings->SetRemindUpdateStatus(0));
    QVERIFY(CheckForUpdateAtStart(&owner, w.settings.Get(), w.context));
    QTest::qWait(50);
    QCOMPARE(requests, 0);
    // On: the check runs in the background, and the answer is stored and saved.
    w.Set(w.settings->SetRemindUpdateStatus(1));
    w.service->Calls();
    QVERIFY(CheckForUpdateAtStart(&owner, w.settings.Get(), w.context));
    QTRY_COMPARE_WITH_TIMEOUT(dialogs, 1, 30000);
    QCOMPARE(w.service->Calls(), (Calls{"SetRemindUpdateStatus(1)", "SetRemindUpdatePeriod(10)", "SaveSettings"}));
    QCOMPARE(requests, 1);
    // The reminder cannot be read: the service's errors, no check, and the
    // start goes no further. S_FALSE is a failure as much as E_FAIL.
    for (HRESULT failure : {E_FAIL, S_FALSE}) {
        w.settings->Fail("GetRemindUpdateStatus", failure);
        w.errors.clear();
        QVERIFY(!CheckForUpdateAtStart(&owner, w.settings.Get(), w.context));
        QCOMPARE(w.errors.size(), size_t(1));
        QCOMPARE(w.errors[0].first, std::string("GetRemindUpdateStatus"));
        QCOMPARE(w.errors[0].second, FAILED(failure) ? failure : E_FAIL);
    }
    QTest::qWait(50);
    QCOMPARE(requests, 1);
    QCOMPARE(dialogs, 1);
    QVERIFY(w.service->Calls().empty());

    // "Download it now": the choice is stored and saved before the page opens.
    World d;
    d.context.site = w.context.site;
    d.Set(d.settings->SetRemindUpdateStatus(1));
    d.service->Calls();
    struct OrderOpener final : UrlOpener {
        void Open(const QUrl& url) override {
            opened << url;
            if (onOpen) onOpen();
        }
        QList<QUrl> opened;
        std::function<void()> onOpen;
    } opener;
    Calls atOpen;
    opener.onOpen = [&] { atOpen = d.service->Calls(); };
    d.context.urls = &opener;
    d.context.runDialog = [&](QDialog*) {
        ++dialogs;
        return int(QDialog::Accepted);
    };
    QVERIFY(CheckForUpdateAtStart(&owner, d.settings.Get(), d.context));
    QTRY_COMPARE_WITH_TIMEOUT(opener.opened.size(), 1, 30000);
    QCOMPARE(opener.opened[0], QUrl(QStringLiteral("http://x.example/dl")));
    QCOMPARE(atOpen, (Calls{"SetRemindUpdateStatus(0)", "SaveSettings"}));
    d.Set(d.settings->SetRemindUpdateStatus(1));
    d.service->Calls();
    // With no usable link the user is told, and the reminder stays on.
    for (const QByteArray& answer : {QByteArray("99.0.0.0\n"), QByteArray("99.0.0.0\nfile:///bin/sh\n")}) {
        version = answer;
        const int before = dialogs;
        d.prompter.prompts.clear();
        QVERIFY(CheckForUpdateAtStart(&owner, d.settings.Get(), d.context));
        QTRY_COMPARE_WITH_TIMEOUT(d.prompter.Texts(), QStringList{QString::fromUtf8(text::kNoDownloadLink)}, 30000);
        QCOMPARE(dialogs, before + 1);
        QCOMPARE(opener.opened.size(), 1);
        QVERIFY(d.service->Calls().empty());
        LONG remind = 0;
        QCOMPARE(d.settings->GetRemindUpdateStatus(&remind), S_OK);
        QCOMPARE(remind, 1);
    }
}

QTEST_MAIN(ExtrasSettingsTest)
#include "ExtrasSettingsTest.moc"
