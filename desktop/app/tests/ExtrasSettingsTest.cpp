// The settings sheet against the in-memory service: what the pages show, the
// OK checks, and the calls OK makes, in order.
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QStorageInfo>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QtTest>

#include "desktop/app/CSettingsSheet.h"
#include "desktop/app/CUpdateDlg.h"
#include "desktop/app/ExtrasText.h"
#include "desktop/app/KExtrasContext.h"
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

    explicit World(std::vector<std::u16string> outputs = {u"Speakers", u"Headphones"},
                   std::vector<std::u16string> inputs = {u"Microphone"}) {
        settings = LoggingSettings::CreateInstance(service->settings.Get(), &service->log);
        playback = ipctest::FakeDeviceList::CreateInstance(std::move(outputs), 0);
        capture = ipctest::FakeDeviceList::CreateInstance(std::move(inputs), 0);
        context.prompter = &prompter;
        context.files = &files;
        context.site = KSite::FromBase(QString());
        context.showControllerErrors = [this](QWidget*, const char* call, HRESULT hr) { errors.emplace_back(call, hr); };
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
    void sourceRadios_data();
    void sourceRadios();
    void deviceSelection_data();
    void deviceSelection();
    void longAndOddDeviceLists();
    void maxLengthWraps();
    void reminderOnlyWhenAnswered();
    void failureStopsTheSequence();
    void requiredAndFreeSpace();
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
        QCOMPARE(w.prompter.Texts().contains(QString::fromUtf8(text::kInvalidDirectory)), invalid);
        return;
    }
    QVERIFY(QFileInfo(folder).isDir());
    const Calls calls = w.Apply();
    const Calls head = drop ? Calls{"DropCache(0)", "SetCacheDir(" + folder.toStdString() + ")"}
                            : Calls{"SetCacheDir(" + folder.toStdString() + ")"};
    QCOMPARE(Calls(calls.begin(), calls.begin() + qsizetype(head.size())), head);
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
    struct Case {
        bool answered;
        int days;
        Calls reminder;
    };
    const Case cases[] = {{false, -1, {}},
                          {true, 5, {"SetRemindUpdateStatus(1)", "SetRemindUpdatePeriod(5)"}},
                          {true, 10, {"SetRemindUpdateStatus(1)", "SetRemindUpdatePeriod(10)"}},
                          {true, -1, {"SetRemindUpdateStatus(0)"}},
                          {true, 0, {"SetRemindUpdateStatus(0)"}}};
    for (const Case& c : cases) {
        World w;
        w.StoreDevices();
        QVERIFY(w.Load());
        QVERIFY(w.Ok());
        w.lastModel.remindAnswered = c.answered;
        w.lastModel.remindDays = c.days;
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

void ExtrasSettingsTest::requiredAndFreeSpace() {
    KSettingsModel m;
    m.cacheSizeMs = 1800000;
    m.buffers = 3;
    // 30 minutes at 192000 bytes a second, twice: 659.18 MB.
    QCOMPARE(QString::number(m.RequiredMb(), 'f', 2), QStringLiteral("659.18"));
    QTemporaryDir dir;
    World w;
    w.Set(w.settings->SetCacheDir(plat::Bstr(dir.path().toStdU16String())));
    QVERIFY(w.Load());
    CSettingsSheet sheet(w.model, w.context);
    QVERIFY(sheet.FreeLabel()->text().startsWith(QLatin1String("Free Space: ")));
    QCOMPARE(sheet.RequiredLabel()->text(), QStringLiteral("Requires 659.18 Mb on your hard drive"));
    sheet.FolderEdit()->setText(QStringLiteral("/no/such/folder"));
    emit sheet.FolderEdit()->textEdited(sheet.FolderEdit()->text());
    QCOMPARE(sheet.FreeLabel()->text(), QString::fromUtf8(text::kUnknownDirectory));
    // A cache larger than the disk brings the (informing) warning.
    sheet.FolderEdit()->setText(dir.path());
    emit sheet.FolderEdit()->textEdited(sheet.FolderEdit()->text());
    const qsizetype before = w.prompter.prompts.size();
    TypeSize(sheet, QStringLiteral("99:59:59.99"));
    QCOMPARE(sheet.RequiredLabel()->text(), QStringLiteral("Requires 131835.93 Mb on your hard drive"));
    if (QStorageInfo(dir.path()).bytesFree() < qint64(sheet.Model().RequiredMb() * 1048576.0)) {
        // (Each step of the typing that needs more than the disk has warns again.)
        QVERIFY(qsizetype(w.prompter.prompts.size()) > before);
        QCOMPARE(w.prompter.prompts.back().text, QString::fromUtf8(text::kNotEnoughSpace));
    }
}

void ExtrasSettingsTest::updateAtStart() {
    int requests = 0;
    parvanetest::LocalHttpServer server([&](const QByteArray&, const QByteArray&) {
        ++requests;
        parvanetest::HttpReply r;
        r.bytes = parvanetest::HttpAnswer(200, "99.0.0.0\nhttp://x.example/dl\n");
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
}

QTEST_MAIN(ExtrasSettingsTest)
#include "ExtrasSettingsTest.moc"
